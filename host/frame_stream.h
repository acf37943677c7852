// frame_stream: the stream the simulation step is filling with this frame's draw commands,
// null outside a step (and at start-up, outside the runtime's construction).
#pragma once
#include "host/threadstream.h"

extern threadstream *current_frame_stream;
