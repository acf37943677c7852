module ZOQ
  # Value objects of the layout: each serialises to a Hash of its fields and shows as it.
  class Margin
    include SerializedText
    attr_accessor :left, :right, :top, :bottom

    def initialize
      @left = 0
      @right = 0
      @top = 0
      @bottom = 0
    end

    def serialize
      { left: @left, right: @right, top: @top, bottom: @bottom }
    end
  end

  class SafeArea
    include SerializedText
    attr_accessor :w, :h, :margin

    def initialize
      @w = 0
      @h = 0
      @margin = Margin.new
    end

    def serialize
      { w: @w, h: @h, margin: @margin.serialize }
    end
  end

  class GridArea
    include SerializedText
    attr_accessor :w, :h, :gutter, :outer_gutter, :col_count, :row_count, :margin, :cell_w, :cell_h

    def initialize
      @w = 0
      @h = 0
      @gutter = 0
      @outer_gutter = 0
      @col_count = 0
      @row_count = 0
      @margin = Margin.new
      @cell_w = nil
      @cell_h = nil
    end

    def serialize
      { w: @w, h: @h, gutter: @gutter, outer_gutter: @outer_gutter, col_count: @col_count,
        row_count: @row_count, margin: @margin.serialize }
    end
  end

  class ControlArea
    include SerializedText
    attr_accessor :cell_size, :w, :h, :margin

    def initialize
      @cell_size = nil
      @w = nil
      @h = nil
      @margin = Margin.new
    end

    def serialize
      { cell_size: @cell_size, w: @w, h: @h, margin: @margin.serialize }
    end
  end

  class AspectRatio
    include SerializedText
    attr_accessor :w, :h, :u

    def initialize
      @w = 0
      @h = 0
      @u = 0
    end

    def serialize
      { w: @w, h: @h, u: @u }
    end
  end

  class Device
    include SerializedText
    attr_accessor :name, :w, :h, :safe_area, :grid_area, :control_area, :aspect

    def initialize
      @name = ""
      @w = 0
      @h = 0
      @safe_area = SafeArea.new
      @grid_area = GridArea.new
      @control_area = ControlArea.new
      @aspect = AspectRatio.new
    end

    def assert! result, message
      raise message unless result
    end

    def check_math!
      area = @control_area
      assert! area.w + area.margin.left + area.margin.right == @w, "Math for Width didn't pan out."
      assert! area.h + area.margin.top + area.margin.bottom == @h, "Math for Height didn't pan out."
    end

    def serialize
      { name: @name, w: @w, h: @h, aspect: @aspect.serialize, safe_area: @safe_area.serialize,
        grid_area: @grid_area.serialize, control_area: @control_area.serialize }
    end
  end

  # A layout grid of 24 columns by 12 rows inside the largest 16:9 area of the logical size:
  # rectangles by row and column, and font sizes that follow the cell size.
  class Layout
    include SerializedText
    attr_reader :w, :h, :rect_cache, :device

    def initialize w, h
      @w = w
      @h = h
      @rect_cache = {}
      init_device w, h
    end

    def u_for_16x9 w, h
      u = (w / 16.0).floor
      u = (h / 9.0).floor if u * 9 > h
      { u: u, w: u * 16, h: u * 9 }
    end

    def init_device w, h
      device = Device.new
      device.name = "Device"
      device.w = w
      device.h = h
      aspect = u_for_16x9 w, h
      device.aspect.w = aspect[:w]
      device.aspect.h = aspect[:h]
      device.aspect.u = aspect[:u]

      safe = device.safe_area
      safe.w = aspect[:u] * 16
      safe.h = aspect[:u] * 9
      safe.margin.left = ((w - safe.w) / 2.0).floor
      safe.margin.right = safe.margin.left
      safe.margin.top = ((h - safe.h) / 2.0).floor
      safe.margin.bottom = safe.margin.top

      grid = device.grid_area
      grid.outer_gutter = w / 80
      grid.gutter = w / 160
      grid.w = safe.w - grid.outer_gutter * 2
      grid.h = safe.h - grid.outer_gutter * 2
      grid.margin.left = ((w - grid.w) / 2.0).floor
      grid.margin.right = grid.margin.left
      grid.margin.top = ((h - grid.h) / 2.0).floor
      grid.margin.bottom = grid.margin.top
      grid.col_count = 24
      grid.row_count = 12
      grid.cell_w = (device.aspect.w - grid.outer_gutter * 2 - grid.gutter * 23) / 24.0
      grid.cell_h = (device.aspect.h - grid.outer_gutter * 2 - grid.gutter * 11) / 12.0

      control = device.control_area
      cell_size = grid.cell_w
      cell_size = grid.cell_h if grid.cell_h < grid.cell_w && grid.cell_h > 0
      control.cell_size = cell_size.floor
      control.w = control.cell_size * 24 + grid.gutter * 23
      control.h = control.cell_size * 12 + grid.gutter * 11
      control.margin.left = (w - control.w) / 2.0
      control.margin.right = control.margin.left
      control.margin.top = (h - control.h) / 2.0
      control.margin.bottom = control.margin.top
      @device = device
    end

    def font_relative_size_enum size_enum
      target = size_enum > 0 ? size_enum : 1
      (font_size_med / 22) * target
    end

    def font_px_to_pt px
      (px / 1.33333).floor
    end

    def font_pt_to_px pt
      pt * 1.333333
    end

    def font_size_cell
      cell_height / 1.33333
    end

    def font_size_xl
      font_size_cell
    end

    def font_size_lg
      font_size_cell * 0.8
    end

    def font_size_med
      font_size_cell * 0.7
    end

    def font_size_sm
      font_size_cell * 0.6
    end

    def font_size_xs
      font_size_cell * 0.5
    end

    def font_size
      font_size_cell * 0.7
    end

    def logical_rect
      @logical_rect ||= { x: 0, y: 0, w: @w, h: @h }
    end

    def safe_rect
      @safe_rect ||= { x: 0, y: 0, w: @w, h: @h }
    end

    def control_rect
      @control_rect ||= begin
        area = @device.control_area
        { x: area.margin.left, y: area.margin.top, w: area.w, h: area.h }
      end
    end

    def row_count
      @device.grid_area.row_count
    end

    def col_count
      @device.grid_area.col_count
    end

    def gutter_height
      @device.grid_area.gutter
    end

    def gutter_width
      @device.grid_area.gutter
    end

    def outer_gutter
      @device.grid_area.outer_gutter
    end

    def cell_height
      @device.control_area.cell_size
    end

    def cell_width
      @device.control_area.cell_size
    end

    def rect_defaults
      { row: nil, col: nil, h: 1, w: 1, dx: 0, dy: 0, rect: :control_rect }
    end

    def rect_col index, w
      cache = (@rect_cache[:col] ||= {})
      key = [index, w]
      cached = cache[key]
      return cached if cached
      col_x = (control_rect[:x] + gutter_width * index + cell_width * index).to_i
      if col_x.odd?
        col_x += (index + 1 < col_count.half) ? -1 : 1
      end
      col_w = (gutter_width * (w - 1) + cell_width * w).to_i
      col_w -= 1 if col_w.odd?
      cache[key] = control_rect.merge(x: col_x, w: col_w)
    end

    def rect_row index, h
      cache = (@rect_cache[:row] ||= {})
      key = [index, h]
      cached = cache[key]
      return cached if cached
      row_h = (gutter_height * (h - 1) + cell_height * h).to_i
      row_h -= 1 if row_h.odd?
      row_y = (control_rect[:y] + gutter_height * index + cell_height * index).to_i
      row_y += 1 if row_y.odd?
      row_y = @device.h - row_y - row_h
      cache[key] = control_rect.merge(y: row_y, h: row_h)
    end

    def rect opts
      opts = rect_defaults.merge(opts)
      result = __send__(opts[:rect])
      row = opts[:row]
      col = opts[:col]
      if row && col
        col_rect = rect_col col, opts[:w]
        row_rect = rect_row row, opts[:h]
        result = control_rect.merge(x: col_rect[:x], y: row_rect[:y], w: col_rect[:w], h: row_rect[:h])
      elsif row
        result = rect_row(row, opts[:h]).dup
      elsif col
        result = rect_col(col, opts[:w]).dup
      else
        raise "LayoutTheory::rect unable to process opts #{opts}."
      end

      max_height = opts[:max_height]
      if max_height && max_height >= 0 && result[:h] > max_height
        result[:y] += (result[:h] - max_height) * 2
        result[:h] = max_height
      end
      max_width = opts[:max_width]
      if max_width && max_width >= 0 && result[:w] > max_width
        result[:x] += (result[:w] - max_width) * 2
        result[:w] = max_width
      end

      result[:x] += opts[:dx]
      result[:y] += opts[:dy]

      if opts[:include_row_gutter]
        result[:x] -= gutter_width
        result[:w] += gutter_width * 2
      end
      if opts[:include_col_gutter]
        result[:y] -= gutter_height
        result[:h] += gutter_height * 2
      end

      # The offsets apply a second time here: games are laid out with that.
      result[:x] += opts[:dx] if opts[:dx]
      result[:y] += opts[:dy] if opts[:dy]
      result[:w] += opts[:dw] if opts[:dw]
      result[:h] += opts[:dh] if opts[:dh]
      result[:row] = row
      result[:col] = col

      # Answers are measured from the bottom-left corner; a centred grid moves them by its origin.
      grid = $zoq && $zoq.args ? $zoq.args.grid : nil
      if grid && grid.name == :center
        result[:x] -= grid.origin_x
        result[:y] -= grid.origin_y
      end
      result
    end

    def rect_center reference, target
      delta_x = (reference.w - target.w) / 2.0
      delta_y = (reference.h - target.h) / 2.0
      [target.x - delta_x, target.y - delta_y, target.w, target.h]
    end

    def serialize
      { device: @device.serialize }
    end
  end
end
