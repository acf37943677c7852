// extension_api: what a native extension receives from the host. Its entry point
// `znt_register_c_extensions` is called with host_symbol_lookup, the interpreter and module
// FFI; the look-up hands out 17 functions by exact name: interpreter functions with their
// published signatures (an extension is built against this interpreter's headers and
// definitions) and the host's own, declared here. Plain C, so extensions can include it.
#pragma once
#include <mruby.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// What an extension allocates with malloc to back its data objects; give
// znt_free_foreign_object as the data type's free function.
typedef struct foreign_object {
    uint32_t kind; // FOREIGN_OBJECT_DATA: `data` is a pointer
    void *data;
    uint32_t owns_data; // non-zero: `data` was malloc'ed and goes with the record
} foreign_object;
#define FOREIGN_OBJECT_DATA 1

typedef void *(*znt_host_lookup)(const char *name);
typedef void (*znt_register_function)(znt_host_lookup lookup, mrb_state *mrb, struct RClass *ffi_module);

// The function of that name, or NULL for any name not handed out.
void *host_symbol_lookup(const char *name);

// The address of symbol in a library loaded with SDL_LoadObject (or dlopen), or NULL for a
// NULL handle or a missing symbol. Exported for extensions (find it with dlsym); the host
// itself never calls it.
void *dlsymfile(void *handle, const char *symbol);

// Frees a foreign_object (and its data when it owns it) with free; NULL does nothing.
void znt_free_foreign_object(mrb_state *mrb, void *object);

// Appends a DRAW_UPLOAD_PIXEL_ARRAY record with a copy of the width x height pixels
// (0xAABBGGRR each, rows top first); nothing outside a frame, for a null name or pixels, or
// for a negative or oversized side. The caller keeps its buffer.
void znt_upload_pixel_array(const char *name, int width, int height, const uint32_t *pixels);
// An image file of the virtual file system as RGBA pixels (free with znt_free_image), or NULL.
uint32_t *znt_load_image(const char *path, int *width, int *height);
void znt_free_image(void *pixels);

#ifdef __cplusplus
}
#endif
