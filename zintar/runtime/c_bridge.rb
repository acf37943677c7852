module ZOQ
  class Runtime
    # The methods the host calls for every input event and for the measured frame rates.
    # Each records the event for replay and writes args.inputs; while a replay runs, live
    # events (any sender but :replay) are dropped. Callers may hand numbers as Floats and
    # Hash keys are strict here (15 is not 15.0), so codes and coordinates are taken with to_i.
    module CBridge
      # The names of the key slots the host reports (its table).
      RAW_CONTROLLER_KEY_LOOKUP = ZOQ::Host::CONTROLLER_KEYS

      def c_bridge_init __sender
        @rcb_sender = __sender
      end

      # Live input is dropped while a replay runs and before a recording's clock has begun.
      def __replay_guard__ sender
        @rcb_sender.recording.drops_input? sender
      end

      def __inputs__
        @rcb_sender.args.inputs
      end

      def current_fps simulation_fps, rendering_fps
        @current_framerate_calc = simulation_fps
        @current_framerate_render = rendering_fps
      end

      def background_color
        @rcb_sender.args.outputs.background_color
      end

      def untransform_mouse_x mousex
        @rcb_sender.args.grid.untransform_x mousex
      end

      def untransform_mouse_y mousey
        @rcb_sender.args.grid.untransform_y mousey
      end

      def mouse_move mousex, mousey, sender = false
        return nil if __replay_guard__ sender
        record_input_history :mouse_move, mousex, mousey, 2
        mouse = __inputs__.mouse
        mouse.x = untransform_mouse_x mousex.to_i
        mouse.y = untransform_mouse_y mousey.to_i
        mouse.moved = true
        mouse.moved_at = Kernel.tick_count
        mouse.global_moved_at = Kernel.global_tick_count
      end

      def update_mouse_buttons newbuttons
        mouse = __inputs__.mouse
        mouse.button_bits = newbuttons
        mouse.button_left = newbuttons & 1 != 0
        mouse.button_middle = newbuttons & 2 != 0
        mouse.button_right = newbuttons & 4 != 0
        mouse.button_x1 = newbuttons & 8 != 0
        mouse.button_x2 = newbuttons & 16 != 0
      end

      def mouse_button_pressed button, sender = false
        return nil if __replay_guard__ sender
        record_input_history :mouse_button_pressed, button, 0, 1
        mouse = __inputs__.mouse
        update_mouse_buttons(mouse.button_bits | (1 << (button.to_i - 1)))
        mouse.click = ZOQ::MousePoint.new(mouse.x, mouse.y)
        print_help_when_mouse_clicked
      end

      def mouse_button_up button, sender = false
        return nil if __replay_guard__ sender
        record_input_history :mouse_button_up, button, 0, 1
        mouse = __inputs__.mouse
        update_mouse_buttons(mouse.button_bits & ~(1 << (button.to_i - 1)))
        mouse.up = ZOQ::MousePoint.new(mouse.x, mouse.y)
      end

      def mouse_pressed mousex, mousey, sender = false
        mouse_button_pressed 1, sender
      end

      def mouse_up mousex, mousey, sender = false
        mouse_button_up 1, sender
      end

      def print_help_when_mouse_clicked
      end

      def mouse_wheel x, y, sender = false
        return nil if __replay_guard__ sender
        record_input_history :mouse_wheel, x, y, 2
        x = x.to_i
        y = y.to_i
        mouse = __inputs__.mouse
        if mouse.wheel.nil?
          mouse.wheel = ZOQ::OpenEntity.new
          mouse.wheel.x = x
          mouse.wheel.y = y
        else
          mouse.wheel.x += x
          mouse.wheel.y += y
        end
        mouse.wheel.created_at = Kernel.tick_count
        mouse.wheel.created_at_time = Kernel.global_tick_count
      end

      def textinput str, sender = false
        return nil if __replay_guard__ sender
        record_input_history :textinput, str, 0, 1
        __inputs__.text << str
      end

      def key_down_raw raw_key, modifier, sender = false
        if __replay_guard__ sender
          return nil unless @rcb_sender.recording.is_replaying?
          char = ZOQ::KeyboardKeys.char_with_shift(raw_key, modifier)
          names = ZOQ::KeyboardKeys.char_to_method(char, raw_key.to_i)
          return nil unless @rcb_sender.console.console_toggle_keys.include?(:"#{names[0]}!")
          @rcb_sender.recording.stop_replay
        end
        record_input_history :key_down_raw, raw_key, modifier, 2, true
        key_down_in_game raw_key.to_i, modifier
      end

      def key_up_raw raw_key, modifier, sender = false
        return nil if __replay_guard__ sender
        record_input_history :key_up_raw, raw_key, modifier, 2
        key_up_in_game raw_key.to_i, modifier
      end

      def key_down_in_game raw_key, modifier
        names = ZOQ::KeyboardKeys.sdl_to_key(raw_key, modifier)
        return nil unless names
        keyboard = __inputs__.keyboard
        held = keyboard.key_held.truthy_keys
        keys = (names - held).uniq
        keyboard.key_down.char = ZOQ::KeyboardKeys.char_with_shift(raw_key, modifier)
        keyboard.key_down.raw_key = raw_key
        keyboard.press keys
        (@key_names_pressed ||= {})[raw_key] = ZOQ::KeyboardKeys.key_names(raw_key, modifier)
      end

      # A key released under other modifiers than it was pressed with (Shift+1 pressed, Shift
      # let go, then 1) also releases the names it was pressed under, which stay held otherwise.
      def key_up_in_game raw_key, modifier, sender = false
        names = ZOQ::KeyboardKeys.sdl_to_key(raw_key, modifier)
        pressed = @key_names_pressed && @key_names_pressed.delete(raw_key)
        names = (names || []) + pressed if pressed
        return nil unless names
        __inputs__.keyboard.release names.uniq
      end

      def controller_key_down player_num, raw_key, sender = false
        controller_key_event player_num, raw_key, :key_down, sender
      end

      def controller_key_held player_num, raw_key, sender = false
        controller_key_event player_num, raw_key, :key_held, sender
      end

      def controller_key_up player_num, raw_key, sender = false
        controller_key_event player_num, raw_key, :key_up, sender
      end

      def key_down_player_one raw_key, sender = false
        controller_key_down(1, raw_key, sender)
      end

      def key_down_player_two raw_key, sender = false
        controller_key_down(2, raw_key, sender)
      end

      def key_held_player_one raw_key, sender = false
        controller_key_held(1, raw_key, sender)
      end

      def key_held_player_two raw_key, sender = false
        controller_key_held(2, raw_key, sender)
      end

      def key_up_player_one raw_key, sender = false
        controller_key_up(1, raw_key, sender)
      end

      def key_up_player_two raw_key, sender = false
        controller_key_up(2, raw_key, sender)
      end

      def controller_key_event player_num, raw_key, event, sender = false
        return nil if __replay_guard__ sender
        word = player_num.to_i == 1 ? "one" : "two"
        record_input_history :"#{event}_player_#{word}", raw_key, 0, 1
        label = RAW_CONTROLLER_KEY_LOOKUP.fetch(raw_key.to_i)
        controller = __inputs__.controllers[player_num.to_i - 1]
        case event
        when :key_down then controller.activate_down label
        when :key_held
          # Every calculation ends by clearing key_down: a press still there was reported in a
          # step whose calculation was skipped (steps catching up), and it stays a press until
          # a tick has seen it.
          controller.activate_held label unless controller.key_down.send(label)
        when :key_up then controller.activate_up label
        else
          raise "  * ERROR:\n  Layout#set_key failed for player_num: #{player_num}, raw_key: #{raw_key}, event: #{event}.\n\n"
        end
      end

      def analog_to_perc value
        (value / 8000.0).to_i / 4.0
      end

      # The host calls the eight analog callbacks every step, mostly with unchanged values.
      def __analog__ name, value, sender
        return nil if __replay_guard__ sender
        value = value.idiv(1000) * 1000
        ivar, index, raw_writer, perc_writer, sign = ANALOG_AXES[name]
        return nil if instance_variable_get(ivar) == value
        instance_variable_set ivar, value
        record_input_history name, value, 0, 1
        controller = __inputs__.controllers[index]
        stored = sign * value
        controller.__send__ raw_writer, stored
        controller.__send__ perc_writer, analog_to_perc(stored)
      end

      # Per analog callback of the host's table ("left_analog_x_player_1"): the variable of its
      # last accepted value, the controller's index, the raw and percentage writers, and the
      # sign (up is positive); and the callback itself.
      ANALOG_AXES = {}
      ZOQ::Host::ANALOG_CALLBACKS.each do |name|
        stick, _, axis, _, player = name.to_s.split("_")
        ANALOG_AXES[name] = [:"@previous_#{name}", player.to_i - 1, :"#{stick}_analog_#{axis}_raw=",
                             :"#{stick}_analog_#{axis}_perc=", axis == "y" ? -1 : 1].freeze
        define_method(name) { |value, sender = false| __analog__ name, value, sender }
      end
      ANALOG_AXES.freeze

      def window_keyboard_focus_changed gained
        __inputs__.keyboard.has_focus = gained ? true : false
      end

      def window_mouse_focus_changed gained
        __inputs__.mouse.has_focus = gained ? true : false
      end

      def finger_down touchid, touchx, touchy, sender = false
        return nil if __replay_guard__ sender
        record_input_history :finger_down, touchid, touchx, touchy
        inputs = __inputs__
        finger = (inputs.touch[touchid] ||= ZOQ::FingerTouch.new)
        __move_finger__ finger, touchx, touchy
        finger.touch_order = @rcb_sender.increase_touch_count
        inputs.finger_one = finger if finger.touch_order == 0
        inputs.finger_two = finger if finger.touch_order == 1
      end

      def finger_move touchid, touchx, touchy, sender = false
        return nil if __replay_guard__ sender
        record_input_history :finger_move, touchid, touchx, touchy
        finger = __inputs__.touch[touchid]
        __move_finger__ finger, touchx, touchy if finger
      end

      def __move_finger__ finger, touchx, touchy
        finger.moved = true
        finger.moved_at = Kernel.tick_count
        finger.x = untransform_mouse_x touchx
        finger.y = untransform_mouse_y touchy
        finger.global_moved_at = Kernel.global_tick_count
      end

      def finger_up touchid, sender = false
        return nil if __replay_guard__ sender
        record_input_history :finger_up, touchid, 0, 0
        inputs = __inputs__
        finger = inputs.touch.delete(touchid)
        if finger
          inputs.finger_one = nil if finger.touch_order == 0
          inputs.finger_two = nil if finger.touch_order == 1
        end
        if inputs.touch.empty?
          @rcb_sender.reset_touch_count
          inputs.finger_one = nil
          inputs.finger_two = nil
        end
      end

      # Blank input for a recording or replay to start from (the window focus stays as it is);
      # the sticks are reported again by the next poll.
      def forget_inputs
        old = @rcb_sender.args.inputs
        fresh = ZOQ::Inputs.new
        fresh.keyboard.has_focus = old.keyboard.has_focus
        fresh.mouse.has_focus = old.mouse.has_focus
        @rcb_sender.args.inputs = fresh
        ANALOG_AXES.each_value { |axis| instance_variable_set axis[0], nil }
        @rcb_sender.reset_touch_count
        nil
      end

      def rawjoystick_connected jid, joystickname, guid
        @rcb_sender.controller_config.rawjoystick_connected jid, joystickname, guid
      end

      def rawjoystick_disconnected jid
        @rcb_sender.controller_config.rawjoystick_disconnected jid
      end

      def rawjoystick_axis jid, axis, value
        @rcb_sender.controller_config.rawjoystick_axis jid, axis, value
      end

      def rawjoystick_hat jid, hat, value
        @rcb_sender.controller_config.rawjoystick_hat jid, hat, value
      end

      def rawjoystick_button jid, button, pressed
        @rcb_sender.controller_config.rawjoystick_button jid, button, pressed
      end
    end
  end
end
