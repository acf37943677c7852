// A library is loaded by its real path once its file is whole: the loader maps what the
// headers say without looking.
#include "services/extension_loader.h"
#include "base/files.h"

#include <SDL.h>
#include <elf.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#define EXTENSION_PLATFORM "linux"
#define EXTENSION_SUFFIX "so"
#define COPY_FOLDER "zintarel-sharedobjs"
#define COPY_ATTEMPTS 128

// Copies get numbers no other copy of this process had: two libraries copied in the same
// second must never share a path, or the loader hands back the first for the second.
static SDL_atomic_t copy_counter;

// A name of one or more segments, none empty, "." or "..": nothing outside native/linux.
static bool extension_name_ok(const char *name)
{
    if (!*name || strchr(name, '\\')) return false;
    for (const char *segment = name;;) {
        const char *end = strchr(segment, '/');
        size_t n = end ? (size_t)(end - segment) : strlen(segment);
        if (n == 0 || (n == 1 && segment[0] == '.') || (n == 2 && segment[0] == '.' && segment[1] == '.')) return false;
        if (!end) return true;
        segment = end + 1;
    }
}

// The program headers of an ELF file of either class, as the loader reads them.
template <typename Ehdr, typename Phdr> static bool elf_segments_whole(int fd, uint64_t file_size)
{
    Ehdr header;
    if (pread(fd, &header, sizeof header, 0) != (ssize_t)sizeof header) return false;
    if (header.e_phentsize != sizeof(Phdr) || header.e_phnum == 0 || header.e_phoff > file_size ||
        (uint64_t)header.e_phnum * sizeof(Phdr) > file_size - header.e_phoff)
        return false;
    for (unsigned i = 0; i < header.e_phnum; i++) {
        Phdr segment;
        if (pread(fd, &segment, sizeof segment, (off_t)(header.e_phoff + i * sizeof(Phdr))) != (ssize_t)sizeof segment)
            return false;
        if (segment.p_type == PT_LOAD && (segment.p_offset > file_size || segment.p_filesz > file_size - segment.p_offset))
            return false;
    }
    return true;
}

// An ELF file whose program headers and loadable segments all lie within it. The loader maps
// segments without looking: one cut short (an interrupted copy) faults inside it.
static bool elf_file_whole(const char *path)
{
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st;
    unsigned char ident[EI_NIDENT];
    bool whole = fstat(fd, &st) == 0 && pread(fd, ident, sizeof ident, 0) == (ssize_t)sizeof ident &&
                 memcmp(ident, ELFMAG, SELFMAG) == 0;
    if (whole && ident[EI_CLASS] == ELFCLASS64) whole = elf_segments_whole<Elf64_Ehdr, Elf64_Phdr>(fd, (uint64_t)st.st_size);
    else if (whole && ident[EI_CLASS] == ELFCLASS32) whole = elf_segments_whole<Elf32_Ehdr, Elf32_Phdr>(fd, (uint64_t)st.st_size);
    else whole = false;
    close(fd);
    return whole;
}

// Loads the regular file at path by its resolved real path, once it is a whole ELF file.
static void *load_real_file(const char *path)
{
    char *resolved = realpath(path, nullptr);
    if (!resolved) return nullptr;
    struct stat st;
    bool loadable = stat(resolved, &st) == 0 && S_ISREG(st.st_mode) && elf_file_whole(resolved);
    void *library = loadable ? SDL_LoadObject(resolved) : nullptr;
    free(resolved);
    return library;
}

// Writes the archived library into the write directory chosen at start-up (the last writer may
// have left none: a zipped game's folder is no directory) and loads it from there. The write
// lock is held until the copy's absolute path is known; the copy and its folder, when empty,
// are removed by that path.
static void *load_copy(const char *path, const char *write_dir)
{
    size_t length = 0;
    char *bytes = loadfile(path, &length);
    if (!bytes) return nullptr;
    char *copy = nullptr, *folder = nullptr;
    files_write_lock();
    char *dir = write_dir && PHYSFS_setWriteDir(write_dir) ? realpath(PHYSFS_getWriteDir(), nullptr) : nullptr;
    for (int attempt = 0; dir && !copy && attempt < COPY_ATTEMPTS; attempt++) {
        char name[128];
        snprintf(name, sizeof name, COPY_FOLDER "/obj-%llu-%d." EXTENSION_SUFFIX, (unsigned long long)time(nullptr),
                 SDL_AtomicAdd(&copy_counter, 1));
        char *absolute = sprintf_alloc("%s/%s", dir, name);
        struct stat st;
        // Never over another file: it may be another process's copy.
        if (!absolute || lstat(absolute, &st) == 0 || errno != ENOENT) {
            SDL_free(absolute);
            continue;
        }
        if (write_file_ex(0, name, bytes, length)) {
            copy = absolute;
        } else {
            unlink(absolute); // a part written before the failure
            SDL_free(absolute);
        }
    }
    if (dir) folder = sprintf_alloc("%s/" COPY_FOLDER, dir);
    files_write_unlock();
    free(dir);
    SDL_free(bytes);
    void *library = copy ? load_real_file(copy) : nullptr;
    if (copy) unlink(copy);
    if (folder) rmdir(folder); // only when empty
    SDL_free(copy);
    SDL_free(folder);
    return library;
}

static void *load_extension(const char *path, const char *write_dir)
{
    const char *entry = PHYSFS_getRealDir(path);
    struct stat st;
    if (!entry || lstat(entry, &st) != 0 || !S_ISDIR(st.st_mode)) return load_copy(path, write_dir);
    size_t n = strlen(entry);
    char *joined = sprintf_alloc("%s%s%s", entry, n && entry[n - 1] != '/' ? "/" : "", path);
    void *library = joined ? load_real_file(joined) : nullptr;
    SDL_free(joined);
    return library;
}

void *extension_loader_open(const char *name, const char *write_dir)
{
    if (!extension_name_ok(name)) return nullptr;
    char *path = sprintf_alloc("native/" EXTENSION_PLATFORM "/%s." EXTENSION_SUFFIX, name);
    if (!path) return nullptr;
    void *library = load_extension(path, write_dir);
    SDL_free(path);
    return library;
}
