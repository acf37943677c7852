// The executable: start up, then hand the main thread to the render loop.
#include "base/logfile.h"
#include "host/startup.h"

#include <signal.h>
#include <stdio.h>

int main(int argc, char **argv)
{
    // Logs reach a pipe line by line, as they are written.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    signal(SIGSEGV, crash_signal_handler);
    logfile_catch_fatal_signals();
    main_startup(argc, argv);
    main_render_loop();
}
