// FFI::File against real folders: writes racing the render thread's writer, writes whose
// folder cannot be chosen, and image decoding of real PNG files.
#include "ffi/ffi.h"
#include "host/files.h"
#include "render/render.h"
#include "support/host_fixture.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <stdint.h>
#include <sys/stat.h>
#include <string>
#include <vector>

static bool exists(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

class FfiFile : public ::testing::Test {
  protected:
    host_fixture fx;
    void SetUp() override { ASSERT_TRUE(host_fixture_up(&fx, false)); }
    void TearDown() override { host_fixture_down(&fx); }
};

struct shot_writer {
    std::string dir;
    SDL_atomic_t stop;
    int written;
    int failed;
};

// Stands in for the render thread's screenshot writer: its own folder, over and over.
static int write_shots(void *data)
{
    shot_writer *w = (shot_writer *)data;
    for (int i = 0; !SDL_AtomicGet(&w->stop) || i < 50; i++) {
        char name[64];
        SDL_snprintf(name, sizeof name, "shots/shot_%d.png", i);
        if (storefile_write_override(w->dir.c_str(), name, "png", 3)) w->written++;
        else w->failed++;
    }
    return 0;
}

TEST_F(FfiFile, WritesRacingAnotherThreadsWriterLandInTheirOwnFolders)
{
    shot_writer w;
    w.dir = fx.root + "/shots_root";
    mkdir(w.dir.c_str(), 0755);
    SDL_AtomicSet(&w.stop, 0);
    w.written = w.failed = 0;
    SDL_Thread *thread = SDL_CreateThread(write_shots, "render", &w);
    ASSERT_TRUE(thread);
    std::string answer = host_fixture_eval(
        "f = FFI::File.new\n"
        "(0...400).map { |i| i % 2 == 0 ? f.write(\"race/game_#{i}.txt\", \"g#{i}\") :"
        " f.append_root(\"race/root_#{i}.txt\", \"r#{i}\") }.all?");
    SDL_AtomicSet(&w.stop, 1);
    SDL_WaitThread(thread, nullptr);
    EXPECT_EQ("true", answer);
    EXPECT_EQ(0, w.failed);
    ASSERT_GE(w.written, 50);
    for (int i = 0; i < 400; i++) {
        std::string name = (i % 2 == 0 ? "/race/game_" : "/race/root_") + std::to_string(i) + ".txt";
        const std::string &home = i % 2 == 0 ? fx.game_dir : fx.base_dir;
        const std::string &other = i % 2 == 0 ? fx.base_dir : fx.game_dir;
        EXPECT_TRUE(exists(home + name)) << name;
        EXPECT_FALSE(exists(other + name)) << name;
        EXPECT_FALSE(exists(w.dir + name)) << name;
    }
    for (int i = 0; i < w.written; i++) {
        std::string name = "/shots/shot_" + std::to_string(i) + ".png";
        EXPECT_TRUE(exists(w.dir + name)) << name;
        EXPECT_FALSE(exists(fx.game_dir + name)) << name;
        EXPECT_FALSE(exists(fx.base_dir + name)) << name;
    }
}

TEST_F(FfiFile, AWriteWhoseFolderCannotBeChosenAnswersFalseAndWritesNowhere)
{
    // The write directory is left at the base folder by a root write first.
    ASSERT_EQ("true", host_fixture_eval("FFI::File.new.write_root('before.txt', 'b')"));
    char *saved = game_ctx.game_dir;
    std::string missing = fx.root + "/no/such/folder";
    game_ctx.game_dir = SDL_strdup(missing.c_str());
    EXPECT_EQ("false", host_fixture_eval("FFI::File.new.write('lost.txt', 'x')"));
    EXPECT_EQ("false", host_fixture_eval("FFI::File.new.append('sub/lost.txt', 'x')"));
    SDL_free(game_ctx.game_dir);
    // A regular file is no folder either.
    write_file(fx.root + "/plainfile", "x");
    std::string plain = fx.root + "/plainfile";
    game_ctx.game_dir = SDL_strdup(plain.c_str());
    EXPECT_EQ("false", host_fixture_eval("FFI::File.new.write('lost2.txt', 'x')"));
    SDL_free(game_ctx.game_dir);
    game_ctx.game_dir = saved;
    EXPECT_FALSE(exists(fx.base_dir + "/lost.txt"));
    EXPECT_FALSE(exists(fx.base_dir + "/sub"));
    EXPECT_FALSE(exists(fx.base_dir + "/lost2.txt"));
    EXPECT_FALSE(exists(missing));
    // With the folder back, writing works again.
    EXPECT_EQ("true", host_fixture_eval("FFI::File.new.write('found.txt', 'x')"));
    EXPECT_TRUE(exists(fx.game_dir + "/found.txt"));
}

// A PNG with stored (uncompressed) deflate blocks: enough to drive the decoder.
static uint32_t crc32_of(const std::string &bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char c : bytes) {
        crc ^= c;
        for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

static void put32(std::string &out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8) out += (char)((v >> shift) & 0xFF);
}

static void chunk(std::string &png, const char *type, const std::string &data)
{
    put32(png, (uint32_t)data.size());
    std::string body = std::string(type, 4) + data;
    png += body;
    put32(png, crc32_of(body));
}

static std::string make_png(int w, int h, int depth, int colour, const std::string &rows,
                            const std::string &palette = "")
{
    std::string png = "\x89PNG\r\n\x1a\n";
    std::string ihdr;
    put32(ihdr, (uint32_t)w);
    put32(ihdr, (uint32_t)h);
    ihdr += (char)depth;
    ihdr += (char)colour;
    ihdr += std::string(3, '\0');
    chunk(png, "IHDR", ihdr);
    if (!palette.empty()) chunk(png, "PLTE", palette);
    std::string z = "\x78\x01";
    z += '\x01';
    uint16_t len = (uint16_t)rows.size();
    z += (char)(len & 0xFF);
    z += (char)(len >> 8);
    z += (char)(~len & 0xFF);
    z += (char)((uint16_t)~len >> 8);
    z += rows;
    uint32_t a = 1, b = 0;
    for (unsigned char c : rows) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put32(z, (b << 16) | a);
    chunk(png, "IDAT", z);
    chunk(png, "IEND", "");
    return png;
}

static std::string bytes(std::initializer_list<int> list)
{
    std::string out;
    for (int v : list) out += (char)v;
    return out;
}

TEST_F(FfiFile, LoadImageGivesRgbaWordsForEveryKindOfPng)
{
    // Each row starts with filter byte 0.
    write_file(fx.game_dir + "/red.png", make_png(1, 1, 8, 6, bytes({0, 255, 0, 0, 255})));
    write_file(fx.game_dir + "/deep.png",
               make_png(2, 1, 16, 2, bytes({0, 0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x00, 1, 2, 3, 4, 5, 6})));
    write_file(fx.game_dir + "/grey.png", make_png(2, 1, 8, 0, bytes({0, 0x40, 0xC0})));
    write_file(fx.game_dir + "/palette.png",
               make_png(2, 1, 8, 3, bytes({0, 1, 0}), bytes({10, 20, 30, 200, 100, 50})));
    write_file(fx.game_dir + "/tall.png", make_png(1, 2, 8, 0, bytes({0, 7, 0, 9})));

    EXPECT_EQ("[[4278190335], 1, 1]", host_fixture_eval("FFI::File.new.load_image('red.png')"));
    EXPECT_EQ("[[" + std::to_string(0xFFFFAB12u) + ", " + std::to_string(0xFF050301u) + "], 2, 1]",
              host_fixture_eval("FFI::File.new.load_image('deep.png')"));
    EXPECT_EQ("[[" + std::to_string(0xFF404040u) + ", " + std::to_string(0xFFC0C0C0u) + "], 2, 1]",
              host_fixture_eval("FFI::File.new.load_image('grey.png')"));
    EXPECT_EQ("[[" + std::to_string(0xFF3264C8u) + ", " + std::to_string(0xFF1E140Au) + "], 2, 1]",
              host_fixture_eval("FFI::File.new.load_image('palette.png')"));
    EXPECT_EQ("[[" + std::to_string(0xFF070707u) + ", " + std::to_string(0xFF090909u) + "], 1, 2]",
              host_fixture_eval("FFI::File.new.load_image('tall.png')"));
}

TEST_F(FfiFile, LoadImageLeavesTheSizesAloneWhenItFails)
{
    int32_t w = 77, h = 88;
    EXPECT_EQ(nullptr, load_image("missing.png", &w, &h));
    write_file(fx.game_dir + "/cut.png", make_png(1, 1, 8, 6, bytes({0, 255, 0, 0, 255})).substr(0, 40));
    EXPECT_EQ(nullptr, load_image("cut.png", &w, &h));
    EXPECT_EQ(77, w);
    EXPECT_EQ(88, h);
    EXPECT_EQ("nil", host_fixture_eval("FFI::File.new.load_image('cut.png')"));
    write_file(fx.game_dir + "/ok.png", make_png(1, 1, 8, 6, bytes({0, 1, 2, 3, 4})));
    uint32_t *pixels = load_image("ok.png", nullptr, &h);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(0x04030201u, pixels[0]);
    EXPECT_EQ(1, h);
    free_image(pixels);
}
