# The device side of remote hot reload, against the test's own HTTP server serving a folder
# as the development machine serves its backups. Each client here is built with another
# local address than the server's, and the runtime ticks it in its engine step.

SERVED = "#{$test_base_dir}/served"

def serve name, text
  FFI::File.new.write_root "served/#{name}", text
end

# Ends the requests the previous test's client left running: they would reach the server
# during the next test and count as its own.
def end_previous_client
  client = $zoq && $zoq.instance_variable_get(:@hotload_client)
  return unless client && client.args
  s = client.local_state
  pending = [s.http_boot, s.http_changes, s.http_file_changes].compact.reject { |r| r[:complete] }
  pending.each { |r| r[:cancel] = true }
  started = Time.now
  until pending.all? { |r| r[:complete] } || Time.now - started > 10
    host_http_tick
    usleep 1000
  end
end

# A ready game whose runtime ticks a client of address local_ip, polling the test server.
def device_game local_ip = "10.9.8.7", address = "127.0.0.1\n"
  end_previous_client
  boot_game "def tick args; end\n"
  `rm -rf '#{SERVED}'`
  serve "boot.txt", "1000\n"
  serve "changes.txt", ""
  server_http_serve_folder SERVED
  if address
    FFI::File.new.write "app/server_ip_address.txt", address
  else
    `rm -f '#{$test_game_dir}/app/server_ip_address.txt'`
  end
  client = ZOQ::HotloadClient.new(local_ip)
  client.instance_variable_set :@server_port, server_http_port
  $zoq.instance_variable_set :@hotload_client, client
  $ms = 2000
  $requests_before = server_http_requests.length
  client
end

# Steps the game (and pumps HTTP) until the block holds; fails after 20 s. Answers the steps.
def device_steps_until
  started = Time.now
  steps = 0
  until yield
    raise ZoqTestFailure, "timed out waiting on the client" if Time.now - started > 20
    host_step $ms
    $ms += 20
    host_http_tick
    steps += 1
  end
  steps
end

def device_steps n
  n.times do
    host_step $ms
    $ms += 20
    host_http_tick
  end
end

# The paths the server was asked for since the device game was made (or how often one was).
def requested path = nil
  paths = server_http_requests[$requests_before..-1].map { |r| r[:path] }
  path ? paths.count(path) : paths
end

def change_line name, time, key
  "tmp/src_backup/#{name}, #{time}, #{key}"
end

test "the client fetches boot.txt, then every newer change (two of the same second too) and loads them, also while the game is paused" do
  client = device_game
  serve "src_backup_app_one.rb", "$one = 1\n"
  serve "src_backup_app_two.rb", "$two = 2\n"
  serve "src_backup_app_old.rb", "$old = 1\n"
  serve "changes.txt", [change_line("src_backup_app_old.rb", 1000, "app/old.rb"),
                        change_line("src_backup_app_one.rb", 2000, "app/one.rb"),
                        change_line("src_backup_app_two.rb", 2000, "app/two.rb")].join("\n")
  $one = $two = $old = nil
  $zoq.pause!
  device_steps_until { $one && $two }
  assert_equal ["/boot.txt", "/changes.txt"], requested[0, 2]
  assert_rows [["$one = 1\n", FFI::File.new.read("src_backup_app_one.rb")], [1, requested("/src_backup_app_one.rb")],
               [1, requested("/src_backup_app_two.rb")], [0, requested("/src_backup_app_old.rb")],
               [1000, $zoq.args.state.hotload_client.booted_at],
               [["src_backup_app_one.rb", "src_backup_app_two.rb"], $zoq.args.state.hotload_client.reloaded_files_times]]
  # The same list a few seconds later queues nothing again.
  lists = requested("/changes.txt")
  device_steps_until { requested("/changes.txt") >= lists + 3 }
  assert_rows [[1, requested("/src_backup_app_one.rb")], [0, requested("/src_backup_app_old.rb")]]
  assert_includes on_disk("logs/log.txt"), "* INFO: Hotload server found at 127.0.0.1:#{server_http_port}.",
                  "* INFO: HTTP GET for boot.txt succeeded.", "* INFO: Looking for changes after: 1000.",
                  "* INFO: Queueing file src_backup_app_one.rb for update.", "* INFO: Loading app/one.rb: src_backup_app_one.rb"
end

