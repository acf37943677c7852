#include "host/game.h"
#include "host/replay_events.h"
#include "base/metadata.h"
#include "base/ruby.h"
#include "compile/compile.h"
#include "ffi/ffi.h"

#include <SDL.h>
#include <mruby/array.h>
#include <mruby/class.h>
#include <mruby/hash.h>
#include <mruby/string.h>
#include <mruby/variable.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

extern "C" {
extern const uint8_t *const zoq_framework_ireps[];
extern const size_t zoq_framework_count;
extern const char *const zoq_framework_files[];
}

static mrb_value symbol_array(mrb_state *mrb, int count, const char *(*name_of)(int))
{
    mrb_value list = mrb_ary_new_capa(mrb, count);
    for (int i = 0; i < count; i++) mrb_ary_push(mrb, list, mrb_symbol_value(mrb_intern_cstr(mrb, name_of(i))));
    return mrb_obj_freeze(mrb, list);
}

static const char *analog_callback(int i) { return controller_analog_callbacks[i]; }

// What the framework must agree on with the host, given to it before it loads: the files it
// was built from (hot reload watches the same ones) and the host's tables of names and sizes.
static void define_host_tables(mrb_state *mrb)
{
    RClass *zoq = mrb_define_module(mrb, "ZOQ");
    mrb_value files = mrb_ary_new_capa(mrb, (mrb_int)zoq_framework_count);
    for (size_t i = 0; i < zoq_framework_count; i++) mrb_ary_push(mrb, files, mrb_str_new_cstr(mrb, zoq_framework_files[i]));
    mrb_define_const(mrb, zoq, "FRAMEWORK_FILES", mrb_obj_freeze(mrb, files));

    RClass *host = mrb_define_module_under(mrb, zoq, "Host");
    mrb_define_const(mrb, host, "SPRITE_ARGUMENTS", symbol_array(mrb, SPRITE_ARGUMENT_COUNT, ffi_sprite_argument_name));
    mrb_value keys = mrb_hash_new(mrb);
    for (int slot = 0; slot < CONTROLLER_KEY_SLOTS; slot++)
        if (const char *name = controller_key_name(slot))
            mrb_hash_set(mrb, keys, mrb_int_value(mrb, slot), mrb_symbol_value(mrb_intern_cstr(mrb, name)));
    mrb_define_const(mrb, host, "CONTROLLER_KEYS", mrb_obj_freeze(mrb, keys));
    mrb_define_const(mrb, host, "ANALOG_CALLBACKS", symbol_array(mrb, CONTROLLER_ANALOG_CALLBACKS, analog_callback));
    mrb_define_const(mrb, host, "DEFAULT_WIDTH", mrb_int_value(mrb, GAME_DEFAULT_WIDTH));
    mrb_define_const(mrb, host, "DEFAULT_HEIGHT", mrb_int_value(mrb, GAME_DEFAULT_HEIGHT));
    // The longest value (bytes) of each metadata key that start-up reads.
    mrb_value limits = mrb_hash_new(mrb);
    for (size_t i = 0; i < metadata_key_count; i++)
        mrb_hash_set(mrb, limits, mrb_str_new_cstr(mrb, metadata_keys[i].name), mrb_int_value(mrb, (mrb_int)metadata_keys[i].width - 1));
    mrb_define_const(mrb, host, "METADATA_VALUE_LIMITS", mrb_obj_freeze(mrb, limits));
}

int game_open_interpreter(game_context *context)
{
    mrb_state *mrb = mrb_open();
    if (!mrb) {
        SDL_SetError("cannot open the interpreter");
        return 0;
    }
    context->interpreter = mrb;
    define_host_tables(mrb);
    replay_events_define(mrb);
    for (size_t i = 0; i < zoq_framework_count; i++) {
        int ai = mrb_gc_arena_save(mrb);
        ruby_load_irep(mrb, zoq_framework_ireps[i]);
        mrb_gc_arena_restore(mrb, ai);
        if (mrb->exc) {
            char *text = ruby_inspect_alloc(mrb, mrb_obj_value(mrb->exc));
            SDL_SetError("%s: %s", zoq_framework_files[i], text ? text : "");
            SDL_free(text);
            mrb->exc = nullptr;
            return 0;
        }
    }
    if (!mrb_const_defined(mrb, mrb_obj_value(mrb->object_class), mrb_intern_lit(mrb, "TopLevelView"))) {
        SDL_SetError("TopLevelView is not defined");
        return 0;
    }
    return 1;
}

