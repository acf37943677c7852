// files: whole-file reading and writing through the virtual file system, the allocating
// formatter, and the process-wide lock that every writer on every thread holds while it
// points the single write directory somewhere and writes.
#pragma once
#include <physfs.h>
#include <stddef.h>
#include <stdint.h>

// A new SDL_malloc'ed string (caller SDL_frees), or NULL.
char *sprintf_alloc(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Opens a game file for reading when it is a regular file; anything else (a FIFO, a device,
// a folder) answers NULL as a missing file does, since opening a FIFO blocks until a writer
// comes. Every reader of game files opens through this.
PHYSFS_File *files_open_regular(const char *path);

// A game's string (text, length) as a file name: text itself, or NULL when a NUL byte comes
// before length. Such a string names no file: read up to its NUL it would name another one.
// Every path that reaches a loader with its length goes through this one check.
const char *files_path_of(const char *text, size_t length);

// The whole regular file at path plus a NUL (SDL_malloc'ed), or NULL; *length is 0 on failure.
char *loadfile(const char *path, size_t *length);

// Writes (append 0: replacing) into the current write directory, creating the parent
// folders. 1 when every byte was written and the file closed cleanly; 0 when something
// other than a regular file stands at the path. A file replaced is written beside it, in a
// partial file no other writer or process can take, and renamed over it once whole, so a
// failed write leaves the old file as it was and a true one its own whole bytes.
int write_file_ex(int append, const char *path, const void *data, size_t length);

// Point the write directory at write_dir and write there, all under the write lock.
// 0 (nothing written) when the directory could not be set.
int storefile_write_override(const char *write_dir, const char *path, const void *data, size_t length);
int appendfile_write_override(const char *write_dir, const char *path, const void *data, size_t length);

// Modification time in seconds, or -1.
int64_t lastmodtime(const char *path);

// The write lock: held across "set write dir, mkdir, open, write, close".
int files_init(void);
void files_write_lock(void);
void files_write_unlock(void);
// The lock when it can be had within wait_ms (1), else 0: for a thread that must not wait
// on a writer that may never finish.
int files_write_lock_within(uint32_t wait_ms);

// PhysicsFS's text for its last error code.
const char *physfs_last_error(void);
