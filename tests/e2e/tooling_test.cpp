// The documentation export and the publishing wizards in a running copy of the executable,
// driven by "--eval FILE --no-tick". The wizards run against fake tools (shell scripts that
// record their arguments) from a folder whose path has a blank in it.
#include "e2e/e2e.h"
#include "support/test_files.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>
#include <thread>

namespace {

// Every value of attr='...' and attr="..." in the page, in order.
std::vector<std::string> attribute_values(const std::string &html, const std::string &attr)
{
    std::vector<std::string> values;
    std::string opening = attr + "=";
    for (size_t at = html.find(opening); at != std::string::npos; at = html.find(opening, at + 1)) {
        size_t start = at + opening.size() + 1;
        char quote = html[start - 1];
        if (quote != '\'' && quote != '"') continue;
        values.push_back(html.substr(start, html.find(quote, start) - start));
    }
    return values;
}

// Every file and folder below root, relative to it.
void walk(const std::string &root, const std::string &relative, std::vector<std::string> &out)
{
    DIR *dir = opendir((root + "/" + relative).c_str());
    if (!dir) return;
    while (dirent *entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        std::string path = relative.empty() ? name : relative + "/" + name;
        out.push_back(path);
        walk(root, path, out);
    }
    closedir(dir);
}

} // namespace

