# The FFI module as ffi_init leaves it: its classes, FFI::CPtr, Array#value and the
# registered methods of FFI::Misc.

test "the native classes live beside FFI::Draw under module FFI" do
  [FFI::File, FFI::Misc, FFI::MRB, FFI::CPtr, FFI::Draw].each { |k| assert k.is_a?(Class), k.to_s }
  assert_equal Object, FFI::File.superclass
  assert_equal Object, FFI::Misc.superclass
  assert_equal Object, FFI::MRB.superclass
  assert FFI::File.new.is_a?(FFI::File)
end

test "FFI::CPtr.new makes a pointer carrier, with or without arguments" do
  assert FFI::CPtr.new.is_a?(FFI::CPtr)
  assert FFI::CPtr.new(1, 2).is_a?(FFI::CPtr)
  assert FFI::CPtr.new(:a, "b", nil).is_a?(FFI::CPtr)
  many = (1..2000).map { FFI::CPtr.new }
  GC.start
  assert_equal 2000, many.length
end

test "Array#value answers the element at an index, counting negatives from the end" do
  assert_equal 10, [10, 20, 30].value(0)
  assert_equal 30, [10, 20, 30].value(-1)
  assert_equal nil, [10, 20, 30].value(3)
  assert_equal nil, [10, 20, 30].value(-4)
  assert_equal nil, [].value(0)
  assert_raises(TypeError) { [1].value("0") }
  assert_raises(ArgumentError) { [1].value }
end

test "FFI::Misc has every method the framework calls" do
  names = [:calcstringbox, :getclipboard, :close_raw_joystick, :add_controller_config,
           :convert_rawjoystick_to_controller, :parse_xml_file, :parse_xml, :parse_json_file,
           :parse_json, :set_window_title, :http_get, :http_head, :http_post, :http_put,
           :zoq_dlopen, :get_local_ip_address, :device_size]
  misc = FFI::Misc.new
  names.each { |n| assert misc.respond_to?(n), n.to_s }
end

test "methods without arguments ignore extra ones; methods with arguments check them" do
  misc = FFI::Misc.new
  assert_equal misc.device_size, misc.device_size(1, 2)
  assert_equal misc.getclipboard, misc.getclipboard(:extra)
  assert_raises(ArgumentError) { misc.set_window_title }
  assert_raises(ArgumentError) { misc.zoq_dlopen("a", "b") }
  assert_raises(TypeError) { misc.http_get(nil, "http://x", 5) }
  assert_equal misc.http_post(nil, "http://x", nil, nil), misc.http_put(nil, "http://x", nil, nil)
end

test "a host without a window reports a zero device size and an empty clipboard" do
  assert_equal [0.0, 0.0], FFI::Misc.new.device_size
  assert_equal "", FFI::Misc.new.getclipboard
  assert_equal nil, FFI::Misc.new.zoq_dlopen("nothing_here")
end
