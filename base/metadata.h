// metadata: the game's identity read once from "metadata/game_metadata.txt".
#pragma once
#include <stddef.h>
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

// The file's keys in order, each with the size of its field: a value of `width` bytes or more
// is too large and ignored. A key given twice takes the last value; keys match in any case.
struct metadata_key {
    const char *name;
    size_t offset;
    size_t width;
    int required_bit; // 0 for optional keys
};
extern const metadata_key metadata_keys[];
extern const size_t metadata_key_count;

// 1 when the five required keys were all given; messages go to standard error.
int load_metadata(const char *path, game_metadata_record *out);
game_metadata_record *game_metadata_mutable(void);
const game_metadata_record *game_metadata(void);
// Forget the loaded record so the next call reads the file again (tests).
void game_metadata_forget(void);
// A title made one safe folder name in out (size > 1): "/", "\\" and control bytes become
// "_", and so does every dot of a name of dots alone ("." or ".."); an empty title is "_".
void metadata_folder_name(const char *title, char *out, size_t size);
