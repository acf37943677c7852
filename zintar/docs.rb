# Documentation attached to classes: a class that extends Docs registers itself, and each
# of its singleton methods named docs_* answers one topic as outline text.
# This is the small form the game library needs (listing, topics, a plain search and a
# text export); the HTML export and the console integration come with the docs tooling.
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
end

module Docs
  def self.extended klass
    $docs_classes ||= []
    $docs_classes << klass unless $docs_classes.include?(klass)
  end

  def self.__docs_search__ words = nil, &block
    nil
  end

  def docs_method_sort_order
    []
  end

  def docs_classes
    DocsOrganizer.sort_docs_classes!
    list = $docs_classes.map { |klass| "** #{klass.name}.docs" }.join("\n")
    "\n* DOCS:\nHere are the classes that have documentation. You can call the .docs method\non any of these classes:\n#{list}\n"
  end

  def docs
    topics = DocsOrganizer.find_methods_with_docs(self)
    lines = topics.map { |m| "** #{name}.#{m}" }
    lines << "** #{name}.docs_classes"
    if equal?(Kernel)
      "* DOCS: #{name}\n" \
      "Invoke a topic by name to read it, for example ~Kernel.docs_tick_count~.\n" \
      "~Kernel.export_docs!~ exports every topic to docs/docs.txt.\n" \
      "Search every topic with ~docs_search \"term\"~, or filter with a block:\n" \
      "~docs_search { |entry| entry.include?(\"sprite\") }~.\n" \
      "#{lines.join("\n")}\n" \
      "** NOTE: Invoke any of the methods above on #{name} to see detailed documentation.\n" \
      "** NOTE: Calling the docs_classes method will give you all classes in Playframe that contain docs.\n"
    else
      "\n* DOCS: #{name}\n#{lines.join("\n")}\n"
    end
  end

  def docs_all
    DocsOrganizer.find_methods_with_docs(self).map { |m| __send__(m) }.join("\n") + "\n"
  end

  def __docs_search_help_text__
    "* DOCS: How To Search The Docs\n" \
    "Search every topic for words longer than three letters:\n" \
    "#+begin_src\n  docs_search \"sprite label\"\n#+end_src\n" \
    "Or filter the topics with a block:\n" \
    "#+begin_src\n  docs_search { |entry| entry.include?(\"sprite\") && entry.include?(\"label\") }\n#+end_src\n"
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
    ZOQ::Log.write_root "docs/search_results.txt", text
    log "* INFO: Search results have been written to docs/search_results.txt." if found
    "\n" + text
  end

  # The text half of the export; the HTML page is written by the docs tooling.
  def export_docs! opts = {}
    DocsOrganizer.sort_docs_classes!
    text = ""
    $docs_classes.each do |klass|
      log "* INFO: Retrieving docs for #{klass.name}."
      text += klass.docs_all
    end
    source = Object.const_defined?(:FFI) ? FFI::File.new.read("docs/source.txt") : nil
    text += "\n" + source if source
    ZOQ::Log.write_root "docs/docs.txt", text
    log "* INFO: All docs have been exported to docs/docs.txt."
    text
  end
end
