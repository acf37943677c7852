module ZOQ
  class Runtime
    # Render submission: turns a pass's collections into FFI::Draw calls.
    #
    # First version: objects are read through their readers; Hashes and Arrays are read
    # here by key and by position, until the game library's primitive readers take over.
    module Draw
      # Each walk draws what the collection held when it began, except in the two marked
      # :growing, which also draw what is added to them while they are drawn.
      COLLECTIONS = [
        [:solids, :draw_solid, :growing], [:static_solids, :draw_solid], [:sprites, :draw_sprite],
        [:static_sprites, :draw_sprite], [:primitives, :draw_primitive], [:static_primitives, :draw_primitive],
        [:labels, :draw_label], [:static_labels, :draw_label], [:lines, :draw_line],
        [:static_lines, :draw_line, :growing], [:borders, :draw_border], [:static_borders, :draw_border]
      ].freeze
      DEBUG_COLLECTIONS = [[:debug, :draw_primitive], [:static_debug, :draw_primitive]].freeze
      LAST_COLLECTIONS = [[:reserved, :draw_primitive], [:static_reserved, :draw_primitive]].freeze
      # Debug output is not drawn in production.
      DEVELOPMENT_ORDER = (COLLECTIONS + DEBUG_COLLECTIONS + LAST_COLLECTIONS).freeze
      PRODUCTION_ORDER = (COLLECTIONS + LAST_COLLECTIONS).freeze

      # The fields each kind reads, in the order of its FFI::Draw call's arguments.
      FIELDS = {
        solid: [:x, :y, :w, :h, :r, :g, :b, :a].freeze,
        border: [:x, :y, :w, :h, :r, :g, :b, :a].freeze,
        line: [:x, :y, :x2, :y2, :r, :g, :b, :a].freeze,
        label: [:x, :y, :text, :size_enum, :alignment_enum, :r, :g, :b, :a, :font].freeze,
        sprite: [:x, :y, :w, :h, :path, :angle, :a, :r, :g, :b, :tile_x, :tile_y, :tile_w, :tile_h,
                 :flip_horizontally, :flip_vertically, :angle_anchor_x, :angle_anchor_y,
                 :source_x, :source_y, :source_w, :source_h].freeze,
        screenshot: [:path, :x, :y, :w, :h, :angle, :a, :r, :g, :b, :tile_x, :tile_y, :tile_w, :tile_h,
                     :flip_horizontally, :flip_vertically, :angle_anchor_x, :angle_anchor_y,
                     :source_x, :source_y, :source_w, :source_h].freeze
      }.freeze

      # Where an Array primitive holds those fields: in that order, a screenshot laid out like
      # a sprite. A short label Array carries its colour right after the text (nil: no field).
      ARRAY_POSITIONS = {
        solid: (0..7).to_a.freeze, border: (0..7).to_a.freeze, line: (0..7).to_a.freeze,
        label: (0..9).to_a.freeze, sprite: (0..21).to_a.freeze,
        screenshot: ([4, 0, 1, 2, 3] + (5..21).to_a).freeze
      }.freeze
      SHORT_LABEL_POSITIONS = [0, 1, 2, nil, nil, 3, 4, 5, 6, nil].freeze

      def primitives pass
        return $top_level.tick_render(args, pass) if $top_level.respond_to?(:primitives_override)
        result = nil
        order = @production ? PRODUCTION_ORDER : DEVELOPMENT_ORDER
        k = 0
        # Runs for every pass of every frame, mostly over empty collections: a loop rather
        # than a block, and no call for an empty collection.
        while k < order.length
          name, method, growing = order[k]
          k += 1
          # A pass without a collection draws none (never reach method_missing through send).
          next unless pass.respond_to?(name)
          collection = pass.send(name)
          result = draw_collection(collection, method, growing) if collection && !collection.empty?
        end
        result
      rescue Exception => e
        pause!
        pretty_print_exception_and_export! e
      end

      def draw_collection collection, method, growing = nil
        result = nil
        count = collection.length
        i = 0
        while i < (growing ? collection.length : count)
          result = send(method, collection.at(i))
          i += 1
        end
        result
      end

      def draw_screenshots
        shots = args.outputs.screenshots
        return nil unless shots
        shots.each { |shot| draw_screenshot shot }
      end

      def pixel_arrays
        arrays = args.pixel_arrays
        return nil if arrays.empty?
        arrays.each do |name, pixel_array|
          pixels = pixel_array.pixels
          width = pixel_array.width.to_i
          height = pixel_array.height.to_i
          next unless pixels && pixels.length == width * height
          @ffi_draw.upload_pixel_array name.to_s, width, height, pixels
        end
        nil
      rescue Exception => e
        pause!
        pretty_print_exception_and_export! e
      end

      # The values of a primitive's fields, in argument order: a Hash's by key, an Array's by
      # position, any other object's from its readers. Loops rather than blocks: this runs
      # for every primitive of every frame.
      def primitive_fields p, kind
        fields = FIELDS[kind]
        return p.values_at(*fields) if p.is_a?(Hash)
        values = []
        i = 0
        if p.is_a?(Array)
          short = kind == :label && (p.length < 4 || p.length == 6 || p.length == 7)
          positions = short ? SHORT_LABEL_POSITIONS : ARRAY_POSITIONS[kind]
          while i < positions.length
            position = positions[i]
            values << (position ? p[position] : nil)
            i += 1
          end
        else
          while i < fields.length
            name = fields[i]
            values << (p.respond_to?(name) ? p.send(name) : nil)
            i += 1
          end
        end
        values
      end

      # The six drawing methods: nothing for nil or false, the primitive's own drawing when it
      # answers draw_override, otherwise one FFI::Draw call made from its fields (given to
      # the block). A failure is re-raised naming the primitive and its kind.
      def draw_with_fields p, kind
        return nil unless p
        return p.draw_override(@ffi_draw) if p.respond_to?(:draw_override)
        yield primitive_fields(p, kind)
      rescue Exception => e
        raise_conversion_for_rendering_failed p, e, kind
      end

      def draw_solid s
        draw_with_fields(s, :solid) { |f| @ffi_draw.draw_solid(*f) }
      end

      def draw_border s
        draw_with_fields(s, :border) { |f| @ffi_draw.draw_border(*f) }
      end

      def draw_line l
        draw_with_fields(l, :line) { |f| @ffi_draw.draw_line(*f) }
      end

      def draw_label l
        draw_with_fields l, :label do |f|
          text = f[2]
          font = f[9]
          f[2] = text ? text.to_s : ""
          f[9] = font ? font.to_s : nil
          @ffi_draw.draw_label(*f)
        end
      end

      def draw_sprite s
        draw_with_fields(s, :sprite) { |f| @ffi_draw.draw_sprite_3(*sprite_fields!(f, 4)) }
      end

      # A screenshot is read like a sprite; its angle is the colour-key tolerance.
      def draw_screenshot s
        draw_with_fields(s, :screenshot) { |f| @ffi_draw.draw_screenshot(*sprite_fields!(f, 0)) }
      end

      # The path as text and the flips as booleans: a sprite's and a screenshot's fields
      # differ only in where the path is.
      def sprite_fields! f, path_index
        path = f[path_index]
        f[path_index] = path ? path.to_s : ""
        f[14] = !!f[14]
        f[15] = !!f[15]
        f
      end
    end
  end
end
