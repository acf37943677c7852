#include "ffi/extension_api.h"
#include "ffi/ffi.h"
#include "render/frame_format.h"
#include "render/image.h"

#include <SDL.h>
#include <mruby/data.h>
#include <stdlib.h>
#include <string.h>

void znt_upload_pixel_array(const char *name, int width, int height, const uint32_t *pixels)
{
    int64_t bytes = frame_picture_bytes(width, height);
    if (!name || !pixels || bytes < 0) return;
    threadstream *s = ffi_frame_stream();
    frame_write_upload(s, frame_upload{frame_cstring(name), width, height, {(const char *)pixels, (size_t)bytes}});
}

uint32_t *znt_load_image(const char *path, int *width, int *height)
{
    if (!path || !width || !height) return nullptr;
    return load_image(path, width, height);
}

void znt_free_image(void *pixels) { free_image(pixels); }

void *dlsymfile(void *handle, const char *symbol)
{
    return handle && symbol ? SDL_LoadFunction(handle, symbol) : nullptr;
}

void znt_free_foreign_object(mrb_state *mrb, void *object)
{
    foreign_object *f = (foreign_object *)object;
    if (!f) return;
    if (f->kind == FOREIGN_OBJECT_DATA && f->owns_data) free(f->data);
    free(f);
}

// The interpreter's header has this only as a macro; extensions need a function.
static RClass *znt_exc_get(mrb_state *mrb, const char *name) { return mrb_exc_get_id(mrb, mrb_intern_cstr(mrb, name)); }

void *host_symbol_lookup(const char *name)
{
    static const struct {
        const char *name;
        void *function;
    } api[] = {
        {"mrb_raise", (void *)mrb_raise},
        {"mrb_module_get", (void *)mrb_module_get},
        {"mrb_class_get_under", (void *)mrb_class_get_under},
        {"mrb_get_args", (void *)mrb_get_args},
        {"znt_free_foreign_object", (void *)znt_free_foreign_object},
        {"mrb_define_module_under", (void *)mrb_define_module_under},
        {"mrb_str_new_cstr", (void *)mrb_str_new_cstr},
        {"mrb_define_class_under", (void *)mrb_define_class_under},
        {"mrb_define_module_function", (void *)mrb_define_module_function},
        {"mrb_data_object_alloc", (void *)mrb_data_object_alloc},
        {"mrb_module_get_under", (void *)mrb_module_get_under},
        {"mrb_define_method", (void *)mrb_define_method},
        {"mrb_define_class_method", (void *)mrb_define_class_method},
        {"mrb_exc_get", (void *)znt_exc_get},
        {"znt_upload_pixel_array", (void *)znt_upload_pixel_array},
        {"znt_load_image", (void *)znt_load_image},
        {"znt_free_image", (void *)znt_free_image},
    };
    if (!name) return nullptr;
    for (const auto &entry : api)
        if (strcmp(entry.name, name) == 0) return entry.function;
    return nullptr;
}
