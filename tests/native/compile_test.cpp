// The compile step against a real interpreter: file names in backtraces and syntax errors,
// top-level runs, the build tool's images, and the interpreter's division (Integers divide
// into Floats) through every way code is generated.
#include "compile/compile.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <mruby/compile.h>
#include <mruby/string.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/mman.h>
#include <vector>

namespace {

struct interpreter {
    mrb_state *mrb;
    interpreter() { mrb = mrb_open(); }
    ~interpreter() { mrb_close(mrb); }
};

std::string inspect_and_clear(mrb_state *mrb, mrb_value v)
{
    if (mrb->exc) {
        v = mrb_obj_value(mrb->exc);
        mrb->exc = nullptr;
    }
    mrb_value s = mrb_inspect(mrb, v);
    return std::string(RSTRING_PTR(s), (size_t)RSTRING_LEN(s));
}

// Runs code through the compile step at top level: the inspect text of its value, or of
// what it raised.
std::string run(mrb_state *mrb, const std::string &code, const char *file = "(test)")
{
    int ai = mrb_gc_arena_save(mrb);
    mrb_value v = ruby_load(mrb, code.data(), code.size(), file);
    std::string out = inspect_and_clear(mrb, v);
    mrb_gc_arena_restore(mrb, ai);
    return out;
}

} // namespace

TEST(CompileStep, IntegersDivideToFloatsThroughEveryPath)
{
    interpreter in;
    mrb_state *mrb = in.mrb;
    struct {
        const char *code, *expected;
    } cases[] = {
        // The interpreter and the framework's own tests cover the operators in full; here every
        // kind of code generation once, without the framework.
        {"HALF = 1 / 2\ndef third = 1 / 3\n[5 / 2, -7 / 2, 1 / 0, (0 / 0).nan?, HALF, third.round(3), 1 / 60 * 60]",
         "[2.5, -3.5, Infinity, true, 0.5, 0.333, 1.0]"},
        {"x = 7\nx /= 2\n[x, eval('7 / 2'), 2**62 / 2, 5 / Complex(1, 1)]", "[3.5, 3.5, 2.305843009213694e+18, (2.5-2.5i)]"},
        // Decimal literals read and print at full precision.
        {"[0.015625 == 0.5 ** 6, '0.015625'.to_f == 0.5 ** 6, format('%.17g', 0.1 + 0.2)]",
         "[true, true, \"0.30000000000000004\"]"},
        // Two numbers divide in the VM; a Ruby Integer#/ is asked only about other operands.
        {"class Integer\n  alias_method :core_div, :/\n  def /(o) = o.nil? ? :mine : core_div(o)\nend\n[5 / 2, 5 / nil]",
         "[2.5, :mine]"},
    };
    for (const auto &c : cases) EXPECT_EQ(c.expected, run(mrb, c.code)) << c.code;
    int ai = mrb_gc_arena_save(mrb);
    mrb_value v = mrb_load_string(mrb, "-7 / 2");
    EXPECT_EQ("-3.5", inspect_and_clear(mrb, v));
    mrb_gc_arena_restore(mrb, ai);
}

TEST(CompileStep, LongLiteralsAndManySymbolsCompileToTheirValues)
{
    // Long lists and many symbols in one scope take the parser's and generator's fast paths:
    // a flat Hash and Array, nested literals interleaving their lists, a body of many lines.
    std::string code = "h = {";
    for (int i = 0; i < 5000; i++) code += "k" + std::to_string(i) + ": " + std::to_string(i) + ", ";
    code += "}\na = [";
    for (int i = 0; i < 20000; i++) code += std::to_string(i) + ", ";
    code += "]\nn = [";
    for (int i = 0; i < 1000; i++) code += "{id: " + std::to_string(i) + ", tags: [:t" + std::to_string(i % 40) + ", :u]}, ";
    code += "]\ndef body\n  s = 0\n";
    for (int i = 0; i < 3000; i++) code += "  s += :\"m" + std::to_string(i) + "\".size\n";
    code += "  s\nend\n[h.size, h[:k0], h[:k2500], h[:k4999], a.size, a[19999], a.inject(:+), n.size, n[999][:id], "
            "n.map { |e| e[:tags][0] }.uniq.size, n[37][:tags], body]";
    interpreter in;
    EXPECT_EQ("[5000, 0, 2500, 4999, 20000, 19999, 199990000, 1000, 999, 40, [:t37, :u], 13890]",
              run(in.mrb, code));
}

