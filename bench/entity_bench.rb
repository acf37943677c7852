# Open-entity properties: 1,000 and 10,000 distinct properties written and read back by
# name, the same properties read and written again through the readers and writers defined
# on first use, the same count spread over 100 entities, entities made with new_entity,
# properties made through nil coercion, and the save text of the whole entity written and
# read back. Run by bench/entity.sh.

COUNT = 10_000

# Property access by name needs the names in the source: generate the methods.
def bench_define name, statement, count = COUNT
  lines = (0...count).map { |i| "  " + statement.gsub("NAME", "p#{i}").gsub("VALUE", i.to_s) }
  eval "def #{name} e\n#{lines.join("\n")}\nend"
end

# Times the block once, or best of `runs` for steady operations (a collection can land in one).
def bench_time label, ops, runs = 1
  result = nil
  seconds = (1..runs).map do
    start = Time.now.to_f
    result = yield
    Time.now.to_f - start
  end.min
  puts format("%-44s %9.2f ms %9.0f ns/op", label, seconds * 1000, seconds * 1e9 / ops)
  result
end

test "open entity benchmark" do
  bench_define :bench_write, "e.NAME = VALUE"
  bench_define :bench_read, "e.NAME"
  bench_define :bench_coerce, "e.NAME.v = VALUE"
  bench_define :bench_write_100, "e.NAME = VALUE", 100
  bench_define :bench_read_100, "e.NAME", 100

  entities = bench_time("10,000 new_entity with two properties", COUNT) do
    (0...COUNT).map { |i| ZOQ::Entity.new_entity(:dot, { x: i, y: i }) }
  end
  bench_time("10,000 entities read x and y", COUNT) { entities.each { |d| d.x + d.y } }
  bench_time("10,000 entities read x and y again (best of 7)", COUNT, 7) { entities.each { |d| d.x + d.y } }

  bench_define :bench_write_1000, "e.NAME = VALUE", 1000
  bench_define :bench_read_1000, "e.NAME", 1000
  thousand = ZOQ::OpenEntity.new
  bench_time("1,000 properties created (first writes)", 1000) { bench_write_1000 thousand }
  bench_time("1,000 properties read (first reads)", 1000) { bench_read_1000 thousand }
  bench_time("1,000 properties read again (best of 7)", 1000, 7) { bench_read_1000 thousand }

  e = ZOQ::OpenEntity.new
  bench_time("10,000 properties created (first writes)", COUNT) { bench_write e }
  bench_time("10,000 properties read (first reads)", COUNT) { bench_read e }
  bench_time("10,000 properties read again (best of 7)", COUNT, 7) { bench_read e }
  bench_time("10,000 properties written again", COUNT) { bench_write e }
  sum = 0
  (0...COUNT).each { |i| sum += e.as_hash[:"p#{i}"] }
  raise "values lost" unless sum == (0...COUNT).reduce(0) { |a, b| a + b }

  hundred = (0...100).map { ZOQ::OpenEntity.new }
  bench_time("100 entities x 100 properties created", COUNT) { hundred.each { |h| bench_write_100 h } }
  bench_time("100 entities x 100 properties read", COUNT) { hundred.each { |h| bench_read_100 h } }
  bench_time("100 entities x 100 properties read again (best of 7)", COUNT, 7) { hundred.each { |h| bench_read_100 h } }

  state = ZOQ::OpenEntity.new
  bench_time("10,000 nested entities made by nil coercion", COUNT) { bench_coerce state }
  raise "coercion lost a value" unless state.p9999.v == 9999


  text = bench_time("save text of 10,000 properties", COUNT) { e.to_s }
  puts "    (#{text.length} characters)"
  data = bench_time("evaluate the save text", COUNT) { eval(text) }
  loaded = bench_time("rebuild the entity from the evaluated text", COUNT) do
    ZOQ::Entity.parse_serialization_data data
  end
  bench_time("10,000 properties read on the loaded entity", COUNT) { bench_read loaded }
  raise "load lost a value" unless loaded.p1234 == 1234
end
