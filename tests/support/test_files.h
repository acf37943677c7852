// Whole-file reads and writes on the real file system, for the test programs and the
// benchmarks (the game folders they build, the files the runtime leaves behind).
#pragma once
#include <stdio.h>
#include <string>
#include <sys/stat.h>

// Appends the whole file to out; false when it cannot be opened.
inline bool read_file_into(const std::string &path, std::string &out)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    fclose(f);
    return true;
}

// The whole file, or `missing` when it cannot be opened.
inline std::string read_file(const std::string &path, const char *missing = "")
{
    std::string out;
    return read_file_into(path, out) ? out : missing;
}

// Creates the folder and every missing folder above it.
inline void make_dirs(const std::string &path)
{
    for (size_t i = 1; i <= path.size(); i++)
        if (i == path.size() || path[i] == '/') mkdir(path.substr(0, i).c_str(), 0755);
}

// Writes the file, creating its folders; false when it cannot be written.
inline bool write_file(const std::string &path, const std::string &contents)
{
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) make_dirs(path.substr(0, slash));
    FILE *f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(contents.data(), 1, contents.size(), f) == contents.size();
    return fclose(f) == 0 && ok;
}
