// Prints 2^STAGES names that all share the interpreter's old unkeyed String hash, one a line
// (`fnv_collisions STAGES`), for bench/string_hash.sh.
#include "support/fnv_collisions.h"

#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    int stages = argc > 1 ? atoi(argv[1]) : 14;
    if (stages < 1 || stages > 20) {
        fprintf(stderr, "usage: fnv_collisions STAGES (1 to 20)\n");
        return 2;
    }
    for (const std::string &name : fnv1_colliding_strings(stages)) printf("%s\n", name.c_str());
    return 0;
}
