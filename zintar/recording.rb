module ZOQ
  # Recording of input events under a fixed seed, and their replay on the same ticks.
  #
  # First version: recording, the replay file and the replay feed; the console commands
  # it suggests and its notifications come with the developer tools.
  class Recording
    # Only the bridge callbacks are sent back: a replay file names nothing else.
    REPLAYABLE = [:key_down_raw, :key_up_raw, :mouse_move, :mouse_button_pressed, :mouse_button_up, :mouse_wheel,
                  :finger_down, :finger_move, :finger_up, :key_down_player_one, :key_down_player_two,
                  :key_held_player_one, :key_held_player_two, :key_up_player_one, :key_up_player_two,
                  :left_analog_x_player_1, :left_analog_y_player_1, :right_analog_x_player_1,
                  :right_analog_y_player_1, :left_analog_x_player_2, :left_analog_y_player_2,
                  :right_analog_x_player_2, :right_analog_y_player_2].freeze

    attr_reader :tick_count, :seed, :input_history

    def initialize runtime
      @runtime = runtime
      @tick_count = 0
      @global_input_order = 1
      @is_recording = false
      @is_replaying = false
    end

    def is_recording?
      @is_recording
    end

    def is_replaying?
      @is_replaying
    end

    def tick
      @tick_count += 1
    end

    def start seed_number = nil
      start_recording seed_number
    end

    def stop file_name = nil
      stop_recording file_name
    end

    def start_recording seed_number = nil
      if seed_number.nil?
        log "* ERROR:\nTo start recording, you must provide an integer value to\nseed random number generation.\n"
        return nil
      end
      if @is_recording
        log "* ERROR:\nYou are already recording, first cancel (or stop) the current recording.\n"
        return nil
      end
      if @is_replaying
        log "* ERROR:\nYou are currently replaying a recording, first stop the replay.\n"
        return nil
      end
      log_info "Recording has begun with RNG seed value set to #{seed_number}.\nTo stop recording use stop_recording(filename).\nThe recording will stop without saving a file if a filename is nil.\n"
      @runtime.__reset__
      @seed = seed_number
      @runtime.set_rng seed_number
      @tick_count = 0
      @global_input_order = 1
      @is_recording = true
      @input_history = []
      nil
    end

    def stop_recording file_name = nil
      if file_name.nil?
        log "* ERROR:\nTo please specify a file name when calling:\n$recording.stop FILE_NAME\n\nIf you do NOT want to save the recording, call:\n$recording.cancel\n"
        return nil
      end
      unless @is_recording
        log_info "You are not currently recording. Use start_recording(seed_number) to start recording."
        return nil
      end
      text = "replay_version 2.0\nstopped_at #{@tick_count}\nseed #{@seed}\nrecorded_at #{Time.now}\n"
      text += @input_history.map { |event| event.to_s }.join("\n")
      @runtime.write_file file_name, text
      @runtime.write_file "last_replay.txt", text
      log_info "The recording has been saved successfully at #{file_name}. You can use start_replay(\"#{file_name}\") to replay the recording."
      stop_recording_core
      nil
    end

    def cancel
      stop_recording_core
      @runtime.notify! "Recording cancelled."
    end

    def stop_recording_core
      @is_recording = false
      @input_history = nil
      @runtime.__reset__
    end

    def record_input_history name, value_1, value_2, value_count, clear_cache = false
      return nil unless @is_recording && !@is_replaying
      @input_history << [name, value_1, value_2, value_count, @global_input_order, @tick_count]
      @global_input_order += 1
      nil
    end

    def start_replay file_name = nil
      if file_name.nil?
        log "* ERROR:\nPlease provide a file name to $recording.start.\n"
        return nil
      end
      text = @runtime.read_file file_name
      return false unless text
      lines = text.split("\n")
      unless lines[0].to_s.strip == "replay_version 2.0"
        raise "The replay file #{file_name} is not compatible with this version of Zintarel Playframe. Please recreate the replay (sorry)."
      end
      data = { input_history: {}, seed: nil, stopped_at: nil, recorded_at: nil }
      lines.each do |l|
        line = l.strip
        next if line.empty? || line == "replay_version 2.0"
        if line.start_with?("seed")
          data[:seed] = line.split(" ")[-1].to_i
        elsif line.start_with?("stopped_at")
          data[:stopped_at] = line.split(" ")[-1].to_i
        elsif line.start_with?("recorded_at")
          data[:recorded_at] = line.split(" ")[1..-1].join(" ")
        elsif line.start_with?("[")
          fields = line.gsub("[", "").gsub("]", "").split(",").map { |f| f.strip }
          event = { name: fields[0].gsub(":", "").to_sym, value_1: fields[1].to_f, value_2: fields[2].to_f,
                    value_count: fields[3].to_i, id: fields[4].to_i }
          (data[:input_history][fields[5].to_i] ||= []) << event
        else
          raise "Replay data seems corrupt. I don't know how to parse #{l}."
        end
      end
      data[:input_history].each_value { |events| events.sort! { |a, b| a[:id] <=> b[:id] } }
      @runtime.__reset__
      @runtime.set_rng data[:seed]
      $replay_data = data
      @replay_file_name = file_name
      @tick_count = 0
      @is_replaying = true
      log_info "Replay has been started."
      @runtime.notify! "Replay started [#{@replay_file_name}]."
      nil
    end

    def stage_replay_values
      return nil unless @is_replaying && $replay_data
      if $replay_data[:stopped_at] <= @tick_count
        stop_replay "Replay completed [#{@replay_file_name}]. To rerun, bring up the Console and press enter."
        return nil
      end
      events = $replay_data[:input_history][@tick_count] || []
      events.each do |event|
        next unless REPLAYABLE.include? event[:name]
        arguments = []
        arguments << event[:value_1] if event[:value_count] >= 1
        arguments << event[:value_2] if event[:value_count] >= 2
        arguments << :replay
        @runtime.send event[:name], *arguments
      end
      nil
    end

    def stop_replay notification_message = "Replay has been stopped."
      unless @is_replaying
        log "* ERROR:\nNo replay is currently running. Call $replay.start FILE_NAME to start a replay.\n"
        return nil
      end
      log_info notification_message
      @is_replaying = false
      $replay_data = nil
      @tick_count = 0
      @global_input_order = 1
      @runtime.__reset__
      @runtime.notify! notification_message
      nil
    end
  end

  # The console's handle on replays: $replay.start "replay.txt".
  module Replay
    def self.start file_name = nil
      $recording.start_replay file_name
    end

    def self.stop
      $recording.stop_replay
    end
  end
end
