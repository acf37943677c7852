module ZOQ
  # First version of the input model: the objects and fields the runtime's bridge
  # callbacks and engine steps write, with key sets kept as instance variables. Key-name
  # tables, directional helpers and the richer readers come with input handling.
  class KeyboardKeys
    attr_accessor :char, :raw_key

    # Not keys: the two readers and the cache of the key variables.
    NOT_KEYS = [:@char, :@raw_key, :@__key_ivars__].freeze

    def set collection, value = true
      return nil if collection.nil? || collection.empty?
      @__key_ivars__ = nil
      value = Kernel.tick_count if value
      collection.each { |name| instance_variable_set :"@#{name.to_s.gsub('!', '')}", value }
      nil
    end

    def clear_key key
      @__key_ivars__ = nil
      instance_variable_set :"@#{key.to_s.gsub('!', '')}", false
    end

    # The variables of the keys stored so far, kept until a key may have been added: the
    # runtime asks for the truthy keys of every set several times a frame.
    def __key_ivars__
      @__key_ivars__ ||= instance_variables - NOT_KEYS
    end

    def all
      __key_ivars__.map { |ivar| ivar.to_s[1..-1].to_sym }
    end

    def truthy_keys
      keys = []
      __key_ivars__.each { |ivar| keys << ivar.to_s[1..-1].to_sym if instance_variable_get(ivar) }
      keys
    end

    def clear
      set truthy_keys, false
    end

    def method_missing name, *args, &block
      key = name.to_s
      bang = key.end_with?("!")
      key = key[0..-2] if bang
      ivar = :"@#{key}"
      value = instance_variable_get(ivar)
      clear_key key if bang
      value
    end

    def respond_to_missing? name, include_private = false
      true
    end

    def serialize
      result = {}
      all.each { |name| result[name] = instance_variable_get(:"@#{name}") }
      result[:truthy_keys] = truthy_keys
      result
    end
  end

  class Keyboard
    attr_accessor :key_down, :key_held, :key_up, :has_focus

    def initialize
      @key_down = KeyboardKeys.new
      @key_held = KeyboardKeys.new
      @key_up = KeyboardKeys.new
      @has_focus = false
    end

    def clear
      @key_up.clear
      @key_held.clear
      @key_down.clear
    end

    def serialize
      { key_up: @key_up.serialize, key_held: @key_held.serialize, key_down: @key_down.serialize, has_focus: @has_focus }
    end
  end

  class MousePoint
    attr_accessor :x, :y, :created_at, :global_created_at

    def initialize x, y
      @x = x
      @y = y
      @created_at = Kernel.tick_count
      @global_created_at = Kernel.global_tick_count
    end

    def point
      [@x, @y]
    end

    def w
      0
    end

    def h
      0
    end

    def serialize
      { x: @x, y: @y, created_at: @created_at, global_created_at: @global_created_at }
    end

    def to_hash
      serialize
    end
  end

  class Mouse
    attr_accessor :x, :y, :moved, :moved_at, :global_moved_at, :click, :previous_click, :up, :has_focus,
                  :button_bits, :button_left, :button_middle, :button_right, :button_x1, :button_x2, :wheel

    def initialize
      @x = 0
      @y = 0
      @has_focus = false
      @button_bits = 0
      @button_left = false
      @button_middle = false
      @button_right = false
      @button_x1 = false
      @button_x2 = false
    end

    def point
      [@x, @y]
    end

    def position
      point
    end

    def down
      @click
    end

    def clear
      @previous_click = @click if @click
      @click = nil
      @up = nil
      @moved = nil
      @wheel = nil
    end

    def serialize
      result = {}
      if @click
        result[:click] = @click.serialize
        result[:down] = @click.serialize
      end
      result[:up] = @up.serialize if @up
      result.merge(x: @x, y: @y, moved: @moved, moved_at: @moved_at, has_focus: @has_focus)
    end
  end

  class FingerTouch
    attr_accessor :moved, :moved_at, :global_moved_at, :touch_order, :first_tick_down, :x, :y

    def initialize
      @moved = false
      @moved_at = 0
      @global_moved_at = 0
      @touch_order = 0
      @first_tick_down = true
      @x = 0
      @y = 0
    end

    def point
      [@x, @y]
    end

    def serialize
      { x: @x, y: @y, touch_order: @touch_order, moved: @moved, moved_at: @moved_at }
    end
  end

  class Controller
    class Keys
      LABELS = [:up, :down, :left, :right, :a, :b, :x, :y, :l1, :r1, :l2, :r2, :l3, :r3, :start, :select,
                :directional_up, :directional_down, :directional_left, :directional_right].freeze

      # Made once: building a symbol per call costs more than everything else in a step.
      IVARS = LABELS.map { |label| :"@#{label}" }.freeze
      IVAR_OF = LABELS.zip(IVARS).to_h.freeze

      LABELS.each { |label| attr_reader label }

      def activate key
        @any_active = true
        instance_variable_set(IVAR_OF[key] || :"@#{key}", Kernel.tick_count + 1)
      end

      def deactivate key
        instance_variable_set(IVAR_OF[key] || :"@#{key}", nil)
      end

      # Cleared every frame: nothing to do unless something was activated since.
      def clear
        return nil unless @any_active
        IVARS.each { |ivar| instance_variable_set ivar, nil }
        @any_active = false
        nil
      end

      def truthy_keys
        LABELS.select { |label| instance_variable_get(IVAR_OF[label]) }
      end

      def serialize
        result = {}
        LABELS.each { |label| result[label] = instance_variable_get(IVAR_OF[label]) }
        result
      end
    end

    attr_reader :key_down, :key_held, :key_up
    attr_accessor :left_analog_x_raw, :left_analog_y_raw, :left_analog_x_perc, :left_analog_y_perc,
                  :right_analog_x_raw, :right_analog_y_raw, :right_analog_x_perc, :right_analog_y_perc

    def initialize
      @key_down = Keys.new
      @key_held = Keys.new
      @key_up = Keys.new
      @left_analog_x_raw = 0
      @left_analog_y_raw = 0
      @left_analog_x_perc = 0
      @left_analog_y_perc = 0
      @right_analog_x_raw = 0
      @right_analog_y_raw = 0
      @right_analog_x_perc = 0
      @right_analog_y_perc = 0
    end

    def activate_down key
      @key_down.activate key
      @key_held.deactivate key
      @key_up.deactivate key
    end

    def activate_held key
      @key_down.deactivate key
      @key_held.activate key unless @key_held.send(key)
      @key_up.deactivate key
    end

    def activate_up key
      @key_down.deactivate key
      @key_held.deactivate key
      @key_up.activate key
    end

    def clear
      @key_down.clear
      @key_held.clear
      @key_up.clear
    end

    def serialize
      { key_down: @key_down.serialize, key_held: @key_held.serialize, key_up: @key_up.serialize }
    end
  end

  class Inputs
    attr_reader :controllers, :keyboard, :mouse, :touch
    attr_accessor :finger_one, :finger_two, :text, :history

    def initialize
      @controllers = [Controller.new, Controller.new]
      @keyboard = Keyboard.new
      @mouse = Mouse.new
      @touch = {}
      @text = []
    end

    def controller_one
      @controllers[0]
    end

    def controller_two
      @controllers[1]
    end

    def click
      @mouse.click ? @mouse.click.point : nil
    end

    def clear
      @mouse.clear
      @keyboard.clear
      @controllers.each { |controller| controller.clear }
      @touch.clear
      @finger_one = nil
      @finger_two = nil
    end

    def serialize
      { controller_one: controller_one.serialize, controller_two: controller_two.serialize,
        keyboard: @keyboard.serialize, mouse: @mouse.serialize, text: @text }
    end
  end
end
