// Start-up, quitting and the fatal paths of the executable, run headless on real folders.
#include "e2e/e2e.h"

#include <algorithm>
#include <dirent.h>
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

static const char *quit_after_three =
    "def tick args\n"
    "  puts \"tick #{args.tick_count}\"\n"
    "  $zoq.request_quit if args.tick_count == 2\n"
    "end\n";

TEST(Startup, GameTicksPrintsAndQuitsCleanlyAndMygameBesideTheExecutableIsTheDefault)
{
    e2e_game g("quit");
    g.write("mygame/app/main.rb", quit_after_three);
    for (auto args : {std::vector<std::string>{"mygame"}, std::vector<std::string>{}}) {
        e2e_run r = g.run(args);
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_NE(std::string::npos, r.out.find("tick 0\ntick 1\ntick 2\n")) << r.out;
        EXPECT_EQ(std::string::npos, r.out.find("tick 3")) << r.out;
    }
}

TEST(Startup, WithoutAGameFolderTheGameDirectoryStillNamesMygame)
{
    // Only the executable's folder is mounted: its own app/main.rb runs, while writes aimed
    // at the game go to a "mygame" folder that does not exist, and so fail.
    e2e_game g("nogame");
    g.write("app/main.rb", "def tick args\n  puts \"dir #{$zoq.ffi_file.get_game_dir}\"\n"
                           "  puts \"wrote #{$zoq.ffi_file.write('x.txt', 'x')}\"\n  $zoq.request_quit\nend\n");
    e2e_run r = g.run({});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("dir " + g.root + "//mygame\n")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("wrote false\n")) << r.out;
    EXPECT_FALSE(g.exists("mygame"));
    EXPECT_FALSE(g.exists("x.txt"));
}

// A game that says when it is running: it writes game/ready.txt on its second tick.
static const char *ready_game = "def tick args\n  $zoq.ffi_file.write 'ready.txt', 'x' if args.tick_count == 1\nend\n";

TEST(Startup, SigtermEndsARunWithStatusZeroAndASegmentationFaultIsReported)
{
    e2e_game g("signals");
    g.write("game/app/main.rb", ready_game);
    struct { int number, status; const char *reported; } cases[] = {{15, 0, ""}, {11, 1, "Error: signal 11:\n"}};
    for (const auto &c : cases) {
        remove((g.root + "/game/ready.txt").c_str());
        e2e_signal sig;
        sig.when_exists = "game/ready.txt";
        sig.number = c.number;
        e2e_run r = g.run({"game"}, 30, {}, &sig);
        EXPECT_EQ(c.status, r.status) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.reported)) << r.err;
    }
}

TEST(Startup, FatalFailuresExitOneWithTheirMessageAndNoCrash)
{
    e2e_game g("fatal");
    g.write("game/app/main.rb", "def tick args; end\n");
    g.write("blocker", "a file where a folder should be");
    struct {
        std::vector<std::string> args, env;
        const char *message;
        bool without_font = false;
    } cases[] = {
        {{"game"}, {"SDL_VIDEODRIVER=x11", "DISPLAY="}, "SDL_Init(SDL_INIT_VIDEO) failed:"}, // a headless newcomer
        {{"game"}, {"SDL_VIDEODRIVER=no-such-driver"}, "SDL_Init(SDL_INIT_VIDEO) failed:"},
        {{"no-such-folder"}, {}, "Couldn't mount 'no-such-folder' directory:"},
        {{"game", "--production"}, {"XDG_DATA_HOME=" + g.root + "/blocker/x"}, "Couldn't mount write directory:"},
        {{"game"}, {"ALSOFT_DRIVERS=no-such-driver"}, "Couldn't initialize audio"},
        {{"game"}, {}, "Couldn't create render context:", true}, // last: it removes the font
    };
    for (const auto &c : cases) {
        if (c.without_font) {
            ASSERT_EQ(0, remove((g.root + "/font.ttf").c_str()));
        }
        e2e_run r = g.run(c.args, 30, c.env);
        EXPECT_EQ(1, r.status) << c.message << "\n" << r.err;
        EXPECT_NE(std::string::npos, r.err.find(std::string("Startup failure!:\n") + c.message)) << r.err;
        // No crash report of our own handler, nor of a sanitizer (whose exit status is 1 too).
        EXPECT_EQ(std::string::npos, r.err.find("signal")) << r.err;
        EXPECT_EQ(std::string::npos, r.err.find("Sanitizer")) << r.err;
    }
}

