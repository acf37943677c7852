// stb_image reads PhysicsFS files (always 8-bit RGBA) once picture_check has passed them,
// lodepng writes the PNG bytes. While decoding, no single allocation may exceed what the
// declared size needs.
#include "render/image.h"
#include "base/files.h"

#include <SDL.h>
#include <limits.h>
#include <lodepng.h>
#include <physfs.h>
#include <stdlib.h>
#include <string.h>

// The most one allocation of the decoder may take for the picture being decoded, set from
// its declared size: data that makes it build far more (a deflate stream inflating past the
// picture, a size overflowing its int arithmetic) fails the allocation instead of taking
// gigabytes. Per thread: both threads load images.
static thread_local size_t decoder_allocation_limit = SIZE_MAX;

static void *decoder_malloc(size_t size) { return size > decoder_allocation_limit ? nullptr : SDL_malloc(size); }

static void *decoder_realloc(void *pointer, size_t size)
{
    return size > decoder_allocation_limit ? nullptr : SDL_realloc(pointer, size);
}

// Decoded pixels are SDL-allocated so every caller frees them the same way.
#define STBI_MALLOC(size) decoder_malloc(size)
#define STBI_REALLOC(pointer, size) decoder_realloc(pointer, size)
#define STBI_FREE(pointer) SDL_free(pointer)
#include "render/stb_image_copy.h"

static const stbi_io_callbacks physfs_callbacks = {picture_physfs_read, picture_physfs_skip, picture_physfs_eof};

// Empty PNG data chunks before the first with data, renamed on their way to the decoder.
struct renamed_chunks {
    PHYSFS_File *file;
    int64_t first;
    int count;
};

static int read_renaming(void *user, char *buffer, int size)
{
    renamed_chunks *r = (renamed_chunks *)user;
    PHYSFS_sint64 at = PHYSFS_tell(r->file);
    int got = picture_physfs_read(r->file, buffer, size);
    if (at < 0) return got;
    // "IDAT" becomes "iDAT": an ancillary chunk, which the decoder skips.
    int64_t k = at > r->first + 4 ? (at - r->first - 4 + 11) / 12 : 0;
    for (; k < r->count && r->first + 12 * k + 4 < at + got; k++) buffer[r->first + 12 * k + 4 - at] = 'i';
    return got;
}

static void skip_renaming(void *user, int n) { picture_physfs_skip(((renamed_chunks *)user)->file, n); }

static int eof_renaming(void *user) { return picture_physfs_eof(((renamed_chunks *)user)->file); }

// 16-bit PGM/PPM: asked for its own channel count the decoder keeps the samples as the file
// has them, high byte first (its reduction to 8 bits writes past its buffer for any other
// count, and keeps the low byte); the picture takes the high bytes.
static stbi_uc *decode_wide_pnm(PHYSFS_File *file, int channels, int *w, int *h)
{
    int n = 0;
    stbi_us *samples = stbi_load_16_from_callbacks(&physfs_callbacks, file, w, h, &n, channels);
    if (!samples) return nullptr;
    size_t count = (size_t)*w * (size_t)*h;
    stbi_uc *rgba = (stbi_uc *)SDL_malloc(count * 4);
    const uint8_t *bytes = (const uint8_t *)samples;
    for (size_t i = 0; rgba && i < count; i++) {
        const uint8_t *sample = bytes + i * (size_t)channels * 2;
        int step = channels == 3 ? 2 : 0;
        rgba[i * 4] = sample[0], rgba[i * 4 + 1] = sample[step], rgba[i * 4 + 2] = sample[2 * step];
        rgba[i * 4 + 3] = 255;
    }
    SDL_free(samples);
    return rgba;
}

static stbi_uc *decode(PHYSFS_File *file, int64_t file_size, const picture_check &c, int *w, int *h)
{
    if (!PHYSFS_seek(file, 0)) return nullptr;
    // Room for the largest buffer any format builds for the declared size (floats of four
    // channels), its coded data twice over, and tables.
    decoder_allocation_limit = (size_t)(16 * (c.width + 32) * (c.height + 32) + 2 * file_size + (1 << 20));
    int channels = 0;
    stbi_uc *pixels;
    if (c.pnm_sample_bytes == 2) {
        pixels = decode_wide_pnm(file, c.pnm_channels, w, h);
    } else if (c.empty_idats > 0) {
        static const stbi_io_callbacks renaming = {read_renaming, skip_renaming, eof_renaming};
        renamed_chunks chunks = {file, c.empty_idat_at, c.empty_idats};
        pixels = stbi_load_from_callbacks(&renaming, &chunks, w, h, &channels, 4);
    } else {
        pixels = stbi_load_from_callbacks(&physfs_callbacks, file, w, h, &channels, 4);
    }
    decoder_allocation_limit = SIZE_MAX;
    return pixels;
}

static int32_t saturate_side(int64_t side) { return side > INT32_MAX ? INT32_MAX : (int32_t)side; }

image_load load_image_within(const char *path, int32_t max_width, int32_t max_height)
{
    image_load result = {nullptr, 0, 0, IMAGE_NOT_REFUSED};
    PHYSFS_File *file = files_open_regular(path);
    if (!file) return result;
    // The checks read a header, then the decoder asks for 128 bytes at a time: buffered,
    // that is a few reads of the file rather than one for every 128 bytes.
    PHYSFS_setBuffer(file, 64 * 1024);
    int64_t file_size = PHYSFS_fileLength(file);
    picture_check c = {};
    if (file_size < 0) c.corrupt = true;
    else picture_check_file(file, file_size, SDL_min(max_width, FRAME_MAX_TEXTURE_SIDE), SDL_min(max_height, FRAME_MAX_TEXTURE_SIDE), &c);
    result.width = saturate_side(c.width), result.height = saturate_side(c.height);
    result.refusal = c.too_large;
    if (!c.corrupt && c.too_large == IMAGE_NOT_REFUSED) {
        int w = 0, h = 0;
        stbi_uc *pixels = decode(file, file_size, c, &w, &h);
        // Decoded at another size than its header said: not the picture that was checked.
        if (pixels && (w != c.width || h != c.height)) {
            SDL_free(pixels);
            pixels = nullptr;
        }
        result.pixels = (uint32_t *)pixels;
    }
    PHYSFS_close(file);
    return result;
}

uint32_t *load_image(const char *path, int32_t *width, int32_t *height)
{
    image_load image = load_image_within(path, FRAME_MAX_TEXTURE_SIDE, FRAME_MAX_TEXTURE_SIDE);
    if (!image.pixels) return nullptr;
    if (width) *width = image.width;
    if (height) *height = image.height;
    return image.pixels;
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
