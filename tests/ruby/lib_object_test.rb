# What every object has: class macros, constructors that keep their failures' class,
# defaulting converters, text forms, help and documentation.

class LibAttrs
  attr_accessor :a, :b
  attr :a
  attr "c"
end

class LibNoAttrs; end

class LibKeywords
  attr_reader :got

  def initialize a, b = 2, *rest, c:, d: 4, **more, &block
    @got = [a, b, rest, c, d, more, block ? block.call : nil]
  end
end

class LibHashArg
  attr_reader :got

  def initialize h
    @got = h
  end
end

class LibOwnError < StandardError
  attr_reader :code

  def initialize code, detail
    @code = code
    super("failed with #{code} (#{detail})")
  end
end

class LibRaisesOwnError
  def initialize
    raise LibOwnError.new(7, "deep")
  end
end

class LibRaisesArgument
  def initialize
    Integer("x")
  end
end

class LibOuter
  def initialize
    LibRaisesOwnError.new
  end
end

class LibEndless
  def initialize depth
    LibEndless.new(depth + 1)
  end
end

module LibPersonDocs
  def docs_class
    "* DOCS: LibPerson\nSays hello."
  end

  def docs_say_hello
    "* DOCS: LibPerson#say_hello"
  end
end

class LibPerson
  extend Docs
  extend LibPersonDocs
end

class LibPlain; end

test "attributes keep the names given to attr_accessor and attr, once each, in order" do
  assert_equal [[:a, :b, :c], []], [LibAttrs.attributes, LibNoAttrs.attributes]
  o = LibAttrs.new
  o.c = 5
  assert_equal 5, o.c
end

test "new passes positional, optional, keyword and block arguments through unchanged" do
  o = LibKeywords.new(1, c: 3) { :blk }
  assert_equal [1, 2, [], 3, 4, {}, :blk], o.got
  o = LibKeywords.new(1, 5, 6, 7, c: 8, d: 9, e: 10)
  assert_equal [1, 5, [6, 7], 8, 9, { e: 10 }, nil], o.got
  assert_equal [{ a: 1 }, { a: 1 }, [1, 2, 3], 0],
               [LibHashArg.new({ a: 1 }).got, LibHashArg.new(a: 1).got, Array.new(3) { |i| i + 1 }, Hash.new(0)[:missing]]
  assert_raises(ArgumentError) { LibKeywords.new(1) }
end

test "a failing new raises the same class, also for exception classes with their own initialize" do
  e = assert_raises(LibOwnError, "failed with 7 (deep)\n* ERROR: Invocation of ") { LibRaisesOwnError.new }
  assert_equal [LibOwnError, 7], [e.class, e.code]
  assert e.message.include?("(class LibRaisesOwnError).new failed.\n** BACKTRACE:\n") && e.message.end_with?("\n")
  e = assert_raises(ArgumentError) { LibRaisesArgument.new }
  assert e.message.include?("Invocation of (class LibRaisesArgument).new failed.")
  # Nested constructors each add their line.
  e = assert_raises(LibOwnError) { LibOuter.new }
  assert e.message.include?("(class LibRaisesOwnError).new failed.") && e.message.include?("(class LibOuter).new failed.")
  # A constructor that recurses without end overflows with a short message.
  e = assert_raises(SystemStackError) { LibEndless.new(0) }
  refute e.message.include?("Invocation of")
  assert e.message.length < 200
end

test "or, and and the defaulting converters" do
  assert_rows [[5, 5.or(3)], [3, nil.or(3)], [3, false.or(3)], [nil, nil.and(3)], [3, 4.and(3)],
               [7, "abc".numeric_or_default(7)], [4, 4.numeric_or_default(7)], [0, nil.numeric_or_default],
               [2, 2.5.i_or_default], [2.0, 2.f_or_default], [9, :x.f_or_default(9)], ["", nil.s_or_default],
               ["12", 12.s_or_default], ["z", false.s_or_default("z")]]
end

test "let runs its block with the receiver and explains itself without one" do
  assert_equal 6, 3.let { |v| v * 2 }
  e = assert_raises(StandardError, "* ERROR: Object#let needs a block. Here's an example of how to use let:\nThe following code:\n#+begin_src\n") { 3.let }
  assert e.message.end_with?("  end\n#+end_src\n")
  assert_equal nil, LibAttrs.new.comment { raise "never" }
end

test "fast_rand answers one of the hundredths from 0 to 1" do
  seen = {}
  300.times do
    v = 5.fast_rand
    assert v.is_a?(Float) && v >= 0.0 && v <= 1.0
    assert_equal v, (v * 100).round / 100.0
    seen[v] = true
  end
  assert seen.length > 50
  assert nil.fast_rand < 1
end

