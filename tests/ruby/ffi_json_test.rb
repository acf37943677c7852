# FFI::Misc#parse_json and #parse_json_file: plain Ruby values, nil for what does not parse.

def json text
  FFI::Misc.new.parse_json text
end

# How many Arrays are nested at the front of a value (walked, not recursed).
def nesting value
  depth = 0
  while value.is_a?(Array)
    depth += 1
    value = value[0]
  end
  depth
end

test "numbers: whole ones that fit 64 bits are Integers, the rest Floats, Infinity included" do
  assert_equal [1, 1, 1.5, 1000, 0, -3, 1.0e20, 9223372036854775808.0, -9223372036854775808, 0.1],
               json("[1, 1.0, 1.5, 1e3, -0, -3.0, 1e20, 9223372036854775808, -9223372036854775808, 0.1]")
  big = json("[1e400, -1e400, 18446744073709551616, 9223372036854775807]")
  assert_equal [Float::INFINITY, -Float::INFINITY, 18446744073709551616.0, 9223372036854775808.0], big
end

test "objects keep their members' order; a repeated name keeps its first place and its last value" do
  assert_equal ["b", "a"], json('{"b": 1, "a": 2}').keys
  repeated = json('{"a": 1, "b": 0, "a": 2}')
  assert_equal [["a", 2], ["b", 0]], repeated.to_a
  assert_equal({ "list" => [true, false, nil, "x"], "empty" => {}, "none" => [] },
               json('{"list": [true, false, null, "x"], "empty": {}, "none": []}'))
end

test "strings decode their escapes to UTF-8 and end before an escaped NUL" do
  assert_rows [["\u00e9\u{1F600}\n\"/", json('"\u00e9\ud83d\ude00\n\"\/"')], ["a", json('"a\u0000b"')],
               [{ "k" => 1 }, json('{"k\u0000x": 1}')]]
end

test "top-level values, what follows the first value, and text that does not parse" do
  assert_rows [[true, json("true")], [false, json("false")], [nil, json("null")], [1, json("1  and then text")],
               [[1], json("[1] [2]")], [nil, json("")], [nil, json("  \n")], [nil, json("[1,")], [nil, json("{1: 2}")],
               [nil, json("tru")], [nil, json("'a'")], [nil, json('"abc')]]
  assert_raises(ArgumentError, "null byte") { json("[1]\0") }
  assert_raises(TypeError) { json(5) }
end

test "a thousand nested arrays parse; a thousand and one are nil" do
  assert_equal 1000, nesting(json("[" * 1000 + "]" * 1000))
  assert_equal nil, json("[" * 1001 + "]" * 1001)
  assert_equal nil, json("{\"a\":" * 1001 + "1" + "}" * 1001)
end

test "parse_json_file reads through the file system; a missing file is nil" do
  FFI::File.new.write("data/doc.json", '{"n": [1, 2.5]}')
  assert_equal({ "n" => [1, 2.5] }, FFI::Misc.new.parse_json_file("data/doc.json"))
  assert_equal nil, FFI::Misc.new.parse_json_file("data/missing.json")
  FFI::File.new.write("data/bad.json", '{"n": ')
  assert_equal nil, FFI::Misc.new.parse_json_file("data/bad.json")
end
