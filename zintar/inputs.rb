module ZOQ
  # The two axes of the four directions, -1, 0 or 1, for anything that answers left, right,
  # up and down: a set of keys, the keyboard, a controller, the inputs as a whole.
  module Directions
    def left_right
      return -1 if left
      return 1 if right
      0
    end

    def up_down
      return 1 if up
      return -1 if down
      0
    end
  end

  # The directions, the vector and the generic key readers shared by the keyboard and the
  # controllers. A class that includes it must already answer the six methods checked below.
  module DirectionalInputHelperMethods
    include Directions

    REQUIRED = [:up, :down, :left, :right, :key_held, :key_down].freeze

    def self.included klass
      found = REQUIRED.map { |name| [name, klass.method_defined?(name)] }
      return if found.all? { |_, ok| ok }
      lines = found.map { |name, ok| "- #{name}: #{ok}" }.join("\n")
      raise "* ERROR\nThe ZOQ::DirectionalKeys module should only be included in objects that respond to the following api heirarchy:\n\n- (up|down|left|right)\n- key_held.(up|down|left|right)\n- key_down.(up|down|left|right)\n\n#{klass.to_s} does not respond to all of these methods (here is the diagnostics):\n#{lines}\n\nPlease implement the methods that returned false inthe list above.\n"
    end

    def directional_vector
      lr = left_right
      ud = up_down
      return nil if lr == 0 && ud == 0
      return [lr, ud] if lr == 0 || ud == 0
      [45.vector_x * lr.sign, 45.vector_y * ud.sign]
    end

    # keyboard.a, keyboard.enter and keyboard.ctrl_s: each name becomes a method of this one
    # object on first use, so later reads are direct.
    def method_missing name, *args, &block
      text = name.to_s
      if text.start_with?("ctrl_")
        key = text.split("_").last.to_sym
        define_singleton_method(name) { (key_up.send(key) && key_up.control) ? true : false }
      else
        define_singleton_method(name) { key_down.send(name) || key_held.send(name) }
      end
      send name
    end

    # Conversions (to_str, to_ary, ...) are not keys.
    def respond_to_missing? name, include_private = false
      !name.to_s.start_with?("to_")
    end
  end

  # One set of keyboard keys (down, held or up): each key name holds false or the tick count
  # at which it became active. Names ending in "!" read a key and clear it.
  class KeyboardKeys
    include ZOQ::Serialize
    include Directions

    KEY_NAMES = [
      :exclamation_point, :zero, :one, :two, :three, :four, :five, :six, :seven, :eight, :nine, :backspace,
      :delete, :escape, :enter, :tab, :open_round_brace, :close_round_brace, :open_curly_brace,
      :close_curly_brace, :open_square_brace, :close_square_brace, :colon, :semicolon, :equal_sign, :hyphen,
      :space, :dollar_sign, :double_quotation_mark, :single_quotation_mark, :backtick, :tilde, :period, :comma,
      :pipe, :underscore, :a, :b, :c, :d, :e, :f, :g, :h, :i, :j, :k, :l, :m, :n, :o, :p, :q, :r, :s, :t, :u,
      :v, :w, :x, :y, :z, :shift, :control, :alt, :meta, :shift_left, :shift_right, :control_left,
      :control_right, :alt_left, :alt_right, :meta_left, :meta_right, :home, :end, :left, :right, :up, :down,
      :pageup, :pagedown, :char, :plus, :at, :forward_slash, :back_slash, :asterisk, :less_than, :greater_than,
      :carat, :ampersand, :superscript_two, :circumflex, :question_mark, :section_sign, :ordinal_indicator,
      :raw_key
    ].freeze
    KEY_NAMES.each { |name| attr_accessor name }

    # Not keys: the two readers and the cache of the key variables.
    NOT_KEYS = [:@char, :@raw_key, :@__key_ivars__].freeze

    def self.__ivar_of__ name
      text = name.to_s
      text = text[0..-2] if text.end_with?("!")
      :"@#{text}"
    end

    def set collection, value = true
      return nil if collection.nil? || collection.empty?
      @__key_ivars__ = nil
      value = Kernel.tick_count if value
      collection.each do |name|
        begin
          instance_variable_set KeyboardKeys.__ivar_of__(name), value
        rescue Exception => e
          raise e.exception("* ERROR:\nAttempted to set the a key on the Zintarel ZOQ's Keyboard data\nstructure, but the property isn't available for raw_key #{@raw_key} #{name}.\n\nYou should contact Zintarel and tell them to associate the raw_key #{@raw_key}\nwith a friendly property name (we are open to suggestions if you have any).\n[ZOQ::KeyboardKeys#set, ZOQ::KeyboardKeys#char_to_method]\n\n")
        end
      end
      nil
    end

    def get collection
      return [] if collection.nil? || collection.empty?
      collection.map do |name|
        ivar = KeyboardKeys.__ivar_of__(name)
        value = instance_variable_get ivar
        clear_key name if name.to_s.end_with?("!")
        [ivar.to_s[1..-1].to_sym, value]
      end
    end

    def all? keys
      found = keys.all? { |key| instance_variable_get KeyboardKeys.__ivar_of__(key) }
      __clear_bangs__ keys if found
      found
    end

    def any? keys
      found = keys.any? { |key| instance_variable_get KeyboardKeys.__ivar_of__(key) }
      __clear_bangs__ keys if found
      found
    end

    def __clear_bangs__ keys
      keys.each { |key| clear_key key if key.to_s.end_with?("!") }
    end

    def clear_key key
      @__key_ivars__ = nil
      instance_variable_set KeyboardKeys.__ivar_of__(key), false
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

    # Any other name (a bang name, or one without an accessor such as percent_sign) becomes
    # a reader of this object; only a bang name clears what it read.
    def method_missing name, *args, &block
      ivar = KeyboardKeys.__ivar_of__(name)
      bang = name.to_s.end_with?("!")
      begin
        define_singleton_method(name) do
          value = instance_variable_get ivar
          if bang
            @__key_ivars__ = nil
            instance_variable_set ivar, false
          end
          value
        end
        send name
      rescue Exception => e
        list = KeyboardKeys.char_to_method_hash.map { |key, names| "[#{key} => #{names.join(",")}]" }.join("  ")
        log_important e.to_s
        raise "* ERROR:\nThere is no member on the keyboard called #{name}. Here is a to_s representation of what's available:\n\n#{list}\n\n"
      end
    end

    # Conversions (to_str, to_ary, ...) are not keys.
    def respond_to_missing? name, include_private = false
      !name.to_s.start_with?("to_")
    end

    def serialize
      result = {}
      all.each { |name| result[name] = instance_variable_get(:"@#{name}") }
      result[:truthy_keys] = truthy_keys
      result
    end
  end

  class Keyboard
    include SerializedText
    attr_accessor :key_down, :key_held, :key_up, :has_focus

    def initialize
      @key_down = KeyboardKeys.new
      @key_held = KeyboardKeys.new
      @key_up = KeyboardKeys.new
      @has_focus = false
    end

    # The arrows count from the frame after the press through the frame of release; the
    # letters count from the press (through the generic readers).
    def left
      @key_up.left || @key_held.left || a
    end

    def right
      @key_up.right || @key_held.right || d
    end

    def up
      @key_up.up || @key_held.up || w
    end

    def down
      @key_up.down || @key_held.down || s
    end

    def p
      @key_down.p || @key_held.p
    end

    include DirectionalInputHelperMethods

    def clear
      @key_up.clear
      @key_held.clear
      @key_down.clear
    end

    # The names of a key that went down. A release of them still waiting (see release) is
    # dropped: the key is down again.
    def press names
      @key_down.set names, true
      @released_next_tick -= names if @released_next_tick
      nil
    end

    # The names of a key that went up. A key pressed since the last tick and released before
    # the next is released only after that tick, so a quick tap is seen down in one tick and
    # up in the next, as a press held for one frame is, and never lost.
    def release names
      if @key_down.any?(names)
        (@released_next_tick ||= []).concat names
      else
        @key_up.set names, true
      end
      nil
    end

    # After a tick: the releases held back reach key_up for the next one.
    def release_held_back
      names = @released_next_tick
      return nil if names.nil? || names.empty?
      @released_next_tick = nil
      @key_up.set names.uniq, true
    end

    def serialize
      { key_up: @key_up.serialize, key_held: @key_held.serialize, key_down: @key_down.serialize, has_focus: @has_focus }
    end


    def key
      down = @key_down.truthy_keys
      held = @key_held.truthy_keys
      { down: down, held: held, down_or_held: (down + held).uniq, up: @key_up.truthy_keys }
    end

    def keys
      key
    end
  end

  class MousePoint
    include ZOQ::Geometry

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

    def left
      @x
    end

    def right
      @x
    end

    def top
      @y
    end

    def bottom
      @y
    end

    def created_at_elapsed
      @created_at.elapsed_time
    end

    def serialize
      { x: @x, y: @y, created_at: @created_at, global_created_at: @global_created_at }
    end

    def to_hash
      serialize
    end

    def to_s
      serialize.to_s
    end

    def inspect
      to_s
    end
  end

  # Point tests of the mouse and of fingers, through a zero-size point at (x, y).
  module PointInputHelperMethods
    def point
      [x, y]
    end

    def position
      point
    end

    def inside_rect? rect
      ZOQ::Geometry.inside_rect? MousePoint.new(x, y), rect
    end

    def inside_circle? center, radius
      ZOQ::Geometry.point_inside_circle? MousePoint.new(x, y), center, radius
    end

    def intersect_rect? other_rect
      ZOQ::Geometry.intersect_rect? MousePoint.new(x, y), other_rect
    end
  end

  class Mouse
    include PointInputHelperMethods

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

    def down
      @click
    end

    def clear
      if @click
        @previous_click = MousePoint.new(@click.x, @click.y)
        @previous_click.created_at = @click.created_at
        @previous_click.global_created_at = @click.global_created_at
      end
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

    def to_s
      serialize.to_s
    end

    def inspect
      to_s
    end
  end

  class FingerTouch
    include PointInputHelperMethods

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

    def serialize
      { x: @x, y: @y, touch_order: @touch_order, moved: @moved, moved_at: @moved_at }
    end

    def to_s
      serialize.to_s
    end

    def inspect
      to_s
    end
  end

  class Controller
    class Keys
      include ZOQ::Serialize

      LABELS = [:up, :down, :left, :right, :a, :b, :x, :y, :l1, :r1, :l2, :r2, :l3, :r3, :start, :select,
                :directional_up, :directional_down, :directional_left, :directional_right].freeze

      # Made once: building a symbol per call costs more than everything else in a step.
      IVARS = LABELS.map { |label| :"@#{label}" }.freeze
      IVAR_OF = LABELS.zip(IVARS).to_h.freeze

      LABELS.each { |label| attr_reader label }

      # The host reports before the tick count advances: the coming tick sees this value.
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

    def up
      @key_up.up || @key_held.up
    end

    def down
      @key_up.down || @key_held.down
    end

    def left
      @key_up.left || @key_held.left
    end

    def right
      @key_up.right || @key_held.right
    end

    include DirectionalInputHelperMethods

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
    include Directions

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

    def up
      @keyboard.up || controller_one.up
    end

    def down
      @keyboard.down || controller_one.down
    end

    def left
      @keyboard.left || controller_one.left
    end

    def right
      @keyboard.right || controller_one.right
    end

    def directional_vector
      @keyboard.directional_vector || controller_one.directional_vector
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
