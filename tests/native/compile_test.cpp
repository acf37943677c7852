// The compile step against a real interpreter: every division becomes a send of `/`
// answered with real division, literal divisions are not folded, code without divisions
// is what the generator made, and the rewritten code keeps its jumps, handlers, line
// tables and image form.
#include "host/compile.h"
#include "support/test_files.h"

#include <gtest/gtest.h>
#include <mruby/array.h>
#include <mruby/compile.h>
#include <mruby/debug.h>
#include <mruby/dump.h>
#include <mruby/irep.h>
#include <mruby/proc.h>
#include <mruby/string.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <unistd.h>
#include <vector>

// The generator as the interpreter ships it (the build wraps mrb_generate_code).
extern "C" RProc *__real_mrb_generate_code(mrb_state *mrb, mrb_parser_state *p);

extern "C" {
extern const uint8_t *const zoq_framework_ireps[];
extern const size_t zoq_framework_count;
}

namespace {

struct interpreter {
    mrb_state *mrb;
    interpreter()
    {
        mrb = mrb_open();
        ruby_compile_init(mrb);
    }
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

// Generated code left as the interpreter makes it, optimised or not.
RProc *compile_plain(mrb_state *mrb, const std::string &code, bool optimise, const char *file = "(plain)")
{
    mrbc_context *c = mrbc_context_new(mrb);
    c->capture_errors = TRUE;
    c->no_optimize = !optimise;
    mrbc_filename(mrb, c, file);
    mrb_parser_state *p = mrb_parse_nstring(mrb, code.data(), code.size(), c);
    RProc *proc = p && p->nerr == 0 ? __real_mrb_generate_code(mrb, p) : nullptr;
    if (p) mrb_parser_free(p);
    mrbc_context_free(mrb, c);
    return proc;
}

std::string run_proc(mrb_state *mrb, RProc *proc)
{
    MRB_PROC_SET_TARGET_CLASS(proc, mrb->object_class);
    mrb_value v = mrb_top_run(mrb, proc, mrb_top_self(mrb), 0);
    return inspect_and_clear(mrb, v);
}

std::string dump(mrb_state *mrb, const mrb_irep *irep)
{
    uint8_t *bin = nullptr;
    size_t size = 0;
    EXPECT_EQ(MRB_DUMP_OK, mrb_dump_irep(mrb, irep, MRB_DUMP_DEBUG_INFO, &bin, &size));
    std::string out((const char *)bin, size);
    mrb_free(mrb, bin);
    return out;
}

std::string iseq_of(const mrb_irep *irep) { return std::string((const char *)irep->iseq, irep->ilen); }

// The lines of an irep pc by pc with repeats collapsed: the order in which code walks
// through the source, which growing instructions must not change.
std::vector<int32_t> line_runs(mrb_state *mrb, const mrb_irep *irep)
{
    std::vector<int32_t> runs;
    for (uint32_t pc = 0; pc < irep->ilen; pc++) {
        int32_t line = mrb_debug_get_line(mrb, irep, pc);
        if (runs.empty() || runs.back() != line) runs.push_back(line);
    }
    return runs;
}

void expect_same_lines(mrb_state *mrb, const mrb_irep *before, const mrb_irep *after)
{
    ASSERT_EQ(before->rlen, after->rlen);
    EXPECT_EQ(line_runs(mrb, before), line_runs(mrb, after));
    for (uint32_t pc = 0; pc < after->ilen; pc++) ASSERT_GE(mrb_debug_get_line(mrb, after, pc), 1) << pc;
    for (uint16_t i = 0; i < before->rlen; i++) expect_same_lines(mrb, before->reps[i], after->reps[i]);
}

// Control flow of every kind around divisions. Division results are turned into whole
// numbers (the divisions are exact), so floor division and real division trace the same.
const char *corpus = R"RUBY(
class Counter
  attr_accessor :value
  def initialize(v); @value = v; end
  def [](i); @value * i; end
  def []=(i, v); @value = v / i; end
end

def opt_args(a, b = (a * 4) / 2, c = b / 2, *rest, d: (a * 8) / 4)
  [a, b, c, rest.size, d].map { |v| v.to_i }
end

def nested_def
  def inner_div(x) = (x * 6) / 3
  inner_div(5).to_i
end

$g = 64
class Holder
  @@cv = 128
  def self.cv_div; @@cv /= 2; @@cv.to_i; end
end

def corpus
  t = []
  i = 0
  while i < 40
    i += 1
    q = (i * 10) / 5
    next if q.to_i % 3 == 0
    break if q > 60
    t << q.to_i
  end
  j = 0
  until j >= 6
    j += 1
    t << ((j * 9) / 3).to_i unless j == 4
  end
  t << (loop do
    j -= 1
    break (j * 4) / 2 if j < 3
  end).to_i
  [8, 16, 24].each do |v|
    next if v / 8 == 2
    t << (v / 4).to_i
  end
  t << [3, 6, 9].map { |v| (v * 2) / 3 }.inject(:+).to_i
  attempts = 0
  begin
    attempts += 1
    x = (attempts * 8) / 4
    raise "again" if attempts < 3
    t << x.to_i
  rescue
    retry
  end
  begin
    y = 12 / 4
    raise ArgumentError, "no" if y == 3
  rescue TypeError
    t << :wrong
  rescue ArgumentError => e
    t << e.message << (y * 2 / 3).to_i
  else
    t << :else
  ensure
    t << ((y || 0) / 3).to_i
  end
  k = 0
  while true
    begin
      k += 1
      z = (k * 8) / 2
      break if z >= 12
    ensure
      t << :ensure
    end
  end
  t << k
  t.concat(opt_args(4)) << opt_args(4, 10) << opt_args(4, 10, 6, 1, 2, d: 8)
  t << nested_def
  a = 96
  a /= 2
  @iv = 40
  @iv /= 4
  $g /= 8
  c = Counter.new(30)
  c.value /= 3
  c[5] /= 5
  h = { k: 50 }
  h[:k] /= 5
  arr = [1, 20]
  arr[1] /= 4
  t << a.to_i << @iv.to_i << $g.to_i << c.value.to_i << h[:k].to_i << arr[1].to_i << Holder.cv_div
  acc = 1000
  incr = lambda { |n| acc /= n }
  incr.call(10)
  pr = proc { |n| acc /= n }
  pr.call(2)
  t << acc.to_i
  f = Fiber.new do
    Fiber.yield((40 / 4).to_i)
    (90 / 9).to_i
  end
  t << f.resume << f.resume
  s = (8 / 2 > 3) ? (9 / 3) : (4 / 4)
  t << s.to_i << "#{(10 / 5).to_i}" << ((raise "x" rescue 8 / 2)).to_i
  case (6 * 6) / 3
  when 12 then t << :twelve
  else t << :other
  end
  flag = nil
  t << (flag && 4 / 2) << ((flag || 10) / 5).to_i
  if false
    [1].map { |v| v / 2 }
  end
  t << Holder.new.instance_eval { (60 / 3).to_i }
  t
end
corpus
)RUBY";

} // namespace

