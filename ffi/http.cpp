// HTTP over a run-time-loaded libcurl. First version: nothing to pump or stop yet.
#include "ffi/ffi.h"

void http_tick(void) {}
void http_quit(void) {}
