// metadata: the game's identity read once from "metadata/game_metadata.txt".
#pragma once
#include <stdint.h>

struct game_metadata_record {
    char devid[32];
    char devtitle[128];
    char gameid[32];
    char gametitle[128];
    char version[32];
    char icon[128];
    uint32_t production;
};

// 1 when the five required keys were all given; messages go to standard error.
int load_metadata(const char *path, game_metadata_record *out);
game_metadata_record *game_metadata_mutable(void);
const game_metadata_record *game_metadata(void);
// Forget the loaded record so the next call reads the file again (tests).
void game_metadata_forget(void);