TEST(CompileStep, IntegersDivideToFloatsThroughEveryPath)
{
    interpreter in;
    mrb_state *mrb = in.mrb;
    EXPECT_EQ("[2.5, -3.5, Infinity, -Infinity, true, 3.5, 3.5, 3.5]",
              run(mrb, "[5 / 2, -7 / 2, 1 / 0, -1 / 0, (0 / 0).nan?, 7.0 / 2, 7 / 2.0, 7.0 / 2.0]"));
    EXPECT_EQ("3.5", run(mrb, "x = 7\nx /= 2\nx"));
    // The interpreter's own entries into code generation take the same step.
    EXPECT_EQ("3.5", run(mrb, "eval('7 / 2')"));
    EXPECT_EQ("4.5", run(mrb, "x = 9\neval('x / 2')"));
    EXPECT_EQ("3.5", run(mrb, "Object.new.instance_eval('7 / 2')"));
    EXPECT_EQ("3.5", run(mrb, "String.class_eval('def half = 7 / 2'); ''.half"));
    int ai = mrb_gc_arena_save(mrb);
    mrb_value v = mrb_load_string(mrb, "-7 / 2");
    EXPECT_EQ("-3.5", inspect_and_clear(mrb, v));
    mrb_gc_arena_restore(mrb, ai);
}

