# FFI::Misc#parse_xml and #parse_xml_file: the tree of Hashes, stripping, references, CDATA,
# comments and PIs, and nil for every document that is not well formed.

def xml text, strip = true
  FFI::Misc.new.parse_xml text, strip
end

def element name, children, attributes = nil
  node = { type: :element, name: name, children: children }
  node[:attributes] = attributes if attributes
  node
end

def content data
  { type: :content, data: data }
end

def pi name, data
  { type: :pi, name: name, data: data }
end

# The root element of a parsed document.
def root text, strip = true
  xml(text, strip)[:children].find { |n| n[:type] == :element }
end

test "an element with an attribute, a text and an empty element: the tree exactly, keys in order" do
  tree = xml('<a x="1">hi<b/></a>')
  assert_equal element(nil, [element("a", [content("hi"), element("b", [])], { "x" => "1" })]), tree
  assert_equal [:type, :name, :children], tree.keys
  assert_equal [:type, :name, :children, :attributes], tree[:children][0].keys
  assert_equal [:type, :data], tree[:children][0][:children][0].keys
end

test "stripping drops white-space runs and trims the others; without it every run stays" do
  text = "<r>\n  <a> one word </a>\n  <b>\t</b>\n</r>"
  assert_equal element("r", [element("a", [content("one word")]), element("b", [])]), root(text)
  assert_equal element("r", [content("\n  "), element("a", [content(" one word ")]), content("\n  "),
                             element("b", [content("\t")]), content("\n")]), root(text, false)
  # Any truthy value strips; line ends arrive as LF.
  assert_equal [content("a\nb\nc")], root("<r> a\r\nb\rc </r>", :yes)[:children]
end

test "the five entities and character references become their bytes, in text and in attributes" do
  text = "<r v='&lt;&gt;&amp;&apos;&quot;&#65;&#x42;&#x20AC;&#x1F600;&#000067;'>&lt;&amp;&#x1f600;x</r>"
  r = root(text)
  assert_equal ["<>&'\"AB\u20AC\u{1F600}C", "<&\u{1F600}x"], [r[:attributes]["v"], r[:children][0][:data]]
  # Each side of every boundary of the UTF-8 lengths, and the last code points allowed.
  [
    ["&#x7F;", "\x7F"], ["&#x80;", "\xC2\x80"], ["&#x7FF;", "\xDF\xBF"], ["&#x800;", "\xE0\xA0\x80"],
    ["&#xD7FF;", "\xED\x9F\xBF"], ["&#xE000;", "\xEE\x80\x80"], ["&#xFFFD;", "\xEF\xBF\xBD"],
    ["&#x10000;", "\xF0\x90\x80\x80"], ["&#x10FFFF;", "\xF4\x8F\xBF\xBF"], ["&#2047;", "\xDF\xBF"], ["&#2048;", "\xE0\xA0\x80"]
  ].each do |reference, bytes|
    assert_equal [bytes, bytes], [root("<r>#{reference}</r>")[:children][0][:data], root("<r v='#{reference}'/>")[:attributes]["v"]], reference
  end
  # White space written in a value reads as blanks; written as a reference it stays.
  assert_equal({ "a" => "x y z", "b" => "\t\n" }, root("<r a='x\ty\nz' b='&#9;&#10;'/>")[:attributes])
  # Bytes pass through untouched, whatever their encoding.
  assert_equal "caf\xC3\xA9 \xFF", root("<r>caf\xC3\xA9 \xFF</r>")[:children][0][:data]
end

test "CDATA arrives as text and joins the text around it, as comments do" do
  assert_equal [content("x<y>&amp;]]z")], root("<r>x<![CDATA[<y>&amp;]]]]>z</r>")[:children]
  assert_equal [content("xy")], root("<r>x<!-- a > b - c -->y</r>")[:children]
  assert_equal [content("a > b")], root("<r>a > b</r>")[:children]
end

test "declaration, document type and comments make no nodes; PIs do, empty ones and empty attributes too" do
  text = "<?xml version=\"1.0\" encoding='UTF-8' standalone='yes'?>\n" \
         "<!DOCTYPE r SYSTEM \"r.dtd\" [\n<!ENTITY e \"]>\"><!-- ] > --><?skip ]?>\n]>\n" \
         "<!-- c --><?before some data ?><r a=\"\">x<?inner?>y</r><?after?>"
  tree = xml(text)
  assert_equal [pi("before", "some data "), element("r", [content("x"), pi("inner", ""), content("y")], { "a" => "" }),
                pi("after", "")], tree[:children]
  assert_equal element(nil, [element("r", [])]), xml("\xEF\xBB\xBF<r/>")
end

test "a repeated attribute keeps its last value; an element keeps its attributes in document order" do
  assert_equal({ "b" => "3", "a" => "2" }, root("<r b='1' a='2' b='3'/>")[:attributes])
  assert_equal(["b", "a"], root("<r b='1' a='2' b='3'/>")[:attributes].keys)
end