test "purge_class removes a top-level constant given as a Symbol or String" do
  Object.const_set(:LibPurgeMe, Class.new)
  5.purge_class "LibPurgeMe"
  refute Object.const_defined?(:LibPurgeMe)
  assert_equal nil, 5.purge_class(:LibPurgeMe)
  assert_raises(StandardError, "* ERROR:\nPurge class requires a symbol.\n\n") { 5.purge_class 7 }
end

test "inspect, to_s and serialize work for anonymous classes and log their advice once" do
  klass = Class.new
  o = klass.new
  assert o.inspect.start_with?("#<") && o.to_s.start_with?("#<")
  assert_equal nil, o.serialize
  assert ZOQ::Log.logged_once?(klass.to_s)
  k2 = Class.new { attr_accessor :hp }
  assert_equal nil, k2.new.serialize
  assert ZOQ::Log.logged_once?(k2.to_s)
end

test "the serialization help is logged once per class under its name, from inspect and serialize alike" do
  traced = Class.new { attr_accessor :hp, :mp }
  plain = Class.new
  traced.new.trace!
  begin
    before = $console.log.length
    [traced.new, traced.new, plain.new].each(&:inspect)
    traced.new.serialize
    added = $console.log[before..-1]
    assert_equal ["[Message ID: #{traced.to_s}]", "[Message ID: #{plain.to_s}]"], added.select { |l| l.start_with?("[Message ID:") }
    assert added.include?("      { hp: hp, mp: mp }"), added.inspect
    refute added.any? { |l| l.include?("__trace") }
  ensure
    ZOQ::Trace.untrace_classes!
  end
end

test "help lists the object's own methods and points a plain object to the console" do
  assert_equal "\nType $zoq.help into the console.\n", Object.new.help
  text = LibAttrs.new.help
  assert text.start_with?("\nCustomized help is not available for type [(class LibAttrs)]. But, here are a list of methods that are available to invoke:\n\n")
  assert text.include?("[:a, :a=, :b, :b=, :c, :c=]") && text.end_with?("you should contact Zintarel about fleshing this out a bit more.\n")
  assert_equal [:a, :a=, :b, :b=, :c, :c=], LibAttrs.new.autocomplete_methods
end

test "docs answers the class's documentation or explains how to add some" do
  assert LibPerson.new.docs.include?("** LibPerson.docs_say_hello")
  assert_equal ["* DOCS: LibPerson\nSays hello.", "* DOCS: LibPerson#say_hello"], [LibPerson.new.doc_class, LibPerson.new.doc_say_hello]
  text = LibPlain.new.docs
  assert text.start_with?("* DOCS ERROR: LibPlain does not have any documentation.\nTo add documentation:\n1. Create a file called CLASSNAME_docs.rb and define a module named ~LibPlainDocs~.\n2. Open up LibPlain, ~extend Docs~ and ~extend LibPlainDocs~.\n")
  assert text.end_with?("      puts \"hello\"\n    end\n  end\n#+end_src\n")
  assert_equal 33, text.count("\n")
  assert 5.doc_frame_index.include?("frame_index")
  assert_raises(StandardError, "Unable to find documentation named docs_missing on either the instance") { 5.__try_invoke_docs_method__(:doc_missing) }
end

test "the class list of errors leaves out the core and deprecated entries" do
  assert_equal [[NilClass], [Kernel]], [NIL.better_class_hierarchy_information, Kernel.better_class_hierarchy_information]
  list = LibAttrs.better_class_hierarchy_information
  assert_equal LibAttrs, list[0]
  refute list.include?(Object) || list.include?(Kernel) || list.include?(BasicObject)
  numbers = 5.better_class_hierarchy_information
  assert_equal Integer, numbers[0]
  assert numbers.include?(Comparable) && !numbers.include?(NumericDeprecated)
  refute [].better_class_hierarchy_information.include?(ArrayDeprecated)
end

test "the exception report: one line, with class, inner exception and traced methods" do
  e = begin; raise "boom"; rescue => x; x; end
  text = $zoq.__pretty_print_exception__(e)
  assert text.start_with?("* EXCEPTION: boom\n** Backtrace:\n*** ")
  assert LibPlain.new.__pretty_print_exception__(e).start_with?("* EXCEPTION:\nboom\n(class LibPlain)\n** Backtrace:")
  inner = RuntimeError.new("inner")
  text = LibPlain.new.__pretty_print_exception__(e, inner)
  assert_equal "* EXCEPTION:\nboom\n* INNER EXCEPTION: inner\n\n(class LibPlain)", text
  begin
    $last_method_traced = "__trace_original_update__"
    $trace_history = [["update", "args"], ["move", "x, y"]]
    text = $zoq.__pretty_print_exception__(e)
    assert text.start_with?("* ERROR:\n* EXCEPTION: boom\n")
    assert text.end_with?("\n** Method: update\n** Call Stack:\n*** update(args)\n*** move(x, y)\n")
  ensure
    $last_method_traced = nil
    $trace_history = nil
  end
  assert_equal "** Backtrace:", Exception.new("x").__backtrace_to_org__
