# Documentation attached to classes: a class that extends Docs registers itself, and each
# of its singleton methods named docs_* answers one topic in the outline markup. Topics are
# listed, searched, and exported as text and as an HTML page with a table of contents.
$docs_classes ||= []

module DocsOrganizer
  def self.reserved_methods
    [:docs_export_docs!, :docs_all, :docs_method_sort_order, :docs_classes, :docs_search]
  end

  def self.class_sort_order
    order = []
    [[:ZOQ, :ReadMe], [:ZOQ, :Runtime], [:Array], [:ZOQ, :Args], [:ZOQ, :Outputs], [:ZOQ, :Mouse],
     [:ZOQ, :OpenEntity], [:Numeric], [:Kernel]].each do |path|
      scope = Object
      path.each do |name|
        scope = scope && scope.const_defined?(name) ? scope.const_get(name) : nil
      end
      order << scope if scope
    end
    order
  end

  def self.sort_docs_classes!
    order = class_sort_order
    positions = {}
    $docs_classes.each_with_index { |klass, i| positions[klass.object_id] = i }
    # Stable: classes outside the order keep their registration order after the known ones.
    $docs_classes.sort! do |l, r|
      lp = order.index(l) || 50000
      rp = order.index(r) || 50000
      lp == rp ? positions[l.object_id] <=> positions[r.object_id] : lp <=> rp
    end
  end

  def self.check_class_sort_order
    order = class_sort_order
    missing = $docs_classes.reject { |klass| order.include? klass }
    if missing.empty?
      puts "* INFO: Success. All documented classes have a sort order associated with them.\n"
    else
      missing.each do |klass|
        puts "* WARNING: #{klass.name} is not included in DocsOrganizer::class_sort_order. Please place this\nmodule in it's correct topilogical order.\n"
      end
    end
  end

  def self.sort_method_delegate l, r, method_sort_order
    method_key(l, method_sort_order) <=> method_key(r, method_sort_order)
  end

  def self.method_key name, method_sort_order
    return -51000 if name == :docs_class
    return 51000 if name == :docs_classes
    index = method_sort_order.index(name)
    index ? index : 50000
  end

  def self.find_methods_with_docs klass
    reserved = reserved_methods
    order = klass.respond_to?(:docs_method_sort_order) ? klass.docs_method_sort_order : []
    names = klass.methods.select { |m| m.to_s.start_with?("docs_") && !reserved.include?(m) }.uniq
    # Sort by key, then by name so equal keys come out the same every time.
    names.sort do |l, r|
      c = sort_method_delegate(l, r, order)
      c == 0 ? l.to_s <=> r.to_s : c
    end
  end

  def self.class_name klass
    klass.name || klass.to_s
  end
end

