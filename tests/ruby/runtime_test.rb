# The runtime object as the host sees it before it exists: the command line.

test "window options come from the joined command line with their defaults" do
  argv = "./zintarel mygame --window_width 800 --window_scale 1.5" + "\0" * 200
  assert_equal [800, 720, 1.5, -1], [TopLevelView.argv_window_width(argv), TopLevelView.argv_window_height(argv),
                                     TopLevelView.argv_window_scale(argv), TopLevelView.argv_window_position_x(argv)]
end

test "the command line splits into a key per option" do
  args = ZOQ::Runtime.cli_arguments_of("./zintarel mygame --speed 2 --record --seed 5")
  assert_equal({ zintarel: "mygame", speed: "2", record: nil, seed: "5" }, args)
  assert_equal "", ZOQ::Runtime.cli_arguments_of("./zintarel ./")[:zintarel]
  assert_equal "mygame", ZOQ::Runtime.cli_arguments_of("/opt/zintarel")[:zintarel]
end