test "a slow chunked body is written and loaded only once it is whole" do
  device_game
  body = "$slow = #{(1..40).to_a.inspect}\n# padding so the body takes many chunks to arrive\n"
  serve "src_backup_app_slow.rb", body
  server_http_trickle_chunked "/src_backup_app_slow.rb"
  serve "changes.txt", change_line("src_backup_app_slow.rb", 2000, "app/slow.rb")
  $slow = nil
  seen = []
  device_steps_until do
    text = FFI::File.new.read("src_backup_app_slow.rb")
    seen << text if text
    $slow
  end
  assert_equal (1..40).to_a, $slow
  assert seen.all? { |text| text == body }, "a part of the body was written: #{seen.uniq.inspect}"
end

test "a missing file is retried a second later while later files still load, then dropped; a request that never ends is given up" do
  client = device_game
  # Only the stuck transfer is given up so soon: a loaded machine may take longer than that
  # to answer the others, which must not fail for it.
  def client.request_seconds
    0.3
  end
  def client.timed_out? request
    record = local_state.processing_file_changes
    record && record[:key] == "app/stuck.rb" && super
  end
  serve "src_backup_app_here.rb", "$here = 1\n"
  serve "src_backup_app_late.rb", "$late = 1\n"
  serve "src_backup_app_stuck.rb", "$stuck = 1\n" + "#" * 4000 + "\n"
  server_http_trickle_chunked "/src_backup_app_stuck.rb"
  serve "changes.txt", [change_line("src_backup_app_gone.rb", 2000, "app/gone.rb"),
                        change_line("src_backup_app_here.rb", 2000, "app/here.rb")].join("\n")
  $here = $late = $stuck = nil
  device_steps_until { $here }
  # The failed file was asked for once, then the later one, before the failed one was tried
  # again (a busy server may make either take more than one try).
  files = requested.select { |path| path.start_with?("/src_backup_") }
  assert_equal ["/src_backup_app_gone.rb", "/src_backup_app_here.rb"], files.uniq[0, 2]
  assert_equal "/src_backup_app_here.rb", files[1]
  device_steps_until { requested("/src_backup_app_gone.rb") == 3 }
  serve "changes.txt", on_disk("served/changes.txt") + "\n" + change_line("src_backup_app_stuck.rb", 2001, "app/stuck.rb") +
                       "\n" + change_line("src_backup_app_late.rb", 2001, "app/late.rb")
  device_steps_until { $late }
  device_steps_until { requested("/src_backup_app_stuck.rb") == 3 && !client.local_state.processing_file_changes }
  device_steps 240
  assert_rows [[3, requested("/src_backup_app_gone.rb")], [3, requested("/src_backup_app_stuck.rb")], [nil, $stuck],
               [false, FFI::File.new.read("src_backup_app_gone.rb") ? true : false]]
  assert_includes on_disk("logs/log.txt"), "HTTP GET for src_backup_app_gone.rb failed (HTTP 404). Retrying.",
                  "HTTP GET for src_backup_app_gone.rb failed 3 times (HTTP 404)."
end

test "only names of the backup form are taken from the change list" do
  rows = [["tmp/src_backup/src_backup_app_main.rb, 7, app/main.rb", { latest_file: "src_backup_app_main.rb", updated_at: 7, key: "app/main.rb" }],
          ["tmp/src_backup/src_backup_app_a-2cb.rb, 7, app/a,b.rb", { latest_file: "src_backup_app_a-2cb.rb", updated_at: 7, key: "app/a,b.rb" }],
          ["../x.rb, 7, x", nil], ["tmp/src_backup/../x.rb, 7, x", nil], ["tmp/src_backup/src_backup_../../x.rb, 7, x", nil],
          ["tmp/src_backup/sub/src_backup_a.rb, 7, x", nil], ["/etc/passwd, 7, x", nil], ["tmp/src_backup/src_backup_.rb, 7, x", nil],
          ["tmp/src_backup/src_backup_a b.rb, 7, x", nil], ["tmp/src_backup/src_backup_a.rb.txt, 7, x", nil],
          ["tmp/src_backup/src_backup_a.rb, -7, x", nil], ["tmp/src_backup/src_backup_a.rb, 7", nil],
          ["tmp/src_backup/src_backup_a.rb, 7, ", nil], ["", nil]]
  assert_rows rows.map { |line, expected| [expected, ZOQ::Backup.parse_change_line(line)] }
  device_game
  serve "x.rb", "$escaped = 1\n"
  serve "src_backup_app_ok.rb", "$ok = 1\n"
  serve "changes.txt", "tmp/src_backup/../x.rb, 2000, app/x.rb\n../x.rb, 2000, app/y.rb\n" +
                       change_line("src_backup_app_ok.rb", 2000, "app/ok.rb")
  $ok = $escaped = nil
  device_steps_until { $ok }
  assert_equal ["/boot.txt", "/changes.txt", "/src_backup_app_ok.rb"], requested.uniq
  assert_equal nil, $escaped
