module ZOQ
  class Runtime
    # One simulation step and what it drives: the engine steps around the game's tick, pausing,
    # resets, slow motion, scheduled callbacks, and the frame description the host reads back.
    module Step
      # One simulation step. The host ignores the answer.
      def tick sdl_tick
        @sdl_tick = sdl_tick
        eval_or_create_main_rb
        hotload_if_needed
        process_argsv
        # Catch-up steps come back to back: the game is calculated at most every 13 ms.
        return nil if @last_sdl_tick && sdl_tick - @last_sdl_tick < 13
        @last_sdl_tick = sdl_tick
        collect_while_paused
        calculations = 0
        while calculations < @simulation_speed
          calc_wrapper
          calculations += 1
        end
        nil
      rescue ZOQ::ExitRequest
        # The quit is requested: the step ends here and the run with it.
        nil
      rescue Exception => e
        handle_step_exception e
        nil
      end

      # While the game is paused (by an exception, say) the console's frames are nearly all
      # the garbage there is, and the collector's generations keep it for minutes (hundreds of
      # MB before it levels off): it is collected whole every five seconds.
      def collect_while_paused
        return @paused_steps = 0 unless @paused
        @paused_steps = (@paused_steps || 0) + 1
        GC.start if @paused_steps % 300 == 0
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

      # A recording or replay holds the game's tick until its clock begins.
      def skip_tick_usr_engine?
        game_tick_blocked? || @recording.holding_game?
      end

      def game_tick_blocked?
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
        keyboard.release_held_back
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
        # log_info adds the "* INFO: " itself.
        log_info "Quit requested (#{Kernel.global_tick_count})."
        @quit_requested = true
      end

      # exit from the game, a test or the prompt: the run ends as a quit request ends it,
      # asking the host for the status given (true 0, false 1).
      def exit_requested status = true
        code = status == true ? 0 : status == false ? 1 : status
        code = code.is_a?(Integer) ? code : 1
        # The first failing status stays.
        @exit_code = code if (@exit_code || 0) == 0
        request_quit
        nil
      end

      # However the run ends (a quit request, exit, the window's close), what it holds is kept:
      # a running recording (the game is not reset on its way out), what tracing measured,
      # the console history. One that fails does not keep the others from their turn.
      def quit!
        if @testing && @test_status.nil?
          @tests.say "* ERROR:\nThe run ended before its tests ran."
        end
        quit_part(:recording) { @recording.save_at_quit "replay_#{Time.now.to_i}.txt" if @recording.is_recording? }
        quit_part(:trace) { ZOQ::Trace.flush_trace if $trace_enabled }
        quit_part(:history) { @console.save_history }
        nil
      end

      def quit_part what
        yield
      rescue Exception => e
        original_puts "* ERROR: Keeping the #{what} at quit failed: #{e.__report_message__}"
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
        # Production writes no log files at all.
        unless @production
          write_file_root "logs/log.txt",
                          "Zintarel ZOQ Log Messages. Set $zoq.log_level = :off to disable logging to the Console/HUD (log messages will still be written here). Log options are: :on, :off.\n"
          write_file_root "logs/puts.txt", ""
        end
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
    end
  end
end
