# Source backups: what a reload writes into tmp/src_backup of the base (root) folder.

def write path, text
  FFI::File.new.write path, text
end

def archived_texts
  folder = "#{$test_base_dir}/tmp/src_backup/archived"
  return [] unless File.directory?(folder)
  `ls -1 '#{folder}'`.split("\n").map { |name| on_disk("tmp/src_backup/archived/#{name}") }
end

test "editing a game file writes its latest copy, an archived copy, the change list and the index files" do
  boot_game "def tick args; end\n"
  write "app/lib.rb", "$lib = :one\n"
  before = Time.now.to_i
  assert_equal true, $zoq.reload_ruby_file("app/lib.rb")
  after = Time.now.to_i
  assert_equal "$lib = :one\n", on_disk("tmp/src_backup/src_backup_app_lib.rb")
  assert archived_texts.include?("$lib = :one\n")
  path, time, key = on_disk("tmp/src_backup/changes.txt").split("\n").last.split(", ")
  assert_rows [["tmp/src_backup/src_backup_app_lib.rb", path], ["app/lib.rb", key], [true, time.to_i.between?(before, after)]]
  assert_includes on_disk("tmp/src_backup/changes.html"), "<li><a href='src_backup_app_lib.rb'>app/lib.rb</a></li>",
                  "<title>Zintarel Source Code Backup</title>", "href='index.css'"
  assert_includes on_disk("tmp/src_backup/index.html"), "href='changes.txt'", "href='changes.html'", "backup-information"
  assert_includes on_disk("tmp/src_backup/index.css"), "max-width: 920px"
end

test "a source name with markup characters is shown as written in changes.html, never as markup" do
  boot_game "def tick args; end\n"
  [
    ["app/a&b.rb", "app/a&amp;b.rb", "src_backup_app_a-26b.rb"],
    ["app/<i>x.rb", "app/&lt;i&gt;x.rb", "src_backup_app_-3ci-3ex.rb"],
    ["app/it's \"q\".rb", "app/it&#39;s &quot;q&quot;.rb", "src_backup_app_it-27s-20-22q-22.rb"]
  ].each do |file, shown, latest|
    write file, "$markup = 1\n"
    $zoq.backup.create file
    assert_includes on_disk("tmp/src_backup/changes.html"), "<li><a href='#{latest}'>#{shown}</a></li>"
  end
  # No name reaches the page unescaped.
  page = on_disk("tmp/src_backup/changes.html")
  refute page.include?("<i>") || page.include?("a&b") || page.include?("it's")
end

test "sources get distinct backup names that are safe in a URL" do
  rows = [["app/main.rb", "app_main"], ["app/a_b.rb", "app_a-5fb"], ["app/a/b.rb", "app_a_b"],
          ["app/my file.rb", "app_my-20file"], ["app/a.b.rb", "app_a-2eb"], ["app/x-y.rb", "app_x-2dy"],
          ["app/../up.rb", "app_-2e-2e_up"]]
  assert_rows rows.map { |file, name| [name, ZOQ::Backup.name_of(file)] }
  assert_equal rows.length, rows.map { |file, _| ZOQ::Backup.name_of(file) }.uniq.length
end

test "two sources whose names differ only by _ and / keep their own latest copies and change lines" do
  boot_game "def tick args; end\n"
  write "app/a_b.rb", "$which = :underscore\n"
  write "app/a/b.rb", "$which = :folder\n"
  $zoq.reload_ruby_file "app/a_b.rb"
  $zoq.reload_ruby_file "app/a/b.rb"
  assert_rows [["$which = :underscore\n", on_disk("tmp/src_backup/src_backup_app_a-5fb.rb")],
               ["$which = :folder\n", on_disk("tmp/src_backup/src_backup_app_a_b.rb")]]
  keys = on_disk("tmp/src_backup/changes.txt").split("\n").map { |line| line.split(", ")[2] }
  assert_equal ["app/a_b.rb", "app/a/b.rb"], keys[-2..-1]
end

test "copies archived in the same second keep each other" do
  boot_game "def tick args; end\n"
  texts = ["$v = 1\n", "$v = 2\n", "$v = 3\n"]
  texts.each do |text|
    write "app/often.rb", text
    $zoq.backup.create "app/often.rb"
  end
  texts.each { |text| assert archived_texts.include?(text), "archive lost #{text.inspect}" }
end

test "only sources that are not empty and parse are offered to devices; every one is archived" do
  boot_game "def tick args; end\n"
  rows = [["app/good.rb", "$good = 1\n", true], ["app/empty.rb", "", false], ["app/blank.rb", "  \n\n", false],
          ["app/broken.rb", "def broken(\n", false], ["app/mailbox.rb", "$mail = 1\n", false],
          ["app/mailbox-processed/mailbox-7.rb", "$mail = 1\n", true]]
  rows.each do |file, text, published|
    write file, text
    $zoq.backup.create file
    listed = on_disk("tmp/src_backup/changes.txt").include?(", #{file}")
    latest = on_disk("tmp/src_backup/src_backup_#{ZOQ::Backup.name_of file}.rb")
    assert_rows [[published, listed], [published ? text : "", latest]]
    assert archived_texts.include?(text), "#{file} was not archived" unless text.empty?
  end
