module ZOQ
  module RuntimeDocs
    def docs_method_sort_order
      [:docs_api_summary, :docs_reset, :docs_calcstringbox, :docs_write_file]
    end

    def docs_class
      <<-HEREDOC
* DOCS: ~ZOQ::Runtime~
The runtime is the object that drives your game. Reach it through ~args.zoq~ (or
~args.runtime~, or the global ~$zoq~). It calls your ~tick~ method sixty times a
second, loads and reloads your Ruby files, and offers services such as saving the
game state, notifications, files and HTTP requests.
HEREDOC
    end

    def docs_api_summary
      <<-HEREDOC
* DOCS: ~ZOQ::Runtime~ API summary
** Flow
- ~args.zoq.pause!~, ~unpause!~, ~paused?~: stop and resume your ~tick~ (the console still runs).
- ~args.zoq.reset~: starts the game over (see ~docs_reset~).
- ~args.zoq.slowmo! 3~: call it every tick to run your ~tick~ once every four frames.
- ~args.zoq.schedule_callback 60 do ... end~: runs the block on tick 60.
- ~args.zoq.request_quit~: ends the game after this frame.
** State
- ~args.zoq.save_state~ and ~args.zoq.load_state~: write ~args.state~ to game_state.txt and read it back.
** Files and services
- ~args.zoq.read_file~, ~write_file~, ~append_file~ (see ~docs_write_file~).
- ~args.zoq.parse_json~, ~parse_json_file~, ~parse_xml~, ~parse_xml_file~.
- ~args.zoq.http_get~, ~http_post~, ~http_head~: answer a Hash that fills in while the request runs.
- ~args.zoq.notify! "text"~: shows a short notification at the bottom of the screen.
- ~args.zoq.calcstringbox "text", size_enum~: the size of a label (see ~docs_calcstringbox~).
- ~args.zoq.log_level = :off~: keeps ordinary log messages out of the console.
- ~args.zoq.show_cursor~, ~hide_cursor~, ~set_window_fullscreen~, ~set_window_title~, ~openurl~.
HEREDOC
    end

    def docs_reset
      <<-HEREDOC
* DOCS: ~ZOQ::Runtime#reset~
Starts the game over: ~args.state~ is emptied, ~Kernel.tick_count~ goes back to -1 (so
the next tick is tick 0), the outputs are cleared and the game is unpaused. When your
game defines a top-level ~reset~ method it is called too. The random number generator
is seeded again with the current seed, or with the one you give:
#+begin_src
  def tick args
    args.zoq.reset seed: 42 if args.inputs.keyboard.key_down.r
  end
#+end_src
A reset before the first tick, or a second reset in the same tick, does nothing.
HEREDOC
    end

    def docs_calcstringbox
      <<-HEREDOC
* DOCS: ~ZOQ::Runtime#calcstringbox~
Answers the width and height of a label's text, in logical pixels, for a size enum
(0 is the default size) and a font (by default font.ttf):
#+begin_src
  w, h = args.zoq.calcstringbox "Hello World", 0, "font.ttf"
#+end_src
HEREDOC
    end

    def docs_write_file
      <<-HEREDOC
* DOCS: ~ZOQ::Runtime#write_file~
Writes a text file below the game's folder, creating the folders it needs; in a
released game the file goes to the player's preference folder.
~append_file~ adds to the end of a file and ~read_file~ answers a file's text (nil
when there is no such file).
#+begin_src
  args.zoq.write_file "data/scores.txt", "100"
  args.zoq.append_file "data/scores.txt", ",200"
  args.zoq.read_file "data/scores.txt" # => "100,200"
