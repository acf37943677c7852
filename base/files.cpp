#include "base/files.h"

#include <SDL.h>
#include <physfs.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

static SDL_mutex *write_mutex;

int files_init(void)
{
    if (!write_mutex) write_mutex = SDL_CreateMutex();
    return write_mutex != nullptr;
}

void files_write_lock(void)
{
    if (!write_mutex) files_init();
    SDL_LockMutex(write_mutex);
}

void files_write_unlock(void) { SDL_UnlockMutex(write_mutex); }

int files_write_lock_within(uint32_t wait_ms)
{
    if (!write_mutex) files_init();
    for (uint32_t waited = 0;; waited += 10) {
        if (SDL_TryLockMutex(write_mutex) == 0) return 1;
        if (waited >= wait_ms) return 0;
        SDL_Delay(10);
    }
}

const char *physfs_last_error(void)
{
    const char *text = PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());
    return text ? text : "unknown error";
}

char *sprintf_alloc(const char *fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int n = SDL_vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    if (n < 0) return nullptr;
    char *buf = (char *)SDL_malloc((size_t)n + 1);
    if (!buf) return nullptr;
    va_start(ap, fmt);
    int again = SDL_vsnprintf(buf, (size_t)n + 1, fmt, ap);
    va_end(ap);
    if (again != n) {
        SDL_free(buf);
        return nullptr;
    }
    return buf;
}

const char *files_path_of(const char *text, size_t length)
{
    if (!text || memchr(text, 0, length)) return nullptr;
    return text;
}

PHYSFS_File *files_open_regular(const char *path)
{
    PHYSFS_Stat st;
    if (!path || !PHYSFS_stat(path, &st) || st.filetype != PHYSFS_FILETYPE_REGULAR) return nullptr;
    return PHYSFS_openRead(path);
}

char *loadfile(const char *path, size_t *length)
{
    if (length) *length = 0;
    PHYSFS_File *f = files_open_regular(path);
    if (!f) return nullptr;
    PHYSFS_sint64 file_length = PHYSFS_fileLength(f);
    char *buf = file_length >= 0 ? (char *)SDL_malloc((size_t)file_length + 1) : nullptr;
    if (!buf) {
        PHYSFS_close(f);
        return nullptr;
    }
    size_t size = (size_t)file_length, done = 0;
    // One read stops short of 2 GiB on Linux: read on until the file is whole.
    while (done < size) {
        PHYSFS_sint64 got = PHYSFS_readBytes(f, buf + done, size - done);
        if (got <= 0) break;
        done += (size_t)got;
    }
    PHYSFS_close(f);
    if (done != size) {
        SDL_free(buf);
        return nullptr;
    }
    buf[size] = 0;
    if (length) *length = size;
    return buf;
}

// Opening a FIFO for writing waits for a reader that never comes; a folder, a device or a
// link at the target is no file to write either (PhysicsFS refuses links).
static int write_target_is_irregular(const char *path)
{
    const char *dir = PHYSFS_getWriteDir();
    char *real = dir ? sprintf_alloc("%s/%s", dir, path) : nullptr;
    struct stat st;
    int irregular = real && lstat(real, &st) == 0 && !S_ISREG(st.st_mode);
    SDL_free(real);
    return irregular;
}

// The path as PhysicsFS names a file of the write directory (no leading or doubled '/', no
// trailing one), or NULL for one it refuses: a ':' or '\\', or a "." or ".." element.
// SDL_malloc'ed.
static char *clean_write_path(const char *path)
{
    char *clean = (char *)SDL_malloc(strlen(path) + 1);
    if (!clean) return nullptr;
    char *out = clean;
    for (const char *at = path; *at;) {
        while (*at == '/') at++;
        const char *end = at;
        while (*end && *end != '/') end++;
        size_t length = (size_t)(end - at);
        if (length == 0) break;
        if ((length == 1 && at[0] == '.') || (length == 2 && at[0] == '.' && at[1] == '.') ||
            memchr(at, ':', length) || memchr(at, '\\', length)) {
            SDL_free(clean);
            return nullptr;
        }
        if (out != clean) *out++ = '/';
        memcpy(out, at, length);
        out += length;
        at = end;
    }
    *out = 0;
    if (!*clean) {
        SDL_free(clean);
        return nullptr;
    }
    return clean;
}

static int write_whole(const char *path, int append, const void *data, size_t length)
{
    PHYSFS_File *f = append ? PHYSFS_openAppend(path) : PHYSFS_openWrite(path);
    if (!f) return 0;
    PHYSFS_sint64 written = length ? PHYSFS_writeBytes(f, data, length) : 0;
    int closed = PHYSFS_close(f);
    return written >= 0 && (size_t)written == length && closed;
}

// A file that is replaced is written whole beside it first (".NAME.partial") and only then
// renamed over it: a write that fails (a full disk) leaves the old file as it was.
static int replace_file(const char *clean, const void *data, size_t length)
{
    const char *slash = strrchr(clean, '/');
    size_t folder = slash ? (size_t)(slash - clean) + 1 : 0;
    char *partial = sprintf_alloc("%.*s.%s.partial", (int)folder, clean, clean + folder);
    const char *dir = PHYSFS_getWriteDir();
    char *real_partial = partial && dir ? sprintf_alloc("%s/%s", dir, partial) : nullptr;
    char *real_target = dir ? sprintf_alloc("%s/%s", dir, clean) : nullptr;
    int ok = real_partial && real_target && write_whole(partial, 0, data, length);
    // The file keeps the permissions it had, as it did when it was written in place.
    struct stat old;
    if (ok && stat(real_target, &old) == 0) chmod(real_partial, old.st_mode & 07777);
    ok = ok && rename(real_partial, real_target) == 0;
    if (!ok && partial) PHYSFS_delete(partial);
    SDL_free(real_target);
    SDL_free(real_partial);
    SDL_free(partial);
    return ok;
}

int write_file_ex(int append, const char *path, const void *data, size_t length)
{
    char *clean = path ? clean_write_path(path) : nullptr;
    if (!clean || write_target_is_irregular(clean)) {
        SDL_free(clean);
        return 0;
    }
    char *slash = strrchr(clean, '/');
    if (slash) {
        *slash = 0;
        PHYSFS_mkdir(clean);
        *slash = '/';
    }
    int ok = append ? write_whole(clean, 1, data, length) : replace_file(clean, data, length);
    SDL_free(clean);
    return ok;
}

static int write_override(int append, const char *write_dir, const char *path, const void *data, size_t length)
{
    files_write_lock();
    int ok = 0;
    // A write whose folder could not be chosen must not land in whatever folder was set before.
    if (write_dir && PHYSFS_setWriteDir(write_dir)) ok = write_file_ex(append, path, data, length);
    files_write_unlock();
    return ok;
}

int storefile_write_override(const char *write_dir, const char *path, const void *data, size_t length)
{
    return write_override(0, write_dir, path, data, length);
}

int appendfile_write_override(const char *write_dir, const char *path, const void *data, size_t length)
{
    return write_override(1, write_dir, path, data, length);
}

int64_t lastmodtime(const char *path)
{
    PHYSFS_Stat st;
    if (!path || !PHYSFS_stat(path, &st)) return -1;
    return st.modtime;
}
