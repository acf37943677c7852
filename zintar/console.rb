module ZOQ
  module ConsoleDeprecated
    def addtext *args
      raise "* ERROR: ~Console#addtext~ has been renamed to Console#add_text.\n"
    end

    def addsprite *args
      raise "* ERROR: ~Console#addsprite~ has been renamed to Console#add_sprite.\n"
    end
  end

  # The developer console: a log of what the game and the runtime print, a Ruby prompt
  # evaluated in the running interpreter, a history kept across runs, a button menu and
  # toasts. It slides down over the game and, while open, takes the keyboard from it.
  class Console
    include ConsoleDeprecated

    class Color
      def initialize rgba
        rgba = rgba.to_a
        @rgba = rgba.length == 3 ? rgba + [255] : rgba.dup
      end

      def r
        @rgba[0]
      end

      def g
        @rgba[1]
      end

      def b
        @rgba[2]
      end

      def a
        @rgba[3]
      end

      def mult_alpha m
        Color.new [@rgba[0], @rgba[1], @rgba[2], (@rgba[3] * m).to_i]
      end

      def to_a
        @rgba
      end

      def to_h
        { r: @rgba[0], g: @rgba[1], b: @rgba[2], a: @rgba[3] }
      end
    end

    class FontStyle
      attr_reader :font, :size_enum, :line_height

      # In parentheses: this parser reads the line after a trailing required keyword as
      # that keyword's default value.
      def initialize(font:, size_enum:, line_height:)
        @font = font
        @size_enum = size_enum
        @line_height = line_height
      end

      def letter_size
        @letter_size ||= $zoq.calcstringbox("W", @size_enum, @font)
      end

      # A font that cannot be measured still gets lines one can count.
      def line_height_px
        @line_height_px ||= begin
          height = letter_size[1].to_i
          (height < 1 ? 16 : height) * @line_height
        end
      end

      def label x:, y:, text:, color:, alignment_enum: 0
        { x: x, y: y + line_height_px, text: text, font: @font, size_enum: @size_enum, alignment_enum: alignment_enum,
          r: color.r, g: color.g, b: color.b, a: color.a, primitive_marker: :label }
      end
    end

    HISTORY_FILE = "console_history.txt".freeze
    QUIT_COMMANDS = ["quit", ":wq", ":q!", ":q", ":wqa"].freeze
    ERROR_MARKERS = ["exception:", "error:", "undefined method", "failed", "syntax", "deprecated"].freeze
    SUBDUED_MARKERS = ["reloaded", "exported the", "~require~"].freeze
    HEADER_STARTS = ["* ", "** ", "*** ", "**** "].freeze
    TOGGLE_KEY_NAMES = [:backtick, :tilde, :superscript_two, :section_sign, :ordinal_indicator, :circumflex].freeze

    attr_accessor :show_reason, :log, :logo, :background_color, :text_color, :animation_duration, :max_log_lines,
                  :max_history, :last_command_errored, :last_command, :error_color, :shown_at, :header_color,
                  :archived_log, :last_log_lines, :last_log_lines_count, :suppress_left_arrow_behavior,
                  :command_set_at, :toast_ids, :bottom, :font_style, :menu

    def initialize
      @font_style = FontStyle.new(font: "font.ttf", size_enum: -1, line_height: 1.1)
      @menu = Menu.new self
      @disabled = false
      @log_offset = 0
      @visible = false
      @toast_ids = []
      @archived_log = []
      @log = ["Console ready."]
      @max_log_lines = 1000
      @max_history = 1000
      @log_invocation_count = 0
      @command_history = []
      @command_history_index = -1
      @nonhistory_input = ""
      @logo = "console-logo.png"
      @history_fname = HISTORY_FILE
      @background_color = Color.new [0, 0, 0, 224]
      @text_color = Color.new [255, 255, 255]
      @error_color = Color.new [200, 50, 50]
      @header_color = Color.new [100, 200, 220]
      @animation_duration = 1.seconds
      @shown_at = -1
      # The slide runs on the console's own frame count: the global tick stands still until
      # the game is ready, and a console opened by a broken main.rb must still slide in.
      @frames = 0
      @toggled_at = nil
      @toggled_at_frame = nil
      @toast_started_at = nil
      @toast_duration = 0
      @last_log_lines = nil
      @last_log_lines_count = 1
      @last_sprite_index = nil
      @last_sprite_entry = nil
      @scroll_inertia = 0.0
      @prompt = nil
      @console_text_width = nil
      @color_cache = {}
      # The colour of each line of a wrapped entry, by the line's object: the whole entry's.
      @wrapped_line_colors = {}
      load_history
    end

    # ---- visibility ------------------------------------------------------------------

    def show reason = nil
      @shown_at = Kernel.global_tick_count
      @show_reason = reason
      toggle unless @visible
      nil
    end

    def open reason = nil
      show reason
    end

    def hide
      return nil unless @visible
      toggle
      @archived_log.concat @log
      excess = @archived_log.length - @max_log_lines
      forget_wrapped_line_colors @archived_log.shift(excess) if excess > 0
      @log = []
      @show_reason = nil
      clear_toast
      nil
    end

    def close
      hide
    end

    def toggle
      @visible = !@visible
      @toggled_at = Kernel.global_tick_count
      @toggled_at_frame = @frames
      nil
    end

    def visible?
      @visible
    end

    def hidden?
      !@visible
    end

    def ready?
      @visible && !@toggled_at_frame.nil? && @toggled_at_frame + @animation_duration < @frames
    end

    def disable
      @disabled = true
      nil
    end

    def enable
      @disabled = false
      nil
    end

    def disabled?
      @disabled
    end

    def console_toggle_keys
      [:backtick!, :tilde!, :superscript_two!, :section_sign!, :ordinal_indicator!, :circumflex!]
    end

    def console_toggle_key_down? args
      args.inputs.keyboard.key_down.any? console_toggle_keys
    end

    # ---- the log ---------------------------------------------------------------------

    def add_text obj
      @log_invocation_count += 1
      lines = []
      colors = []
      width = console_text_width
      obj.to_s.split("\n").each do |line|
        wrapped = line.wrapped_lines(width)
        # A marker may fall on any line of a wrapped text: all of them take the whole's colour.
        color = wrapped.length > 1 ? color_for_log_entry(line) : nil
        if wrapped.empty?
          lines << ""
          colors << nil
        else
          wrapped.each do |part|
            lines << part.chomp
            colors << color
          end
        end
      end
      if lines.empty?
        lines << ""
        colors << nil
      end
      previous = @last_log_lines
      if previous && previous == lines && log_ends_with_last_lines?
        @last_log_lines_count += 1
        forget_wrapped_line_colors [@log[-1]]
        @log[-1] = "#{lines[-1]} (#{@last_log_lines_count})"
        remember_wrapped_line_color @log[-1], colors[-1]
        @last_log_tail = @log[-1]
      else
        lines.each_with_index do |line, i|
          append_entry line
          remember_wrapped_line_color line, colors[i]
        end
        @last_log_lines = lines
        @last_log_lines_count = 1
        @last_log_tail = @log[-1]
      end
      nil
    end

    def add_sprite obj
      @log_invocation_count += 1
      obj[:id] ||= :"id_#{obj[:path]}_#{Time.now.to_i}"
      if @last_sprite_entry && @last_sprite_entry[:id] == obj[:id] && @log[@last_sprite_index].equal?(@last_sprite_entry)
        @log[@last_sprite_index] = obj
      else
        append_entry obj
        @last_sprite_index = @log.length - 1
      end
      @last_sprite_entry = obj
      @last_log_lines = nil
      nil
    end

    def add_primitive obj
      obj.is_a?(Hash) ? add_sprite(obj) : add_text(obj)
    end

    def clear
      @archived_log.clear
      @log.clear
      @wrapped_line_colors.clear
      @last_log_lines = nil
      @last_sprite_entry = nil
      @log_offset = 0
      prompt.clear
      :console_silent_eval
    end

    def scroll_to_bottom
      @log_offset = 0
      nil
    end

    def scroll_up_full
      scroll_by lines_on_one_page
    end

    def scroll_down_full
      scroll_by(-lines_on_one_page)
    end

    def scroll_up_half
      scroll_by lines_on_one_page.div(2)
    end

    def scroll_down_half
      scroll_by(-lines_on_one_page.div(2))
    end

    # ---- toasts ----------------------------------------------------------------------

    def toast id = nil, *messages
      toast_extended id, nil, *messages
    end

    def perma_toast id = nil, messages
      toast_extended id, 600.seconds, *messages
    end

    def toast_extended id = nil, duration = nil, *messages
      unless id.is_a?(Symbol)
        raise "* ERROR:\nargs.zoq.console.toast has the following signature:\n\n  def toast id, *messages\n  end\n\nThe id property uniquely defines the message and must be\na symbol.\n\nAfter that, you can provide all the objects you want to\nlook at.\n\nExample:\n\n  args.zoq.console.toast :say_hello,\n                            \"Hello world.\",\n                            args.state.tick_count\n\nToast messages autohide after 5 seconds.\n\nIf you need to look at something for longer, use\nargs.zoq.console.perma_toast instead (which you can manually dismiss).\n\n"
      end
      return nil if currently_toasting?
      return nil if @toast_ids.include?(id)
      @toast_started_at = Kernel.global_tick_count
      log_once_info :perma_toast_tip, "Use console.perma_toast to show the toast for longer."
      computed = 300
      add_text "* toast :#{id}"
      original_puts "* TOAST: :#{id}"
      messages.each do |message|
        text = "** #{message}"
        computed += 60 * text.wrapped_lines(console_text_width).length
        add_text text
        original_puts text
      end
      show :toast
      @toast_duration += duration || computed
      @toast_ids << id
      set_command_silent "$zoq.console.hide"
      nil
    end

    def clear_toast
      @toast_started_at = nil
      @toast_duration = 0
      nil
    end

    def currently_toasting?
      return false unless @visible && @show_reason == :toast && @toast_started_at
      Kernel.global_tick_count - @toast_started_at < 300
    end

    # ---- commands and history --------------------------------------------------------

    def set_command command, show_reason = nil
      set_command_silent command, show_reason
      show show_reason
    end

    def set_command_silent command, show_reason = nil
      set_command_extended command: command, show_reason: show_reason
    end

    def set_command_with_history command, histories, show_reason = nil
      set_command_with_history_silent command, histories, show_reason
      show show_reason
    end

    def set_command_with_history_silent command, histories, show_reason = nil
      set_command_extended command: command, histories: histories, show_reason: show_reason
    end

    def set_command_extended opts
      command = opts.key?(:command) ? opts[:command] : "puts 'Hello World'"
      histories = opts[:histories] || []
      force = opts[:force]
      command = command.to_s
      histories.each { |h| @command_history << h.to_s }
      @command_history << command unless @command_history[-1] == command
      now = Kernel.global_tick_count
      prompt.current_input_str = command if force || @command_set_at != now
      @command_set_at = now
      @command_history_index = -1
      save_history
      nil
    end

    def set_system_command command, show_reason = nil
      set_command_silent "$zoq.system \"#{system_command} #{command}\"", show_reason
    end

    # What opens a file or an address on this platform.
    def system_command
      case $zoq && $zoq.platform
      when "Mac OS X" then "open"
      when "Linux" then "xdg-open"
      else "start"
      end
    end

    def current_input_str
      prompt.current_input_str
    end

    def current_input_str= str
      prompt.current_input_str = str
    end

    def prompt
      @prompt ||= Prompt.new(font_style: @font_style, text_color: @text_color, console_text_width: console_text_width)
    end

    # Newest first, as the prompt browses it.
    def history
      @command_history
    end

    def save_history
      return nil unless $zoq
      $zoq.ffi_file.write_root @history_fname, @command_history.reverse.join("\n")
      nil
    rescue Exception
      nil
    end

    # The file lists the oldest command first: the newest max_history distinct ones are kept.
    def load_history
      @command_history = []
      text = $zoq ? $zoq.ffi_file.read(@history_fname) : nil
      return nil unless text
      lines = text.split("\n")
      i = lines.length - 1
      while i >= 0 && @command_history.length < @max_history
        line = lines[i].delete("\r")
        @command_history << line unless line.empty? || @command_history.include?(line)
        i -= 1
      end
      nil
    rescue Exception
      @command_history = []
      nil
    end

    def eval_the_set_command
      cmd = prompt.current_input_str.strip
      return nil if cmd.empty?
      @log_offset = 0
      prompt.clear
      @command_history.pop while @command_history.length >= @max_history && !@command_history.empty?
      @command_history.unshift cmd
      @command_history_index = -1
      @nonhistory_input = ""
      if QUIT_COMMANDS.include?(cmd)
        $zoq.request_quit
        return nil
      end
      puts "-> #{cmd}"
      @last_command = cmd
      # The closing parenthesis goes on a line of its own, so a trailing comment stays a comment.
      result = TOP_LEVEL_EVAL.call("$results = (#{cmd}\n)")
      if result.nil?
        puts "=> nil"
      elsif !(result == :console_silent_eval)
        puts "=> " + result.to_s
      end
      @last_command_errored = false
      nil
    rescue ZOQ::ExitRequest
      # exit at the prompt: the run is ending, as with quit.
      nil
    rescue Exception => e
      begin
        try_search_docs e
        puts "* EXCEPTION: #{e.__report_message__}"
      rescue Exception => failure
        original_puts "* EXCEPTION: #{failure.__report_message__}"
      end
      nil
    end

    def try_search_docs exception
      @last_command_errored = true
      text = exception.__report_message__
      return nil unless text.include?("wrong number of arguments")
      name = method_name_of(exception).delete("'")
      return nil if name.empty? || name.include?(" ")
      results = Kernel.__docs_search_results__(name)
      return nil if results.empty?
      joined = results.join("\n")
      ZOQ::Log.write_root "docs/search_results.txt", joined
      puts joined
      puts "* INFO: #{results.length} matches(s) found in DOCS for ~#{name}~ (see above).\nYou can search the documentation yourself using the following command in the Console:\n#+begin_src ruby\n  docs_search \"#{name}\"\n#+end_src\n"
      log_once_info :exported_search_results, "The search results above has been seen in logs/puts.txt and docs/search_results.txt."
      nil
    rescue Exception => inner
      puts "* FATAL: ~ZOQ::Console#try_search_docs~\nThere was an exception searching for docs (~ZOQ::Console#try_search_docs~). You might want to let Zintarel know about this.\n** INNER EXCEPTION\n#{inner}\n"
      nil
    end

    # ---- per frame -------------------------------------------------------------------

    def tick args
      return nil if @disabled
      @frames += 1
      begin
        render args
        process_inputs args
        if should_tick?
          calc args
          prompt.tick
          @menu.tick args
        end
      rescue Exception => e
        fatal = "* FATAL: The ZOQ::Console console threw an unhandled exception and has been reset. You should report this exception (along with reproduction steps) to Zintarel."
        text = e.__report_message__
        begin
          puts text
          puts fatal
        rescue Exception
        end
        @disabled = true
        original_puts text
        original_puts fatal
      end
      nil
    end

    def should_tick?
      return false if @toggled_at_frame.nil? || @disabled || !@visible
      slide_progress > 0
    end

    def slide_progress
      return 0 if @toggled_at_frame.nil?
      start = @toggled_at_frame
      if @visible
        ZOQ::Easing.ease_extended start, @frames, start + @animation_duration, 0, 1, :flip, :quint, :flip
      else
        ZOQ::Easing.ease_extended start, @frames, start + @animation_duration, 1, 0, :flip, :quint
      end
    end

    def render args
      return nil if @toggled_at_frame.nil?
      progress = slide_progress
      return nil if progress <= 0
      reserved = args.outputs.reserved
      grid = args.grid
      top = grid.top
      left = grid.left
      right = grid.right
      lh = @font_style.line_height_px
      @bottom = top - h * progress
      bg = @background_color
      reserved << { x: left, y: @bottom, w: w, h: h, r: bg.r, g: bg.g, b: bg.b, a: (bg.a * progress).to_i,
                    primitive_marker: :solid }
      # Inside the panel's top right corner, 10 pixels from either edge.
      reserved << { x: right - 110, y: @bottom + h - 110, w: 100, h: 100, path: @logo, angle: 0,
                    a: (80 * progress).to_i, primitive_marker: :sprite }
      prompt.render args, x: left + 10, y: @bottom + 2
      y = @bottom + 2 + 1.5 * lh
      reserved << line(y: y, color: @text_color.mult_alpha(progress))
      y += lh / 2
      y = render_entries reserved, @log, y, top, left, false
      reserved << line(y: y + lh / 2, color: @text_color.mult_alpha(0.25 * progress))
      y += lh
      render_entries reserved, @archived_log, y, top, left, true
      if @log_offset > 0
        reserved << @font_style.label(x: right - 5, y: top - 5 - lh, text: "[#{@log_offset}/#{@log.length}]",
                                      color: @text_color, alignment_enum: 2)
      end
      nil
    end

    def process_inputs args
      inputs = args.inputs
      keyboard = inputs.keyboard
      if console_toggle_key_down?(args)
        inputs.text.clear
        toggle
        @toggle_key_pressed = true
      end
      # The toggle key's release belongs to the console too, also when it just closed.
      if @toggle_key_pressed && keyboard.key_up.any?(TOGGLE_KEY_NAMES)
        TOGGLE_KEY_NAMES.each { |name| keyboard.key_up.clear_key name }
        @toggle_key_pressed = false
      end
      return nil unless @visible
      inputs.text.each { |str| prompt << str }
      inputs.text.clear
      mouse_wheel_scroll args
      @log_offset = 0 if @log_offset < 0
      process_command_keys keyboard
      keyboard.key_down.clear
      keyboard.key_up.clear
      keyboard.key_held.clear
      nil
    end

    def mouse_wheel_scroll args
      mouse = args.inputs.mouse
      wheel = mouse.wheel
      if wheel && wheel.y > 0
        @scroll_inertia = 1.0
      elsif wheel && wheel.y < 0
        @scroll_inertia = -1.0
      elsif mouse.click
        @scroll_inertia = 0.0
      end
      if @scroll_inertia != 0
        @scroll_inertia *= 0.7
        @log_offset += @scroll_inertia > 0 ? -1 : 1
        @scroll_inertia = 0.0 if @scroll_inertia.abs < 0.01
      end
      clamp_offset
      nil
    end

    def calc args
      if @visible && @show_reason == :toast && @toast_started_at &&
         Kernel.global_tick_count - @toast_started_at >= @toast_duration
        hide
      end
      if !$zoq.paused && @visible && (@show_reason == :exception || @show_reason == :exception_on_load)
        hide
      end
      files = $zoq.files_reloaded
      if files && !files.empty?
        clear_toast
        @toast_ids.clear
      end
      nil
    end

    def inspect
      "#<ZOQ::Console>"
    end

    def to_s
      inspect
    end

    def serialize
      { not_supported: to_s }
    end

    private

    def w
      $zoq.logical_width
    end

    def h
      $zoq.logical_height
    end

    def console_text_width
      @console_text_width ||= begin
        letter = @font_style.letter_size[0]
        letter = 1 if letter.nil? || letter < 1
        width = (w - 20).div(letter)
        width < 1 ? 1 : width
      end
    end

    def lines_on_one_page
      ((h - 4) / @font_style.line_height_px).to_i
    end

    def line(y:, color:)
      grid = $zoq.args.grid
      { x: grid.left, y: y, x2: grid.right, y2: y, r: color.r, g: color.g, b: color.b, a: color.a,
        primitive_marker: :line }
    end

    # Appends one entry, dropping the oldest while the log is full.
    def append_entry entry
      forget_wrapped_line_colors [@log.shift] while @log.length > @max_log_lines
      @log << entry
    end

    def remember_wrapped_line_color line, color
      @wrapped_line_colors[line.object_id] = color if color
    end

    def forget_wrapped_line_colors lines
      lines.each { |line| @wrapped_line_colors.delete line.object_id }
    end

    def scroll_by lines
      @log_offset += lines
      clamp_offset
      nil
    end

    def clamp_offset
      @log_offset = 0 if @log_offset < 0
      @log_offset = @log.length if @log_offset > @log.length
    end

    # A repeat may only rewrite the copy still at the end of the log: a hide, clear or
    # sprite since then leaves nothing of it to replace.
    def log_ends_with_last_lines?
      lines = @last_log_lines
      n = lines.length
      return false if @log.length < n
      return false unless @log[-1].equal?(@last_log_tail)
      first = @log.length - n
      i = 0
      while i < n - 1
        return false unless @log[first + i] == lines[i]
        i += 1
      end
      true
    end

    # Newest entry first, upward from y, until the top of the screen.
    def render_entries reserved, entries, y, top, left, dimmed
      lh = @font_style.line_height_px
      index = entries.length - @log_offset - 1
      while index >= 0 && y <= top
        entry = entries.at(index)
        if entry.is_a?(Hash)
          reserved << { x: left + 10, y: y + 5, w: entry[:w], h: entry[:h], path: entry[:path],
                        primitive_marker: :sprite }
          y += entry[:h].to_i + 10
        else
          color = @wrapped_line_colors[entry.object_id] || color_for_log_entry(entry)
          color = color.mult_alpha(0.5) if dimmed
          reserved << @font_style.label(x: left + 10, y: y, text: entry, color: color)
          y += lh
        end
        index -= 1
      end
      y
    end

    def color_for_log_entry entry
      text = entry.to_s
      cached = @color_cache[text]
      return cached if cached
      @color_cache.clear if @color_cache.length > 4096
      @color_cache[text] = compute_color_for_log_entry(text)
    end

    def compute_color_for_log_entry text
      return @text_color if text.start_with?("|")
      folded = text.gsub("OutputsDeprecated", "").downcase
      return @error_color if ERROR_MARKERS.any? { |m| marker_in?(folded, m) }
      return @text_color.mult_alpha(0.5) if SUBDUED_MARKERS.any? { |m| marker_in?(folded, m) }
      return @header_color if !text.include?(".rb") && HEADER_STARTS.any? { |s| text.start_with?(s) }
      return @header_color if text.start_with?("====")
      @text_color
    end

    def marker_in? folded, marker
      folded.include?(marker) && !folded.include?(":" + marker)
    end

    def process_command_keys keyboard
      down = keyboard.key_down
      up = keyboard.key_up
      control = down.control || keyboard.key_held.control
      if down.enter
        eval_the_set_command
      elsif down.v && (control || down.meta || keyboard.key_held.meta)
        prompt << $zoq.ffi_misc.getclipboard.to_s
      elsif down.home
        prompt.move_cursor_home
      elsif down.end
        prompt.move_cursor_end
      elsif down.up
        history_older
      elsif down.down
        history_newer
      elsif down.left
        control ? prompt.move_cursor_left_word : prompt.move_cursor_left
      elsif down.right
        control ? prompt.move_cursor_right_word : prompt.move_cursor_right
      elsif down.pageup || (up.b && up.control)
        scroll_up_full
      elsif down.pagedown || (up.f && up.control)
        scroll_down_full
      elsif up.u && up.control
        scroll_up_half
      elsif up.d && up.control
        scroll_down_half
      elsif down.escape || keyboard.key_held.escape || (up.g && up.control)
        prompt.clear
        @command_history_index = -1
        @nonhistory_input = ""
      elsif down.backspace
        prompt.backspace
      elsif down.delete
        prompt.delete
      elsif down.tab
        prompt.autocomplete
      end
    end

    # The method an exception was raised in, as the interpreter's backtrace names it ("in
    # clamp"), none when the typed text raised it itself ("(eval):1:in eval"); the text before
    # the message's first ":" when there is no backtrace.
    def method_name_of exception
      line = exception.__report_backtrace__[0]
      return exception.__report_message__.split(":")[0].to_s unless line
      at = line.rindex(":in ")
      name = at ? line[(at + 4)..-1].to_s.strip : ""
      return "" if name == "eval" && line.start_with?("(eval)")
      owner_end = name.rindex("#") || name.rindex(".")
      owner_end ? name[(owner_end + 1)..-1].to_s : name
    end

    def history_older
      @nonhistory_input = prompt.current_input_str if @command_history_index == -1
      return nil unless @command_history_index < @command_history.length - 1
      @command_history_index += 1
      prompt.current_input_str = @command_history[@command_history_index].dup
    end

    def history_newer
      if @command_history_index == 0
        @command_history_index = -1
        prompt.current_input_str = @nonhistory_input
        @nonhistory_input = ""
      elsif @command_history_index > 0
        @command_history_index -= 1
        prompt.current_input_str = @command_history[@command_history_index].dup
      end
    end
  end
end

# Typed commands run with Kernel as self: at the prompt `args` is the game's args and
# `clear` clears the console. They are compiled as the top of a game file is (a block made
# here defines its methods on Object), so a method a command defines is one the next command
# can call.
unless ZOQ::Console.const_defined?(:TOP_LEVEL_EVAL)
  ZOQ::Console.const_set(:TOP_LEVEL_EVAL, lambda { |__console_command__| Kernel.eval(__console_command__) })
end

module Kernel
  def self.args
    $zoq ? $zoq.args : nil
  end

  def self.clear
    $console ? $console.clear : nil
  end
end
