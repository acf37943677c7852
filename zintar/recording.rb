module ZOQ
  # Recording of input events under a fixed seed into a replay file, and their replay on the
  # same ticks.
  #
  # Every start, however it is made (command line, console, the game's own tick), is aligned
  # the same way: the clock of a recording or replay begins with the first engine step in
  # which the game can tick after the runtime's reset, and that step runs the game's tick 0.
  # Until then the game's tick is held and live input dropped (it could never be replayed at
  # the same point), and at that step the random generator is seeded again, so whatever ran
  # in between (start-up loading, boot, a reload) cannot shift what the game sees. Events
  # that arrive between two steps carry the tick count the following step feeds them on.
  class Recording
    VERSION_LINE = "replay_version 2.0"

    # Touches are recorded as the touch id, x and y (y where the value count goes) and a
    # lifted finger as its id alone: they are sent back that way.
    TOUCHES = [:finger_down, :finger_move, :finger_up].freeze

    attr_reader :tick_count, :seed, :input_history, :replay_file_name

    def initialize runtime
      @runtime = runtime
      @tick_count = 0
      @global_input_order = 1
      @is_recording = false
      @is_replaying = false
      @begun = false
    end

    def is_recording?
      @is_recording
    end

    def is_replaying?
      @is_replaying
    end

    # Whether the bridge callbacks must drop an event from this sender: during a replay
    # everything but the replay itself, and before a recording's clock has begun, all of it.
    def drops_input? sender
      return false if sender == :replay
      @is_replaying || (@is_recording && !@begun)
    end

    # Whether the game's tick waits for the clock to begin, so that no tick of the new
    # session runs before it.
    def holding_game?
      (@is_recording || @is_replaying) && !@begun
    end

    # Once per engine step, before the game's tick. The clock begins at the first step in
    # which the game can tick with no file waiting to load (a reset late in a game reloads
    # main.rb); from then on it counts steps.
    def tick
      if holding_game?
        return nil if @runtime.game_tick_blocked? || @runtime.pending_reload?
        @begun = true
        @tick_count = 1
        Kernel.srand @seed
        return nil
      end
      @tick_count += 1
      nil
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
        @runtime.console.set_command "$recording.start SEED_NUMBER"
        return nil
      end
      if @is_recording
        log "* ERROR:\nYou are already recording, first cancel (or stop) the current recording.\n"
        @runtime.console.set_command "$recording.cancel"
        return nil
      end
      if @is_replaying
        log "* ERROR:\nYou are currently replaying a recording, first stop the replay.\n"
        return nil
      end
      seed_number = seed_number.to_i unless seed_number.is_a?(Integer)
      log_info "Recording has begun with RNG seed value set to #{seed_number}.\nTo stop recording use stop_recording(filename).\nThe recording will stop without saving a file if a filename is nil.\n"
      @runtime.console.set_command "$recording.stop 'replay.txt'"
      @runtime.__reset__
      forget_live_inputs
      @seed = seed_number
      @runtime.set_rng seed_number
      @tick_count = 0
      @global_input_order = 1
      @begun = false
      @is_recording = true
      @input_history = []
      @runtime.notify! "Recording started. When completed, open the console to save it using $recording.stop FILE_NAME (or cancel).", 300
      nil
    end

    def stop_recording file_name = nil
      if file_name.nil?
        log "* ERROR:\nTo please specify a file name when calling:\n$recording.stop FILE_NAME\n\nIf you do NOT want to save the recording, call:\n$recording.cancel\n"
        @runtime.console.set_command "$recording.stop 'replay.txt'"
        return nil
      end
      unless @is_recording
        log_info "You are not currently recording. Use start_recording(seed_number) to start recording."
        @runtime.console.set_command "$recording.start"
        return nil
      end
      file_name = file_name.to_s
      return false unless save_recording file_name
      log_info "The recording has been saved successfully at #{file_name}. You can use start_replay(\"#{file_name}\") to replay the recording."
      @runtime.console.set_command "$replay.start '#{file_name}'"
      stop_recording_core
      @runtime.notify! "Recording saved to #{file_name}. To replay it: $replay.start \"#{file_name}\"."
      log_info "You can run the replay later on startup using: ./zintarel mygame --replay #{file_name}"
      nil
    end

    # At quit: the recording is written and ends, and the game is left as it is.
    def save_at_quit file_name
      return nil unless @is_recording
      return false unless save_recording file_name
      log_info "The recording has been saved at #{file_name}."
      @is_recording = false
      @input_history = nil
      true
    end

    def cancel
      return nil unless @is_recording
      stop_recording_core
      @runtime.notify! "Recording cancelled."
    end

    def stop_recording_core
      @is_recording = false
      @begun = false
      @input_history = nil
      @runtime.__reset__
    end

    def replay_text
      lines = [VERSION_LINE, "stopped_at #{@tick_count}", "seed #{@seed}", "recorded_at #{Time.now}"]
      @input_history.each { |event| lines << event.to_s }
      lines.join("\n") + "\n"
    end

    # Writes the file and the copy "last_replay.txt". A file that cannot be written is
    # reported and the recording goes on, its events kept for another try.
    def save_recording file_name
      text = replay_text
      unless write_replay_file file_name, text
        log "* ERROR:\nThe recording could not be written to #{file_name}.\nIt is still running with its events: stop it again with another file name, or cancel it.\n"
        @runtime.console.set_command "$recording.stop 'replay.txt'"
        return false
      end
      unless file_name == "last_replay.txt" || write_replay_file("last_replay.txt", text)
        log "* WARNING:\nThe copy of the recording in last_replay.txt could not be written.\n"
      end
      true
    end

    def write_replay_file file_name, text
      @runtime.write_file(file_name, text) ? true : false
    rescue Exception
      false
    end

    def record_input_history name, value_1, value_2, value_count, clear_cache = false
      return nil unless @is_recording && !@is_replaying && @begun
      @input_history << [name, value_1, value_2, value_count, @global_input_order, @tick_count]
      @global_input_order += 1
      nil
    end

    def start_replay file_name = nil
      if file_name.nil?
        log "* ERROR:\nPlease provide a file name to $recording.start.\n"
        @runtime.console.set_command "$replay.start 'replay.txt'"
        return nil
      end
      if @is_recording
        log "* ERROR:\nYou are currently recording, first stop (or cancel) the recording.\n"
        @runtime.console.set_command "$recording.cancel"
        return nil
      end
      file_name = file_name.to_s
      text = @runtime.read_file file_name
      unless text
        log_error "The replay file #{file_name} could not be read: the game goes on with live input."
        return false
      end
      # Read and checked whole before anything changes: a refused file leaves the game as it was.
      data = ReplayFile.parse text, file_name
      # A replay started over a running one restarts it.
      @is_replaying = false
      @runtime.__reset__
      forget_live_inputs
      @runtime.set_rng data[:seed]
      @seed = data[:seed]
      $replay_data = data
      @replay_file_name = file_name
      @tick_count = 0
      @global_input_order = 1
      @begun = false
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
      return nil unless @begun
      if @tick_count.zmod?(60)
        log_info "Replay ends in #{($replay_data[:stopped_at] - @tick_count).idiv(60)} second(s)."
      end
      events = $replay_data[:input_history][@tick_count]
      return nil unless events
      events.each { |event| @runtime.__send__ event[:name], *replay_arguments(event) }
      nil
    end

    def replay_arguments event
      arguments = []
      if event[:name] == :finger_up
        arguments << event[:value_1]
      elsif TOUCHES.include? event[:name]
        arguments << event[:value_1] << event[:value_2] << event[:value_count]
      else
        arguments << event[:value_1] if event[:value_count] >= 1
        arguments << event[:value_2] if event[:value_count] >= 2
      end
      arguments << :replay
    end

    def stop_replay notification_message = "Replay has been stopped."
      unless @is_replaying
        log "* ERROR:\nNo replay is currently running. Call $replay.start FILE_NAME to start a replay.\n"
        @runtime.console.set_command "$replay.start 'replay.txt'"
        return nil
      end
      log_info notification_message
      @is_replaying = false
      @begun = false
      $replay_data = nil
      @tick_count = 0
      @global_input_order = 1
      @runtime.console.set_command_silent "$replay.start '#{@replay_file_name}'"
      @runtime.__reset__
      # Keys the replay left held must not stay down for the live player.
      forget_live_inputs
      @runtime.notify! notification_message
      nil
    end

    # A recording or replay starts from blank input: nothing held, the mouse at the origin,
    # the sticks reported afresh by the next poll.
    def forget_live_inputs
      @runtime.forget_inputs
    end
  end

  # The text of a replay file, read into the replay data, refusing what it cannot read. Each
  # value must lie in the range its callback can take, so a hand-edited file is refused here,
  # with its name and line, rather than failing inside the input bridge later. The host reads
  # the lines of the plain form (read_plain_events, most of a long file) and skips blank ones;
  # the rest are read here, where every error is worded.
  module ReplayFile
    INT32 = [-2147483648, 2147483647].freeze
    MODIFIERS = [0, 65535].freeze
    BUTTON = [1, 63].freeze # a mouse button becomes a bit of a 64-bit Integer
    AXIS = [-32768, 32767].freeze
    # What a replay file may name: the bridge callbacks that record input, and nothing else.
    # Per callback: [the value count it is sent with (nil: the field holds a touch's y), what
    # value_1 may be (a range, the Hash of the controller keys the host reports, or nil for a
    # String), the range of value_2].
    CHECKS = {
      key_down_raw: [2, INT32, MODIFIERS], key_up_raw: [2, INT32, MODIFIERS],
      mouse_move: [2, INT32, INT32], mouse_wheel: [2, INT32, INT32],
      mouse_button_pressed: [1, BUTTON, INT32], mouse_button_up: [1, BUTTON, INT32],
      textinput: [1, nil, INT32],
      finger_down: [nil, INT32, INT32], finger_move: [nil, INT32, INT32], finger_up: [0, INT32, INT32]
    }
    [:key_down_player_one, :key_down_player_two, :key_held_player_one, :key_held_player_two,
     :key_up_player_one, :key_up_player_two].each { |name| CHECKS[name] = [1, ZOQ::Host::CONTROLLER_KEYS, INT32] }
    ZOQ::Host::ANALOG_CALLBACKS.each { |name| CHECKS[name] = [1, AXIS, INT32] }
    CHECKS.freeze

    def self.corrupt detail
      "Replay data seems corrupt. #{detail}"
    end

    # The text is never split into lines here: a file padded with blank lines (people edit
    # these by hand) costs no more than its own text.
    def self.parse text, file_name
      first_line = text[0, text.index("\n") || text.length]
      unless first_line.strip == Recording::VERSION_LINE
        raise "The replay file #{file_name} is not compatible with this version of Zintarel Playframe. Please recreate the replay (sorry)."
      end
      data = { input_history: {}, seed: nil, stopped_at: nil, recorded_at: nil }
      history = data[:input_history]
      read_plain_events(text, history, CHECKS).each do |index, l|
        # The host skips blank lines.
        line = l.strip
        next if line == Recording::VERSION_LINE
        if line.start_with?("[")
          values = read_event line
          raise unparsable(l, file_name, index) unless values
          problem = range_problem values
          raise corrupt("#{file_name}, line #{index + 1}: #{problem}: #{l}") if problem
          name, value_1, value_2, value_count, id, tick = values
          (history[tick] ||= []) << { id: id, name: name, value_1: value_1, value_2: value_2, value_count: value_count }
          next
        end
        fields = line.split(" ")
        case fields[0]
        when "seed", "stopped_at"
          value = fields.length == 2 ? integer_text(fields[1]) : nil
          raise unparsable(l, file_name, index) unless value && (fields[0] == "seed" || value >= 0)
          data[fields[0].to_sym] = value
        when "recorded_at"
          data[:recorded_at] = fields[1..-1].join(" ")
        else
          raise unparsable(l, file_name, index)
        end
      end
      raise corrupt("#{file_name} has no seed line.") unless data[:seed]
      raise corrupt("#{file_name} has no stopped_at line.") unless data[:stopped_at]
      history.each_value { |events| events.sort! { |a, b| a[:id] <=> b[:id] } if events.length > 1 }
      data
    end

    def self.unparsable line, file_name, index
      corrupt("I don't know how to parse #{line}. (#{file_name}, line #{index + 1})")
    end

    # A whole number of at most 18 digits (a longer one may not fit an Integer).
    def self.integer_text text
      digits = text.start_with?("-") ? text[1..-1] : text
      return nil if digits.empty? || digits.length > 18 || digits.bytes.any? { |b| b < 48 || b > 57 }
      text.to_i
    end

    # [name, value_1, value_2, value_count, id, tick] of an event line, each of its kind, or
    # nil. Numbers keep their kind: what was an Integer when recorded is one again.
    def self.read_event line
      values = EventReader.new(line).values
      return nil unless values && values.length == 6
      name, value_1, value_2, value_count, id, tick = values
      check = CHECKS[name]
      return nil unless check && value_2.is_a?(Numeric) && id.is_a?(Integer) && tick.is_a?(Integer) && tick >= 0
      return nil unless check[1] ? value_1.is_a?(Numeric) : value_1.is_a?(String)
      return nil unless check[0] ? value_count.is_a?(Integer) : value_count.is_a?(Numeric)
      values
    end

    # What keeps a well-formed event's values from its callback, or nil.
    def self.range_problem values
      name, value_1, value_2, value_count = values
      count, first, second = CHECKS[name]
      if count
        return "#{name} is sent #{count} value(s), not #{value_count}" unless value_count == count
      else
        problem = outside value_count, INT32
      end
      if first.is_a?(Hash)
        key = value_1.is_a?(Float) && value_1 >= 0 && value_1 < 1000 ? value_1.to_i : value_1
        problem ||= "#{value_1} is no controller key" unless first.key?(key) && key == value_1
      elsif first
        problem ||= outside value_1, first
      end
      problem ||= outside value_2, second
      problem ? "#{problem} for #{name}" : nil
    end

    # NaN lies in no range.
    def self.outside value, range
      return nil if value >= range[0] && value <= range[1]
      "#{value} is outside #{range[0]} to #{range[1]}"
    end

    # Reads the text form the interpreter gives an Array of Symbols, numbers and Strings.
    # Numbers keep their kind: what was an Integer when recorded is one again.
    class EventReader
      ESCAPES = { "n" => "\n", "r" => "\r", "t" => "\t", "f" => "\f", "v" => "\v", "b" => "\b", "a" => "\a",
                  "e" => "\e", "s" => " ", "0" => "\0", "\"" => "\"", "\\" => "\\", "#" => "#" }.freeze

      def initialize text
        @text = text
        @at = 0
      end

      def values
        return nil unless take "["
        result = []
        skip_blanks
        unless take "]"
          loop do
            skip_blanks
            value = read_value
            return nil if value.nil?
            result << value
            skip_blanks
            break if take "]"
            return nil unless take ","
          end
        end
        skip_blanks
        @at == @text.length ? result : nil
      end

      def peek
        @text[@at]
      end

      def take char
        return false unless peek == char
        @at += 1
        true
      end

      def skip_blanks
        @at += 1 while peek == " "
      end

      def read_value
        c = peek
        return read_symbol if c == ":"
        return read_string if c == "\""
        read_number
      end

      def read_symbol
        @at += 1
        start = @at
        @at += 1 while (c = peek) && (word_char?(c) || c == "?" || c == "!")
        return nil if @at == start
        @text[start...@at].to_sym
      end

      def word_char? c
        b = c.getbyte(0)
        (b >= 97 && b <= 122) || (b >= 65 && b <= 90) || (b >= 48 && b <= 57) || b == 95
      end

      def read_number
        start = @at
        @at += 1 if peek == "-"
        digits = count_digits
        return nil if digits == 0
        float = false
        if peek == "." && digit?(@text[@at + 1])
          @at += 1
          count_digits
          float = true
        end
        if peek == "e" || peek == "E"
          @at += 1
          @at += 1 if peek == "-" || peek == "+"
          return nil if count_digits == 0
          float = true
        end
        text = @text[start...@at]
        return text.to_f if float
        # A longer one may not fit an Integer.
        digits > 18 ? nil : text.to_i
      end

      def digit? c
        c && c.getbyte(0) >= 48 && c.getbyte(0) <= 57
      end

      def count_digits
        start = @at
        @at += 1 while digit?(peek)
        @at - start
      end

      def read_string
        @at += 1
        out = ""
        loop do
          c = peek
          return nil if c.nil?
          @at += 1
          return out if c == "\""
          if c == "\\"
            e = peek
            return nil if e.nil?
            @at += 1
            if e == "x"
              hex = @text[@at, 2]
              return nil unless hex && hex.length == 2 && hex.bytes.all? { |b| hex_digit? b }
              out << hex.to_i(16).chr
              @at += 2
            else
              plain = ESCAPES[e]
              return nil unless plain
              out << plain
            end
          else
            out << c
          end
        end
      end

      def hex_digit? b
        (b >= 48 && b <= 57) || (b >= 97 && b <= 102) || (b >= 65 && b <= 70)
      end
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
