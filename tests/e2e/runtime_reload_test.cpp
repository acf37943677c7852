// Code loading in a running game: require, hot reload of an edited file, the mailbox file,
// saved state, and framework sources beside the executable. (A reload that fails to parse
// is driven step by step in runtime_load_test.rb.)
#include "e2e/e2e.h"

#include <algorithm>
#include <dirent.h>
#include <gtest/gtest.h>

static size_t count_of(const std::string &text, const std::string &part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) n++;
    return n;
}

static std::vector<std::string> list_dir(const std::string &path)
{
    std::vector<std::string> names;
    DIR *dir = opendir(path.c_str());
    if (!dir) return names;
    while (dirent *entry = readdir(dir))
        if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    closedir(dir);
    return names;
}

// The game edits its own library once it has run for a second and a half.
static const char *reloading_main =
    "require 'app/lib.rb'\n"
    "def tick args\n"
    "  v = lib_value\n"
    "  if v != $last_value\n"
    "    puts \"lib says #{v}\"\n"
    "    $last_value = v\n"
    "  end\n"
    "  $zoq.ffi_file.write 'app/lib.rb', \"def lib_value; :two; end\\n\" if args.tick_count == 90\n"
    "  $zoq.request_quit if v == :two || args.tick_count > 480\n"
    "end\n";

TEST(RuntimeReload, RequiredFileRunsAndReloadsWhenEdited)
{
    e2e_game g("reload");
    g.write("game/app/main.rb", reloading_main);
    g.write("game/app/lib.rb", "def lib_value; :one; end\n");
    e2e_run r = g.run({"game"});
    EXPECT_EQ(0, r.status) << r.err;
    size_t one = r.out.find("lib says one");
    size_t reloaded = r.out.find("* INFO: =app/lib.rb= reloaded.", one);
    size_t two = r.out.find("lib says two");
    EXPECT_TRUE(one != std::string::npos && reloaded != std::string::npos && two != std::string::npos && one < two) << r.out;
    // Loaded once at start and once after the edit: an unchanged required file is not reloaded.
    EXPECT_EQ(2u, count_of(r.out, "=app/lib.rb= reloaded.")) << r.out;
    EXPECT_EQ("def lib_value; :two; end\n", g.read("tmp/src_backup/src_backup_app_lib.rb"));
}

static const char *mailbox_main =
    "def tick args\n"
    "  $zoq.ffi_file.write 'app/mailbox.rb', \"puts 'mail ran'\\n$mail = ($mail || 0) + 1\\n\" if args.tick_count == 90\n"
    "  if args.tick_count == 300\n"
    "    puts \"mail count #{$mail}\"\n"
    "    $zoq.request_quit\n"
    "  end\n"
    "end\n";

