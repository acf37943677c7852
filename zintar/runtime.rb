module ZOQ
  # First version of the runtime object the host drives: construction, the per-step tick
  # with its 13 ms rule, the frame description, the load queue and quitting.
  class Runtime
    include CBridge
    include AsyncRequire

    attr_reader :args, :platform, :production, :logical_width, :logical_height, :binary_path,
                :ffi_file, :ffi_draw, :sdl_tick, :current_framerate_calc, :current_framerate_render
    attr_accessor :argv

    def self.cli_arguments_of argv
      pairs = argv.to_s.delete("\0").strip.split(" --").map do |piece|
        tokens = piece.split(" ")
        next nil if tokens.empty?
        key = tokens[0]
        value = tokens[1..-1].join(" ").strip
        value = nil if value.empty?
        if key.include? "zintarel"
          value ||= "mygame"
          value = "" if value == "./"
          [:zintarel, value]
        else
          [key.to_sym, value]
        end
      end
      pairs.compact.to_h
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
      @platform = platform
      @production = production
      @logical_width = logical_width
      @logical_height = logical_height
      @argv = argv.to_s.delete("\0").strip
      @binary_path = binary_path.to_s.strip
      @ffi_file = FFI::File.new
      @ffi_draw = FFI::Draw.new
      @quit_requested = false
      @current_framerate_calc = 60
      @current_framerate_render = 60
      @last_sdl_tick = nil
      async_require_init
      @args = Args.new self
      $args ||= @args
      $state ||= @args.state
    end

    def cli_arguments
      @cli_arguments ||= Runtime.cli_arguments_of(@argv)
    end

    def tick sdl_tick
      @sdl_tick = sdl_tick
      eval_or_create_main_rb
      return nil if @last_sdl_tick && sdl_tick - @last_sdl_tick < 13
      @last_sdl_tick = sdl_tick
      calc
    rescue Exception => e
      puts "* EXCEPTION: #{e.inspect}"
      bt = e.backtrace
      puts bt[0..5].join("\n") if bt
      nil
    end

    def eval_or_create_main_rb
      return unless @load_status == :zintarel_started
      text = @ffi_file.read("app/main.rb")
      mark_ruby_file_for_reload "app/main.rb" if text && !text.strip.empty?
      @load_status = :main_rb_first_time_load
    end

    def calc
      @args.passes.clear
      return unless @load_status == :ready
      Kernel.global_tick_count += 1
      Kernel.tick_count += 1
      $top_level.tick @args
    ensure
      @args.outputs.target = nil
      @args.passes << @args.outputs
      @args.audio = {} unless @args.audio.is_a? Hash
    end

    def passes
      @args.passes
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

    def pixel_arrays
    end

    def primitives pass
    end

    def take_screenshot
      false
    end

    def draw_screenshots
    end

    def audio
      @args.audio
    end

    def request_quit
      puts "* INFO: Quit requested (#{Kernel.global_tick_count})."
      @quit_requested = true
    end

    def quit_requested?
      @quit_requested
    end

    def quit!
    end
  end
end
