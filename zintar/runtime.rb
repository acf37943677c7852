module ZOQ
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
    include AsyncRequire
    include Autocomplete
    include Options
    include Step
    include ExceptionReports
    include StateSaving
    include Notifications
    include Http
    include Services
    include SourceBackup
    extend CommandLine
    extend Docs
    extend RuntimeDocs

    attr_accessor :argv, :required_files, :files_reloaded, :paused, :time_per_tick, :reloaded_files,
                  :scheduled_callbacks, :suppress_hotload, :suppress_mailbox, :reload_list_history
    attr_reader :ffi_file, :ffi_mrb, :ffi_misc, :input_history, :recording, :backup, :console, :reserved_primitives,
                :ffi_draw, :args, :platform, :controller_config, :production, :logical_width, :logical_height,
                :device_width, :device_height, :binary_path, :current_framerate_render, :current_framerate_calc,
                :sdl_tick

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
      __open_host_objects__
      __make_parts__
      __clear_step_state__
      hotload_init
      c_bridge_init self
      framerate_init
      async_require_init
      __reset__
      __publish_globals__
    end

    # The FFI objects through which the runtime reaches the host, and what it asks of it once.
    def __open_host_objects__
      @ffi_file = FFI::File.new
      @ffi_misc = FFI::Misc.new
      @ffi_mrb = FFI::MRB.new
      @ffi_draw = FFI::Draw.new
      size = @ffi_misc.device_size || []
      @device_width = size[0]
      @device_height = size[1]
    end

    # The framework's parts the runtime owns, made in this order: the recording before the args
    # that record into it, the console before anything it may print.
    def __make_parts__
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
      @backup = ZOQ::Backup.new(self)
      top_level_source = @ffi_file.read("zintar/top_level.rb")
      @rcb_release_mode = top_level_source.nil? || top_level_source.strip.empty?
      puts "WARNING: YOU ARE IN AN UNOPTIMIZED DEV MODE." unless @rcb_release_mode
      @controller_config = ZOQ::Controller::Config.new(self)
    end

    # What the engine steps keep between steps, as it stands before the first.
    def __clear_step_state__
      @quit_requested = false
      @sound_queue = []
      @legacy_sound_index = 0
      @current_music = nil
      @sound_to_be_staged = nil
      @scheduled_callbacks = {}
      @protect_from_gc = []
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
    end

    # The globals games and the console use; the first runtime made keeps them.
    def __publish_globals__
      $recording ||= @recording
      $replay ||= ZOQ::Replay
      $console ||= @console
      $args ||= @args
      $state ||= @args.state
      $tests ||= @tests
      $wizards ||= @args.wizards
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
  end
end
