# Code loading through the queue shared with the host: require, the guards, the load
# status and boot hook, reloading a changed file, syntax errors and the mailbox.

def write path, text
  FFI::File.new.write path, text
end

test "main.rb and the file it requires load in the same step, in order; boot runs once when ready" do
  write "app/lib.rb", "$order << :lib\ndef lib_value; :one; end\n"
  write "app/main.rb", "$order << :main\nrequire 'app/lib.rb'\n" \
                       "def boot args; $boots << [Kernel.tick_count, Kernel.global_tick_count]; end\n" \
                       "def tick args; $seen = lib_value; end\n"
  $order = []
  $boots = []
  $host_loaded = []
  new_runtime
  assert_equal :zintarel_started, $zoq.load_status
  host_step 1000
  assert_equal :main_rb_first_time_load, $zoq.load_status
  host_step 1020
  assert_equal [[:main, :lib], ["app/main.rb", "app/lib.rb"], :ready, [[-1, -1]], ["app/lib.rb"]],
               [$order, $host_loaded, $zoq.load_status, $boots, $zoq.required_files]
  assert $zoq.ffi_file.read("tmp/src_backup/boot.txt").to_i > 0
  run_steps 1040, 3
  assert_equal [:one, [[-1, -1]]], [$seen, $boots]
  # The required file is not loaded again by the poll while it has not changed.
  $order = []
  run_steps 1100, 130
  assert_equal [], $order
end

test "require raises for a missing file and queues a path once per tick" do
  new_runtime
  assert_raises(RuntimeError, "app/nothing.rb does not exist.") { $zoq.require "app/nothing.rb" }
  write "app/twice.rb", "$twice = ($twice || 0) + 1\n"
  $twice = nil
  list = $zoq.require "app/twice.rb"
  $zoq.require "app/twice.rb"
  assert_equal [["app/twice.rb"]] * 2, [list, $zoq.get_ruby_reload_list]
  assert_equal [:reload_queued, :processing], $zoq.reload_list_history["app/twice.rb"][:history].map { |e| e[:event] }
end

test "the host's list is the runtime's own Array, also after a reset" do
  new_runtime
  write "app/a.rb", "1\n"
  write "app/b.rb", "2\n"
  $zoq.mark_ruby_file_for_reload "app/a.rb"
  list = $zoq.get_ruby_reload_list
  $zoq.__reset__
  $zoq.mark_ruby_file_for_reload "app/b.rb"
  assert_equal ["app/a.rb", "app/b.rb"], list
  assert list.equal?($zoq.get_ruby_reload_list)
  # An empty queue hands over a fresh empty Array, never the queue itself.
  list.clear
  refute list.equal?($zoq.get_ruby_reload_list)
end

test "a path is not queued again within 50 global ticks, nor while the first 60 global ticks run" do
  write "app/main.rb", "def tick args; end\n"
  write "app/g.rb", "$g = ($g || 0) + 1\n"
  new_runtime
  now = run_steps 1000, 2
  [[100, true], [100, false], [149, false], [151, true]].each do |tick, queued|
    Kernel.global_tick_count = tick
    assert_equal queued, !!$zoq.mark_ruby_file_for_reload("app/g.rb"), tick.to_s
  end
  # Early in a run a path with an event waits, whatever its history says.
  Kernel.global_tick_count = 10
  $zoq.reload_list_history["app/g.rb"][:history].clear
  assert_equal nil, $zoq.mark_ruby_file_for_reload("app/g.rb")
end

test "a save the queue refuses for now is taken at a later poll, not dropped" do
  write "app/g.rb", "$g = 1\n"
  now = boot_game "require 'app/g.rb'\ndef tick args; end\n"
  write "app/g.rb", "$g = 2\n"
  # [global tick of the poll, what the game's file gave after the next step]
  [[10, 1], [20, 1], [100, 2]].each do |tick, g|
    Kernel.global_tick_count = tick
    $zoq.reload_if_needed "app/g.rb"
    now = run_steps now, 1
    assert_equal g, $g, tick.to_s
  end
ensure
  # Later tests date their events from a fresh count.
  Kernel.global_tick_count = -1
end

test "a changed file with a syntax error pauses the game with a report; the fix loads and resumes" do
  write "app/lib.rb", "def lib_value; :one; end\n"
  write "app/main.rb", "require 'app/lib.rb'\ndef tick args; $ticks << args.tick_count; end\n"
  $ticks = []
  new_runtime
  now = run_steps 1000, 4
  Kernel.global_tick_count = 200
  write "app/lib.rb", "def lib_value; :two\n"
  assert_equal false, $zoq.reload_ruby_file("app/lib.rb")
  assert $zoq.paused? && $console.visible?
  assert_equal :exception, $console.show_reason
  report = $zoq.ffi_file.read("exceptions/current.txt")
  assert report.include?("Failed to reload app/lib.rb."), report
  ticks = $ticks.length
  now = run_steps now, 3
  assert_equal ticks, $ticks.length
  assert_equal :one, lib_value
  write "app/lib.rb", "def lib_value; :two; end\n"
  assert_equal true, $zoq.reload_ruby_file("app/lib.rb")
  now = run_steps now, 3
  assert_equal :two, lib_value
  assert !($zoq.paused? || $console.visible?) && $ticks.length > ticks
  assert ($console.log + $console.archived_log).any? { |l| l.include?("=app/lib.rb= reloaded.") }
  # The backup keeps the latest copy and lists the file in its change list.
  assert_equal "def lib_value; :two; end\n", $zoq.ffi_file.read("tmp/src_backup/src_backup_app_lib.rb")
  assert $zoq.ffi_file.read("tmp/src_backup/changes.txt").include?("tmp/src_backup/src_backup_app_lib.rb, ")
end

test "suppress_hotload accepts changes without loading them; other files than .rb are ignored" do
  write "app/main.rb", ""
  new_runtime
  run_steps 1000, 5
  # An empty main.rb is never queued, so the game does not start until it has content.
  assert_equal :main_rb_first_time_load, $zoq.load_status
  assert_equal [], $zoq.get_ruby_reload_list
  Kernel.global_tick_count = 300
  write "app/quiet.rb", "$quiet = true\n"
  $zoq.suppress_hotload = true
  assert_equal true, $zoq.reload_ruby_file("app/quiet.rb")
  assert_equal [], $zoq.get_ruby_reload_list
  $zoq.suppress_hotload = nil
  assert_equal false, $zoq.reload_ruby_file("app/notes.txt")
  assert_equal [], $zoq.get_ruby_reload_list
end
