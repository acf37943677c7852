module ZOQ
  # Method tracing.
  #
  # First version: nothing is traced yet, so untracing has nothing to undo.
  module Trace
    def self.trace! instance = nil
      nil
    end

    def self.untrace_classes!
      $last_method_traced = nil
      $trace_enabled = false
      nil
    end
  end
end
