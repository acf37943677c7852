# Hashes speak the attribute protocol of primitives and rectangles (x, y, w, h, colours,
# sprite fields) and get the geometry methods.
class Hash
  include ZOQ::Geometry

  [:dx, :dy, :x2, :y2, :text, :size_enum, :alignment_enum, :pos, :z, :font, :tile_x, :tile_y,
   :tile_w, :tile_h, :source_x, :source_y, :source_w, :source_h, :flip_horizontally,
   :flip_vertically, :angle_anchor_x, :angle_anchor_y, :angle, :at, :path, :s, :id].each do |key|
    define_method(key) { self[key] }
  end

  [:dx, :dy, :x2, :y2, :w, :h, :text, :size_enum, :alignment_enum, :r, :g, :b, :a, :font,
   :tile_x, :tile_y, :tile_w, :tile_h, :source_x, :source_y, :source_w, :source_h,
   :flip_horizontally, :flip_vertically, :angle_anchor_x, :angle_anchor_y, :angle, :at, :path,
   :pos, :z].each do |key|
    define_method("#{key}=") { |value| self[key] = value }
  end

  def x1
    self[:x]
  end

  def y1
    self[:y]
  end

  def x= value
    self[:x] = value
  end

  def x1= value
    self[:x] = value
  end

  def y= value
    self[:y] = value
  end

  def y1= value
    self[:y] = value
  end

  def x
    value = self[:x]
    return value if value
    rect = self[:rect]
    return rect.x if rect
    point = self[:point]
    return point.x if point
    nil
  end

  def y
    value = self[:y]
    return value if value
    rect = self[:rect]
    return rect.y if rect
    point = self[:point]
    return point.y if point
    nil
  end

  def w
    value = self[:w]
    return value if value
    rect = self[:rect]
    rect ? rect.w : nil
  end

  def h
    value = self[:h]
    return value if value
    rect = self[:rect]
    rect ? rect.h : nil
  end

  def __get_color_from_array_or_primitive v, name
    determined = ZOQ.const_defined?(:Primitive) && ZOQ::Primitive.const_defined?(:Determined) &&
                 v.is_a?(ZOQ::Primitive::Determined)
    if v.is_a?(Array) && !determined
      return v[name == :r ? 0 : name == :g ? 1 : name == :b ? 2 : 3]
    end
    v.__send__(name)
  end

  def __color__ name
    value = self[name]
    return value if value
    rgb = self[:rgb]
    return __get_color_from_array_or_primitive(rgb, name) if rgb
    rgba = self[:rgba]
    return __get_color_from_array_or_primitive(rgba, name) if rgba
    nil
  end

  def r
    __color__ :r
  end

  def g
    __color__ :g
  end

  def b
    __color__ :b
  end

  def a
    __color__ :a
  end

  def left
    self[:x]
  end

  def bottom
    self[:y]
  end

  def right
    self[:x] + self[:w]
  end

  def top
    self[:y] + self[:h]
  end

  def primitive_marker
    marker = self[:primitive_marker]
    return marker if marker
    return :label if self[:text]
    return :sprite if self[:path]
    return :line if self[:x2]
    nil
  end

  def label
    self[:primitive_marker] = :label
    self
  end

  def solid
    self[:primitive_marker] = :solid
    self
  end

  def border
    self[:primitive_marker] = :border
    self
  end

  def line
    self[:primitive_marker] = :line
    self
  end

  def sprite
    self[:primitive_marker] = :sprite
    self
  end

  def rect
    self
  end

  def to_hash
    self
  end

  def serialize
    self
  end

  # A search of the hash's text, not of its keys.
  def include? *args
    to_s.include?(*args)
  end

  def shift_rect dx, dy
    merge(x: (x || 0) + dx, y: (y || 0) + dy)
  end

  def anchor_rect x_perc, y_perc
    merge(x: x - w * x_perc, y: y - h * y_perc)
  end

  def associate hash = nil
    result = to_hash.merge(hash || {})
    result = yield(result) if block_given?
    result
  rescue Exception => e
    raise_immediately e, :associate, hash
  end

  def new_entity entity_type, &block
    ZOQ::Entity.new_entity entity_type, self, block
  end

  def new_entity_strict entity_type, &block
    ZOQ::Entity.new_entity_strict entity_type, self, block
  end

  def pretty_format char = " "
    Hash.pretty_format self, char
  end

  def self.pretty_format hash, char = " "
    pairs = hash.map do |key, value|
      key_text = if key.is_a?(Symbol)
                   ":#{key}"
                 elsif key.is_a?(String)
                   "\"#{key}\""
                 else
                   key.to_s
                 end
      value_text = if value.is_a?(Symbol)
                     ":#{value}"
                   elsif value.is_a?(String)
                     "\"#{value}\""
                   elsif value.nil?
                     "nil"
                   elsif value.is_a?(Hash)
                     value.pretty_format(char)
                   else
                     value.to_s
                   end
      "#{char}#{char}#{key_text} => #{value_text.indent_lines(key_text.length + 4, char)}"
    end
    "{\n" + pairs.join(",\n").indent_lines(2, char) + "\n}"
  end
end
