module ZOQ
  class Runtime
    # Short notifications shown at the bottom of the screen.
    module Notifications
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
    end
  end
end
