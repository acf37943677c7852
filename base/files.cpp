#include "base/files.h"

#include <SDL.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <physfs.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/file.h>
#include <sys/random.h>
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

// Each write replacing NAME writes ".NAME.<16 hex digits>.partial", the digits drawn for that
// write: two processes writing the same file never share one, nor rename the other's.
enum { PARTIAL_TAG_DIGITS = 16 };
static const char PARTIAL_SUFFIX[] = ".partial";
enum { PARTIAL_EXTRA = 2 + PARTIAL_TAG_DIGITS + sizeof PARTIAL_SUFFIX - 1 };

// How much of NAME the partial name holds: a name the folder takes keeps a partial it takes.
static size_t partial_stem_length(const char *name)
{
    size_t length = strlen(name);
    return length + PARTIAL_EXTRA > NAME_MAX ? NAME_MAX - PARTIAL_EXTRA : length;
}

static int is_partial_of(const char *entry, const char *name)
{
    size_t name_length = partial_stem_length(name);
    if (strlen(entry) != name_length + PARTIAL_EXTRA) return 0;
    if (entry[0] != '.' || memcmp(entry + 1, name, name_length) != 0 || entry[name_length + 1] != '.') return 0;
    const char *tag = entry + name_length + 2;
    for (int i = 0; i < PARTIAL_TAG_DIGITS; i++)
        if (!tag[i] || !strchr("0123456789abcdef", tag[i])) return 0;
    return strcmp(tag + PARTIAL_TAG_DIGITS, PARTIAL_SUFFIX) == 0;
}

static uint64_t partial_tag(void)
{
    static SDL_atomic_t counter;
    uint64_t tag;
    if (getrandom(&tag, sizeof tag, GRND_NONBLOCK) == (ssize_t)sizeof tag) return tag;
    return ((uint64_t)getpid() << 32 | (uint32_t)SDL_AtomicAdd(&counter, 1)) ^ SDL_GetPerformanceCounter() << 40;
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

// A writer holds a lock on its partial file from its creation to its rename, so one whose
// lock can be had was left by a process that died mid-write.
static void remove_stale_partials(int folder, const char *name)
{
    int listing = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR *d = listing >= 0 ? fdopendir(listing) : nullptr;
    if (!d) {
        if (listing >= 0) close(listing);
        return;
    }
    while (dirent *e = readdir(d)) {
        if (!is_partial_of(e->d_name, name)) continue;
        int fd = openat(folder, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        // Its writer may have renamed it into place between the open and the lock.
        struct stat held, named;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0 && fstat(fd, &held) == 0 && S_ISREG(held.st_mode) &&
            fstatat(folder, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev)
            unlinkat(folder, e->d_name, 0);
        close(fd);
    }
    closedir(d);
}

struct partial_file {
    char *name;
    int data; // written and closed before the rename
    int lock; // held until the rename
};

// A partial file no other writer can take: created exclusively and locked before a byte is
// written. A sweep by another process may take it in between; then another is made.
static int partial_create(int folder, const char *name, partial_file *p)
{
    for (int attempt = 0; attempt < 8; attempt++) {
        p->name = sprintf_alloc(".%.*s.%016llx%s", (int)partial_stem_length(name), name,
                                (unsigned long long)partial_tag(), PARTIAL_SUFFIX);
        if (!p->name) return 0;
        // PhysicsFS makes new files owner-only; a partial file is made the same.
        p->data = openat(folder, p->name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (p->data < 0) {
            SDL_free(p->name);
            if (errno == EEXIST) continue;
            return 0;
        }
        p->lock = openat(folder, p->name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        struct stat data, lock;
        if (p->lock >= 0 && flock(p->lock, LOCK_EX | LOCK_NB) == 0 && fstat(p->data, &data) == 0 &&
            fstat(p->lock, &lock) == 0 && data.st_nlink > 0 && data.st_ino == lock.st_ino && data.st_dev == lock.st_dev)
            return 1;
        if (fstat(p->data, &data) == 0 && data.st_nlink > 0) unlinkat(folder, p->name, 0);
        if (p->lock >= 0) close(p->lock);
        close(p->data);
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
    // Before writing, so that on a full disk the space they hold is there for this write.
    remove_stale_partials(folder, name);
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
