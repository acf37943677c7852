# The publishing wizards against fake tools: shell scripts in a folder with a blank in its
# name that record their arguments (each in brackets) and environment, one call a line.
# This machine has none of the signing and device tools, so every wizard run here is fake.

FAKE = "#{$test_base_dir}/fake tools"
CALLS = "#{FAKE}/calls.log"
# 15 characters at most: the longest name `ps` shows.
WEB_SERVER = "ws-#{$test_base_dir.split("/")[-2][-6..-1]}#{rand(1000)}"

def shell_quote text
  "'" + text.gsub("'", "'\\\\''") + "'"
end

def fake_tool path, body = ""
  script = "#!/bin/sh\nprintf '%s' \"$(basename \"$0\")\" >> #{shell_quote CALLS}\n" \
           "for a in \"$@\"; do printf ' [%s]' \"$a\" >> #{shell_quote CALLS}; done\necho >> #{shell_quote CALLS}\n#{body}\n"
  f = File.open(path, "w")
  f.write script
  f.close
  `chmod +x #{shell_quote path}`
  path
end

def calls
  File.exist?(CALLS) ? on_disk("fake tools/calls.log").split("\n") : []
end

PROFILE = "\x30\x82\x01binary<junk \"Apple Inc.\" <data>\n" \
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" \
          "  <key>CreationDate</key>\n  <date>2020-01-01T00:00:00Z</date>\n" \
          "  <key>Entitlements</key>\n  <dict>\n    <key>get-task-allow</key>\n    <true/>\n" \
          "    <key>application-identifier</key>\n    <string>TEAM1.com.example.game</string>\n  </dict>\n" \
          "  <key>AppIDName</key>\n  <string>Bob's Game</string>\n" \
          "  <key>DeveloperCertificates</key>\n  <array>\n    <data>MIIabc</data>\n  </array>\n" \
          "</dict>\n</plist>\n\x00\x01trailing signature"

# A ready game with a fake device tool chain; answers the iOS wizard with its tools set.
def ios_setup codesign_body = "", device_list = "00008030-AAAA\n"
  boot_game "def tick args; end\n"
  `rm -rf #{shell_quote FAKE} '#{$test_base_dir}/tmp' '#{$test_base_dir}/profiles' '#{$test_base_dir}/zintarel-ios.app'`
  `mkdir -p #{shell_quote FAKE} '#{$test_base_dir}/zintarel-ios.app/app' '#{$test_game_dir}/sprites'`
  FFI::File.new.write_root "zintarel-ios.app/Runtime", "runtime"
  FFI::File.new.write "sprites/ship.png", "png"
  FFI::File.new.write_root "profiles/development.mobileprovision", PROFILE
  wizard = $wizards.ios
  wizard.cli_apps = {}
  security_out = "  1) AAAA \"Developer ID Application: Bob (TEAM1)\"\n  2) BBBB \"Apple Development: Bob (TEAM1)\"\n" \
                 "  3) CCCC \"Apple Distribution: Bob (TEAM1)\"\n     3 valid identities found"
  { xcodebuild: "", brew: "", security: "printf '%s\\n' #{shell_quote security_out}", idevice_id: "printf '#{device_list}'",
    plutil: "", codesign: "echo \"CODESIGN_ALLOCATE=$CODESIGN_ALLOCATE\" >> #{shell_quote CALLS}\n#{codesign_body}",
    zip: "touch archive.zip", open: "" }.each do |name, body|
    wizard.cli_apps[name] = fake_tool("#{FAKE}/#{name}", body)
  end
  fake_tool "#{$test_base_dir}/zintarel-deploy-ios", "echo \"XCODE_DIR=$XCODE_DIR\" >> #{shell_quote CALLS}"
  # A server name of this run's own: the wizard asks `ps` whether one runs, and other test runs
  # on the machine (the end-to-end wizard run among them) may have their fake server up.
  wizard.cli_apps[:web_server] = fake_tool("#{$test_base_dir}/#{WEB_SERVER}", "pwd >> #{shell_quote CALLS}")
  wizard
end

