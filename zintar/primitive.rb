module ZOQ
  # Arrays as primitives. Marking flattens an Array and mixes the modules of its kind into
  # its singleton class; from then on it answers the readers of that kind by position.
  # Each kind has one combined module (SolidArray and its siblings): mixing one module in
  # costs half of mixing its parts in one at a time. Within a combined module the part
  # included last is found first, so a sprite's w is Rect#w and a label's w is Point#w;
  # to_hash alone is always the kind's own, so that no field is lost on the way to a Hash.
  module Primitive
    # Included by the modules whose kind is settled.
    module Determined; end

    module Common
      def primitive_marker
        :pending
      end

      def merge *args
        to_hash.merge(*args).__send__(primitive_marker)
      end
    end

    module Point
      include ZOQ::Geometry

      def x
        self[0]
      end

      def x= value
        self[0] = value
      end

      def y
        self[1]
      end

      def y= value
        self[1] = value
      end

      def w
        self[2] || 0
      end

      def h
        self[3] || 0
      end

      def left
        x
      end

      def bottom
        y
      end

      def right
        x + w
      end

      def top
        y + h
      end

      def point
        self[0..1]
      end

      def to_hash
        { x: x, y: y, primitive_marker: :point }
      end

      def associate hash = nil
        result = to_hash.merge(hash || {})
        result = yield(result) if block_given?
        result
      end
    end

    module RectDeprecated
      def w_half
        raise "rect.w_half has been deprecated. Use rect.w.half instead."
      end

      def width_half
        raise "rect.width_half has been deprecated. Use rect.w.half instead."
      end

      def h_half
        raise "rect.h_half has been deprecated. Use rect.h.half instead."
      end

      def height_half
        raise "rect.height_half has been deprecated. Use rect.h.half instead."
      end
    end

    module Rect
      include RectDeprecated

      def w
        self[2] || 0
      end

      def w= value
        self[2] = value
      end

      def h
        self[3] || 0
      end

      def h= value
        self[3] = value
      end

      def width
        w
      end

      def height
        h
      end

      def rect
        self[0..3].mark_as_rect!
      end

      def right
        x + w
      end

      def x2
        right
      end

      def top
        y + h
      end

      def y2
        top
      end

      # The elements after the rectangle ride along unchanged.
      def __rect_tail__
        self[4..-1] || []
      end

      # Placed by the other rectangle alone, as Hashes are: the receiver's own position
      # does not shift the result.
      def center_inside_rect *other
        other = other.flatten
        ox, oy, ow, oh = other[0], other[1], other[2], other[3]
        [ox + ow / 2 - w / 2, oy + oh / 2 - h / 2, w, h] + __rect_tail__
      rescue Exception => e
        raise_immediately e, :center_inside_rect, *other
      end

      def rect_shift_right v
        [x + v, y, w, h, __rect_tail__]
      rescue Exception => e
        raise_immediately e, :rect_shift_right, v
      end

      def rect_shift_left v
        rect_shift_right(-v)
      rescue Exception => e
        raise_immediately e, :rect_shift_left, v
      end

      def rect_shift_up v
        [x, y + v, w, h, __rect_tail__]
      rescue Exception => e
        raise_immediately e, :rect_shift_up, v
      end

      def rect_shift_down v
        rect_shift_up(-v)
      rescue Exception => e
        raise_immediately e, :rect_shift_down, v
      end

      def rect_shift *args
        right, up = args.flatten
        rect_shift_right(right).rect_shift_up(up)
      rescue Exception => e
        raise_immediately e, :rect_shift, *args
      end

      def shift_rect *args
        rect_shift(*args)
      end

      def to_hash
        { x: x, y: y, w: w, h: h, primitive_marker: :rect }
      end
    end

    # An Array whose element 4 is a path is laid out as a sprite: no colour of its own.
    module Color
      def looks_like_a_sprite?
        self[4].is_a?(String)
      end

      def r
        looks_like_a_sprite? ? 0 : self[4]
      end

      def g
        looks_like_a_sprite? ? 0 : self[5]
      end

      def b
        looks_like_a_sprite? ? 0 : self[6]
      end

      def a
        looks_like_a_sprite? ? 255 : self[7]
      end

      def r= value
        self[4] = value
      end

      def g= value
        self[5] = value
      end

      def b= value
        self[6] = value
      end

      def a= value
        self[7] = value
      end
    end

    module Solid
      include Determined

      def primitive_marker
        :solid
      end

      def to_hash
        { x: x, y: y, w: w, h: h, r: r, g: g, b: b, a: a, primitive_marker: :solid }
      end

      alias_method :__kind_hash__, :to_hash
    end

    module Border
      include Determined

      def primitive_marker
        :border
      end

      def to_hash
        { x: x, y: y, w: w, h: h, r: r, g: g, b: b, a: a, primitive_marker: :border }
      end

      alias_method :__kind_hash__, :to_hash
    end

    module Label
      include Determined

      def primitive_marker
        :label
      end

      def text
        self[2]
      end

      def text= value
        self[2] = value
      end

      # [x, y, text, size_enum, alignment_enum, r, g, b, a, font] against the short form
      # [x, y, text, r, g, b, a]: lengths 3, 6 and 7 carry no enums.
      def defines_enums?
        length >= 4 && length != 6 && length != 7
      end

      def size_enum
        defines_enums? ? self[3] : 0
      end

      def alignment_enum
        defines_enums? ? self[4] : 0
      end

      def __assert_enums__
        return if defines_enums?
        raise "* ERROR:\nIt doesn't look like this label is structured in such a way that allows for text_size.\n\n"
      end

      def size_enum= value
        __assert_enums__
        self[3] = value
      end

      def alignment_enum= value
        __assert_enums__
        self[4] = value
      end

      def r
        self[defines_enums? ? 5 : 3]
      end

      def g
        self[defines_enums? ? 6 : 4]
      end

      def b
        self[defines_enums? ? 7 : 5]
      end

      def a
        self[defines_enums? ? 8 : 6]
      end

      def r= value
        self[defines_enums? ? 5 : 3] = value
      end

      def g= value
        self[defines_enums? ? 6 : 4] = value
      end

      def b= value
        self[defines_enums? ? 7 : 5] = value
      end

      def a= value
        self[defines_enums? ? 8 : 6] = value
      end

      def font
        self[9]
      end

      def font= value
        self[9] = value
      end

      def w
        raise "Labels do not support :w."
      end

      def h
        raise "Labels do not support :h."
      end

      def to_hash
        { x: x, y: y, text: text, size_enum: size_enum, alignment_enum: alignment_enum, r: r, g: g, b: b, a: a,
          font: font, primitive_marker: :label }
      end

      alias_method :__kind_hash__, :to_hash
    end

    module Line
      include Determined

      def primitive_marker
        :line
      end

      def x
        self[0]
      end

      def x= value
        self[0] = value
      end

      def y
        self[1]
      end

      def y= value
        self[1] = value
      end

      def x1
        self[0]
      end

      def x1= value
        self[0] = value
      end

      def y1
        self[1]
      end

      def y1= value
        self[1] = value
      end

      def x2
        self[2]
      end

      def x2= value
        self[2] = value
      end

      def y2
        self[3]
      end

      def y2= value
        self[3] = value
      end

      def w
        raise "Lines do not support :w."
      end

      def h
        raise "Lines do not support :h."
      end

      def to_hash
        { x: x, y: y, x2: x2, y2: y2, r: r, g: g, b: b, a: a, primitive_marker: :line }
      end

      alias_method :__kind_hash__, :to_hash
    end

    module Sprite
      include Determined

      # The fields past x, y, w, h, at the positions FFI::Draw#draw_sprite_3 takes them (the
      # host's table; a test holds the readers below to it).
      FIELDS = ZOQ::Host::SPRITE_ARGUMENTS[4..-1].freeze

      def primitive_marker
        :sprite
      end

      # Element 4 onward, in FIELDS order (plain methods: these are read for every sprite
      # of every frame).
      def path
        self[4]
      end

      def path= value
        self[4] = value
      end

      def angle
        self[5]
      end

      def angle= value
        self[5] = value
      end

      def a
        self[6]
      end

      def a= value
        self[6] = value
      end

      def r
        self[7]
      end

      def r= value
        self[7] = value
      end

      def g
        self[8]
      end

      def g= value
        self[8] = value
      end

      def b
        self[9]
      end

      def b= value
        self[9] = value
      end

      def tile_x
        self[10]
      end

      def tile_x= value
        self[10] = value
      end

      def tile_y
        self[11]
      end

      def tile_y= value
        self[11] = value
      end

      def tile_w
        self[12]
      end

      def tile_w= value
        self[12] = value
      end

      def tile_h
        self[13]
      end

      def tile_h= value
        self[13] = value
      end

      def flip_horizontally
        self[14]
      end

      def flip_horizontally= value
        self[14] = value
      end

      def flip_vertically
        self[15]
      end

      def flip_vertically= value
        self[15] = value
      end

      def angle_anchor_x
        self[16]
      end

      def angle_anchor_x= value
        self[16] = value
      end

      def angle_anchor_y
        self[17]
      end

      def angle_anchor_y= value
        self[17] = value
      end

      def source_x
        self[18]
      end

      def source_x= value
        self[18] = value
      end

      def source_y
        self[19]
      end

      def source_y= value
        self[19] = value
      end

      def source_w
        self[20]
      end

      def source_w= value
        self[20] = value
      end

      def source_h
        self[21]
      end

      def source_h= value
        self[21] = value
      end

      def to_hash
        result = { x: x, y: y, w: w, h: h }
        FIELDS.each { |name| result[name] = __send__(name) }
        result[:primitive_marker] = :sprite
        result
      end

      alias_method :__kind_hash__, :to_hash
    end

    # One module per kind, its parts in marking order.
    module PointArray
      include Common
      include Point
    end

    module RectArray
      include Common
      include Point
      include Rect
    end

    module SolidArray
      include Common
      include Solid
      include Color
      include Point
      include Rect

      def to_hash
        __kind_hash__
      end
    end

    module BorderArray
      include Common
      include Border
      include Color
      include Point
      include Rect

      def to_hash
        __kind_hash__
      end
    end

    module LineArray
      include Common
      include Point
      include Line
      include Color

      def to_hash
        __kind_hash__
      end
    end

    module LabelArray
      include Common
      include Label
      include Point

      def to_hash
        __kind_hash__
      end
    end

    module SpriteArray
      include Common
      include Sprite
      include Point
      include Rect

      def to_hash
        __kind_hash__
      end
    end

    # The primitive vocabulary of every Array: each reader marks the Array as the kind it
    # implies and asks again, which now reaches the mixed-in module.
    module ConversionCapabilities
      KINDS = [:solid, :label, :sprite, :line, :border].freeze

      def point
        mark_as_point!
      end

      def solid
        mark_as_solid!
      end

      def sprite
        mark_as_sprite!
      end

      def label
        mark_as_label!
      end

      def line
        mark_as_line!
      end

      def border
        mark_as_border!
      end

      def x
        mark_as_point!
        x
      end

      def y
        mark_as_point!
        y
      end

      def x= value
        mark_as_point!
        self.x = value
      end

      def y= value
        mark_as_point!
        self.y = value
      end

      def left
        mark_as_point!
        left
      end

      def bottom
        mark_as_point!
        bottom
      end

      def angle_given_point *args
        mark_as_point!
        angle_given_point(*args)
      end

      def angle_to *args
        mark_as_point!
        angle_to(*args)
      end

      def angle_from *args
        mark_as_point!
        angle_from(*args)
      end

      def rect
        mark_as_rect!
        rect
      end

      def right
        mark_as_rect!
        right
      end

      def top
        mark_as_rect!
        top
      end

      def w
        mark_as_rect!
        w
      end

      def w= value
        mark_as_rect!
        self.w = value
      end

      def width
        mark_as_rect!
        width
      end

      def h
        mark_as_rect!
        h
      end

      def h= value
        mark_as_rect!
        self.h = value
      end

      def height
        mark_as_rect!
        height
      end

      def w_half
        mark_as_rect!
        w_half
      end

      def width_half
        mark_as_rect!
        width_half
      end

      def h_half
        mark_as_rect!
        h_half
      end

      def height_half
        mark_as_rect!
        height_half
      end

      def inside_rect? outer, *args
        mark_as_rect!
        inside_rect?(outer, *args)
      end

      def intersects_rect? *args
        mark_as_rect!
        intersects_rect?(*args)
      end

      def intersect_rect? other, tolerance = 0.1
        mark_as_rect!
        intersect_rect?(other, tolerance)
      end

      def scale_rect percentage, *anchors
        mark_as_rect!
        scale_rect(percentage, *anchors)
      end

      def scale_rect_extended *args, **kw
        mark_as_rect!
        scale_rect_extended(*args, **kw)
      end

      def center_inside_rect *other
        mark_as_rect!
        center_inside_rect(*other)
      end

      def shift_rect *args
        mark_as_rect!
        shift_rect(*args)
      end

      def rect_shift *args
        mark_as_rect!
        rect_shift(*args)
      end

      def rect_shift_right v
        mark_as_rect!
        rect_shift_right(v)
      end

      def rect_shift_left v
        mark_as_rect!
        rect_shift_left(v)
      end

      def rect_shift_up v
        mark_as_rect!
        rect_shift_up(v)
      end

      def rect_shift_down v
        mark_as_rect!
        rect_shift_down(v)
      end

      def anchor_rect anchor_x, anchor_y
        mark_as_rect!
        anchor_rect(anchor_x, anchor_y)
      end

      def x1
        mark_as_line!
        x1
      end

      def x1= value
        mark_as_line!
        self.x1 = value
      end

      def y1
        mark_as_line!
        y1
      end

      def y1= value
        mark_as_line!
        self.y1 = value
      end

      def x2
        mark_as_line!
        x2
      end

      def y2
        mark_as_line!
        y2
      end

      def text
        mark_as_label!
        text
      end

      def text= value
        mark_as_label!
        self.text = value
      end

      def path
        mark_as_sprite!
        path
      end

      def path= value
        mark_as_sprite!
        self.path = value
      end

      def angle
        mark_as_sprite!
        angle
      end

      def angle= value
        mark_as_sprite!
        self.angle = value
      end

      def a
        raise_ambigous! :a
      end

      def a= value
        raise_ambigous! :a=
      end

      def to_hash
        raise_ambigous! :to_hash
      end

      def associate hash = nil
        raise_ambigous! :associate
      end

      def raise_ambigous! m
        text = "* ERROR:\nThe invocation of :#{m} is ambiguous on #{self} #{better_class_hierarchy_information}.\n\n" \
               "You need first tell me what kind of primitive you're trying to create:\n\n"
        text += "self.solid.#{m}\nself.label.#{m}\nself.sprite.#{m}\nself.line.#{m}\nself.border.#{m}\n"
        text += "self.rect.#{m}\nself.point.#{m}\n" if m == :to_hash
        raise text + "\n"
      end

      # Replaces self with copies of its contents marked as the kind.
      def __convert_collection__ mark_method, primitive_name
        copy = dup
        clear
        outputs_add_dwim copy, mark_method, primitive_name
        self
      end

      def sprites
        __convert_collection__ :mark_as_sprite!, :sprite
      end

      def solids
        __convert_collection__ :mark_as_solid!, :solid
      end

      def labels
        __convert_collection__ :mark_as_label!, :label
      end

      def borders
        __convert_collection__ :mark_as_border!, :border
      end

      def lines
        __convert_collection__ :mark_as_line!, :line
      end

      def mark_as_primitive! type
        extend type unless is_a?(type)
        self
      end

      def mark_as_common!
        return self if is_a?(Common)
        flatten!
        extend Common
        self
      end

      # Flattened once, then the kind's module.
      def __mark_as__ kind_module
        return self if is_a?(kind_module)
        flatten! unless is_a?(Common)
        extend kind_module
        self
      end

      def mark_as_point!
        __mark_as__ PointArray
      end

      def mark_as_rect!
        __mark_as__ RectArray
      end

      def mark_as_solid!
        __mark_as__ SolidArray
      end

      def mark_as_border!
        __mark_as__ BorderArray
      end

      def mark_as_line!
        __mark_as__ LineArray
      end

      def mark_as_label!
        __mark_as__ LabelArray
      end

      def mark_as_sprite!
        __mark_as__ SpriteArray
      end

      # The mark method of primitives, debug and reserved: only an Array that says what it
      # is may go there.
      def mark_assert!
        marker = primitive_marker
        return nil if marker && marker != :ending
        heading = "* ERROR:\nCannot add #{self} to outputs.(primitives|debug|reserved).\n\n"
        if self[0].is_a?(Symbol)
          pairs = KINDS.map { |kind| "[\":#{kind}\", \"remove the symbol and call the .#{kind} method on the array.\"]" }
          __zoq_console_set_command__ __one_line__("$zoq.grep_source #{pairs.join(', ')}")
          rest = self[1..-1]
          raise heading + "The symbol marker has been deprecated. You need to remove the symbol and instead do the following:\n\n" +
                __kind_lines__(rest) + "\n"
        end
        __zoq_console_set_command__ __one_line__("$zoq.grep_source [\".primitives\", \"you may need to call one of the methods above on this line.\"]")
        raise heading + "Auto-guessing the primitive has been deprecated. You need to mark #{self} explicitly as a primitive. To do so, do one of the following:\n\n" +
              __kind_lines__(self) + "\n"
      end

      def __kind_lines__ value
        KINDS.map { |kind| "#{value}.#{kind}\n" }.join
      end

      def __one_line__ text
        text.split(" ").join(" ")
      end

      # Drawn as it is: a Hash, what names its kind, an entity, or what draws itself.
      def outputs_resolved? o
        return true if Hash === o
        marker = o.primitive_marker
        return true if marker && marker != :pending
        o.is_a?(ZOQ::OpenEntity) || o.respond_to?(:draw_override)
      end

      # nil when nothing is to be added; an Enumerable other than Array or Hash as an Array.
      def outputs_resolve_collection os
        return nil if os.nil? || os.is_a?(ValueType)
        return (os.empty? ? nil : os) if os.is_a?(Array)
        return os if os.is_a?(Hash)
        if os.is_a?(Enumerable)
          list = os.to_a
          return list.empty? ? nil : list
        end
        os
      end

      def outputs_mark! o, mark_method, primitive_name
        return if outputs_resolved?(o)
        o.__send__ mark_method
        raise "Primitive conversion failed.\n" unless o.primitive_marker == primitive_name
      end

      def outputs_add_dwim os, mark_method, primitive_name
        resolved = outputs_resolve_collection os
        return self if resolved.nil?
        if outputs_resolved?(resolved)
          __original_add_single__ resolved
        elsif resolved.is_a?(Enumerable)
          list = resolved.to_a
          if list.all? { |o| o.primitive_marker }
            list.each { |o| outputs_mark! o, mark_method, primitive_name }
            concat list
          elsif list.any? { |o| o.is_a?(ValueType) } || ZOQ::FlatArray.colour?(list[1])
            outputs_mark! resolved, mark_method, primitive_name
            __original_add_single__ resolved
          else
            list.each { |o| outputs_add_dwim o, mark_method, primitive_name }
          end
        else
          __original_add_single__ resolved
        end
        self
      rescue Exception => e
        raise e, "* ERROR:\nArray##{primitive_name}s\nFailed to convert #{os.better_class_hierarchy_information} to a primitive.\n\n" \
                 "A primitive must respond to :primitive_marker, and then subsequently\nrespond to  ALL the methods required for that specific marker:\n\n" \
                 "#{ZOQ::Help.primitive_contract(primitive_name)}\n#{e.message}"
      end
    end
  end
end
