#include "base/files.h"

#include <SDL.h>
#include <physfs.h>
#include <stdarg.h>
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
    size_t size = (size_t)file_length;
    PHYSFS_sint64 got = PHYSFS_readBytes(f, buf, size);
    PHYSFS_close(f);
    if (got < 0 || (size_t)got != size) {
        SDL_free(buf);
        return nullptr;
    }
    buf[size] = 0;
    if (length) *length = size;
    return buf;
}

// Opening a FIFO for writing waits for a reader that never comes; a folder or a device at
// the target is no file to write either.
static int write_target_is_irregular(const char *path)
{
    const char *dir = PHYSFS_getWriteDir();
    char *real = dir ? sprintf_alloc("%s/%s", dir, path) : nullptr;
    struct stat st;
    int irregular = real && stat(real, &st) == 0 && !S_ISREG(st.st_mode);
    SDL_free(real);
    return irregular;
}

int write_file_ex(int append, const char *path, const void *data, size_t length)
{
    if (!path || write_target_is_irregular(path)) return 0;
    char *dir = SDL_strdup(path);
    if (!dir) return 0;
    char *slash = strrchr(dir, '/');
    if (slash) {
        *slash = 0;
        if (*dir) PHYSFS_mkdir(dir);
    }
    SDL_free(dir);
    PHYSFS_File *f = append ? PHYSFS_openAppend(path) : PHYSFS_openWrite(path);
    if (!f) return 0;
    PHYSFS_sint64 written = length ? PHYSFS_writeBytes(f, data, length) : 0;
    int closed = PHYSFS_close(f);
    return written >= 0 && (size_t)written == length && closed;
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
