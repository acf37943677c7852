# Hash work with String keys, run by an interpreter binary
# (`mruby string_hash_cases.rb KEYS_FILE [rounds]`): prints nanoseconds per operation, best of
# 7, so interpreters with different String hashes can be compared on the same script. KEYS_FILE
# holds names that shared the old String hash, one a line: their case inserts them all.

def bench_small_read(n, _)
  h = { "x" => 1, "y" => 2, "w" => 3, "h" => 4, "path" => 5, "angle" => 6, "r" => 7, "g" => 8 }
  i = 0
  s = 0
  while i < n
    s += h["path"] + h["angle"]
    i += 1
  end
  s
end

def bench_build_1000(n, keys)
  i = 0
  while i < n
    h = {}
    keys.each { |k| h[k] = k }
    i += 1000
  end
  i
end

# Reads a Hash by its own keys, in turn: table is [keys, hash].
def bench_read_keys(n, table)
  keys = table[0]
  h = table[1]
  count = keys.length
  i = 0
  s = 0
  while i < n
    s += 1 if h[keys[i % count]]
    i += 1
  end
  s
end

def bench_symbol_read(n, _)
  h = { x: 1, y: 2, w: 3, h: 4, path: 5, angle: 6, r: 7, g: 8 }
  i = 0
  s = 0
  while i < n
    s += h[:path] + h[:angle]
    i += 1
  end
  s
end

def bench_colliding(n, colliding)
  h = {}
  colliding.each { |k| h[k] = true }
  h.size
end

f = File.open(ARGV[0])
colliding = f.read.split("\n")
f.close
rounds = (ARGV[1] || 1_000_000).to_i
keys = (0...1000).map { |i| "property_#{i}" }
big_keys = (0...10000).map { |i| "key #{i * 7919}" }
big = {}
big_keys.each { |k| big[k] = 1 }
long_keys = (0...64).map { |i| "#{i}/" + "long path segment " * 12 }
long = {}
long_keys.each { |k| long[k] = 1 }
cases = { "small_read" => [:bench_small_read, nil], "build_1000" => [:bench_build_1000, keys],
          "read_10000" => [:bench_read_keys, [big_keys, big]], "long_keys" => [:bench_read_keys, [long_keys, long]],
          "symbol_read" => [:bench_symbol_read, nil] }
cases.each do |name, (method, input)|
  times = (1..7).map do
    start = Time.now.to_f
    send(method, rounds, input)
    Time.now.to_f - start
  end
  puts format("%-12s %8.2f ns per operation", name, times.min * 1e9 / rounds)
end
start = Time.now.to_f
size = bench_colliding(0, colliding)
puts format("%-12s %8.2f ms for %d names that shared the old hash", "colliding", (Time.now.to_f - start) * 1000, size)