end

test "nothing is sent in production, by the development machine itself, or without a usable address" do
  rows = [[:production, "10.9.8.7", "127.0.0.1"], [:development, "127.0.0.1", "127.0.0.1\n"],
          [:development, "10.9.8.7", nil], [:development, "10.9.8.7", "evil.example/x?y"]]
  rows.each do |mode, local, address|
    device_game local, address
    $zoq.instance_variable_set :@production, mode == :production
    count = requested.length
    device_steps 420
    assert_equal count, requested.length, "#{mode} #{local} #{address.inspect} sent requests"
  end
end

test "the server address is bracketed in a URL when it is IPv6" do
  rows = [["127.0.0.1", "http://127.0.0.1:8080/boot.txt"], ["fe80::1%eth0", "http://[fe80::1%25eth0]:8080/boot.txt"],
          ["[::1]\n", "http://[::1]:8080/boot.txt"], ["dev-machine.local", "http://dev-machine.local:8080/boot.txt"]]
  rows.each do |address, url|
    FFI::File.new.write "app/server_ip_address.txt", address
    assert_equal url, ZOQ::HotloadClient.new("10.0.0.1").tap { |c| c.args = $zoq.args }.server_url("/boot.txt")
  end
end

test "an edit on this machine reaches a device: the reload's backup is what the client loads" do
  device_game
  server_http_serve_folder "#{$test_base_dir}/tmp/src_backup"
  # The device waits for edits made after the game became ready.
  FFI::File.new.write_root "tmp/src_backup/boot.txt", (Time.now.to_i - 1).to_s
  FFI::File.new.write "app/edited.rb", "$edited = ($edited || 0) + 1\n"
  assert $zoq.reload_ruby_file("app/edited.rb")
  $edited = nil
  device_steps_until { $edited == 2 }
  assert_rows [["$edited = ($edited || 0) + 1\n", FFI::File.new.read("src_backup_app_edited.rb")],
               [true, $zoq.args.state.hotload_client.reloaded_files_times.include?("src_backup_app_edited.rb")]]
end

test "a long change list queues each newer file once, in list order, and names only the first files in the log" do
  client = device_game
  client.args = $zoq.args
  lines = (0...20000).map { |i| change_line("src_backup_app_f#{i}.rb", 2000, "app/f#{i}.rb") }
  # A later line of a key already listed (newer) moves it to the end; an older one is ignored.
  lines << change_line("src_backup_app_f0.rb", 2001, "app/f0.rb") << change_line("src_backup_app_f1.rb", 1999, "app/f1.rb")
  serve "changes.txt", lines.join("\n")
  device_steps_until { client.local_state.changes.length == 20000 }
  s = client.local_state
  order = [s.processing_file_changes].compact + s.changes_queue
  logged = on_disk("logs/log.txt")
  assert_rows [[20000, order.length], ["app/f1.rb", order[0][:key]], ["app/f0.rb", order[-1][:key]],
               [2001, order[-1][:updated_at]],
               [ZOQ::HotloadClient::LOGGED_QUEUEINGS, logged.split("\n").count { |l| l.include?("* INFO: Queueing file ") }],
               [true, logged.include?("* INFO: Queueing #{20000 - ZOQ::HotloadClient::LOGGED_QUEUEINGS} more files for update.")]]
end

test "a change list or a file larger than the limit is refused and never used" do
  client = device_game
  limit = ZOQ::HotloadClient::MAX_RESPONSE_BYTES
  serve "src_backup_app_huge.rb", "$huge = 1\n" + "#" * limit + "\n"
  serve "src_backup_app_fine.rb", "$fine = 1\n"
  huge_list = change_line("src_backup_app_fine.rb", 2000, "app/fine.rb") + "\n" + "#" * limit
  serve "changes.txt", huge_list
  $huge = $fine = nil
  device_steps_until { requested("/changes.txt") >= 3 }
  assert_equal [nil, 0], [$fine, requested("/src_backup_app_fine.rb")]
  serve "changes.txt", [change_line("src_backup_app_huge.rb", 2000, "app/huge.rb"),
                        change_line("src_backup_app_fine.rb", 2000, "app/fine.rb")].join("\n")
  device_steps_until { $fine && requested("/src_backup_app_huge.rb") == 3 && !client.local_state.processing_file_changes }
  assert_rows [[nil, $huge], [false, FFI::File.new.read("src_backup_app_huge.rb") ? true : false]]
  assert_includes on_disk("logs/log.txt"), "/changes.txt is larger than #{limit} bytes: its transfer stops as failed.",
                  "/src_backup_app_huge.rb is larger than #{limit} bytes: its transfer stops as failed."
end
