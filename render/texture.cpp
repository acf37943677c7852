// The render side's one way to make a texture.
#include "render/render.h"

#include <string.h>

SDL_Texture *render_texture_create(SDL_Renderer *renderer, uint32_t format, int access, int width, int height)
{
    SDL_Texture *texture = SDL_CreateTexture(renderer, format, access, width, height);
    SDL_RendererInfo info;
    // SDL 2's OpenGL renderer turns GL texturing off as it makes a texture but keeps noting it
    // as on: later textured draws would skip turning it on and show untextured (white) quads.
    // Unbinding turns it off in both places; SDL then turns it on for the next textured draw.
    if (texture && SDL_GetRendererInfo(renderer, &info) == 0 && strcmp(info.name, "opengl") == 0)
        SDL_GL_UnbindTexture(texture);
    return texture;
}
