# Sources longer than the parser holds (2,147,483,647 bytes) are refused, naming their size,
# by every way a String is compiled; one that long still parses. One String of 2 GiB serves
# every case (2.1 GB of memory while the file runs): the shorter sources are views of it.

test "a source past 2,147,483,647 bytes is refused naming its size wherever a String is compiled" do
  limit = 2_147_483_647
  # The String literal of more than 2^31 bytes that ran the parser's token count over.
  whole = "e" * (limit + 55)
  whole.setbyte 0, 39
  whole.setbyte whole.bytesize - 1, 39
  "__END__\n".each_byte.with_index { |b, i| whole.setbyte i + 1, b }
  sources = [[whole, 2_147_483_702], [whole.byteslice(0, limit + 1), 2_147_483_648]]
  at_limit = whole.byteslice(1, limit) # ends at its first line
  eval_error = ->(size) { "SyntaxError: file (eval) line 1: source too long to parse: #{size} bytes (at most 2147483647)" }
  paths = [
    ["eval", ->(s) { eval s }, eval_error, "nil"],
    ["instance_eval", ->(s) { Object.new.instance_eval s }, eval_error, "nil"],
    ["class_eval", ->(s) { Class.new.class_eval s }, eval_error, "nil"],
    ["FFI::MRB#eval", ->(s) { $zoq.ffi_mrb.eval s },
     ->(size) { "SyntaxError: (eval):1: source too long to parse: #{size} bytes (at most 2147483647)" }, "nil"],
    ["FFI::MRB#parse", ->(s) { $zoq.ffi_mrb.parse s },
     ->(size) { "\"line 1:0: source too long to parse: #{size} bytes (at most 2147483647)\\n\"" }, "\"Syntax OK\""]
  ]
  outcome = lambda do |call, source|
    begin
      call.call(source).inspect
    rescue Exception => e
      "#{e.class}: #{e.message}"
    end
  end
  rows = []
  paths.each do |name, call, refusal, parsed|
    sources.each { |source, size| rows << [[name, refusal.call(size)], [name, outcome.call(call, source)]] }
    rows << [[name, parsed], [name, outcome.call(call, at_limit)]]
  end
  assert_rows rows
end
