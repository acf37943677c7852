// The executable: start up, then hand the main thread to the render loop.
#include "host/startup.h"

#include <signal.h>

int main(int argc, char **argv)
{
    signal(SIGSEGV, crash_signal_handler);
    main_startup(argc, argv);
    main_render_loop();
}
