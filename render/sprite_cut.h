// sprite_cut: sprites far larger than their target, or far from its origin, cut to what the
// target can show before the renderer sees them, showing what the renderer would draw of the
// whole sprite; and sprites crossing the target's edge trimmed to the part inside.
#pragma once
#include <SDL.h>
#include <stdint.h>

// Past this a sprite is cut to the target first on the software renderer, whatever the
// target (it stages a scaled copy at the sprite's full size), and a line is cut before the
// renderer walks its points; sixteen times this from the target's origin, where the OpenGL
// renderer's single-precision vertices stop holding a hundredth of a pixel, every sprite is.
#define SPRITE_CLIP_SIDE 8192

// A sprite as the renderer places it: its unturned rectangle, the point it turns about and
// the turn (degrees clockwise), in target pixels.
struct sprite_place {
    int64_t x, y, w, h, centre_x, centre_y;
    double angle;
    int flip;
};

// Whether a sprite is cut to what the target can show before the renderer sees it. The
// software renderer stretches a turned, flipped or partly shown sprite to its full size
// before it draws it (a gigabyte at 16,000 pixels, seconds a frame) and keeps a turn's centre
// in 16.16 fixed point; sprites up to four times the target's longer side (up to 2,048 pixels
// in any case, never past 8,192) keep its own drawing. The OpenGL renderer draws a sprite of
// any size at the cost of what shows, and exactly while its single-precision vertices hold a
// hundredth of a pixel: within 131,072 pixels of the target's origin.
bool sprite_needs_cut(SDL_Renderer *renderer, const sprite_place &s, bool turned, const SDL_Rect &bounds);

// Draws the part of the sprite (src of a tw x th texture, tinted) that lands near bounds.
void draw_sprite_cut(SDL_Renderer *renderer, SDL_Texture *texture, const SDL_Rect &src, const sprite_place &s,
                     const SDL_Rect &bounds, SDL_Color tint, int tw, int th);

// A sprite drawn texel for texel (its source as large as it is, the renderer unscaled) that
// crosses the target's edge is trimmed to the part inside, source and place alike: the same
// pixels, and Mesa's OpenGL then need not clip it (clipping one triangle of a draw sends the
// whole draw down a path whose cost grows with the square of its vertices).
void sprite_trim_to_target(SDL_Renderer *renderer, SDL_Rect *src, SDL_Rect *at, const SDL_Rect &visible, int tw, int th);
