// startup: process start-up in its fixed order (the command line, the libraries, the game's
// folders, the subsystems), the render loop hand-over, shutdown and the crash report. All of
// it runs on the main thread; start-up owns what it makes until shutdown.
#pragma once

void main_startup(int argc, char **argv);
[[noreturn]] void main_render_loop(void);
[[noreturn]] void startup_fail(const char *format, ...) __attribute__((format(printf, 1, 2)));
void crash_signal_handler(int signal);
// Handles the signal with handler from now on (no flags, nothing blocked meanwhile).
void startup_catch_signal(int number, void (*handler)(int));
// Answers the process's exit status.
int engine_shutdown(void);
void *physfs_sdl_malloc(unsigned long long size);
void *physfs_sdl_realloc(void *pointer, unsigned long long size);
void physfs_sdl_free(void *pointer);
