module ZOQ
  # First version of a legacy sound entry of a pass, until the sound interface arrives.
  unless ZOQ.const_defined?(:Sound)
    class Sound
      attr_accessor :path

      def self.parse v
        return nil if v.nil? || v == false
        return Sound.new(path: v) if v.is_a?(String)
        return v if v.is_a?(Sound)
        raise "* ERROR: I don't know how to parse #{v} into a #{Sound.name}."
      end

      def initialize opts = {}
        @path = opts[:path] if opts[:path]
      end

      def serialize
        { path: @path }
      end
    end
  end

  # One render pass: the window's (args.outputs) or a render target's.
  #
  # First version: the pass header and the collections as plain Arrays; the primitive
  # classes, id tables and deprecated forms come with rendering.
  class Outputs
    DEFAULT_BACKGROUND_COLOR = [230, 230, 230, 255].freeze

    attr_accessor :target, :width, :height, :transient, :sounds, :outputs_with_ids
    attr_reader :solids, :sprites, :lines, :labels, :borders, :primitives, :reserved, :debug,
                :static_solids, :static_sprites, :static_lines, :static_labels, :static_borders,
                :static_primitives, :static_reserved, :static_debug, :screenshots, :args

    def initialize opts = {}
      @target = opts[:target] ? opts[:target].to_s : nil
      @width = opts[:width] || ($zoq ? $zoq.logical_width : nil)
      @height = opts[:height] || ($zoq ? $zoq.logical_height : nil)
      @transient = false
      @args = opts[:args]
      @outputs_with_ids = {}
      @solids = []
      @sprites = []
      @lines = []
      @labels = []
      @borders = []
      @primitives = []
      @reserved = []
      @debug = []
      @static_solids = []
      @static_sprites = []
      @static_lines = []
      @static_labels = []
      @static_borders = []
      @static_primitives = []
      @static_reserved = []
      @static_debug = []
      @screenshots = []
      @background_color = opts[:background_color_override] || default_background_color
      @sounds = []
    end

    def w
      @width
    end

    def h
      @height
    end

    def default_background_color
      DEFAULT_BACKGROUND_COLOR.dup
    end

    def background_color= value
      return nil if value == @background_color
      (value || [])[0..3].each { |element| element.to_i unless element.nil? }
      @background_color = value
    end

    # Read by the host for every pass of every frame.
    def background_color
      if !$zoq || $zoq.load_status != :ready || Kernel.global_tick_count < 0
        return [0, 0, 0]
      end
      color = @background_color || DEFAULT_BACKGROUND_COLOR
      [__color_element__(color, 0), __color_element__(color, 1), __color_element__(color, 2),
       __color_element__(color, 3)]
    end

    def __color_element__ color, i
      value = color[i]
      (value.nil? ? DEFAULT_BACKGROUND_COLOR[i] : value).to_i
    end

    def tick
      @width ||= $zoq.logical_width if $zoq
      @height ||= $zoq.logical_height if $zoq
      @sounds ||= []
      @sounds = @sounds.map { |sound| ZOQ::Sound.parse(sound) } unless @sounds.empty?
    end

    def can_screenshot?
      Kernel.tick_count > 0
    end

    def clear_non_static
      @background_color = DEFAULT_BACKGROUND_COLOR
      @screenshots.clear if can_screenshot?
      @outputs_with_ids.clear
      @labels.clear
      @sprites.clear
      @lines.clear
      @solids.clear
      @borders.clear
      @primitives.clear
      @debug.clear
    end

    def clear_non_static_reserved
      @reserved.clear
    end

    def clear
      clear_non_static
      @static_solids.clear
      @static_sprites.clear
      @static_lines.clear
      @static_labels.clear
      @static_borders.clear
      @static_primitives.clear
      @static_reserved.clear
      @static_debug.clear
    end

    def [] name
      @args.render_target name
    end

    def serialize
      result = {}
      [:solids, :sprites, :lines, :labels, :sounds, :borders, :primitives, :static_solids, :static_borders,
       :static_sprites, :static_lines, :static_labels, :static_primitives].each do |name|
        result[name] = (instance_variable_get(:"@#{name}") || []).map { |p| serialize_primitive p }
      end
      result
    end

    def serialize_primitive p
      return p if p.is_a?(Hash) || p.is_a?(Array) || p.is_a?(String) || p.is_a?(Numeric)
      p.respond_to?(:serialize) ? p.serialize : p.to_s
    end

    def inspect
      serialize.to_s
    end
  end
end
