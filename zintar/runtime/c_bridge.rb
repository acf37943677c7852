module ZOQ
  class Runtime
    # First version of the bridge callbacks: the host's input calls are accepted and the
    # frame rates kept; the input model comes with input handling.
    module CBridge
      def current_fps simulation_fps, rendering_fps
        @current_framerate_calc = simulation_fps
        @current_framerate_render = rendering_fps
      end

      %w[key_down_raw key_up_raw textinput mouse_move mouse_button_pressed mouse_button_up mouse_wheel
         window_keyboard_focus_changed window_mouse_focus_changed controller_key_down controller_key_held
         controller_key_up left_analog_x_player_1 left_analog_y_player_1 right_analog_x_player_1
         right_analog_y_player_1 left_analog_x_player_2 left_analog_y_player_2 right_analog_x_player_2
         right_analog_y_player_2 rawjoystick_connected rawjoystick_disconnected rawjoystick_axis
         rawjoystick_hat rawjoystick_button].each do |name|
        define_method(name) { |*args| nil }
      end
    end
  end
end
