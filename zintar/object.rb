# What every object in a game and in the framework has: class macros that remember
# attributes, defaulting converters, readable undefined-method errors with suggestions,
# the exception report, and a few one-liners.
module ZOQ
  # How many undefined-method errors are being described right now. An error met while
  # describing another (an inspect that calls a missing method, say) gets the plain text,
  # so the description never recurses into itself.
  module UndefinedMethod
    def self.depth
      @depth || 0
    end

    def self.depth= value
      @depth = value
    end
  end
end

# Side data for any object, keyed by its object id. Entries are never removed.
class ObjectMetadata
  def self.__meta__
    @meta ||= {}
  end

  def self.with_meta o, meta_value
    current = __meta__[o.metadata_object_id]
    if current && current != meta_value
      # Interpolation would skip the text form of a class: to_s is called by hand.
      log_important "WARNING:\nObject:\n#{o.to_s}\n\nCurrent Metadata:\n#{current.to_s}\n\nNew Metadata:\n#{meta_value.to_s}\n\nThe object (details above) already has metadata associated with it and will be over written.\n\n"
    end
    __meta__[o.metadata_object_id] = meta_value
    o
  end

  def self.meta o
    __meta__[o.metadata_object_id]
  end

  def self.meta! o
    value = __meta__[o.metadata_object_id]
    if value.nil?
      raise "* ERROR:\nNo metadata found for #{o.to_s} of type #{o.class.to_s}. Did the reference change?\n** BACKTRACE:\n#{caller.join("\n")}\n"
    end
    value
  end
end

# The object a block given to repl runs in.
class BareDefinitionsContainer
  attr_accessor :assert

  def initialize
    @assert = ZOQ::Assert.new if ZOQ.const_defined?(:Assert)
  end

  def args
    $zoq.args
  end
end

class Exception
  # The interpreter's own readers, which no game's override can make raise.
  HELD_TO_S = instance_method(:to_s) unless const_defined?(:HELD_TO_S)
  HELD_BACKTRACE = instance_method(:backtrace) unless const_defined?(:HELD_BACKTRACE)
  HELD_CLASS = Kernel.instance_method(:class) unless const_defined?(:HELD_CLASS)
  HELD_CLASS_NAME = Module.instance_method(:to_s) unless const_defined?(:HELD_CLASS_NAME)

  def __backtrace_to_org__
    ("** Backtrace:\n" + __report_backtrace__.map { |line| "*** #{line}" }.join("\n") + "\n").strip
  end

  # The message for a report. A report must be made even when the game's own message (or
  # the to_s behind it) raises: then the class, the text the exception holds, and what the
  # message raised.
  def __report_message__
    text = message
    text.is_a?(String) ? text : text.to_s
  rescue Exception => failure
    "#{__held_text__} (its message raised #{failure.__held_text__})"
  end

  # The class and the text given when the exception was made, read without the game's code.
  def __held_text__
    name = HELD_TO_S.bind(self).call
    klass = HELD_CLASS_NAME.bind(HELD_CLASS.bind(self).call).call
    name == klass ? klass : "#{klass}: #{name}"
  rescue Exception
    "an exception"
  end

  # The backtrace for a report: the interpreter's own when the game's backtrace raises or
  # is not a list of lines.
  def __report_backtrace__
    lines = backtrace
    return lines if lines.is_a?(Array) && lines.all? { |line| line.is_a?(String) }
    HELD_BACKTRACE.bind(self).call || []
  rescue Exception
    begin
      HELD_BACKTRACE.bind(self).call || []
    rescue Exception
      []
    end
  end
end