// Receivers and operands that are not two numbers: each case's answer, or the class,
// message and first backtrace lines of what it raised.
const char *other_receivers = R"RUBY(
class Vec
  def initialize(x) = @x = x
  def /(d) = d.zero? ? raise("zero for #{@x}") : [:vec, @x, d]
end
class Sub < Vec
  def /(d) = [:sub, super]
end
class NoSuper
  def /(d) = super
end
class Catcher
  def method_missing(name, *args) = [name, args]
end
class BareCatcher < BasicObject
  def method_missing(name, *args) = [name, args]
end
class Pair
  def coerce(other) = [other, 2]
end
class Yielder
  def /(d) = [Fiber.yield(d), :resumed]
end
def outcome
  yield
rescue Exception => e
  [e.class, e.message, e.backtrace[0, 2]]
end
[
  outcome { Vec.new(1) / 3 }, outcome { Vec.new(1) / 0 }, outcome { v = Vec.new(2); v /= 4; v },
  outcome { Sub.new(5) / 2 }, outcome { NoSuper.new / 2 },
  outcome { Catcher.new / 2 }, outcome { BareCatcher.new / 2 },
  outcome { nil / 2 }, outcome { x = nil; x /= 2 }, outcome { BasicObject.new / 2 }, outcome { "text" / 2 },
  outcome { 5 / "a" }, outcome { 5.0 / nil }, outcome { 5 / Pair.new },
  outcome { 5 / Rational(1, 2) }, outcome { 5.0 / Rational(1, 2) }, outcome { 5 / Complex(1, 1) },
  outcome { Rational(1, 2) / 2 }, outcome { 5.send(:/, 1, 2) }, outcome { 5./() },
  outcome { [7.div(2), 7 % 2, -7.divmod(2), 7 >> 1, 7 * 2, 7 - 2, 7 + 2] },
  outcome { f = Fiber.new { Yielder.new / 5 }; [f.resume, f.resume(:back)] }
]
)RUBY";

TEST(CompileStep, OtherReceiversAndOperandsAnswerAsWithTheVmsOwnDivision)
{
    interpreter ours, theirs;
    std::string expected = run_proc(theirs.mrb, compile_plain(theirs.mrb, other_receivers, true, "other.rb"));
    EXPECT_EQ(expected, run(ours.mrb, other_receivers, "other.rb"));
    EXPECT_NE(std::string::npos, expected.find("[:vec, 1, 3]")) << expected;
    EXPECT_NE(std::string::npos, expected.find("[RuntimeError, \"zero for 1\", [\"other.rb:4:in /\", \"other.rb:30\"]]"))
        << expected;
    EXPECT_NE(std::string::npos, expected.find("[NoMethodError, \"undefined method '/'\", [\"other.rb:33\", \"other.rb:25:in outcome\"]]"))
        << expected;
    EXPECT_NE(std::string::npos, expected.find("[:/, [2]], [:/, [2]]")) << expected;
    EXPECT_NE(std::string::npos, expected.find("(10/1)")) << expected;
    EXPECT_NE(std::string::npos, expected.find("[5, [:back, :resumed]]")) << expected;
}

TEST(CompileStep, NumbersAnswerNativelyBeforeAnyRubyRedefinition)
{
    interpreter in;
    // As the VM does for `+`, `-` and `*`, a Ruby Integer#/ is asked about other operands;
    // `send` and `method` reach it as they reach any method.
    EXPECT_EQ("[2.5, [:mine, nil], [:mine, 2], 2.5]",
              run(in.mrb, "class Integer\n  alias_method :core_div, :/\n  def /(o) = o.nil? || o == 2 ? [:mine, o] : "
                          "core_div(o)\nend\n[5 / 2, 5 / nil, 5.send(:/, 2), 5.method(:core_div).call(2)]"));
    interpreter plain;
    EXPECT_EQ("[3.5, 3.5, 3.5, 0.5, Infinity]",
              run(plain.mrb, "[7.send(:/, 2), 7.method(:/).call(2), 7.0.send(:/, 2), [1, 2].inject(:/), 1.send(:/, 0)]"));
}

