#include "render/native_exports.h"
#include "render/render.h"
#include "host/frame_stream.h"

void znt_upload_pixel_array(const char *name, int width, int height, const uint32_t *pixels)
{
    int64_t bytes = frame_picture_bytes(width, height);
    if (!name || !pixels || bytes < 0) return;
    threadstream *s = current_frame_stream;
    frame_write_upload(s, frame_upload{frame_cstring(name), width, height, {(const char *)pixels, (size_t)bytes}});
}

uint32_t *znt_load_image(const char *path, int *width, int *height) { return load_image(path, width, height); }

void znt_free_image(void *pixels) { free_image(pixels); }