class Object
  # ---- class macros -------------------------------------------------------------------

  def self.attr_accessor *vars
    @__attributes__ ||= []
    vars.each do |var|
      name = var.to_sym
      @__attributes__ << name unless @__attributes__.include?(name)
    end
    super
  end

  def self.attr *vars
    attr_accessor(*vars)
  end

  def self.attributes
    @__attributes__ || []
  end

  # Keywords and the block are passed on as given; a failure keeps its class (also for
  # exception classes with their own initialize) and names the class that failed. A stack
  # overflow passes unchanged: constructors that recurse would otherwise add a backtrace
  # of hundreds of lines at every level.
  def self.new *args, **kw, &block
    super(*args, **kw, &block)
  rescue SystemStackError => e
    raise e
  rescue Exception => e
    raise __new_failed__(e)
  end

  def self.__new_failed__ e
    text = "#{e.message}\n* ERROR: Invocation of #{to_s}.new failed.\n** BACKTRACE:\n#{(e.backtrace || []).join("\n")}\n"
    e.exception(text)
  rescue Exception
    e
  end

  def self.attr_sprite
    include AttrSprite
  end

  def self.attr_rect
    include AttrRect
  end

  def self.attr_zoq
    include AttrZOQ
  end

  def self.zoq_args
    raise "* ERROR: zoq_args has been deprecated for the better named class macro: attr_zoq.\n** BACKTRACE:\n#{caller.join("\n")}\n"
  end

  # ---- one-liners ---------------------------------------------------------------------

  def attr_sprite
    return nil if is_a?(AttrSprite)
    self.class.__send__(:include, AttrSprite)
  end

  def attr_rect
    return nil if is_a?(AttrRect)
    self.class.__send__(:include, AttrRect)
  end

  def attr_zoq
    return nil if is_a?(AttrZOQ)
    self.class.__send__(:include, AttrZOQ)
  end

  def or other
    self ? self : other
  end

  def and other
    self ? other : self
  end

  def numeric_or_default default = 0
    is_a?(Numeric) ? self : default
  end

  def f_or_default default = 0
    is_a?(Numeric) ? to_f : default
  end

  def i_or_default default = 0
    is_a?(Numeric) ? to_i : default
  end

  def s_or_default default = ""
    self ? to_s : default
  end

  def __supports_ivars__?
    true
  end

  def fast_rand
    unless Object.class_variable_defined?(:@@fast_rand_ratios)
      @@fast_rand_ratios = (0..100).map { |i| i.fdiv(100).round(2) }
    end
    @@fast_rand_ratios.shuffle!
    @@fast_rand_ratios[0]
  end

  def ivar m
    instance_variable_get("@#{m}")
  end

  def let &block
    unless block
      raise "* ERROR: Object#let needs a block. Here's an example of how to use let:\n" \
            "The following code:\n" \
            "#+begin_src\n" \
            "  def greeting\n" \
            "    name_list = people.map do |person|\n" \
            "      \"\#{person.first} \#{person.last[0]}\"\n" \
            "    end.join(\", \")\n" \
            "\n" \
            "    \"Greetings \#{name_list}!\"\n" \
            "  end\n" \
            "#+end_src\n" \
            "Can be written as:\n" \
            "#+begin_src\n" \
            "  def greeting\n" \
            "    people.map do |person|\n" \
            "      \"\#{person.first} \#{person.last[0]}\"\n" \
            "    end.join(\", \").let do |name_list|\n" \
            "      \"Greetings \#{name_list}!\"\n" \
            "    end\n" \
            "  end\n" \
            "#+end_src\n"
    end
    block.call(self)
  end

  def associate hash = nil
    to_hash.merge(hash)
  end

  def require file
    runtime = $zoq
    # A runtime without a require of its own would land here again.
    if runtime.nil? || runtime.equal?(self)
      raise "* ERROR: ~require~ of #{file} needs the runtime's load queue."
    end
    runtime.require file
  end

  def trace! instance = nil
    if !instance && !equal?(Object)
      ZOQ::Trace.trace!(self)
    else
      ZOQ::Trace.trace!(instance)
    end
  end

  def repl &block
    BareDefinitionsContainer.new.instance_eval(&block) if block
    __zoq_console_set_command__ "$zoq.console.close", :repl_rb
  end

  def xrepl *args, &block
    nil
  end

  def comment *args, &block
    nil
  end

  def id
    nil
  end

  def primitive_marker
    nil
  end

  def metadata_object_id
    object_id
  end

  def purge_class symbol
    symbol = symbol.to_sym if symbol.is_a?(String)
    raise "* ERROR:\nPurge class requires a symbol.\n\n" unless symbol.is_a?(Symbol)
    return nil unless Object.const_defined?(symbol)
    Object.__send__(:remove_const, symbol)
  end

  # ---- text forms ---------------------------------------------------------------------

  def serialize
    __serialization_help__
    nil
  end

  def inspect
    __serialization_help__
    super
  end

  # How to make a class serialisable, told once per class under the class's name (an
  # undefined-method error inspects its receiver: a help without its id would come back
  # under every such error).
  def __serialization_help__
    klass = self.class
    return nil if klass.name.to_s.include?("ZOQ::")
    id = klass.to_s
    log_once id, ZOQ::Help.serialization_implementation_help(klass) unless ZOQ::Log.logged_once?(id)
    nil
  end

  def to_s
    id = self.class.to_s
    unless ZOQ::Log.logged_once?(id)
      log_once_info id, "The .to_s function for type [#{id}] probably doesn't look too helpful. Trying calling the .help function or .docs function. #{super}"
    end
    super
  end

  def help
    if self.class.equal?(Object)
      "\nType $zoq.help into the console.\n"
    else
      "\nCustomized help is not available for type [#{self.class.to_s}]. But, here are a list of methods that are available to invoke:\n\n#{__custom_object_methods__}\n\nIf the methods above don't provide you what you need, you should contact Zintarel about fleshing this out a bit more.\n"
    end
  end

  def __custom_object_methods__
    hidden = __object_methods__
    (methods - hidden).reject { |m| m.to_s.start_with?("__") }.sort - Object.methods
  end

  def autocomplete_methods
    __custom_object_methods__
  end

  def __object_methods__
    %i[
    define_singleton_method purge_class instance_of? raise_with_caller initialize_copy
    instance_variable_get format instance_variable_defined? instance_variable_set __printstr__
    instance_variables is_a? p kind_of? == protected_methods private_methods help open !=
    initialize object_id include Hash methods ! respond_to? yield_self send instance_eval then
    __method__ custom_methods public_methods dig itself remove_instance_variable __id__ raise
    instance_exec gets __send__ local_variables tap class singleton_class defaults block_given?
    _inspect puts global_variables getc iterator? hash to_enum printf frozen? print srand freeze
    rand extend eql? equal? sprintf clone dup to_s piano_button inspect proc private
    available_notes Float protected tick render_score public enum_for __supports_ivars__? nil?
    fast_rand or and __caller_without_noise__ __zoq_ruby_string_contains_source_file_path__?
    __pretty_print_exception__ __zoq_ruby_source_files__ String Array putsc render Integer
    queue_click_feedback here raise_method_missing_better_error input_mouse define_method
    method_missing lambda === fail require __case_eqq caller numeric_or_default !~ calc
    class_defined? singleton_methods ` loop __object_methods__ __custom_object_methods__ < <= <=> >
    >= __to_int __to_str alias_method ancestors append_features attr attr_accessor attr_reader
    attr_writer better_instance_information class_eval class_exec class_variable_defined?
    class_variable_get class_variable_set class_variables comment const_defined? const_get
    const_missing const_set constants eval exit extend_object extended f_or_default i_or_default
    include? included included_modules instance_method instance_methods log log_important log_info
    log_once log_once_info log_print metadata_object_id method method_defined? method_removed
    module_eval module_exec module_function name original_puts prepend prepend_features prepended
    primitive_marker raise_error_with_kind_of_okay_message raise_immediately remove_class_variable
    remove_const remove_method repl s_or_default serialize singleton_class? singleton_method sleep
    trace! undef_method usleep xrepl associate better_class_hierarchy_information id ios ios=
    log_black log_blue log_bright_black log_bright_blue log_bright_cyan log_bright_green
    log_bright_magenta log_bright_red log_bright_white log_bright_yellow log_cyan log_green
    log_magenta log_red log_reset_color log_white log_with_color log_yellow metadata metadata=
    autocomplete_methods attributes log_error
    ]
  end

  def better_instance_information
    "#{self.to_s} #{self.class.to_s}"
  end

  def better_class_hierarchy_information
    return [Kernel] if equal?(Kernel)
    list = if equal?(NIL)
             [NilClass]
           elsif is_a?(Module)
             [self] + ancestors
           else
             # Numbers and symbols cannot have a singleton class: their class stands in.
             klass = __zoq_singleton_class_or_nil__
             klass ? [self.class, klass] + klass.ancestors : [self.class] + self.class.ancestors
           end
    list.uniq.reject do |c|
      c.inspect.include?("Deprecated") || c.equal?(Kernel) || c.equal?(Object) || c.equal?(BasicObject)
    end
  end

  def __help_contract_implementation contract_methods
    implemented = contract_methods.select { |m| respond_to?(m) }
    missing = contract_methods.reject { |m| respond_to?(m) }
    { contract_methods: contract_methods, implemented_methods: implemented,
      not_implemented_methods: missing, all_methods_implemented: missing.empty?, exception: nil }
  rescue Exception => e
    { exception: e }
  end

  def __zoq_ruby_source_files__
    ["object.rb", "layout.rb", "layout_juiced.rb", "zintar.rb"]
  end

  def __zoq_ruby_string_contains_source_file_path__? s
    __zoq_ruby_source_files__.any? { |file| s.include?(file) }
  end

  def __caller_without_noise__
    caller.reject { |line| __zoq_ruby_string_contains_source_file_path__?(line) }
  end

  def raise_immediately e, m, *args
    puts e.to_s.rstrip if e
    text = "** value: #{self.to_s}\n** type: #{self.class.to_s}\n** method: :#{m}\n** args: #{args}\n** docs: $zoq.docs.#{m}\n"
    raise(e.is_a?(Exception) ? e.exception(text) : text)
  end

  def raise_with_caller e, inner_exception = nil
    log inner_exception if inner_exception
    raise e
  end

  def __pretty_print_exception__ e, inner_exception = nil
    quiet = is_a?(ZOQ) || is_a?(TopLevelView)
    class_info = quiet ? "" : "\n" + self.class.to_s
    message = e.__report_message__
    if inner_exception
      inner = inner_exception.is_a?(Exception) ? inner_exception.__report_message__ : inner_exception
      text = "* EXCEPTION:\n#{message}\n* INNER EXCEPTION: #{inner}\n#{class_info}"
    elsif class_info.empty? && !message.strip.include?("\n")
      text = "* EXCEPTION: #{message}\n" + e.__backtrace_to_org__
    else
      text = "* EXCEPTION:\n#{message}#{class_info}\n" + e.__backtrace_to_org__
    end
    traced = $last_method_traced
    if traced
      stack = ($trace_history || []).map { |v| "*** #{v[0]}(#{v[1]})" }.join("\n")
      text = "* ERROR:\n" + text + "\n** Method: " + traced.to_s.gsub("trace_original_", "").gsub("__", "") +
             "\n** Call Stack:\n" + stack + "\n"
    end
    log text.rstrip + " (#{Kernel.global_tick_count})"
    log_info "Trace data exported to logs/trace.txt." if traced
    text
  end

  # ---- undefined methods --------------------------------------------------------------

  def method_missing name, *args, &block
    method_missing_core(name, *args, &block)
  end

  def method_missing_core name, *args, &block
    return __try_invoke_docs_method__(name, *args, &block) if __looks_like_docs__?(name, *args)

    if name == :* && args.length > 0 && args[0].is_a?(Enumerable)
      raise "* ERROR:\nYou attempted to do multiplication on #{self.class.to_s}. This construct\ndoesn't support multiplication. What's interesting is the\narguments sent is Enumerable... which implies that you probably\nment to send \"spat args\", but are missing a comma. Look for a\nsplat operator next to the following instance:\n#{better_instance_information}.\n\n"
    end

    if self.class.equal?(Object)
      command = "        $zoq.grep_source [\n          \".#{name}\", ''\n        ]\n".gsub("\n", " ")
      command = command.gsub("  ", " ") while command.include?("  ")
      __zoq_console_set_command__ command.strip
      if name == :args
        raise "* ERROR:\nUndefined method args for #{self.to_s}. Did you forget to pass in args as a parameter?\n\n"
      end
      raise "* ERROR:\nUndefined method #{name} for #{self.to_s}.\n\n"
    end

    raise_method_missing_better_error(name, *args, &block)
  end

  def __normalized_docs_method__ name
    return :docs_search if name == :doc_search
    return :docs if name == :doc
    name.to_s.gsub("doc_", "docs_").to_sym
  end

  def __looks_like_docs__? name, *args
    normalized = __normalized_docs_method__(name)
    return true if normalized == :docs
    return false unless normalized.to_s.include?("docs_")
    __zoq_defines__?(normalized) || self.class.__zoq_defines__?(normalized)
  end

  def __try_invoke_docs_method__ name, *args, &block
    normalized = __normalized_docs_method__(name)
    return __send__(normalized, *args, &block) if __zoq_defines__?(normalized)
    return self.class.__send__(normalized, *args, &block) if self.class.__zoq_defines__?(normalized)
    raise "* ERROR:\nUnable to find documentation named #{normalized} on either the instance #{self.to_s} or the class #{self.class.name}.\n\n"
  end

  def raise_method_missing_better_error name, *args, &block
    depth = ZOQ::UndefinedMethod.depth
    if depth > 0
      raise "* ERROR:\nUnhandled method_missing with name :#{name} was invoked on #{self.class.inspect}.\n\n"
    end
    text = nil
    begin
      ZOQ::UndefinedMethod.depth = depth + 1
      begin
        hierarchy = better_class_hierarchy_information
        text = "* ERROR:\nUnhandled method_missing with name :#{name}, args #{args} was invoked on #{hierarchy}.\nself#inspect:\n#{self.inspect}\nThe method named :#{name} doesn't exist on #{hierarchy}.\n\n#{__zoq_did_you_mean__(name)}\n\n"
      rescue Exception => e
        raise_error_with_kind_of_okay_message(e, name, args)
      end
    ensure
      ZOQ::UndefinedMethod.depth = depth
    end
    raise text
  end

  def raise_error_with_kind_of_okay_message e, name, args
    text = nil
    begin
      text = "* ERROR:\n** method_missing: #{name}\n** instance:       #{self.to_s}\n** on class:       #{self.class.to_s}\n** with modules:   #{self.class.included_modules}\n** with values:    #{self.to_s}\n** given args:     #{args}\n** exception:      #{e}\n** backtrace:\n#{(e.backtrace || []).join("\n")}\n"
    rescue Exception => second
      raise second.exception("#{e}, #{name}, #{args}")
    end
    raise e.exception(text)
  end

  # The runtime's did-you-mean text. Without a runtime (start-up, tests) there is none:
  # asking nil for it would land in method_missing again.
  def __zoq_did_you_mean__ name
    runtime = $zoq
    return "" unless runtime && runtime.__zoq_defines__?(:grep_did_you_mean)
    runtime.grep_did_you_mean(self, name)
  end

  def docs
    klass = self.class
    return klass.docs if klass.is_a?(Docs)
    name = klass.name
    "* DOCS ERROR: #{name} does not have any documentation.\n" \
    "To add documentation:\n" \
    "1. Create a file called CLASSNAME_docs.rb and define a module named ~#{name}Docs~.\n" \
    "2. Open up #{name}, ~extend Docs~ and ~extend #{name}Docs~.\n" \
    "3. Create methods starting with the word docs_.\n" \
    "** Example\n" \
    "If you had a class called ~Person~, the documentation would look like:\n" \
    "#+begin_src\n" \
    "  module PersonDocs\n" \
    "    def docs_class\n" \
    "  <<-HEREDOC\n" \
    "  * DOCS: Person\n" \
    "  The person class can be used to say hello.\n" \
    "  HEREDOC\n" \
    "    end\n" \
    "\n" \
    "    def docs_say_hello\n" \
    "  <<-HEREDOC\n" \
    "  * DOCS: Person#say_hello\n" \
    "  Make the person say hello.\n" \
    "  HEREDOC\n" \
    "    end\n" \
    "  end\n" \
    "\n" \
    "  class Person\n" \
    "    extend Docs\n" \
    "    extend PersonDocs\n" \
    "\n" \
    "    def say_hello\n" \
    "      puts \"hello\"\n" \
    "    end\n" \
    "  end\n" \
    "#+end_src\n"
  end

  # ---- plumbing -----------------------------------------------------------------------

  def __zoq_singleton_class_or_nil__
    singleton_class
  rescue StandardError
    nil
  end

  # Whether the object has a real method of that name (respond_to_missing? not asked).
  # Plain objects are not given a singleton class just to ask.
  def __zoq_defines__? m
    return singleton_class.method_defined?(m) if is_a?(Module)
    self.class.method_defined?(m) || singleton_methods.include?(m)
  end

  # Puts a command into the console's prompt when there is a console to take it.
  def __zoq_console_set_command__ command, reason = nil
    runtime = $zoq
    return nil unless runtime && runtime.__zoq_defines__?(:console)
    console = runtime.console
    return nil unless console && console.__zoq_defines__?(:set_command)
    reason ? console.set_command(command, reason) : console.set_command(command)
  end
end

# nil and false hold no instance variables and have no source files.
[NilClass, FalseClass].each do |klass|
  klass.class_eval do
    def __supports_ivars__?
      false
    end

    def fast_rand
      rand
    end

    def __zoq_ruby_source_files__
      []
    end
  end
end
