// What the sanitizer runtimes read at start-up in the test executables (unused otherwise).
// Allocation stacks are unwound fully: SDL's allocator has no frame pointers, so a fast
// unwind stops inside it and a leak could not be traced to its caller.
extern "C" const char *__asan_default_options(void) { return "fast_unwind_on_malloc=0"; }
extern "C" const char *__ubsan_default_options(void) { return "print_stacktrace=1"; }
// OpenAL's mixer thread and its callers synchronise through the library's own atomics, which
// ThreadSanitizer cannot see in an uninstrumented library: what it reports there is not ours.
extern "C" const char *__tsan_default_suppressions(void) { return "race:libopenal.so.1\n"; }
