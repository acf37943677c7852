#include "ffi/ffi.h"
#include "host/files.h"
#include "host/game.h"

#include <mruby/class.h>
#include <mruby/string.h>

static game_context *ffi_game;

static mrb_value ffi_file_read(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    size_t length = 0;
    char *text = loadfile(path, &length);
    if (!text) return mrb_nil_value();
    mrb_value s = mrb_str_new(mrb, text, length);
    SDL_free(text);
    return s;
}

static mrb_value ffi_file_mtime(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    return mrb_int_value(mrb, (mrb_int)lastmodtime(path));
}

static mrb_value write_with(mrb_state *mrb, bool root, bool append)
{
    const char *path;
    mrb_value data;
    mrb_get_args(mrb, "zS", &path, &data);
    const char *dir = root ? ffi_game->base_dir : ffi_game->game_dir;
    int ok = append ? appendfile_write_override(dir, path, RSTRING_PTR(data), (size_t)RSTRING_LEN(data))
                    : storefile_write_override(dir, path, RSTRING_PTR(data), (size_t)RSTRING_LEN(data));
    return mrb_bool_value(ok);
}

static mrb_value ffi_file_write(mrb_state *mrb, mrb_value self) { return write_with(mrb, false, false); }
static mrb_value ffi_file_append(mrb_state *mrb, mrb_value self) { return write_with(mrb, false, true); }
static mrb_value ffi_file_write_root(mrb_state *mrb, mrb_value self) { return write_with(mrb, true, false); }
static mrb_value ffi_file_append_root(mrb_state *mrb, mrb_value self) { return write_with(mrb, true, true); }

void ffi_init(game_context *context, render_context *render)
{
    (void)render;
    ffi_game = context;
    mrb_state *mrb = context->interpreter;
    RClass *ffi = mrb_define_module(mrb, "FFI");
    context->ffi_module = ffi;
    context->ffi_file_class = mrb_define_class_under(mrb, ffi, "File", mrb->object_class);
    context->ffi_misc_class = mrb_define_class_under(mrb, ffi, "Misc", mrb->object_class);
    context->ffi_mrb_class = mrb_define_class_under(mrb, ffi, "MRB", mrb->object_class);
    mrb_define_class_under(mrb, ffi, "CPtr", mrb->object_class);
    RClass *file = context->ffi_file_class;
    mrb_define_method(mrb, file, "read", ffi_file_read, MRB_ARGS_ANY());
    mrb_define_method(mrb, file, "mtime", ffi_file_mtime, MRB_ARGS_ANY());
    mrb_define_method(mrb, file, "write", ffi_file_write, MRB_ARGS_ANY());
    mrb_define_method(mrb, file, "append", ffi_file_append, MRB_ARGS_ANY());
    mrb_define_method(mrb, file, "write_root", ffi_file_write_root, MRB_ARGS_ANY());
    mrb_define_method(mrb, file, "append_root", ffi_file_append_root, MRB_ARGS_ANY());
}