TEST(Tooling, ExportDocsWritesTextAndHtmlWithEscapedCodeUniqueIdsAndAWorkingTableOfContents)
{
    e2e_game g("docs");
    g.write("game/app/main.rb", "def tick args; end\n");
    g.write("game/app/docs.rb",
            "module GameDocs\n"
            "  def docs_class\n"
            "    \"* DOCS: ~Game~\\nThe game.\\n#+begin_src\\n  if a < b && c > \\\"d\\\"\\n#+end_src\\n* Twice\\n* Twice\\n\"\n"
            "  end\n"
            "end\n"
            "class Game\n  extend Docs\n  extend GameDocs\nend\n"
            "Kernel.export_docs!\n"
            "puts \"FOUND #{Kernel.docs_search('SPRITE').include?('* DOCS: Sprites')}\"\n"
            "puts \"NONE #{Kernel.docs_search('a an').inspect}\"\n");
    e2e_run r = g.run({"game", "--eval", "app/docs.rb", "--no-tick"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(contains(r.out, "* INFO: All docs have been exported to docs/docs.txt.") &&
                contains(r.out, "* INFO: All docs have been exported to docs/docs.html."))
        << r.out;
    EXPECT_TRUE(contains(r.out, "FOUND true")) << r.out;
    EXPECT_TRUE(contains(r.out, "NONE \"\\n* DOCS: No results found.\"")) << r.out;
    EXPECT_EQ("* DOCS: No results found.", g.read("docs/search_results.txt"));

    std::string text = g.read("docs/docs.txt"), html = g.read("docs/docs.html");
    EXPECT_TRUE(contains(text, "  if a < b && c > \"d\"")) << text;
    EXPECT_TRUE(contains(html, "<pre><code class=\"language-ruby\">if a &lt; b &amp;&amp; c &gt; &quot;d&quot;\n</code></pre>"));
    EXPECT_FALSE(contains(html, "a < b"));
    // Every documented class is in both, the framework's own and the game's.
    for (const char *heading : {"DOCS: How To Use Zintarel", "DOCS: <code>Kernel::tick_count</code>", "DOCS: <code>Game</code>"})
        EXPECT_TRUE(contains(html, heading)) << heading;

    std::vector<std::string> ids = attribute_values(html, "id"), hrefs = attribute_values(html, "href");
    std::set<std::string> unique(ids.begin(), ids.end());
    EXPECT_EQ(ids.size(), unique.size());
    EXPECT_TRUE(unique.count("--twice") && unique.count("--twice-2"));
    size_t links = 0, files = 0;
    for (const std::string &href : hrefs) {
        if (href.empty() || contains(href, "://")) continue;
        if (href[0] != '#') { // a file beside the page: the stylesheet
            files++;
            EXPECT_TRUE(g.exists("docs/" + href.substr(0, href.find('?')))) << "no file for " << href;
            continue;
        }
        links++;
        EXPECT_TRUE(unique.count(href.substr(1))) << "no target for " << href;
    }
    EXPECT_GT(links, 40u);
    EXPECT_GE(files, 1u);
    EXPECT_TRUE(contains(g.read("docs/parse_log.txt"), "** Processing line: ~* Twice~"));
}

namespace {

// A fake tool: appends its name and its arguments (each in brackets) to calls.log, then
// runs body.
void fake_tool(const e2e_game &g, const std::string &relative, const std::string &body)
{
    std::string calls = "'" + g.root + "/fake tools/calls.log'";
    g.write(relative, "#!/bin/sh\nprintf '%s' \"$(basename \"$0\")\" >> " + calls +
                          "\nfor a in \"$@\"; do printf ' [%s]' \"$a\" >> " + calls + "; done\necho >> " + calls +
                          "\n" + body + "\n");
    chmod((g.root + "/" + relative).c_str(), 0755);
}

const char *profile =
    "0\x82\x01 signed <binary> \"Apple Inc.\"\n"
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
    "  <key>AppIDName</key>\n  <string>Bob's Game</string>\n"
    "  <key>Entitlements</key>\n  <dict>\n    <key>application-identifier</key>\n"
    "    <string>TEAM1.com.example.game</string>\n  </dict>\n</dict>\n</plist>\ntrailer";

// The web server's name for this run: the wizard asks `ps` whether one runs, and other test
// runs on the machine may have their fake server up (15 characters at most, as `ps` shows).
std::string web_server(const e2e_game &g) { return "civetweb-" + g.root.substr(g.root.size() - 6); }

void wizard_game(const e2e_game &g, const std::string &codesign_body)
{
    g.write("game/app/main.rb", "def tick args; end\n");
    g.write("game/sprites/ship.png", "png");
    g.write("game/metadata/game_metadata.txt", "# kept comment\ndevid=bob\nhighdpi=true\n");
    g.write("game/app/wizard.rb",
            "fake = File.join($zoq.get_base_dir, 'fake tools')\n"
            "[:xcodebuild, :brew, :security, :idevice_id, :plutil, :codesign, :zip, :open].each do |tool|\n"
            "  $wizards.ios.cli_apps[tool] = File.join(fake, tool.to_s)\n"
            "end\n"
            "$wizards.ios.cli_apps[:web_server] = File.join($zoq.get_base_dir, '" + web_server(g) + "')\n"
            "puts \"IOS #{$wizards.ios.start.inspect}\"\n"
            "itch = $wizards.itch\n"
            "puts \"ITCH #{itch.start.inspect}\"\n"
            "itch.set_dev_title 'Bob'\n"
            "itch.set_game_id 'bobs-game'\n"
            "itch.set_game_title 'Bob\\'s Game'\n"
            "itch.set_version '1.0'\n"
            "puts \"ITCH #{itch.set_icon('icon.png').inspect}\"\n");
    g.write("profiles/development.mobileprovision", profile);
    g.write("zintarel-ios.app/Runtime", "runtime");
    g.write("fake tools/calls.log", "");
    fake_tool(g, "fake tools/xcodebuild", "");
    fake_tool(g, "fake tools/brew", "");
    fake_tool(g, "fake tools/security", "echo '  1) AAAA \"Apple Development: Bob (TEAM1)\"'; echo '     1 valid identities found'");
    fake_tool(g, "fake tools/idevice_id", "echo 00008030-AAAA");
    fake_tool(g, "fake tools/plutil", "");
    fake_tool(g, "fake tools/codesign", codesign_body);
    fake_tool(g, "fake tools/zip", "touch archive.zip");
    fake_tool(g, "fake tools/open", "");
    fake_tool(g, "zintarel-deploy-ios", "");
    // The web server runs in the background: one line, written at once.
    g.write(web_server(g), "#!/bin/sh\necho \"civetweb $(pwd)\" >> '" + g.root + "/fake tools/calls.log'\n");
    chmod((g.root + "/" + web_server(g)).c_str(), 0755);
    fake_tool(g, "zintarel-publish", "echo packaged for the store");
}

} // namespace

TEST(Tooling, BothWizardsRunInStepOrderAgainstFakeToolsFromAFolderWithABlankAndLeaveNoStrayFile)
{
    e2e_game g("wizard blank");
    ASSERT_TRUE(contains(g.root, "wizard blank"));
    wizard_game(g, "");
    e2e_run r = g.run({"game", "--eval", "app/wizard.rb", "--no-tick"});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(contains(r.out, "IOS :success") && contains(r.out, "Check your device!!")) << r.out;
    EXPECT_TRUE(contains(r.out, "ITCH :need_dev_title") && contains(r.out, "ITCH :success")) << r.out;

    // The web server runs in the background: wait (10 s at most) for its line, then take it out.
    std::string calls;
    for (int i = 0; i < 2000 && !contains(calls = g.read("fake tools/calls.log"), "civetweb "); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::string server_line = "civetweb " + g.root + "/tmp/src_backup\n";
    size_t server_at = calls.find(server_line);
    ASSERT_NE(std::string::npos, server_at) << calls;
    calls.erase(server_at, server_line.size());
    std::string tmp = g.root + "/tmp/ios", app = tmp + "/Bob's Game.app";
    EXPECT_EQ("security [-q] [find-identity] [-p] [codesigning] [-v]\n"
              "idevice_id [-l]\n"
              "plutil [-convert] [binary1] [" + tmp + "/Entitlements.plist]\n"
              "plutil [-convert] [xml1] [" + tmp + "/Entitlements.plist]\n"
              "plutil [-convert] [binary1] [" + app + "/Info.plist]\n"
              "codesign [-f] [-s] [Apple Development: Bob (TEAM1)] [--entitlements] [" + tmp + "/Entitlements.plist] [" + app + "]\n"
              "zip [-q] [-r] [archive.zip] [Payload]\n"
              "zintarel-deploy-ios [-d] [00008030-AAAA] [" + tmp + "/Bob's Game.ipa]\n"
              "zintarel-publish\n",
              calls);

    EXPECT_EQ("# kept comment\ndevid=bob\nhighdpi=true\ndevtitle=Bob\ngameid=bobs-game\ngametitle=Bob's Game\n"
              "version=1.0\nicon=metadata/icon.png\n",
              g.read("game/metadata/game_metadata.txt"));
    EXPECT_EQ("# kept comment\ndevid=bob\nhighdpi=true\n", g.read("game/metadata/game_metadata.txt.bak"));
    EXPECT_FALSE(g.exists("game/app/server_ip_address.txt"));

    // Nothing outside the root was made or removed by a path split at its blank, and inside
    // it only what the run was meant to write.
    struct stat st;
    EXPECT_NE(0, stat("/tmp/zintarel-e2e-wizard", &st));
    std::set<std::string> expected = {
        "zintarel", "font.ttf", ".stdout", ".stderr", "console_history.txt", web_server(g), "zintarel-deploy-ios",
        "zintarel-publish", "profiles", "profiles/development.mobileprovision", "zintarel-ios.app",
        "zintarel-ios.app/Runtime", "game", "game/app", "game/app/main.rb", "game/app/wizard.rb", "game/sprites",
        "game/sprites/ship.png", "game/metadata", "game/metadata/game_metadata.txt",
        "game/metadata/game_metadata.txt.bak", "logs", "logs/log.txt", "logs/puts.txt", "logs/trace.txt", "tmp", "tmp/src_backup",
        "tmp/src_backup/" + web_server(g), "tmp/src_backup/index.html", "tmp/src_backup/index.css",
        "tmp/src_backup/changes.txt", "tmp/src_backup/changes.html", "tmp/src_backup/boot.txt",
        "tmp/src_backup/src_backup_app_main.rb", "tmp/src_backup/archived", "tmp/ios", "tmp/ios/Entitlements.plist",
        "tmp/ios/do_zip.sh", "tmp/ios/Bob's Game.ipa", "tmp/ios/ipa_root", "tmp/ios/ipa_root/archive.zip",
        "tmp/ios/ipa_root/Payload"};
    for (const char *name : {"fake tools", "fake tools/calls.log", "fake tools/xcodebuild", "fake tools/brew",
                             "fake tools/security", "fake tools/idevice_id", "fake tools/plutil", "fake tools/codesign",
                             "fake tools/zip", "fake tools/open"})
        expected.insert(name);
    std::vector<std::string> bundle = {"", "/Runtime", "/Info.plist", "/embedded.mobileprovision", "/app",
                                       "/app/main.rb", "/app/wizard.rb", "/sprites", "/sprites/ship.png"};
    bool has_address = g.exists("tmp/ios/Bob's Game.app/app/server_ip_address.txt");
    if (has_address) bundle.push_back("/app/server_ip_address.txt");
    for (const std::string &part : bundle) {
        expected.insert("tmp/ios/Bob's Game.app" + part);
        expected.insert("tmp/ios/ipa_root/Payload/Bob's Game.app" + part);
    }
    std::vector<std::string> found;
    walk(g.root, "", found);
    for (const std::string &path : found) {
        const std::string archived = "tmp/src_backup/archived/src_backup_app_main_";
        if (path.compare(0, archived.size(), archived) == 0) continue;
        EXPECT_TRUE(expected.count(path)) << "stray: " << path;
    }
    for (const std::string &path : expected) EXPECT_TRUE(g.exists(path)) << "missing: " << path;
}

// Each step of the iOS wizard that stops shows its guide with the pictures the build places
// beside the executable: every one of them is found.
TEST(Tooling, TheIosWizardsGuidesFindEveryPictureTheyShow)
{
    e2e_game g("guides");
    std::vector<std::string> pictures;
    walk(ZINTAREL_GUIDE_PICTURES, "", pictures);
    ASSERT_EQ(13u, pictures.size());
    for (const std::string &name : pictures)
        g.write(".zintarel/sprites/wizards/ios/" + name, read_file(std::string(ZINTAREL_GUIDE_PICTURES) + "/" + name));
    g.write("game/app/main.rb", "def tick args; end\n");
    g.write("fake tools/calls.log", "");
    fake_tool(g, "fake tools/present", "");
    fake_tool(g, "fake tools/certificate", "echo '  1) AAAA \"Apple Development: Bob (TEAM1)\"'");
    fake_tool(g, "fake tools/device", "echo 00008030-AAAA");
    // Each row gives the tools (the rest are present and print nothing); the wizard stops at the
    // step whose guide it shows, the last one for want of a profile.
    g.write("game/app/guides.rb",
            "fake = File.join($zoq.get_base_dir, 'fake tools')\n"
            "rows = [{ xcodebuild: 'missing' }, { brew: 'missing' }, { security: 'missing' }, {},\n"
            "        { security: 'certificate', idevice_id: 'missing' }, { security: 'certificate', idevice_id: 'device' }]\n"
            "rows.each do |row|\n"
            "  [:xcodebuild, :brew, :security, :idevice_id, :open].each do |tool|\n"
            "    $wizards.ios.cli_apps[tool] = File.join(fake, row[tool] || 'present')\n"
            "  end\n"
            "  puts \"ROW #{row.inspect} #{$wizards.ios.restart.inspect} #{$wizards.ios.wizard_status.select { |_k, v| v[:result] == :success }.length}\"\n"
            "end\n");
    e2e_run r = g.run({"game", "--eval", "app/guides.rb", "--no-tick"});
    EXPECT_EQ(0, r.status) << r.err;
    // Stopped (nil) after 0, 1, 2, 2, 3 and 4 steps that succeeded.
    for (const char *row : {"ROW {:xcodebuild=>\"missing\"} nil 0", "ROW {:brew=>\"missing\"} nil 1",
                            "ROW {:security=>\"missing\"} nil 2", "ROW {} nil 2", "=>\"missing\"} nil 3",
                            "=>\"device\"} nil 4"})
        EXPECT_TRUE(contains(r.out, row)) << row << "\n" << r.out;
    EXPECT_FALSE(contains(r.out, "not found")) << r.out;
}
