# The FFI module as ffi_init leaves it: Array#value and how FFI::Misc reads its arguments
# (FFI::CPtr is driven from the host side in ffi_module_test.cpp).

test "Array#value answers the element at an index, counting negatives from the end" do
  [[0, 10], [-1, 30], [3, nil], [-4, nil]].each { |i, v| assert_equal v, [10, 20, 30].value(i), i.to_s }
  assert_equal nil, [].value(0)
  assert_raises(TypeError) { [1].value("0") }
  assert_raises(ArgumentError) { [1].value }
end

test "FFI::Misc: methods without arguments ignore extra ones; methods with arguments check them" do
  misc = FFI::Misc.new
  assert_equal [0.0, 0.0], misc.device_size(1, 2) # a host without a window has no size
  assert_raises(ArgumentError) { misc.set_window_title }
  assert_raises(ArgumentError) { misc.zoq_dlopen("a", "b") }
  assert_raises(TypeError) { misc.http_get(nil, "http://x", 5) }
end
