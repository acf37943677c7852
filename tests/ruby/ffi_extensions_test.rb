# FFI::Misc#zoq_dlopen over real shared objects built beside the tests: bad ones define
# nothing, the sample defines FFI::Sample through the host's look-up table.

def built name
  f = File.open("#{$test_extensions}/#{name}.so", "rb")
  bytes = f.read
  f.close
  bytes
end

def install path, bytes
  assert FFI::File.new.write(path, bytes)
end

def dlopen name
  FFI::Misc.new.zoq_dlopen name
end

def copies_left
  [$test_game_dir, $test_base_dir].select { |dir| File.exist?("#{dir}/zintarel-sharedobjs") }
end

test "missing, entry-less, random-byte, cut-short and out-of-folder extensions answer nil and define nothing" do
  install "native/linux/no_entry.so", built("no_entry")
  install "native/linux/garbage.so", (0...4096).map { |i| ((i * 7919 + 13) % 256).chr }.join
  install "native/linux/empty.so", ""
  # Cut short as an interrupted copy leaves it: its program headers or loadable segments
  # run past its end.
  whole = built("sample_extension")
  install "native/linux/header.so", whole[0, 64]
  install "native/linux/cut.so", whole[0, 3000]
  install "native/x.so", built("sample_extension")
  install "native/linux/folder.so/inside.txt", "a folder, not a library"
  before = FFI.constants.sort
  ["missing", "no_entry", "garbage", "empty", "header", "cut", "../x", "..", ".", "", "a//b", "./no_entry", "no_entry/", "folder", "a\\b"]
    .each { |name| assert_equal nil, dlopen(name), name.inspect }
  assert_equal before, FFI.constants.sort
  assert_equal [], copies_left
  assert_raises(ArgumentError, "null byte") { dlopen("no_entry\0") }
  assert_raises(TypeError) { dlopen(nil) }
end

test "an entry point that raises: the exception surfaces in the caller" do
  install "native/linux/raising.so", built("raising_extension")
  assert_raises(RuntimeError, "extension refused to start") { dlopen("raising") }
end

test "the sample extension loads from the game folder in place and defines its methods" do
  install "native/linux/sample.so", built("sample_extension")
  assert_equal nil, dlopen("sample")
  assert_equal ["hello, you (load 1)", "ok"], [FFI::Sample.greet("you"), FFI::Sample.checks]
  assert_equal [], copies_left
  # Each call loads and registers again.
  dlopen "sample"
  assert_equal "hello, again (load 2)", FFI::Sample.greet("again")
end

test "the look-up hands out its 17 names exactly and nothing else" do
  dlopen "sample"
  names = %w[mrb_raise mrb_module_get mrb_class_get_under mrb_get_args znt_free_foreign_object mrb_define_module_under
             mrb_str_new_cstr mrb_define_class_under mrb_define_module_function mrb_data_object_alloc
             mrb_module_get_under mrb_define_method mrb_define_class_method mrb_exc_get znt_upload_pixel_array
             znt_load_image znt_free_image]
  assert_equal [true] * 17, names.map { |n| FFI::Sample.found?(n) }
  assert_equal [false] * 5, ["mrb_funcall", "MRB_RAISE", "Mrb_raise", "mrb_raise ", ""].map { |n| FFI::Sample.found?(n) }
end

test "extension methods raise through mrb_exc_get, read images, and free their foreign objects" do
  dlopen "sample"
  assert_raises(ArgumentError, "bad input") { FFI::Sample.fail("bad input") }
  header = [0, 0, 2, 0, 0, 0, 0, 0, 2, 1, 32, 0x28].pack("CCCvvCvvvvCC")
  install "sprites/two.tga", header + [0, 0, 255, 255, 9, 9, 9, 9].pack("C*")
  assert_equal ["2x1 FF0000FF", nil], [FFI::Sample.image("sprites/two.tga"), FFI::Sample.image("sprites/none.png")]
  assert_equal nil, FFI::Sample.free_null
  assert_equal nil, FFI::Sample.upload("outside-a-frame")
  boxes = (1..200).map { |i| FFI::Sample::Box.make("box #{i}") }
  assert_equal ["box 1", "box 200"], [boxes[0].text, boxes[-1].text]
  boxes = nil
  GC.start
end