TEST(CompileStep, LiteralDivisionsAreKeptAndNothingIsLeftToTheVm)
{
    interpreter in;
    mrb_state *mrb = in.mrb;
    const std::string code = "HALF = 1 / 2\n"
                             "def third = 1 / 3\n"
                             "def mixed(x) = [x / 4, 7 / 2 * 2, -7 / 2]\n"
                             "[HALF, third.round(3), mixed(2), [1].map { 3 / 4 }, 1 / 60 * 60]";
    EXPECT_EQ("[0.5, 0.333, [0.5, 7.0, -3.5], [0.75], 1.0]", run(mrb, code));
    int ai = mrb_gc_arena_save(mrb);
    RProc *proc = ruby_compile(mrb, code.data(), code.size(), "(test)");
    ASSERT_NE(nullptr, proc);
    EXPECT_EQ(0, ruby_compile_count_div(proc->body.irep));
    RProc *plain = compile_plain(mrb, code, false);
    EXPECT_GT(ruby_compile_count_div(plain->body.irep), 5);
    mrb_gc_arena_restore(mrb, ai);
}

TEST(CompileStep, ScopesWithoutLiteralDivisionsKeepTheOptimisedCode)
{
    interpreter in;
    mrb_state *mrb = in.mrb;
    int ai = mrb_gc_arena_save(mrb);
    // No division at all: byte for byte what the generator makes.
    const std::string none = "def step(x)\n  i = 0\n  while i < x\n    i += 1\n  end\n  [i * 2, i - 1]\nend\n"
                             "[1, 2].each { |v| step(v) }\n";
    RProc *ours = ruby_compile(mrb, none.data(), none.size(), "(plain)");
    RProc *theirs = compile_plain(mrb, none, true);
    ASSERT_TRUE(ours && theirs);
    EXPECT_EQ(dump(mrb, theirs->body.irep), dump(mrb, ours->body.irep));

    // A literal division takes its own scope off the optimised code, and only that scope.
    const std::string some = "def folded = 7 / 2 + 1\ndef kept(x)\n  i = x / 2 + 1.0 / 60\n  i += 1\nend\n";
    ours = ruby_compile(mrb, some.data(), some.size(), "(plain)");
    RProc *fast = compile_plain(mrb, some, true);
    RProc *slow = compile_plain(mrb, some, false);
    ASSERT_EQ(0, ruby_compile_rewrite(mrb, (mrb_irep *)fast->body.irep));
    ASSERT_EQ(0, ruby_compile_rewrite(mrb, (mrb_irep *)slow->body.irep));
    ASSERT_EQ(2, ours->body.irep->rlen);
    EXPECT_EQ(iseq_of(slow->body.irep->reps[0]), iseq_of(ours->body.irep->reps[0]));
    EXPECT_EQ(iseq_of(fast->body.irep->reps[1]), iseq_of(ours->body.irep->reps[1]));
    EXPECT_NE(iseq_of(slow->body.irep->reps[1]), iseq_of(ours->body.irep->reps[1]));
    mrb_gc_arena_restore(mrb, ai);
}

TEST(CompileStep, RewrittenCodeRunsLikeTheGeneratorsOwn)
{
    interpreter a, b, c;
    std::string ours = run(a.mrb, corpus);
    // Compiling again and again with collections in between changes nothing.
    for (int i = 0; i < 40; i++) {
        mrb_full_gc(a.mrb);
        ASSERT_EQ(ours, run(a.mrb, "x = 7 / 2\n" + std::string(corpus))) << i;
    }
    int ai = mrb_gc_arena_save(b.mrb);
    std::string fast = run_proc(b.mrb, compile_plain(b.mrb, corpus, true));
    mrb_gc_arena_restore(b.mrb, ai);
    ai = mrb_gc_arena_save(c.mrb);
    std::string slow = run_proc(c.mrb, compile_plain(c.mrb, corpus, false));
    mrb_gc_arena_restore(c.mrb, ai);
    EXPECT_EQ(fast, ours);
    EXPECT_EQ(slow, ours);
    EXPECT_NE(std::string::npos, ours.find(":ensure, :ensure, :ensure, 3, 4, 8, 4, 0, 8")) << ours;
    EXPECT_EQ(std::string::npos, ours.find("Error")) << ours;
}

