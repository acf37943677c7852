# The developer's log: every message goes to "logs/log.txt", standard output and (through
# the runtime's low-level log) the console. Production writes nothing here.
unless Object.const_defined?(:XTERM_COLOR)
  XTERM_COLOR = {
    black: "\x1b[30m", red: "\x1b[31m", green: "\x1b[32m", yellow: "\x1b[33m",
    blue: "\x1b[34m", magenta: "\x1b[35m", cyan: "\x1b[36m", white: "\x1b[37m",
    bright_black: "\x1b[30;1m", bright_red: "\x1b[31;1m", bright_green: "\x1b[32;1m",
    bright_yellow: "\x1b[33;1m", bright_blue: "\x1b[34;1m", bright_magenta: "\x1b[35;1m",
    bright_cyan: "\x1b[36;1m", bright_white: "\x1b[37;1m", reset: "\x1b[0m"
  }
end

module ZOQ
  class Log
    def self.production?
      runtime = $zoq
      runtime && runtime.production ? true : false
    end

    # Appends to (or writes) a file of the root (write) directory through the runtime's file
    # wrapper; nothing before the runtime exists.
    def self.append_root path, text
      runtime = $zoq
      runtime.append_file_root path, text if runtime
    end

    def self.write_root path, text
      runtime = $zoq
      runtime.write_file_root path, text if runtime
    end

    def self.notify message
      runtime = $zoq
      runtime.notify! message if runtime
    end

    # The runtime's low-level log (standard output and console), or the core puts before
    # the runtime exists.
    def self.runtime_log obj, sender = nil
      runtime = $zoq
      if !runtime
        original_puts obj
      elsif sender
        runtime.log obj, sender
      else
        runtime.log obj
      end
    end

    def self.puts *args
      write_to_log_and_puts(args[1] ? args[1] : args[0])
    end

    def self.write_to_log_and_puts *args
      return nil if production?
      append_root "logs/log.txt", args.join("\n") + "\n"
      args.each { |obj| runtime_log obj, ZOQ::Log }
      nil
    end

    def self.print *args
      write_to_log_and_print(*args)
    end

    def self.write_to_log_and_print *args
      return nil if production?
      append_root "logs/log.txt", args.join("\n")
      args.each { |obj| __printstr__ obj.to_s }
      nil
    end

    def self.puts_important *args
      return nil if production?
      append_root "logs/log.txt", args.join("\n") + "\n"
      notify "Important notification occurred."
      args.each { |obj| runtime_log obj }
      nil
    end

    def self.titled kind, args
      title = args[0]
      additional = args.length > 1 ? args[1..-1] : ""
      if !title.to_s.include?("\n") && join_lines(additional).include?("\n")
        headline("#{kind}: #{title}") { dynamic_block { additional } }
      elsif title.to_s.include?("\n")
        headline("#{kind}: ") { dynamic_block { args } }
      else
        "* #{kind}: #{title} #{additional}".strip
      end
    end

    def self.puts_info *args
      puts titled("INFO", args)
    end

    def self.puts_error *args
      puts titled("ERROR", args)
    end

    def self.once_table
      @once_table ||= {}
    end

    def self.replaying_or_recording?
      runtime = $zoq
      return false unless runtime
      arguments = runtime.cli_arguments
      arguments.key?(:replay) || arguments.key?(:record)
    end

    def self.logged_once? *ids
      once_table["#{ids}"] ? true : false
    end

    def self.puts_once *ids, message
      key = "#{ids}"
      return nil if once_table[key]
      once_table[key] = true
      id = ids.join(", ")
      unless replaying_or_recording?
        notify "Open the Zintarel Console by pressing [`] [~] [²] [^] [º] or [§]. [Message ID: #{id}]."
      end
      write_to_log_and_puts ""
      write_to_log_and_puts message.to_s.strip
      write_to_log_and_puts ""
      write_to_log_and_puts "[Message ID: #{id}]"
      write_to_log_and_puts ""
      nil
    end

    def self.puts_once_info *ids, message
      key = "#{ids}"
      return nil if once_table[key]
      once_table[key] = true
      puts_info message
    end

    def self.headline name
      body = join_lines(yield)
      "* " + name + "\n" + body.split("\n").map { |line| "  " + line }.join("\n")
    end

    def self.dynamic_block
      "#+BEGIN:\n" + join_lines(yield) + "\n#+END:\n\n"
    end

    def self.join_lines args
      return args if args.is_a?(String)
      return args.to_s unless args.is_a?(Array)
      return "" if args.empty?
      return args[0].to_s if args.length == 1
      args.map { |a| a.to_s }.join("\n")
    end

    def self.multiline? *args
      return true if args.length > 1
      args[0].to_s.include?("\n")
    end
  end
end

class Object
  def log *args
    # $zoq.log is the runtime's low-level log (print, then console). Until the runtime
    # defines its own, it lands here and must print rather than loop back through ZOQ::Log.
    return original_puts(args[0]) if !args.empty? && equal?($zoq)
    ZOQ::Log.puts(*args)
  end

  def log_info *args
    ZOQ::Log.puts_info(*args)
  end

  def log_error *args
    ZOQ::Log.puts_error(*args)
  end

  def log_important *args
    ZOQ::Log.puts_important(*args)
  end

  def log_print *args
    ZOQ::Log.print(*args)
  end

  def log_once *ids, message
    ZOQ::Log.puts_once(*ids, message)
  end

  def log_once_info *ids, message
    ZOQ::Log.puts_once_info(*ids, message)
  end

  def log_with_color xterm_escape_code, *args
    log_print xterm_escape_code
    log(*args)
  ensure
    log_reset_color
  end

  def log_reset_color
    log_print XTERM_COLOR[:reset]
  end

  [:black, :red, :green, :yellow, :blue, :magenta, :cyan, :white, :bright_black, :bright_red,
   :bright_green, :bright_yellow, :bright_blue, :bright_magenta, :bright_cyan, :bright_white].each do |color|
    define_method("log_#{color}") { |*args| log_with_color XTERM_COLOR[color], *args }
  end
end
