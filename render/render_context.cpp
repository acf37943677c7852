// The render context's making and unmaking: window, renderer, fallback texture, default font,
// and its name-keyed caches of textures and fonts.
#include "render/render.h"
#include "base/metadata.h"
#include "render/fontatlas.h"
#include "render/image.h"

#include <string.h>

static SDL_Texture *make_missing_texture(SDL_Renderer *renderer)
{
    uint32_t *pixels = (uint32_t *)SDL_malloc(256 * 256 * 4);
    if (!pixels) {
        SDL_OutOfMemory();
        return nullptr;
    }
    for (int r = 0; r < 256; r++) {
        bool white = (r & 16) != 0;
        for (int c = 0; c < 256; c++) {
            pixels[r * 256 + c] = white ? 0xFFFFFFFFu : 0xFF000000u;
            if (c == 0 || c % 16 == 0) white = !white;
        }
    }
    for (int i = 0; i < 256; i++) {
        pixels[i] = pixels[255 * 256 + i] = 0xFF0000FFu;
        pixels[i * 256] = pixels[i * 256 + 255] = 0xFF0000FFu;
    }
    SDL_Texture *texture = render_texture_create(renderer, SDL_PIXELFORMAT_ABGR8888, SDL_TEXTUREACCESS_STATIC, 256, 256);
    if (texture) {
        SDL_SetTextureBlendMode(texture, SDL_BLENDMODE_BLEND);
        if (SDL_UpdateTexture(texture, nullptr, pixels, 1024) != 0) {
            SDL_DestroyTexture(texture);
            texture = nullptr;
        }
    }
    SDL_free(pixels);
    return texture;
}

// A missing or undecodable icon is not worth failing start-up for.
static void set_window_icon(SDL_Window *window, const char *path)
{
    if (!path[0]) return;
    int32_t w = 0, h = 0;
    uint32_t *pixels = load_image(path, &w, &h);
    if (!pixels) return;
    SDL_Surface *icon = SDL_CreateRGBSurfaceWithFormatFrom(pixels, w, h, 32, w * 4, SDL_PIXELFORMAT_ABGR8888);
    if (icon) {
        SDL_SetWindowIcon(window, icon);
        SDL_FreeSurface(icon);
    }
    free_image(pixels);
}

// Releases what was made so far, keeping SDL's error text: the cause, not what cleanup said.
static render_context *fail(render_context *ctx)
{
    char cause[256];
    SDL_strlcpy(cause, SDL_GetError(), sizeof cause);
    render_context_delete(ctx);
    SDL_SetError("%s", cause);
    return nullptr;
}

// The window, at the logical size shrunk to fit the display, titled and given the game's icon.
static SDL_Window *create_window(render_context *ctx, int32_t fullscreen, int32_t hidden)
{
    const game_metadata_record *metadata = game_metadata();
    int w = ctx->logical_width, h = ctx->logical_height;
    SDL_Rect bounds;
    if (SDL_GetDisplayBounds(0, &bounds) == 0 && w > 0 && h > 0) {
        if (bounds.w <= w) {
            h = (int)((float)bounds.w / ((float)w / (float)h));
            w = bounds.w;
        }
        if (bounds.h <= h && w > 0 && h > 0) {
            w = (int)((float)bounds.h / ((float)h / (float)w));
            h = bounds.h;
        }
    }
    Uint32 flags = fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : SDL_WINDOW_RESIZABLE;
    if (hidden) flags |= SDL_WINDOW_HIDDEN;
    // Made for OpenGL from the start where the video driver has it: the OpenGL renderer
    // would otherwise destroy and re-create the window it is given.
    SDL_Window *window = SDL_CreateWindow(metadata->gametitle, SDL_WINDOWPOS_CENTERED_DISPLAY(0),
                                          SDL_WINDOWPOS_CENTERED_DISPLAY(0), w, h, flags | SDL_WINDOW_OPENGL);
    if (!window)
        window = SDL_CreateWindow(metadata->gametitle, SDL_WINDOWPOS_CENTERED_DISPLAY(0),
                                  SDL_WINDOWPOS_CENTERED_DISPLAY(0), w, h, flags);
    if (window) set_window_icon(window, metadata->icon);
    return window;
}

// Whether the renderer asked for by name is SDL's software one.
static bool software_renderer_asked()
{
    const char *driver = SDL_GetHint(SDL_HINT_RENDER_DRIVER);
    return driver && SDL_strcasecmp(driver, "software") == 0;
}

