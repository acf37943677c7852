// render: the render side's one native record (window, renderer, caches, default font), the
// render loop step and the frame interpreter. The two queues it reads and fills live on the
// thread channel it is given.
#pragma once
#include <SDL.h>
#include <stdint.h>

#include "base/channel.h"
#include "base/file_failures.h"
#include "base/fps.h"
#include "base/threadstream.h"
#include "render/frame_format.h"

struct fontatlas;

struct texture_cache_entry {
    char *name;
    SDL_Texture *texture;
    texture_cache_entry *next;
};

struct font_cache_entry {
    char *path;
    fontatlas *font;
    font_cache_entry *next;
};

#define RENDER_CACHE_BUCKETS 256

struct render_context {
    thread_channel *channel; // shared with the simulation thread; not owned
    threadstream *last_frame;
    SDL_Window *window;
    SDL_Renderer *renderer;
    SDL_Texture *missing_texture;
    SDL_Texture *main_canvas;
    texture_cache_entry **texture_cache;
    fontatlas *default_font;
    font_cache_entry **font_cache;
    int32_t output_width, output_height;
    int32_t logical_width, logical_height;
    int32_t window_width, window_height;
    uint32_t clear_pending;
    uint8_t background_r, background_g, background_b;
    int32_t grid_x, grid_y;
    int32_t grid_scale; // the y direction: 1, or -1 for a y axis pointing up (it scales y and heights)
    uint32_t grid_set;
    fps_state fps;
    SDL_mutex *font_lock;          // the font cache and every glyph atlas: both threads use them
    SDL_mutex *title_lock;         // guards pending_title
    char *pending_title;           // asked for by the simulation thread, set on the window by the render thread
    uint64_t last_present;         // performance counter after the last present
    uint64_t refresh_ticks;        // performance-counter ticks between two refreshes of the display
    bool events_arrive;            // the video driver delivers input (a real window), taken while waiting
    file_failures *image_failures; // sprite files that did not load, not read again while unchanged
    uint64_t frames_processed;     // counts draw_process_frame calls: one look at a failed file each
    const char *screenshot_dir;    // the write directory of screenshots, set once by draw_init (not owned)
    bool vsync_held;               // made with vsync, held off while the start-up frames are presented
};

// Whether the SDL video driver of that name shows nothing and delivers no input.
static inline bool render_driver_is_headless(const char *driver)
{
    return driver && (SDL_strcmp(driver, "dummy") == 0 || SDL_strcmp(driver, "offscreen") == 0);
}

// Sets the channel's window id; the channel outlives the context.
render_context *render_context_new(thread_channel *channel, int32_t fullscreen, int32_t hidden, int32_t logical_width, int32_t logical_height,
                                   int32_t window_width, int32_t window_height, int32_t window_x, int32_t window_y);
void render_context_delete(render_context *ctx);
// Every texture the render side makes: SDL_CreateTexture, after which the OpenGL renderer's
// record of its texturing state agrees with the GL state again.
SDL_Texture *render_texture_create(SDL_Renderer *renderer, uint32_t format, int access, int width, int height);
// Hands a window title to the render thread (window calls belong there): the next
// draw_iteration sets the newest one asked for, after taking the queued frames.
void render_context_request_title(render_context *ctx, const char *title);
// Presents wait for the display again once the start-up frames are shown.
void render_context_startup_shown(render_context *ctx);
// Screenshots are written into dir (the game directory; the preference directory in production).
void draw_init(render_context *ctx, const char *dir);
uint32_t render_cache_hash(const char *name);
texture_cache_entry *texture_cache_lookup(render_context *ctx, const char *name);
// The font at path, loaded on first use; the default font for a null path and for a file that
// does not load (such a path is not tried again).
fontatlas *lookup_font(render_context *ctx, const char *path);
// Held around every use of the font cache and of a font's glyphs (render and simulation
// threads); recursive.
void render_font_lock(render_context *ctx);
void render_font_unlock(render_context *ctx);

void draw_iteration(render_context *ctx);
void draw_process_frame(render_context *ctx, threadstream *frame, int catch_up, int rerun);

