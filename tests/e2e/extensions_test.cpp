// Native extensions in the executable: the sample extension loads from a game folder in place
// and from a zipped game through a copy that is gone afterwards; a second library copied out in
// the same second is a file of its own (the loader would hand back the first for the same path);
// a library cut short answers nil before it reaches the loader, and its copy goes too; the
// sample finds the functions the executable exports (the XML reader, dlsymfile,
// ffi_cptr_new) by name and uses them.
#include "e2e/e2e.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <stdlib.h>

static const char *extension_game =
    "def tick args\n"
    "  return unless args.tick_count == 2\n"
    "  cut = $zoq.ffi_misc.zoq_dlopen('cut')\n"
    "  answer = $zoq.ffi_misc.zoq_dlopen('sample')\n"
    "  $zoq.ffi_misc.zoq_dlopen('sample_two')\n"
    "  text = \"#{cut.inspect} #{answer.inspect} #{FFI::Sample.greet('game')} #{FFI::Sample.checks} \" \\\n"
    "         \"#{FFI::Sample.image('sprites/red.tga')} #{FFI::Sample::Box.make('box').text} \" \\\n"
    "         \"#{FFI::SampleTwo.checks} #{FFI::Sample.exports}\"\n"
    "  $zoq.ffi_file.write_root 'result.txt', text\n"
    "  $zoq.request_quit\n"
    "end\n";

// A 1 x 1 TGA, opaque red.
static std::string red_tga()
{
    const unsigned char tga[] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 0x28, 0, 0, 255, 255};
    return std::string((const char *)tga, sizeof tga);
}

static void write_game(const e2e_game &g, const std::string &dir)
{
    g.write(dir + "/app/main.rb", extension_game);
    g.write(dir + "/sprites/red.tga", red_tga());
    g.write(dir + "/data/doc.xml", "<a><b/></a>");
    std::string sample = read_file(ZINTAREL_TEST_EXTENSIONS "/sample_extension.so");
    g.write(dir + "/native/linux/sample.so", sample);
    g.write(dir + "/native/linux/cut.so", sample.substr(0, 3000));
    g.write(dir + "/native/linux/sample_two.so", read_file(ZINTAREL_TEST_EXTENSIONS "/sample_extension_two.so"));
}

TEST(Extensions, TheSampleLoadsFromAGameFolderAndFromAZippedGameLeavingNoCopyBehind)
{
    e2e_game g("extensions");
    write_game(g, "folder");
    write_game(g, "zipped");
    std::string zip = "cd '" + g.root + "/zipped' && zip -q -r ../game.zip app sprites data native";
    ASSERT_EQ(0, system(zip.c_str()));
    for (const char *game : {"folder", "game.zip"}) {
        remove((g.root + "/result.txt").c_str());
        e2e_run r = g.run({game});
        EXPECT_EQ(0, r.status) << game << r.err;
        EXPECT_EQ("nil nil hello, game (load 1) ok 1x1 FF0000FF box ok ok", g.read("result.txt")) << game << r.out << r.err;
        EXPECT_FALSE(g.exists("zintarel-sharedobjs")) << game;
        EXPECT_FALSE(g.exists("folder/zintarel-sharedobjs")) << game;
    }
}
