module ZOQ
  # The game's coordinate system: where the origin is, the transform sent to the renderer,
  # and conversions between game and window coordinates.
  class Grid
    include ZOQ::Serialize

    SCREEN_Y_DIRECTION = -1

    attr_accessor :name, :bottom, :top, :left, :right, :center_x, :center_y, :rect, :origin_x, :origin_y,
                  :left_margin, :bottom_margin, :ffi_draw

    def initialize runtime
      @runtime = runtime
      @ffi_draw = runtime.ffi_draw
      origin_bottom_left!
    end

    def w
      @runtime.logical_width
    end

    def h
      @runtime.logical_height
    end

    def w_half
      w.half
    end

    def h_half
      h.half
    end

    def center
      @center
    end

    def bottom_right
      [@right, @bottom].point
    end

    def origin_bottom_left!
      return nil if @name == :bottom_left
      @name = :bottom_left
      @origin_x = 0
      @origin_y = h
      @left = 0
      @right = w
      @top = h
      @bottom = 0
      @left_margin = 0
      @bottom_margin = 0
      @center_x = w_half
      @center_y = h_half
      @rect = [@left, @bottom, w, h].rect
      @center = [@center_x, @center_y].point
      @ffi_draw.set_grid @origin_x, @origin_y, SCREEN_Y_DIRECTION
    end

    def origin_center!
      return nil if @name == :center
      @name = :center
      @origin_x = w_half
      @origin_y = h_half
      @left = -w_half
      @right = w_half
      @top = h_half
      @bottom = -h_half
      @center_x = 0
      @center_y = 0
      @rect = [@left, @bottom, w, h].rect
      @center = [0, 0].point
      @ffi_draw.set_grid @origin_x, @origin_y, SCREEN_Y_DIRECTION
    end

    def transform_x x
      @origin_x + x
    end

    def untransform_x x
      x - @origin_x
    end

    def transform_y y
      @origin_y + y * SCREEN_Y_DIRECTION
    end

    def untransform_y y
      @origin_y + y * SCREEN_Y_DIRECTION
    end

    def serialize
      { name: @name, bottom: @bottom, top: @top, left: @left, right: @right, center_x: @center_x,
        center_y: @center_y, rect: @rect, origin_x: @origin_x, origin_y: @origin_y,
        left_margin: @left_margin, bottom_margin: @bottom_margin }
    end
  end
end
