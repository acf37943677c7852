// physfsrwops: a virtual-file-system file presented as an SDL stream, so SDL can read
// controller mappings and WAV files out of the game.
#pragma once
#include <SDL.h>

SDL_RWops *PHYSFSRWOPS_openRead(const char *path);
