# Floats as text: the shortest text that reads back as the same Float, the digits C's printf
# gives in format, and Floats that come back from a saved state unchanged.

# The Float with these 64 bits.
def float_from_bits high, low
  [low, high].pack("L2").unpack("D")[0]
end

# Tells -0.0 from 0.0 (== does not).
def same_float? a, b
  a == b ? (a != 0 || 1 / a == 1 / b) : (a.nan? && b.nan?)
end

test "to_s and inspect give the shortest text that reads back, laid out as Ruby lays it out" do
  [["0.30000000000000004", 0.1 + 0.2], ["0.3333333333333333", 1.0 / 3], ["14.285714285714286", 100.0 / 7],
   ["0.1", 0.1], ["100.0", 100.0], ["-2.5", -2.5], ["0.0", 0.0], ["-0.0", -0.0],
   ["5.0e-324", 5.0e-324], ["1.0e-323", 1.0e-323], ["2.2250738585072014e-308", 2.2250738585072014e-308],
   ["1.7976931348623157e+308", Float::MAX], ["1.0e+23", 1e23], ["1.0e+100", 1e100],
   # the point moves into an exponent below 0.0001 and from 16 digits before it, kept for 16
   # only when a fraction follows
   ["0.0001", 0.0001], ["1.0e-05", 0.00001], ["0.00012345678901234567", 0.00012345678901234567],
   ["999999999999999.0", 999999999999999.0], ["1.0e+15", 1e15], ["1.0e+16", 1e16],
   ["1234567890123456.8", 1234567890123456.8], ["1.234567890123456e+15", 1234567890123456.0],
   # a power of two whose shortest text is on the wide side of its rounding interval
   ["7.120236347223045e-307", 2.0**-1017], ["7.678447687145631e-239", 2.0**-791],
   # 17 digits ending in 5 or 50 hide which shorter rounding is nearer
   ["622.1012588326284", 622.1012588326284], ["494.4878098466865", 494.4878098466865],
   ["Infinity", Float::INFINITY], ["-Infinity", -Float::INFINITY], ["NaN", Float::NAN]].each do |text, f|
    assert_equal [text, text], [f.to_s, f.inspect]
    assert same_float?(f, text.to_f) unless f.infinite? || f.nan?
  end
  assert_equal "0.1 [0.30000000000000004, 1.0e+23]", "#{0.1} #{[0.1 + 0.2, 1e23]}"
end

test "format gives C's printf digits for every float conversion, flag, width and precision" do
  [["0.69999999999999996", "%.17g", 0.7], ["0.10000000000000000555", "%.20f", 0.1], ["0.333333333333333", "%.15g", 1.0 / 3],
   # the double nearest 2.0005 is above the half, the one nearest 2.675 below it; 0.125 is a tie to even
   ["2.001", "%.3f", 2.0005], ["2.67", "%.2f", 2.675], ["0.12", "%.2f", 0.125], ["2", "%.0f", 1.5], ["0", "%.0f", 0.5],
   ["99999999999999991611392", "%.0f", 1e23], ["10000000000.00", "%.2f", 1e300 / 1e290],
   ["0.0000000000000000000000000000010000000000", "%.40f", 1e-30], ["-0.000000", "%f", -0.0],
   ["9.8813129168249309e-324", "%.16e", 1.0e-323], ["5e-324", "%.0e", 5.0e-324], ["1e+100", "%g", 1e100],
   ["0x1.999999999999ap-4", "%a", 0.1], ["0X1.8P+1", "%A", 3.0], ["0x0.0000000000001p-1022", "%a", 5.0e-324],
   ["-0x001.8000000000p+0", "%020.10a", -1.5], ["+0003.14", "%+08.2f", 3.14159], ["  1.235E+04", "%11.3E", 12345.678],
   ["0.5       |", "%-10.2g|", 0.5], [" 2.5e+00", "% .1e", 2.5], ["3.", "%#.0f", 3.0], ["1.00000", "%#g", 1.0],
   ["1E-10       |", "%-12.3G|", 1e-10], ["1.50", "%.*f", 1.5],
   # Infinity and NaN keep the interpreter's texts
   ["Inf", "%f", Float::INFINITY], ["  -Inf", "%6.2e", -Float::INFINITY], ["+NaN", "%+g", Float::NAN],
   [" Inf", "%4a", Float::INFINITY]].each do |want, spec, value|
    got = spec.include?("*") ? format(spec, 2, value) : format(spec, value)
    assert_equal want, got, "#{spec} of #{value}"
  end
  assert_equal ["0.69999999999999996", "x 0.100 y"], ["%.17g" % 0.7, "x %.3f %s" % [0.1, "y"]]
  assert_equal "0.333333333333333314829616256247390992939472198486328125" + "0" * 446, format("%.500f", 1.0 / 3)
  assert_equal " " * 995 + "2.500", format("%1000.3f", 2.5)
  assert_equal "2.500" + " " * 995 + "|", format("%-1000.3f|", 2.5)
  assert_raises(ArgumentError, "prec too big") { format("%.*f", 2**40, 1.0) }
end

test "random Floats over the whole range and in everyday ranges read back exactly from to_s and as literals" do
  r = Random.new(17)
  values = []
  10_000.times do
    f = float_from_bits(r.rand(2**32), r.rand(2**32))
    values << f if f.finite?
  end
  5_000.times { values << r.rand * 1000 << (r.rand - 0.5) * 2e6 << r.rand(100_000) / 100.0 << 1.0 / (r.rand(1000) + 1) }
  texts = values.map(&:to_s)
  misread = []
  values.each_with_index { |f, i| misread << [f, texts[i]] unless same_float?(f, texts[i].to_f) }
  assert_equal [], misread.first(5)
  literals = eval("[#{texts.join(", ")}]")
  assert(values.each_index.all? { |i| same_float?(values[i], literals[i]) })
end

test "a saved state holding Floats loads back with the same Floats" do
  now = boot_game "def tick args; end\n"
  run_steps now, 2
  r = Random.new(5)
  many = Array.new(500) { float_from_bits(r.rand(2**32), r.rand(2**32)) }.select(&:finite?)
  floats = [100.0 / 7, 0.1 + 0.2, 1.0 / 3, 5.0e-324, -0.0, 1e23, 2.0**-1017, 1234567890123456.8]
  $args.state.ratio = 100.0 / 7
  $args.state.player.speeds = floats
  $args.state.many = many
  $zoq.save_state
  assert $zoq.ffi_file.read("game_state.txt").include?(":ratio=>14.285714285714286")
  $args.state.ratio = 0
  state = $zoq.load_state
  assert_equal 100.0 / 7, state.ratio
  assert(floats.each_index.all? { |i| same_float?(floats[i], state.player.speeds[i]) }, state.player.speeds.inspect)
  assert(many.each_index.all? { |i| same_float?(many[i], state.many[i]) })
end