# The web server starts in the background: waits (10 s at most) for its line.
def calls_once_server_ran
  started = Time.now
  usleep 1000 until calls.include?(WEB_SERVER) && calls.length >= calls.index(WEB_SERVER) + 2 ||
                    Time.now - started > 10
  calls
end

def every_file folder
  `cd #{shell_quote folder} && find . -type f | sort`.split("\n").map { |path| path[2..-1] }
end

test "arguments reach a command exactly as given, whatever they hold" do
  rows = ["plain", "with blank", "Bob's Game", "$(touch pwned)", "`touch pwned`", "a\"b;c&&d", "new\nline", "*", ""]
  wizard = ZOQ::IOSWizard.new
  rows.each do |text|
    assert_equal text, wizard.run_shell("printf '%s' #{wizard.command(text)}")[0]
  end
  assert_equal false, File.exist?("pwned")
  assert_raises(ZOQ::WizardException, "NUL") { wizard.command("a\0b") }
end

test "the wizard's reading of certificates, names and its staging folder" do
  certs = ZOQ::IOSWizard.parse_certs("  1) AAAA \"Developer ID Application: X (T)\"\n  2) BBBB \"Apple Development: Bob (T)\"\n" \
                                     "  3) CCCC \"Apple Distribution: X (T)\"\n     3 valid identities found\n")
  assert_equal [{ number: "2)", id: "BBBB", name: "Apple Development: Bob (T)" }], certs
  tmp = "/base dir/tmp/ios"
  folders = [[true, tmp], [true, "#{tmp}/Bob's Game.app/app"], [false, "/base dir/tmp"], [false, "#{tmp}/../../etc"],
             [false, "tmp/ios"], [false, "/base dir/tmp/ios2"], [false, "/"]]
  assert_rows folders.map { |ok, path| [ok, ZOQ::IOSWizard.staging_folder?(path, tmp)] }
  assert_equal false, ZOQ::IOSWizard.staging_folder?("/x/tmp/ios", "x/tmp/ios")
  names = [[nil, "Bob's Game"], ["is missing", ""], ["holds \"/\"", "a/b"], ["is not a file name", ".."], ["holds \":\"", "a:b"],
           ["holds \"\\n\"", "a\nb"]]
  assert_rows names.map { |problem, name| [problem, ZOQ::IOSWizard.app_name_problem(name)] }
  ids = [[nil, "TEAM1.com.example.game"], [nil, "TEAM1.*"], ["holds \" \"", "a b"], ["holds \"'\"", "a'b"]]
  assert_rows ids.map { |problem, id| [problem, ZOQ::IOSWizard.app_id_problem(id)] }
end

test "the iOS wizard runs every step in order against the tools, then starts the web server" do
  wizard = ios_setup
  assert_equal :success, wizard.start
  tmp = "#{$test_base_dir}/tmp/ios"
  app = "#{tmp}/Bob's Game.app"
  assert_equal ["security [-q] [find-identity] [-p] [codesigning] [-v]", "idevice_id [-l]",
                "plutil [-convert] [binary1] [#{tmp}/Entitlements.plist]", "plutil [-convert] [xml1] [#{tmp}/Entitlements.plist]",
                "plutil [-convert] [binary1] [#{app}/Info.plist]",
                "codesign [-f] [-s] [Apple Development: Bob (TEAM1)] [--entitlements] [#{tmp}/Entitlements.plist] [#{app}]",
                "CODESIGN_ALLOCATE=/Applications/Xcode.app/Contents/Developer/Toolchains/XcodeDefault.xctoolchain/usr/bin/codesign_allocate",
                "zip [-q] [-r] [archive.zip] [Payload]",
                "zintarel-deploy-ios [-d] [00008030-AAAA] [#{tmp}/Bob's Game.ipa]",
                "XCODE_DIR=/Applications/Xcode.app/Contents/Developer", WEB_SERVER,
                "#{$test_base_dir}/tmp/src_backup"], calls_once_server_ran
  assert_rows [["Bob's Game", wizard.app_name], ["TEAM1.com.example.game", wizard.app_id], ["00008030-AAAA", wizard.device_id]]
  plist = on_disk("tmp/ios/Bob's Game.app/Info.plist")
  assert_includes plist, "<string>Bob&#39;s Game</string>", "<string>TEAM1.com.example.game</string>",
                  "<string>UIInterfaceOrientationLandscapeRight</string>"
  assert_includes on_disk("tmp/ios/Entitlements.plist"), "<string>TEAM1.com.example.game</string>"
  assert_equal PROFILE, on_disk("tmp/ios/Bob's Game.app/embedded.mobileprovision")
  staged = every_file("#{app}")
  assert staged.include?("app/main.rb") && staged.include?("sprites/ship.png") && staged.include?("Runtime"), staged.inspect
  address = ($zoq.ffi_misc.get_local_ip_address || "").strip
  assert_equal address, on_disk("tmp/ios/Bob's Game.app/app/server_ip_address.txt") unless address.empty?
  assert_equal nil, FFI::File.new.read("app/server_ip_address.txt")
  assert_includes on_disk("logs/log.txt"), "Check your device!!", "I will be using device with UUID 00008030-AAAA"
