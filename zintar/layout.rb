module ZOQ
  # First version of the device-independent layout grid: its size only; the rectangles,
  # font sizes and device areas come with rendering.
  class Layout
    attr_reader :w, :h, :rect_cache

    def initialize w, h
      @w = w
      @h = h
      @rect_cache = {}
    end

    def serialize
      { w: @w, h: @h }
    end

    def inspect
      serialize.to_s
    end
  end
end
