// file_failures: game files a loader could not use, remembered with the size and modification
// time they had then, so a file that stays broken is not read and decoded again at every draw or
// step. A file that changes, or a missing file that appears, is tried again. One set per owner
// thread (the render thread's textures and fonts, the simulation thread's sounds); not locked.
#pragma once
#include <stdint.h>

struct file_failures;

file_failures *file_failures_create(void);
void file_failures_delete(file_failures *failures);

// 1 when path failed before and still has the size and time (or the absence) it had then.
// The file is looked at once per `pass` (a frame or step number): a path drawn a thousand
// times in one frame costs one look-up of the file.
int file_failures_unchanged(file_failures *failures, const char *path, uint64_t pass);

// Remembers that path could not be used as it stands now; `record` after `unchanged` answered
// 0 for a file that failed again.
void file_failures_record(file_failures *failures, const char *path, uint64_t pass);

// Forgets path (it loaded after all) or everything (path NULL).
void file_failures_forget(file_failures *failures, const char *path);
