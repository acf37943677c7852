# Loops run by an interpreter binary (`mruby arith_cases.rb [n]`): prints nanoseconds per
# iteration, best of 7, so interpreters can be compared on the same script.
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

# An interpreter with floor division folds this into 0 at compile time.
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

def bench_float_loop(n)
  i = 0
  f = 0.0
  while i < n
    f = f * 0.5 + 1.25
    i += 1
  end
  f
end

# A constant named in a class nested in a module of 62 constants is looked for in the
# module's own table first, and missed there (as the framework's classes name Hash).
module Crowded
  62.times { |i| const_set("C#{i}", i) }
  class Inner
    def self.count(n)
      i = 0
      s = 0
      while i < n
        s += 1 if Hash === i
        i += 1
      end
      s
    end
  end
end

def bench_nested_const(n)
  Crowded::Inner.count(n)
end

n = (ARGV[0] || 10_000_000).to_i
best = {}
%w[bare div float_div literal_div float_loop calls blocks nested_const].each do |name|
  times = (1..7).map do
    start = Time.now.to_f
    send("bench_#{name}", n)
    Time.now.to_f - start
  end
  best[name] = times.min * 1e9 / n
  puts format("%-12s %6.2f ns per iteration   (%s(3) = %s)", name, best[name], name, send("bench_#{name}", 3).inspect)
end
puts format("one Integer division (div - bare): %.2f ns; one Float division: %.2f ns",
            best["div"] - best["bare"], best["float_div"] - best["bare"])
