module ZOQ
  class Runtime
    # The game-facing services: logging, text measuring, the cursor and window, the console,
    # recording and replay, and the file, parsing and window methods of the FFI classes under
    # the same names.
    module Services
      def log obj, sender = nil
        original_puts obj
        if sender.nil? || (@log_level == :on && sender == ZOQ::Log)
          @console.add_text obj if @console
        end
        nil
      end

      def log_level
        @log_level || :on
      end

      def log_levels
        [:on, :off]
      end

      def log_level= value
        unless log_levels.include? value
          self.log_level = :on
          return nil
        end
        if value != @log_level
          log_important "* IMPORTANT: Log level has been changed to: [#{value}] from [#{@log_level}]."
          @log_level = value
        end
      end

      def disable_nil_coersion!
        return nil if $disable_nil_coersion
        $disable_nil_coersion = true
        NilClassFalseClass.instance_methods(false).each do |name|
          [NilClass, FalseClass].each do |klass|
            if klass.instance_methods(false).include?(name)
              klass.send(:remove_method, name)
            elsif !Object.method_defined?(name)
              klass.send(:undef_method, name)
            end
          end
        end
        nil
      end

      def game_directory file_name
        directory = @production ? "" : (cli_arguments[:zintarel] || "mygame")
        path = File.join(directory, file_name.to_s)
        path = path[1..-1] if path.start_with?("/")
        path
      end

      def calcstringbox str, size_enum = 0, font = "font.ttf"
        str = str.to_s
        measured = @ffi_misc.calcstringbox(str, 40, font.to_s) || [0, 0]
        real_points = 22 + 40 * 2
        # As the label is drawn: trunc(2 x size_enum) + 22 from the size as given, 255 outside
        # 0..254.
        twice = size_enum.to_f * 2
        twice = 0.0 if twice.nan?
        target_points = twice >= -22 && twice <= 232 ? twice.to_i + 22 : 255
        [(measured[0] * target_points / real_points.to_f + str.length * 0.2).ceil,
         (measured[1] * target_points / real_points.to_f).ceil]
      end

      def text_font
        nil
      end

      def draw_primitive p
        return nil if p.nil?
        case p.primitive_marker
        when :solid then draw_solid p
        when :sprite then draw_sprite p
        when :label then draw_label p
        when :line then draw_line p
        when :border then draw_border p
        else
          raise "* ERROR:\n#{p}\n\nI don't know how to use the above #{p.class} with SDL's FFI. Please\nadd a method on the object called ~primitive_marker~ that\nreturns :solid, :sprite, :label, :line, or :border. If the object\nis a Hash, please add { primitive_marker: :PRIMITIVE_SYMBOL } to the Hash.\n\n"
        end
      end

      def console_button_primitive
        return nil if @production || @console.visible?
        grid = args.grid
        @console_button ||= { x: grid.right - 55, y: grid.top - 50, w: 50, h: 50, path: "console-logo.png", a: 80 }
        click = args.inputs.mouse.click
        if click
          b = @console_button
          if click.x >= b[:x] && click.x <= b[:x] + b[:w] && click.y >= b[:y] && click.y <= b[:y] + b[:h]
            args.inputs.mouse.click = nil
            show_console
          end
        end
        @console_button
      end

      def print_console_activation_help
        return nil if @no_tick
        log_once :hello_world, "* INFO: Hello World!\nThis is the Zintarel Console.\nType \"docs\" and press the ENTER key for documentation.\nThis notification will not be displayed when you release your game (it only displays during development).\n"
      end

      def reset_sprite path
        @ffi_draw.unload_sprite path
      end

      def show_cursor
        return nil if @cursor_shown
        @cursor_shown = true
        @ffi_draw.toggle_cursor true
      end

      def hide_cursor
        return nil unless @cursor_shown
        @cursor_shown = false
        @ffi_draw.toggle_cursor false
      end

      def cursor_shown?
        @cursor_shown
      end

      def set_window_fullscreen enable = true
        return nil if enable.nil?
        @ffi_draw.toggle_fullscreen enable
      end

      def openurl url
        @ffi_draw.openurl url
      end

      def queue_key_up key
        @key_up_queue << key.to_sym
      end

      def write_file file_name, text
        write_and_hotload :write, file_name, text
      rescue Exception => e
        raise "* ERROR:\n~$zoq.write_file~ for #{file_name} failed.\n#{e}\n"
      end

      def append_file file_name, text
        write_and_hotload :append, file_name, text
      rescue Exception => e
        raise "* ERROR:\n~$zoq.append_file~ for #{file_name} failed.\n#{e}\n"
      end

      def write_file_root file_name, text
        write_and_hotload :write_root, file_name, text
      end

      def append_file_root file_name, text
        write_and_hotload :append_root, file_name, text
      end

      # One of FFI::File's four writers, then the reload queue hears of the file.
      def write_and_hotload writer, file_name, text
        result = @ffi_file.__send__ writer, file_name, text
        hotload_on_write_file file_name
        result
      end

      def read_file file_name
        @ffi_file.read file_name
      rescue Exception => e
        raise "* ERROR:\n~$zoq.read_file~ for #{file_name} failed.\n#{e}\n"
      end

      def load_image file_name
        @ffi_file.load_image file_name
      end

      def get_base_dir
        (@ffi_file.get_base_dir || "").strip
      end

      def get_game_dir
        (@ffi_file.get_game_dir || "").strip.gsub("//", "/")
      end

      def parse_xml xmlstr, stripcontent = true
        @ffi_misc.parse_xml xmlstr, stripcontent
      end

      def parse_xml_file fname, stripcontent = true
        @ffi_misc.parse_xml_file fname, stripcontent
      end

      def parse_json jsonstr
        @ffi_misc.parse_json jsonstr
      end

      def parse_json_file fname
        @ffi_misc.parse_json_file fname
      end

      def set_window_title newtitle
        @ffi_misc.set_window_title newtitle
      end

      def disable_console
        @console.disable
      end

      def enable_console
        @console.enable
      end

      def show_console reason = nil
        @console.show reason
      end

      def toast id, message
        @console.toast id, message
      end

      def tests
        @tests
      end

      def start_replay file_name = "last_replay.txt"
        @console.hide if read_file(file_name)
        @recording.start_replay file_name
      end

      def stop_replay
        @recording.stop_replay
      end

      def start_recording seed_value
        @console.hide
        @recording.start_recording seed_value
      end

      def stop_recording file_name = nil
        @recording.stop_recording file_name
      end

      def record_input_history name, value_1, value_2, value_count, clear_cache = false
        @recording.record_input_history name, value_1, value_2, value_count, clear_cache
      end

      def stage_replay_values
        @recording.stage_replay_values
      end

      def system cmd
        puts exec(cmd)
      end

      def exec cmd
        `#{cmd}`
      end

      def autocomplete_methods
        (ZOQ::Runtime.instance_methods - Object.instance_methods - ZOQ::Runtime::Deprecated.instance_methods)
          .reject { |name| name.to_s.start_with?("__") }.sort
      end

      # The replay shows where the recorded mouse is and where it clicked.
      def render_replay_mouse
        return unless @recording.is_replaying?
        mouse = args.inputs.mouse
        if mouse.click
          @replay_click = { at: Kernel.tick_count, x: mouse.click.x, y: mouse.click.y }
        end
        reserved = args.outputs.reserved
        x = mouse.x
        y = mouse.y
        reserved << replay_border(x - 5, y - 5, 10, 0, 255)
        reserved << replay_border(x - 6, y - 6, 12, 255, 255)
        return unless @replay_click
        elapsed = Kernel.tick_count - @replay_click[:at]
        if elapsed >= 12
          @replay_click = nil
          return
        end
        e = elapsed / 12.0
        e = 0 if e < 0
        cx = @replay_click[:x]
        cy = @replay_click[:y]
        reserved << replay_border(cx - 20 * e, cy - 20 * e, 40 * e, 0, 255 * e)
        reserved << replay_border(cx - 21 * e, cy - 21 * e, 42 * e, 255, 255 * e)
      end

      def replay_border x, y, side, shade, alpha
        { x: x, y: y, w: side, h: side, r: shade, g: shade, b: shade, a: alpha, primitive_marker: :border }
      end
    end
  end
end