module Docs
  HEADING_MARKS = ["**** ", "*** ", "** ", "* "].freeze

  # docs/docs.css, written beside docs/docs.html: the table of contents in a column of its own
  # on a wide window (above the text on a narrow one), readable lines, code set apart.
  STYLESHEET = <<~CSS
    body { margin: 0; font: 16px/1.55 "DejaVu Sans", Verdana, sans-serif; color: #1d1f24; background: #fdfdfb; }
    #toc { box-sizing: border-box; padding: 8px 20px 24px; background: #f1f2f4; border-bottom: 1px solid #d5d8de; }
    #toc h1 { font-size: 18px; margin: 12px 0; }
    #toc ul { list-style: none; margin: 0; padding-left: 14px; }
    #toc > ul { padding-left: 0; }
    #toc a { display: block; padding: 2px 0; color: #24527a; text-decoration: none; font-size: 14px; }
    #toc a:hover { text-decoration: underline; }
    #toc a.header-1 { font-weight: bold; margin-top: 8px; }
    #toc a.header-3 { color: #5a6472; }
    #content { box-sizing: border-box; max-width: 880px; padding: 8px 32px 64px; }
    h1, h2, h3, h4 { line-height: 1.25; margin: 1.6em 0 0.5em; }
    h1 { font-size: 28px; padding-bottom: 6px; border-bottom: 2px solid #d5d8de; }
    h2 { font-size: 22px; padding-bottom: 4px; border-bottom: 1px solid #e3e5e9; }
    h3 { font-size: 18px; }
    h4 { font-size: 16px; }
    a { color: #24527a; }
    code { font: 14px/1.45 "DejaVu Sans Mono", Menlo, monospace; background: #eef0f3; padding: 1px 4px; border-radius: 3px; }
    pre { background: #272b33; color: #e8eaed; padding: 12px 16px; border-radius: 6px; overflow-x: auto; }
    pre code { background: none; color: inherit; padding: 0; }
    blockquote { margin: 1em 0; padding: 4px 16px; border-left: 4px solid #c3c8d0; color: #454b55; }
    img { max-width: 100%; }
    @media (min-width: 1000px) {
      #toc { position: fixed; top: 0; bottom: 0; left: 0; width: 300px; overflow-y: auto; border-bottom: 0;
             border-right: 1px solid #d5d8de; }
      #content { margin-left: 300px; }
    }
  CSS

  def self.extended klass
    $docs_classes ||= []
    $docs_classes << klass unless $docs_classes.include?(klass)
  end

  def self.__docs_search__ words = nil, &block
    nil
  end

  # Text as it reads in HTML or XML, in an element or a quoted attribute (the docs page, the
  # backup's changes.html, the iOS wizard's Info.plist).
  def self.escape_html text
    text.to_s.gsub("&", "&amp;").gsub("<", "&lt;").gsub(">", "&gt;").gsub("\"", "&quot;").gsub("'", "&#39;")
  end

  def self.heading? line
    HEADING_MARKS.any? { |mark| line.start_with?(mark) }
  end

  # The text of a numbered list item ("12. text" gives "text"), or nil: one to four digits,
  # then a period.
  def self.numbered_item_text line
    i = 0
    i += 1 while i < line.length && i < 5 && "0123456789".include?(line[i])
    return nil if i == 0 || i > 4 || line[i] != "."
    line[(i + 1)..-1].to_s.strip
  end

  def self.count_of text, char
    n = 0
    text.each_char { |c| n += 1 if c == char }
    n
  end

  def docs_method_sort_order
    []
  end

  def docs_classes
    DocsOrganizer.sort_docs_classes!
    list = $docs_classes.map { |klass| "** #{DocsOrganizer.class_name klass}.docs" }.join("\n")
    "\n* DOCS:\nHere are the classes that have documentation. You can call the .docs method\non any of these classes:\n#{list}\n"
  end

  def docs
    own_name = DocsOrganizer.class_name(self)
    topics = DocsOrganizer.find_methods_with_docs(self)
    lines = topics.map { |m| "** #{own_name}.#{m}" }
    lines << "** #{own_name}.docs_classes"
    return "\n* DOCS: #{own_name}\n#{lines.join("\n")}\n" unless equal?(Kernel)
    "* DOCS: #{own_name}\n" \
    "Each documented class answers its topics as methods. Invoke one by name to read it,\n" \
    "for example ~Kernel.docs_tick_count~.\n" \
    "~export_docs!~ exports every topic of every class to docs/docs.txt and docs/docs.html.\n" \
    "#{__docs_search_instructions__}" \
    "** Topics of #{own_name}\n" \
    "#{lines.join("\n")}\n" \
    "** NOTE: Invoke any of the methods above on #{own_name} to see detailed documentation.\n" \
    "** NOTE: Calling the docs_classes method will give you all classes in Playframe that contain docs.\n"
  end

  def docs_all
    DocsOrganizer.find_methods_with_docs(self).map { |m| __send__(m) }.join("\n") + "\n"
  end

  def __docs_search_instructions__
    "Search every topic for words longer than three letters, in any case:\n" \
    "#+begin_src\n  docs_search \"sprite label\"\n#+end_src\n" \
    "Or keep the topics a block accepts:\n" \
    "#+begin_src\n  docs_search { |entry| entry.include?(\"sprite\") && entry.include?(\"label\") }\n#+end_src\n" \
    "The results are also written to docs/search_results.txt.\n"
  end

  def __docs_search_help_text__
    "* DOCS: How To Search The Docs\n#{__docs_search_instructions__}"
  end

  def __docs_search_results__ words = nil, &block
    filter = nil
    if words && !words.to_s.strip.empty?
      terms = words.to_s.split(" ").select { |w| w.length > 3 }.map { |w| w.downcase }
      filter = lambda { |entry| text = entry.downcase; terms.any? { |t| text.include?(t) } }
    elsif block
      filter = block
    else
      return [__docs_search_help_text__]
    end
    DocsOrganizer.sort_docs_classes!
    classes = equal?(Kernel) ? $docs_classes : [self]
    results = []
    classes.each do |klass|
      DocsOrganizer.find_methods_with_docs(klass).each do |m|
        entry = klass.__send__(m).to_s
        results << entry if filter.call(entry)
      end
    end
    results
  end

  def docs_search words = nil, &block
    text = __docs_search_results__(words, &block).join("\n")
    found = !text.strip.empty?
    text = "* DOCS: No results found." unless found
    __docs_write__ "docs/search_results.txt", text
    log "* INFO: Search results have been written to docs/search_results.txt." if found
    "\n" + text
  end

  # On Kernel: every class's topics to docs/docs.txt and docs/docs.html. On another class:
  # its own topics (all, or those named by opts[:methods]) to a text file of its own.
  def export_docs! opts = {}
    return __docs_export_class__(opts || {}) unless equal?(Kernel)
    DocsOrganizer.sort_docs_classes!
    text = ""
    $docs_classes.each do |klass|
      log_info "Retrieving docs for #{DocsOrganizer.class_name klass}."
      text += klass.docs_all
    end
    source = $zoq ? $zoq.ffi_file.read("docs/source.txt") : nil
    text += "\n" + source if source
    converted = __docs_to_html__(text)
    written = [["docs/docs.txt", text], ["docs/docs.html", converted[:html]], ["docs/docs.css", Docs::STYLESHEET],
               ["docs/parse_log.txt", converted[:parse_log]]].map { |path, body| __docs_write__ path, body }
    return nil unless written.all?
    log_info "All docs have been exported to docs/docs.txt."
    log_info "All docs have been exported to docs/docs.html."
    nil
  end

  def __docs_export_class__ opts
    own_name = DocsOrganizer.class_name(self)
    topics = DocsOrganizer.find_methods_with_docs(self)
    # Only topics: the option must not call anything else on the class.
    topics = opts[:methods].map { |m| m.to_sym }.select { |m| topics.include?(m) } if opts[:methods]
    text = topics.map do |m|
      log_info "Getting docs for #{m}."
      __send__(m).to_s
    end.join("\n")
    # The virtual file system refuses ":" in a path.
    path = "docs/#{own_name.gsub("::", "_")}.txt"
    return nil unless __docs_write__(path, text)
    log_info "Documentation for #{own_name} has been exported to #{path}."
    __docs_offer_to_open__ path
    nil
  end

  # Leaves the command that opens the file in the console's prompt.
  def __docs_offer_to_open__ path
    runtime = $zoq
    return nil unless runtime && runtime.console
    full = File.join(runtime.get_base_dir, path)
    command = "xdg-open '#{full.gsub("'", "'\\\\''")}'"
    runtime.console.set_command_silent "$zoq.system #{command.inspect}"
  end

  def __docs_write__ path, text
    runtime = $zoq
    return false unless runtime
    return true if runtime.write_file_root(path, text)
    log_error "Couldn't write #{path}."
    false
  end

  # ---- HTML ---------------------------------------------------------------------------

  def __docs_append_true_line__ true_lines, true_line, parse_log
    line = true_line.to_s.rstrip
    parse_log << "*** True Line Result"
    parse_log << line
    true_lines << line
  end

  # Joins the lines of a paragraph or list item into one line; code blocks keep theirs.
  def __docs_true_lines__ string, parse_log
    true_lines = []
    current = ""
    source = false
    ordered = false
    parse_log << "* Processing True Lines"
    string.to_s.strip.split("\n").each do |line|
      parse_log << "** Processing line: ~#{line}~"
      if line.start_with?("#+begin_src")
        parse_log << "- PRE start detected."
        __docs_append_true_line__ true_lines, current, parse_log
        __docs_append_true_line__ true_lines, line, parse_log
        current = ""
        source = true
      elsif line.start_with?("#+end_src")
        parse_log << "- PRE end detected."
        __docs_append_true_line__ true_lines, line, parse_log
        source = false
        current = ""
      elsif source
        # Inside a code block every line is code, whatever it starts with.
        parse_log << "- In PRE."
        __docs_append_true_line__ true_lines, line, parse_log
        current = ""
      elsif line.start_with?("#+")
        parse_log << "- Directive detected."
        __docs_append_true_line__ true_lines, current, parse_log
        __docs_append_true_line__ true_lines, line, parse_log
        current = ""
      elsif line.start_with?("- ")
        parse_log << "- List item detected."
        __docs_append_true_line__ true_lines, current, parse_log
        # A blank before the next line: a continued item is words, not one glued word.
        current = line.rstrip + " "
      elsif line.start_with?("1. ")
        parse_log << "- Ordered list start detected."
        __docs_append_true_line__ true_lines, current, parse_log
        current = line.rstrip + " "
        ordered = true
      elsif ordered && Docs.numbered_item_text(line)
        parse_log << "- Ordered list item detected."
        __docs_append_true_line__ true_lines, current, parse_log
        current = line.rstrip + " "
      elsif line.strip.empty?
        parse_log << "- Blank line detected."
        ordered = false
        __docs_append_true_line__ true_lines, current, parse_log
        current = ""
      elsif Docs.heading?(line)
        parse_log << "- Header detected."
        __docs_append_true_line__ true_lines, current, parse_log
        __docs_append_true_line__ true_lines, line, parse_log
        current = ""
      else
        current += line.rstrip + " "
      end
    end
    __docs_append_true_line__ true_lines, current, parse_log unless current.empty?
    true_lines.shift if !true_lines.empty? && true_lines[0].strip.empty?
    true_lines
  end

  # Escapes the text, then adds the markup: the heading mark (at the start only) goes,
  # pairs of tildes become code spans, [[link]] becomes a link or a .gif image.
  def __docs_line_to_html__ line, parse_log
    text = line.to_s
    mark = HEADING_MARKS.find { |m| text.start_with?(m) }
    text = text[mark.length..-1] if mark
    text = Docs.escape_html(text.rstrip)
    tildes = Docs.count_of(text, "~")
    if tildes > 0 && tildes.even?
      parse_log << "- Code spans detected."
      formatted = ""
      open = false
      text.each_char do |c|
        if c == "~"
          formatted << (open ? "</code>" : "<code>")
          open = !open
        else
          formatted << c
        end
      end
      text = formatted
    end
    if text.include?("[[") && text.include?("]]")
      parse_log << "- Link detected."
      text = __docs_links_to_html__(text.gsub("[[", "[").gsub("]]", "]"))
    end
    text
  rescue Exception => e
    parse_log << "* ERROR: Failed to parse line: ~#{line}~, #{e}"
    Docs.escape_html(line.to_s.rstrip)
  end

  def __docs_links_to_html__ text
    result = ""
    rest = text
    loop do
      open = rest.index("[")
      close = open ? rest.index("]", open + 1) : nil
      unless close
        result << rest
        break
      end
      result << rest[0...open]
      url = rest[(open + 1)...close]
      result << (url.end_with?(".gif") ? "<img src='#{url}'></img>" : "<a href='#{url}'>#{url}</a>")
      rest = rest[(close + 1)..-1]
    end
    result
  end

  # Lower case, with "*", "~", "[", "]", ":" and blanks as "-"; a repeated heading gets
  # "-2", "-3"... so every link of the table of contents has one target.
  def __docs_heading_id__ line, ids
    id = ""
    line.strip.downcase.each_char { |c| id << ("*~[]: ".include?(c) ? "-" : c) }
    id = Docs.escape_html(id)
    unique = id
    n = 1
    while ids[unique]
      n += 1
      unique = "#{id}-#{n}"
    end
    ids[unique] = true
    unique
  end

  def __docs_to_html__ string
    parse_log = []
    begin
      true_lines = __docs_true_lines__(string, parse_log)
      toc = "<h1>Table Of Contents</h1>\n<ul>\n"
      content = ""
      ids = {}
      list = nil
      code = false
      close_list = lambda do
        content << (list == :ul ? "</ul>\n" : "</ol>\n") if list
        list = nil
      end
      parse_log << "* Processing HTML"
      true_lines.each do |line|
        parse_log << "** Processing line: ~#{line}~"
        if code && !line.start_with?("#+end_src")
          parse_log << "- Code line."
          # The two blanks that indent code in the source are not part of it.
          text = line.rstrip
          text = text[1..-1] if text.start_with?(" ")
          text = text[1..-1] if text.start_with?(" ")
          content << Docs.escape_html(text) << "\n"
        elsif (level = ["* ", "** ", "*** "].index { |mark| line.start_with?(mark) })
          level += 1
          parse_log << "- H#{level} detected."
          close_list.call
          id = __docs_heading_id__(line, ids)
          formatted = __docs_line_to_html__(line, parse_log)
          entry = "<li><a class='header-#{level}' href='##{id}'>#{formatted}</a></li>"
          toc << (level == 1 ? "#{entry}\n" : "#{"<ul>" * (level - 1)}#{entry}#{"</ul>" * (level - 1)}")
          content << "<h#{level} id='#{id}'>#{formatted}</h#{level}>\n"
        elsif line.start_with?("**** ")
          parse_log << "- H4 detected."
          close_list.call
          content << "<h4>#{__docs_line_to_html__(line, parse_log)}</h4>\n"
        elsif line.strip.empty?
          parse_log << "- Blank line."
        elsif line.start_with?("#+begin_src")
          parse_log << "- PRE start detected."
          close_list.call
          content << "<pre><code class=\"language-ruby\">"
          code = true
        elsif line.start_with?("#+end_src")
          parse_log << "- PRE end detected."
          content << "</code></pre>\n" if code
          code = false
          close_list.call
        elsif line.start_with?("#+begin_quote")
          parse_log << "- QUOTE start detected."
          close_list.call
          content << "<blockquote>\n"
        elsif line.start_with?("#+end_quote")
          parse_log << "- QUOTE end detected."
          content << "</blockquote>\n"
        elsif list != :ol && line.start_with?("1. ")
          parse_log << "- OL start detected."
          close_list.call
          list = :ol
          content << "<ol>\n<li>#{__docs_line_to_html__(Docs.numbered_item_text(line), parse_log)}</li>\n"
        elsif list == :ol && Docs.numbered_item_text(line)
          parse_log << "- OL item detected."
          content << "<li>#{__docs_line_to_html__(Docs.numbered_item_text(line), parse_log)}</li>\n"
        elsif line.start_with?("- ")
          parse_log << "- UL item detected."
          unless list == :ul
            close_list.call
            list = :ul
            content << "<ul>\n"
          end
          content << "<li>#{__docs_line_to_html__(line[2..-1], parse_log)}</li>\n"
        else
          parse_log << "- Paragraph detected."
          close_list.call
          content << "<p>\n#{__docs_line_to_html__(line, parse_log)}\n</p>\n"
        end
      end
      # A document that ends inside a list or a code block still closes it.
      content << "</code></pre>\n" if code
      close_list.call
      html = "<html>\n  <head>\n    <title>Zintarel Playframe Documentation</title>\n" \
             "    <link href=\"docs.css?ver=#{Time.now.to_i}\" rel=\"stylesheet\" type=\"text/css\" media=\"all\">\n" \
             "  </head>\n  <body>\n    <div id='toc'>\n#{toc}</ul>\n    </div>\n    <div id='content'>\n" \
             "#{content}    </div>\n  </body>\n</html>\n"
      { original: string, html: html, parse_log: parse_log.join("\n") + "\n" }
    rescue Exception => e
      __docs_write__ "docs/parse_log.txt", parse_log.join("\n") + "\n"
      raise "* ERROR in Docs::__docs_to_html__. #{e}"
    end
  end
end
