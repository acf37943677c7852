// How much of a picture shows a colour, for benchmarks that look at what they measure:
// prints "colour N of TOTAL", N the pixels of the PNG within 2 levels of (R, G, B) in
// every channel. Usage: picture_colour FILE R G B
#include <stdio.h>
#include <stdlib.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

int main(int argc, char **argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: %s FILE R G B\n", argv[0]);
        return 2;
    }
    int w = 0, h = 0, channels = 0;
    unsigned char *px = stbi_load(argv[1], &w, &h, &channels, 4);
    if (!px) {
        printf("colour 0 of 0\n");
        return 1;
    }
    const int want[3] = {atoi(argv[2]), atoi(argv[3]), atoi(argv[4])};
    long seen = 0, all = (long)w * h;
    for (long i = 0; i < all; i++) {
        const unsigned char *c = px + i * 4;
        seen += abs(c[0] - want[0]) <= 2 && abs(c[1] - want[1]) <= 2 && abs(c[2] - want[2]) <= 2;
    }
    stbi_image_free(px);
    printf("colour %ld of %ld\n", seen, all);
    return 0;
}
