module ZOQ
  class Runtime
    # The diagnostics text and the small on-screen panel for a falling frame rate.
    module FramerateDiagnostics
      def framerate_diagnostics
        @framerate_diagnostics_requested = true
        nil
      end

      def framerate_get_diagnostics
        outputs = args.outputs
        counts = [["solids:     ", :solids, :static_solids], ["sprites:    ", :sprites, :static_sprites],
                  ["primitives: ", :primitives, :static_primitives], ["labels:     ", :labels, :static_labels],
                  ["lines:      ", :lines, :static_lines], ["borders:    ", :borders, :static_borders],
                  ["debug:      ", :debug, :static_debug], ["reserved:   ", :reserved, :static_reserved]]
        lines = counts.map do |label, name, static_name|
          "#{label}#{outputs.send(name).length}, #{outputs.send(static_name).length}"
        end
        "* INFO: Framerate Diagnostics\n" \
        "Put the following at the end of ~tick~ to see this information on screen:\n" \
        "#+begin_src\n  args.outputs.debug << args.zoq.framerate_diagnostics_primitives\n#+end_src\n\n" \
        "** Draw Calls: ~<<~ Invocation Perf Counter\n" \
        "Here is how many times ~args.outputs.PRIMITIVE_ARRAY <<~ was called:\n" \
        "  #{$perf_counter_outputs_push_count} times invoked.\n" \
        "If the number above is high, push one mapped array instead of pushing inside a loop.\n" \
        "#+begin_src\n  # before\n  args.state.stars.each { |s| args.outputs.sprites << s }\n" \
        "  # after\n  args.outputs.sprites << args.state.stars\n#+end_src\n\n" \
        "** Array Primitives\n" \
        "#{$perf_counter_primitive_is_array} Array Primitives.\n" \
        "Primitives given as Hashes are faster to draw than Arrays:\n" \
        "#+begin_src\n  # before\n  args.outputs.solids << [0, 0, 100, 100]\n" \
        "  # after\n  args.outputs.solids << { x: 0, y: 0, w: 100, h: 100 }\n#+end_src\n\n" \
        "** Primitive Counts\n" \
        "Here are the draw counts ordered by lowest to highest z order:\n" \
        "PRIMITIVE   COUNT, STATIC COUNT\n" +
          lines.join("\n") + "\n\n" \
          "** Additional Help\n" \
          "Type $zoq.docs into the Console for the documentation of the runtime.\n"
      end

      def framerate_warning_message
        "* WARNING:\nYour average framerate dropped below 60 fps for two seconds.\n\nThe average FPS was #{current_framerate}.\n\n** How To Disable Warning\nIf this warning is getting annoying put the following in your tick method:\n\n#+begin_src\n  args.zoq.log_level = :off\n#+end_src\n\n#{framerate_get_diagnostics}\n"
      end

      def framerate_diagnostics_primitives
        white = { r: 255, g: 255, b: 255 }
        [
          { x: 0, y: 93.from_top, w: 500, h: 93, r: 0, g: 0, b: 0, a: 128, primitive_marker: :solid },
          label_for_panel(5, 5.from_top, "More Info via Zintarel Console: $zoq.framerate_diagnostics", white),
          label_for_panel(5, 20.from_top, format("FPS: %.2f", current_framerate), white),
          label_for_panel(5, 35.from_top, "Draw Calls: #{$perf_counter_outputs_push_count}", white),
          label_for_panel(5, 50.from_top, "Array Primitives: #{$perf_counter_primitive_is_array}", white),
          label_for_panel(5, 65.from_top, "Mouse: #{args.inputs.mouse.point}", white)
        ]
      end

      def current_framerate_primitives
        framerate_diagnostics_primitives
      end

      def label_for_panel x, y, text, color
        { x: x, y: y, text: text, size_enum: -2, r: color[:r], g: color[:g], b: color[:b], primitive_marker: :label }
      end
    end

    # The rate of engine steps measured in Ruby, with a warning when it keeps falling.
    #
    # The clock is read in whole seconds, so the rate is taken over whole seconds only: the
    # checks of a second are counted once it is over, and the part of a second in which the
    # measurement started is left out. A steady rate then reads the same at every check
    # (60 reads 60, and a level 30 is never taken for a falling one).
    module Framerate
      def framerate_init
        @tick_time = framerate_clock
      end

      # Unix time in whole seconds.
      def framerate_clock
        Time.new.to_i
      end

      # The next check only reads the clock: the measurement starts again from there.
      def reset_framerate_calculation
        @tick_speed_sum = 0
        @tick_speed_count = 0
        @previous_framerate = 0
        @tick_speed_pending = nil
        @tick_time = nil
      end

      def current_framerate
        return 60 if @tick_speed_sum.nil?
        rate = 100 / ((@tick_speed_sum / @tick_speed_count.to_f) * 100)
        rate = 60 if rate.nan? || rate.infinite? || rate > 58
        rate || 60
      rescue StandardError
        60
      end

      def delta_framerate
        (current_framerate || 0) - (@previous_framerate || 0)
      end

      def framerate_below_threshold?
        rate = current_framerate
        rate < (@last_framerate || 60) && rate < 50 && (@previous_framerate || 0) > rate && Kernel.tick_count > 600
      end

      def check_framerate
        if @framerate_diagnostics_requested
          # Cleared first: diagnostics that fail to build are not tried again every step.
          @framerate_diagnostics_requested = nil
          log "================================"
          log framerate_get_diagnostics
        end
        if @paused
          reset_framerate_calculation
          return
        end
        # One clock read per check: the time that closes this interval opens the next.
        now = framerate_clock
        if @tick_time
          count_framerate_check now - @tick_time
          if @tick_speed_count > 60 * 2
            if framerate_below_threshold?
              @last_framerate = current_framerate
              unless @console.visible?
                if @framerate_important_notification_happened
                  log framerate_warning_message
                else
                  @framerate_important_notification_happened = true
                  log_important framerate_warning_message
                end
              end
            end
            @previous_framerate = current_framerate.floor
          end
        end
        @tick_time = now
      rescue StandardError
        reset_framerate_calculation
      end

      # A check that finds the clock in a later second closes the seconds before it; a clock
      # set back counts as no time passing.
      def count_framerate_check elapsed
        if elapsed <= 0
          @tick_speed_pending += 1 if @tick_speed_pending
          return
        end
        if @tick_speed_pending
          @tick_speed_count += @tick_speed_pending
          @tick_speed_sum += elapsed
        end
        @tick_speed_pending = 1
      end
    end
  end
end
