// stb_image_copy: a copy of stb_image's decoder private to the file that includes this (every
// function of it static), without its stdio readers and with its own warnings silenced. A
// file that wants the decoder's allocations or fewer formats defines STBI_MALLOC,
// STBI_REALLOC and STBI_FREE, or STBI_ONLY_*, before it includes this.
#pragma once
#define STBI_NO_STDIO
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <stb_image.h>
#pragma GCC diagnostic pop
