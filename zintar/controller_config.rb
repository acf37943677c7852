module ZOQ
  class Controller
    # The screen that turns an unknown raw joystick into a game controller: the player
    # presses each part in turn, tries the result and saves it as an SDL mapping line.
    class Config
      # [x, y, label, mapping field]: the highlight box over the controller picture.
      PARTS = [
        [919, 282, "A button", "a"], [960, 323, "B button", "b"], [878, 323, "X button", "x"],
        [919, 365, "Y button", "y"], [433, 246, "left stick left", "-leftx"],
        [497, 246, "left stick right", "+leftx"], [466, 283, "left stick up", "-lefty"],
        [466, 218, "left stick down", "+lefty"], [466, 246, "left stick button", "leftstick"],
        [741, 246, "right stick left", "-rightx"], [802, 246, "right stick right", "+rightx"],
        [773, 283, "right stick up", "-righty"], [773, 218, "right stick down", "+righty"],
        [772, 246, "right stick button", "rightstick"], [263, 465, "left shoulder button", "leftshoulder"],
        [263, 503, "left trigger", "lefttrigger"], [977, 465, "right shoulder button", "rightshoulder"],
        [977, 503, "right trigger", "righttrigger"], [318, 365, "D-pad up", "dpup"],
        [360, 322, "D-pad right", "dpright"], [318, 280, "D-pad down", "dpdown"],
        [275, 322, "D-pad left", "dpleft"], [570, 402, "select/back button", "back"],
        [619, 448, "guide/home button", "guide"], [669, 402, "start button", "start"]
      ].freeze

      # Halves of one stick axis that may save as a whole axis.
      NEGATIVE_HALVES = ["-leftx", "-lefty", "-rightx", "-righty"].freeze
      AXIS_TRAVEL = 16000
      AXIS_BACK = 10000

      attr_accessor :runtime, :raw_joysticks, :target, :animation_duration, :toggled_at, :fading, :current_part,
                    :part_alpha, :part_alpha_increment, :joystick_state, :playing_around, :bindings,
                    :used_bindings, :parts

      def initialize runtime
        @runtime = runtime
        @raw_joysticks = {}
        @target = nil
        @animation_duration = 1.5.seconds
        @toggled_at = 0
        @fading = 0
        @current_part = 0
        @part_alpha = 0
        @part_alpha_increment = 10
        @joystick_state = {}
        @playing_around = false
        @bindings = []
        @used_bindings = {}
        @parts = PARTS
      end

      def rawjoystick_connected jid, joystickname, guid
        jid = jid.to_i
        return nil if jid < 0
        @raw_joysticks[jid] = { name: joystickname.to_s, guid: guid }
      end

      # A joystick waiting in the list is forgotten. The one on screen is no longer listed:
      # its screen stays until ESCAPE (the host has closed the joystick, and closing or
      # converting a closed one does nothing).
      def rawjoystick_disconnected jid
        jid = jid.to_i
        return nil if jid < 0
        return nil unless @raw_joysticks.key?(jid)
        @raw_joysticks.delete jid
        @runtime.ffi_misc.close_raw_joystick jid
        nil
      end

      def __capturing__ jid
        @target && @target[0] == jid.to_i && @fading == 0
      end

      def rawjoystick_axis jid, axis, value
        return nil unless __capturing__ jid
        axes = (@joystick_state[:axes] ||= [])
        entry = (axes[axis] ||= { moving: false, startingval: 0, currentval: 0, farthestval: 0 })
        entry[:currentval] = value
        unless entry[:moving]
          entry[:moving] = true
          entry[:startingval] = value
          entry[:farthestval] = value
        end
        current = (value - entry[:startingval]).abs
        farthest = (entry[:farthestval] - entry[:startingval]).abs
        if current > farthest
          entry[:farthestval] = value
          farthest = current
        end
        return nil if @playing_around
        return nil unless farthest >= AXIS_TRAVEL && current <= AXIS_BACK
        next_part if set_binding(entry[:farthestval] < 0 ? "-a#{axis}" : "+a#{axis}")
        nil
      end

      def rawjoystick_hat jid, hat, value
        return nil unless __capturing__ jid
        (@joystick_state[:hats] ||= [])[hat] = value
        return nil if @playing_around || value == 0
        next_part if set_binding("h#{hat}.#{value}")
        nil
      end

      def rawjoystick_button jid, button, pressed
        return nil unless __capturing__ jid
        (@joystick_state[:buttons] ||= [])[button] = pressed
        return nil if @playing_around || !pressed
        next_part if set_binding("b#{button}")
        nil
      end

      def should_tick?
        !@target.nil?
      end

      def set_binding bindstr
        holder = @used_bindings[bindstr]
        return false if holder && holder != @current_part
        @used_bindings[bindstr] = @current_part
        @bindings[@current_part] = bindstr
        true
      end

      def next_part
        if @current_part < @parts.length - 1
          move_to_different_part @current_part + 1
        else
          @playing_around = true
        end
      end

      def previous_part
        return nil if @current_part == 0
        part = @current_part - 1
        old = @bindings[part]
        @used_bindings[old] = nil if old
        @bindings[part] = nil
        move_to_different_part part
      end

      def move_to_different_part part
        (@joystick_state[:axes] || []).each { |entry| entry[:farthestval] = entry[:startingval] if entry }
        @current_part = part
      end

      def calc_fading
        return 255 if @fading == 0
        if @fading == 1
          p = @toggled_at.global_ease(@animation_duration, :flip, :quint, :flip)
          if p >= 1
            p = 1
            @fading = 0
          end
        else
          p = @toggled_at.global_ease(@animation_duration, :flip, :quint)
          if p <= 0
            p = 0
            @fading = 0
          end
        end
        (p * 255).to_i
      end

      def choose_target
        return true if @target
        until @raw_joysticks.empty?
          jid = @raw_joysticks.keys.first
          info = @raw_joysticks.delete jid
          next if jid < 0 || info[:guid].nil?
          @target = [jid, info]
          @toggled_at = Kernel.global_tick_count
          @fading = 1
          @current_part = 0
          @part_alpha = 0
          @part_alpha_increment = 10
          @joystick_state = {}
          @used_bindings = {}
          @playing_around = false
          @bindings = []
          return true
        end
        false
      end

      def tick args
        return true if play_around(args)
        return false unless choose_target
        key_down = args.inputs.keyboard.key_down
        if @fading == 0 && key_down.escape
          @toggled_at = Kernel.global_tick_count
          @fading = -1
        end
        if @fading == 0
          if key_down.backspace
            previous_part
          elsif key_down.space
            next_part
          end
        end
        # A fade-out may also end with the ease reaching 0 exactly: it ends either way.
        fading_out = @fading == -1
        fade = calc_fading
        if fading_out && fade == 0
          @runtime.ffi_misc.close_raw_joystick @target[0] if @target[0] >= 0
          @target = nil
          @fading = 0
          return false
        end
        render_basics args, fading_out ? "" : "We don't recognize this controller, so tell us about it!", fade
        return true if fade < 255
        part = @parts[@current_part]
        __label__ args, "Please press the #{part[2]}.", 575
        render_part_highlight args, part, @part_alpha
        __label__ args, "[ESCAPE]: Ignore controller, [BACKSPACE]: Go back one button, [SPACE]: Skip this button", 90
        @part_alpha += @part_alpha_increment
        if @part_alpha >= 255
          @part_alpha = 255
          @part_alpha_increment = -10
        elsif @part_alpha <= 0
          @part_alpha = 0
          @part_alpha_increment = 10
        end
        true
      end

      def play_around args
        return false unless @playing_around
        key_down = args.inputs.keyboard.key_down
        if key_down.escape
          move_to_different_part 0
          @part_alpha = 0
          @part_alpha_increment = 10
          @used_bindings = {}
          @bindings = []
          @playing_around = false
        elsif key_down.space
          __save__
          return false
        end
        render_basics args, "Now play around with the controller, and make sure it feels right!"
        __label__ args, "[ESCAPE]: Reconfigure, [SPACE]: Save this configuration", 90
        (@joystick_state[:axes] || []).each_with_index do |entry, i|
          next unless entry && entry[:currentval].abs >= AXIS_TRAVEL
          render_part_highlight_from_bindstr args, entry[:currentval] < 0 ? "-a#{i}" : "+a#{i}"
        end
        (@joystick_state[:hats] || []).each_with_index do |value, i|
          render_part_highlight_from_bindstr args, "h#{i}.#{value}" if value && value != 0
        end
        (@joystick_state[:buttons] || []).each_with_index do |pressed, i|
          render_part_highlight_from_bindstr args, "b#{i}" if pressed
        end
        true
      end

      def __save__
        misc = @runtime.ffi_misc
        misc.add_controller_config build_binding_string
        misc.convert_rawjoystick_to_controller @target[0]
        guid = @target[1][:guid]
        @target[0] = -1
        @raw_joysticks.each do |jid, info|
          next unless info[:guid] == guid
          misc.convert_rawjoystick_to_controller jid
          info[:guid] = nil
        end
        @playing_around = false
        @toggled_at = Kernel.global_tick_count
        @fading = -1
      end

      # One line of SDL's mapping format. A comma or control byte in the name would end the
      # field or the line early; the closing comma keeps SDL from misreading an inverted last axis.
      def build_binding_string
        entries = []
        i = 0
        while i < @parts.length
          field = @parts[i][3]
          bind = @bindings[i]
          following = @bindings[i + 1]
          if bind && following && NEGATIVE_HALVES.include?(field) && bind[1] == "a"
            whole = bind[1..-1]
            if bind[0] == "-" && following == "+#{whole}"
              entries << "#{field[1..-1]}:#{whole}"
              i += 2
              next
            elsif bind[0] == "+" && following == "-#{whole}"
              entries << "#{field[1..-1]}:#{whole}~"
              i += 2
              next
            end
          end
          entries << "#{field}:#{bind}" if bind
          i += 1
        end
        name = @target[1][:name].to_s.bytes.map { |b| b < 0x20 || b == 0x2C ? 0x20 : b }.pack("C*")
        "#{@target[1][:guid]},#{name},platform:#{@runtime.platform}," + entries.map { |e| "#{e}," }.join
      end

      def __label__ args, text, y, size = 0, alpha = 255
        args.outputs.primitives << { primitive_marker: :label, x: @runtime.logical_width / 2, y: y, text: text,
                                     size_enum: size, alignment_enum: 1, r: 0, g: 0, b: 0, a: alpha }
      end

      def render_basics args, msg, fade = 255
        w = @runtime.logical_width
        h = @runtime.logical_height
        primitives = args.outputs.primitives
        primitives << { primitive_marker: :solid, x: 0, y: 0, w: w, h: h, r: 255, g: 255, b: 255, a: fade }
        primitives << { primitive_marker: :sprite, x: 0, y: 0, w: w, h: h, path: "zintarel-controller.png",
                        angle: 0, a: fade, r: 255, g: 255, b: 255 }
        __label__ args, @target[1][:name].to_s, 700, 2, fade
        __label__ args, msg, 650 unless msg.empty?
      end

      def render_part_highlight args, part, alpha = 255
        x = part[0]
        y = part[1]
        primitives = args.outputs.primitives
        [[x, y, 41], [x - 1, y - 1, 43], [x - 2, y - 2, 45]].each do |bx, by, size|
          primitives << { primitive_marker: :border, x: bx, y: by, w: size, h: size, r: 255, g: 0, b: 0, a: alpha }
        end
      end

      def render_part_highlight_from_bindstr args, bindstr, alpha = 255
        part = @bindings.index(bindstr)
        render_part_highlight args, @parts[part], alpha if part
      end
    end
  end
end
