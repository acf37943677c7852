// The interpreter's String hash is keyed per interpreter: names made to share the old
// unkeyed hash (what flooded a Hash filled from JSON, XML or HTTP headers) hash apart, and
// each interpreter draws a key of its own, so nobody can make colliding names ahead of a run.
#include "support/fnv_collisions.h"
#include "support/host_test.h"

#include <gtest/gtest.h>
#include <mruby.h>
#include <mruby/string.h>
#include <set>

class StringHash : public HostTest {};

static std::set<uint32_t> hashes_in(mrb_state *mrb, const std::vector<std::string> &strings)
{
    std::set<uint32_t> found;
    int arena = mrb_gc_arena_save(mrb);
    for (const std::string &s : strings) {
        found.insert(mrb_str_hash(mrb, mrb_str_new(mrb, s.data(), (mrb_int)s.size())));
        mrb_gc_arena_restore(mrb, arena);
    }
    return found;
}

TEST_F(StringHash, NamesThatShareTheUnkeyedHashHashApart)
{
    std::vector<std::string> names = fnv1_colliding_strings(10);
    ASSERT_EQ(1024u, names.size());
    std::set<uint32_t> unkeyed;
    for (const std::string &s : names) unkeyed.insert(fnv1_hash(s));
    ASSERT_EQ(1u, unkeyed.size()); // they do collide under the old hash
    // 1,024 random 32-bit values: a repeat or two at most.
    EXPECT_GE(hashes_in(test_game.interpreter, names).size(), 1020u);
}

TEST_F(StringHash, EachInterpreterDrawsItsOwnKey)
{
    std::vector<std::string> names = {"", "a", "score", "player_name", std::string(100, 'x')};
    mrb_state *other = mrb_open_core(nullptr, nullptr);
    ASSERT_NE(nullptr, other);
    std::vector<uint32_t> mine, theirs;
    for (const std::string &s : names) {
        mine.push_back(*hashes_in(test_game.interpreter, {s}).begin());
        theirs.push_back(*hashes_in(other, {s}).begin());
    }
    mrb_close(other);
    EXPECT_NE(mine, theirs);
    // Within one interpreter a String's hash is that of every equal String.
    EXPECT_EQ("true", host_fixture_eval("'player_name'.hash == ('player' + '_name').hash"));
}

// Correctness with colliding names: every key is kept with its own value.
TEST_F(StringHash, JsonObjectsAndXmlAttributesOfCollidingNamesParseWhole)
{
    std::vector<std::string> names = fnv1_colliding_strings(10);
    std::string json = "{", xml = "<e";
    for (size_t i = 0; i < names.size(); i++) {
        json += (i ? ",\"" : "\"") + names[i] + "\":" + std::to_string(i);
        xml += " " + names[i] + "='" + std::to_string(i) + "'";
    }
    json += "}";
    xml += "/>";
    write_file(fx.game_dir + "/names.json", json);
    write_file(fx.game_dir + "/names.xml", xml);
    std::string last = names.back();
    EXPECT_EQ("[1024, 0, 1023]", host_fixture_eval("h = FFI::Misc.new.parse_json_file('names.json'); "
                                                   "[h.size, h['" + names[0] + "'], h['" + last + "']]"));
    EXPECT_EQ("[1024, \"0\", \"1023\"]",
              host_fixture_eval("a = FFI::Misc.new.parse_xml_file('names.xml', true)[:children][0][:attributes]; "
                                "[a.size, a['" + names[0] + "'], a['" + last + "']]"));
}
