// The executable: start up, then hand the main thread to the render loop.
#include "base/logfile.h"
#include "host/startup.h"

#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

// A closed terminal ends the run as SIGTERM does, through the whole shutdown: a recording,
// the console history and the logs are kept.
static void quit_at_hangup(int) { kill(getpid(), SIGTERM); }

static void ignore_signal(int) {}

// A reader that went away (`| head -1`) or a standard output closed at launch changes neither
// what the game saves nor how the run ends: writes to it fail and the run goes on.
static void keep_running_without_a_reader(void)
{
    // Caught rather than ignored: programs the game starts get the usual SIGPIPE back.
    startup_catch_signal(SIGPIPE, ignore_signal);
    // A closed descriptor 0, 1 or 2 would be the next file opened (a log file), and what is
    // printed would land in it.
    for (int fd = 0; fd <= 2; fd++)
        if (fcntl(fd, F_GETFD) < 0) open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
}

int main(int argc, char **argv)
{
    keep_running_without_a_reader();
    // Logs reach a pipe line by line, as they are written.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    // The OpenGL driver allocates and frees blocks of hundreds of kilobytes for every draw:
    // with the allocator's default thresholds each came from fresh pages (mapped, or the heap
    // grown and trimmed again), a few dozen system calls and thousands of page faults a frame.
    // Blocks up to 16 MiB come from the heap, and up to 64 MiB freed at its top stay there.
    mallopt(M_MMAP_THRESHOLD, 16 << 20);
    mallopt(M_TRIM_THRESHOLD, 64 << 20);
    signal(SIGSEGV, crash_signal_handler);
    logfile_catch_fatal_signals();
    startup_catch_signal(SIGHUP, quit_at_hangup);
    main_startup(argc, argv);
    main_render_loop();
}