#+end_src
HEREDOC
    end
  end

  # The one object through which the host drives the framework and the game reaches the
  # system: construction, the per-step tick with its engine steps, the command line,
  # pausing, resets, slow motion, exception reports and the game-facing services.
  class Runtime
    include CBridge
    include Deprecated
    include Hotload
    include FramerateDiagnostics
    include Framerate
    include Draw
    include ZOQ::Backup
    include AsyncRequire
    include Autocomplete
    extend Docs
    extend RuntimeDocs

    attr_accessor :argv, :required_files, :files_reloaded, :paused, :time_per_tick, :reloaded_files,
                  :scheduled_callbacks, :suppress_hotload, :suppress_mailbox, :reload_list_history
    attr_reader :ffi_file, :ffi_mrb, :ffi_misc, :input_history, :recording, :console, :reserved_primitives,
                :ffi_draw, :args, :platform, :controller_config, :production, :logical_width, :logical_height,
                :device_width, :device_height, :binary_path, :current_framerate_render, :current_framerate_calc,
                :sdl_tick

    # The piece of the joined command line that names the executable (and the game after it).
    EXECUTABLE_WORD = "zintarel"

    def self.cli_arguments_of argv
      pieces = argv.to_s.delete("\0").strip.split(" --")
      pairs = pieces.map do |piece|
        tokens = piece.split(" ")
        next nil if tokens.empty?
        key = tokens[0]
        value = tokens[1..-1].join(" ").strip
        value = nil if value.empty?
        if key.include? EXECUTABLE_WORD
          value ||= "mygame"
          value = "" if value == "./"
          [:zintarel, value]
        else
          [key.to_sym, value]
        end
      end
      result = {}
      pairs.each { |pair| result[pair[0]] = pair[1] if pair }
      result
    end

    def self.parse_cli_argument argv, name, default = nil
      value = cli_arguments_of(argv)[name]
      value.nil? ? default : value
    end

    def self.parse_cli_argument_i argv, name, default = 0
      parse_cli_argument(argv, name, default).to_i
    end

    def self.argv_window_width argv
      parse_cli_argument(argv, :window_width, "1280").to_i
    end

    def self.argv_window_height argv
      parse_cli_argument(argv, :window_height, "720").to_i
    end

    def self.argv_window_scale argv
      parse_cli_argument(argv, :window_scale, "1.0").to_f
    end

    def self.argv_window_position_x argv
      parse_cli_argument(argv, :window_position_x, "-1").to_i
    end

    def self.argv_window_position_y argv
      parse_cli_argument(argv, :window_position_y, "-1").to_i
    end

    def initialize platform, production, logical_width, logical_height, argv, binary_path
      $zoq ||= self
      $runtime ||= self
      @binary_path = binary_path.to_s.strip
      @platform = platform
      @production = production
      # The host pads the joined arguments with NULs to a fixed size.
      @argv = argv.to_s.delete("\0").strip
      @logical_width = logical_width
      @logical_height = logical_height
      @ffi_file = FFI::File.new
      @ffi_misc = FFI::Misc.new
      @ffi_mrb = FFI::MRB.new
      @ffi_draw = FFI::Draw.new
      size = @ffi_misc.device_size || []
      @device_width = size[0]
      @device_height = size[1]
      @log_level = :on
      @required_files ||= []
      @files_reloaded ||= []
      @reserved_primitives ||= []
      @key_up_queue = []
      @recording = ZOQ::Recording.new(self)
      @console = ZOQ::Console.new
      @tests = ZOQ::Tests.new
      @args = ZOQ::Args.new(self, @recording)
      ip = @ffi_misc.get_local_ip_address || ""
      ip.strip! unless @platform == "iOS"
      @hotload_client = ZOQ::HotloadClient.new(ip)
      @quit_requested = false
      top_level_source = @ffi_file.read("zintar/top_level.rb")
      @rcb_release_mode = top_level_source.nil? || top_level_source.strip.empty?
      puts "WARNING: YOU ARE IN AN UNOPTIMIZED DEV MODE." unless @rcb_release_mode
      @scheduled_callbacks = {}
      @protect_from_gc = []
      @controller_config = ZOQ::Controller::Config.new(self)
      @slowmo_factor = 1
      @slowmo_factor_debounce = nil
      @slowmo_was_invoked = nil
      @load_status = :zintarel_started
      @cursor_shown = true
      @current_framerate_calc = 60
      @current_framerate_render = 60
      @current_touch_count = 0
      @last_sdl_tick = nil
      @sdl_tick = nil
      @is_resetting = nil
      hotload_init
      c_bridge_init self
      framerate_init
      async_require_init
      __reset__
      $recording ||= @recording
      $replay ||= ZOQ::Replay
      $console ||= @console
      $args ||= @args
      $state ||= @args.state
      $tests ||= @tests
      $wizards ||= @args.wizards
    end

    def cli_arguments
      @cli_arguments ||= Runtime.cli_arguments_of(@argv)
    end

    def version
      ZOQ_VERSION
    end

    def serialize
      { argv: @argv, platform: @platform, required_files: @required_files, reload_list_history: @reload_list_history }
    end

    def inspect
      "#<ZOQ::Runtime>"
    end

    def to_s
      inspect
    end

    # One simulation step. The host ignores the answer.
    def tick sdl_tick
      @sdl_tick = sdl_tick
      eval_or_create_main_rb
      hotload_if_needed
      process_argsv
      # Catch-up steps come back to back: the game is calculated at most every 13 ms.
      return nil if @last_sdl_tick && sdl_tick - @last_sdl_tick < 13
      @last_sdl_tick = sdl_tick
      calculations = 0
      while calculations < @simulation_speed
        calc_wrapper
        calculations += 1
      end
      nil
    rescue Exception => e
      handle_step_exception e
      nil
    end

    def eval_or_create_main_rb
      return unless @load_status == :zintarel_started
      reload_if_needed "app/main.rb", true
      @load_status = :main_rb_first_time_load
    end

    def process_argsv
      return if @argsv_processed
      @argsv_processed = true
      @simulation_speed = (cli_arguments[:speed] || "1").to_i.abs
      @simulation_speed = 1 if @simulation_speed == 0
      if cli_arguments.key? :record
        seed = cli_arguments[:seed] || 100
        log_info "--record switch found. Recording will be started with a seed value of #{seed} (--seed)."
        start_recording seed.to_i
      elsif cli_arguments.key? :replay
        file = cli_arguments[:replay] || "last_replay.txt"
        log_info "--replay switch found. Replay will be started using file [#{file}] (--replay FILENAME) with replay speed [#{@simulation_speed}] (--speed SPEED)."
        start_replay file
      elsif cli_arguments.key? :eval
        path = cli_arguments[:eval]
        log_info "--eval switch found. Executing code inside of #{path} before first tick executes."
        found = startup_file_exists? path
        @eval_path = path if found
        if cli_arguments.key? :"no-tick"
          log_info "--no-tick switch found. Exiting."
          @no_tick = true
          # Nothing would ever load: end the run rather than idle with a hidden window.
          request_quit unless found
        end
      elsif cli_arguments.key? :test
        path = cli_arguments[:test]
        log_info "--test switch found. Executing code inside of =#{path}=."
        found = startup_file_exists? path
        @test_path = path if found
        @no_tick = true
        request_quit unless found
      end
      # The host hides the window for no-tick: without a file to run, such a run ends here.
      if cli_arguments.key?(:"no-tick") && !@no_tick
        log_info "--no-tick switch found. Exiting."
        @no_tick = true
        request_quit
      end
    end

    # Logs the missing-file error (without raising) and answers whether the file has text.
    def startup_file_exists? path
      raise "File does not exist: #{path}" unless path && read_file(path)
      true
    rescue Exception => e
      log e
      false
    end

    def calc_wrapper tick_override_lambda = nil
      if @slowmo_factor && @slowmo_factor != 1
        @slowmo_factor_debounce = @slowmo_factor if @slowmo_factor_debounce.nil?
        if @slowmo_factor_debounce > 0
          @slowmo_factor_debounce -= 1
        else
          @slowmo_factor_debounce = nil
        end
      end
      tick_cli_eval
      return tick_no_tick_callbacks if @no_tick
      tick_zoq_engine_before
      tick_usr_engine
      tick_zoq_engine_after
    end

    # Without the engine steps the tick count would never reach the scheduled callbacks,
    # and a startup evaluation waiting for them would never end.
    def tick_no_tick_callbacks
      return if @scheduled_callbacks.empty? || @is_reloading || pending_reload?
      return if @eval_path && !reload_completed?(@eval_path)
      Kernel.tick_count += 1
      callback = @scheduled_callbacks[Kernel.tick_count]
      callback.call if callback
    end

    def reload_completed? path
      record = @reload_list_history[path]
      return false unless record && record[:history]
      record[:history].any? { |entry| entry[:event] == :reload_completed }
    end

    def tick_cli_eval
      if @eval_path
        if !@reload_list_history[@eval_path]
          mark_ruby_file_for_reload @eval_path
        elsif reload_completed?(@eval_path) && quit_after_startup_eval?
          @eval_path = nil
          request_quit
        end
      end
      if @test_path
        if !@reload_list_history[@test_path]
          mark_ruby_file_for_reload @test_path
        elsif reload_completed?(@test_path)
          @test_path = nil
          $tests.start
          request_quit
        end
      end
    end

    def quit_after_startup_eval?
      return false unless @no_tick
      return true if @scheduled_callbacks.empty?
      Kernel.tick_count > @scheduled_callbacks.keys.max + 1
    end

    def tick_zoq_engine_before
      stage_replay_values
      clear_draw_passes
      next_keyboard_inputs_before_tick
      Kernel.global_tick_count += 1 if @load_status == :ready
      tick_console
      tick_notification
      @controller_config.tick(args) unless @platform == "iOS"
      @recording.tick
      render_replay_mouse
      state = args.state
      state.__touched__ = false if state.respond_to?(:__touched__=)
      @hotload_client.tick
      @hotload_client.args = args
      return if skip_tick_usr_engine?
      Kernel.tick_count += 1
      self.args_state_tick_count = Kernel.tick_count
      callback = @scheduled_callbacks[Kernel.tick_count]
      callback.call if callback
    end

    def tick_usr_engine
      return if skip_tick_usr_engine?
      @slowmo_was_invoked = nil
      $perf_counter_outputs_push_count = 0
      $perf_counter_primitive_is_array = 0
      tick_core
      @slowmo_factor = 1 unless @slowmo_was_invoked
    end

    def tick_core
      $top_level.tick args if Kernel.tick_count >= 0
    end

    def skip_tick_usr_engine?
      return true if @paused
      return true if quit_after_startup_eval?
      return true if @controller_config.should_tick?
      return true if slowmo_active?
      return true if @load_status != :ready
      return true if @is_reloading
      false
    end

    def slowmo_active?
      !@slowmo_factor_debounce.nil?
    end

    def tick_zoq_engine_after
      check_framerate
      outputs = args.outputs
      passes = args.passes
      outputs.target = nil
      passes << outputs
      passes.each { |pass| pass.tick }
      args.audio = {} unless args.audio.is_a? Hash
      migrate_legacy_sounds
      next_keyboard_inputs_after_tick
      clear_inputs
      touch = args.inputs.touch
      touch.each { |id, finger| finger.first_tick_down = false } unless touch.empty?
    end

    def tick_console
      @console.tick args
    end

    def clear_draw_passes
      outputs = args.outputs
      passes = args.passes
      clear_draw_primitives outputs
      # The window's pass is the last pass of the step before: cleared once is enough.
      passes.each { |pass| clear_draw_primitives pass unless pass.equal?(outputs) }
      passes.clear
      args.clear_render_targets
      args.clear_pixel_arrays
    end

    def clear_draw_primitives pass
      return unless pass
      pass.target = nil
      pass.width = nil
      pass.height = nil
      pass.clear_non_static unless slowmo_active?
      pass.clear_non_static_reserved
    end

    def next_keyboard_inputs_before_tick
      return if slowmo_active?
      keyboard = args.inputs.keyboard
      released = keyboard.key_up.truthy_keys
      return if released.empty?
      released.each do |key|
        keyboard.key_down.clear_key key
        keyboard.key_held.clear_key key
      end
    end

    def next_keyboard_inputs_after_tick
      return if slowmo_active?
      keyboard = args.inputs.keyboard
      keys = keyboard.key_down.truthy_keys
      unless keys.empty?
        keys.each { |key| keyboard.key_down.clear_key key }
        keyboard.key_held.set keys, true
      end
      keyboard.key_up.clear
    end

    def clear_inputs
      @files_reloaded.clear
      @reloaded_files.clear
      return if slowmo_active?
      inputs = args.inputs
      inputs.controllers.each do |controller|
        controller.key_down.clear
        controller.key_up.clear
      end
      inputs.mouse.clear
      inputs.text.clear
    end

    def args_state_tick_count= value
      state = args.state
      state.tick_count = value if state.is_a?(ZOQ::OpenEntity) || state.respond_to?(:tick_count=)
    end

    def passes
      args.passes
    end

    def target pass
      pass ? pass.target : nil
    end

    def render_width pass
      pass ? pass.width : 0
    end

    def render_height pass
      pass ? pass.height : 0
    end

    def render_transient pass
      pass ? pass.transient : false
    end

    def take_screenshot
      shots = args.outputs.screenshots
      !!(shots && !shots.empty?)
    end

    def audio
      args.audio
    end

    def quit_requested?
      @quit_requested
    end

    def request_quit
      log_info "* INFO: Quit requested (#{Kernel.global_tick_count})."
      @quit_requested = true
    end

    def quit!
      if cli_arguments.key?(:record) && @recording.is_recording?
        @recording.stop_recording "replay_#{Time.now.to_i}.txt"
      end
      @console.save_history
    end

    def pause!
      @paused = true
    end

    def unpause!
      clear_draw_passes
      reset_framerate_calculation
      @paused = false
    end

    def paused?
      @paused
    end

    def reset rng_override = nil, seed: self.seed
      return nil if Kernel.tick_count <= 0
      __reset__ rng_override, seed: seed
    end

    def __reset__ rng_override = nil, seed: self.seed
      return nil if @is_resetting == Kernel.global_tick_count
      @is_resetting = Kernel.global_tick_count
      nil.unassign_method_missing unless $disable_nil_coersion
      reset_framerate_calculation
      ZOQ::Entity.strict_entities.clear
      ZOQ::Trace.untrace_classes!
      pin_root_values
      if @load_status == :ready && Kernel.global_tick_count > 1000
        mark_ruby_file_for_reload "app/main.rb"
      end
      if @args
        reset_state
        Kernel.tick_count = -1
        self.args_state_tick_count = -1
        args.outputs.clear
        clear_draw_passes
        $top_level.reset if $top_level.respond_to?(:reset)
      end
      unpause!
      @console.hide
      @console.toast_ids.clear
      # An explicit override wins over the seed (which defaults to the one in use); an
      # explicit `seed: nil` asks for a fresh seed.
      set_rng(rng_override || seed || Time.now.to_i)
      @is_resetting = false
      args.grid.origin_bottom_left!
      write_file_root "logs/log.txt",
                      "Zintarel ZOQ Log Messages. Set $zoq.log_level = :off to disable logging to the Console/HUD (log messages will still be written here). Log options are: :on, :off.\n"
      write_file_root "logs/puts.txt", ""
      nil
    end

    def pin_root_values
      @reload_list = [] unless @reload_list.is_a?(Array)
      @reloaded_files = [] unless @reloaded_files.is_a?(Array)
      @files_reloaded = [] unless @files_reloaded.is_a?(Array)
      @paused = false if @paused.nil?
      @time_per_tick ||= 16
    end

    def reset_state
      state = args.state
      if state.is_a?(ZOQ::OpenEntity)
        # The live hash, without as_hash's advice to the game about array indexers.
        hash = state.__entity_hash__
        hash.clear
        hash[:entity_id] = ZOQ::Entity.id!
      else
        # A game that replaced its state by something else gets a fresh one back.
        args.state = ZOQ::OpenEntity.new
      end
      args.state
    end

    def seed
      @seed
    end

    def set_rng value
      if @recording.is_recording? || @recording.is_replaying?
        log "* WARNING:\nAttempting to set the RNG was ignored because you are either in record or replay mode.\n\n"
        return nil
      end
      @seed = value
      srand value
      log_info "RNG seed has been set to #{value}."
    end

    def slowmo! factor
      @slowmo_was_invoked = true
      factor = factor.to_i
      factor = 1 if factor < 1
      return nil if factor == @slowmo_factor
      if factor != 1
        log_info "~def tick args~ SlowMo factor has been set to a factor of #{factor}."
      else
        log_info "~def tick args~ SlowMo factor has been set to normal speed."
      end
      @slowmo_factor = factor
      @slowmo_factor_debounce = nil
    end

    def schedule_callback tick_count, &callback
      if @scheduled_callbacks[tick_count]
        raise "Callback has already been scheduled for tick #{tick_count}. If you meant to do this, execute $zoq.scheduled_callbacks.clear first."
      end
      @scheduled_callbacks[tick_count] = callback
    end

    def reset_touch_count
      @current_touch_count = 0
    end

    def increase_touch_count
      count = @current_touch_count
      @current_touch_count += 1
      count
    end

    # The state's tick count for report names; a state the game broke must not stop a report.
    def report_tick_count
      args.state.tick_count
    rescue Exception
      Kernel.tick_count
    end

    def export! with_comments = nil, file_name_override = nil
      text = ""
      if with_comments
        text += with_comments.to_s.split("\n").map { |line| "# " + line.strip }.join("\n") + "\n\n"
      end
      text += "Game State:\n"
      text += args.serialize.to_s
      file_name = file_name_override || "exceptions/game_state_#{report_tick_count}.txt"
      @ffi_file.write_root "exceptions/current.txt", text
      @ffi_file.write_root file_name, text
      file_name
    rescue Exception => e
      comments = with_comments ? with_comments : "(none)"
      log "* ERROR:\nExporting the game state failed:\n\nExport exception: #{e}.\n\nOriginal comments: #{comments}.\n\nIf the export exception above looks confusing, you should let Zintarel know about this error.\n\n"
    end

    def pretty_print_exception_and_export! e
      text = __pretty_print_exception__ e, nil
      export! text
      @exception_occured = true
      reason = @is_reloading ? :exception_on_load : :exception
      show_console reason
      unless @console.command_set_at == Kernel.global_tick_count
        # Setting the command shows the console again: keep the reason it was shown for.
        @console.set_command "$zoq.reset seed: #{seed}", reason
        marker = "** docs: "
        at = text.index(marker)
        if at
          rest = text[(at + marker.length)..-1].to_s.split("\n")[0].to_s.strip
          @console.set_command rest, reason unless rest.empty?
        end
      end
      text
    end

    def __exception_seems_vague__? message
      message = message.to_s
      return false if message.include? ".rb does not exist."
      message.gsub("* EXCEPTION:\n", "").strip.split("\n").length == 1
    end

    # Nothing in here may raise: a failing report must still pause the game, or every
    # later step would run the failing tick again.
    def handle_step_exception e
      begin
        if __exception_seems_vague__? e.message
          log_once :trace_tip, "* INFO: Try using ~trace!~\nIf the exception isn't helpful, try putting ~trace!~ near where you think the error occurred.\n"
        end
        local_file_name = "exceptions/game_state_#{report_tick_count}.txt"
        log_info "Game state and exception will be written to #{local_file_name} and exceptions/current.txt."
        pretty_print_exception_and_export! e
      rescue Exception => failure
        begin
          original_puts "* EXCEPTION: #{e.message}\n* ERROR: Reporting the exception failed: #{failure.message}"
        rescue Exception
        end
      end
      pause!
    end

    # --- Services for the game ---

    def notify! message, duration = 300
      return nil if @production
      message = "" if message.nil?
      message = message.to_s
      return nil if message == @notification_message
      @notification_message = message
      @global_notification_at = Kernel.global_tick_count
      @notification_duration = duration
      @console.add_text "* NOTIFY: #{message}" unless message.strip.empty?
      nil
    end

    def notify_subdued!
      notify! "", 60
    end

    def tick_notification
      if @console.visible?
        @notification_message = nil
        return
      end
      return unless @notification_message
      elapsed = Kernel.global_tick_count - @global_notification_at
      if elapsed >= @notification_duration
        @notification_message = nil
        return
      end
      progress = elapsed / 15.0
      progress = 0 if progress < 0
      progress = 1 if progress > 1
      if elapsed >= @notification_duration - 15
        fade = (elapsed - (@notification_duration - 15)) / 15.0
        fade = 1 if fade > 1
        progress = 1 - fade
      end
      alpha = (255 * progress).to_i
      grid = args.grid
      reserved = args.outputs.reserved
      unless @notification_message.empty?
        reserved << { x: grid.left, y: grid.bottom, w: @logical_width, h: 40, r: 0, g: 0, b: 0, a: alpha,
                      primitive_marker: :solid }
        reserved << { x: grid.left + 60, y: grid.bottom + 30, text: @notification_message, r: 255, g: 255, b: 255,
                      a: alpha, primitive_marker: :label }
      end
      reserved << { x: grid.left + 10, y: grid.bottom, w: 40, h: 40, path: "console-logo.png", a: alpha,
                    primitive_marker: :sprite }
    end

    def serialize_state *opts
      if opts[0].is_a?(String)
        file = opts[0]
        state = opts[1]
      else
        state = opts[0]
      end
      result = state.to_s
      if file
        write_file file, result
        log_info "State with length of #{result.length} saved to file #{file}."
      end
      log_important ZOQ::Help.serialization_too_large if result.length > 20000
      result
    end

    def save_state
      serialize_state "game_state_#{Time.now.to_i}.txt", args.state
      serialize_state "game_state.txt", args.state
    end

    def deserialize_state *arguments
      source = arguments[0]
      text = source.to_s
      data = nil
      if text.start_with?("{") || text.start_with?("[")
        data = text
      else
        data = read_file text
        if data.nil? || data.strip.empty?
          stripped = text.strip
          data = nil
          unless stripped.end_with?(".txt") || stripped.end_with?(".dat") || stripped.end_with?(".rb")
            data = text
          end
        end
      end
      return nil unless data
      begin
        $load_data = nil
        @ffi_mrb.eval "$load_data = #{data}"
        state = ZOQ::OpenEntity.parse_serialization_data($load_data)
        if $load_data.is_a?(Hash) && $load_data[:tick_count]
          Kernel.tick_count = $load_data[:tick_count]
        end
        state
      rescue Exception => e
        raise "Failed to eval: #{data}. #{e}.\nSerialization data may be corrupt."
      end
    end

    def load_state
      state = deserialize_state "game_state.txt"
      if state.nil?
        log_info "No saved state was found in game_state.txt. The current state was kept."
        return args.state
      end
      args.state = state
    end

    def log obj, sender = nil
      original_puts obj
      if sender.nil? || (@log_level == :on && sender == ZOQ::Log)
        @console.add_text obj if @console
      end
      nil
    end

    def log_level
      @log_level || :on
    end

    def log_levels
      [:on, :off]
    end

    def log_level= value
      unless log_levels.include? value
        self.log_level = :on
        return nil
      end
      if value != @log_level
        log_important "* IMPORTANT: Log level has been changed to: [#{value}] from [#{@log_level}]."
        @log_level = value
      end
    end

    def disable_nil_coersion!
      return nil if $disable_nil_coersion
      $disable_nil_coersion = true
      NilClassFalseClass.instance_methods(false).each do |name|
        [NilClass, FalseClass].each do |klass|
          if klass.instance_methods(false).include?(name)
            klass.send(:remove_method, name)
          elsif !Object.method_defined?(name)
            klass.send(:undef_method, name)
          end
        end
      end
      nil
    end

    def game_directory file_name
      directory = @production ? "" : (cli_arguments[:zintarel] || "mygame")
      path = File.join(directory, file_name.to_s)
      path = path[1..-1] if path.start_with?("/")
      path
    end

    def calcstringbox str, size_enum = 0, font = "font.ttf"
      str = str.to_s
      measured = @ffi_misc.calcstringbox(str, 40, font.to_s) || [0, 0]
      real_points = 22 + 40 * 2
      target_points = 22 + size_enum.to_i * 2
      [(measured[0] * target_points / real_points.to_f + str.length * 0.2).ceil,
       (measured[1] * target_points / real_points.to_f).ceil]
    end

    def text_font
      nil
    end

    def draw_primitive p
      return nil if p.nil?
      case p.primitive_marker
      when :solid then draw_solid p
      when :sprite then draw_sprite p
      when :label then draw_label p
      when :line then draw_line p
      when :border then draw_border p
      else
        raise "* ERROR:\n#{p}\n\nI don't know how to use the above #{p.class} with SDL's FFI. Please\nadd a method on the object called ~primitive_marker~ that\nreturns :solid, :sprite, :label, :line, or :border. If the object\nis a Hash, please add { primitive_marker: :PRIMITIVE_SYMBOL } to the Hash.\n\n"
      end
    end

    def raise_conversion_for_rendering_failed p, e, name = nil
      raise e, "* ERROR:\nFailed to convert #{p} for rendering (#{name}).\n\nA primitive must respond to :primitive_marker, and then subsequently\nrespond to ALL the methods required for that specific marker:\n\n#{ZOQ::Help.primitive_contract(name)}\n#{e}\n"
    end

    def grep_did_you_mean instance, method
      found = grep_did_you_mean_recommendations instance, method
      return "" if found.empty?
      ("Here's a list of methods that kind of look like :#{method}.\n" +
       found.map { |name| ":#{name}" }.join(", ") + "\n").strip
    end

    def grep_did_you_mean_recommendations instance, method
      names = instance.methods.map { |m| m.to_s }
      whole = did_you_mean_for(names, method.to_s).sort
      parts = method.to_s.split("_").map { |part| did_you_mean_for(names, part) }.sort
      (whole + parts).flatten.uniq
    end

    def did_you_mean_for names, word
      while word.length > 3
        found = names.select { |name| name.start_with? word }
        return found.sort unless found.empty?
        word = word[0..-2]
      end
      []
    end

    def ignore_search_term? word
      word = word.to_s
      word.length < 3 || word.gsub(".", "") == "state"
    end

    def grep_source *strings_with_recommendations
      if strings_with_recommendations.empty?
        return "No search parameters were provided. The request to search came from #{self.class} with value #{self}."
      end
      files = ["app/main.rb", "app/tests.rb", "app/test.rb"] + @required_files
      lines = []
      files.uniq.each do |file|
        lines.concat grep_source_file(file, *strings_with_recommendations)
      end
      text = "Here is a search of the source code:\n\n" + lines.join("\n") + "\n\n"
      unless @help_message_already_displayed
        @help_message_already_displayed = true
        text += "** Searching again\nPut the following into repl.rb (beside app/main.rb) to search again:\n" \
                "#+begin_src\n  puts $zoq.grep_source [\"WORD\", \"RECOMMENDATION\"]\n#+end_src\n" \
                "Open the Console with one of these keys to see the result: ` ~ ² ^ º §\n"
      end
      text
    end

    def grep_source_file file, *strings_with_recommendations
      source = @ffi_file.read(file.to_s)
      return [] unless source
      results = []
      source.split("\n").each_with_index do |line, index|
        folded = line
        folded = folded.gsub("  ", " ") while folded.include?("  ")
        strings_with_recommendations.each do |pair|
          word, recommendation = pair.is_a?(Array) ? pair : [pair, nil]
          next if word.nil? || ignore_search_term?(word)
          next unless folded.include? word.to_s
          number = index + 1
          results << "#{file}, line #{number}: #{line.strip}"
          if recommendation && !recommendation.to_s.empty?
            results << "  recommendation: #{recommendation} (#{word}, #{number})"
          end
        end
      end
      results
    end

    def console_button_primitive
      return nil if @production || @console.visible?
      grid = args.grid
      @console_button ||= { x: grid.right - 55, y: grid.top - 50, w: 50, h: 50, path: "console-logo.png", a: 80 }
      click = args.inputs.mouse.click
      if click
        b = @console_button
        if click.x >= b[:x] && click.x <= b[:x] + b[:w] && click.y >= b[:y] && click.y <= b[:y] + b[:h]
          args.inputs.mouse.click = nil
          show_console
        end
      end
      @console_button
    end

    def print_console_activation_help
      return nil if @no_tick
      log_once :hello_world, "* INFO: Hello World!\nThis is the Zintarel Console.\nType \"docs\" and press the ENTER key for documentation.\nThis notification will not be displayed when you release your game (it only displays during development).\n"
    end

    def reset_sprite path
      @ffi_draw.unload_sprite path
    end

    def show_cursor
      return nil if @cursor_shown
      @cursor_shown = true
      @ffi_draw.toggle_cursor true
    end

    def hide_cursor
      return nil unless @cursor_shown
      @cursor_shown = false
      @ffi_draw.toggle_cursor false
    end

    def cursor_shown?
      @cursor_shown
    end

    def set_window_fullscreen enable = true
      return nil if enable.nil?
      @ffi_draw.toggle_fullscreen enable
    end

    def openurl url
      @ffi_draw.openurl url
    end

    def queue_key_up key
      @key_up_queue << key.to_sym
    end

    # --- Forwarding ---

    def write_file file_name, text
      write_and_hotload :write, file_name, text
    rescue Exception => e
      raise "* ERROR:\n~$zoq.write_file~ for #{file_name} failed.\n#{e}\n"
    end

    def append_file file_name, text
      write_and_hotload :append, file_name, text
    rescue Exception => e
      raise "* ERROR:\n~$zoq.append_file~ for #{file_name} failed.\n#{e}\n"
    end

    def write_file_root file_name, text
      write_and_hotload :write_root, file_name, text
    end

    def append_file_root file_name, text
      write_and_hotload :append_root, file_name, text
    end

    # One of FFI::File's four writers, then the reload queue hears of the file.
    def write_and_hotload writer, file_name, text
      result = @ffi_file.__send__ writer, file_name, text
      hotload_on_write_file file_name
      result
    end

    def read_file file_name
      @ffi_file.read file_name
    rescue Exception => e
      raise "* ERROR:\n~$zoq.read_file~ for #{file_name} failed.\n#{e}\n"
    end

    def load_image file_name
      @ffi_file.load_image file_name
    end

    def get_base_dir
      (@ffi_file.get_base_dir || "").strip
    end

    def get_game_dir
      (@ffi_file.get_game_dir || "").strip.gsub("//", "/")
    end

    def parse_xml xmlstr, stripcontent = true
      @ffi_misc.parse_xml xmlstr, stripcontent
    end

    def parse_xml_file fname, stripcontent = true
      @ffi_misc.parse_xml_file fname, stripcontent
    end

    def parse_json jsonstr
      @ffi_misc.parse_json jsonstr
    end

    def parse_json_file fname
      @ffi_misc.parse_json_file fname
    end

    def set_window_title newtitle
      @ffi_misc.set_window_title newtitle
    end

    def http_get url, extra_headers = nil
      callbacks = HTTPCallbacks.new(@protect_from_gc)
      callbacks.ready @ffi_misc.http_get(callbacks, url, extra_headers)
    end

    def http_head url, extra_headers = nil
      callbacks = HTTPCallbacks.new(@protect_from_gc)
      callbacks.ready @ffi_misc.http_head(callbacks, url, extra_headers)
    end

    def http_post url, form_fields = nil, extra_headers = nil
      form = nil
      unless form_fields.nil?
        form = []
        form_fields.each do |key, value|
          form << key.to_s
          form << value.to_s
        end
      end
      callbacks = HTTPCallbacks.new(@protect_from_gc)
      callbacks.ready @ffi_misc.http_post(callbacks, url, extra_headers, form)
    end

    def http_put url, fname, extra_headers = nil
      callbacks = HTTPCallbacks.new(@protect_from_gc)
      callbacks.ready @ffi_misc.http_put(callbacks, url, extra_headers, fname)
    end

    def disable_console
      @console.disable
    end

    def enable_console
      @console.enable
    end

    def show_console reason = nil
      @console.show reason
    end

    def toast id, message
      @console.toast id, message
    end

    def tests
      @tests
    end

    def start_replay file_name = "last_replay.txt"
      @console.hide if read_file(file_name)
      @recording.start_replay file_name
    end

    def stop_replay
      @recording.stop_replay
    end

    def start_recording seed_value
      @console.hide
      @recording.start_recording seed_value
    end

    def stop_recording file_name = nil
      @recording.stop_recording file_name
    end

    def record_input_history name, value_1, value_2, value_count, clear_cache = false
      @recording.record_input_history name, value_1, value_2, value_count, clear_cache
    end

    def stage_replay_values
      @recording.stage_replay_values
    end

    def system cmd
      puts exec(cmd)
    end

    def exec cmd
      `#{cmd}`
    end

    def autocomplete_methods
      (ZOQ::Runtime.instance_methods - Object.instance_methods - ZOQ::Runtime::Deprecated.instance_methods)
        .reject { |name| name.to_s.start_with?("__") }.sort
    end

    # The replay shows where the recorded mouse is and where it clicked.
    def render_replay_mouse
      return unless @recording.is_replaying?
      mouse = args.inputs.mouse
      if mouse.click
        @replay_click = { at: Kernel.tick_count, x: mouse.click.x, y: mouse.click.y }
      end
      reserved = args.outputs.reserved
      x = mouse.x
      y = mouse.y
      reserved << replay_border(x - 5, y - 5, 10, 0, 255)
      reserved << replay_border(x - 6, y - 6, 12, 255, 255)
      return unless @replay_click
      elapsed = Kernel.tick_count - @replay_click[:at]
      if elapsed >= 12
        @replay_click = nil
        return
      end
      e = elapsed / 12.0
      e = 0 if e < 0
      cx = @replay_click[:x]
      cy = @replay_click[:y]
      reserved << replay_border(cx - 20 * e, cy - 20 * e, 40 * e, 0, 255 * e)
      reserved << replay_border(cx - 21 * e, cy - 21 * e, 42 * e, 255, 255 * e)
    end

    def replay_border x, y, side, shade, alpha
      { x: x, y: y, w: side, h: side, r: shade, g: shade, b: shade, a: alpha, primitive_marker: :border }
    end

    # One per HTTP request: collects headers and body into the request's Hash and keeps
    # itself reachable while only the native request refers to it.
    class HTTPCallbacks
      attr_accessor :state

      def initialize protect_from_gc
        @protect_from_gc = protect_from_gc
      end

      def ready newstate
        @state = newstate
        return nil if newstate.nil?
        newstate[:cancel] = false
        newstate[:response_headers] = {}
        newstate[:response_data] = ""
        @protect_from_gc << self
        newstate
      end

      def http_response_header
        @state[:response_headers][@state[:key]] = @state[:value]
        !@state[:cancel]
      end

      def http_response_data
        @state[:response_data] << @state[:value].to_s
        !@state[:cancel]
      end

      def http_done
        @protect_from_gc.delete self if @protect_from_gc
        @state = nil
        @protect_from_gc = nil
      end
    end
  end
end