TEST(Startup, FifosInTheGameAnswerAsMissingFilesInsteadOfBlocking)
{
    // Opening a FIFO waits for the other end, which never comes: start-up reads the mapping
    // file through the stream adapter, the game loads an image, reads a text and writes it.
    e2e_game g("fifo");
    g.write("game/app/main.rb", "def tick args\n  puts \"image #{$zoq.load_image('sprites/pipe.png').inspect}\"\n"
                                "  puts \"text #{$zoq.read_file('data/pipe.txt').inspect}\"\n"
                                "  puts \"write #{$zoq.ffi_file.write('data/pipe.txt', 'x')}\"\n  $zoq.request_quit\nend\n");
    for (const char *fifo : {"game/metadata/game_controller_mappings.txt", "game/sprites/pipe.png", "game/data/pipe.txt"}) {
        g.write(fifo, "");
        std::string path = g.root + "/" + fifo;
        ASSERT_EQ(0, remove(path.c_str()));
        ASSERT_EQ(0, mkfifo(path.c_str(), 0600));
    }
    e2e_run r = g.run({"game"}, 20);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("image nil\ntext nil\nwrite false\n")) << r.out;
}

TEST(Startup, OptionsTakeAnyNumberOfDashesTheFirstUndashedWordIsTheGameAndSizesBelowOneFallBack)
{
    e2e_game g("options");
    g.write("game/app/main.rb", "def tick args\n  puts \"size #{$zoq.device_width}x#{$zoq.device_height} logical "
                                "#{$zoq.logical_width}x#{$zoq.logical_height}\"\n  $zoq.request_quit\nend\n");
    // The dummy display is 1024 x 768: a 1280 x 720 window shrinks to 1024 x 576, a
    // fullscreen one covers the display.
    struct {
        std::vector<std::string> args;
        const char *size;
    } runs[] = {
        {{"game"}, "size 1024.0x576.0 logical 1280x720\n"},
        {{"game", "-fullscreen"}, "size 1024.0x768.0 "},
        {{"---fullscreen", "game"}, "size 1024.0x768.0 "},
        {{"--fullscreen", "--windowed", "game"}, "size 1024.0x576.0 "},
        {{"-psn_0_1234", "game", "other"}, "size 1024.0x576.0 "},
        {{"game", "--window_width", "0", "--window_height", "-5"}, "logical 1280x720\n"},
        {{"game", "--window_width", "640", "--window_height", "360"}, "logical 640x360\n"},
    };
    for (const auto &run : runs) {
        e2e_run r = g.run(run.args);
        EXPECT_EQ(0, r.status) << run.args[0] << r.err;
        EXPECT_NE(std::string::npos, r.out.find(run.size)) << run.args[0] << "\n" << r.out;
    }
    e2e_run word = g.run({"fullscreen", "game"});
    EXPECT_EQ(1, word.status);
    EXPECT_NE(std::string::npos, word.err.find("Couldn't mount 'fullscreen' directory:")) << word.err;
}

static const char *metadata =
    "devid=studio\ndevtitle=Studio\ngameid=g\ngametitle=Quest\nversion=1.0\n";

static const char *write_both =
    "def tick args\n"
    "  $zoq.ffi_file.write_root 'root.txt', 'r'\n"
    "  $zoq.ffi_file.write 'game.txt', 'g'\n"
    "  $zoq.request_quit\n"
    "end\n";

