module ZOQ
  class Runtime
    # The class-level readers of the joined command line, which the host asks for the window
    # geometry before the runtime exists.
    module CommandLine
      # The piece of the joined command line that names the executable (and the game after it).
      EXECUTABLE_WORD = "zintarel"

      def cli_arguments_of argv
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

      def parse_cli_argument argv, name, default = nil
        value = cli_arguments_of(argv)[name]
        value.nil? ? default : value
      end

      def parse_cli_argument_i argv, name, default = 0
        parse_cli_argument(argv, name, default).to_i
      end

      def argv_window_width argv
        parse_cli_argument(argv, :window_width, ZOQ::Host::DEFAULT_WIDTH).to_i
      end

      def argv_window_height argv
        parse_cli_argument(argv, :window_height, ZOQ::Host::DEFAULT_HEIGHT).to_i
      end

      def argv_window_scale argv
        parse_cli_argument(argv, :window_scale, "1.0").to_f
      end

      def argv_window_position_x argv
        parse_cli_argument(argv, :window_position_x, "-1").to_i
      end

      def argv_window_position_y argv
        parse_cli_argument(argv, :window_position_y, "-1").to_i
      end
    end

    # The command line: its options (window geometry, --eval, --test, --no-tick, replay and
    # recording), read once at construction and where the first steps act on them.
    module Options
      def cli_arguments
        @cli_arguments ||= Runtime.cli_arguments_of(@argv)
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
            # Nothing would ever load: end the run, failing, rather than idle with a hidden window.
            unless found
              @exit_code = 1
              request_quit
            end
          end
        elsif cli_arguments.key? :test
          path = cli_arguments[:test]
          log_info "--test switch found. Executing code inside of =#{path}=."
          @testing = true
          found = startup_file_exists? path
          @test_path = path if found
          @no_tick = true
          finish_startup_tests false unless found
        end
      end

      # The process's exit status, asked for by the host at shutdown: what exit asked for (or
      # a failed --eval), and under --test the tests' outcome, which an exit can only make fail.
      def exit_status
        asked = @exit_code || 0
        return asked unless @testing
        tests = @test_status || 1
        tests == 0 ? asked : tests
      end

      # Logs why a file named on the command line cannot be run (without raising) and answers
      # whether it can: a file of the game folder, holding text.
      def startup_file_exists? path
        raise "File does not exist: #{path}" unless path
        if outside_game_folder? path
          raise "File must be inside the game folder: #{path}. Give its path from the game folder, for example tests/game_tests.rb."
        end
        raise "File does not exist: #{path}" unless read_file(path)
        true
      rescue Exception => e
        log_error e.message
        false
      end

      def outside_game_folder? path
        path.start_with?("/") || path.start_with?("~") || path.split("/").include?("..")
      end

      # Without the engine steps the tick count would never reach the scheduled callbacks,
      # and a startup evaluation waiting for them would never end.
      def tick_no_tick_callbacks
        return if @scheduled_callbacks.empty? || @is_reloading || pending_reload?
        return if @eval_path && !load_finished?(@eval_path)
        Kernel.tick_count += 1
        callback = @scheduled_callbacks[Kernel.tick_count]
        callback.call if callback
      end

      def reload_completed? path
        record = @reload_list_history[path]
        return false unless record && record[:history]
        record[:history].any? { |entry| entry[:event] == :reload_completed }
      end

      # Loaded, or its load raised: either way there is nothing more to wait for.
      def load_finished? path
        record = @reload_list_history[path]
        return true if record && record[:current] && record[:current][:event] == :reload_failed
        reload_completed? path
      end

      def tick_cli_eval
        if @eval_path
          if !@reload_list_history[@eval_path]
            mark_ruby_file_for_reload @eval_path
          elsif load_finished?(@eval_path) && quit_after_startup_eval?
            @eval_path = nil
            request_quit
          end
        end
        run_startup_tests if @test_path
      end

      # --test: once what is queued has loaded (the game's main.rb first), the test file is
      # loaded here, where its failure can be seen, then its requires, then the tests run
      # (unless the file ran them itself). The run always ends, failing unless the game
      # loaded and tests ran and all of them passed.
      def run_startup_tests
        return if @is_reloading || pending_reload?
        unless @test_file_loaded
          @test_file_loaded = true
          @test_runs_before = $tests.runs
          return finish_startup_tests(false) if report_game_load_failures
          return finish_startup_tests(false) unless load_test_file(@test_path)
          return if pending_reload?
        end
        passed = false
        begin
          $tests.start if $tests.runs == @test_runs_before
          passed = $tests.all_passed?
        ensure
          finish_startup_tests passed
        end
      end

      # Tells why the game's own code did not load, when it did not: its tests would run
      # against a game that is not there.
      def report_game_load_failures
        return false if @load_failures.nil? || @load_failures.empty?
        text = @load_failures.map { |path, e| "** #{path}\n#{e.__report_message__.strip}" }.join("\n")
        @tests.say "* ERROR:\nThe game's code could not be loaded, so its tests were not run.\n#{text}\n"
        true
      end

      def load_test_file path
        text = read_file path
        raise "File does not exist: #{path}" unless text
        check = @ffi_mrb.parse text
        raise "#{path} has a syntax error:\n#{check}" unless check == "Syntax OK"
        @ffi_mrb.eval text
        true
      rescue ZOQ::ExitRequest => e
        @tests.say "* ERROR:\nThe test file #{path} called #{e.message} before its tests ran.\n"
        false
      rescue Exception => e
        where = e.__report_backtrace__[0]
        where = where ? "\n** From: #{where.gsub("(eval)", path.to_s)}" : ""
        log "* ERROR:\nThe test file #{path} could not be loaded.\n#{e.__report_message__}#{where}\n"
        false
      end

      def finish_startup_tests passed
        @test_path = nil
        @test_status = passed ? 0 : 1
        begin
          request_quit
        ensure
          @quit_requested = true
        end
      end

      def quit_after_startup_eval?
        return false unless @no_tick
        return true if @scheduled_callbacks.empty?
        Kernel.tick_count > @scheduled_callbacks.keys.max + 1
      end
    end
  end
end
