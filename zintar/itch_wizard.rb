module ZOQ
  # The store publishing wizard: fills in "metadata/game_metadata.txt" with the developer,
  # asking for each missing value in the console, then runs the store packager beside the
  # executable.
  class ItchWizard
    include WizardCommands

    # The wizard's values and the metadata keys they are written under.
    KEYS = [[:dev_id, "devid"], [:dev_title, "devtitle"], [:game_id, "gameid"], [:game_title, "gametitle"],
            [:version, "version"], [:icon, "icon"]].freeze

    BLANK_METADATA = "#devid=myname\n#devtitle=My Name\n#gameid=mygame\n#gametitle=My Game\n#version=0.1\n#icon=metadata/icon.png".freeze

    PROMPTS = {
      dev_id: ["* PROMPT: Please provide your username for Itch.", "$wizards.itch.set_dev_id \"your-itch-username\"", :need_dev_id],
      dev_title: ["* PROMPT: Please provide developer's/company's name that you want displayed.",
                  "$wizards.itch.set_dev_title \"Your Name\"", :need_dev_title],
      game_id: ["* PROMPT: Please provide the id for you game. This is the id you specified when you set up a new game page on Itch.",
                "$wizards.itch.set_game_id \"your-game-id\"", :need_game_id],
      game_title: ["* PROMPT: Please provide the display name for your game. (This can include spaces)",
                   "$wizards.itch.set_game_title \"Your Game\"", :need_game_title],
      version: ["* PROMPT: Please provide the version for your game.", "$wizards.itch.set_version \"1.0\"", :need_version],
      icon: ["* PROMPT: Please provide icon path for your game.", "$wizards.itch.set_icon \"icon.png\"", :need_icon]
    }.freeze

    attr_reader :dev_id, :dev_title, :game_id, :game_title, :version, :icon

    def initialize
      reset
    end

    def steps
      [:check_metadata, :deploy]
    end

    def reset
      KEYS.each { |attr, _key| instance_variable_set "@#{attr}", nil }
      @start_at = nil
      init_wizard_status
    end

    def restart
      reset
      start
    end

    def start
      log "================"
      log "* INFO: Starting Itch Wizard."
      @start_at = Kernel.global_tick_count
      # A run that went through to the end starts over: a second start packages again.
      init_wizard_status if steps.all? { |step| @wizard_status[step][:result] == :success }
      current = nil
      steps.each do |step|
        current = step
        log "Running Itch Wizard Step: ~$wizards.itch.#{step}~"
        result = @wizard_status[step][:result]
        unless result == :success
          result = __send__(step) || :success
          @wizard_status[step][:result] = result
        end
        unless result == :success
          log "Exiting wizard. :#{result}"
          return result
        end
      end
      :success
    rescue Exception => e
      log_error "Step #{current} failed."
      log_error e.to_s
      set_wizard_prompt "$wizards.itch.start"
      nil
    end

    def metadata_file_path
      "metadata/game_metadata.txt"
    end

    def metadata_backup_path
      "metadata/game_metadata.txt.bak"
    end

    def relative_path
      $zoq.get_base_dir
    end

    def package_command
      command(File.join(relative_path, "zintarel-publish"))
    end

    # ---- steps ---------------------------------------------------------------------------

    def check_metadata
      text = $zoq.read_file(metadata_file_path)
      unless text
        write_blank_metadata
        text = $zoq.read_file(metadata_file_path) || BLANK_METADATA
      end
      log "* INFO: Contents of #{metadata_file_path}:"
      log "#+begin_src txt"
      text.split("\n").each { |line| log "  #{line}" }
      log "#+end_src"
      values = get_metadata
      KEYS.each do |attr, _key|
        next unless values[attr].nil? || values[attr].empty?
        next if instance_variable_get("@#{attr}")
        prompt, console_command, answer = PROMPTS[attr]
        log prompt
        set_wizard_prompt console_command
        return answer
      end
      :success
    end

    def deploy
      cmd = package_command
      log "* Running zintarel-publish: #{cmd}"
      output, status = run_shell cmd
      log "#+begin_src"
      log output
      log "#+end_src"
      raise command_failed(cmd, status, output) unless status == 0
      :success
    end

    # ---- the metadata file ---------------------------------------------------------------

    # The longest value of each key that start-up reads (a longer one it ignores).
    VALUE_LIMITS = ZOQ::Host::METADATA_VALUE_LIMITS

    # The values of the file by key; a commented or missing key is nil.
    def get_metadata
      text = $zoq.read_file(metadata_file_path)
      unless text
        write_blank_metadata
        text = $zoq.read_file(metadata_file_path) || ""
      end
      ItchWizard.metadata_values text
    end

    # Read as start-up reads the file: a NUL ends it, CR or LF ends a line, a key given twice
    # takes its last value (keys in any case), and a value too long to read is no value.
    def self.metadata_values text
      found = {}
      metadata_lines(text).each do |line|
        key, value = metadata_line line
        next unless key
        key = key.downcase
        limit = VALUE_LIMITS[key]
        found[key] = limit && value.bytesize > limit ? nil : value
      end
      values = {}
      KEYS.each { |attr, key| values[attr] = found[key] }
      values
    end

    def self.metadata_lines text
      ended = text.index("\0")
      text = text[0...ended] if ended
      text.gsub("\r", "\n").split("\n")
    end

    # [key, value] of a "key=value" line, nil for a comment or another line.
    def self.metadata_line line
      text = line.strip
      return nil if text.start_with?("#")
      at = text.index("=")
      return nil unless at && at > 0
      [text[0...at].strip, text[(at + 1)..-1].strip]
    end

    # The key a commented default line stands for ("#devid=myname" stands for devid).
    def self.commented_key line
      text = line.strip
      return nil unless text.start_with?("#")
      key, _value = metadata_line(text[1..-1])
      key
    end

    def write_blank_metadata
      raise "Couldn't write #{metadata_file_path}." unless $zoq.write_file(metadata_file_path, BLANK_METADATA)
      true
    end

    # Only the wizard's keys change: a key's line is replaced where it is (or its commented
    # default), a missing key is appended, and every other line is kept. The file as it
    # was before the wizard first changed it is kept beside it.
    def write_metadata
      text = $zoq.read_file(metadata_file_path)
      if text && !@metadata_backed_up
        raise "Couldn't write #{metadata_backup_path}." unless $zoq.write_file(metadata_backup_path, text)
        @metadata_backed_up = true
      end
      lines = ItchWizard.updated_metadata_lines(ItchWizard.metadata_lines(text || BLANK_METADATA), metadata_values_to_write)
      raise "Couldn't write #{metadata_file_path}." unless $zoq.write_file(metadata_file_path, lines.map { |line| line + "\n" }.join)
      true
    end

    def metadata_values_to_write
      values = {}
      KEYS.each do |attr, key|
        value = instance_variable_get("@#{attr}")
        next if value.nil?
        value = "metadata/#{value}" if attr == :icon && !value.start_with?("metadata/")
        values[key] = value
      end
      values
    end

    def self.updated_metadata_lines lines, values
      lines = lines.dup
      values.each do |key, value|
        line = "#{key}=#{value}"
        places = []
        lines.each_with_index { |existing, i| places << i if (metadata_line(existing) || [])[0].to_s.downcase == key }
        if places.empty?
          commented = lines.index { |existing| commented_key(existing) == key }
          places << commented if commented
        end
        if places.empty?
          lines << line
        else
          places.each { |i| lines[i] = line }
        end
      end
      lines
    end

    # A value is one line of the file that start-up reads whole: no new line, "=", NUL or
    # other control character, and no longer than its key's field. A title also names the
    # player's data folder: no "/" or "\\", and not "." or "..".
    def self.value_problem attr, value
      text = value.to_s
      return "can't hold a new line" if text.include?("\n") || text.include?("\r")
      return "can't hold \"=\"" if text.include?("=")
      return "can't hold control characters" if text.bytes.any? { |b| b < 32 || b == 127 }
      key = KEYS.find { |a, _k| a == attr }[1]
      limit = VALUE_LIMITS[key]
      return "can't be longer than #{limit} bytes" if limit && text.strip.bytesize > limit
      if attr == :dev_title || attr == :game_title
        return "can't hold \"/\" or \"\\\"" if text.include?("/") || text.include?("\\")
        return "can't be \".\" or \"..\"" if text.strip == "." || text.strip == ".."
      end
      nil
    end

    def set_value attr, value
      text = value.to_s
      problem = ItchWizard.value_problem(attr, text)
      if problem
        log_error "The value for #{attr} #{problem}: #{text.inspect}."
        set_wizard_prompt PROMPTS[attr][1]
        return :invalid_value
      end
      instance_variable_set "@#{attr}", text.strip
      write_metadata
      start
    end

    def set_dev_id value
      set_value :dev_id, value
    end

    def set_dev_title value
      set_value :dev_title, value
    end

    def set_game_id value
      set_value :game_id, value
    end

    def set_game_title value
      set_value :game_title, value
    end

    def set_version value
      set_value :version, value
    end

    def set_icon value
      set_value :icon, value
    end
  end
end
