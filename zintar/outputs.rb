module ZOQ
  # First version of the window's render pass: its header values and an empty primitive list.
  class Outputs
    attr_accessor :target, :width, :height, :transient, :background_color

    def initialize
      @background_color = [0, 0, 0]
      @transient = false
    end

    def tick
    end
  end
end