void game_join_argv(int argc, char **argv, char out[GAME_ARGV_BYTES])
{
    memset(out, 0, GAME_ARGV_BYTES);
    size_t running = 0, used = 0;
    for (int i = 0; i < argc; i++) {
        const char *arg = argv[i] ? argv[i] : "";
        size_t len = strlen(arg);
        if (running + len > 253) {
            SDL_Log("WARNING: ARGV is too long. The following argument will not be sent over: %s.", arg);
        } else {
            memcpy(out + used, arg, len);
            used += len;
            out[used++] = ' ';
        }
        running += len + 1;
    }
}

void game_logical_size(int32_t w, int32_t h, int32_t *logical_w, int32_t *logical_h)
{
    // Phone-sized windows take the standard landscape or portrait canvas.
    auto phone = [](int32_t v) { return v == 568 || v == 667 || v == 736 || v == 812 || v == 896; };
    *logical_w = w;
    *logical_h = h;
    if (w >= h) {
        if (phone(w)) *logical_w = GAME_DEFAULT_WIDTH, *logical_h = GAME_DEFAULT_HEIGHT;
    } else if (phone(h)) {
        *logical_w = GAME_DEFAULT_HEIGHT, *logical_h = GAME_DEFAULT_WIDTH;
    }
}

// The runtime's class; start-up checked that the framework defined it.
static mrb_value top_level_view(mrb_state *mrb)
{
    return mrb_const_get(mrb, mrb_obj_value(mrb->object_class), mrb_intern_lit(mrb, "TopLevelView"));
}

static int32_t window_query(mrb_state *mrb, const char *name, mrb_value argv, int32_t fallback)
{
    mrb_value v = ruby_call1(mrb, top_level_view(mrb), name, argv);
    // A query that raised or answered something else keeps the default.
    return (mrb_integer_p(v) || mrb_float_p(v)) ? ruby_to_i32_saturating(v, fallback) : fallback;
}

void game_pre_init(game_context *context, int argc, char **argv)
{
    mrb_state *mrb = context->interpreter;
    memset(context->p1_controller_key_states, 0, sizeof context->p1_controller_key_states);
    memset(context->p2_controller_key_states, 0, sizeof context->p2_controller_key_states);

    char joined[GAME_ARGV_BYTES];
    game_join_argv(argc, argv, joined);
    context->argv = mrb_str_new(mrb, joined, GAME_ARGV_BYTES);
    mrb_gc_register(mrb, context->argv);
    context->argv0 = mrb_str_new_cstr(mrb, argc >= 1 && argv[0] ? argv[0] : "");
    mrb_gc_register(mrb, context->argv0);

    context->argv_window_width = window_query(mrb, "argv_window_width", context->argv, GAME_DEFAULT_WIDTH);
    context->argv_window_height = window_query(mrb, "argv_window_height", context->argv, GAME_DEFAULT_HEIGHT);
    ruby_call1(mrb, top_level_view(mrb), "argv_window_scale", context->argv);
    context->argv_window_position_x = window_query(mrb, "argv_window_position_x", context->argv, -1);
    context->argv_window_position_y = window_query(mrb, "argv_window_position_y", context->argv, -1);

    // A size below 1 would divide by zero later: fall back to the default window.
    int32_t w = context->argv_window_width, h = context->argv_window_height;
    if (w < 1 || h < 1) {
        w = context->argv_window_width = GAME_DEFAULT_WIDTH;
        h = context->argv_window_height = GAME_DEFAULT_HEIGHT;
    }
    game_logical_size(w, h, &context->logical_width, &context->logical_height);
}

void game_init(game_context *context, int argc, char **argv)
{
    mrb_state *mrb = context->interpreter;
    const game_metadata_record *metadata = game_metadata();
    const char *platform = SDL_GetPlatform();
    mrb_value args[6] = {
        mrb_str_new_cstr(mrb, platform ? platform : ""),
        mrb_bool_value(metadata->production != 0),
        mrb_int_value(mrb, context->logical_width),
        mrb_int_value(mrb, context->logical_height),
        context->argv,
        context->argv0,
    };
    mrb_value runtime = mrb_funcall_argv(mrb, top_level_view(mrb), mrb_intern_lit(mrb, "new"), 6, args);
    if (mrb->exc) {
        char *text = ruby_inspect_alloc(mrb, mrb_obj_value(mrb->exc));
        printf("%s\n", text ? text : "");
        fflush(stdout);
        SDL_free(text);
        exit(-1);
    }
    context->runtime = runtime;
    mrb_gc_register(mrb, runtime);
}

void game_tick(game_context *context)
{
    mrb_state *mrb = context->interpreter;
    // 64-bit milliseconds: the 32-bit count wraps after 49.7 days and would freeze the 13 ms rule.
    ruby_call1(mrb, context->runtime, "tick", mrb_int_value(mrb, (mrb_int)SDL_GetTicks64()));
}
