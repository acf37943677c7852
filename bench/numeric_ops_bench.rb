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

def bench_base
  a = 7; b = 3
  r = nil
  i = 0
  while i < ROUNDS
    r = a
    r = a
    r = a
    r = a
    r = a
    r = a
    r = a
    r = a
    r = a
    r = a
    i += 1
  end
  r
end

def bench_int_add_inline
  a = 7; b = 3
  r = nil
  i = 0
  while i < ROUNDS
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    i += 1
  end
  r
end

def bench_int_add_nil
  a = 7; b = nil
  r = nil
  i = 0
  while i < ROUNDS
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    i += 1
  end
  r
end

def bench_int_add_send
  a = 7; b = 3
  r = nil
  i = 0
  while i < ROUNDS
    r = a.send(:+, b)
    r = a.send(:+, b)
    r = a.send(:+, b)
    r = a.send(:+, b)
    r = a.send(:+, b)
    r = a.send(:+, b)
    r = a.send(:+, b)
    r = a.send(:+, b)
    r = a.send(:+, b)
    r = a.send(:+, b)
    i += 1
  end
  r
end

def bench_int_add_core
  a = 7; b = 3
  r = nil
  i = 0
  while i < ROUNDS
    r = a.send(:__original_add__, b)
    r = a.send(:__original_add__, b)
    r = a.send(:__original_add__, b)
    r = a.send(:__original_add__, b)
    r = a.send(:__original_add__, b)
    r = a.send(:__original_add__, b)
    r = a.send(:__original_add__, b)
    r = a.send(:__original_add__, b)
    r = a.send(:__original_add__, b)
    r = a.send(:__original_add__, b)
    i += 1
  end
  r
end

def bench_int_add_method
  a = 7; b = 3
  r = nil
  i = 0
  while i < ROUNDS
    r = a.add(b)
    r = a.add(b)
    r = a.add(b)
    r = a.add(b)
    r = a.add(b)
    r = a.add(b)
    r = a.add(b)
    r = a.add(b)
    r = a.add(b)
    r = a.add(b)
    i += 1
  end
  r
end

def bench_float_mul_inline
  a = 2.5; b = 1.5
  r = nil
  i = 0
  while i < ROUNDS
    r = a * b
    r = a * b
    r = a * b
    r = a * b
    r = a * b
    r = a * b
    r = a * b
    r = a * b
    r = a * b
    r = a * b
    i += 1
  end
  r
end

def bench_float_mul_send
  a = 2.5; b = 1.5
  r = nil
  i = 0
  while i < ROUNDS
    r = a.send(:*, b)
    r = a.send(:*, b)
    r = a.send(:*, b)
    r = a.send(:*, b)
    r = a.send(:*, b)
    r = a.send(:*, b)
    r = a.send(:*, b)
    r = a.send(:*, b)
    r = a.send(:*, b)
    r = a.send(:*, b)
    i += 1
  end
  r
end

def bench_float_mul_core
  a = 2.5; b = 1.5
  r = nil
  i = 0
  while i < ROUNDS
    r = a.send(:__original_mul__, b)
    r = a.send(:__original_mul__, b)
    r = a.send(:__original_mul__, b)
    r = a.send(:__original_mul__, b)
    r = a.send(:__original_mul__, b)
    r = a.send(:__original_mul__, b)
    r = a.send(:__original_mul__, b)
    r = a.send(:__original_mul__, b)
    r = a.send(:__original_mul__, b)
    r = a.send(:__original_mul__, b)
    i += 1
  end
  r
end

def bench_int_lt_inline
  a = 7; b = 3
  r = nil
  i = 0
  while i < ROUNDS
    r = a < b
    r = a < b
    r = a < b
    r = a < b
    r = a < b
    r = a < b
    r = a < b
    r = a < b
    r = a < b
    r = a < b
    i += 1
  end
  r
end

def bench_int_lt_nil
  a = 7; b = nil
  r = nil
  i = 0
  while i < ROUNDS
    r = a < b
    r = a < b
    r = a < b
    r = a < b
    r = a < b
    r = a < b
    r = a < b
    r = a < b
    r = a < b
    r = a < b
    i += 1
  end
  r
end

def bench_int_lt_send
  a = 7; b = 3
  r = nil
  i = 0
  while i < ROUNDS
    r = a.send(:<, b)
    r = a.send(:<, b)
    r = a.send(:<, b)
    r = a.send(:<, b)
    r = a.send(:<, b)
    r = a.send(:<, b)
    r = a.send(:<, b)
    r = a.send(:<, b)
    r = a.send(:<, b)
    r = a.send(:<, b)
    i += 1
  end
  r
end

def bench_int_lt_core
  a = 7; b = 3
  r = nil
  i = 0
  while i < ROUNDS
    r = a.send(:lt, b)
    r = a.send(:lt, b)
    r = a.send(:lt, b)
    r = a.send(:lt, b)
    r = a.send(:lt, b)
    r = a.send(:lt, b)
    r = a.send(:lt, b)
    r = a.send(:lt, b)
    r = a.send(:lt, b)
    r = a.send(:lt, b)
    i += 1
  end
  r
end

def bench_int_div
  a = 7; b = 2
  r = nil
  i = 0
  while i < ROUNDS
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    i += 1
  end
  r
end

def bench_int_div_core
  a = 7; b = 2
  r = nil
  i = 0
  while i < ROUNDS
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    i += 1
  end
  r