test "documents that are not well formed are nil" do
  [
    "", " ", "<a>", "<a></b>", "<a></ab>", "<ab></a>", "text<a/>", "<a/>text", "<a/><b/>", "<a/>&amp;",
    "<a>&foo;</a>", "<a>&lt</a>", "<a>&#0;</a>", "<a>&#xD800;</a>", "<a>&#xDFFF;</a>", "<a>&#x110000;</a>",
    "<a>&#99999999999999999999999;</a>", "<a>&#x0000000000000000000000110000;</a>", "<a>&#1;</a>", "<a>&#xFFFE;</a>",
    "<a>&#;</a>", "<a>&#x;</a>", "<a>\0</a>", "<a\0/>", "<a>\x01</a>", "<a x='<'/>", "<a x=1/>", "<a x='1'y='2'/>",
    "<a x/>", "<a><!-- -- --></a>", "<a><!-- x ---></a>", "<a>]]></a>", "<a><![CDATA[x]]></a", "<a><![CDATA[x</a>",
    "<![CDATA[x]]><a/>", "<?xml version='1.0'?><?xml version='1.0'?><a/>", " <?xml version='1.0'?><a/>",
    "<?xml?><a/>", "<?xml version='2.0'?><a/>", "<a><?XmL x?></a>", "<??><a/>", "<a/><!DOCTYPE a>",
    "<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>", "<!DOCTYPE a [<!ENTITY e 'x'>]><a v='&e;'/>", "<a></a >x",
    "<1a/>", "<a:b></a:c>", "<a", "<a/", "</a>", "<a>&#x1F600</a>"
  ].each { |text| assert_equal nil, xml(text), text.inspect }
end

test "a billion laughs is nil: no entity of a document type is ever expanded" do
  lines = ['<!ENTITY lol "lol">']
  (1..9).each { |i| lines << "<!ENTITY lol#{i} \"#{(["&lol#{i == 1 ? '' : i - 1};"] * 10).join}\">" }
  text = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n#{lines.join("\n")}\n]>\n<lolz>&lol9;</lolz>"
  assert_equal nil, xml(text)
  assert_equal element("lolz", [content("x")]), root(text.sub("&lol9;", "x"))
end

test "names and nesting up to what the name stack holds parse; beyond it, nil" do
  # The stack holds 8,192 bytes: the open elements' names and the name being read, each with
  # its NUL. Nesting is walked in a loop (deep Hashes would outgrow the interpreter's stack).
  deepest = lambda do |tree|
    node = tree[:children].find { |n| n[:type] == :element }
    depth = 1
    while node[:children][0] && node[:children][0][:type] == :element
      node = node[:children][0]
      depth += 1
    end
    [depth, node[:name].length, node[:children][0] && node[:children][0][:data]]
  end
  [
    # document, and what its deepest element shows (nil: refused): [depth, its name's length, its text]
    ["<#{'n' * 8000}/>", [1, 8000, nil]],
    ["<#{'n' * 8191}/>", [1, 8191, nil]],
    ["<#{'n' * 8192}/>", nil],
    ["<#{'n' * 9000}/>", nil],
    ["<r #{'n' * 8189}='1'/>", [1, 1, nil]],
    ["<r #{'n' * 8190}='1'/>", nil],
    ["<r #{'n' * 9000}='1'/>", nil],
    ["<?#{'p' * 8191}?><r/>", [1, 1, nil]],
    ["<?#{'p' * 8192}?><r/>", nil],
    # "ab" and 4,094 levels of "a" fill 8,191 bytes; one level more needs two.
    ["<ab>" + "<a>" * 4094 + "x" + "</a>" * 4094 + "</ab>", [4095, 1, "x"]],
    ["<ab>" + "<a>" * 4095 + "x" + "</a>" * 4095 + "</ab>", nil],
    ["<a>" * 1000 + "x" + "</a>" * 1000, [1000, 1, "x"]],
    ["<a>" * 4096 + "x" + "</a>" * 4096, [4096, 1, "x"]],
    ["<a>" * 4097 + "x" + "</a>" * 4097, nil],
    ["<a>" * 5000 + "</a>" * 5000, nil]
  ].each do |text, shape|
    tree = xml(text)
    assert_equal shape, tree && deepest.call(tree), text[0, 40]
  end
  assert_equal "n" * 8189, root("<r #{'n' * 8189}='1'/>")[:attributes].keys[0]
end

test "parse_xml_file reads through the file system; a missing file is nil; arguments are checked" do
  FFI::File.new.write("data/doc.xml", "<r><i n='1'/></r>")
  assert_equal element(nil, [element("r", [element("i", [], { "n" => "1" })])]),
               FFI::Misc.new.parse_xml_file("data/doc.xml", true)
  assert_equal nil, FFI::Misc.new.parse_xml_file("data/missing.xml", true)
  assert_equal nil, FFI::Misc.new.parse_xml_file("data", true)
  assert_raises(ArgumentError) { FFI::Misc.new.parse_xml("<r/>") }
  assert_raises(TypeError) { FFI::Misc.new.parse_xml(nil, true) }
end

test "a String#strip! of the game's own is never called" do
  String.class_eval { alias zoq_saved_strip! strip!; def strip!; raise "called"; end }
  begin
    assert_equal [content("a")], root("<r> a </r>")[:children]
  ensure
    String.class_eval { alias strip! zoq_saved_strip! }
  end
end
