// The executable: start up, then hand the main thread to the render loop.
#include "base/logfile.h"
#include "host/startup.h"

#include <malloc.h>
#include <signal.h>
#include <stdio.h>

int main(int argc, char **argv)
{
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
    main_startup(argc, argv);
    main_render_loop();
}
