#include "base/metadata.h"
#include "base/files.h"

#include <SDL.h>
#include <stdio.h>
#include <string.h>

static game_metadata_record metadata_record;
static int metadata_loaded;

static int is_blank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

static void trim(const char *&begin, const char *&end)
{
    while (begin < end && is_blank(*begin)) begin++;
    while (end > begin && is_blank(end[-1])) end--;
}

const metadata_key metadata_keys[] = {
    {"devid", offsetof(game_metadata_record, devid), 32, 1},
    {"devtitle", offsetof(game_metadata_record, devtitle), 128, 2},
    {"gameid", offsetof(game_metadata_record, gameid), 32, 4},
    {"gametitle", offsetof(game_metadata_record, gametitle), 128, 8},
    {"version", offsetof(game_metadata_record, version), 32, 16},
    {"icon", offsetof(game_metadata_record, icon), 128, 0},
};
const size_t metadata_key_count = sizeof metadata_keys / sizeof metadata_keys[0];
static const int all_required = 31;

static void parse_line(game_metadata_record *out, const char *line, const char *end, int lineno, int *given)
{
    const char *eq = (const char *)memchr(line, '=', (size_t)(end - line));
    if (!eq) {
        const char *p = line;
        while (p < end && is_blank(*p)) p++;
        if (p == end || *p == '#') return;
        fprintf(stderr, "Invalid metadata on line %d, ignored\n", lineno);
        return;
    }
    const char *kb = line, *ke = eq, *vb = eq + 1, *ve = end;
    trim(kb, ke);
    trim(vb, ve);
    size_t klen = (size_t)(ke - kb), vlen = (size_t)(ve - vb);
    for (const metadata_key &key : metadata_keys) {
        if (strlen(key.name) != klen || SDL_strncasecmp(key.name, kb, klen) != 0) continue;
        char *field = (char *)out + key.offset;
        if (vlen >= key.width) {
            fprintf(stderr, "Metadata for key '%s' is too large, ignoring!\n", key.name);
            field[0] = 0;
            // Counted as a set: a too-large value takes this key back out of what was given.
            *given &= ~key.required_bit;
            return;
        }
        memcpy(field, vb, vlen);
        field[vlen] = 0;
        *given |= key.required_bit;
        return;
    }
    fprintf(stderr, "Unknown game metadata key '%.*s', ignoring\n", (int)klen, kb);
}

int load_metadata(const char *path, game_metadata_record *out)
{
    memset(out, 0, sizeof *out);
    size_t length = 0;
    char *text = loadfile(path, &length);
    if (!text) return 0;
    int given = 0, lineno = 1;
    const char *p = text, *line = text;
    for (;; p++) {
        char c = *p;
        if (c == '\n' || c == '\r' || c == 0) {
            parse_line(out, line, p, lineno, &given);
            if (c == 0) break;
            lineno++;
            line = p + 1;
        }
    }
    int complete = given == all_required;
    if (!complete) fprintf(stderr, "Metadata file does not have all required fields!\n");
    if (!out->icon[0]) strcpy(out->icon, "metadata/icon.png");
    SDL_free(text);
    return complete;
}

game_metadata_record *game_metadata_mutable(void)
{
    if (!metadata_loaded) {
        if (!load_metadata("metadata/game_metadata.txt", &metadata_record)) {
            strcpy(metadata_record.devid, "zintarel");
            strcpy(metadata_record.devtitle, "Zintarel");
            strcpy(metadata_record.gameid, "hello-SDL");
            strcpy(metadata_record.gametitle, "Hello SDL");
            strcpy(metadata_record.version, "0.0.0.0.1");
            metadata_record.production = 0;
        }
        metadata_loaded = 1;
    }
    return &metadata_record;
}

const game_metadata_record *game_metadata(void) { return game_metadata_mutable(); }

void game_metadata_forget(void) { metadata_loaded = 0; }

void metadata_folder_name(const char *title, char *out, size_t size)
{
    size_t n = 0;
    bool dots_only = true;
    for (; title[n] && n + 1 < size; n++) {
        unsigned char c = (unsigned char)title[n];
        out[n] = c == '/' || c == '\\' || c < 0x20 || c == 0x7F ? '_' : (char)c;
        dots_only = dots_only && c == '.';
    }
    out[n] = 0;
    if (dots_only) { // "", "." and ".." name no folder of their own
        for (size_t i = 0; i < n; i++) out[i] = '_';
        if (n == 0) out[0] = '_', out[1] = 0;
    }
}
