# The bridge callbacks the host calls per input event, and the recording they feed.

test "analog values are cut to multiples of 1000; a repeat is ignored; y is negated" do
  zoq = new_runtime
  c = zoq.args.inputs.controller_one
  two = zoq.args.inputs.controller_two
  zoq.left_analog_x_player_1 15999
  assert_equal nil, zoq.left_analog_x_player_1(15500)
  zoq.left_analog_y_player_1 32767
  zoq.left_analog_x_player_2 15999.0 # replayed
  zoq.right_analog_x_player_2(-1500)
  assert_equal [15000, 0.25, -32000, -1.0, 15000, -1000, 0.0],
               [c.left_analog_x_raw, c.left_analog_x_perc, c.left_analog_y_raw, c.left_analog_y_perc,
                two.left_analog_x_raw, two.right_analog_x_raw, two.right_analog_x_perc]
  # Only accepted values are recorded, y before its negation; a recording starts from
  # sticks not yet reported.
  now = boot_game "def tick args; end\n"
  zoq = $zoq
  c = zoq.args.inputs.controller_one
  zoq.left_analog_x_player_1 15999
  zoq.start_recording 4
  run_steps now, 1
  c = zoq.args.inputs.controller_one
  zoq.left_analog_x_player_1 15999
  zoq.left_analog_x_player_1(-500)
  zoq.left_analog_y_player_1(-32768)
  assert_equal [[:left_analog_x_player_1, 15000, 0, 1, 1, 1], [:left_analog_x_player_1, 0, 0, 1, 2, 1],
                [:left_analog_y_player_1, -32000, 0, 1, 3, 1]], zoq.recording.input_history
  assert_equal [0, 0.0, 32000, 1.0], [c.left_analog_x_raw, c.left_analog_x_perc, c.left_analog_y_raw, c.left_analog_y_perc]
end

test "controller keys, mouse buttons and focus reach args.inputs" do
  zoq = new_runtime
  inputs = zoq.args.inputs
  zoq.controller_key_down 2, 15
  # Held reported before a tick saw the press (the step between was not calculated).
  zoq.controller_key_held 2, 15
  assert inputs.controller_two.key_down.a
  zoq.controller_key_up 2, 15
  refute inputs.controller_two.key_down.a
  assert inputs.controller_two.key_up.a
  assert_raises(KeyError) { zoq.controller_key_down 1, 99 }
  zoq.mouse_move 100, 20
  assert_equal [100, 700], inputs.mouse.point
  zoq.mouse_button_pressed 3
  assert_equal [4, true, [100, 700]], [inputs.mouse.button_bits, inputs.mouse.button_right, inputs.mouse.click.point]
  zoq.mouse_button_up 3
  assert_equal [0, false], [inputs.mouse.button_bits, inputs.mouse.button_right]
  assert inputs.mouse.up
  zoq.window_keyboard_focus_changed 1
  zoq.current_fps 58, 61
  assert_equal [true, 58, 61], [inputs.keyboard.has_focus, zoq.current_framerate_calc, zoq.current_framerate_render]
end