TEST(CompileStep, LineTablesFollowTheGrownInstructions)
{
    interpreter in;
    mrb_state *mrb = in.mrb;
    int ai = mrb_gc_arena_save(mrb);
    RProc *before = compile_plain(mrb, corpus, true);
    RProc *after = compile_plain(mrb, corpus, true);
    ASSERT_EQ(0, ruby_compile_rewrite(mrb, (mrb_irep *)after->body.irep));
    EXPECT_EQ(0, ruby_compile_count_div(after->body.irep));
    EXPECT_GT(ruby_compile_count_div(before->body.irep), 20);
    expect_same_lines(mrb, before->body.irep, after->body.irep);
    mrb_gc_arena_restore(mrb, ai);
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
}

TEST(CompileStep, WideOperandsAboveTwoHundredFiftyFiveSymbolsAndRegisters)
{
    interpreter in;
    mrb_state *mrb = in.mrb;
    // 300 method names fill the symbol table before `/` is needed; 250 locals push the
    // divided registers past 255; the last method needs both at once.
    std::string code = "class Object\n";
    for (int i = 0; i < 300; i++) code += "  def m" + std::to_string(i) + " = " + std::to_string(i) + "\n";
    code += "end\ndef many_syms\n  s = 0\n";
    for (int i = 0; i < 300; i++) code += "  s += m" + std::to_string(i) + "\n";
    code += "  s / 2\nend\ndef many_regs(d)\n";
    for (int i = 0; i < 250; i++) code += "  v" + std::to_string(i) + " = " + std::to_string(i) + "\n";
    code += "  v249 /= d\n  [v0, v1, v2, v3, v4, v5, v6, v7, v249, v248 / d, v2 / (v1 + (v3 * (v4 - (v6 / d))))]\n"
            "end\ndef both(d)\n";
    for (int i = 0; i < 250; i++) code += "  w" + std::to_string(i) + " = m" + std::to_string(i) + "\n";
    code += "  w249 /= d\n  [w0, w1, w2, w3, w4, w5, w6, w7, w249, w1 / d, 1 / (w2 + (w3 * (w4 / d)))]\nend\n"
            "[many_syms, many_regs(4), both(2)]\n";
    EXPECT_EQ("[22425.0, [0, 1, 2, 3, 4, 5, 6, 7, 62.25, 62.0, 0.235294117647059], [0, 1, 2, 3, 4, 5, 6, 7, 124.5, 0.5, 0.125]]",
              run(mrb, code));
    int ai = mrb_gc_arena_save(mrb);
    RProc *proc = ruby_compile(mrb, code.data(), code.size(), "(wide)");
    ASSERT_NE(nullptr, proc);
    EXPECT_EQ(0, ruby_compile_count_div(proc->body.irep));
    mrb_gc_arena_restore(mrb, ai);
}

