# Rectangle readers for any object with x, y, w and h, and the sprite fields for game
# classes drawn as sprites (attr_rect and attr_sprite mix these in).
module AttrRect
  include ZOQ::Geometry

  def left
    value = instance_variable_get(:@x)
    value.nil? ? x : value
  end

  def bottom
    value = instance_variable_get(:@y)
    value.nil? ? y : value
  end

  def x1
    left
  end

  def y1
    bottom
  end

  def right
    w_value = instance_variable_get(:@w)
    left + (w_value.nil? ? w : w_value)
  end

  def top
    h_value = instance_variable_get(:@h)
    bottom + (h_value.nil? ? h : h_value)
  end
end

module AttrSprite
  include AttrRect

  attr_accessor :x, :y, :w, :h, :path, :angle, :a, :r, :g, :b, :tile_x, :tile_y, :tile_w, :tile_h,
                :flip_horizontally, :flip_vertically, :angle_anchor_x, :angle_anchor_y, :id,
                :source_x, :source_y, :source_w, :source_h

  def primitive_marker
    :sprite
  end

  def sprite
    self
  end

  def x1= value
    @x = value
  end

  def y1= value
    @y = value
  end
end