TEST(CompileStep, BacktracesAndSyntaxErrorsKeepFileAndLine)
{
    interpreter in;
    mrb_state *mrb = in.mrb;
    const std::string code = "def f(x)\n"
                             "  y = x / 2 / 2 / 2 / 2 / 2 / 2\n"
                             "  raise 'boom' if y > 0.1\n"
                             "  nil / y\n"
                             "end\n"
                             "def trace\n"
                             "  yield\n"
                             "rescue Exception => e\n"
                             "  [e.class, e.backtrace[0]]\n"
                             "end\n"
                             "[trace { f(64) }, trace { f(1) }]\n";
    EXPECT_EQ("[[RuntimeError, \"game.rb:3:in f\"], [NoMethodError, \"game.rb:4:in f\"]]", run(mrb, code, "game.rb"));
    std::string syntax = run(mrb, "def x(\n  1 / 2\n", "game.rb");
    EXPECT_EQ("game.rb:2: syntax error", syntax.substr(0, 23)) << syntax;
    EXPECT_NE(std::string::npos, syntax.find("(SyntaxError)")) << syntax;
    EXPECT_NE(std::string::npos, run(mrb, "eval('1 / ')").find("SyntaxError"));
    EXPECT_EQ("nil", run(mrb, "", "empty.rb"));
}

// The parser holds 2,147,483,647 bytes; a longer source is refused unread, naming its size.
// The sources are views of one mapping whose untouched pages cost no memory: a String literal
// of the length that ran the parser's token count over, and one that ends at its first line.
TEST(CompileStep, ASourceLongerThanTheParserHoldsIsRefusedNamingItsSize)
{
    const size_t limit = MRB_PARSER_SOURCE_MAX, size = limit + 55;
    void *mapping = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(MAP_FAILED, mapping);
    char *source = (char *)mapping;
    source[0] = source[size - 1] = '\'';
    memcpy(source + 1, "__END__\n", 8);
    struct {
        const char *text;
        size_t length;
        const char *expected;
    } cases[] = {
        {source, size, "big.rb:1: source too long to parse: 2147483702 bytes (at most 2147483647) (SyntaxError)"},
        {source, limit + 1, "big.rb:1: source too long to parse: 2147483648 bytes (at most 2147483647) (SyntaxError)"},
        {source + 1, limit, "nil"},
    };
    interpreter in;
    for (const auto &c : cases) {
        int ai = mrb_gc_arena_save(in.mrb);
        EXPECT_EQ(c.expected, inspect_and_clear(in.mrb, ruby_load(in.mrb, c.text, c.length, "big.rb"))) << c.length;
        mrb_gc_arena_restore(in.mrb, ai);
    }
    munmap(mapping, size);
}

TEST(CompileStep, TheBuildToolEmbedsCodeWithItsFileNames)
{
    std::string dir = make_temp_folder("zintarel-zoqc");
    ASSERT_FALSE(dir.empty());
    std::string rb = dir + "/part.rb", c = dir + "/part.c";
    FILE *f = fopen(rb.c_str(), "w");
    ASSERT_NE(nullptr, f);
    fputs("FRAME = 1 / 60\ndef half(x) = x / 2\n"
          "$r = [FRAME.round(4), half(5), (begin; half(nil); rescue NoMethodError => e; e.backtrace[0]; end)]\n",
          f);
    fclose(f);
    std::string cmd = std::string(ZOQC_BINARY) + " " + c + " " + rb;
    ASSERT_EQ(0, system(cmd.c_str())) << cmd;
    std::string text;
    ASSERT_TRUE(read_file_into(c, text));
    size_t at = text.find("zoq_framework_0[] = {");
    ASSERT_NE(std::string::npos, at);
    std::vector<uint8_t> image;
    for (at = text.find("0x", at); at != std::string::npos && at < text.find("};", at); at = text.find("0x", at + 2))
        image.push_back((uint8_t)strtol(text.c_str() + at, nullptr, 16));
    interpreter in;
    ruby_load_irep(in.mrb, image.data());
    EXPECT_EQ("[0.0167, 2.5, \"" + rb + ":2:in half\"]", run(in.mrb, "$r"));
    std::string clean = "rm -rf '" + dir + "'";
    EXPECT_EQ(0, system(clean.c_str()));
}

TEST(CompileStep, BlocksOfATopLevelRunKeepTheirOwnVariables)
{
    // Each load runs at the base of the VM stack; a later load reuses those registers and
    // may grow (move) the stack, which blocks made by an earlier one must survive.
    interpreter in;
    mrb_state *mrb = in.mrb;
    run(mrb, "x = 5\ny = [x]\n$first = lambda { [x, y] }", "first.rb");
    run(mrb, "a = 99\nb = [a]\n$second = lambda { [a, b] }", "second.rb");
    EXPECT_EQ("[5, [5]]", run(mrb, "$first.call"));
    std::string deep = "GC.interval_ratio = 20\nGC.step_ratio = 10000\n$deep = ";
    for (int i = 0; i < 250; i++) deep += "{depth: " + std::to_string(i) + ", child: ";
    deep += "1" + std::string(250, '}') + "\n(1..3000).map { |i| [i] }.size";
    EXPECT_EQ("3000", run(mrb, deep, "deep.rb"));
    EXPECT_EQ("3000", run(mrb, "GC.start\n(1..3000).map { |i| [i, i.to_s] }.size"));
    EXPECT_EQ("[[5, [5]], [99, [99]]]", run(mrb, "[$first.call, $second.call]"));
}
