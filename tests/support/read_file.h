// Whole-file reads for the test programs and the benchmarks.
#pragma once
#include <stdio.h>
#include <string>

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