end

test "a failing tool stops the iOS wizard with the command and its output" do
  wizard = ios_setup "echo 'errSecInternalComponent: no access' >&2\nexit 1"
  assert_equal nil, wizard.start
  assert calls.last.start_with?("CODESIGN_ALLOCATE="), calls.inspect
  log = on_disk("logs/log.txt")
  assert_includes log, "* This command failed (exit status 1):", "--entitlements", "errSecInternalComponent: no access"
  assert !log.include?("Check your device!!")
  assert_equal "$wizards.ios.start", $console.current_input_str
  assert_equal :not_started, wizard.wizard_status[:create_ipa][:result]
end

test "the iOS wizard stops with a guide when a tool, a certificate, a device or the profile is missing" do
  rows = [[:xcodebuild, "* You need Xcode to use $wizards.ios.start."], [:brew, "* You need to install Brew."],
          [:idevice_id, "* It doesn't look like you have the libimobiledevice iOS protocol library installed."]]
  rows.each do |tool, message|
    wizard = ios_setup
    wizard.cli_apps[tool] = "#{FAKE}/no such #{tool}"
    assert_equal nil, wizard.start
    assert_includes $console.log.join("\n"), message
    assert_equal "$wizards.ios.start", $console.current_input_str
  end
  wizard = ios_setup "", ""
  wizard.start
  assert_includes $console.log.join("\n"), "* I couldn't find any connected devices."
  wizard = ios_setup
  `rm -f '#{$test_base_dir}/profiles/development.mobileprovision'`
  wizard.start
  assert_includes $console.log.join("\n"), "* I didn't find a mobile provision."
  assert_equal "open [#{$test_base_dir}/profiles]", calls.last
  assert_includes on_disk("profiles/README.txt"), "development.mobileprovision"
  assert_equal false, File.exist?("#{$test_base_dir}/tmp/ios")
end

test "a game wider than tall is installed in landscape, any other in portrait" do
  rows = [[1280, 720, "UIInterfaceOrientationLandscapeRight"], [720, 1280, "UIInterfaceOrientationPortrait"],
          [720, 720, "UIInterfaceOrientationPortrait"]]
  rows.each do |w, h, orientation|
    $zoq.instance_variable_set :@logical_width, w
    $zoq.instance_variable_set :@logical_height, h
    assert_equal "<string>#{orientation}</string>", $wizards.ios.device_orientation_xml
  end
end

METADATA = "metadata/game_metadata.txt"

def itch_setup publish_body = "echo packaged"
  boot_game "def tick args; end\n"
  `rm -rf '#{$test_game_dir}/metadata' #{shell_quote FAKE}`
  `mkdir -p #{shell_quote FAKE}`
  fake_tool "#{$test_base_dir}/zintarel-publish", publish_body
  $wizards.itch.reset
  $wizards.itch
end

