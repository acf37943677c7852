# The frame counters, and a puts that also reaches the log files and the console.
module Kernel
  # Set only when missing, so reloading this file keeps the running counts.
  @tick_count = -1 unless @tick_count
  @global_tick_count = -1 unless @global_tick_count

  def self.tick_count
    @tick_count
  end

  def self.tick_count= value
    @tick_count = value
  end

  def self.global_tick_count
    @global_tick_count
  end

  def self.global_tick_count= value
    @global_tick_count = value
  end

  def self.const_defined? value, *rest
    found = super(value, *rest)
    if !found && Module.const_defined?(value)
      log_once :did_you_mean_module_const_defined?,
               "* INFO: Did you mean to call ~Module::const_defined?~\n~Kernel::const_defined?~ was invoked with value ~#{value}~ and\nreturned ~false~, but ~Module::const_defined?~ returned ~true~.\n\nDid you mean to call ~Module::const_defined?~ instead of instead of\n~Kernel::const_defined?~.\n"
    end
    found
  end

  alias original_puts puts unless method_defined?(:original_puts)

  # The interpreter's own exit ends the process where it stands, from whichever thread.
  alias __process_exit__ exit unless method_defined?(:__process_exit__)

  # Ends the run through the runtime's shutdown, as a quit request does (the test summary,
  # a running recording, the console history and the log are kept), with the status given.
  # The code that called it goes no further.
  def exit status = true
    runtime = $zoq
    return __process_exit__(status) unless runtime
    runtime.exit_requested status
    raise ZOQ::ExitRequest.new(status)
  end

  # join and interpolation skip the text form of a class, which the core puts prints.
  def self.__puts_text__ obj
    obj.is_a?(Class) ? obj.to_s : obj
  end

  def puts *args
    runtime = $zoq
    if runtime
      unless ZOQ::Log.production?
        ZOQ::Log.append_root "logs/puts.txt", args.map { |obj| Kernel.__puts_text__(obj) }.join("\n") + "\n"
      end
      args.each { |obj| runtime.log obj }
    else
      original_puts(*args)
    end
    if $trace_enabled
      tab = " " * (8 * ($trace_call_depth || 0))
      $trace_puts ||= []
      $trace_puts << "\n"
      $trace_puts << args.map { |obj| "#{tab}#{Kernel.__puts_text__(obj)}" }.join("\n")
    end
    nil
  end

  def puts6 *args
    Kernel.tick_count.zmod?(6) ? puts(*args) : nil
  end

  def puts60 *args
    Kernel.tick_count.zmod?(60) ? puts(*args) : nil
  end

  def puts600 *args
    Kernel.tick_count.zmod?(600) ? puts(*args) : nil
  end

  extend Docs
  extend KernelDocs
end

module ZOQ
  # What exit raises once the runtime was asked to quit: not a StandardError, so that a
  # game's own `rescue => e` lets it through to where the run ends.
  class ExitRequest < Exception
    attr_reader :status

    def initialize status = true
      @status = status
      super(status == true ? "exit" : "exit #{status}")
    end
  end
end
