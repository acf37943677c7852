# Strings wrap and indent; Symbols answer a few String methods; classes have a text form.

module LibMixin; end

class LibBase
  include LibMixin
end

class LibDerived < LibBase; end

class LibBare; end

test "wrapping fills lines greedily and keeps a long word whole" do
  assert_rows [["aaa bbb\nccc", "aaa bbb ccc".wrap(7)], [["aaa bbb\n", "ccc\n"], "aaa bbb ccc".wrapped_lines(7)],
               [["abcdefghijkl\n"], "abcdefghijkl".wrapped_lines(5)],
               [["ab\n", "abcdefghijkl\n", "cd\n"], "ab abcdefghijkl cd".wrapped_lines(5)],
               [["short\n"], "short   ".wrapped_lines(10)], [["one two\n", "\n", "three\n"], "one two\n\nthree".wrapped_lines(20)],
               [["a b\n", "c d\n", "e\n"], String.wrapped_lines("a b c d e", 3)], [[], "".wrapped_lines(5)],
               [["x\n"], "x".wrapped_lines(0)]]
end

test "a line of thousands of words wraps in a loop, line for line as a greedy fill" do
  words = []
  4000.times { |i| words << "w#{i % 97}" }
  text = words.join(" ")
  lines = text.wrapped_lines(40)
  assert lines.all? { |line| line.end_with?("\n") && line.length <= 41 }
  assert_equal words, lines.map { |line| line.strip.split(" ") }.flatten
  # Greedy: the first word of each line would not have fitted on the line before.
  lines.each_cons(2) do |a, b|
    assert (a.chomp + " " + b.split(" ")[0]).length > 40
  end
  assert_equal lines.join.rstrip, text.wrap(40)
end

test "indenting leaves the first line alone; bangs, quotes, trims, and Symbols answering through their text" do
  s = "  b "
  s.trim!
  assert_rows [["a\n  b", "a\nb".indent_lines(2)], ["a\n--b\n--c\n", "a\nb\nc\n".indent_lines(2, "-")],
               ["solo", "solo".indent_lines(4)], [true, "a\nb".multiline?], [false, "ab".multiline?],
               [true, "save!".end_with_bang?], [false, "save".end_with_bang?], [false, "".end_with_bang?],
               ["save", "save!".without_ending_bang], ["save", "save".without_ending_bang], ["\"hi\"", "hi".quote],
               ["a", "  a  ".trim], ["a  ", "  a  ".ltrim], ["  a", "  a  ".rtrim], ["b", s],
               [true, :player_one.include?("one")], [true, :player_one.start_with?("play")],
               ["player_two", :player_one.gsub("one", "two")], [true, :jump!.end_with_bang?], [:jump, :jump!.without_ending_bang]]
end

test "the class text form names the superclass chain and the included modules" do
  assert_equal ["(class Integer)", "(class Object)", "(class LibBare)"], [Integer.to_s, Object.to_s, LibBare.to_s]
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
