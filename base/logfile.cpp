#include "base/logfile.h"

#include <SDL.h>
#include <atomic>
#include <errno.h>
#include <mutex>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

// A step's worth of lines for a game that logs a thousand a tick; past it the buffer is
// written out at once. Fixed, so that a signal handler never meets a buffer being moved.
#define LOGFILE_BUFFER 65536

struct logfile {
    const char *path;           // relative to the write directory
    char *dir;                  // the write directory it was opened in (SDL_malloc'ed)
    char *native;               // dir + "/" + path
    int fd;                     // -1 while closed
    dev_t device;               // what the path named when it was opened: a file removed or
    ino_t inode;                //   replaced meanwhile is opened anew at the next flush
    char buffer[LOGFILE_BUFFER];
    std::atomic<size_t> length; // published after the bytes, for the signal handler
    bool warned;                // a failed write was said on standard error
};

static logfile logfiles[] = {{"logs/log.txt", nullptr, nullptr, -1, 0, 0, {}, {0}, false},
                             {"logs/puts.txt", nullptr, nullptr, -1, 0, 0, {}, {0}, false}};
static std::mutex logfile_lock;

static logfile *find(const char *path)
{
    for (logfile &f : logfiles)
        if (path && strcmp(path, f.path) == 0) return &f;
    return nullptr;
}

bool logfile_handles(const char *path) { return find(path) != nullptr; }

static void warn(logfile *f, const char *what, int error)
{
    if (f->warned) return;
    f->warned = true;
    fprintf(stderr, "* ERROR: %s could not be written (%s: %s); log lines may be missing from it.\n", f->path, what,
            strerror(error));
    fflush(stderr);
}

static void close_file(logfile *f)
{
    if (f->fd >= 0) close(f->fd);
    f->fd = -1;
}

static void forget_paths(logfile *f)
{
    SDL_free(f->dir);
    SDL_free(f->native);
    f->dir = f->native = nullptr;
}

// Creates the folders between the write directory and the file (native is dir + "/" + path).
// The write directory itself is never made: one removed (a test's folder, a folder the player
// deleted) stays removed, and the lines are said to be lost instead.
static void make_parents(char *native, size_t dir_length)
{
    for (char *slash = strchr(native + dir_length + 1, '/'); slash; slash = strchr(slash + 1, '/')) {
        *slash = 0;
        mkdir(native, 0755);
        *slash = '/';
    }
}

// Opens (truncate: empties) the file under dir. Anything but a regular file is refused (a link
// is not followed), and a FIFO is opened without waiting for a reader.
static bool open_file(logfile *f, const char *dir, bool truncate)
{
    close_file(f);
    if (!f->dir || strcmp(f->dir, dir) != 0) {
        forget_paths(f);
        size_t size = strlen(dir) + 1 + strlen(f->path) + 1;
        f->dir = SDL_strdup(dir);
        f->native = (char *)SDL_malloc(size);
        if (!f->dir || !f->native) {
            forget_paths(f);
            return false;
        }
        snprintf(f->native, size, "%s/%s", dir, f->path);
    }
    // Whatever ends the process through exit() (a game's own `exit` among them) writes
    // the buffered lines first.
    static bool closes_at_exit = false;
    if (!closes_at_exit) closes_at_exit = atexit(logfile_close) == 0;
    int fd = open(f->native, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno == ENOENT) {
        make_parents(f->native, strlen(dir));
        fd = open(f->native, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC, 0644);
    }
    if (fd < 0) return false;
    struct stat st;
    bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!regular || (truncate && ftruncate(fd, 0) != 0)) {
        int error = regular ? errno : EINVAL;
        close(fd);
        errno = error;
        return false;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    f->fd = fd;
    f->device = st.st_dev;
    f->inode = st.st_ino;
    return true;
}

