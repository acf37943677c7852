module ZOQ
  class Runtime
    # Render submission: turns a pass's collections into FFI::Draw calls.
    #
    # First version: objects are read through their readers; Hashes and Arrays are read
    # here by key and by position, until the game library's primitive readers take over.
    module Draw
      COLLECTIONS = [
        [:solids, :draw_solid], [:static_solids, :draw_solid], [:sprites, :draw_sprite],
        [:static_sprites, :draw_sprite], [:primitives, :draw_primitive], [:static_primitives, :draw_primitive],
        [:labels, :draw_label], [:static_labels, :draw_label], [:lines, :draw_line], [:static_lines, :draw_line],
        [:borders, :draw_border], [:static_borders, :draw_border]
      ].freeze
      DEBUG_COLLECTIONS = [[:debug, :draw_primitive], [:static_debug, :draw_primitive]].freeze
      LAST_COLLECTIONS = [[:reserved, :draw_primitive], [:static_reserved, :draw_primitive]].freeze
      # Debug output is not drawn in production.
      DEVELOPMENT_ORDER = (COLLECTIONS + DEBUG_COLLECTIONS + LAST_COLLECTIONS).freeze
      PRODUCTION_ORDER = (COLLECTIONS + LAST_COLLECTIONS).freeze

      ARRAY_LAYOUTS = {
        solid: [:x, :y, :w, :h, :r, :g, :b, :a],
        border: [:x, :y, :w, :h, :r, :g, :b, :a],
        line: [:x, :y, :x2, :y2, :r, :g, :b, :a],
        label: [:x, :y, :text, :size_enum, :alignment_enum, :r, :g, :b, :a, :font],
        sprite: [:x, :y, :w, :h, :path, :angle, :a, :r, :g, :b, :tile_x, :tile_y, :tile_w, :tile_h,
                 :flip_horizontally, :flip_vertically, :angle_anchor_x, :angle_anchor_y,
                 :source_x, :source_y, :source_w, :source_h]
      }.freeze

      def primitives pass
        return $top_level.tick_render(args, pass) if $top_level.respond_to?(:primitives_override)
        result = nil
        (@production ? PRODUCTION_ORDER : DEVELOPMENT_ORDER).each do |name, method|
          # A pass without a collection draws none (never reach method_missing through send).
          collection = pass.respond_to?(name) ? pass.send(name) : nil
          result = draw_collection(collection, method) if collection
        end
        result
      rescue Exception => e
        pause!
        pretty_print_exception_and_export! e
      end

      def draw_collection collection, method
        result = nil
        i = 0
        while i < collection.length
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
        args.pixel_arrays.each do |name, pixel_array|
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

      def primitive_marker_of p
        if p.is_a?(Hash)
          return p[:primitive_marker] if p.key?(:primitive_marker)
          return :label if p.key?(:text)
          return :sprite if p.key?(:path)
          return :line if p.key?(:x2)
          return nil
        end
        p.respond_to?(:primitive_marker) ? p.primitive_marker : nil
      end

      def primitive_reader p, kind
        if p.is_a?(Hash)
          lambda { |name| p[name] }
        elsif p.is_a?(Array)
          layout = ARRAY_LAYOUTS[kind]
          flat = p
          if kind == :label && (p.length < 4 || p.length == 6 || p.length == 7)
            # Short label arrays carry their colour right after the text.
            layout = [:x, :y, :text, :r, :g, :b, :a]
          end
          lambda { |name| (index = layout.index(name)) ? flat[index] : nil }
        else
          lambda { |name| p.respond_to?(name) ? p.send(name) : nil }
        end
      end

      # The six drawing methods: nothing for nil or false, the primitive's own drawing when it
      # answers draw_override, otherwise one FFI::Draw call made from its readers (given to
      # the block). A failure is re-raised naming the primitive and its kind.
      def draw_with_readers p, kind, layout = kind
        return nil unless p
        return p.draw_override(@ffi_draw) if p.respond_to?(:draw_override)
        yield primitive_reader(p, layout)
      rescue Exception => e
        raise_conversion_for_rendering_failed p, e, kind
      end

      def draw_solid s
        draw_with_readers s, :solid do |f|
          @ffi_draw.draw_solid f.call(:x), f.call(:y), f.call(:w), f.call(:h), f.call(:r), f.call(:g), f.call(:b),
                               f.call(:a)
        end
      end

      def draw_border s
        draw_with_readers s, :border do |f|
          @ffi_draw.draw_border f.call(:x), f.call(:y), f.call(:w), f.call(:h), f.call(:r), f.call(:g), f.call(:b),
                                f.call(:a)
        end
      end

      def draw_line l
        draw_with_readers l, :line do |f|
          @ffi_draw.draw_line f.call(:x), f.call(:y), f.call(:x2), f.call(:y2), f.call(:r), f.call(:g), f.call(:b),
                              f.call(:a)
        end
      end

      def draw_label l
        draw_with_readers l, :label do |f|
          text = f.call(:text)
          font = f.call(:font)
          @ffi_draw.draw_label f.call(:x), f.call(:y), text ? text.to_s : "", f.call(:size_enum),
                               f.call(:alignment_enum), f.call(:r), f.call(:g), f.call(:b), f.call(:a),
                               font ? font.to_s : nil
        end
      end

      def draw_sprite s
        draw_with_readers s, :sprite do |f|
          path = f.call(:path)
          @ffi_draw.draw_sprite_3 f.call(:x), f.call(:y), f.call(:w), f.call(:h), path ? path.to_s : "",
                                  *sprite_tail(f)
        end
      end

      # A screenshot is read like a sprite; its angle is the colour-key tolerance.
      def draw_screenshot s
        draw_with_readers s, :screenshot, :sprite do |f|
          path = f.call(:path)
          @ffi_draw.draw_screenshot path ? path.to_s : "", f.call(:x), f.call(:y), f.call(:w), f.call(:h),
                                    *sprite_tail(f)
        end
      end

      # What a sprite and a screenshot read after the path and the rectangle, in call order.
      def sprite_tail f
        [f.call(:angle), f.call(:a), f.call(:r), f.call(:g), f.call(:b),
         f.call(:tile_x), f.call(:tile_y), f.call(:tile_w), f.call(:tile_h),
         !!f.call(:flip_horizontally), !!f.call(:flip_vertically),
         f.call(:angle_anchor_x), f.call(:angle_anchor_y),
         f.call(:source_x), f.call(:source_y), f.call(:source_w), f.call(:source_h)]
      end
    end
  end
end
