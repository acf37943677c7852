# The test runner behind "--test" and its assertions, run in the interpreter the games use.

# Defines the top-level methods of the source, runs a fresh runner, removes them again.
# Answers the runner and the texts it logged.
def run_tests_of source
  before = Object.methods
  $zoq.ffi_mrb.eval source
  added = Object.methods - before
  $lib_seen = []
  runner = ZOQ::Tests.new
  runner.start
  logged = $lib_seen.map { |obj, _| obj.to_s }
  [runner, logged]
ensure
  $lib_seen = nil
  (added || []).each { |m| Object.send(:remove_method, m) }
end

def counts runner
  [runner.passed, runner.inconclusive, runner.failed, runner.invalid].map { |list| list.map { |h| h[:m] } }
end

test "tests sort into passed, inconclusive, failed and invalid; the run passes only when tests ran and none failed" do
  [
    ["def test_a1 args, assert; assert.ok!; end\ndef test_a2 args, assert; assert.true! false, 'no'; end\n" \
     "def test_a3 args, assert; end\ndef test_a4 args; end\n",
     [[:test_a1], [:test_a3], [:test_a2], [:test_a4]], false],
    ["def test_b1 args, assert; assert.equal! 2, 2; end\ndef test_b2 args, assert; assert.nil! nil; end\n",
     [[:test_b1, :test_b2], [], [], []], true],
    ["", [[], [], [], []], false],
    ["def test_c1 args, assert; end\n", [[], [:test_c1], [], []], true],
    ["def test_d1; end\ndef test_d2 a, b, c; end\n", [[], [], [], [:test_d1, :test_d2]], false],
    # Optional and rest parameters take (args, assert); an ArgumentError inside a test fails it.
    ["def test_e1 args, assert, extra = 1; assert.ok!; end\ndef test_e2 *all; all[1].ok!; end\n" \
     "def test_e3 args, assert; ->(x) { x }.call; end\n",
     [[:test_e1, :test_e2], [], [:test_e3], []], false],
    ["def focus_test_f1 args, assert; assert.ok!; end\ndef test_f2 args, assert; raise 'ran'; end\n",
     [[:focus_test_f1], [], [], []], true],
    ["def test_g1 args, assert; assert.true! args.respond_to?(:state) && args.state.x.nil?; args.state.x = 1; end\n" \
     "def test_g2 args, assert; assert.nil! args.state.x; end\n",
     [[:test_g1, :test_g2], [], [], []], true]
  ].each do |source, expected, passes|
    runner, logged = run_tests_of source
    assert_equal expected, counts(runner).map { |names| names.sort }, source
    assert_equal passes, runner.all_passed?, source
    assert_equal "* TEST: zoq.test.start has been invoked.", logged[0]
    assert logged.any? { |t| t.start_with?("No tests were found.") }, source if source.empty?
    assert logged.include?("** Summary"), source unless source.empty?
  end
end

test "the summary: counts, names, failure texts without their error tag, the signature advice" do
  source = "def test_h1 args, assert; assert.equal! nil, 1, 'note'; end\ndef test_h2 args; end\n" \
           "def test_h3 args, assert; raise \"* ERROR: broken\\nsecond line\"; end\n"
  runner, logged = run_tests_of source
  assert_includes logged.join("\n"), "0 test(s) passed.", "0 test(s) inconclusive.", "*** Invalid\n1 test(s) invalid.\n**** :test_h2",
                  "2 test(s) failed.", "**** Test name: :test_h1\nactual:\n(nil)\n\ndid not equal\n\nexpected:\n1.\nnote",
                  "**** Test name: :test_h3\nbroken\nsecond line",
                  "I found a test method called :test_h2. But it needs to have\nthe following method signature:\n#+begin_src\ndef test_h2 args, assert"
  refute logged.join("\n").include?("TEST METHOD INVALID:")
  # A second run reports its own tests only.
  $zoq.ffi_mrb.eval "def test_i1 args, assert; assert.ok!; end\n"
  runner.start
  assert_equal [[:test_i1], [], [], []], counts(runner)
  Object.send(:remove_method, :test_i1)
end

test "assertions mark that they ran and raise their texts" do
  [
    # the assertion, the text it raises (nil: it passes and answers nil)
    [-> (a) { a.ok! }, nil],
    [-> (a) { a.true! 0 }, nil],
    [-> (a) { a.true! "" }, nil],
    [-> (a) { a.false! nil }, nil],
    [-> (a) { a.false! false }, nil],
    [-> (a) { a.equal! [1], [1] }, nil],
    [-> (a) { a.nil! nil }, nil],
    [-> (a) { a.true! nil, "m" }, " was not truthy.\nm"],
    [-> (a) { a.false! 3 }, "3 was not falsey.\n"],
    [-> (a) { a.equal! 1, 2 }, "actual:\n1\n\ndid not equal\n\nexpected:\n2.\n"],
    [-> (a) { a.equal! nil, false }, "actual:\n(nil)\n\ndid not equal\n\nexpected:\nfalse.\n"],
    [-> (a) { a.nil! :x, "m" }, "x was supposed to be nil, but wasn't.\nm"]
  ].each_with_index do |(call, text), i|
    a = ZOQ::Assert.new
    if text
      error = assert_raises(RuntimeError) { call.call a }
      assert_equal [text, true], [error.message, a.assertion_performed], "row #{i}"
    else
      assert_equal [nil, true], [call.call(a), a.assertion_performed], "row #{i}"
    end
  end
end

test "exit inside a test fails it, ends the run after the summary and asks the runtime to quit" do
  before = Object.methods
  $zoq.ffi_mrb.eval "def test_j1 args, assert; exit 0; $after_exit = true; end\n"
  added = Object.methods - before
  $lib_seen = []
  runner = ZOQ::Tests.new
  error = assert_raises(ZOQ::ExitRequest, "exit 0") { runner.start }
  logged = $lib_seen.map { |obj, _| obj.to_s }
  assert_equal [[], [], [:test_j1], []], counts(runner)
  assert_equal [0, nil, true, false], [error.status, $after_exit, $zoq.quit_requested?, runner.running?]
  assert_includes logged.join("\n"), "** Summary", "**** Test name: :test_j1\nexit 0 was called in this test"
ensure
  $lib_seen = nil
  (added || []).each { |m| Object.send(:remove_method, m) }
end
