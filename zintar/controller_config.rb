module ZOQ
  class Controller
    # The interactive mapping screen for raw joysticks.
    #
    # First version: connected raw joysticks are remembered; the screen itself comes with
    # controller mapping, so it never takes over the game's tick.
    class Config
      attr_reader :runtime, :raw_joysticks, :target

      def initialize runtime
        @runtime = runtime
        @raw_joysticks = {}
        @target = nil
      end

      def tick args
        nil
      end

      def should_tick?
        false
      end

      def rawjoystick_connected jid, joystickname, guid
        @raw_joysticks[jid] = { name: joystickname.to_s, guid: guid }
      end

      def rawjoystick_disconnected jid
        @raw_joysticks.delete jid
      end

      def rawjoystick_axis jid, axis, value
      end

      def rawjoystick_hat jid, hat, value
      end

      def rawjoystick_button jid, button, pressed
      end
    end
  end
end