end

def bench_float_div
  a = 7.5; b = 2.5
  r = nil
  i = 0
  while i < ROUNDS
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    i += 1
  end
  r
end

def bench_float_div_core
  a = 7.5; b = 2.5
  r = nil
  i = 0
  while i < ROUNDS
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    r = a.__original_div__(b)
    i += 1
  end
  r
end

def bench_int_eq_nil
  a = 7; b = nil
  r = nil
  i = 0
  while i < ROUNDS
    r = a == b
    r = a == b
    r = a == b
    r = a == b
    r = a == b
    r = a == b
    r = a == b
    r = a == b
    r = a == b
    r = a == b
    i += 1
  end
  r
end

def bench_int_eq_core
  a = 7; b = nil
  r = nil
  i = 0
  while i < ROUNDS
    r = a.original_eq_eq(b)
    r = a.original_eq_eq(b)
    r = a.original_eq_eq(b)
    r = a.original_eq_eq(b)
    r = a.original_eq_eq(b)
    r = a.original_eq_eq(b)
    r = a.original_eq_eq(b)
    r = a.original_eq_eq(b)
    r = a.original_eq_eq(b)
    r = a.original_eq_eq(b)
    i += 1
  end
  r
end

def bench_nil_add
  a = nil; b = 3
  r = nil
  i = 0
  while i < ROUNDS
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    r = a + b
    i += 1
  end
  r
end

def bench_int_div_nil
  a = 7; b = nil
  r = nil
  i = 0
  while i < ROUNDS
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    r = a / b
    i += 1
  end
  r
end

def bench_int_div_send
  a = 7; b = 2
  r = nil
  i = 0
  while i < ROUNDS
    r = a.send(:/, b)
    r = a.send(:/, b)
    r = a.send(:/, b)
    r = a.send(:/, b)
    r = a.send(:/, b)
    r = a.send(:/, b)
    r = a.send(:/, b)
    r = a.send(:/, b)
    r = a.send(:/, b)
    r = a.send(:/, b)
    i += 1
  end
  r
end

def bench_int_div_send_core
  a = 7; b = 2
  r = nil
  i = 0
  while i < ROUNDS
    r = a.send(:__original_div__, b)
    r = a.send(:__original_div__, b)
    r = a.send(:__original_div__, b)
    r = a.send(:__original_div__, b)
    r = a.send(:__original_div__, b)
    r = a.send(:__original_div__, b)
    r = a.send(:__original_div__, b)
    r = a.send(:__original_div__, b)
    r = a.send(:__original_div__, b)
    r = a.send(:__original_div__, b)
    i += 1
  end
  r
end

test "nil-tolerant numeric operators" do
  Kernel.print "best of 5 runs of #{ROUNDS * 10} operations\n"
  cases = [    [:bench_base, "empty loop (subtracted from the rest)"],
    [:bench_int_add_inline, "7 + 3 (Integers: the VM adds inline)"],
    [:bench_int_add_nil, "7 + nil (nil-tolerant Integer#+)"],
    [:bench_int_add_send, "7.send(:+, 3) (nil-tolerant Integer#+)"],
    [:bench_int_add_core, "7.send(:__original_add__, 3) (core +)"],
    [:bench_int_add_method, "7.add(3) (a Ruby method around inline +)"],
    [:bench_float_mul_inline, "2.5 * 1.5 (Floats: inline)"],
    [:bench_float_mul_send, "2.5.send(:*, 1.5) (nil-tolerant Float#*)"],
    [:bench_float_mul_core, "2.5.send(:__original_mul__, 1.5) (core *)"],
    [:bench_int_lt_inline, "7 < 3 (inline)"],
    [:bench_int_lt_nil, "7 < nil (nil-tolerant Integer#<)"],
    [:bench_int_lt_send, "7.send(:<, 3) (nil-tolerant Integer#<)"],
    [:bench_int_lt_core, "7.send(:lt, 3) (core <)"],
    [:bench_int_div, "7 / 2 (rewritten /: numbers answered natively)"],
    [:bench_int_div_core, "7.__original_div__(2) (core / called by name)"],
    [:bench_int_div_nil, "7 / nil (nil-tolerant Integer#/)"],
    [:bench_int_div_send, "7.send(:/, 2) (nil-tolerant Integer#/)"],
    [:bench_int_div_send_core, "7.send(:__original_div__, 2) (core /)"],
    [:bench_float_div, "7.5 / 2.5 (rewritten /: numbers answered natively)"],
    [:bench_float_div_core, "7.5.__original_div__(2.5) (core / called by name)"],
    [:bench_int_eq_nil, "7 == nil (Integer#== with the entity check)"],
    [:bench_int_eq_core, "7.original_eq_eq(nil) (core ==)"],
    [:bench_nil_add, "nil + 3 (NilClassFalseClass#+)"]
  ]
  best = {}
  5.times do
    cases.each do |method_name, _|
      seconds = bench_seconds { __send__(method_name) }
      best[method_name] = seconds if !best[method_name] || seconds < best[method_name]
    end
  end
  base = best[:bench_base]
  cases.each do |method_name, label|
    next if method_name == :bench_base
    bench_report label, best[method_name], base
  end
  Kernel.print format("%-58s %8.1f ns/turn\n", "empty loop turn", base * 1e9 / ROUNDS)
end
