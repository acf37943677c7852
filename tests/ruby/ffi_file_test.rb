# FFI::File over real folders: the game folder is mounted and is where `write` writes,
# the base folder is where the *_root writers write.

def ffi_file
  FFI::File.new
end

def on_disk dir, path
  f = File.open("#{dir}/#{path}", "rb")
  data = f.read
  f.close
  data || ""
end

# A TGA image (uncompressed true colour, rows from the top); pixels are [r, g, b, a].
def tga width, height, pixels
  header = [0, 0, 2, 0, 0, 0, 0, 0, width, height, 32, 0x28].pack("CCCvvCvvvvCC")
  header + pixels.map { |r, g, b, a| [b, g, r, a].pack("CCCC") }.join
end

test "bytes round-trip exactly through write and read, NUL bytes included" do
  data = "a\0b\0\0c" + (0..255).map { |i| i.chr }.join
  assert_equal true, ffi_file.write("data/blob.bin", data)
  assert_equal data, ffi_file.read("data/blob.bin")
  assert_equal data, on_disk($test_game_dir, "data/blob.bin")
end

test "writes create their folders in the game folder, truncate, append, and read back; a missing file is nil" do
  assert_equal [true] * 5, [ffi_file.write("one/two/three.txt", "deep"), ffi_file.write("empty.txt", "something"),
                            ffi_file.write("empty.txt", ""), ffi_file.append("logs/appended.txt", "one\n"),
                            ffi_file.append("logs/appended.txt", "two\0\n")]
  assert File.directory?("#{$test_game_dir}/one/two")
  refute File.exist?("#{$test_base_dir}/one")
  assert_rows [["deep", ffi_file.read("one/two/three.txt")], ["", ffi_file.read("empty.txt")],
               ["", on_disk($test_game_dir, "empty.txt")], ["one\ntwo\0\n", ffi_file.read("logs/appended.txt")],
               [nil, ffi_file.read("no/such/file.txt")], [-1, ffi_file.mtime("no/such/file.txt")], [nil, ffi_file.read("one/two")]]
  now = Time.now.to_i
  assert (ffi_file.mtime("one/two/three.txt") - now).abs < 60 && (ffi_file.mtime("one/two") - now).abs < 60
end

test "the root writers write into the base folder, and reads find what they wrote" do
  assert_equal true, ffi_file.write_root("root/history.txt", "first")
  assert_equal "first", on_disk($test_base_dir, "root/history.txt")
  refute File.exist?("#{$test_game_dir}/root")
  assert_equal "first", ffi_file.read("root/history.txt")
  assert_equal true, ffi_file.append_root("root/history.txt", " second")
  assert_equal "first second", ffi_file.read("root/history.txt")
  # The game writers do not follow the last root write into the base folder.
  ffi_file.write("after_root.txt", "game")
  assert_equal "game", on_disk($test_game_dir, "after_root.txt")
  refute File.exist?("#{$test_base_dir}/after_root.txt")
end

test "argument errors come from the argument reader" do
  assert_raises(ArgumentError) { ffi_file.read }
  assert_raises(TypeError) { ffi_file.read(5) }
  assert_raises(TypeError) { ffi_file.write("x.txt", nil) }
  assert_raises(ArgumentError) { ffi_file.write("x.txt", "a", "b") }
  refute File.exist?("#{$test_game_dir}/x.txt")
end

test "load_image answers [pixels, width, height] with 0xAABBGGRR pixels" do
  ffi_file.write("sprites/red.tga", tga(1, 1, [[255, 0, 0, 255]]))
  assert_equal [[0xFF0000FF], 1, 1], ffi_file.load_image("sprites/red.tga")
  ffi_file.write("sprites/two.tga", tga(2, 1, [[1, 2, 3, 4], [250, 251, 252, 253]]))
  assert_equal [[0x04030201, 0xFDFCFBFA], 2, 1], ffi_file.load_image("sprites/two.tga")
end

test "load_image of a missing or undecodable file is nil" do
  assert_equal nil, ffi_file.load_image("sprites/missing.png")
  ffi_file.write("sprites/garbage.png", "not an image at all")
  assert_equal nil, ffi_file.load_image("sprites/garbage.png")
end

test "a path holding a NUL names no file: every reader and writer refuses it, and nothing is written" do
  ffi_file.write("nul/a.txt", "kept")
  ffi_file.write("nul/a.tga", tga(1, 1, [[255, 0, 0, 255]]))
  calls = [[:read, ["nul/a.txt\0tail"]], [:mtime, ["nul/a.txt\0tail"]], [:load_image, ["nul/a.tga\0tail"]],
           [:write, ["nul/a.txt\0tail", "lost"]], [:append, ["nul/a.txt\0tail", "lost"]],
           [:write_root, ["nul/a.txt\0tail", "lost"]], [:append_root, ["nul/a.txt\0tail", "lost"]]]
  calls.each do |name, args|
    assert_raises(ArgumentError, "null byte") { ffi_file.send(name, *args) }
  end
  # The game's own helpers say which call failed; load_image passes the error on.
  assert_raises(RuntimeError, "~$zoq.read_file~") { $zoq.read_file("nul/a.txt\0tail") }
  assert_raises(RuntimeError, "~$zoq.write_file~") { $zoq.write_file("nul/a.txt\0tail", "lost") }
  assert_raises(ArgumentError, "null byte") { $zoq.load_image("nul/a.tga\0tail") }
  assert_equal "kept", ffi_file.read("nul/a.txt")
  refute File.exist?("#{$test_base_dir}/nul")
end
