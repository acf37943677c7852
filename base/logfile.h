// logfile: the two log files a game writes a line at a time ("logs/log.txt" and
// "logs/puts.txt" of the write directory), kept open and written through a buffer that
// reaches the file at the end of every step, at quit, when it fills, and before the process
// dies on a fatal signal. Other files are written whole through files.h.
//
// Lines are appended with the file's own descriptor, not through the virtual file system:
// PhysicsFS refuses to move its write directory while one of its files is open for writing.
#pragma once
#include <stddef.h>
#include <stdint.h>

// Whether path (relative to the write directory) is one of the kept log files.
bool logfile_handles(const char *path);

// Appends data to the log file path under dir (append 0: empties it first), creating its
// folder. false when the file cannot be opened (or is no regular file). A failure to open or
// write is said once per file on standard error.
bool logfile_write(const char *dir, const char *path, const void *data, size_t length, int append);

// Writes every buffered line to its file. Called at the end of every step and before a log
// file is read.
void logfile_flush(void);

// Writes every buffered line and closes the files (at quit).
void logfile_close(void);

// Installs the handlers that write the buffered lines before a fatal signal ends the process
// (the signal's own outcome is kept). SIGSEGV is left to the crash report, which flushes too.
void logfile_catch_fatal_signals(void);

// Writes every buffered line and keeps the files to itself until the process ends, once the
// thread writing to them lets go within wait_ms; false when it did not.
bool logfile_flush_for_exit(uint32_t wait_ms);

// The part of logfile_flush that is safe inside a signal handler.
void logfile_flush_from_signal(void);