// The renderer, with vsync held off, having presented one black frame.
static SDL_Renderer *create_renderer(render_context *ctx)
{
    SDL_SetHint("SDL_RENDER_BATCHING", "1");
    // The OpenGL renderer compiles all of its shader programs when it is made (several ms under
    // a software driver). Its fixed-function path draws the same pixels for every texture kind
    // used here (no YUV) at the same or lower cost per record. The environment can still
    // override this.
    // Not for the software renderer: in a real window it presents through an OpenGL renderer
    // of SDL's own, which makes its window texture anew at every resize without the fix of
    // render_texture_create, and on the fixed-function path shows white from then on.
    if (!software_renderer_asked()) SDL_SetHint(SDL_HINT_RENDER_OPENGL_SHADERS, "0");
    SDL_Renderer *renderer = SDL_CreateRenderer(ctx->window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!renderer) renderer = SDL_CreateRenderer(ctx->window, -1, SDL_RENDERER_ACCELERATED);
    if (!renderer) {
        SDL_ResetHint(SDL_HINT_RENDER_OPENGL_SHADERS); // this try may give the software renderer
        renderer = SDL_CreateRenderer(ctx->window, -1, 0);
    }
    if (!renderer) return nullptr;
    // The black frame and the start-up frame show nothing a refresh would make smoother; waiting
    // for one there would hold back the simulation's start. Vsync is back after them.
    SDL_RendererInfo info;
    ctx->vsync_held = SDL_GetRendererInfo(renderer, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC) &&
                      SDL_RenderSetVSync(renderer, 0) == 0;
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderClear(renderer);
    SDL_RenderPresent(renderer);
    return renderer;
}

render_context *render_context_new(thread_channel *channel, int32_t fullscreen, int32_t hidden, int32_t logical_width, int32_t logical_height,
                                   int32_t window_width, int32_t window_height, int32_t window_x, int32_t window_y)
{
    render_context *ctx = (render_context *)SDL_calloc(1, sizeof(render_context));
    if (!ctx) {
        SDL_OutOfMemory();
        return nullptr;
    }
    ctx->channel = channel;
    ctx->refresh_ticks = SDL_GetPerformanceFrequency() / 60; // until the display says otherwise
    ctx->image_failures = file_failures_create(); // null (no memory): failed sprites are read at each draw
    ctx->font_lock = SDL_CreateMutex();
    ctx->title_lock = SDL_CreateMutex();
    if (!ctx->font_lock || !ctx->title_lock) {
        SDL_OutOfMemory();
        return fail(ctx);
    }
    ctx->logical_width = logical_width;
    ctx->logical_height = logical_height;

    ctx->window = create_window(ctx, fullscreen, hidden);
    if (!ctx->window) return fail(ctx);
    channel->window_id = SDL_GetWindowID(ctx->window);
    // Headless drivers deliver no input: there the render loop takes events once a step.
    const char *driver = SDL_GetCurrentVideoDriver();
    ctx->events_arrive = driver && !render_driver_is_headless(driver);
    SDL_GetWindowSize(ctx->window, &ctx->window_width, &ctx->window_height);
    ctx->renderer = create_renderer(ctx);
    if (!ctx->renderer) return fail(ctx);
    SDL_GetRendererOutputSize(ctx->renderer, &ctx->output_width, &ctx->output_height);

    ctx->missing_texture = make_missing_texture(ctx->renderer);
    if (!ctx->missing_texture) return fail(ctx);
    ctx->default_font = fontatlas_new(ctx->renderer, "font.ttf");
    if (!ctx->default_font) return fail(ctx);
    SDL_RenderSetLogicalSize(ctx->renderer, logical_width, logical_height);
    SDL_SetRenderDrawBlendMode(ctx->renderer, SDL_BLENDMODE_BLEND);
    if (window_x != -1 && window_y != -1) SDL_SetWindowPosition(ctx->window, window_x, window_y);
    if (window_width != -1 && window_height != -1) SDL_SetWindowSize(ctx->window, window_width, window_height);
    return ctx;
}

void render_context_startup_shown(render_context *ctx)
{
    if (!ctx) return;
    if (ctx->vsync_held) SDL_RenderSetVSync(ctx->renderer, 1);
    ctx->vsync_held = false;
    SDL_DisplayMode mode;
    if (SDL_GetWindowDisplayMode(ctx->window, &mode) == 0 && mode.refresh_rate > 0)
        ctx->refresh_ticks = SDL_GetPerformanceFrequency() / (uint64_t)mode.refresh_rate;
}