TEST(CompileStep, DumpedImagesReloadFromConstantMemory)
{
    std::string ours_image, plain_image;
    const std::string code = "def half(x) = x / 2\n"
                             "def fail_at_four = nil / 2\n"
                             "$r = [half(5), 7 / 2, (begin; fail_at_four; rescue => e; e.backtrace[0]; end)]\n";
    {
        interpreter in;
        int ai = mrb_gc_arena_save(in.mrb);
        RProc *proc = ruby_compile(in.mrb, code.data(), code.size(), "img.rb");
        ASSERT_NE(nullptr, proc);
        ours_image = dump(in.mrb, proc->body.irep);
        plain_image = dump(in.mrb, compile_plain(in.mrb, code, true, "img.rb")->body.irep);
        mrb_gc_arena_restore(in.mrb, ai);
    }
    // The images stay where they are, as the embedded framework does.
    std::vector<uint8_t> ours(ours_image.begin(), ours_image.end());
    std::vector<uint8_t> plain(plain_image.begin(), plain_image.end());
    {
        interpreter in;
        ruby_load_irep(in.mrb, ours.data());
        EXPECT_EQ("[2.5, 3.5, \"img.rb:2:in fail_at_four\"]", run(in.mrb, "$r"));
    }
    {
        // An image from a plain generator is rewritten as it loads; only its folded
        // literal stays as the generator left it.
        interpreter in;
        ruby_load_irep(in.mrb, plain.data());
        EXPECT_EQ("[2.5, 3, \"img.rb:2:in fail_at_four\"]", run(in.mrb, "$r"));
        EXPECT_EQ(plain_image, std::string(plain.begin(), plain.end()));
    }
    {
        interpreter in;
        ruby_load_irep(in.mrb, (const uint8_t *)"not an image at all....");
        EXPECT_NE(nullptr, in.mrb->exc);
        in.mrb->exc = nullptr;
    }
}

// The build tool beside the test binary (build/zoqc, the tests in build/tests).
std::string zoqc_path()
{
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "";
    std::string path(self, (size_t)n);
    return path.substr(0, path.rfind('/')) + "/../zoqc";
}

TEST(CompileStep, TheBuildToolEmbedsCodeThatAlreadyDivides)
{
    char dir[] = "/tmp/zintarel-zoqc-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    std::string rb = std::string(dir) + "/part.rb", c = std::string(dir) + "/part.c";
    FILE *f = fopen(rb.c_str(), "w");
    ASSERT_NE(nullptr, f);
    fputs("FRAME = 1 / 60\ndef half(x) = x / 2\n"
          "$r = [FRAME.round(4), half(5), (begin; half(nil); rescue NoMethodError => e; e.backtrace[0]; end)]\n",
          f);
    fclose(f);
    std::string cmd = zoqc_path() + " " + c + " " + rb;
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
    std::string clean = std::string("rm -rf ") + dir;
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

TEST(CompileStep, TheEmbeddedFrameworkCarriesNoVmDivision)
{
    interpreter in;
    for (size_t i = 0; i < zoq_framework_count; i++) {
        mrb_irep *irep = mrb_read_irep(in.mrb, zoq_framework_ireps[i]);
        ASSERT_NE(nullptr, irep);
        EXPECT_EQ(0, ruby_compile_count_div(irep)) << i;
        mrb_irep_decref(in.mrb, irep);
    }
}

TEST(CompileStep, ARewriteThatCannotBeMadeLeavesTheCodeAndFailsTheCompile)
{
    interpreter in;
    mrb_state *mrb = in.mrb;
    // A branch over about 30 KB of divisions: each one grows by two bytes and the
    // branch's 16-bit offset no longer reaches. The compile fails rather than run floor division.
    std::string code = "def big(b, c)\n  if b\n";
    for (int i = 0; i < 2700; i++) code += "    a = b / c\n";
    code += "  end\nend\n";
    int ai = mrb_gc_arena_save(mrb);
    RProc *plain = compile_plain(mrb, code, true);
    ASSERT_NE(nullptr, plain);
    std::string image = dump(mrb, plain->body.irep);
    EXPECT_EQ(1, ruby_compile_rewrite(mrb, (mrb_irep *)plain->body.irep));
    EXPECT_EQ(image, dump(mrb, plain->body.irep));
    EXPECT_EQ(nullptr, ruby_compile(mrb, code.data(), code.size(), "big.rb"));
    ASSERT_NE(nullptr, mrb->exc);
    EXPECT_NE(std::string::npos, inspect_and_clear(mrb, mrb_nil_value()).find("ScriptError"));
    mrb_gc_arena_restore(mrb, ai);
    EXPECT_EQ("6.0", run(mrb, "def small(b, c) = b / c\nsmall(12, 2)"));
}
