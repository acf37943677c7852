module ZOQ
  class Runtime
    # Accessors that were renamed or removed. Each leaves a source search for its callers
    # in the console's prompt, then raises with the replacement.
    module Deprecated
      def __raise_deprecated__ name, message
        begin
          @console.set_command "$zoq.grep_source [\".#{name}\", '']" if @console
        rescue Exception
        end
        raise message
      end

      def current_framerate_raw
        __raise_deprecated__ :current_framerate_raw,
                             "  * ERROR:\n  current_framerate_raw has been deprecated, use current_framerate instead.\n\n"
      end

      def suppress_print_help_when_mouse_clicked
        __raise_deprecated__ :suppress_print_help_when_mouse_clicked,
                             "* ERROR: zoq.suppress_print_help_when_mouse_clicked has been deprecated. Use zoq.log_level which can have the value of :on or :off."
      end

      def suppress_framerate_warning
        __raise_deprecated__ :suppress_framerate_warning,
                             "* ERROR: zoq.suppress_framerate_warning has been deprecated. Use zoq.log_level which can have the value of :on or :off."
      end

      def suppress_print_help_when_mouse_clicked= value
        __raise_deprecated__ :suppress_print_help_when_mouse_clicked,
                             "* ERROR: zoq.suppress_print_help_when_mouse_clicked has been deprecated. Use zoq.log_level = :off."
      end

      def suppress_framerate_warning= value
        __raise_deprecated__ :suppress_framerate_warning,
                             "* ERROR: zoq.suppress_framerate_warning has been deprecated. Use zoq.log_level = :off."
      end

      def on_ticks
        __raise_deprecated__ :on_ticks, "* ERROR: zoq.on_ticks has been deprecated. Use zoq.scheduled_callbacks instead."
      end

      def on_tick *args
        __raise_deprecated__ :on_tick,
                             "* ERROR: zoq.on_tick TICKCOUNT { BLOCK } has been deprecated. Use zoq.schedule_callback TICKCOUNT { BLOCK } instead."
      end

      def take_screenshot= value
        __raise_deprecated__ :take_screenshot,
                             "* ERROR: zoq.take_screenshot= has been deprecated. Instead do: args.outputs.screenshots << [0, 0, 1280, 720 'screenshot.png']."
      end
    end
  end
end
