module ZOQ
  # One output collection. << sorts out what it is given (one primitive, many, nested
  # Enumerables), marks plain Arrays as its kind and files anything with an id in the
  # pass's id table, where collection[:id] finds it again. Arrays cannot hold instance
  # variables, so the collection's settings are singleton readers.
  class FlatArray < Array
    include FlatArrayDeprecated

    def initialize reference_name, mark_method, outputs_with_ids
      super()
      define_singleton_method(:reference_name) { reference_name }
      define_singleton_method(:mark_method) { mark_method }
      define_singleton_method(:outputs_with_ids) { outputs_with_ids }
    end

    # Element 1 of an Array that is one primitive with its colour apart: [rect, [r, g, b]].
    def self.colour? value
      value.is_a?(Array) && value.length == 3 && value[0].is_a?(Numeric) && value[1].is_a?(Numeric) &&
        value[2].is_a?(Numeric)
    end

    # Element 0 of an Array that is one primitive given as a point and a size: [[x, y], [w, h]].
    def self.point_tuple? value
      value.is_a?(Array) && value.length == 2 && value[0].is_a?(Numeric) && value[1].is_a?(Numeric)
    end

    def [] *args
      key = args[0]
      return outputs_with_ids[key] if key.is_a?(Symbol)
      super
    end

    def << other
      $perf_counter_outputs_push_count = ($perf_counter_outputs_push_count || 0) + 1
      # Hashes are the common case: added as they are, without the general sorting.
      if other.is_a?(Hash)
        id = other[:id]
        outputs_with_ids[id] = other if id
        return push(other)
      end
      add_dwim other unless other.is_a?(Array) && __add_marked__(other)
      self
    end

    # An Array of primitives that all say what they are: each filed by id (and marked when
    # it is an Array marked only as common), then all appended; nil, with nothing done,
    # when one of them does not. A Hash counts as saying so: it is appended as it is
    # either way. A marked Array has a class of its own, so every method asked of it is
    # looked up anew: Hash === p and Array === p ask the (cached) classes instead, and each
    # element is asked for its marker once.
    def __add_marked__ list
      n = list.length
      markers = nil
      i = 0
      while i < n
        p = list.at(i)
        unless Hash === p
          marker = p.primitive_marker
          return nil unless marker
          (markers ||= Array.new(n))[i] = marker
        end
        i += 1
      end
      ids = outputs_with_ids
      i = 0
      while i < n
        p = list.at(i)
        if Hash === p
          id = p[:id]
          ids[id] = p if id
        elsif :pending == markers[i]
          mark_and_id! p
        else # its kind is settled: filed by id, nothing to mark
          $perf_counter_primitive_is_array = ($perf_counter_primitive_is_array || 0) + 1 if Array === p
          id = p.id
          ids[id] = p if id
        end
        i += 1
      end
      concat list
    end

    def add_dwim other
      o = outputs_resolve_collection other
      return nil if o.nil?
      if outputs_resolved?(o)
        id = o.id
        outputs_with_ids[id] = o if id
        push o
      elsif o.is_a?(Array) && __add_marked__(o)
        o
      elsif __one_primitive__?(o)
        mark_and_id! o
        push o
      else
        o.each { |p| add_dwim p }
      end
    end

    # A value that is neither resolved nor an Array fails here, asked for its elements.
    def __one_primitive__? o
      return true if o.any? { |e| e.is_a?(ValueType) }
      FlatArray.colour?(o.at(1)) || FlatArray.point_tuple?(o.at(0))
    end

    def mark_and_id! o
      $perf_counter_primitive_is_array = ($perf_counter_primitive_is_array || 0) + 1 if Array === o
      id = o.id
      outputs_with_ids[id] = o if id
      o.__send__ mark_method unless outputs_resolved?(o)
      o
    end
  end

  module OutputsDocs
    def docs_method_sort_order
      [:docs_class, :docs_solids, :docs_borders, :docs_screenshots]
    end

    def docs_class
      <<-HEREDOC
