// image: picture files decoded to pixels and pixels encoded as PNG. Kept with the renderer,
// whose texture size bounds every picture; FFI::File and native extensions read pictures here too.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "render/frame_format.h"   // FRAME_MAX_TEXTURE_SIDE
#include "render/picture_check.h" // image_refusal

// An image file of the virtual file system decoded to width x height pixels 0xAABBGGRR
// (bytes R, G, B, A), rows from the top; NULL (out-values untouched) when it cannot be
// read or decoded, or is larger than FRAME_MAX_TEXTURE_SIDE on a side. Free with free_image.
uint32_t *load_image(const char *path, int32_t *width, int32_t *height);

struct image_load {
    uint32_t *pixels;      // NULL when the picture cannot be used
    int32_t width, height; // its size; for a refused picture the size it declares
    image_refusal refusal;
};

// load_image for pictures at most max_width x max_height (and never past
// FRAME_MAX_TEXTURE_SIDE), saying why a picture was refused.
image_load load_image_within(const char *path, int32_t max_width, int32_t max_height);
void free_image(void *pixels);
// width x height pixels as PNG bytes (SDL_malloc'ed, *size set), scaled to out_width x
// out_height when both are given and both differ from the source; NULL on failure.
uint8_t *encode_png(const uint32_t *pixels, int32_t width, int32_t height, int32_t out_width, int32_t out_height,
                    size_t *size);
