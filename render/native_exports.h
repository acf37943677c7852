// native_exports: the picture functions that native extensions receive by name: uploading
// pixels as a named texture of the current frame, and loading and freeing images.
#pragma once
#include <stdint.h>

extern "C" {
// Appends a DRAW_UPLOAD_PIXEL_ARRAY record with a copy of the width x height pixels
// (0xAABBGGRR each, rows top first); nothing outside a frame, for a null name or pixels, or
// for a negative or oversized side. The caller keeps its buffer.
void znt_upload_pixel_array(const char *name, int width, int height, const uint32_t *pixels);
// An image file of the virtual file system as RGBA pixels (free with znt_free_image), or NULL.
uint32_t *znt_load_image(const char *path, int *width, int *height);
void znt_free_image(void *pixels);
}
