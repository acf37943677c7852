# The built-in documentation: listing, search, the HTML conversion and the exports.

module DocsTestTopics
  def docs_class
    "* DOCS: ~DocsTestClass~\nA class documented by the tests.\n"
  end

  def docs_zebra
    "* DOCS: ~DocsTestClass#zebra~\nStripes on a Zebra.\n"
  end
end

class DocsTestClass
  extend Docs
  extend DocsTestTopics

  def self.secret
    $secret_called = true
    "not a topic"
  end
end

def html_of text
  Kernel.__docs_to_html__(text)[:html]
end

# The part of the page inside <div id='content'>.
def content_of text
  html = html_of(text)
  html[(html.index("<div id='content'>\n") + 19)...html.rindex("    </div>")]
end

# Every value of attr='...' in the page, in order.
def attribute_values html, attr
  values = []
  at = 0
  while (at = html.index("#{attr}='", at))
    start = at + attr.length + 2
    finish = html.index("'", start)
    values << html[start...finish]
    at = finish
  end
  values
end

test "outline text becomes HTML: paragraphs, code spans, links, lists, quotes and code blocks, all escaped" do
  rows = [
    ["one\ntwo\nthree", "<p>\none two three\n</p>\n"],
    ["use ~args~ here", "<p>\nuse <code>args</code> here\n</p>\n"],
    ["see [[docs_search.gif]]", "<p>\nsee <img src='docs_search.gif'></img>\n</p>\n"],
    ["at [[http://x.org/?a=1&b=2]]", "<p>\nat <a href='http://x.org/?a=1&amp;b=2'>http://x.org/?a=1&amp;b=2</a>\n</p>\n"],
    ["<script>alert('x')</script> & ~a<b~", "<p>\n&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt; &amp; <code>a&lt;b</code>\n</p>\n"],
    ["- one\n- two\ncontinued\n\nafter", "<ul>\n<li>one</li>\n<li>two continued</li>\n</ul>\n<p>\nafter\n</p>\n"],
    ["1. one\n2. two\n10. ten", "<ol>\n<li>one</li>\n<li>two</li>\n<li>ten</li>\n</ol>\n"],
    ["- open at the end", "<ul>\n<li>open at the end</li>\n</ul>\n"],
    ["#+begin_quote\nwise\n#+end_quote", "<blockquote>\n<p>\nwise\n</p>\n</blockquote>\n"],
    ["#+begin_src\n  if a < b && c > d\n  - not a list\n  * not a heading\n\n  end\nx\n#+end_src",
     "<pre><code class=\"language-ruby\">if a &lt; b &amp;&amp; c &gt; d\n- not a list\n* not a heading\n\nend\nx\n</code></pre>\n"],
    ["* Stars * inside ** stay", "<h1 id='--stars---inside----stay'>Stars * inside ** stay</h1>\n"],
    ["**** Small", "<h4>Small</h4>\n"],
  ]
  assert_rows rows.map { |text, expected| [expected, content_of(text)] }
end

test "heading ids are unique and every link of the table of contents has its target" do
  assert_includes html_of("* A\ntext\n* A\n** A\n*** ~B~"), "<h1 id='--a'>A</h1>", "<h1 id='--a-2'>A</h1>",
                  "<h2 id='---a'>A</h2>", "<h3 id='-----b-'><code>B</code></h3>", "href='#--a-2'"
  html = html_of(Kernel.docs_all + ZOQ::Outputs.docs_all + "* A\n* A\n* A")
  ids = attribute_values(html, "id").reject { |id| id == "toc" || id == "content" }
  links = attribute_values(html, "href").select { |href| href.start_with?("#") }.map { |href| href[1..-1] }
  assert_equal ids.length, ids.uniq.length
  assert_equal [], links - ids
  assert links.length >= 8
  assert ids.include?("--docs---zoq--outputs#solids-"), ids.inspect
  assert_includes html, "<title>Zintarel Playframe Documentation</title>", "<h1>Table Of Contents</h1>\n<ul>\n"
end