// Cached textures and fonts go before the renderer that made their textures.
static void free_caches(render_context *ctx)
{
    for (int b = 0; ctx->texture_cache && b < RENDER_CACHE_BUCKETS; b++)
        for (texture_cache_entry *e = ctx->texture_cache[b]; e;) {
            texture_cache_entry *next = e->next;
            if (e->texture) SDL_DestroyTexture(e->texture);
            SDL_free(e->name);
            SDL_free(e);
            e = next;
        }
    for (int b = 0; ctx->font_cache && b < RENDER_CACHE_BUCKETS; b++)
        for (font_cache_entry *e = ctx->font_cache[b]; e;) {
            font_cache_entry *next = e->next;
            fontatlas_delete(e->font);
            SDL_free(e->path);
            SDL_free(e);
            e = next;
        }
    SDL_free(ctx->texture_cache);
    SDL_free(ctx->font_cache);
    ctx->texture_cache = nullptr;
    ctx->font_cache = nullptr;
}

void render_context_delete(render_context *ctx)
{
    if (!ctx) return;
    free_caches(ctx);
    fontatlas_delete(ctx->default_font);
    if (ctx->missing_texture) SDL_DestroyTexture(ctx->missing_texture);
    if (ctx->main_canvas) SDL_DestroyTexture(ctx->main_canvas);
    if (ctx->renderer) SDL_DestroyRenderer(ctx->renderer);
    if (ctx->window) SDL_DestroyWindow(ctx->window);
    threadstream_free(ctx->last_frame);
    if (ctx->font_lock) SDL_DestroyMutex(ctx->font_lock);
    if (ctx->title_lock) SDL_DestroyMutex(ctx->title_lock);
    SDL_free(ctx->pending_title);
    file_failures_delete(ctx->image_failures);
    SDL_free(ctx);
}

void render_context_request_title(render_context *ctx, const char *title)
{
    char *copy = SDL_strdup(title);
    if (!ctx || !copy) {
        SDL_free(copy);
        return;
    }
    SDL_LockMutex(ctx->title_lock);
    SDL_free(ctx->pending_title);
    ctx->pending_title = copy;
    SDL_UnlockMutex(ctx->title_lock);
}

void render_font_lock(render_context *ctx)
{
    if (ctx && ctx->font_lock) SDL_LockMutex(ctx->font_lock);
}

void render_font_unlock(render_context *ctx)
{
    if (ctx && ctx->font_lock) SDL_UnlockMutex(ctx->font_lock);
}

void draw_init(render_context *ctx, const char *dir)
{
    if (!ctx) return;
    ctx->screenshot_dir = dir;
    ctx->grid_set = 0;
}

uint32_t render_cache_hash(const char *name)
{
    uint32_t h = 5381;
    for (const unsigned char *p = (const unsigned char *)name; *p; p++) h = (h * 33) ^ *p;
    return h % RENDER_CACHE_BUCKETS;
}

texture_cache_entry *texture_cache_lookup(render_context *ctx, const char *name)
{
    if (!name) return nullptr;
    if (!ctx->texture_cache) {
        ctx->texture_cache = (texture_cache_entry **)SDL_calloc(RENDER_CACHE_BUCKETS, sizeof(texture_cache_entry *));
        if (!ctx->texture_cache) return nullptr;
    }
    texture_cache_entry **bucket = &ctx->texture_cache[render_cache_hash(name)];
    for (texture_cache_entry *e = *bucket; e; e = e->next)
        if (strcmp(e->name, name) == 0) return e;
    texture_cache_entry *e = (texture_cache_entry *)SDL_calloc(1, sizeof *e);
    if (!e) return nullptr;
    e->name = SDL_strdup(name);
    if (!e->name) {
        SDL_free(e);
        return nullptr;
    }
    e->next = *bucket;
    *bucket = e;
    return e;
}

static fontatlas *find_or_load_font(render_context *ctx, const char *path)
{
    if (!path) return ctx->default_font;
    if (!ctx->font_cache) {
        ctx->font_cache = (font_cache_entry **)SDL_calloc(RENDER_CACHE_BUCKETS, sizeof(font_cache_entry *));
        if (!ctx->font_cache) return ctx->default_font;
    }
    font_cache_entry **bucket = &ctx->font_cache[render_cache_hash(path)];
    for (font_cache_entry *e = *bucket; e; e = e->next)
        if (strcmp(e->path, path) == 0) return e->font ? e->font : ctx->default_font;
    font_cache_entry *e = (font_cache_entry *)SDL_calloc(1, sizeof *e);
    if (!e) return ctx->default_font;
    e->path = SDL_strdup(path);
    if (!e->path) {
        SDL_free(e);
        return ctx->default_font;
    }
    e->font = fontatlas_new(ctx->renderer, path);
    e->next = *bucket;
    *bucket = e;
    return e->font ? e->font : ctx->default_font;
}

fontatlas *lookup_font(render_context *ctx, const char *path)
{
    render_font_lock(ctx);
    fontatlas *font = find_or_load_font(ctx, path);
    render_font_unlock(ctx);
    return font;
}
