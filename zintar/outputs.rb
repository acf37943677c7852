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
    NON_STATIC = [:solids, :sprites, :lines, :labels, :borders, :primitives, :debug].freeze
    STATIC = [:static_solids, :static_sprites, :static_lines, :static_labels, :static_borders,
              :static_primitives, :static_reserved, :static_debug].freeze
    # Made once: building a symbol per call is slow, and these are cleared every frame.
    NON_STATIC_IVARS = NON_STATIC.map { |name| :"@#{name}" }.freeze
    STATIC_IVARS = STATIC.map { |name| :"@#{name}" }.freeze

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
      (NON_STATIC + STATIC + [:reserved, :screenshots]).each { |name| instance_variable_set :"@#{name}", [] }
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
      [230, 230, 230, 255]
    end

    def background_color= value
      return nil if value == @background_color
      (value || [])[0..3].each { |element| element.to_i unless element.nil? }
      @background_color = value
    end

    def background_color
      if !$zoq || $zoq.load_status != :ready || Kernel.global_tick_count < 0
        return [0, 0, 0]
      end
      color = @background_color || []
      defaults = default_background_color
      (0..3).map { |i| (color[i].nil? ? defaults[i] : color[i]).to_i }
    end

    def tick
      @width ||= $zoq.logical_width if $zoq
      @height ||= $zoq.logical_height if $zoq
      @sounds ||= []
      @sounds = @sounds.map { |sound| ZOQ::Sound.parse(sound) }
    end

    def can_screenshot?
      Kernel.tick_count > 0
    end

    def clear_non_static
      @background_color = default_background_color
      @screenshots.clear if can_screenshot?
      @outputs_with_ids.clear
      NON_STATIC_IVARS.each { |ivar| instance_variable_get(ivar).clear }
    end

    def clear_non_static_reserved
      @reserved.clear
    end

    def clear
      clear_non_static
      STATIC_IVARS.each { |ivar| instance_variable_get(ivar).clear }
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
