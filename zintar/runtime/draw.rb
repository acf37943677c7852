module ZOQ
  class Runtime
    # Render submission: turns a pass's collections into FFI::Draw calls.
    #
    # Every primitive is read through its readers: a game object's own, a marked Array's
    # from its primitive modules, a Hash's from the game library. A Hash is read by key
    # directly, and asked through its readers only for the fields it may hold elsewhere
    # (x, y, w, h in :rect or :point, colours in :rgb or :rgba): these methods run once for
    # every primitive of every frame.
    module Draw
      # A label's text and font go through s_or_default, the framework's own as it loaded:
      # the native label writer reads them as that one would.
      S_OR_DEFAULT = [String, NilClass, FalseClass].map { |k| k.instance_method(:s_or_default) }.freeze

      def __own_s_or_default__?
        S_OR_DEFAULT[0] == String.instance_method(:s_or_default) &&
          S_OR_DEFAULT[1] == NilClass.instance_method(:s_or_default) &&
          S_OR_DEFAULT[2] == FalseClass.instance_method(:s_or_default)
      end

      def primitives pass
        return $top_level.tick_render(args, pass) if $top_level.respond_to?(:primitives_override)
        result = nil
        # An element added to solids or static_lines while they are drawn is drawn too.
        result = __draw_all__ pass.solids, :solid, result, true
        result = __draw_all__ pass.static_solids, :solid, result
        result = __draw_all__ pass.sprites, :sprite, result
        result = __draw_all__ pass.static_sprites, :sprite, result
        result = __draw_all__ pass.primitives, :primitive, result
        result = __draw_all__ pass.static_primitives, :primitive, result
        result = __draw_all__ pass.labels, :label, result
        result = __draw_all__ pass.static_labels, :label, result
        result = __draw_all__ pass.lines, :line, result
        result = __draw_all__ pass.static_lines, :line, result, true
        result = __draw_all__ pass.borders, :border, result
        result = __draw_all__ pass.static_borders, :border, result
        unless @production
          result = __draw_all__ pass.debug, :primitive, result
          result = __draw_all__ pass.static_debug, :primitive, result
        end
        result = __draw_all__ pass.reserved, :primitive, result
        __draw_all__ pass.static_reserved, :primitive, result
      rescue Exception => e
        pause!
        pretty_print_exception_and_export! e
      end

      # One loop per kind: no send and no block per element. Answers the last call's value,
      # or the value before (result) when the collection is empty.
      def __draw_all__ c, kind, result, growing = false
        n = c.length
        return result if n == 0
        i = 0
        # One loop per kind: a dynamic call per element would cost more than the repetition.
        case kind
        when :sprite
          # Runs of plain Hashes and sprite Arrays are written natively; anything else goes
          # through draw_sprite. A draw_sprite of the game's own draws every sprite itself.
          native = @ffi_draw.respond_to?(:draw_plain_sprites) && method(:draw_sprite).owner == ZOQ::Runtime::Draw
          while i < n
            j = native ? @ffi_draw.draw_plain_sprites(c, i, n, ZOQ::Primitive::SpriteArray) : i
            if j > i
              result = nil
              i = j
              next
            end
            result = draw_sprite c.at(i)
            i += 1
          end
        when :solid
          while i < (growing ? c.length : n)
            result = draw_solid c.at(i)
            i += 1
          end
        when :primitive
          while i < n
            result = draw_primitive c.at(i)
            i += 1
          end
        when :label
          # Runs of plain Hashes are written natively, as for sprites.
          native = @ffi_draw.respond_to?(:draw_plain_labels) && method(:draw_label).owner == ZOQ::Runtime::Draw &&
                   __own_s_or_default__?
          while i < n
            j = native ? @ffi_draw.draw_plain_labels(c, i, n) : i
            if j > i
              result = nil
              i = j
              next
            end
            result = draw_label c.at(i)
            i += 1
          end
        when :line
          while i < (growing ? c.length : n)
            result = draw_line c.at(i)
            i += 1
          end
        when :border
          while i < n
            result = draw_border c.at(i)
            i += 1
          end
        end
        result
      end

      def draw_screenshots
        shots = args.outputs.screenshots
        i = 0
        while i < shots.length
          draw_screenshot shots.at(i)
          i += 1
        end
        nil
      end

      # Only arrays whose pixels fill exactly the whole-number size that goes up with them;
      # a negative size never does.
      def pixel_arrays
        arrays = args.pixel_arrays
        return nil if arrays.empty?
        arrays.each do |name, pixel_array|
          pixels = pixel_array.pixels
          width = pixel_array.width.to_i
          height = pixel_array.height.to_i
          next unless pixels.is_a?(Array) && width >= 0 && height >= 0
          next unless pixels.length == width * height
          @ffi_draw.upload_pixel_array name.to_s, width, height, pixels
        end
        nil
      rescue Exception => e
        pause!
        pretty_print_exception_and_export! e
      end

      # A Hash's fields are read by key. Only a Hash that lacks one of x, y, w, h and holds
      # :rect or :point (or lacks a colour and holds :rgb or :rgba) is asked through its
      # readers, which look there too.
      def draw_solid s
        __draw_box__ s, false
      end

      def draw_border s
        __draw_box__ s, true
      end

      # Solids and borders read the same fields.
      def __draw_box__ s, border
        return nil unless s
        return s.draw_override(@ffi_draw) if s.respond_to?(:draw_override)
        if s.is_a?(Hash)
          x = s[:x]
          y = s[:y]
          w = s[:w]
          h = s[:h]
          x, y, w, h = __hash_rect__(s) if !(x && y && w && h) && (s[:rect] || s[:point])
          r = s[:r]
          g = s[:g]
          b = s[:b]
          a = s[:a]
          r, g, b, a = __hash_colour__(s) if !(r && g && b && a) && (s[:rgb] || s[:rgba])
        else
          x = s.x
          y = s.y
          w = s.w
          h = s.h
          r = s.r
          g = s.g
          b = s.b
          a = s.a
        end
        if border
          @ffi_draw.draw_border x, y, w, h, r, g, b, a
        else
          @ffi_draw.draw_solid x, y, w, h, r, g, b, a
        end
      rescue Exception => e
        raise_conversion_for_rendering_failed s, e, border ? :border : :solid
      end

      def draw_line l
        return nil unless l
        return l.draw_override(@ffi_draw) if l.respond_to?(:draw_override)
        if l.is_a?(Hash)
          x = l[:x]
          y = l[:y]
          x, y = __hash_rect__(l) if !(x && y) && (l[:rect] || l[:point])
          r = l[:r]
          g = l[:g]
          b = l[:b]
          a = l[:a]
          r, g, b, a = __hash_colour__(l) if !(r && g && b && a) && (l[:rgb] || l[:rgba])
          @ffi_draw.draw_line x, y, l[:x2], l[:y2], r, g, b, a
        else
          @ffi_draw.draw_line l.x, l.y, l.x2, l.y2, l.r, l.g, l.b, l.a
        end
      rescue Exception => e
        raise_conversion_for_rendering_failed l, e, :line
      end

      def draw_label l
        return nil unless l
        return l.draw_override(@ffi_draw) if l.respond_to?(:draw_override)
        if l.is_a?(Hash)
          x = l[:x]
          y = l[:y]
          x, y = __hash_rect__(l) if !(x && y) && (l[:rect] || l[:point])
          r = l[:r]
          g = l[:g]
          b = l[:b]
          a = l[:a]
          r, g, b, a = __hash_colour__(l) if !(r && g && b && a) && (l[:rgb] || l[:rgba])
          @ffi_draw.draw_label x, y, l[:text].s_or_default, l[:size_enum], l[:alignment_enum], r, g, b, a,
                               l[:font].s_or_default(nil)
        else
          @ffi_draw.draw_label l.x, l.y, l.text.s_or_default, l.size_enum, l.alignment_enum, l.r, l.g, l.b, l.a,
                               l.font.s_or_default(nil)
        end
      rescue Exception => e
        raise_conversion_for_rendering_failed l, e, :label
      end

      # A sprite that sets nothing past its path, angle and alpha goes over in the short
      # form, which writes the same record with a tenth of the arguments.
      def draw_sprite s
        return nil unless s
        return s.draw_override(@ffi_draw) if s.respond_to?(:draw_override)
        if s.is_a?(Hash)
          x = s[:x]
          y = s[:y]
          w = s[:w]
          h = s[:h]
          x, y, w, h = __hash_rect__(s) if !(x && y && w && h) && (s[:rect] || s[:point])
          r = s[:r]
          g = s[:g]
          b = s[:b]
          a = s[:a]
          r, g, b, a = __hash_colour__(s) if !(r && g && b && a) && (s[:rgb] || s[:rgba])
          path = s[:path]
          angle = s[:angle]
          tile_x = s[:tile_x]
          tile_y = s[:tile_y]
          tile_w = s[:tile_w]
          tile_h = s[:tile_h]
          flip_horizontally = s[:flip_horizontally]
          flip_vertically = s[:flip_vertically]
          angle_anchor_x = s[:angle_anchor_x]
          angle_anchor_y = s[:angle_anchor_y]
          source_x = s[:source_x]
          source_y = s[:source_y]
          source_w = s[:source_w]
          source_h = s[:source_h]
        else
          x = s.x
          y = s.y
          w = s.w
          h = s.h
          path = s.path
          angle = s.angle
          a = s.a
          r = s.r
          g = s.g
          b = s.b
          tile_x = s.tile_x
          tile_y = s.tile_y
          tile_w = s.tile_w
          tile_h = s.tile_h
          flip_horizontally = s.flip_horizontally
          flip_vertically = s.flip_vertically
          angle_anchor_x = s.angle_anchor_x
          angle_anchor_y = s.angle_anchor_y
          source_x = s.source_x
          source_y = s.source_y
          source_w = s.source_w
          source_h = s.source_h
        end
        path = path ? path.to_s : ""
        if r || g || b || tile_x || tile_y || tile_w || tile_h || flip_horizontally || flip_vertically ||
           angle_anchor_x || angle_anchor_y || source_x || source_y || source_w || source_h
          @ffi_draw.draw_sprite_3 x, y, w, h, path, angle, a, r, g, b, tile_x, tile_y, tile_w, tile_h,
                                  flip_horizontally ? true : false, flip_vertically ? true : false,
                                  angle_anchor_x, angle_anchor_y, source_x, source_y, source_w, source_h
        else
          @ffi_draw.draw_sprite_2 x, y, w, h, path, angle, a
        end
      rescue Exception => e
        raise_conversion_for_rendering_failed s, e, :sprite
      end

      # A screenshot reads like a sprite; its angle is the colour-key tolerance.
      def draw_screenshot s
        return nil unless s
        return s.draw_override(@ffi_draw) if s.respond_to?(:draw_override)
        @ffi_draw.draw_screenshot s.path.s_or_default, s.x, s.y, s.w, s.h, s.angle, s.a, s.r, s.g, s.b,
                                  s.tile_x, s.tile_y, s.tile_w, s.tile_h,
                                  s.flip_horizontally ? true : false, s.flip_vertically ? true : false,
                                  s.angle_anchor_x, s.angle_anchor_y, s.source_x, s.source_y, s.source_w, s.source_h
      rescue Exception => e
        raise_conversion_for_rendering_failed s, e, :screenshot
      end

      def __hash_rect__ s
        [s.x, s.y, s.w, s.h]
      end

      def __hash_colour__ s
        [s.r, s.g, s.b, s.a]
      end
    end
  end
end

module FFI
  # The native draw methods are bound at start-up; the framework gives the class its texts.
  class Draw
    def to_s
      ""
    end

    def inspect
      "#{to_s}"
    end

    def serialize
      "#{to_s}"
    end
  end
end
