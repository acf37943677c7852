# Division as games see it: `/` between numbers is real division wherever the code came
# from, other receivers answer with their own `/`, and nothing else about numbers moves.

class Vec
  attr_reader :x, :y
  def initialize(x, y); @x = x; @y = y; end
  def /(d); Vec.new(@x * 10, @y * 10 + d); end
end

class Bare < BasicObject
  def /(d); [:bare, d]; end
end

class NoDivide < BasicObject
end

class Catcher
  def method_missing(name, *args); [name, args]; end
  def respond_to_missing?(*); true; end
end

class Box
  attr_accessor :size
  def initialize; @size = 9; @cells = [8, 6]; end
  def [](i); @cells[i]; end
  def []=(i, v); @cells[i] = v; end
  def halve_ivar; @size /= 2; end
end

test "Integer division answers a Float, and division by zero Infinity or NaN; constants are divided at run time" do
  a = 10
  b = 4
  assert_rows [[2.5, 5 / 2], [-3.5, -7 / 2], [3.5, 7.0 / 2], [3.5, 7 / 2.0], [2.0, 4 / 2], [Float::INFINITY, 1 / 0],
               [-Float::INFINITY, -1 / 0], [Float::INFINITY, 1.0 / 0], [-Float::INFINITY, 1 / -0.0], [2.0**60, 2**61 / 2],
               [0.1, 1 / 10], [2.5, a / b], [7.0, 7 / 2 * 2], [1.0, 1 / 8 * 8], [0.017, (1 / 60).round(3)],
               [[0.25, 0.75], [1, 3].map { |v| v / 4 }]]
  assert (0 / 0).nan? && (0.0 / 0).nan?
end

HALF_OF_SEVEN = 7 / 2

test "a constant set in a class body or at top level holds the real quotient" do
  assert_equal 3.5, HALF_OF_SEVEN
  klass = Class.new { const_set(:Q, 9 / 2) }
  assert_equal 4.5, klass::Q
end

test "/= divides every kind of target" do
  x = 7
  x /= 2
  box = Box.new
  box.size /= 2
  halved = Box.new.halve_ivar
  box[0] /= 16
  h = { n: 5 }
  h[:n] /= 2
  arr = [1, 3]
  arr[1] /= 2
  $arith_global = 3
  $arith_global /= 4
  counter = 5
  [2].each { |d| counter /= d }
  assert_equal [3.5, 4.5, 4.5, 0.5, 2.5, [1, 1.5], 0.75, 2.5], [x, box.size, halved, box[0], h[:n], arr, $arith_global, counter]
end

test "any other receiver answers with its own /" do
  v = Vec.new(1, 2) / 3
  w = Vec.new(1, 2)
  w /= 1
  assert_rows [[[10, 23], [v.x, v.y]], [21, w.y], [[:bare, 4], Bare.new / 4], [[:/, [2]], Catcher.new / 2],
               [Rational(10, 1), 5 / Rational(1, 2)], [10.0, 5.0 / Rational(1, 2)]]
end

test "receivers without / still raise" do
  # The framework's own method_missing answers for Objects; a BasicObject gets the core error.
  assert_raises(RuntimeError, "Unhandled method_missing with name :/, args [2] was invoked on [NilClass]") { nil / 2 }
  assert_raises(RuntimeError, "Unhandled method_missing with name :/, args [2] was invoked on [String") { "text" / 2 }
  assert_raises(RuntimeError, "with name :/, args [2] was invoked on [NilClass]") { x = nil; x /= 2 }
  assert_raises(NoMethodError, "/") { NoDivide.new / 2 }
  assert_raises(ArgumentError) { 5./() }
  assert_raises(ArgumentError) { 5.send(:/, 1, 2) }
end

test "send, method, inject and explicit calls give the operator's results" do
  assert_rows [[3.5, 7.send(:/, 2)], [3.5, 7.method(:/).call(2)], [3.5, 7./(2)], [3.5, 7.0.send(:/, 2)],
               [Float::INFINITY, 1.send(:/, 0)], [0.5, [1, 2].inject(:/)], [0.25, [1, 2, 2].reduce { |a, b| a / b }],
               [[2.5], [5].map(&2.method(:*)).map { |v| v / 4 }], [3.5, 7.send(*[:/, 2])],
               [3.5, Integer.instance_method(:/).bind(7).call(2)]]
end

test "integer-valued operations other than / are untouched" do
  # div floors as divmod does; the one quotient that overflows raises instead of trapping.
  assert_rows [[3, 7.div(2)], [[-4, -4, -4], [-7.div(2), -7.divmod(2)[0], -7.0.div(2)]], [1, 7 % 2], [[-4, 1], -7.divmod(2)],
               [3, (7 / 2).to_i], [3, (7 / 2).floor], [8, 2**3], [3, 7 >> 1]]
  assert_raises(RangeError) { (-9223372036854775807 - 1).div(-1) }
  assert_raises(ZeroDivisionError) { 1.div(0) }
end

test "string evaluation divides the same way" do
  seven = 7
  Box.class_eval("def quarter(n) = n / 4")
  Box.module_eval("def third(n) = n / 3")
  assert_rows [[3.5, eval("7 / 2")], [3.5, eval("seven / 2")], [3.5, Object.new.instance_eval("7 / 2")],
               [2.5, Box.new.instance_eval("@size = 5; @size / 2")], [0.25, Box.new.quarter(1)], [1.0, Box.new.third(3)],
               [3.5, eval("eval('7 / 2')")], [3.5, Kernel.eval("7 / 2")]]
  eval("seven /= 2")
  assert_equal 3.5, seven
  assert_raises(SyntaxError) { eval("7 / ") }
end

test "FFI::MRB#eval divides the same way" do
  FFI::MRB.new.eval("$arith_ffi = [7 / 2, -1 / 0]")
  assert_equal [3.5, -Float::INFINITY], $arith_ffi
end

def arith_deep(n, acc = n / 2)
  return acc if n <= 1
  arith_deep(n / 2, acc + n / 4)
end

test "control flow around divisions: loops, next, break, retry, ensure and defaults" do
  out = []
  i = 0
  while i < 10
    i += 1
    next if i / 2 == 1
    break if i / 2 > 3
    out << i / 2
  end
  assert_equal [0.5, 1.5, 2.0, 2.5, 3.0], out
  tries = 0
  seen = []
  begin
    tries += 1
    seen << tries / 2
    raise "again" if tries < 3
  rescue
    retry
  ensure
    seen << :done
  end
  assert_equal [0.5, 1.0, 1.5, :done], seen
  assert_equal 3.5, arith_deep(8, 0)
  assert_equal 3.5, arith_deep(4)
  fiber = Fiber.new { Fiber.yield(9 / 2); 1 / 4 }
  assert_equal [4.5, 0.25], [fiber.resume, fiber.resume]
end

test "backtraces name the file and line after a division" do
  line = __LINE__ + 2
  e = begin
    q = 9 / 2 / 3; NoDivide.new / q
  rescue NoMethodError => err
    err
  end
  assert e.backtrace[0].include?("arithmetic_test.rb:#{line}"), e.backtrace[0]
  line = __LINE__ + 2
  e = begin
    q = 9 / 2 / 3; raise "boom #{q}"
  rescue => err
    err
  end
  assert_equal "boom 1.5", e.message
  assert e.backtrace[0].include?("arithmetic_test.rb:#{line}"), e.backtrace[0]
end
