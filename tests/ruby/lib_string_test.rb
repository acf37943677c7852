# Strings wrap and indent; Symbols answer a few String methods; classes have a text form.

module LibMixin; end

class LibBase
  include LibMixin
end

class LibDerived < LibBase; end

class LibBare; end

test "wrapping fills lines greedily and keeps a long word whole" do
  assert_equal "aaa bbb\nccc", "aaa bbb ccc".wrap(7)
  assert_equal ["aaa bbb\n", "ccc\n"], "aaa bbb ccc".wrapped_lines(7)
  assert_equal ["abcdefghijkl\n"], "abcdefghijkl".wrapped_lines(5)
  assert_equal ["ab\n", "abcdefghijkl\n", "cd\n"], "ab abcdefghijkl cd".wrapped_lines(5)
  assert_equal ["short\n"], "short   ".wrapped_lines(10)
  assert_equal ["one two\n", "\n", "three\n"], "one two\n\nthree".wrapped_lines(20)
  assert_equal ["a b\n", "c d\n", "e\n"], String.wrapped_lines("a b c d e", 3)
  assert_equal [], "".wrapped_lines(5)
  assert_equal ["x\n"], "x".wrapped_lines(0)
end

test "a line of thousands of words wraps in a loop, line for line as a greedy fill" do
  words = []
  4000.times { |i| words << "w#{i % 97}" }
  text = words.join(" ")
  lines = text.wrapped_lines(40)
  assert lines.all? { |line| line.end_with?("\n") }
  assert lines.all? { |line| line.length <= 41 }
  assert_equal words, lines.map { |line| line.strip.split(" ") }.flatten
  # Greedy: the first word of each line would not have fitted on the line before.
  lines.each_cons(2) do |a, b|
    assert (a.chomp + " " + b.split(" ")[0]).length > 40
  end
  assert_equal lines.join.rstrip, text.wrap(40)
end

test "indenting leaves the first line alone" do
  assert_equal "a\n  b", "a\nb".indent_lines(2)
  assert_equal "a\n--b\n--c\n", "a\nb\nc\n".indent_lines(2, "-")
  assert_equal "solo", "solo".indent_lines(4)
  assert "a\nb".multiline?
  refute "ab".multiline?
end

test "bangs, quotes and trims" do
  assert "save!".end_with_bang?
  refute "save".end_with_bang?
  refute "".end_with_bang?
  assert_equal "save", "save!".without_ending_bang
  assert_equal "save", "save".without_ending_bang
  assert_equal "\"hi\"", "hi".quote
  assert_equal "a", "  a  ".trim
  assert_equal "a  ", "  a  ".ltrim
  assert_equal "  a", "  a  ".rtrim
  s = "  b "
  s.trim!
  assert_equal "b", s
  assert_equal "t", "t".serialize
  assert "t".is_a?(ValueType)
end

test "symbols answer through their text" do
  assert :player_one.include?("one")
  assert :player_one.start_with?("play")
  assert_equal "player_two", :player_one.gsub("one", "two")
  assert :jump!.end_with_bang?
  assert_equal :jump, :jump!.without_ending_bang
  assert :jump.is_a?(ValueType)
end

test "the class text form names the superclass chain and the included modules" do
  assert_equal "(class Integer)", Integer.to_s
  assert_equal "(class Object)", Object.to_s
  assert_equal "(class Symbol)", Symbol.to_s
  assert_equal "(class Numeric)", Numeric.to_s
  assert_equal "(class LibBare)", LibBare.to_s
  assert_equal "(class LibBase (included_modules [LibMixin]) )", LibBase.to_s
  assert_equal "(class LibDerived (superclass (class LibBase (included_modules [LibMixin]) )) (included_modules [LibMixin]) ) ", LibDerived.to_s
  assert_equal LibDerived.to_s, LibDerived.serialize
  anonymous = Class.new
  assert anonymous.to_s.start_with?("(class #<Class:")
  assert_equal "LibBare", "#{LibBare}"
end

test "alias_method_once aliases unless the output collections already have the name" do
  klass = Class.new { def go; :went; end }
  klass.alias_method_once new_method_name: :lib_go_again, target_method_name: :go
  assert_equal :went, klass.new.lib_go_again
  assert_equal({ new_method_name: :original_method, target_method_name: :method }, klass.defaults_alias_method_once)
end
