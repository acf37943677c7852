# Loops timed by arith_bench, each compiled by plain mrbc and by the runtime's compile step.
def bench_bare(n)
  i = 0
  s = 0
  while i < n
    s = i + 7
    i += 1
  end
  s
end

def bench_div(n)
  i = 0
  s = 0
  while i < n
    s = i / 7
    i += 1
  end
  s
end

def bench_float_div(n)
  i = 0
  s = 0
  f = 0.5
  while i < n
    s = f / 7
    i += 1
  end
  s
end

# mrbc folds 1 / 60 into 0; the compile step keeps the division (the answer is 0.0166...).
def bench_literal_div(n)
  i = 0
  s = 0
  while i < n
    s = 1 / 60
    i += 1
  end
  s
end

def twice_plus_one(x)
  x * 2 + 1
end

def bench_calls(n)
  i = 0
  s = 0
  while i < n
    s += twice_plus_one(i)
    i += 1
  end
  s
end

def bench_blocks(n)
  s = 0
  n.times { |i| s += i & 3 }
  s
end
