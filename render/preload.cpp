// Start-up: on a display without a GPU render node the OpenGL renderer runs on Mesa's
// software rasteriser, whose driver takes 30-60 ms to load here. Loading it on a helper
// thread while the main thread opens SDL, the file system and the interpreter takes that
// off the way to the first frame; the renderer later finds it loaded.
#include "render/render.h"

#include <dlfcn.h>
#include <glob.h>
#include <stdio.h>
#include <string.h>

static int preload_gl(void *unused)
{
    void *gl = dlopen("libGL.so.1", RTLD_NOW | RTLD_GLOBAL);
    if (!gl) return 0;
    // The drivers live in "dri" beside the GL library.
    Dl_info info;
    void *symbol = dlsym(gl, "glXGetProcAddress");
    if (!symbol || !dladdr(symbol, &info) || !info.dli_fname) return 0;
    const char *slash = strrchr(info.dli_fname, '/');
    if (!slash) return 0;
    char path[512];
    snprintf(path, sizeof path, "%.*s/dri/swrast_dri.so", (int)(slash - info.dli_fname), info.dli_fname);
    dlopen("libGLX_mesa.so.0", RTLD_NOW | RTLD_GLOBAL);
    dlopen(path, RTLD_NOW | RTLD_GLOBAL);
    return 0; // the handles stay open: the renderer uses these very libraries
}

void render_preload_start(void)
{
    const char *driver = SDL_getenv("SDL_VIDEODRIVER");
    if (driver && strcmp(driver, "x11") != 0) return; // dummy, offscreen, wayland: no GLX
    if (!SDL_getenv("DISPLAY")) return;
    glob_t nodes;
    int found = glob("/dev/dri/renderD*", 0, nullptr, &nodes) == 0 && nodes.gl_pathc > 0;
    globfree(&nodes);
    if (found) return; // a GPU driver will be used instead
    SDL_Thread *thread = SDL_CreateThread(preload_gl, "gl preload", nullptr);
    if (thread) SDL_DetachThread(thread);
}