// Writes all of data; false with errno set when the file took less. A write cut short is
// taken back to its last whole line, so the file never ends part-way through one.
static bool write_all(logfile *f, const char *data, size_t length)
{
    size_t done = 0;
    while (done < length) {
        ssize_t n = write(f->fd, data + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            int error = n < 0 ? errno : ENOSPC;
            const char *line_end = (const char *)memrchr(data, '\n', done);
            size_t keep = line_end ? (size_t)(line_end - data) + 1 : 0;
            struct stat st;
            if (keep < done && fstat(f->fd, &st) == 0 && (size_t)st.st_size >= done - keep)
                (void)!ftruncate(f->fd, st.st_size - (off_t)(done - keep));
            errno = error;
            return false;
        }
        done += (size_t)n;
    }
    return true;
}

// The buffer to the file; the lines are dropped when the file takes them not.
static void flush_file(logfile *f)
{
    size_t length = f->length.load();
    if (length == 0 || f->fd < 0) return;
    // One look at the path a step, not one a line: a log removed or replaced is made again.
    struct stat st;
    if (stat(f->native, &st) != 0 || st.st_dev != f->device || st.st_ino != f->inode) {
        if (!open_file(f, f->dir, false)) {
            warn(f, "open", errno);
            f->length.store(0);
            return;
        }
    }
    if (!write_all(f, f->buffer, length)) warn(f, "write", errno);
    f->length.store(0);
}

bool logfile_write(const char *dir, const char *path, const void *data, size_t length, int append)
{
    logfile *f = find(path);
    if (!f || !dir) return false;
    std::lock_guard<std::mutex> hold(logfile_lock);
    bool ok = true;
    if (!append) {
        // What was buffered would be emptied with the file.
        f->length.store(0);
        ok = open_file(f, dir, true);
    } else if (f->fd < 0 || strcmp(f->dir, dir) != 0) {
        flush_file(f);
        ok = open_file(f, dir, false);
    }
    // Said from the first line on, as a log that fails mid-run is.
    if (!ok) warn(f, "open", errno);
    if (ok) {
        if (f->length.load() + length > LOGFILE_BUFFER) flush_file(f);
        if (length > LOGFILE_BUFFER) {
            if (!write_all(f, (const char *)data, length)) warn(f, "write", errno);
        } else {
            size_t at = f->length.load();
            memcpy(f->buffer + at, data, length);
            f->length.store(at + length);
        }
    }
    return ok;
}

void logfile_flush(void)
{
    std::lock_guard<std::mutex> hold(logfile_lock);
    for (logfile &f : logfiles) flush_file(&f);
}

void logfile_close(void)
{
    std::lock_guard<std::mutex> hold(logfile_lock);
    for (logfile &f : logfiles) {
        flush_file(&f);
        close_file(&f);
        forget_paths(&f);
    }
}

bool logfile_flush_for_exit(uint32_t wait_ms)
{
    for (uint32_t waited = 0; !logfile_lock.try_lock(); waited += 10) {
        if (waited >= wait_ms) return false;
        SDL_Delay(10);
    }
    // Kept locked: a thread still logging waits instead of writing between these lines and
    // what the caller writes last.
    for (logfile &f : logfiles) flush_file(&f);
    return true;
}

void logfile_flush_from_signal(void)
{
    // No lock: the thread that holds it may be the one that died. The bytes up to the
    // published length are whole.
    for (logfile &f : logfiles) {
        size_t length = f.length.exchange(0);
        for (size_t done = 0; f.fd >= 0 && done < length;) {
            ssize_t n = write(f.fd, f.buffer + done, length - done);
            if (n <= 0) break;
            done += (size_t)n;
        }
    }
}

static void flush_and_die(int signal)
{
    logfile_flush_from_signal();
    ::signal(signal, SIG_DFL);
    raise(signal);
}

void logfile_catch_fatal_signals(void)
{
    static const int fatal[] = {SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGQUIT};
    for (int s : fatal) {
        struct sigaction action = {};
        action.sa_handler = flush_and_die;
        sigemptyset(&action.sa_mask);
        sigaction(s, &action, nullptr);
    }
}