TEST(RuntimeReload, MailboxCodeRunsOnceAndIsMovedAside)
{
    e2e_game g("mailbox");
    g.write("game/app/main.rb", mailbox_main);
    e2e_run r = g.run({"game"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(1u, count_of(r.out, "mail ran\n")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("mail count 1")) << r.out;
    EXPECT_EQ("", g.read("game/app/mailbox.rb"));
    std::vector<std::string> processed = list_dir(g.root + "/game/app/mailbox-processed");
    ASSERT_EQ(1u, processed.size());
    EXPECT_EQ(0u, processed[0].find("mailbox-"));
    EXPECT_EQ("puts 'mail ran'\n$mail = ($mail || 0) + 1",
              g.read("game/app/mailbox-processed/" + processed[0]));
}

static const char *saving_main =
    "def tick args\n"
    "  $step = ($step || 0) + 1\n"
    "  if $step == 3\n"
    "    args.state.score = 42\n"
    "    args.state.best = Float::INFINITY\n"
    "    $zoq.save_state\n"
    "  elsif $step == 4\n"
    "    args.state.score = 0\n"
    "    $zoq.load_state\n"
    "  elsif $step == 5\n"
    "    puts \"score #{args.state.score} best #{args.state.best}\"\n"
    "    $zoq.request_quit\n"
    "  end\n"
    "end\n";

TEST(RuntimeReload, SavedStateComesBackFromGameStateTxt)
{
    e2e_game g("state");
    g.write("game/app/main.rb", saving_main);
    e2e_run r = g.run({"game"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("score 42 best Infinity")) << r.out;
    std::string saved = g.read("game/game_state.txt");
    EXPECT_NE(std::string::npos, saved.find(":score=>42")) << saved;
    int stamped = 0;
    for (const std::string &name : list_dir(g.root + "/game"))
        if (name.rfind("game_state_", 0) == 0) stamped++;
    EXPECT_EQ(1, stamped);
}

// A missing property read just before the state is loaded: once the state is replaced, a
// nil is an ordinary nil again, and calling a method on one stops the game with the error.
static const char *coercion_main =
    "def tick args\n"
    "  $step = ($step || 0) + 1\n"
    "  if $step == 3\n"
    "    args.state.score = 42\n"
    "    $zoq.save_state\n"
    "  elsif $step == 4\n"
    "    args.state.loaded\n"
    "    $zoq.load_state\n"
    "    item = [][5]\n"
    "    puts \"hp answered #{item.hp.inspect}\"\n"
    "    $zoq.request_quit\n"
    "  end\n"
    "end\n";

TEST(RuntimeReload, ALoadedStateEndsTheNilCoercionOfTheStateItReplaced)
{
    e2e_game g("state_coercion");
    g.write("game/app/main.rb", coercion_main);
    e2e_signal term;
    term.when_exists = "exceptions/current.txt";
    e2e_run r = g.run({"game"}, 60, {}, &term);
    EXPECT_EQ(0, r.status) << r.err;
    const char *error = "Unhandled method_missing with name :hp, args [] was invoked on [NilClass].";
    EXPECT_TRUE(contains(r.out, error)) << r.out;
    EXPECT_FALSE(contains(r.out, "hp answered")) << r.out;
}

// A Time and an object of the game's own class have no literal form: the save is refused
// before anything is written, naming them, and the good save still loads.
static const char *unsavable_main =
    "class Ship\n"
    "  def initialize; @hp = 3; end\n"
    "end\n"
    "def tick args\n"
    "  $step = ($step || 0) + 1\n"
    "  return unless $step == 3\n"
    "  args.state.score = 2\n"
    "  args.state.started_at = Time.now\n"
    "  args.state.player.ship = Ship.new\n"
    "  saved = $zoq.save_state\n"
    "  loaded = begin\n"
    "    $zoq.load_state.score\n"
    "  rescue Exception => e\n"
    "    e.message[0, 20]\n"
    "  end\n"
    "  $zoq.write_file_root 'results.txt', [saved, loaded].inspect\n"
    "  $zoq.request_quit\n"
    "end\n";

TEST(RuntimeReload, AStateThatWouldNotLoadBackLeavesTheGoodSaveAndNamesItsValues)
{
    e2e_game g("state_unsavable");
    g.write("game/app/main.rb", unsavable_main);
    g.write("game/game_state.txt", "{:entity_id=>1, :score=>1}");
    e2e_run r = g.run({"game"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("[false, 1]", g.read("results.txt")) << r.out;
    EXPECT_EQ("{:entity_id=>1, :score=>1}", g.read("game/game_state.txt"));
    std::vector<std::string> names = list_dir(g.root + "/game");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::vector<std::string>({"app", "game_state.txt"}), names);
    std::string log = g.read("logs/log.txt");
    for (const char *said : {"The state could not be saved to game_state_", "and game_state.txt.",
                             "started_at (Time), player.ship (Ship)", "Ship does not support serialization"})
        EXPECT_TRUE(contains(r.out, said) && contains(log, said)) << said << "\n" << r.out;
    EXPECT_FALSE(contains(r.out, "saved to file game_state")) << r.out;
}

// A save landing in the same second as the one just loaded keeps the file's modification
// time (whole seconds). After its first second and a half, the game saves version N at the
// start of a second and brings the poll to three steps later, in the same second; once N
// runs and that second has not ended, it saves N + 1 at once, and watches for it to run.
static const char *same_second_main =
    "require 'app/lib.rb'\n"
    "def save n\n"
    "  $zoq.ffi_file.write 'app/lib.rb', \"def lib_value; #{n}; end\\n\"\n"
    "  $saved, $saved_at = n, Time.now.to_i\n"
    "end\n"
    "def tick args\n"
    "  now = Time.now\n"
    "  if $quick\n"
    "    puts \"quick save ran\" if lib_value == $quick\n"
    "    puts \"quick save never ran\" if args.tick_count > $quick_at + 300\n"
    "    $zoq.request_quit if lib_value == $quick || args.tick_count > $quick_at + 300\n"
    "  elsif lib_value == ($saved || 1)\n"
    "    if $saved && now.to_i == $saved_at && now.usec < 900_000\n"
    "      save $saved + 1\n"
    "      $quick, $quick_at = $saved, args.tick_count\n"
    "    elsif now.to_i > ($saved_at || 0) && now.usec < 200_000 && args.tick_count > 90\n"
    "      save(($saved || 1) + 1)\n"
    "      $zoq.instance_variable_set :@hotload_if_needed, 57\n"
    "    end\n"
    "  end\n"
    "  $zoq.request_quit if args.tick_count > 1800\n"
    "end\n";

TEST(RuntimeReload, ASaveInTheSecondOfTheLastOneIsLoadedAndBackedUp)
{
    e2e_game g("same_second");
    g.write("game/app/main.rb", same_second_main);
    g.write("game/app/lib.rb", "def lib_value; 1; end\n");
    e2e_run r = g.run({"game"}, 60);
    EXPECT_EQ(0, r.status) << r.err;
    ASSERT_TRUE(contains(r.out, "quick save ran")) << r.out;
    std::string quick = g.read("game/app/lib.rb");
    bool backed_up = false;
    for (const std::string &name : list_dir(g.root + "/tmp/src_backup/archived"))
        backed_up = backed_up || g.read("tmp/src_backup/archived/" + name) == quick;
    EXPECT_TRUE(backed_up) << quick;
}

// With the framework's sources beside the executable, they are watched like the game's.
static const char *framework_main =
    "def tick args\n"
    "  if args.tick_count == 90\n"
    "    $zoq.ffi_file.write_root 'zintar/trace.rb', \"puts 'framework source reloaded'\\n$zoq.request_quit\\n\"\n"
    "  end\n"
    "  $zoq.request_quit if args.tick_count > 300\n"
    "end\n";

TEST(RuntimeReload, FrameworkSourcesBesideTheExecutableAreWatched)
{
    e2e_game g("framework");
    g.write("zintar/top_level.rb", "# present: the framework's sources are beside the executable\n");
    g.write("game/app/main.rb", framework_main);
    e2e_run r = g.run({"game"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("WARNING: YOU ARE IN AN UNOPTIMIZED DEV MODE.")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("framework source reloaded")) << r.out;
}
