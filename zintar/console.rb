module ZOQ
  # The developer console.
  #
  # First version: visibility, toasts, the command prompt's text, the log it is given and
  # the primitives handed to it are kept (so callers and tests can see them); drawing,
  # typing, history browsing and evaluation come with the developer tools.
  class Console
    attr_accessor :show_reason, :log, :archived_log, :toast_ids, :command_set_at, :shown_at, :last_command,
                  :max_log_lines, :current_input_str, :history, :primitives
    attr_reader :toasts, :tick_count

    def initialize
      @disabled = false
      @visible = false
      @toast_ids = []
      @toasts = []
      @archived_log = []
      @log = ["Console ready."]
      @primitives = []
      @max_log_lines = 1000
      @history = []
      @current_input_str = ""
      @shown_at = -1
      @tick_count = 0
    end

    def show reason = nil
      @shown_at = Kernel.global_tick_count
      @show_reason = reason
      toggle unless @visible
    end

    def open reason = nil
      show reason
    end

    def hide
      return nil unless @visible
      toggle
      @archived_log.concat @log
      @archived_log = @archived_log[-@max_log_lines..-1] if @archived_log.length > @max_log_lines
      @log = []
      @show_reason = nil
      clear_toast
    end

    def close
      hide
    end

    def toggle
      @visible = !@visible
      @toggled_at = Kernel.global_tick_count
    end

    def visible?
      @visible
    end

    def hidden?
      !@visible
    end

    def disable
      @disabled = true
    end

    def enable
      @disabled = false
    end

    def disabled?
      @disabled
    end

    def console_toggle_keys
      [:backtick!, :tilde!, :superscript_two!, :section_sign!, :ordinal_indicator!, :circumflex!]
    end

    def add_text obj
      @log << obj.to_s
      @log.shift while @log.length > @max_log_lines
      nil
    end

    def add_sprite obj
      @primitives << obj
      nil
    end

    def add_primitive obj
      obj.is_a?(Hash) ? add_sprite(obj) : add_text(obj)
    end

    def toast id = nil, *messages
      @toast_ids << id if id
      @toasts << [id, messages]
      messages.each { |message| add_text message }
      show :toast
    end

    def clear_toast
      @toasts = []
    end

    def set_command command, show_reason = nil
      set_command_silent command, show_reason
      show show_reason
    end

    def set_command_silent command, show_reason = nil
      @current_input_str = command.to_s
      @command_set_at = Kernel.global_tick_count
      nil
    end

    def save_history
      return nil if @history.empty?
      $zoq.write_file_root "console_history.txt", @history.join("\n") if $zoq
    end

    def tick args
      return nil if @disabled
      @tick_count += 1
      nil
    end
  end
end
