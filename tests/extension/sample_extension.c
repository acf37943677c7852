/* A native extension as a game would ship one: it reaches the interpreter and the host only
   through the functions the host's look-up hands out, and the functions the executable
   exports by name, and defines module FFI::Sample. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <mruby.h>
#include <mruby/class.h>
#include <mruby/data.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ffi/extension_api.h"
#include "services/xml_reader.h"

/* The module it defines under FFI: the build makes a second copy under another name. */
#ifndef SAMPLE_MODULE
#define SAMPLE_MODULE "Sample"
#endif

/* The interpreter also has a macro named mrb_int: the type goes through a name of our own. */
typedef mrb_int count_t;

static znt_host_lookup lookup;
static int loads;

static struct {
    void (*raise)(mrb_state *, struct RClass *, const char *);
    struct RClass *(*module_get)(mrb_state *, const char *);
    struct RClass *(*class_get_under)(mrb_state *, struct RClass *, const char *);
    count_t (*get_args)(mrb_state *, mrb_args_format, ...);
    void (*free_foreign_object)(mrb_state *, void *);
    struct RClass *(*define_module_under)(mrb_state *, struct RClass *, const char *);
    mrb_value (*str_new_cstr)(mrb_state *, const char *);
    struct RClass *(*define_class_under)(mrb_state *, struct RClass *, const char *, struct RClass *);
    void (*define_module_function)(mrb_state *, struct RClass *, const char *, mrb_func_t, mrb_aspec);
    struct RData *(*data_object_alloc)(mrb_state *, struct RClass *, void *, const mrb_data_type *);
    struct RClass *(*module_get_under)(mrb_state *, struct RClass *, const char *);
    void (*define_method)(mrb_state *, struct RClass *, const char *, mrb_func_t, mrb_aspec);
    void (*define_class_method)(mrb_state *, struct RClass *, const char *, mrb_func_t, mrb_aspec);
    struct RClass *(*exc_get)(mrb_state *, const char *);
    void (*upload_pixel_array)(const char *, int, int, const uint32_t *);
    uint32_t *(*load_image)(const char *, int *, int *);
    void (*free_image)(void *);
} api;

static mrb_data_type box_type = {"SampleBox", NULL};

static mrb_value greet(mrb_state *mrb, mrb_value self)
{
    const char *name;
    char text[256];
    api.get_args(mrb, "z", &name);
    snprintf(text, sizeof text, "hello, %s (load %d)", name, loads);
    return api.str_new_cstr(mrb, text);
}

static mrb_value found(mrb_state *mrb, mrb_value self)
{
    const char *name;
    api.get_args(mrb, "z", &name);
    return mrb_bool_value(lookup(name) != NULL);
}

static mrb_value fail(mrb_state *mrb, mrb_value self)
{
    const char *message;
    api.get_args(mrb, "z", &message);
    api.raise(mrb, api.exc_get(mrb, "ArgumentError"), message);
    return mrb_nil_value();
}

/* "WxH RRGGBBAA" of an image's size and first pixel, or nil. */
static mrb_value image(mrb_state *mrb, mrb_value self)
{
    const char *path;
    char text[64];
    int w = 0, h = 0;
    uint32_t *pixels;
    api.get_args(mrb, "z", &path);
    pixels = api.load_image(path, &w, &h);
    if (!pixels) return mrb_nil_value();
    snprintf(text, sizeof text, "%dx%d %08X", w, h, (unsigned)pixels[0]);
    api.free_image(pixels);
    return api.str_new_cstr(mrb, text);
}

/* Uploads a 2 x 1 picture, opaque red then transparent, under the given name. */
static mrb_value upload(mrb_state *mrb, mrb_value self)
{
    const char *name;
    uint32_t pixels[2] = {0xFF0000FFu, 0};
    api.get_args(mrb, "z", &name);
    api.upload_pixel_array(name, 2, 1, pixels);
    return mrb_nil_value();
}

static mrb_value free_null(mrb_state *mrb, mrb_value self)
{
    api.free_foreign_object(mrb, NULL);
    return mrb_nil_value();
}

/* FFI::Sample::Box.make(text): a data object backed by a foreign object that owns a copy. */
static mrb_value box_make(mrb_state *mrb, mrb_value self)
{
    const char *text;
    foreign_object *f;
    api.get_args(mrb, "z", &text);
    f = (foreign_object *)malloc(sizeof *f);
    f->kind = FOREIGN_OBJECT_DATA;
    f->data = strdup(text);
    f->owns_data = 1;
    return mrb_obj_value(api.data_object_alloc(mrb, mrb_class_ptr(self), f, &box_type));
}

static mrb_value box_text(mrb_state *mrb, mrb_value self)
{
    foreign_object *f;
    if (mrb_type(self) != MRB_TT_DATA || DATA_TYPE(self) != &box_type) return mrb_nil_value();
    f = (foreign_object *)DATA_PTR(self);
    return api.str_new_cstr(mrb, (const char *)f->data);
}