test "search finds a word in any case, says when nothing matches, and writes its results" do
  rows = [["ZEBRA", true], ["zebra stripes", true], ["Stripes", true], ["a an the", false], ["zzzzqqq", false]]
  rows.each do |words, found|
    text = Kernel.docs_search(words)
    assert_equal found, text.include?("~DocsTestClass#zebra~"), words
    assert_equal "\n* DOCS: No results found.", text unless found
    assert_equal text[1..-1], on_disk("docs/search_results.txt")
  end
  assert_includes Kernel.docs_search, "* DOCS: How To Search The Docs", "docs_search \"sprite label\""
  assert_equal ["* DOCS: ~DocsTestClass#zebra~\nStripes on a Zebra.\n"], DocsTestClass.__docs_search_results__ { |e| e.include?("Stripes") }
  # On a class other than Kernel only its own topics are searched.
  assert_equal [], ZOQ::Outputs.__docs_search_results__("zebra")
end

test "classes are listed in their order, topics with docs_class first, and an unordered class after Kernel" do
  listing = Kernel.docs_classes
  names = listing.split("\n").select { |l| l.start_with?("** ") }.map { |l| l[3..-1] }
  assert_equal ["ZOQ::ReadMe.docs", "ZOQ::Runtime.docs", "Array.docs"], names[0, 3]
  assert names.index("Kernel.docs") < names.index("DocsTestClass.docs")
  assert_equal "\n* DOCS: DocsTestClass\n** DocsTestClass.docs_class\n** DocsTestClass.docs_zebra\n** DocsTestClass.docs_classes\n",
               DocsTestClass.docs
  assert_includes Kernel.docs, "* DOCS: Kernel", "** Kernel.docs_tick_count",
                  "** NOTE: Invoke any of the methods above on Kernel to see detailed documentation.",
                  "** NOTE: Calling the docs_classes method will give you all classes in Playframe that contain docs."
  readme = DocsOrganizer.find_methods_with_docs(ZOQ::ReadMe)
  assert_equal [:docs_usage, :docs_hello_world, :docs_deployment], readme[0, 3]
  assert_equal 12, readme.length
end

test "a class's own export writes its topics (only topics) and leaves the command that opens the file" do
  $secret_called = nil
  assert_equal nil, DocsTestClass.export_docs!(methods: [:docs_zebra, :secret])
  assert_equal "* DOCS: ~DocsTestClass#zebra~\nStripes on a Zebra.\n", on_disk("docs/DocsTestClass.txt")
  assert_equal nil, $secret_called
  assert_equal "$zoq.system \"xdg-open '#{$test_base_dir}/docs/DocsTestClass.txt'\"", $console.current_input_str
  ZOQ::Outputs.export_docs!
  assert on_disk("docs/ZOQ_Outputs.txt").start_with?("* DOCS: ~ZOQ::Outputs~")
end

test "a conversion that fails writes its parse log and says so" do
  def DocsTestClass.__docs_true_lines__ string, parse_log
    parse_log << "** Processing line: ~x~"
    raise "broken"
  end
  error = assert_raises(RuntimeError, "* ERROR in Docs::__docs_to_html__. broken") { DocsTestClass.__docs_to_html__("x") }
  assert error
  assert_includes on_disk("docs/parse_log.txt"), "** Processing line: ~x~"
end

test "the help texts name each primitive's contract and the attributes of a class" do
  klass = Class.new do
    def self.attributes
      [:x, :y]
    end
  end
  rows = [[ZOQ::Help.label_contract, ZOQ::Help.primitive_contract(:label)],
          [ZOQ::Help.solid_border_contract, ZOQ::Help.primitive_contract(:border)],
          [ZOQ::Help.sprite_contract, ZOQ::Help.primitive_contract(:sprite)],
          ["No contract found for primitive line. The supported primitives are :label, :solid, :border, :sprite.",
           ZOQ::Help.primitive_contract(:line)],
          ["{ x: x, y: y }", ZOQ::Help.code_for_class_attributes_as_hash(klass)],
          ["{ }", ZOQ::Help.code_for_class_attributes_as_hash(String)]]
  assert_rows rows
  assert ZOQ::Help.serialization_too_large.start_with?("* WARNING:")
end
