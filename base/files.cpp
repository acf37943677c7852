#include "base/files.h"

#include <SDL.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <physfs.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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

static int append_whole(const char *path, const void *data, size_t length)
{
    PHYSFS_File *f = PHYSFS_openAppend(path);
    if (!f) return 0;
    PHYSFS_sint64 written = length ? PHYSFS_writeBytes(f, data, length) : 0;
    int closed = PHYSFS_close(f);
    return written >= 0 && (size_t)written == length && closed;
}

// A write replacing NAME writes ".NAME.SLOT.partial", SLOT the first number no live writer
// holds: a writer locks its partial file from its creation to its rename, so two processes
// writing the same file never share one, and one a process left when it died mid-write is
// removed by the next write that comes to its slot.
enum { PARTIAL_SLOTS = 64 };
static const char PARTIAL_SUFFIX[] = ".partial";
enum { PARTIAL_EXTRA = 2 + 2 + sizeof PARTIAL_SUFFIX - 1 }; // two dots, up to two digits

// How much of NAME the partial name holds: a name the folder takes keeps a partial it takes.
static int partial_stem_length(const char *name)
{
    size_t length = strlen(name);
    return (int)(length + PARTIAL_EXTRA > NAME_MAX ? NAME_MAX - PARTIAL_EXTRA : length);
}

// The folder holding the file (folders: the path's folders, or NULL), opened without
// following a link at any level below the write directory, as PhysicsFS refuses them; -1 when
// it cannot be. The path is cut at its slashes meanwhile and given back whole.
static int open_folder(const char *write_dir, char *folders)
{
    int fd = write_dir ? open(write_dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    for (char *at = folders; fd >= 0 && at;) {
        char *slash = strchr(at, '/');
        if (slash) *slash = 0;
        int next = openat(fd, at, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (slash) *slash = '/';
        close(fd);
        fd = next;
        at = slash ? slash + 1 : nullptr;
    }
    return fd;
}

// Whether name still names fd's file, a regular one.
static int still_named(int folder, const char *name, int fd)
{
    struct stat held, named;
    return fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           held.st_ino == named.st_ino && held.st_dev == named.st_dev;
}

// Removes the partial file at name when no writer holds it; 0 when a writer does (or it cannot
// be opened), and the slot is taken.
static int remove_if_stale(int folder, const char *name)
{
    int fd = openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT; // gone meanwhile: the slot is free again
    int stale = flock(fd, LOCK_EX | LOCK_NB) == 0 && still_named(folder, name, fd);
    if (stale) unlinkat(folder, name, 0);
    close(fd);
    return stale;
}

struct partial_file {
    char *name;
    int data; // written and closed before the rename
    int lock; // held until the rename
};

static char *partial_name(const char *name, int slot)
{
    return sprintf_alloc(".%.*s.%d%s", partial_stem_length(name), name, slot, PARTIAL_SUFFIX);
}

// The stale partial files in the slots above a writer's own, up to the first free one: left
// by writers that died while others wrote the same file.
static void remove_stale_above(int folder, const char *name, int slot)
{
    for (int above = slot + 1; above < PARTIAL_SLOTS; above++) {
        char *partial = partial_name(name, above);
        struct stat st;
        int taken = partial && fstatat(folder, partial, &st, AT_SYMLINK_NOFOLLOW) == 0;
        if (taken) remove_if_stale(folder, partial);
        SDL_free(partial);
        if (!taken) return;
    }
}

// A partial file no other writer can take: created exclusively and locked before a byte is
// written. A writer removing it for a stale one between the two makes this one try again.
static int partial_create(int folder, const char *name, partial_file *p)
{
    for (int slot = 0, tries = 0; slot < PARTIAL_SLOTS && tries < 4 * PARTIAL_SLOTS; tries++) {
        p->name = partial_name(name, slot);
        if (!p->name) return 0;
        // PhysicsFS makes new files owner-only; a partial file is made the same.
        p->data = openat(folder, p->name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (p->data >= 0) {
            p->lock = openat(folder, p->name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            if (p->lock >= 0 && flock(p->lock, LOCK_EX | LOCK_NB) == 0 && still_named(folder, p->name, p->data) &&
                still_named(folder, p->name, p->lock)) {
                remove_stale_above(folder, name, slot);
                return 1;
            }
            // When another writer holds it, that writer removes it.
            if (p->lock < 0 && still_named(folder, p->name, p->data)) unlinkat(folder, p->name, 0);
            if (p->lock >= 0) close(p->lock);
            close(p->data);
        } else if (errno != EEXIST) {
            SDL_free(p->name);
            return 0;
        } else if (!remove_if_stale(folder, p->name)) {
            slot++;
        }
        SDL_free(p->name);
    }
    return 0;
}

static int write_all(int fd, const char *data, size_t length)
{
    while (length > 0) {
        ssize_t n = write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        data += n;
        length -= (size_t)n;
    }
    return 1;
}

// A file that is replaced is written whole beside it first and only then renamed over it: a
// write that fails (a full disk) leaves the old file as it was, and a write that answers true
// leaves its own whole bytes (or a later writer's).
static int replace_file(char *clean, const void *data, size_t length)
{
    char *slash = strrchr(clean, '/');
    if (slash) *slash = 0;
    int folder = open_folder(PHYSFS_getWriteDir(), slash ? clean : nullptr);
    if (slash) *slash = '/';
    if (folder < 0) return 0;
    const char *name = slash ? slash + 1 : clean;
    partial_file p;
    int ok = partial_create(folder, name, &p);
    if (ok) {
        ok = write_all(p.data, (const char *)data, length);
        // The file keeps the permissions it had, as it did when it was written in place.
        struct stat old;
        if (ok && fstatat(folder, name, &old, AT_SYMLINK_NOFOLLOW) == 0) fchmod(p.data, old.st_mode & 07777);
        ok = close(p.data) == 0 && ok;
        ok = ok && renameat(folder, p.name, folder, name) == 0;
        if (!ok) unlinkat(folder, p.name, 0);
        close(p.lock);
        SDL_free(p.name);
    }
    close(folder);
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
    int ok = append ? append_whole(clean, data, length) : replace_file(clean, data, length);
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
