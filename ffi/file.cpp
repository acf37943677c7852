// FFI::File: the framework's and the game's only road to files. Reads go through the whole
// search path; writes go to game_dir (write, append) or base_dir (*_root).
#include "base/files.h"
#include "base/game_context.h"
#include "base/logfile.h"
#include "ffi/ffi.h"
#include "render/image.h"

#include <mruby/array.h>
#include <mruby/error.h>
#include <mruby/string.h>

static mrb_value ffi_file_mtime(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    return mrb_int_value(mrb, (mrb_int)lastmodtime(path));
}

struct text_args {
    const char *text;
    size_t length;
};

static mrb_value text_to_ruby(mrb_state *mrb, void *p)
{
    text_args *a = (text_args *)p;
    return mrb_str_new(mrb, a->text, (mrb_int)a->length);
}

static mrb_value ffi_file_read(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    // A log file read back holds every line logged so far.
    if (logfile_handles(path)) logfile_flush();
    size_t length = 0;
    char *text = loadfile(path, &length);
    if (!text) return mrb_nil_value();
    // Making the String can raise (out of memory): keep the buffer from leaking then.
    text_args args = {text, length};
    mrb_bool failed = FALSE;
    mrb_value s = mrb_protect_error(mrb, text_to_ruby, &args, &failed);
    SDL_free(text);
    if (failed) mrb_exc_raise(mrb, s);
    return s;
}

// The directory lock, the set and the write all happen inside the override helpers, so the
// render thread's screenshots cannot re-point the write directory halfway through.
static mrb_value write_into(mrb_state *mrb, int root, int append)
{
    const char *path;
    const char *data;
    mrb_int length;
    mrb_get_args(mrb, "zs", &path, &data, &length);
    game_context *game = ffi_game_context;
    const char *dir = game ? (root ? game->base_dir : game->game_dir) : nullptr;
    if (!dir) return mrb_false_value();
    // The logs, written a line at a time, stay open between lines.
    if (root && logfile_handles(path)) return mrb_bool_value(logfile_write(dir, path, data, (size_t)length, append));
    int ok = append ? appendfile_write_override(dir, path, data, (size_t)length)
                    : storefile_write_override(dir, path, data, (size_t)length);
    return mrb_bool_value(ok != 0);
}

static mrb_value ffi_file_write(mrb_state *mrb, mrb_value self) { return write_into(mrb, 0, 0); }
static mrb_value ffi_file_append(mrb_state *mrb, mrb_value self) { return write_into(mrb, 0, 1); }
static mrb_value ffi_file_write_root(mrb_state *mrb, mrb_value self) { return write_into(mrb, 1, 0); }
static mrb_value ffi_file_append_root(mrb_state *mrb, mrb_value self) { return write_into(mrb, 1, 1); }

static mrb_value dir_string(mrb_state *mrb, const char *dir)
{
    return dir ? mrb_str_new_cstr(mrb, dir) : mrb_nil_value();
}

static mrb_value ffi_file_get_base_dir(mrb_state *mrb, mrb_value self)
{
    return dir_string(mrb, ffi_game_context ? ffi_game_context->base_dir : nullptr);
}

static mrb_value ffi_file_get_game_dir(mrb_state *mrb, mrb_value self)
{
    return dir_string(mrb, ffi_game_context ? ffi_game_context->game_dir : nullptr);
}

struct image_args {
    const uint32_t *pixels;
    int32_t width, height;
};

static mrb_value image_to_ruby(mrb_state *mrb, void *p)
{
    image_args *img = (image_args *)p;
    mrb_int count = (mrb_int)img->width * (mrb_int)img->height;
    // Full capacity first: one Integer per pixel and no growth while filling.
    mrb_value pixels = mrb_ary_new_capa(mrb, count);
    for (mrb_int i = 0; i < count; i++) mrb_ary_push(mrb, pixels, mrb_int_value(mrb, (mrb_int)img->pixels[i]));
    mrb_value result = mrb_ary_new_capa(mrb, 3);
    mrb_ary_push(mrb, result, pixels);
    mrb_ary_push(mrb, result, mrb_int_value(mrb, img->width));
    mrb_ary_push(mrb, result, mrb_int_value(mrb, img->height));
    return result;
}

static mrb_value ffi_file_load_image(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    int32_t width = 0, height = 0;
    uint32_t *pixels = load_image(path, &width, &height);
    if (!pixels) return mrb_nil_value();
    image_args img = {pixels, width, height};
    mrb_bool failed = FALSE;
    mrb_value result = mrb_protect_error(mrb, image_to_ruby, &img, &failed);
    free_image(pixels);
    if (failed) mrb_exc_raise(mrb, result);
    return result;
}

void ffi_file_define(mrb_state *mrb, RClass *file)
{
    mrb_define_method(mrb, file, "mtime", ffi_file_mtime, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, file, "read", ffi_file_read, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, file, "write", ffi_file_write, MRB_ARGS_REQ(2));
    mrb_define_method(mrb, file, "append", ffi_file_append, MRB_ARGS_REQ(2));
    mrb_define_method(mrb, file, "write_root", ffi_file_write_root, MRB_ARGS_REQ(2));
    mrb_define_method(mrb, file, "append_root", ffi_file_append_root, MRB_ARGS_REQ(2));
    // The two directories read no arguments and ignore any given: NONE would make the interpreter refuse them.
    mrb_define_method(mrb, file, "get_base_dir", ffi_file_get_base_dir, MRB_ARGS_ANY());
    mrb_define_method(mrb, file, "get_game_dir", ffi_file_get_game_dir, MRB_ARGS_ANY());
    mrb_define_method(mrb, file, "load_image", ffi_file_load_image, MRB_ARGS_REQ(1));
}
