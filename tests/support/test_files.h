// Whole-file reads and writes on the real file system, for the test programs and the
// benchmarks (the game folders they build, the files the runtime leaves behind).
#pragma once
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
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

// A new empty folder named prefix-XXXXXX, "" when none could be made. The test programs make
// theirs in the build's own temporary folder, which a test run checks is left empty.
inline std::string make_temp_folder(const std::string &prefix)
{
#ifdef ZINTAREL_TEST_TMP
    std::string base = ZINTAREL_TEST_TMP;
#else
    const char *tmpdir = getenv("TMPDIR");
    std::string base = tmpdir && tmpdir[0] == '/' ? tmpdir : "/tmp";
#endif
    make_dirs(base);
    std::string path = base + "/" + prefix + "-XXXXXX";
    return mkdtemp(&path[0]) ? path : "";
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

// A WAV file holding a tone of the given frequency and amplitude (0 gives silence):
// PCM (tag 1, 8, 16 or 32 bits) or float (tag 3, 32 bits), channels interleaved alike.
inline std::string make_wav(int tag, int channels, int bits, int rate, int frames, double hz = 440, double amp = 0.5)
{
    std::string data;
    for (int i = 0; i < frames; i++) {
        double v = amp * sin(2 * M_PI * hz * i / rate);
        for (int c = 0; c < channels; c++) {
            if (bits == 8) {
                data.push_back((char)(uint8_t)(128 + v * 127));
            } else if (bits == 16) {
                int16_t s = (int16_t)(v * 32767);
                data.append((const char *)&s, 2);
            } else if (tag == 3) {
                float f = (float)v;
                data.append((const char *)&f, 4);
            } else {
                int32_t s = (int32_t)(v * 2147483647.0);
                data.append((const char *)&s, 4);
            }
        }
    }
    auto u32 = [](uint32_t v) { return std::string((const char *)&v, 4); };
    auto u16 = [](uint16_t v) { return std::string((const char *)&v, 2); };
    int block = channels * bits / 8;
    return "RIFF" + u32((uint32_t)(36 + data.size())) + "WAVEfmt " + u32(16) + u16((uint16_t)tag) +
           u16((uint16_t)channels) + u32((uint32_t)rate) + u32((uint32_t)(rate * block)) + u16((uint16_t)block) +
           u16((uint16_t)bits) + "data" + u32((uint32_t)data.size()) + data;
}
