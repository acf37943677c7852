# FFI::MRB: syntax checks that run nothing, and evaluation at the top level.

test "text without errors, empty text, a lone comment and a leading byte-order mark are Syntax OK" do
  mrb = FFI::MRB.new
  bom = "\xEF\xBB\xBF"
  ["def ok_method(a)\n  a + 1\nend\n", "", "# only a comment", bom, bom + "x = 1\n"].each do |text|
    assert_equal "Syntax OK", mrb.parse(text), text.inspect
  end
  mrb.eval(bom + "$ffi_mrb_bom = :ran")
  assert_equal :ran, $ffi_mrb_bom
end

test "a definition without its end gives error lines naming where the parser gave up" do
  answer = FFI::MRB.new.parse("def broken(a)\n  a + 1\n")
  refute answer == "Syntax OK"
  assert answer.start_with?("line "), answer
  assert answer.end_with?("\n"), answer
  line, column = answer.split("\n").first.split(":")[0, 2]
  assert_equal "line 3", line
  assert column.to_i >= 0
end

test "each recorded error is its own line, ten at most, and the answer stays under 3000 bytes" do
  answer = FFI::MRB.new.parse((1..40).map { |i| "x = (#{i} +\n)\n" }.join)
  lines = answer.split("\n")
  assert lines.length >= 1
  assert lines.length <= 10
  lines.each { |l| assert l.start_with?("line "), l }
  long = FFI::MRB.new.parse("x = )" + ("a" * 5000))
  assert long.length < 3000
end

test "parse defines nothing; eval of the same text defines the method for good" do
  text = "def ffi_mrb_probe_method; 42; end"
  assert_equal "Syntax OK", FFI::MRB.new.parse(text)
  refute respond_to?(:ffi_mrb_probe_method, true)
  assert_equal nil, FFI::MRB.new.eval(text)
  assert_equal 42, ffi_mrb_probe_method
  FFI::MRB.new.eval("class FfiMrbProbe; def hi; :hi; end; end; $ffi_mrb_global = 7; FFI_MRB_CONST = 8")
  assert_equal :hi, FfiMrbProbe.new.hi
  assert_equal 7, $ffi_mrb_global
  assert_equal 8, FFI_MRB_CONST
end

test "eval drops the value of the code, passes its exceptions on and reports bad syntax as SyntaxError" do
  assert_equal nil, FFI::MRB.new.eval("1 + 2")
  assert_raises(RuntimeError, "boom from eval") { FFI::MRB.new.eval("raise 'boom from eval'") }
  e = assert_raises(SyntaxError) { FFI::MRB.new.eval("def x(") }
  assert_equal "syntax error", e.message
  # The interpreter is in order afterwards.
  FFI::MRB.new.eval("$ffi_mrb_after = :fine")
  assert_equal :fine, $ffi_mrb_after
end

test "eval compiles through the runtime's compile step and runs with top-level self" do
  FFI::MRB.new.eval("$ffi_mrb_self = self.to_s")
  assert_equal "main", $ffi_mrb_self
  FFI::MRB.new.eval("$ffi_mrb_seven = 7; $ffi_mrb_half = $ffi_mrb_seven / 2")
  assert_equal 3.5, $ffi_mrb_half
end

test "the text ends at its first NUL byte" do
  assert_equal "Syntax OK", FFI::MRB.new.parse("x = 1\0def (((")
  FFI::MRB.new.eval("$ffi_mrb_nul = 1\0raise 'ran past the NUL'")
  assert_equal 1, $ffi_mrb_nul
end

test "a substring is read to its own length, never into the text after it" do
  source = "$ffi_mrb_sub = 5" + (" " * 48) + "; raise 'ran past the substring'"
  sub = source[0, 16 + 48]
  FFI::MRB.new.eval(sub)
  assert_equal 5, $ffi_mrb_sub
  broken = "x = 1" + (" " * 48) + "\ndef ((("
  assert_equal "Syntax OK", FFI::MRB.new.parse(broken[0, 5 + 48])
end

test "a source that is not a String raises TypeError" do
  [-> { FFI::MRB.new.eval(12345) }, -> { FFI::MRB.new.parse(nil) }, -> { FFI::MRB.new.parse(:sym) }].each do |call|
    assert_raises(TypeError) { call.call }
  end
  assert_raises(ArgumentError) { FFI::MRB.new.parse }
end