/* The interpreter functions for finding modules and classes agree with what was defined. */
static const char *consistency(mrb_state *mrb, struct RClass *ffi, struct RClass *sample)
{
    if (api.module_get(mrb, "FFI") != ffi) return "module_get";
    if (api.module_get_under(mrb, ffi, SAMPLE_MODULE) != sample) return "module_get_under";
    if (api.class_get_under(mrb, ffi, "Misc") == NULL) return "class_get_under";
    return "ok";
}

static int count_element(xml_callbacks *cb)
{
    ++*(long *)cb->user_data;
    return 1;
}

/* What the executable exports for extensions, found by name: "ok", or what failed. */
static const char *check_exports(mrb_state *mrb)
{
    int (*parse)(const char *, size_t, xml_callbacks *);
    int (*parse_file)(const char *, xml_callbacks *);
    void *(*symbol_in)(void *, const char *);
    mrb_value (*cptr_new)(mrb_state *, void *);
    void *program = dlopen(NULL, RTLD_NOW);
    xml_callbacks cb;
    long elements = 0;
    *(void **)&parse = dlsym(RTLD_DEFAULT, "parse_xml");
    *(void **)&parse_file = dlsym(RTLD_DEFAULT, "parse_xml_file");
    *(void **)&symbol_in = dlsym(RTLD_DEFAULT, "dlsymfile");
    *(void **)&cptr_new = dlsym(RTLD_DEFAULT, "ffi_cptr_new");
    if (!parse || !parse_file || !symbol_in || !cptr_new) return "not exported";
    memset(&cb, 0, sizeof cb);
    cb.user_data = &elements;
    cb.on_element_start = count_element;
    if (parse("<a><b/><c/></a>", 15, &cb) != 1 || elements != 3) return "parse_xml";
    if (parse_file("data/doc.xml", &cb) != 1 || elements != 5) return "parse_xml_file";
    if (parse_file("data/none.xml", &cb) != 0 || cb.status != -1) return "parse_xml_file of a missing file";
    if (symbol_in(program, "parse_xml") != (void *)parse || symbol_in(program, "no_such_symbol") ||
        symbol_in(NULL, "parse_xml"))
        return "dlsymfile";
    if (mrb_nil_p(cptr_new(mrb, &loads))) return "ffi_cptr_new";
    return "ok";
}

static mrb_value exports(mrb_state *mrb, mrb_value self) { return api.str_new_cstr(mrb, check_exports(mrb)); }

static const char *checked = "not run";

static mrb_value checks(mrb_state *mrb, mrb_value self) { return api.str_new_cstr(mrb, checked); }

#define LOOK_UP(field, name) *(void **)&api.field = lookup(name)

void znt_register_c_extensions(znt_host_lookup host_lookup, mrb_state *mrb, struct RClass *ffi)
{
    struct RClass *sample, *box;
    lookup = host_lookup;
    LOOK_UP(raise, "mrb_raise");
    LOOK_UP(module_get, "mrb_module_get");
    LOOK_UP(class_get_under, "mrb_class_get_under");
    LOOK_UP(get_args, "mrb_get_args");
    LOOK_UP(free_foreign_object, "znt_free_foreign_object");
    LOOK_UP(define_module_under, "mrb_define_module_under");
    LOOK_UP(str_new_cstr, "mrb_str_new_cstr");
    LOOK_UP(define_class_under, "mrb_define_class_under");
    LOOK_UP(define_module_function, "mrb_define_module_function");
    LOOK_UP(data_object_alloc, "mrb_data_object_alloc");
    LOOK_UP(module_get_under, "mrb_module_get_under");
    LOOK_UP(define_method, "mrb_define_method");
    LOOK_UP(define_class_method, "mrb_define_class_method");
    LOOK_UP(exc_get, "mrb_exc_get");
    LOOK_UP(upload_pixel_array, "znt_upload_pixel_array");
    LOOK_UP(load_image, "znt_load_image");
    LOOK_UP(free_image, "znt_free_image");
    box_type.dfree = api.free_foreign_object;
    loads++;

    sample = api.define_module_under(mrb, ffi, SAMPLE_MODULE);
    api.define_module_function(mrb, sample, "greet", greet, MRB_ARGS_REQ(1));
    api.define_module_function(mrb, sample, "found?", found, MRB_ARGS_REQ(1));
    api.define_module_function(mrb, sample, "fail", fail, MRB_ARGS_REQ(1));
    api.define_module_function(mrb, sample, "image", image, MRB_ARGS_REQ(1));
    api.define_module_function(mrb, sample, "upload", upload, MRB_ARGS_REQ(1));
    api.define_module_function(mrb, sample, "free_null", free_null, MRB_ARGS_NONE());
    api.define_module_function(mrb, sample, "checks", checks, MRB_ARGS_NONE());
    api.define_module_function(mrb, sample, "exports", exports, MRB_ARGS_NONE());
    box = api.define_class_under(mrb, sample, "Box", mrb->object_class);
    MRB_SET_INSTANCE_TT(box, MRB_TT_DATA);
    api.define_class_method(mrb, box, "make", box_make, MRB_ARGS_REQ(1));
    api.define_method(mrb, box, "text", box_text, MRB_ARGS_NONE());
    checked = consistency(mrb, ffi, sample);
}
