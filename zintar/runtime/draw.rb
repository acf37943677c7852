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
      def primitives pass
        return $top_level.tick_render(args, pass) if $top_level.respond_to?(:primitives_override)
        result = nil
        # An element added to solids or static_lines while they are drawn is drawn too.
        result = __draw_all__ pass.solids, :solid, true
        result = __draw_all__ pass.static_solids, :solid
        result = __draw_all__ pass.sprites, :sprite
        result = __draw_all__ pass.static_sprites, :sprite
        result = __draw_all__ pass.primitives, :primitive
        result = __draw_all__ pass.static_primitives, :primitive
        result = __draw_all__ pass.labels, :label
        result = __draw_all__ pass.static_labels, :label
        result = __draw_all__ pass.lines, :line
        result = __draw_all__ pass.static_lines, :line, true
        result = __draw_all__ pass.borders, :border
        result = __draw_all__ pass.static_borders, :border
        unless @production
          result = __draw_all__ pass.debug, :primitive
          result = __draw_all__ pass.static_debug, :primitive
        end
        result = __draw_all__ pass.reserved, :primitive
        __draw_all__ pass.static_reserved, :primitive
      rescue Exception => e
        pause!
        pretty_print_exception_and_export! e
      end

      # One loop per kind: no send and no block per element. Answers the last call's value
      # (nil for an empty collection).
      def __draw_all__ c, kind, growing = false
        result = nil
        n = c.length
        return nil if n == 0
        i = 0
        case kind
        when :sprite
          while i < n
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
          while i < n
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

      # Only arrays whose pixels fill width x height go up; a negative size never does.
      def pixel_arrays
        arrays = args.pixel_arrays
        return nil if arrays.empty?
        arrays.each do |name, pixel_array|
          pixels = pixel_array.pixels
          width = pixel_array.width.to_i
          height = pixel_array.height.to_i
          next unless pixels.is_a?(Array) && width >= 0 && height >= 0
          next unless pixels.length == pixel_array.width * pixel_array.height
          @ffi_draw.upload_pixel_array name.to_s, width, height, pixels
        end
        nil
      rescue Exception => e
        pause!
        pretty_print_exception_and_export! e
      end

      def draw_solid s
        return nil unless s
        return s.draw_override(@ffi_draw) if s.respond_to?(:draw_override)
        if s.is_a?(Hash)
          x, y, w, h = __hash_rect__(s)
          r, g, b, a = __hash_colour__(s)
          @ffi_draw.draw_solid x, y, w, h, r, g, b, a
        else
          @ffi_draw.draw_solid s.x, s.y, s.w, s.h, s.r, s.g, s.b, s.a
        end
      rescue Exception => e
        raise_conversion_for_rendering_failed s, e, :solid
      end

      def draw_border s
        return nil unless s
        return s.draw_override(@ffi_draw) if s.respond_to?(:draw_override)
        if s.is_a?(Hash)
          x, y, w, h = __hash_rect__(s)
          r, g, b, a = __hash_colour__(s)
          @ffi_draw.draw_border x, y, w, h, r, g, b, a
        else
          @ffi_draw.draw_border s.x, s.y, s.w, s.h, s.r, s.g, s.b, s.a
        end
      rescue Exception => e
        raise_conversion_for_rendering_failed s, e, :border
      end

      def draw_line l
        return nil unless l
        return l.draw_override(@ffi_draw) if l.respond_to?(:draw_override)
        if l.is_a?(Hash)
          x, y = __hash_rect__(l)
          r, g, b, a = __hash_colour__(l)
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
          x, y = __hash_rect__(l)
          r, g, b, a = __hash_colour__(l)
          @ffi_draw.draw_label x, y, l[:text].s_or_default, l[:size_enum], l[:alignment_enum], r, g, b, a,
                               l[:font].s_or_default(nil)
        else
          @ffi_draw.draw_label l.x, l.y, l.text.s_or_default, l.size_enum, l.alignment_enum, l.r, l.g, l.b, l.a,
                               l.font.s_or_default(nil)
        end
      rescue Exception => e
        raise_conversion_for_rendering_failed l, e, :label
      end

      def draw_sprite s
        return nil unless s
        return s.draw_override(@ffi_draw) if s.respond_to?(:draw_override)
        if s.is_a?(Hash)
          x, y, w, h = __hash_rect__(s)
          r, g, b, a = __hash_colour__(s)
          @ffi_draw.draw_sprite_3 x, y, w, h, s[:path].s_or_default, s[:angle], a, r, g, b,
                                  s[:tile_x], s[:tile_y], s[:tile_w], s[:tile_h],
                                  s[:flip_horizontally] ? true : false, s[:flip_vertically] ? true : false,
                                  s[:angle_anchor_x], s[:angle_anchor_y],
                                  s[:source_x], s[:source_y], s[:source_w], s[:source_h]
        else
          @ffi_draw.draw_sprite_3 s.x, s.y, s.w, s.h, s.path.s_or_default, s.angle, s.a, s.r, s.g, s.b,
                                  s.tile_x, s.tile_y, s.tile_w, s.tile_h,
                                  s.flip_horizontally ? true : false, s.flip_vertically ? true : false,
                                  s.angle_anchor_x, s.angle_anchor_y, s.source_x, s.source_y, s.source_w, s.source_h
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

      # x, y, w, h of a Hash as its readers answer them.
      def __hash_rect__ s
        x = s[:x]
        y = s[:y]
        w = s[:w]
        h = s[:h]
        return [x, y, w, h] if x && y && w && h
        return [x, y, w, h] unless s[:rect] || s[:point]
        [x || s.x, y || s.y, w || s.w, h || s.h]
      end

      # r, g, b, a of a Hash as its readers answer them.
      def __hash_colour__ s
        r = s[:r]
        g = s[:g]
        b = s[:b]
        a = s[:a]
        return [r, g, b, a] if r && g && b && a
        return [r, g, b, a] unless s[:rgb] || s[:rgba]
        [r || s.r, g || s.g, b || s.b, a || s.a]
      end
    end
  end
end
