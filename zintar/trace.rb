module ZOQ
  # Method tracing: trace! wraps the methods an object's class defines itself, so that each
  # call is written with its arguments, nesting, duration and outcome to "logs/trace.txt".
  module Trace
    IGNORED_METHODS = [
      :define_singleton_method, :raise_immediately, :instance_of?, :raise_with_caller, :initialize_copy,
      :class_defined?, :instance_variable_get, :format, :purge_class, :instance_variable_defined?,
      :metadata_object_id, :instance_variable_set, :__printstr__, :instance_variables, :is_a?, :p, :kind_of?,
      :==, :log_once, :protected_methods, :log_once_info, :private_methods, :open, :!=, :initialize, :object_id,
      :Hash, :methods, :tick, :!, :respond_to?, :yield_self, :send, :instance_eval, :then, :__method__, :__send__,
      :log_print, :dig, :itself, :log_info, :remove_instance_variable, :raise, :public_methods, :instance_exec,
      :gets, :local_variables, :tap, :__id__, :class, :singleton_class, :block_given?, :_inspect, :puts,
      :global_variables, :getc, :iterator?, :hash, :to_enum, :printf, :frozen?, :print, :original_puts, :srand,
      :freeze, :rand, :extend, :eql?, :equal?, :sprintf, :clone, :dup, :to_s, :primitive_determined?, :inspect,
      :primitive?, :help, :__object_methods__, :proc, :__custom_object_methods__, :Float, :enum_for,
      :__supports_ivars__?, :nil?, :fast_rand, :or, :and, :__caller_without_noise__,
      :__zoq_ruby_string_contains_source_file_path__?, :__pretty_print_exception__, :__zoq_ruby_source_files__,
      :String, :log, :Array, :putsc, :Integer, :===, :here, :raise_error_with_kind_of_okay_message,
      :better_instance_information, :lambda, :fail, :method_missing, :__case_eqq, :caller,
      :raise_method_missing_better_error, :require, :singleton_methods, :!~, :loop, :numeric_or_default, :`,
      :state, :inputs, :outputs, :args=, :grid, :zoq, :zintar, :args, :passes, :tick, :grep_source,
      :grep_source_file, :numeric_or_default, :f_or_default, :s_or_default, :i_or_default, :comment,
      :primitive_marker, :xrepl, :repl
    ].freeze

    # The buffer is written out once it holds this many pieces, so a long traced stretch
    # without a flush does not keep growing in memory.
    BUFFER_PIECES = 2000
    # A call's parameter text is cut at this length.
    PARAMETERS_MAX = 500
    # "logs/trace.txt" stays at or under this size: past it, the older half is dropped.
    FILE_MAX = 1024 * 1024
    TRACE_FILE = "logs/trace.txt"
    HINT = "Add trace!(SOMEOBJECT) to the top of ~tick~ and this file will be populated with invocation information.\n"

    # Module state: the traced classes, the wrapper put in place of each method (to tell
    # whether it is still there), what the trace file holds, and whether the tracer itself
    # is at work (traced methods it reaches then run untraced).
    @traced_classes ||= []
    @wrappers ||= {}
    @busy = false

    extend self

    def traced_classes
      @traced_classes
    end

    def mark_class_as_traced! klass
      traced_classes << klass
    end

    def trace_method_name_for m
      :"__trace_original_#{m}__"
    end

    def original_method_name_for m
      text = m.to_s
      prefix = "__trace_original_"
      return m unless text.start_with?(prefix) && text.end_with?("__") && text.length > prefix.length + 2
      text[prefix.length..-3].to_sym
    end

    def filter_methods_to_trace methods
      methods.reject { |m| m.to_s.start_with?("__trace_") || IGNORED_METHODS.include?(m) }
    end

    def busy?
      @busy
    end

    # Runs the block as the tracer's own work: traced methods it reaches are not traced.
    def quietly
      return yield if @busy
      @busy = true
      begin
        yield
      ensure
        @busy = false
      end
    end

    def trace! instance = nil
      quietly do
        $trace_history ||= []
        $trace_enabled = true
        $trace_call_depth ||= 0
        # What was measured is written out before the statistics start afresh.
        flush_trace
        $trace_performance = {}
        instance ||= $top_level
        klass = instance.class
        next nil if traced_classes.include?(klass)
        names = filter_methods_to_trace klass.instance_methods(false)
        klass.send(:attr_accessor, :__trace_call_depth__) unless klass.method_defined?(:__trace_call_depth__)
        names.each do |m|
          klass.send(:alias_method, trace_method_name_for(m), m)
          buffer "Tracing #{m} on #{klass}.\n"
          define_wrapper klass, instance, m
          @wrappers[[klass, m]] = klass.instance_method(m)
        end
        mark_class_as_traced! klass
        nil
      end
    end

    def define_wrapper klass, instance, m
      original = trace_method_name_for m
      key = "#{instance.class}##{m}"
      klass.send(:define_method, m) do |*args, **kw, &block|
        next __send__(original, *args, **kw, &block) if ZOQ::Trace.busy?
        tab = ZOQ::Trace.call_started instance, m, original, args, kw
        begin
          result = __send__(original, *args, **kw, &block)
        rescue Exception => e
          ZOQ::Trace.call_failed instance, m, tab, e
          raise e
        end
        ZOQ::Trace.call_returned instance, m, key, tab
        result
      end
    end

    # Answers the call's indentation; the start time waits on the instance's depth record.
    def call_started instance, m, original, args, kw
      quietly do
        depth = instance.__trace_call_depth__ || 0
        $trace_history = [] if depth == 0
        tab = " " * (8 * depth)
        depth += 1
        instance.__trace_call_depth__ = depth
        $trace_call_depth = depth
        parameters = parameter_text args, kw
        buffer "\n  #{tab}#{m}(#{parameters})"
        $last_method_traced = original
        $trace_history << [m, parameters]
        starts << Time.new
        tab
      end
    end

    def starts
      $trace_starts ||= []
    end

    def parameter_text args, kw
      all = kw.empty? ? args : args + [kw]
      text = all.to_s[1..-2].to_s
      text.length > PARAMETERS_MAX ? text[0, PARAMETERS_MAX] + "..." : text
    rescue Exception
      "(unprintable)"
    end

    def call_returned instance, m, key, tab
      quietly do
        started = starts.pop
        duration = started ? ((Time.new - started) * 1000).round(2) : 0
        times = ($trace_performance ||= {})[key] ||= { min: 100000, max: 0, avg: 0, sum: 0, count: 0 }
        times[:min] = duration if duration < times[:min]
        times[:max] = duration if duration > times[:max]
        times[:count] += 1
        times[:sum] += duration
        times[:avg] = times[:sum] / times[:count]
        depth = leave instance
        buffer "\n #{tab} #{duration > 10 ? "!!! " : ""}#{duration}ms success: #{m}"
        if depth == 0
          buffer "\n"
          $trace_history = []
        end
        nil
      end
    end

    def call_failed instance, m, tab, e
      quietly do
        starts.pop
        depth = leave instance
        buffer "\n #{tab} failed: #{m}"
        if depth == 0
          buffer "\n #{tab}         #{e}"
          buffer "\n"
        end
        $trace_call_depth = 0
        flush_trace true
        nil
      end
    end

    def leave instance
      depth = (instance.__trace_call_depth__ || 0) - 1
      depth = 0 if depth < 0
      instance.__trace_call_depth__ = depth
      $trace_call_depth = depth
      depth
    end

    def buffer text
      pieces = ($trace_puts ||= [])
      pieces << text
      write_pieces if pieces.length >= BUFFER_PIECES
    end

    # Writes what the buffer holds as it is, between flushes.
    def write_pieces
      pieces = $trace_puts
      return if pieces.nil? || pieces.empty?
      text = pieces.join
      pieces.clear
      append_to_file text
    end

    def trace_times_string
      rows = ($trace_performance || {}).to_a.sort { |a, b| b[1][:avg] <=> a[1][:avg] }
      rows.map do |method_name, times|
        "#{method_name}: #{times[:sum].round(2)}/#{times[:count]} #{times[:min]}ms min, #{times[:avg].round(2)}ms avg, #{times[:max]}ms max"
      end.join("\n")
    end

    def flush_trace pad_with_newline = false
      quietly do
        $trace_puts ||= []
        puts "(Trace info flushed!)"
        unless $trace_puts.empty?
          # Blank lines around are dropped; the first line keeps its indentation.
          text = $trace_puts.join.rstrip
          first = 0
          first += 1 while text[first] == "\n"
          text = text[first..-1] + "\n" + trace_times_string.strip + "\n"
          $trace_puts.clear
          text = "\n" + text if pad_with_newline
          append_to_file text
        end
        nil
      end
    end

    # Appends to the trace file, keeping it at or under FILE_MAX: past that the file is
    # written again from the newer half of what it held.
    def append_to_file text
      runtime = $zoq
      return unless runtime
      held = @file_text
      if held.nil?
        held = runtime.read_file(TRACE_FILE) || ""
        held = held[-FILE_MAX..-1] if held.length > FILE_MAX
      end
      text = text[-(FILE_MAX / 2)..-1] if text.length > FILE_MAX / 2
      # Each piece starts on a line of its own.
      text = "\n" + text unless held.empty? || held.end_with?("\n") || text.start_with?("\n")
      if held.length + text.length <= FILE_MAX
        held << text
        runtime.append_file_root TRACE_FILE, text
      else
        kept = held[-(FILE_MAX / 2)..-1] || held
        line_end = kept.index("\n")
        kept = kept[(line_end + 1)..-1] if line_end
        held = "(Older trace lines were dropped: this file keeps the newest #{FILE_MAX / 1024} KiB.)\n" + kept + text
        runtime.write_file_root TRACE_FILE, held
      end
      @file_text = held
    rescue Exception => e
      original_puts "* ERROR: Writing #{TRACE_FILE} failed: #{e}"
    end

    def untrace_classes!
      quietly do
        traced_classes.each do |klass|
          filter_methods_to_trace(klass.instance_methods(false)).each do |m|
            original = trace_method_name_for m
            next unless klass.method_defined?(original)
            # A method redefined while traced keeps its new definition.
            next unless klass.instance_method(m) == @wrappers[[klass, m]]
            klass.send(:alias_method, m, original)
          end
          if klass.instance_methods.include?(:__trace_call_depth__)
            [:__trace_call_depth__, :__trace_call_depth__=].each do |accessor|
              klass.send(:remove_method, accessor) if klass.instance_methods(false).include?(accessor)
            end
          end
        end
        @wrappers.clear
        $last_method_traced = nil
        traced_classes.clear
        $trace_enabled = false
        runtime = $zoq
        if runtime && !runtime.production
          runtime.write_file_root TRACE_FILE, HINT
          @file_text = HINT.dup
        end
        nil
      end
    end
  end
end
