# The nil-tolerant numeric operators against the core ones. Each figure is the time per
# operation with the empty loop's time taken off; ten operations run per loop turn. The
# core operators are reached through the names they are kept under, so both sides pay the
# same call. Run by bench/numeric_ops.sh.

ROUNDS = 200_000 # ten operations each

def bench_report label, seconds, base
  per_op = (seconds - base) * 1e9 / (ROUNDS * 10)
  Kernel.print format("%-58s %8.1f ns/op\n", label, per_op)
end

def bench_seconds
  start = Time.now.to_f
  yield
  Time.now.to_f - start
end

# Name, operands, operation and label of each case; the empty loop is taken off the rest.
BENCH_CASES = [
  [:bench_base, "a = 7; b = 3", "a",
   "empty loop (subtracted from the rest)"],
  [:bench_int_add_inline, "a = 7; b = 3", "a + b",
   "7 + 3 (Integers: the VM adds inline)"],
  [:bench_int_add_nil, "a = 7; b = nil", "a + b",
   "7 + nil (nil-tolerant Integer#+)"],
  [:bench_int_add_send, "a = 7; b = 3", "a.send(:+, b)",
   "7.send(:+, 3) (nil-tolerant Integer#+)"],
  [:bench_int_add_core, "a = 7; b = 3", "a.send(:__original_add__, b)",
   "7.send(:__original_add__, 3) (core +)"],
  [:bench_int_add_method, "a = 7; b = 3", "a.add(b)",
   "7.add(3) (a Ruby method around inline +)"],
  [:bench_float_mul_inline, "a = 2.5; b = 1.5", "a * b",
   "2.5 * 1.5 (Floats: inline)"],
  [:bench_float_mul_send, "a = 2.5; b = 1.5", "a.send(:*, b)",
   "2.5.send(:*, 1.5) (nil-tolerant Float#*)"],
  [:bench_float_mul_core, "a = 2.5; b = 1.5", "a.send(:__original_mul__, b)",
   "2.5.send(:__original_mul__, 1.5) (core *)"],
  [:bench_int_lt_inline, "a = 7; b = 3", "a < b",
   "7 < 3 (inline)"],
  [:bench_int_lt_nil, "a = 7; b = nil", "a < b",
   "7 < nil (nil-tolerant Integer#<)"],
  [:bench_int_lt_send, "a = 7; b = 3", "a.send(:<, b)",
   "7.send(:<, 3) (nil-tolerant Integer#<)"],
  [:bench_int_lt_core, "a = 7; b = 3", "a.send(:lt, b)",
   "7.send(:lt, 3) (core <)"],
  [:bench_int_div, "a = 7; b = 2", "a / b",
   "7 / 2 (Integers: the VM divides inline)"],
  [:bench_int_div_core, "a = 7; b = 2", "a.__original_div__(b)",
   "7.__original_div__(2) (core / called by name)"],
  [:bench_int_div_nil, "a = 7; b = nil", "a / b",
   "7 / nil (nil-tolerant Integer#/)"],
  [:bench_int_div_send, "a = 7; b = 2", "a.send(:/, b)",
   "7.send(:/, 2) (nil-tolerant Integer#/)"],
  [:bench_int_div_send_core, "a = 7; b = 2", "a.send(:__original_div__, b)",
   "7.send(:__original_div__, 2) (core /)"],
  [:bench_float_div, "a = 7.5; b = 2.5", "a / b",
   "7.5 / 2.5 (Floats: inline)"],
  [:bench_float_div_core, "a = 7.5; b = 2.5", "a.__original_div__(b)",
   "7.5.__original_div__(2.5) (core / called by name)"],
  [:bench_int_eq_nil, "a = 7; b = nil", "a == b",
   "7 == nil (Integer#== with the entity check)"],
  [:bench_int_eq_core, "a = 7; b = nil", "a.original_eq_eq(b)",
   "7.original_eq_eq(nil) (core ==)"],
  [:bench_nil_add, "a = nil; b = 3", "a + b",
   "nil + 3 (NilClassFalseClass#+)"]
].freeze

# Each case is a method of its own with the operation written out ten times a loop turn, as
# a game would write it.
BENCH_CASES.each do |name, operands, operation, _|
  FFI::MRB.new.eval "def #{name}\n  #{operands}\n  r = nil\n  i = 0\n  while i < ROUNDS\n" +
                    "    r = #{operation}\n" * 10 + "    i += 1\n  end\n  r\nend\n"
end

test "nil-tolerant numeric operators" do
  Kernel.print "best of 5 runs of #{ROUNDS * 10} operations\n"
  best = {}
  5.times do
    BENCH_CASES.each do |method_name, _|
      seconds = bench_seconds { __send__(method_name) }
      best[method_name] = seconds if !best[method_name] || seconds < best[method_name]
    end
  end
  base = best[:bench_base]
  BENCH_CASES.each do |method_name, _, _, label|
    next if method_name == :bench_base
    bench_report label, best[method_name], base
  end
  Kernel.print format("%-58s %8.1f ns/turn\n", "empty loop turn", base * 1e9 / ROUNDS)
end