test "the store wizard asks for each value in turn, keeps the file's other lines and packages at the end" do
  wizard = itch_setup
  assert_equal :need_dev_id, wizard.start
  assert_equal ZOQ::ItchWizard::BLANK_METADATA, FFI::File.new.read(METADATA)
  assert_equal "$wizards.itch.set_dev_id \"your-itch-username\"", $console.current_input_str
  FFI::File.new.write METADATA, "# my own notes\n#devid=myname\ngametitle=Old Title\nhighdpi=true\n"
  rows = [[:set_dev_id, "bob", :need_dev_title], [:set_dev_title, "Bob Smith", :need_game_id],
          [:set_game_id, "bobs-game", :need_version], [:set_version, "1.2", :need_icon], [:set_icon, "icon.png", :success]]
  rows.each do |setter, value, answer|
    assert_equal answer, wizard.__send__(setter, value), setter
  end
  assert_equal "# my own notes\ndevid=bob\ngametitle=Old Title\nhighdpi=true\ndevtitle=Bob Smith\ngameid=bobs-game\n" \
               "version=1.2\nicon=metadata/icon.png\n", FFI::File.new.read(METADATA)
  assert_equal "# my own notes\n#devid=myname\ngametitle=Old Title\nhighdpi=true\n", FFI::File.new.read("#{METADATA}.bak")
  assert_equal ["zintarel-publish"], calls
  assert_includes on_disk("logs/log.txt"), "* Running zintarel-publish: '#{$test_base_dir}/zintarel-publish'", "packaged"
  # A finished run packages again when started again.
  assert_equal :success, wizard.start
  assert_equal 2, calls.length
end

test "the store wizard refuses values that would break the metadata file, or the per-user folder's name" do
  wizard = itch_setup
  wizard.start
  before = FFI::File.new.read(METADATA)
  rows = [[:set_dev_id, "bob\nversion=9"], [:set_dev_id, "a=b"], [:set_dev_id, "x\ry"], [:set_dev_id, "a\0b"],
          [:set_dev_id, "x" * 32], [:set_version, "1" * 32], [:set_game_title, "t" * 128], [:set_icon, "tab\there"],
          [:set_game_title, "../x"], [:set_game_title, "a/b"], [:set_game_title, "a\\b"], [:set_game_title, ".."],
          [:set_dev_title, "."], [:set_game_title, "bell\a"]]
  rows.each do |setter, value|
    assert_equal :invalid_value, wizard.__send__(setter, value), "#{setter} #{value.inspect}"
    assert_equal before, FFI::File.new.read(METADATA)
  end
  assert_equal "$wizards.itch.set_dev_id \"your-itch-username\"", $console.current_input_str
  # At the limit, and dots inside a title, are fine.
  wizard.set_dev_id "x" * 31
  wizard.set_game_title "Wait... What?"
  assert_equal ["x" * 31, "Wait... What?"], [wizard.dev_id, wizard.game_title]
end

# The same rows as the runtime's reading of the file (tests/native/metadata_test.cpp): one
# rule for both.
test "the store wizard reads a key given twice as the runtime does: its last value, in any case" do
  rows = [["devid=first\ndevid=second\n", "second"], ["devid=first\nDEVID=second\n", "second"],
          ["DevId=first\ndevid=second", "second"], ["devid=good\ndevid=#{"x" * 32}\n", ""],
          ["devid=#{"x" * 31}\n", "x" * 31], ["devid=a\rdevid=b", "b"], ["devid=a\0\ndevid=b", "a"],
          ["  devid  =  spaced out \t\n#devid=commented\n", "spaced out"]]
  assert_rows rows.map { |text, devid| [devid, ZOQ::ItchWizard.metadata_values(text)[:dev_id].to_s] }
  # Updating a key replaces every line the runtime would read it from.
  assert_equal ["devid=bob", "x=1", "devid=bob"],
               ZOQ::ItchWizard.updated_metadata_lines(["DEVID=a", "x=1", "devid=b"], { "devid" => "bob" })
end

test "a failing packager stops the store wizard with its output, never success" do
  wizard = itch_setup "echo 'no api key' >&2\nexit 3"
  FFI::File.new.write METADATA, "devid=bob\ndevtitle=Bob\ngameid=g\ngametitle=G\nversion=1\nicon=metadata/icon.png\n"
  assert_equal nil, wizard.start
  log = on_disk("logs/log.txt")
  assert_includes log, "* ERROR: Step deploy failed.", "* This command failed (exit status 3):", "no api key"
  assert_equal "$wizards.itch.start", $console.current_input_str
  assert_equal :not_started, wizard.wizard_status[:deploy][:result]
end
