// Image files to pixels (stb_image over PhysicsFS files, always 8-bit RGBA) and pixels to
// PNG bytes (lodepng).
#include "render/render.h"
#include "host/files.h"

#include <SDL.h>
#include <lodepng.h>
#include <physfs.h>
#include <stdlib.h>
#include <string.h>

// Decoded pixels are SDL-allocated so every caller frees them the same way.
#define STBI_MALLOC(size) SDL_malloc(size)
#define STBI_REALLOC(pointer, size) SDL_realloc(pointer, size)
#define STBI_FREE(pointer) SDL_free(pointer)
#define STBI_NO_STDIO
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb_image.h>
#pragma GCC diagnostic pop

static int stbi_physfs_read(void *user, char *buffer, int size)
{
    PHYSFS_sint64 got = PHYSFS_readBytes((PHYSFS_File *)user, buffer, (PHYSFS_uint64)(size > 0 ? size : 0));
    // A read error (-1) is the end of the data: the decoder then fails cleanly.
    return got < 0 ? 0 : (int)got;
}

static void stbi_physfs_skip(void *user, int n)
{
    PHYSFS_File *file = (PHYSFS_File *)user;
    PHYSFS_sint64 at = PHYSFS_tell(file);
    if (at < 0) return;
    PHYSFS_sint64 target = at + n;
    PHYSFS_seek(file, (PHYSFS_uint64)(target < 0 ? 0 : target));
}

static int stbi_physfs_eof(void *user)
{
    PHYSFS_File *file = (PHYSFS_File *)user;
    if (PHYSFS_eof(file)) return 1;
    // A file whose position cannot be read is at its end for the decoder's purposes.
    return PHYSFS_tell(file) < 0;
}

uint32_t *load_image(const char *path, int32_t *width, int32_t *height)
{
    PHYSFS_File *file = files_open_regular(path);
    if (!file) return nullptr;
    static const stbi_io_callbacks callbacks = {stbi_physfs_read, stbi_physfs_skip, stbi_physfs_eof};
    int w = 0, h = 0, channels = 0;
    stbi_uc *pixels = stbi_load_from_callbacks(&callbacks, file, &w, &h, &channels, 4);
    PHYSFS_close(file);
    if (!pixels) return nullptr;
    if (width) *width = w;
    if (height) *height = h;
    return (uint32_t *)pixels;
}

void free_image(void *pixels) { SDL_free(pixels); }

uint8_t *encode_png(const uint32_t *pixels, int32_t width, int32_t height, int32_t out_width, int32_t out_height,
                    size_t *size)
{
    if (!pixels || width < 1 || height < 1 || frame_picture_bytes(width, height) < 0) return nullptr;
    SDL_Surface *surface = SDL_CreateRGBSurfaceWithFormatFrom((void *)pixels, width, height, 32, width * 4,
                                                              SDL_PIXELFORMAT_ABGR8888);
    if (!surface) return nullptr;
    if (out_width > 0 && out_height > 0 && out_width != width && out_height != height) {
        SDL_Surface *scaled = frame_picture_bytes(out_width, out_height) < 0
                                  ? nullptr
                                  : SDL_CreateRGBSurfaceWithFormat(0, out_width, out_height, 32, SDL_PIXELFORMAT_ABGR8888);
        if (!scaled) {
            SDL_FreeSurface(surface);
            return nullptr;
        }
        // Copied, not blended onto the empty surface: translucent pixels keep their colour.
        SDL_SetSurfaceBlendMode(surface, SDL_BLENDMODE_NONE);
        SDL_UpperBlitScaled(surface, nullptr, scaled, nullptr);
        SDL_FreeSurface(surface);
        surface = scaled;
    }
    unsigned char *png = nullptr;
    size_t png_size = 0;
    LodePNGState state;
    lodepng_state_init(&state);
    unsigned error = lodepng_encode(&png, &png_size, (const unsigned char *)surface->pixels, (unsigned)surface->w,
                                    (unsigned)surface->h, &state);
    lodepng_state_cleanup(&state);
    SDL_FreeSurface(surface);
    if (error) {
        free(png);
        return nullptr;
    }
    // lodepng allocates with malloc; callers free with SDL_free.
    uint8_t *out = (uint8_t *)SDL_malloc(png_size);
    if (out) memcpy(out, png, png_size);
    free(png);
    if (out && size) *size = png_size;
    return out;
}
