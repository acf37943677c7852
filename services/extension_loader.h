// extension_loader: native extensions of the game, "native/linux/NAME.so" found through the
// virtual file system. One in a folder on disk is loaded where it lies; one inside an archive
// is copied out first (the loader needs a file of its own) and the copy removed once loaded.
// Loaded libraries stay loaded: what they registered stays callable until the process ends.
#pragma once

// The library of the extension name (one or more path segments, none empty, "." or "..": nothing
// outside native/linux), loaded once it is a whole ELF file; null otherwise. An archived one
// is copied out into write_dir (null: nowhere, so it does not load).
void *extension_loader_open(const char *name, const char *write_dir);
