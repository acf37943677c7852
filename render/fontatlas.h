// fontatlas: a TrueType font loaded through the virtual file system. First version: it
// loads and validates the font; glyph pages, drawing and measuring come with text rendering.
#pragma once
#include <SDL.h>

struct fontatlas;

fontatlas *fontatlas_new(SDL_Renderer *renderer, const char *path);
void fontatlas_delete(fontatlas *font);
