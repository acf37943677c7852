module ZOQ
  # Raised by a wizard step that cannot go on: what to show in the console (texts, and
  # sprite Hashes of guide pictures).
  class WizardException < Exception
    attr_accessor :console_primitives

    def initialize *console_primitives
      @console_primitives = console_primitives
      super(console_primitives.select { |p| p.is_a?(String) }.join("\n"))
    end
  end

  # What both wizards share: their step status, and shell commands built from quoted
  # arguments whose exit status is checked. (The store wizard loads after this file.)
  module WizardCommands
    def self.quote arg
      text = arg.to_s
      raise WizardException.new("* A command argument can't hold a NUL byte: #{text.inspect}") if text.include?("\0")
      "'" + text.gsub("'", "'\\\\''") + "'"
    end

    def command *args
      args.map { |arg| WizardCommands.quote arg }.join(" ")
    end

    # NAME='value' before a command sets its environment.
    def env_prefix variables
      variables.map { |name, value| "#{name}=#{WizardCommands.quote value} " }.join
    end

    def init_wizard_status
      list = steps
      @wizard_status = {}
      list.each_with_index do |step, i|
        @wizard_status[step] = { result: :not_started, next_step: list[i + 1], previous_step: i > 0 ? list[i - 1] : nil }
      end
      @wizard_status
    end

    def wizard_status
      @wizard_status
    end

    # The command's output (standard error included) and exit status; never raises for a
    # command that fails.
    def run_shell cmd
      output = $zoq.exec("(#{cmd}) 2>&1").to_s
      status = $?
      [output, status.is_a?(Integer) ? status : -1]
    end

    # Logs the command and its output; a failing command stops the wizard with both.
    def sh cmd
      log_info cmd.strip
      output, status = run_shell cmd
      output.split("\n").each { |line| log line.strip unless line.strip.empty? }
      raise command_failed(cmd, status, output) unless status == 0
      output
    end

    def command_failed cmd, status, output
      lines = ["* This command failed (exit status #{status}):", "#+begin_src", "  #{cmd.strip}", "#+end_src"]
      unless output.strip.empty?
        lines << "** Its output:"
        lines << "#+begin_src"
        output.split("\n").each { |line| lines << "  #{line.rstrip}" }
        lines << "#+end_src"
      end
      WizardException.new(*lines)
    end

    def wizard_console
      $zoq ? $zoq.console : nil
    end

    def set_wizard_prompt command
      console = wizard_console
      console.set_command command if console
    end
  end

  # Builds, signs and installs the game on a connected iOS device from the prebuilt iOS
  # application beside the executable, then starts the web server devices poll for changed
  # sources. The signing and device tools exist only on macOS; every tool is looked up
  # through cli_apps, so another path can stand in for any of them.
  class IOSWizard
    include WizardCommands

    DEFAULT_PROFILE = "profiles/development.mobileprovision".freeze
    STAGED_FOLDERS = ["app", "sounds", "sprites", "data", "fonts"].freeze
    XCODE = "/Applications/Xcode.app/Contents/Developer".freeze

    attr_accessor :cli_apps
    attr_reader :certificate_name, :dev_profile_path, :app_name, :app_id, :device_id

    def initialize
      @cli_apps = {}
      @doctor_tick = 0
      @start_at = nil
      init_wizard_status
    end

    def steps
      [:check_for_xcode, :check_for_brew, :check_for_certs, :check_for_device, :check_for_dev_profile,
       :determine_app_name, :determine_app_id, :blow_away_temp, :stage_app, :write_info_plist,
       :write_entitlements_plist, :code_sign, :create_ipa, :deploy]
    end

    def start
      @certificate_name = nil
      init_wizard_status
      log "Starting iOS Wizard so we can deploy to your device."
      @start_at = Kernel.global_tick_count
      @current_step = nil
      steps.each do |step|
        @current_step = step
        next if @wizard_status[step][:result] == :success
        @wizard_status[step][:result] = __send__(step) || :success
      end
      :success
    rescue WizardException => e
      show_wizard_exception e
      set_wizard_prompt "$wizards.ios.start"
      nil
    rescue Exception => e
      log_error "Step #{@current_step} failed."
      log_error e.to_s
      set_wizard_prompt "$wizards.ios.start"
      nil
    end

    def restart
      init_wizard_status
      start
    end

    def show_wizard_exception e
      console = wizard_console
      rule = "=" * (console ? console.console_text_width : 80)
      if console
        console.log.clear
        console.archived_log.clear
      end
      [rule, *e.console_primitives, rule].each do |primitive|
        if primitive.is_a?(Hash)
          console.add_primitive primitive if console
        else
          log primitive.to_s
        end
      end
    end

    def set_app_name name
      @app_name = name.to_s
      start
    end

    def set_app_id id
      log "App Id set to: #{id}"
      @app_id = id.to_s
      start
    end

    def set_dev_profile path
      unless $zoq.read_file(path.to_s)
        log "I couldn't find a development profile at #{path}."
        set_wizard_prompt "$wizards.ios.set_dev_profile \"#{DEFAULT_PROFILE}\""
        return nil
      end
      @dev_profile_path = path.to_s
      start
    end

    # ---- tools ---------------------------------------------------------------------------

    def cli_app name, default
      @cli_apps[name] || default
    end

    def xcodebuild_cli_app
      cli_app :xcodebuild, "xcodebuild"
    end

    def brew_cli_app
      cli_app :brew, "brew"
    end

    def security_cli_app
      cli_app :security, "/usr/bin/security"
    end

    def plutil_cli_app
      cli_app :plutil, "/usr/bin/plutil"
    end

    def codesign_cli_app
      cli_app :codesign, "/usr/bin/codesign"
    end

    def idevice_id_cli_app
      cli_app :idevice_id, "idevice_id"
    end

    def zip_cli_app
      cli_app :zip, "zip"
    end

    # Opens a folder in the file browser.
    def open_cli_app
      cli_app :open, "xdg-open"
    end

    def deploy_cli_app
      cli_app :deploy, File.join(relative_path, "zintarel-deploy-ios")
    end

    def web_server_cli_app
      cli_app :web_server, File.join(relative_path, "civetweb")
    end

    def codesign_allocate_path
      cli_app :codesign_allocate, "#{XCODE}/Toolchains/XcodeDefault.xctoolchain/usr/bin/codesign_allocate"
    end

    def xcode_dir
      cli_app :xcode_dir, XCODE
    end

    def cli_app_exist? app
      output, _status = run_shell command("which", app)
      !output.strip.empty?
    end

    def always_fail
      !release_mode?
    end

    def release_mode?
      $zoq.instance_variable_get(:@rcb_release_mode) ? true : false
    end

    # ---- paths ---------------------------------------------------------------------------

    # The executable's folder, absolute: where the runtime's root writes go in development.
    def relative_path
      base = $zoq.get_base_dir
      base = base[0...-1] while base.length > 1 && base.end_with?("/")
      return base unless base.empty?
      File.expand_path(File.dirname($zoq.binary_path))
    end

    def tmp_directory
      "#{relative_path}/tmp/ios"
    end

    def app_path
      "#{tmp_directory}/#{@app_name}.app"
    end

    # The game folder as the runtime mounted it (relative to the folder it was started in).
    def root_folder
      File.expand_path($zoq.get_game_dir)
    end

    def dev_profile
      @dev_profile_path || DEFAULT_PROFILE
    end

    # ---- guide pictures ------------------------------------------------------------------

    def get_reserved_sprite png
      path = ".zintarel/sprites/wizards/ios/#{png}"
      unless release_mode?
        path = "deploy_template/#{path}"
        $zoq.reset_sprite path
      end
      log_error "png #{png} not found." unless $zoq.read_file(path)
      path
    end

    def guide_sprite png, w, h
      { w: w, h: h, path: get_reserved_sprite(png) }
    end

    # ---- steps ---------------------------------------------------------------------------

    def check_for_xcode
      return :success if cli_app_exist?(xcodebuild_cli_app)
      raise WizardException.new("* You need Xcode to use $wizards.ios.start.",
                                guide_sprite("xcode.png", 75, 75),
                                "** 1. Register as a developer at https://developer.apple.com.",
                                "** 2. Download Xcode 11.3 or later from https://developer.apple.com/download/more/ (not from the App Store).",
                                guide_sprite("xcode-downloads.png", 700, 359),
                                "** 3. Open Xcode once and accept its licence.")
    end

    def check_for_brew
      return :success if cli_app_exist?(brew_cli_app)
      raise WizardException.new("* You need to install Brew.",
                                guide_sprite("brew.png", 700, 388),
                                "** 1. Go to https://brew.sh and copy the install command that starts with ~/bin/bash -c~.",
                                "** 2. Open Terminal and run it.",
                                guide_sprite("terminal.png", 700, 99))
    end

    def check_for_certs
      log "Attempting to find certificates on your computer."
      unless cli_app_exist?(security_cli_app)
        raise WizardException.new("* It doesn't look like you have #{security_cli_app}.",
                                  "** 1. Open Disk Utility and run First Aid.",
                                  guide_sprite("disk-utility.png", 700, 148))
      end
      certificates = valid_certs
      if certificates.empty?
        raise WizardException.new("* It doesn't look like you have any valid certs installed.",
                                  "** 1. Open Xcode.",
                                  "** 2. Log into your developer account. Xcode -> Preferences -> Accounts.",
                                  guide_sprite("login-xcode.png", 700, 98),
                                  "** 3. After loggin in, select Manage Certificates...",
                                  guide_sprite("manage-certificates.png", 700, 115),
                                  "** 4. Add a certificate for Apple Development.",
                                  guide_sprite("add-cert.png", 700, 217))
      end
      @certificate_name = certificates[0][:name]
      log "I will be using '#{@certificate_name}' to deploy to your device."
      :success
    end

    # Development signing identities: "  1) ID \"Apple Development: Name (TEAM)\"".
    def valid_certs
      output = sh("#{command(security_cli_app)} -q find-identity -p codesigning -v")
      IOSWizard.parse_certs output
    end

    def self.parse_certs output
      output.split("\n").map { |line| line.strip }.select do |line|
        line.include?(")") && line.include?("Development") && !line.include?("Developer ID")
      end.map do |line|
        number, id, name = line.split(" ", 3)
        { number: number, id: id, name: name.to_s.delete("\"") }
      end.reject { |cert| cert[:name].empty? }
    end

    def check_for_device
      log "Looking for device."
      unless cli_app_exist?(idevice_id_cli_app)
        raise WizardException.new("* It doesn't look like you have the libimobiledevice iOS protocol library installed.",
                                  "** 1. Open Terminal.",
                                  guide_sprite("terminal.png", 700, 99),
                                  "** 2. Run: `brew install libimobiledevice`.",
                                  guide_sprite("brew-install-libimobiledevice.png", 500, 93))
      end
      devices = connected_devices
      raise WizardException.new("* I couldn't find any connected devices. Connect your iOS device to your Mac and try again.") if devices.empty?
      @device_id = devices[0]
      log "I will be using device with UUID #{@device_id}"
      :success
    end

    def connected_devices
      sh(command(idevice_id_cli_app, "-l")).split("\n").map { |line| line.strip }.reject { |line| line.empty? }
    end

    def check_for_dev_profile
      return :success if $zoq.read_file(dev_profile)
      profiles = File.join(relative_path, "profiles")
      write_root "profiles/README.txt",
                 "Download the mobile provisioning profile and place it here with the name development.mobileprovision"
      # Showing the folder is a convenience: the guide below follows either way.
      output, status = run_shell command(open_cli_app, profiles)
      log "Couldn't open #{profiles}: #{output.strip}" unless status == 0
      raise WizardException.new("* I didn't find a mobile provision.",
                                "** 1. Go to https://developer.apple.com/account and open Certificates, IDs & Profiles.",
                                "** 2. Add an App Identifier.",
                                "** 3. Select the App IDs option from the list.",
                                guide_sprite("identifiers.png", 700, 75),
                                "** 4. Add your Device next. You can use idevice_id -l to get the UUID of your device.",
                                guide_sprite("device-link.png", 365, 69),
                                "** 5. Create a Profile. Associate your certs, id, and device.",
                                guide_sprite("profiles.png", 300, 122),
                                "** 6. Download the mobile provision and save it to 'profiles/development.mobileprovision'.",
                                guide_sprite("profiles-folder.png", 200, 124))
    end

    # The property list inside the signed profile, parsed: the text from its XML declaration
    # (or plist element) to the end of the plist element.
    def dev_profile_xml
      text = $zoq.read_file(dev_profile) || ""
      first = text.index("<?xml") || text.index("<plist")
      last = first ? text.index("</plist>", first) : nil
      return nil unless last
      $zoq.parse_xml text[first...(last + 8)]
    end

    # The profile's values by key: AppIDName, and application-identifier in Entitlements.
    def determine_app_name
      name = IOSWizard.plist_text(IOSWizard.plist_value(profile_dict, "AppIDName"))
      check_app_value "app name", name, IOSWizard.app_name_problem(name)
      @app_name = name
      log "App name is: #{@app_name}."
      :success
    end

    def determine_app_id
      entitlements = IOSWizard.plist_value(profile_dict, "Entitlements")
      id = IOSWizard.plist_text(IOSWizard.plist_value(entitlements, "application-identifier"))
      check_app_value "app identifier", id, IOSWizard.app_id_problem(id)
      @app_id = id
      log "App Identifier is set to : #{@app_id}"
      :success
    end

    def check_app_value what, value, problem
      return nil unless problem
      raise WizardException.new("* The #{what} in #{dev_profile} can't be used: #{value.inspect} #{problem}.",
                                "** Download the profile again, or make one for an App ID whose name is a plain file name.")
    end

    def profile_dict
      document = dev_profile_xml
      plist = IOSWizard.child_elements(document).find { |node| node[:name] == "plist" }
      IOSWizard.child_elements(plist).find { |node| node[:name] == "dict" }
    end

    def self.child_elements node
      return [] unless node.is_a?(Hash) && node[:children].is_a?(Array)
      node[:children].select { |child| child.is_a?(Hash) && child[:type] == :element }
    end

    # In a plist dict, keys and values alternate: the element after <key>KEY</key>.
    def self.plist_value dict, key
      children = child_elements(dict)
      children.each_with_index do |child, i|
        return children[i + 1] if child[:name] == "key" && plist_text(child) == key
      end
      nil
    end

    def self.plist_text node
      return nil unless node.is_a?(Hash) && node[:children].is_a?(Array)
      node[:children].select { |child| child[:type] == :content }.map { |child| child[:data].to_s }.join.strip
    end

    # The app name becomes a folder name and a file path of the virtual file system.
    def self.app_name_problem name
      return "is missing" if name.nil? || name.empty?
      return "is too long" if name.length > 200
      return "is not a file name" if name == "." || name == ".."
      ["/", "\\", ":", "\0", "\n", "\r", "\t"].each { |c| return "holds #{c.inspect}" if name.include?(c) }
      nil
    end

    def self.app_id_problem id
      return "is missing" if id.nil? || id.empty?
      return "is too long" if id.length > 255
      allowed = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-*"
      id.each_char { |c| return "holds #{c.inspect}" unless allowed.include?(c) }
      nil
    end

    # Only ever the wizard's own staging folder: absolute, ending in /tmp/ios, no . or ..
    def self.staging_folder? path, tmp
      return false unless path.start_with?("/") && tmp.start_with?("/") && tmp.end_with?("/tmp/ios")
      return false unless path == tmp || path.start_with?(tmp + "/")
      path.split("/").none? { |part| part == "." || part == ".." }
    end

    def remove_staged path
      raise WizardException.new("* I won't remove #{path}: it is not inside #{tmp_directory}.") unless IOSWizard.staging_folder?(path, tmp_directory)
      sh command("rm", "-rf", path)
    end

    def write_root path, text
      raise WizardException.new("* I couldn't write #{path}.") unless $zoq.write_file_root(path, text)
      true
    end

    def blow_away_temp
      remove_staged tmp_directory
      :success
    end

    def stage_app
      log "Staging."
      sh command("mkdir", "-p", tmp_directory)
      sh command("cp", "-R", File.join(relative_path, "zintarel-ios.app"), app_path)
      :success
    end

    def write_info_plist
      log "Adding Info.plist."
      text = info_plist_template.gsub(":app_name", Docs.escape_html(@app_name)).gsub(":app_id", Docs.escape_html(@app_id))
      write_root "tmp/ios/#{@app_name}.app/Info.plist", text
      @info_plist_written = true
      :success
    end

    def entitlements_path
      "#{tmp_directory}/Entitlements.plist"
    end

    def write_entitlements_plist
      log "Creating Entitlements.plist"
      write_root "tmp/ios/Entitlements.plist",
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" \
                 "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n" \
                 "<plist version=\"1.0\">\n<dict>\n" \
                 "  <key>application-identifier</key>\n  <string>#{Docs.escape_html(@app_id)}</string>\n" \
                 "  <key>get-task-allow</key>\n  <true/>\n" \
                 "</dict>\n</plist>\n"
      sh command(plutil_cli_app, "-convert", "binary1", entitlements_path)
      sh command(plutil_cli_app, "-convert", "xml1", entitlements_path)
      @entitlements_written = true
      :success
    end

    def code_sign
      write_root "tmp/ios/#{@app_name}.app/embedded.mobileprovision", $zoq.read_file(dev_profile).to_s
      log "Signing app with #{@certificate_name}."
      sh command(plutil_cli_app, "-convert", "binary1", "#{app_path}/Info.plist")
      sh env_prefix("CODESIGN_ALLOCATE" => codesign_allocate_path) +
         command(codesign_cli_app, "-f", "-s", @certificate_name, "--entitlements", entitlements_path, app_path)
      @code_signed = true
      :success
    end

    def create_ipa
      ipa = "#{tmp_directory}/#{@app_name}.ipa"
      sh command("rm", "-f", ipa)
      STAGED_FOLDERS.each do |folder|
        remove_staged "#{app_path}/#{folder}"
        source = File.join(root_folder, folder)
        sh command("cp", "-R", source, "#{app_path}/#{folder}") if File.directory?(source)
      end
      write_ip_address
      payload = "#{tmp_directory}/ipa_root/Payload"
      sh command("mkdir", "-p", payload)
      sh command("cp", "-R", app_path, payload)
      sh command("chmod", "-R", "755", payload)
      do_zip
      sh command("cp", "#{tmp_directory}/ipa_root/archive.zip", ipa)
      sh env_prefix("XCODE_DIR" => xcode_dir) + command(deploy_cli_app, "-d", @device_id, ipa)
      start_web_server
      log "Check your device!!"
      :success
    end

    # The development machine's address goes into the staged copy of the game only: the
    # game's own sources never name a server.
    def write_ip_address
      address = ($zoq.ffi_misc.get_local_ip_address || "").strip
      if address.empty?
        log "* WARNING: This machine has no network address: the device will not hot reload."
        return nil
      end
      write_root "tmp/ios/#{@app_name}.app/app/server_ip_address.txt", address
      address
    end

    def do_zip
      script = "cd #{WizardCommands.quote "#{tmp_directory}/ipa_root"} && " \
               "#{command(zip_cli_app, "-q", "-r", "archive.zip", "Payload")}\n"
      write_root "tmp/ios/do_zip.sh", script
      sh command("sh", "#{tmp_directory}/do_zip.sh")
    end

    def web_server_running?
      output, _status = run_shell "ps -e -o comm="
      name = File.basename(web_server_cli_app)[0, 15]
      output.split("\n").any? { |line| line.strip == name }
    end

    # Serves the source backups on port 8080 from their folder, in the background.
    def start_web_server
      if web_server_running?
        log "* INFO: civetweb is running already running. No need to start another instance."
        return nil
      end
      folder = File.join(relative_path, "tmp/src_backup")
      server = File.join(folder, File.basename(web_server_cli_app))
      sh command("mkdir", "-p", folder)
      sh command("cp", web_server_cli_app, server)
      sh "cd #{WizardCommands.quote folder} && #{command(server)} </dev/null >/dev/null 2>&1 &"
    end

    def deploy
      :success
    end

    # ---- Info.plist ----------------------------------------------------------------------

    def device_orientation_xml
      landscape = $zoq.logical_width > $zoq.logical_height
      "<string>#{landscape ? "UIInterfaceOrientationLandscapeRight" : "UIInterfaceOrientationPortrait"}</string>"
    end

    def launch_image_xml minimum, name, size
      "    <dict>\n      <key>UILaunchImageMinimumOSVersion</key>\n      <string>#{minimum}</string>\n" \
      "      <key>UILaunchImageName</key>\n      <string>#{name}</string>\n" \
      "      <key>UILaunchImageOrientation</key>\n      <string>Portrait</string>\n" \
      "      <key>UILaunchImageSize</key>\n      <string>#{size}</string>\n    </dict>\n"
    end

    def info_plist_template
      images = [["11.0", "LaunchImage-1100-Portrait-2436h", "{375, 812}"], ["8.0", "LaunchImage-800-Portrait-736h", "{414, 736}"],
                ["8.0", "LaunchImage-800-667h", "{375, 667}"], ["7.0", "LaunchImage-700", "{320, 480}"],
                ["7.0", "LaunchImage-700-568h", "{320, 568}"], ["7.0", "LaunchImage-700-Portrait", "{768, 1024}"]]
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" \
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n" \
      "<plist version=\"1.0\">\n<dict>\n" \
      "  <key>NSAppTransportSecurity</key>\n  <dict>\n    <key>NSAllowsArbitraryLoads</key>\n    <true/>\n" \
      "    <key>NSExceptionDomains</key>\n    <dict>\n      <key>local</key>\n      <dict>\n" \
      "        <key>NSExceptionAllowsInsecureHTTPLoads</key>\n        <true/>\n" \
      "        <key>NSIncludesSubdomains</key>\n        <true/>\n      </dict>\n    </dict>\n  </dict>\n" \
      "  <key>BuildMachineOSBuild</key>\n  <string>19C57</string>\n" \
      "  <key>CFBundleDevelopmentRegion</key>\n  <string>en</string>\n" \
      "  <key>CFBundleDisplayName</key>\n  <string>:app_name</string>\n" \
      "  <key>CFBundleExecutable</key>\n  <string>Runtime</string>\n" \
      "  <key>CFBundleIconFiles</key>\n  <array>\n    <string>AppIcon60x60</string>\n  </array>\n" \
      "  <key>CFBundleIcons</key>\n  <dict>\n    <key>CFBundlePrimaryIcon</key>\n    <dict>\n" \
      "      <key>CFBundleIconFiles</key>\n      <array>\n        <string>AppIcon60x60</string>\n      </array>\n" \
      "      <key>CFBundleIconName</key>\n      <string>AppIcon</string>\n    </dict>\n  </dict>\n" \
      "  <key>CFBundleIcons~ipad</key>\n  <dict>\n    <key>CFBundlePrimaryIcon</key>\n    <dict>\n" \
      "      <key>CFBundleIconFiles</key>\n      <array>\n        <string>AppIcon60x60</string>\n" \
      "        <string>AppIcon76x76</string>\n      </array>\n" \
      "      <key>CFBundleIconName</key>\n      <string>AppIcon</string>\n    </dict>\n  </dict>\n" \
      "  <key>CFBundleIdentifier</key>\n  <string>:app_id</string>\n" \
      "  <key>CFBundleInfoDictionaryVersion</key>\n  <string>6.0</string>\n" \
      "  <key>CFBundleName</key>\n  <string>:app_name</string>\n" \
      "  <key>CFBundlePackageType</key>\n  <string>APPL</string>\n" \
      "  <key>CFBundleShortVersionString</key>\n  <string>1.0</string>\n" \
      "  <key>CFBundleSignature</key>\n  <string>????</string>\n" \
      "  <key>CFBundleSupportedPlatforms</key>\n  <array>\n    <string>iPhoneOS</string>\n  </array>\n" \
      "  <key>CFBundleVersion</key>\n  <string>1.0</string>\n" \
      "  <key>DTCompiler</key>\n  <string>com.apple.compilers.llvm.clang.1_0</string>\n" \
      "  <key>DTPlatformBuild</key>\n  <string>17B102</string>\n" \
      "  <key>DTPlatformName</key>\n  <string>iphoneos</string>\n" \
      "  <key>DTPlatformVersion</key>\n  <string>13.2</string>\n" \
      "  <key>DTSDKBuild</key>\n  <string>17B102</string>\n" \
      "  <key>DTSDKName</key>\n  <string>iphoneos13.2</string>\n" \
      "  <key>DTXcode</key>\n  <string>01131</string>\n" \
      "  <key>DTXcodeBuild</key>\n  <string>11C505</string>\n" \
      "  <key>ITSAppUsesNonExemptEncryption</key>\n  <false/>\n" \
      "  <key>MinimumOSVersion</key>\n  <string>11.0</string>\n" \
      "  <key>UIAppFonts</key>\n  <array/>\n" \
      "  <key>UIBackgroundModes</key>\n  <array/>\n" \
      "  <key>UIDeviceFamily</key>\n  <array>\n    <integer>1</integer>\n    <integer>2</integer>\n  </array>\n" \
      "  <key>UILaunchImages</key>\n  <array>\n" +
        images.map { |minimum, name, size| launch_image_xml(minimum, name, size) }.join +
        "  </array>\n" \
        "  <key>UIRequiredDeviceCapabilities</key>\n  <array>\n    <string>arm64</string>\n  </array>\n" \
        "  <key>UIRequiresFullScreen</key>\n  <true/>\n" \
        "  <key>UIStatusBarStyle</key>\n  <string>UIStatusBarStyleDefault</string>\n" \
        "  <key>UISupportedInterfaceOrientations</key>\n  <array>\n    #{device_orientation_xml}\n  </array>\n" \
        "</dict>\n</plist>\n"
    end
  end

  # The publishing wizards of args.wizards and $wizards.
  class Wizards
    attr_accessor :ios, :itch

    def initialize
      @ios = IOSWizard.new
      @itch = ItchWizard.new
    end
  end
end