* DOCS: ~ZOQ::Outputs~
~args.outputs~ describes what is drawn this frame. Put primitives into its collections with
~<<~: Hashes, Arrays or your own objects. Collections are drawn in this order, each over the
one before: ~solids~, ~sprites~, ~primitives~, ~labels~, ~lines~, ~borders~, then ~debug~
(development only). Every collection is emptied after each frame; its ~static_~ twin keeps
what it holds until you call ~args.outputs.clear~.
#+begin_src
  args.outputs.background_color = [0, 0, 64]
  args.outputs.sprites << { x: 100, y: 100, w: 32, h: 32, path: "sprites/ship.png" }
  args.outputs.labels << [640, 360, "Hello", 1, 1]
#+end_src
~args.outputs[:name]~ is a render target: draw into it, then use ~:name~ as a sprite path.
HEREDOC
    end

    def docs_solids
      <<-HEREDOC
* DOCS: ~ZOQ::Outputs#solids~
Filled rectangles: ~{ x:, y:, w:, h:, r:, g:, b:, a: }~ or ~[x, y, w, h, r, g, b, a]~.
Colours default to black and alpha to 255.
HEREDOC
    end

    def docs_borders
      <<-HEREDOC
* DOCS: ~ZOQ::Outputs#borders~
Rectangle outlines, given like solids.
HEREDOC
    end

    def docs_screenshots
      <<-HEREDOC
* DOCS: ~ZOQ::Outputs#screenshots~
Add ~{ x:, y:, w:, h:, path: "shot.png" }~ to save that part of the window as a PNG after
the frame is drawn. With ~r:, g:, b:~ and ~a: 0~ the colour r, g, b becomes transparent.
HEREDOC
    end
  end

  # One render pass: the window's (args.outputs) or a render target's.
  class Outputs
    include OutputsDeprecated
    extend Docs
    extend OutputsDocs

    DEFAULT_BACKGROUND_COLOR = [230, 230, 230, 255].freeze

    # name, mark method, whether it files into the static id table
    COLLECTIONS = [
      [:solids, :solids, :mark_as_solid!, false], [:sprites, :sprites, :mark_as_sprite!, false],
      [:labels, :labels, :mark_as_label!, false], [:lines, :lines, :mark_as_line!, false],
      [:borders, :borders, :mark_as_border!, false], [:primitives, :primitives, :mark_assert!, false],
      [:static_solids, :static_solids, :mark_as_solid!, true],
      [:static_sprites, :static_sprites, :mark_as_sprite!, true],
      [:static_labels, :static_labels, :mark_as_label!, true],
      [:static_lines, :static_lines, :mark_as_line!, true],
      [:static_borders, :static_borders, :mark_as_border!, true],
      [:static_primitives, :static_primitives, :mark_assert!, true],
      [:reserved, :reserved, :mark_assert!, false], [:static_reserved, :reserved, :mark_assert!, true],
      [:debug, :debug, :mark_assert!, false], [:static_debug, :debug, :mark_assert!, true],
      [:screenshots, :sprites, :mark_as_sprite!, false]
    ].freeze

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
      @outputs_with_ids ||= {}
      @static_outputs_with_ids ||= {}
      COLLECTIONS.each do |name, reference_name, mark_method, static|
        table = static ? @static_outputs_with_ids : @outputs_with_ids
        instance_variable_set :"@#{name}", FlatArray.new(reference_name, mark_method, table)
      end
      @background_color = opts[:background_color_override] || default_background_color
      @sounds = []
    end

    def w
      @width
    end

    def w= value
      @width = value
    end

    def h
      @height
    end

    def h= value
      @height = value
    end

    def default_background_color
      DEFAULT_BACKGROUND_COLOR.dup
    end

    def background_color= value
      return nil if value == @background_color
      begin
        4.times { |i| element = value[i]; element.to_i unless element.nil? }
      rescue Exception => e
        target_name = @target ? "args.outputs[:#{@target}].background_color" : "args.outputs.background_color"
        raise e, "* ERROR: Failed to set background_color for Output.\nThe ~value~ sent to\n\n  #{target_name}=\n\n" \
                 "looks invalid\n\n  #{value} (#{value.class})\n\n~Outputs#background_color must be an ~Array~ with three or " \
                 "four values representing the background color's rgba. For example:\n\n#+begin_src\n  #{target_name} = " \
                 "[255, 0, 0] # red background\n#+end_src\n\n#{e}\n\n"
      end
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
      @background_color = default_background_color
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
      @static_outputs_with_ids.clear
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