end

test "raise_immediately and raise_with_caller keep the exception's class" do
  e = assert_raises(ArgumentError, "** value: 5\n** type: (class Integer)\n** method: :go\n** args: [1, 2]\n** docs: $zoq.docs.go\n") do
    5.raise_immediately ArgumentError.new("bad  "), :go, 1, 2
  end
  assert_equal ArgumentError, e.class
  assert_raises(RuntimeError, "plain") { 5.raise_with_caller "plain" }
  assert_raises(TypeError, "typed") { 5.raise_with_caller TypeError.new("typed"), RuntimeError.new("logged") }
end

test "the contract help names implemented and missing methods" do
  result = [1].__help_contract_implementation([:each, :nope])
  assert_equal [[:each], [:nope], false, nil],
               result.values_at(:implemented_methods, :not_implemented_methods, :all_methods_implemented, :exception)
end

test "noise-free call stacks leave out the listed framework files" do
  assert_equal [true, false], ["zintar/object.rb:10", "app/main.rb:10"].map { |l| 1.__zoq_ruby_string_contains_source_file_path__?(l) }
  assert 1.__caller_without_noise__.none? { |line| line.include?("object.rb") }
end

test "object metadata is kept per object and a change is announced" do
  a = LibPlain.new
  b = LibPlain.new
  assert_equal [a, { hp: 1 }, nil], [ObjectMetadata.with_meta(a, { hp: 1 }), ObjectMetadata.meta(a), ObjectMetadata.meta(b)]
  assert_raises(StandardError, "* ERROR:\nNo metadata found for ") { ObjectMetadata.meta!(b) }
  before = on_disk("logs/log.txt")
  ObjectMetadata.with_meta(a, { hp: 1 })
  assert_equal before, on_disk("logs/log.txt")
  ObjectMetadata.with_meta(a, { hp: 2 })
  assert_equal({ hp: 2 }, ObjectMetadata.meta!(a))
  # Classes appear in their text form, in the warning and in the error alike.
  ObjectMetadata.with_meta(LibPlain, LibNoAttrs)
  ObjectMetadata.with_meta(LibPlain, LibPlain)
  added = on_disk("logs/log.txt")[before.length..-1]
  assert added.include?("WARNING:\nObject:\n#{a.to_s}\n\nCurrent Metadata:\n{:hp=>1}\n\nNew Metadata:\n{:hp=>2}\n\n" \
                        "The object (details above) already has metadata associated with it and will be over written.\n\n")
  assert added.include?("WARNING:\nObject:\n(class LibPlain)\n\nCurrent Metadata:\n(class LibNoAttrs)\n\nNew Metadata:\n(class LibPlain)\n\n")
  assert_raises(StandardError, "* ERROR:\nNo metadata found for (class LibNoAttrs) of type (class Class). Did the reference change?\n** BACKTRACE:\n") do
    ObjectMetadata.meta!(LibNoAttrs)
  end
end

test "class macros mix in the sprite and rect attributes" do
  klass = Class.new { attr_sprite }
  s = klass.new
  s.x, s.w, s.y1, s.h = 10, 5, 3, 4
  assert_equal [:sprite, 15, 7], [s.primitive_marker, s.right, s.top]
  plain = Class.new { attr_accessor :x, :y, :w, :h }.new
  assert plain.attr_rect && plain.is_a?(AttrRect)
  assert_equal nil, plain.attr_rect
  assert_raises(StandardError, "* ERROR: zoq_args has been deprecated for the better named class macro: attr_zoq.\n** BACKTRACE:\n") do
    Class.new { zoq_args }
  end
end

test "repl runs its block in a container that reaches args" do
  seen = nil
  5.repl { seen = args }
  assert_equal $zoq.args, seen
end

test "instance variables and constants keep every value while their tables grow and lose entries" do
  [3, 12, 13, 24, 100, 1_000].each do |count|
    o = Object.new
    m = Module.new
    count.times do |i|
      o.instance_variable_set("@v#{i}", i)
      m.const_set("C#{i}", i)
    end
    (0...count).select(&:even?).each do |i|
      o.remove_instance_variable("@v#{i}")
      m.send(:remove_const, "C#{i}")
    end
    (0...count).select(&:even?).each do |i|
      o.instance_variable_set("@w#{i}", -i)
      m.const_set("D#{i}", -i)
    end
    kept = (0...count).map { |i| i.odd? ? [o.instance_variable_get("@v#{i}"), m.const_get("C#{i}")] : [o.instance_variable_get("@w#{i}"), m.const_get("D#{i}")] }
    assert_equal (0...count).map { |i| i.odd? ? [i, i] : [-i, -i] }, kept, "#{count} entries"
    assert_equal [count, count], [o.instance_variables.size, m.constants.size], "#{count} entries"
    assert_equal [nil, false], [o.instance_variable_get("@v0"), m.const_defined?("C0")], "#{count} entries"
  end
end
