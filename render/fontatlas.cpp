#include "render/fontatlas.h"
#include "host/files.h"

#define STB_TRUETYPE_IMPLEMENTATION
#define STBTT_malloc(x, u) ((void)(u), SDL_malloc(x))
#define STBTT_free(x, u) ((void)(u), SDL_free(x))
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb_truetype.h>
#pragma GCC diagnostic pop

struct fontatlas {
    SDL_Renderer *renderer;
    unsigned char *data; // the font file; stb_truetype reads it in place
    size_t length;
    stbtt_fontinfo info;
};

fontatlas *fontatlas_new(SDL_Renderer *renderer, const char *path)
{
    size_t length = 0;
    unsigned char *data = (unsigned char *)loadfile(path, &length);
    if (!data) {
        SDL_SetError("Couldn't load font '%s'", path);
        return nullptr;
    }
    fontatlas *font = (fontatlas *)SDL_calloc(1, sizeof(fontatlas));
    if (!font) {
        SDL_free(data);
        SDL_OutOfMemory();
        return nullptr;
    }
    font->renderer = renderer;
    font->data = data;
    font->length = length;
    int offset = stbtt_GetFontOffsetForIndex(data, 0);
    if (offset < 0 || !stbtt_InitFont(&font->info, data, offset)) {
        SDL_SetError("Couldn't read font '%s'", path);
        fontatlas_delete(font);
        return nullptr;
    }
    return font;
}

void fontatlas_delete(fontatlas *font)
{
    if (!font) return;
    SDL_free(font->data);
    SDL_free(font);
}
