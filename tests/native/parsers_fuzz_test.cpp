// The XML reader and both Ruby parsers over mutated documents: every input ends in a tree or
// nil, never a crash, a leak or a read out of bounds (scripts/fuzz.sh runs many more under
// AddressSanitizer). The reader's callbacks check what they are told as they go.
#include "services/xml_reader.h"
#include "support/host_test.h"

#include <gtest/gtest.h>
#include <mruby/string.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

static int fuzz_iterations(int fallback)
{
    const char *n = getenv("ZINTAREL_FUZZ_ITERATIONS");
    return n && atoi(n) > 0 ? atoi(n) : fallback;
}

// Element starts and ends balance; every name and run lies in memory the reader owns.
struct balance {
    long depth = 0, most = 0;
    bool broken = false;
};

static int touch(const char *p, size_t n)
{
    volatile char sum = 0;
    for (size_t i = 0; i < n; i++) sum += p[i];
    return 1;
}

static int fuzz_start(xml_callbacks *cb)
{
    balance *b = (balance *)cb->user_data;
    b->most = std::max(b->most, ++b->depth);
    if (cb->text_length == 0) b->broken = true;
    return touch(cb->text, cb->text_length);
}

static int fuzz_end(xml_callbacks *cb)
{
    balance *b = (balance *)cb->user_data;
    if (--b->depth < 0) b->broken = true;
    return 1;
}

static int fuzz_run(xml_callbacks *cb) { return touch(cb->text, cb->text_length) && touch(cb->key, cb->key_length); }

static const char *xml_seeds[] = {
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE r [<!ENTITY e \"]>\"><!-- c -->]>\n<r a=\"1\" b='&lt;&#x20AC;'>"
    "text &amp; more<![CDATA[<raw>]]><?pi data?><e/><f x=\"\">\r\n</f><!-- end --></r><?after?>",
    "<a><b><c><d>deep</d></c></b></a>",
    "\xEF\xBB\xBF<root>&#65;&#x1F600;&quot;&apos;&gt;</root>",
};

static const char *json_seeds[] = {
    "{\"a\": [1, 2.5, -0, 1e400, \"s\\u00e9\\ud83d\\ude00\", true, false, null], \"b\": {\"c\": {}}, \"a\": []}",
    "[[[[[[1]]]]], 9223372036854775808, -9223372036854775808, \"\\u0000x\"]",
};

static const char *tokens[] = {"<", ">", "/>", "</", "&", ";", "&#", "&#x", "]]>", "<![CDATA[", "<!--", "-->", "<?",
                               "?>", "=", "\"", "'", "\r", "\n", "\0", "\xC3", "[", "]", "{", "}", ",", ":", "\\u",
                               "1e999", "<!DOCTYPE", "&lt;", "&#0;", "&#x110000;"};

// One random edit: flip a byte, insert a token, delete or repeat a stretch, or cut the end.
static void mutate(std::string &s, unsigned &seed)
{
    auto next = [&seed](size_t n) { return n ? (size_t)rand_r(&seed) % n : 0; };
    size_t at = next(s.size() + 1);
    switch (next(5)) {
    case 0:
        if (!s.empty()) s[next(s.size())] ^= (char)(1 << next(8));
        break;
    case 1: {
        const char *t = tokens[next(sizeof tokens / sizeof tokens[0])];
        s.insert(at, t, t[0] ? strlen(t) : 1);
        break;
    }
    case 2: s.erase(at, next(16)); break;
    case 3:
        if (s.size() < 100000) s.insert(at, s.substr(next(s.size() + 1), next(64)));
        break;
    default: s.resize(at); break;
    }
}

class ParsersFuzz : public HostTest {};

TEST_F(ParsersFuzz, MutatedDocumentsEndInATreeOrNilAndTheReaderAgreesWithParseXml)
{
    mrb_state *mrb = test_game.interpreter;
    mrb_value misc = mrb_obj_new(mrb, mrb_class_get_under(mrb, test_game.ffi_module, "Misc"), 0, nullptr);
    int iterations = fuzz_iterations(3000);
    unsigned seed = 12345;
    long parsed[2] = {0, 0};
    for (int i = 0; i < iterations; i++) {
        bool xml = i % 3 != 2;
        std::string s = xml ? xml_seeds[rand_r(&seed) % 3] : json_seeds[rand_r(&seed) % 2];
        for (int edits = 1 + rand_r(&seed) % 4; edits > 0; edits--) mutate(s, seed);
        int ai = mrb_gc_arena_save(mrb);
        mrb_value text = mrb_str_new(mrb, s.data(), (mrb_int)s.size());
        if (xml) {
            balance b;
            xml_callbacks cb = {};
            cb.user_data = &b;
            cb.on_element_start = fuzz_start;
            cb.on_element_end = fuzz_end;
            cb.on_content = cb.on_attribute = cb.on_pi = fuzz_run;
            int ok = parse_xml(s.data(), s.size(), &cb);
            ASSERT_FALSE(b.broken) << s;
            if (ok) {
                ASSERT_EQ(0, b.depth) << s;
            }
            ASSERT_EQ(ok ? 1 : -1, cb.status) << s;
            mrb_value tree = mrb_funcall(mrb, misc, "parse_xml", 2, text, mrb_bool_value(i % 2));
            ASSERT_FALSE(mrb->exc) << s;
            ASSERT_EQ(ok != 0, !mrb_nil_p(tree)) << s;
            parsed[0] += ok;
        } else if (!memchr(s.data(), 0, s.size())) {
            mrb_value value = mrb_funcall(mrb, misc, "parse_json", 1, text);
            ASSERT_FALSE(mrb->exc) << s;
            parsed[1] += !mrb_nil_p(value) || s.find("null") != std::string::npos;
        }
        mrb_gc_arena_restore(mrb, ai);
    }
    // The mutations keep some documents whole: both parsers answered trees, not only nil.
    EXPECT_GT(parsed[0], 0);
    EXPECT_GT(parsed[1], 0);
    printf("fuzz: %d documents, %ld XML and %ld JSON parsed whole\n", iterations, parsed[0], parsed[1]);
}

// What each run's callback is told: its key is the attribute name or PI target, and nothing
// for character data (found by fuzzing: a run's key once pointed into the previous run's
// buffer after it had moved).
static int note_run(xml_callbacks *cb)
{
    std::string *log = (std::string *)cb->user_data;
    *log += "[" + (cb->key ? std::string(cb->key, cb->key_length) : std::string("-")) + ":" +
            std::string(cb->text, cb->text_length) + "]";
    return 1;
}

TEST_F(ParsersFuzz, EachRunSeesOnlyItsOwnKey)
{
    std::string log;
    xml_callbacks cb = {};
    cb.user_data = &log;
    cb.on_content = cb.on_attribute = cb.on_pi = note_run;
    std::string doc = "<r a='1' b=''>x<e/>" + std::string(300, 'y') + "<?p d?>z<?q?></r>";
    ASSERT_EQ(1, parse_xml(doc.data(), doc.size(), &cb));
    EXPECT_EQ("[a:1][b:][-:x][-:" + std::string(300, 'y') + "][p:d][-:z][q:]", log);
    EXPECT_EQ(nullptr, cb.message);
    const char *bad = "<r>\n<x></y></r>";
    EXPECT_EQ(0, parse_xml(bad, strlen(bad), &cb));
    EXPECT_STREQ("Close tag does not match open tag (<Tag> .. </OtherTag>)", cb.message);
    EXPECT_EQ(2u, cb.line);
}
