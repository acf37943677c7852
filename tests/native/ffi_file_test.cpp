// FFI::File against real folders: writes racing the render thread's writer, writes whose
// folder cannot be chosen, and image decoding of real PNG files.
#include "base/files.h"
#include "ffi/ffi.h"
#include "render/image.h"
#include "render/render.h"
#include "support/host_test.h"

#include <SDL.h>
#include <lodepng.h>
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

class FfiFile : public HostTest {};

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
    char *saved = test_game.game_dir;
    std::string missing = fx.root + "/no/such/folder";
    test_game.game_dir = SDL_strdup(missing.c_str());
    EXPECT_EQ("false", host_fixture_eval("FFI::File.new.write('lost.txt', 'x')"));
    EXPECT_EQ("false", host_fixture_eval("FFI::File.new.append('sub/lost.txt', 'x')"));
    SDL_free(test_game.game_dir);
    // A regular file is no folder either.
    write_file(fx.root + "/plainfile", "x");
    std::string plain = fx.root + "/plainfile";
    test_game.game_dir = SDL_strdup(plain.c_str());
    EXPECT_EQ("false", host_fixture_eval("FFI::File.new.write('lost2.txt', 'x')"));
    SDL_free(test_game.game_dir);
    test_game.game_dir = saved;
    EXPECT_FALSE(exists(fx.base_dir + "/lost.txt"));
    EXPECT_FALSE(exists(fx.base_dir + "/sub"));
    EXPECT_FALSE(exists(fx.base_dir + "/lost2.txt"));
    EXPECT_FALSE(exists(missing));
    // With the folder back, writing works again.
    EXPECT_EQ("true", host_fixture_eval("FFI::File.new.write('found.txt', 'x')"));
    EXPECT_TRUE(exists(fx.game_dir + "/found.txt"));
}

// A PNG of the given colour type and depth from raw bytes (rows top first, 16-bit samples
// big-endian), written without converting, so the decoder sees exactly that kind.
static std::string png_of(std::initializer_list<int> bytes, unsigned w, unsigned h, LodePNGColorType type,
                          unsigned depth, std::initializer_list<int> palette = {})
{
    std::vector<unsigned char> raw(bytes.begin(), bytes.end());
    LodePNGState state;
    lodepng_state_init(&state);
    state.encoder.auto_convert = 0;
    for (LodePNGColorMode *mode : {&state.info_raw, &state.info_png.color}) {
        mode->colortype = type;
        mode->bitdepth = depth;
        for (auto c = palette.begin(); c != palette.end(); c += 3)
            lodepng_palette_add(mode, (unsigned char)c[0], (unsigned char)c[1], (unsigned char)c[2], 255);
    }
    unsigned char *png = nullptr;
    size_t size = 0;
    unsigned error = lodepng_encode(&png, &size, raw.data(), w, h, &state);
    lodepng_state_cleanup(&state);
    std::string out = error ? "" : std::string((const char *)png, size);
    free(png);
    return out;
}

TEST_F(FfiFile, LoadImageGivesRgbaWordsForEveryKindOfPng)
{
    write_file(fx.game_dir + "/red.png", png_of({255, 0, 0, 255}, 1, 1, LCT_RGBA, 8));
    write_file(fx.game_dir + "/deep.png", png_of({0x12, 0x34, 0xAB, 0xCD, 0xFF, 0x00, 1, 2, 3, 4, 5, 6}, 2, 1, LCT_RGB, 16));
    write_file(fx.game_dir + "/grey.png", png_of({0x40, 0xC0}, 2, 1, LCT_GREY, 8));
    write_file(fx.game_dir + "/palette.png", png_of({1, 0}, 2, 1, LCT_PALETTE, 8, {10, 20, 30, 200, 100, 50}));
    write_file(fx.game_dir + "/tall.png", png_of({7, 9}, 1, 2, LCT_GREY, 8));

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
    write_file(fx.game_dir + "/cut.png", png_of({255, 0, 0, 255}, 1, 1, LCT_RGBA, 8).substr(0, 40));
    EXPECT_EQ(nullptr, load_image("cut.png", &w, &h));
    EXPECT_EQ(77, w);
    EXPECT_EQ(88, h);
    EXPECT_EQ("nil", host_fixture_eval("FFI::File.new.load_image('cut.png')"));
    write_file(fx.game_dir + "/ok.png", png_of({1, 2, 3, 4}, 1, 1, LCT_RGBA, 8));
    uint32_t *pixels = load_image("ok.png", nullptr, &h);
    ASSERT_TRUE(pixels);
    EXPECT_EQ(0x04030201u, pixels[0]);
    EXPECT_EQ(1, h);
    free_image(pixels);
}
