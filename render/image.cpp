// Image files to pixels: stb_image decoding over PhysicsFS files, always to 8-bit RGBA.
#include "render/render.h"
#include "host/files.h"

#include <SDL.h>
#include <physfs.h>

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

static int stbi_physfs_eof(void *user) { return PHYSFS_eof((PHYSFS_File *)user); }

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
