// frame_stream: the stream being filled with this frame's draw commands: by the simulation
// step, and at start-up by the runtime's construction; null at any other time.
#pragma once
#include "host/threadstream.h"

extern threadstream *current_frame_stream;