end

test "only the index files are written for a backup's own path and in production" do
  boot_game "def tick args; end\n"
  write "app/seen.rb", "$seen = 1\n"
  write "tmp/src_backup/src_backup_app_x.rb", "$x = 1\n"
  changes = on_disk("tmp/src_backup/changes.txt")
  $zoq.backup.create "tmp/src_backup/src_backup_app_x.rb"
  $zoq.instance_variable_set :@production, true
  $zoq.backup.create "app/seen.rb"
  assert_rows [[changes, on_disk("tmp/src_backup/changes.txt")], ["", on_disk("tmp/src_backup/src_backup_app_seen.rb")],
               [false, archived_texts.include?("$seen = 1\n")]]
  assert on_disk("tmp/src_backup/index.html").include?("Zintarel Source Code Backup")
end

test "a production run writes only the index files under tmp/src_backup, from boot to reload" do
  `rm -rf '#{$test_base_dir}/tmp/src_backup'`
  boot_game "def tick args; end\n", production: true
  write "app/seen.rb", "$seen = 1\n"
  $zoq.reload_ruby_file "app/seen.rb"
  run_steps 2000, 3
  assert_equal ["index.css", "index.html"], `ls -A '#{$test_base_dir}/tmp/src_backup'`.split("\n").sort
end

test "a backup that cannot be written is logged and the reload still loads the file" do
  boot_game "def tick args; end\n"
  # A file where the backup folder should be: nothing below it can be written.
  `rm -rf '#{$test_base_dir}/tmp/src_backup' && touch '#{$test_base_dir}/tmp/src_backup'`
  write "app/kept.rb", "$kept = :loaded\n"
  begin
    assert_equal true, $zoq.reload_ruby_file("app/kept.rb")
    run_steps 2000, 3
    assert_equal :loaded, $kept
    assert_includes on_disk("logs/log.txt"), "The backup of app/kept.rb failed. The reload goes on."
  ensure
    `rm -f '#{$test_base_dir}/tmp/src_backup'`
  end
end

test "a change list line whose source path holds a comma reads back whole" do
  boot_game "def tick args; end\n"
  write "app/a,b.rb", "$comma = 1\n"
  $zoq.backup.create "app/a,b.rb"
  line = on_disk("tmp/src_backup/changes.txt").split("\n").last
  record = ZOQ::Backup.parse_change_line(line)
  assert_rows [["src_backup_app_a-2cb.rb", record[:latest_file]], ["app/a,b.rb", record[:key]]]
end

test "the runtime answers the backup's eight methods with their arguments" do
  boot_game "def tick args; end\n"
  assert_rows [[0, :backup_directory], [1, :backup_create], [1, :backup_file], [0, :backup_load_changes],
               [1, :backup_write_changes], [0, :backup_create_index], [0, :backup_css], [0, :backup_html]]
    .map { |arity, name| [[true, arity], [$zoq.respond_to?(name), $zoq.respond_to?(name) && $zoq.method(name).arity]] }
  dir = $zoq.backup_directory
  assert_equal "tmp/src_backup", dir
  write "app/via_runtime.rb", "$via = 1\n"
  created = $zoq.backup_create "app/via_runtime.rb"
  assert_rows [["app/via_runtime.rb", created[:key]], ["#{dir}/src_backup_app_via-5fruntime.rb", created[:path]],
               ["$via = 1\n", on_disk(created[:path])], ["$via = 1\n", on_disk(created[:timestamped_path])]]
  record = { time: created[:at], latest_file: created[:path], key: "app/via_runtime.rb" }
  assert_equal record, $zoq.backup_load_changes["app/via_runtime.rb"]
  write "app/copied.rb", "$copied = 1\n"
  copied = $zoq.backup_file "app/copied.rb"
  assert_rows [["app/copied.rb", copied[:key]], ["$copied = 1\n", on_disk(copied[:timestamped_path])],
               [true, copied[:at].is_a?(Integer)]]
  # The records written are the change list that is read back, and later backups extend it.
  written = { "app/a.rb" => { time: 100, latest_file: "#{dir}/src_backup_app_a.rb", key: "app/a.rb" } }
  $zoq.backup_write_changes written
  assert_equal written, $zoq.backup_load_changes
  assert_includes on_disk("#{dir}/changes.html"), "<li><a href='src_backup_app_a.rb'>app/a.rb</a></li>"
  $zoq.backup_create "app/copied.rb"
  assert_equal ["app/a.rb", "app/copied.rb"], $zoq.backup_load_changes.keys
  `rm -f '#{$test_base_dir}/#{dir}/index.css' '#{$test_base_dir}/#{dir}/index.html'`
  $zoq.backup_create_index
  assert_rows [[$zoq.backup_css, on_disk("#{dir}/index.css")], [$zoq.backup_html, on_disk("#{dir}/index.html")]]
  assert_includes $zoq.backup_css, "max-width: 920px"
  assert_includes $zoq.backup_html, "<title>Zintarel Source Code Backup</title>", "href='changes.txt'"
end