// The names in a folder of the game's temporary root, sorted.
static std::vector<std::string> names_in(const e2e_game &g, const std::string &relative)
{
    std::vector<std::string> names;
    DIR *dir = opendir((g.root + "/" + relative).c_str());
    while (dirent *e = dir ? readdir(dir) : nullptr)
        if (strcmp(e->d_name, ".") != 0 && strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
    if (dir) closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Startup, ProductionWritesIntoThePreferenceFolderAndDevelopmentBesideTheExecutableAndIntoTheGame)
{
    e2e_game g("production");
    g.write("game/app/main.rb", write_both);
    EXPECT_EQ(0, g.run({"game"}).status);
    EXPECT_EQ("r", g.read("root.txt"));
    EXPECT_EQ("g", g.read("game/game.txt"));
    remove((g.root + "/root.txt").c_str());
    remove((g.root + "/game/game.txt").c_str());
    g.write("game/metadata/game_metadata.txt", metadata);
    g.write("game/metadata/ZINTAREL_PRODUCTION_BUILD", "");
    e2e_run r = g.run({"game"}, 30, {"XDG_DATA_HOME=" + g.root + "/prefs"});
    EXPECT_EQ(0, r.status) << r.err;
    // On Linux the preference folder is named after the game title alone.
    EXPECT_EQ("r", g.read("prefs/Quest/root.txt"));
    EXPECT_EQ("g", g.read("prefs/Quest/game.txt"));
    EXPECT_FALSE(g.exists("root.txt"));
    EXPECT_FALSE(g.exists("game/game.txt"));
}

// The title comes from a file the author edits: whatever it holds names one folder inside
// the per-user data folder.
TEST(Startup, ProductionKeepsEveryWriteInOneFolderNamedAfterTheTitle)
{
    struct {
        const char *title, *folder;
    } rows[] = {{"../outside", ".._outside"}, {"..", "__"}, {"a/b", "a_b"}};
    for (const auto &row : rows) {
        e2e_game g("production title");
        g.write("game/app/main.rb", write_both);
        g.write("game/metadata/game_metadata.txt",
                std::string("devid=studio\ndevtitle=../Studio\ngameid=g\ngametitle=") + row.title + "\nversion=1.0\n");
        e2e_run r = g.run({"game", "--production"}, 30, {"XDG_DATA_HOME=" + g.root + "/prefs/data"});
        EXPECT_EQ(0, r.status) << row.title << r.err;
        std::string folder = std::string("prefs/data/") + row.folder;
        EXPECT_EQ("r", g.read(folder + "/root.txt")) << row.title;
        EXPECT_EQ("g", g.read(folder + "/game.txt")) << row.title;
        // Nothing beside it: an uncleaned title writes to prefs/outside, prefs or prefs/data/a.
        EXPECT_EQ(std::vector<std::string>{row.folder}, names_in(g, "prefs/data")) << row.title;
        EXPECT_EQ(std::vector<std::string>{"data"}, names_in(g, "prefs")) << row.title;
    }
}

// An empty or relative XDG_DATA_HOME is no data folder: the per-user folder is then under the
// home's ".local/share", never at the root of the file system or under the current folder.
TEST(Startup, ProductionIgnoresAnEmptyOrRelativeDataHome)
{
    for (const char *data_home : {"", "relative/data"}) {
        e2e_game g("production data home");
        // A title of this run's own: a run that takes the empty value writes to "/TITLE".
        std::string title = "zintarel-data-home-" + g.root.substr(g.root.rfind('-') + 1);
        g.write("game/app/main.rb", write_both);
        g.write("game/metadata/game_metadata.txt",
                "devid=studio\ndevtitle=Studio\ngameid=g\ngametitle=" + title + "\nversion=1.0\n");
        e2e_run r = g.run({"game", "--production"}, 30,
                          {std::string("XDG_DATA_HOME=") + data_home, "HOME=" + g.root + "/home"});
        bool at_root = access(("/" + title).c_str(), F_OK) == 0;
        if (at_root) {
            EXPECT_EQ(0, system(("rm -rf '/" + title + "'").c_str()));
        }
        EXPECT_EQ(0, r.status) << data_home << r.err;
        EXPECT_FALSE(at_root) << data_home;
        EXPECT_EQ("r", g.read("home/.local/share/" + title + "/root.txt")) << data_home;
        EXPECT_EQ("g", g.read("home/.local/share/" + title + "/game.txt")) << data_home;
        EXPECT_FALSE(g.exists("relative")) << data_home;
    }
}

TEST(Startup, ARaisingGameTickIsReportedAndTheRunGoesOn)
{
    e2e_game g("raising");
    g.write("game/app/main.rb",
            "def tick args\n"
            "  raise 'tick failed' if args.tick_count == 0\n"
            "  puts 'still ticking'\n"
            "end\n");
    // The failing game is paused (its tick no longer runs) while the process carries on:
    // half a second after the report it still answers SIGTERM from its loop.
    e2e_signal term;
    term.when_exists = "exceptions/current.txt";
    term.after_ms = 500;
    e2e_run r = g.run({"game"}, 30, {}, &term);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("tick failed")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("still ticking")) << r.out;
    EXPECT_NE(std::string::npos, g.read("exceptions/current.txt").find("tick failed"));
}

// Whether SDL took the icon cannot be read back; what can fail is start-up itself.
TEST(Startup, StartUpGoesOnWithADecodableIconAndWithABrokenOne)
{
    static const char png[] =
        "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01\x08\x06"
        "\x00\x00\x00\x1f\x15\xc4\x89\x00\x00\x00\x0d\x49\x44\x41\x54\x78\x9c\x63\xf8\xcf\xc0\xf0\x1f\x00\x05\x00"
        "\x01\xff\x89\x99\x3d\x1d\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82";
    const char *quit = "def tick args\n  $zoq.request_quit\nend\n";
    e2e_game g("icon");
    g.write("good/app/main.rb", quit);
    g.write("good/metadata/icon.png", std::string(png, sizeof png - 1));
    g.write("bad/app/main.rb", quit);
    g.write("bad/metadata/icon.png", "not a picture");
    EXPECT_EQ(0, g.run({"good"}).status);
    EXPECT_EQ(0, g.run({"bad"}).status);
}
