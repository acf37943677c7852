# Undefined methods: documentation look-ups, the top-level advice, the better error with
# its did-you-mean list, and error paths that must not recurse.

class LibGhost; end

class LibBadInspect
  def inspect
    helper_that_does_not_exist
  end
end

class LibBadEverything
  def inspect
    first_missing_helper
  end

  def to_s
    second_missing_helper
  end
end

class LibCatchAll
  attr_reader :calls

  def initialize
    @calls = []
  end

  def method_missing name, *args, &block
    @calls << [name, args]
    :caught
  end
end

class LibConsoleStub
  attr_reader :commands

  def initialize
    @commands = []
  end

  def set_command command, reason = nil
    @commands << [command, reason]
  end
end

def without_runtime
  saved = $zoq
  $zoq = nil
  yield
ensure
  $zoq = saved
end

# Stand-ins on the runtime, switched by globals. They are defined once and never removed:
# this interpreter's remove_method leaves a stale method cache entry behind.
class << $zoq
  def console
    return $lib_console if $lib_console
    ZOQ::Runtime.method_defined?(:console) ? super : nil
  end
end

def with_console
  console = $lib_console = LibConsoleStub.new
  yield console
ensure
  $lib_console = nil
end

def lib_tick_without_args
  args.state.x
end

def lib_tick_with_typo
  outputz
end

test "a call of args inside a tick without the parameter asks whether it was forgotten" do
  with_console do |console|
    e = assert_raises(RuntimeError) { lib_tick_without_args }
    assert_equal "* ERROR:\nUndefined method args for main. Did you forget to pass in args as a parameter?\n\n", e.message
    assert_equal [["$zoq.grep_source [ \".args\", '' ]", nil]], console.commands
    e = assert_raises(RuntimeError) { lib_tick_with_typo }
    assert_equal "* ERROR:\nUndefined method outputz for main.\n\n", e.message
    assert_equal "$zoq.grep_source [ \".outputz\", '' ]", console.commands[1][0]
  end
  # Without a console the error is the same.
  e = assert_raises(RuntimeError) { lib_tick_without_args }
  assert e.message.include?("Did you forget to pass in args as a parameter?")
end

test "the better error lists methods that begin like the missing one" do
  list = []
  e = assert_raises(RuntimeError) { list.eachh 1 }
  assert e.message.start_with?("* ERROR:\nUnhandled method_missing with name :eachh, args [1] was invoked on ")
  expected = [].methods.map { |m| m.to_s }.select { |m| m.start_with?("each") }.sort
  assert expected.length > 2
  assert_includes e.message, "was invoked on #{list.better_class_hierarchy_information}.\n", "[Array, ",
                  "self#inspect:\n[]\nThe method named :eachh doesn't exist on ",
                  "\n\nHere's a list of methods that kind of look like :eachh.\n" + expected.map { |m| ":#{m}" }.join(", ") + "\n\n"
  refute e.message.include?("ArrayDeprecated")
end

test "parts of a name split at underscores add their own suggestions, without repeats" do
  found = $zoq.grep_did_you_mean_recommendations([], :each_slicez)
  assert_equal found.uniq, found
  assert found.include?("each_slice")
  assert found.include?("each")
  assert_equal [], $zoq.grep_did_you_mean_recommendations([], :abc)
  assert_equal "", $zoq.grep_did_you_mean([], :zzz)
end

test "a name of three letters or fewer gives an empty suggestion line" do
  ghost = LibGhost.new
  e = assert_raises(RuntimeError) { ghost.abc }
  hierarchy = ghost.better_class_hierarchy_information
  assert_equal LibGhost, hierarchy[0]
  # Numbers get the better error and suggestions too.
  number = assert_raises(RuntimeError) { 5.secondz }
  assert_includes number.message, "Unhandled method_missing with name :secondz, args [] was invoked on [Integer, ", ":seconds"
  assert e.message.end_with?("The method named :abc doesn't exist on #{hierarchy}.\n\n\n\n")
  assert e.message.include?("was invoked on #{hierarchy}.\nself#inspect:\n#<LibGhost")
end

test "without a runtime the error has no suggestions and does not recurse" do
  without_runtime do
    list = []
    e = assert_raises(RuntimeError) { list.eachh }
    assert e.message.end_with?("The method named :eachh doesn't exist on #{list.better_class_hierarchy_information}.\n\n\n\n")
    e = assert_raises(RuntimeError) { nil.no_such_thing }
    assert e.message.include?("Unhandled method_missing with name :no_such_thing")
  end
end

test "an inspect that fails gives the fallback text instead of recursing" do
  e = assert_raises(RuntimeError) { LibBadInspect.new.bar 1 }
  assert e.message.start_with?("* ERROR:\n** method_missing: bar\n** instance:       #<LibBadInspect")
  assert_includes e.message, "\n** on class:       (class LibBadInspect)\n** with modules:   [Kernel]\n",
                  "\n** given args:     [1]\n** exception:      * ERROR:\nUnhandled method_missing with name :helper_that_does_not_exist"
  e = assert_raises(StandardError) { LibBadEverything.new.bar 1 }
  assert !e.is_a?(SystemStackError) && e.message.include?("bar")
end

test "multiplication by an Enumerable points to a missing comma" do
  e = assert_raises(RuntimeError) { LibGhost.new * [1, 2] }
  assert e.message.start_with?("* ERROR:\nYou attempted to do multiplication on (class LibGhost). This construct\ndoesn't support multiplication.")
  assert e.message.include?("ment to send \"spat args\", but are missing a comma.") && e.message.end_with?("(class LibGhost).\n\n")
  e = assert_raises(RuntimeError) { LibGhost.new * 2 }
  assert e.message.include?("Unhandled method_missing with name :*")
end

test "calls that may end in method_missing reach it with their arguments intact" do
  target = LibCatchAll.new
  assert_equal [:caught] * 3, [target.send(:anything, 1, [2], k: 3), target.__send__(:anything=, 4), { rgb: target }.r]
  assert_equal [[:anything, [1, [2], { k: 3 }]], [:anything=, [4]], [:r, []]], target.calls
end

test "documentation names are normalised before they are looked up" do
  assert_rows [[:docs_search, 1.__normalized_docs_method__(:doc_search)], [:docs, 1.__normalized_docs_method__(:doc)],
               [:docs_frame_index, 1.__normalized_docs_method__(:doc_frame_index)], [true, 1.__looks_like_docs__?(:doc)],
               [true, 1.__looks_like_docs__?(:doc_frame_index)], [false, 1.__looks_like_docs__?(:doc_nothing_here)],
               [5.docs, 5.doc], [Kernel.docs_tick_count, Kernel.doc_tick_count]]
end
