module ZOQ
  # Collision and placement arithmetic. Module functions take every operand explicitly
  # (ZOQ::Geometry.intersect_rect?(a, b)); included as a mixin (Hash does), the instance
  # methods pass the receiver as the first operand. Operands are duck typed: rectangles
  # answer x, y, w, h (left, right, bottom, top for overlap), points x, y, lines x, y, x2, y2.
  # Angles are in degrees and y grows upward.
  module Geometry
    def self.intersect_rect? rect_one, rect_two, tolerance = 0.1
      return false if rect_one.right - tolerance < rect_two.left + tolerance
      return false if rect_one.left + tolerance > rect_two.right - tolerance
      return false if rect_one.top - tolerance < rect_two.bottom + tolerance
      return false if rect_one.bottom + tolerance > rect_two.top - tolerance
      true
    rescue Exception => e
      missing_one = __missing_methods__ rect_one
      missing_two = __missing_methods__ rect_two
      context_help = ""
      unless missing_one.empty?
        context_help += "rect_one needs to implement the following methods: #{missing_one}\n\nYou may want to try include the ~AttrRect~ module which will give you these methods.\n"
      end
      unless missing_two.empty?
        context_help += "* FAILURE REASON:\nrect_two needs to implement the following methods: #{missing_two}\nNOTE: You may want to try include the ~ZOQ::Geometry~ module which will give you these methods.\n"
      end
      raise e.exception("* ERROR:\n:intersect_rect? failed for\n- rect_one: #{rect_one}\n- rect_two: #{rect_two}\n#{context_help}\n")
    end

    def self.__missing_methods__ rect
      contract = rect.__help_contract_implementation contract_intersect_rect?
      contract[:not_implemented_methods] || []
    rescue Exception
      []
    end

    def self.inside_rect? inner_rect, outer_rect, tolerance = 0
      inner_rect.x + tolerance >= outer_rect.x - tolerance &&
        inner_rect.right - tolerance <= outer_rect.right + tolerance &&
        inner_rect.y + tolerance >= outer_rect.y - tolerance &&
        inner_rect.top - tolerance <= outer_rect.top + tolerance
    rescue Exception => e
      raise e.exception(":inside_rect? failed for inner_rect: #{inner_rect} outer_rect: #{outer_rect}.")
    end

    def self.contract_intersect_rect?
      [:left, :right, :top, :bottom]
    end

    def self.intersects_rect? *args
      raise "intersects_rect? (with an \"s\") has been deprecated.\nUse intersect_rect? instead (remove the \"s\").\n\n* NOTE:\nRuby's naming convention is to *never* include the \"s\" for\ninterrogative method names (methods that end with a ?). It\ndoesn't sound grammatically correct, but that has been the\nrule for a long time (and why intersects_rect? has been deprecated).\n\n"
    end

    # A keyword left out is asked of the receiver (here the module, which has none of them,
    # so leaving one out raises); a keyword given as nil takes its default.
    def self.scale_rect_extended rect, percentage_x: self.percentage_x, percentage_y: self.percentage_y,
                                 anchor_x: self.anchor_x, anchor_y: self.anchor_y
      percentage_x ||= 1
      percentage_y ||= 1
      anchor_x ||= 0
      anchor_y ||= 0
      new_w = rect.w * percentage_x
      new_h = rect.h * percentage_y
      new_x = rect.x + (rect.w - new_w) * anchor_x
      new_y = rect.y + (rect.h - new_h) * anchor_y
      if rect.is_a? Array
        [new_x, new_y, new_w, new_h] + (rect[4..-1] || [])
      elsif rect.is_a? Hash
        rect.merge(x: new_x, y: new_y, w: new_w, h: new_h)
      else
        rect.x = new_x
        rect.y = new_y
        rect.w = new_w
        rect.h = new_h
        rect
      end
    rescue Exception => e
      raise e.exception(":scale_rect_extended failed for rect: #{rect} percentage_x: #{percentage_x} percentage_y: #{percentage_y} anchors_x: #{anchor_x} anchor_y: #{anchor_y}.")
    end

    def self.scale_rect rect, percentage, *anchors
      anchors = anchors.flatten
      anchor_x = anchors[0] || 0
      anchor_y = anchors[1] || anchor_x
      scale_rect_extended rect, percentage_x: percentage, percentage_y: percentage,
                                anchor_x: anchor_x, anchor_y: anchor_y
    rescue Exception => e
      raise e.exception(":scale_rect failed for rect: #{rect} percentage: #{percentage} anchors [#{anchor_x} (x), #{anchor_y} (y)].")
    end

    def self.center_inside_rect rect, other_rect
      __center__ :center_inside_rect, rect, other_rect, true, true
    end

    def self.center_inside_rect_x rect, other_rect
      __center__ :center_inside_rect_x, rect, other_rect, true, false
    end

    def self.center_inside_rect_y rect, other_rect
      __center__ :center_inside_rect_y, rect, other_rect, false, true
    end

    # A copy of rect centred inside other_rect along the axes asked for; along the other,
    # it takes other_rect's position.
    def self.__center__ name, rect, other_rect, along_x, along_y
      copy = rect.shift_rect 0, 0
      copy.x = along_x ? other_rect.x + (other_rect.w - rect.w) / 2 : other_rect.x
      copy.y = along_y ? other_rect.y + (other_rect.h - rect.h) / 2 : other_rect.y
      copy
    rescue Exception => e
      raise e.exception("* ERROR:\n#{name} for self #{self} and other_rect #{other_rect}. Failed with exception #{e}.\n")
    end

    def self.to_square size, x, y, anchor_x = 0.5, anchor_y = nil
      anchor_y ||= anchor_x
      [x - size * anchor_x, y - size * anchor_y, size, size]
    rescue Exception => e
      raise e.exception(":to_square failed for size: #{size} x: #{x} y: #{y} anchor_x: #{anchor_x} anchor_y: #{anchor_y}.")
    end

    def self.distance point_one, point_two
      dx = point_two.x - point_one.x
      dy = point_two.y - point_one.y
      Math.sqrt(dx * dx + dy * dy)
    rescue Exception => e
      raise e.exception(":distance failed for point_one: #{point_one} point_two #{point_two}.")
    end

    # The direction from end_point to start_point, above 0 up to and including 360.
    def self.angle_from start_point, end_point
      __degrees__(Math::PI + Math.atan2(end_point.y - start_point.y, end_point.x - start_point.x))
    rescue Exception => e
      raise e.exception(":angle_from failed for start_point: #{start_point} end_point: #{end_point}.")
    end

    # The direction from start_point to end_point (straight right is 360.0, not 0).
    def self.angle_to start_point, end_point
      angle_from end_point, start_point
    rescue Exception => e
      raise e.exception(":angle_to failed for start_point: #{start_point} end_point: #{end_point}.")
    end

    def self.point_inside_circle? point, circle_center_point, radius
      dx = point.x - circle_center_point.x
      dy = point.y - circle_center_point.y
      dx * dx + dy * dy < radius * radius
    rescue Exception => e
      raise e.exception(":point_inside_circle? failed for point: #{point} circle_center_point: #{circle_center_point} radius: #{radius}")
    end

    def self.cubic_bezier t, a, b, c, d
      s = 1 - t
      s * s * s * a + 3 * s * s * t * b + 3 * s * t * t * c + t * t * t * d
    end

    # A vertical line has no slope: nil, or replace_infinity when one is given.
    def self.line_slope line, replace_infinity: nil
      run = line.x2 - line.x
      return replace_infinity if run == 0
      ((line.y2 - line.y).to_f / run).replace_infinity(replace_infinity)
    end

    # nil for a vertical line (it crosses no y intercept, or every one).
    def self.line_y_intercept line
      slope = line_slope line
      return nil unless slope
      line.y - slope * line.x
    end

    # nil when a line is vertical and no replace_infinity stands in for its slope.
    def self.angle_between_lines line_one, line_two, replace_infinity: nil
      m1 = line_slope line_one, replace_infinity: replace_infinity
      m2 = line_slope line_two, replace_infinity: replace_infinity
      return nil unless m1 && m2
      __degrees__ Math.atan((m1 - m2) / (1 + m2 * m1))
    end

    # The crossing of the two infinite lines; nil when either is vertical. Parallel lines
    # divide by zero and answer Infinity or NaN. A horizontal line crossing a slanted one
    # takes its own height as y: the general form would divide by its zero slope.
    def self.line_intersect line_one, line_two
      m1 = line_slope line_one
      m2 = line_slope line_two
      return nil unless m1 && m2
      b1 = line_one.y - m1 * line_one.x
      b2 = line_two.y - m2 * line_two.x
      x = (b1 - b2) / (m2 - m1)
      y = if m1 != m2 && m1 == 0
            b1
          elsif m1 != m2 && m2 == 0
            b2
          else
            (b1 / m1 - b2 / m2) / (1 / m1 - 1 / m2)
          end
      [x, y]
    end

    def self.line_rise_run line
      rise = (line.y2 - line.y).to_f
      run = (line.x2 - line.x).to_f
      if rise.abs > run.abs && rise != 0
        magnitude = rise.abs
        rise /= magnitude
        run /= magnitude
      elsif run.abs > rise.abs && run != 0
        magnitude = run.abs
        rise /= magnitude
        run /= magnitude
      else
        rise /= rise.abs if rise != 0
        run /= run.abs if run != 0
      end
      { x: run, y: rise }
    end

    def self.line_rect line
      if line.x2 < line.x
        x = line.x2
        y = line.y2
        x2 = line.x
        y2 = line.y
      else
        x = line.x
        y = line.y
        x2 = line.x2
        y2 = line.y2
      end
      { x: x, y: y, w: x2 - x, h: y2 - y }
    end

    def self.shift_line line, x, y
      if line.is_a? Array
        copy = line.dup
        copy[0] += x
        copy[1] += y
        copy[2] += x
        copy[3] += y
        copy
      elsif line.is_a? Hash
        copy = line.dup
        copy[:x] += x
        copy[:y] += y
        copy[:x2] += x
        copy[:y2] += y
        copy
      else
        raise "shift_line for #{line} is not supported."
      end
    end

    # Which side of the line the point lies on: :on, :left or :right. The line is taken left
    # to right, whatever order its endpoints come in, so one line always answers alike.
    def self.ray_test point, line
      x = line.x
      y = line.y
      x2 = line.x2
      y2 = line.y2
      if x > x2
        x, x2 = x2, x
        y, y2 = y2, y
      end
      slope = (y2 - y).to_f / (x2 - x)
      r = (x2 - x) * (point.y - y) - (point.x - x) * (y2 - y)
      if r == 0
        :on
      elsif r < 0
        slope >= 0 ? :right : :left
      else
        slope >= 0 ? :left : :right
      end
    end

    # As Numeric#to_degrees: dividing by pi / 180 keeps right angles whole here.
    def self.__degrees__ radians
      radians / (Math::PI / 180)
    end

    # Instance forms: the receiver is the first operand.

    def intersect_rect? other, tolerance = 0.1
      ZOQ::Geometry.intersect_rect? self, other, tolerance
    end

    def inside_rect? outer, tolerance = 0
      ZOQ::Geometry.inside_rect? self, outer, tolerance
    end

    def intersects_rect? *args
      ZOQ::Geometry.intersects_rect?(*args)
    end

    def scale_rect_extended percentage_x: self.percentage_x, percentage_y: self.percentage_y,
                            anchor_x: self.anchor_x, anchor_y: self.anchor_y
      ZOQ::Geometry.scale_rect_extended self, percentage_x: percentage_x, percentage_y: percentage_y,
                                              anchor_x: anchor_x, anchor_y: anchor_y
    end

    def scale_rect percentage, *anchors
      ZOQ::Geometry.scale_rect self, percentage, *anchors
    end

    def angle_to other_point
      ZOQ::Geometry.angle_to self, other_point
    end

    def angle_from other_point
      ZOQ::Geometry.angle_from self, other_point
    end

    def point_inside_circle? circle_center_point, radius
      ZOQ::Geometry.point_inside_circle? self, circle_center_point, radius
    end

    def center_inside_rect other_rect
      ZOQ::Geometry.center_inside_rect self, other_rect
    end

    def center_inside_rect_x other_rect
      ZOQ::Geometry.center_inside_rect_x self, other_rect
    end

    def center_inside_rect_y other_rect
      ZOQ::Geometry.center_inside_rect_y self, other_rect
    end

    def anchor_rect anchor_x, anchor_y
      shift_rect(-anchor_x * w, -anchor_y * h)
    end

    def angle_given_point other_point
      raise ":angle_given_point has been deprecated use :angle_from instead."
    end
  end
end

module GeometryDocs
  def docs_class
    "* DOCS: ~ZOQ::Geometry~\n" \
    "Collision and placement helpers, reached as ~args.geometry~ or ~ZOQ::Geometry~. Every\n" \
    "function takes its operands explicitly; a Hash (and any class that includes the module)\n" \
    "also has them as methods that use itself as the first operand.\n" \
    "#+begin_src\n" \
    "  a = { x: 0, y: 0, w: 10, h: 10 }\n" \
    "  b = { x: 5, y: 5, w: 10, h: 10 }\n" \
    "  args.geometry.intersect_rect? a, b # => true\n" \
    "  a.intersect_rect? b                # => true\n" \
    "  args.geometry.angle_to a, b        # => 45.0\n" \
    "#+end_src\n" \
    "Rectangles that only touch do not intersect: the default tolerance is 0.1.\n"
  end

  def docs_scale_rect
    "* DOCS: ~ZOQ::Geometry#scale_rect~\n" \
    "Scales a rectangle by a percentage around an anchor (0 is the left or bottom edge, 0.5\n" \
    "the centre, 1 the right or top edge).\n" \
    "#+begin_src\n" \
    "  { x: 0, y: 0, w: 100, h: 50 }.scale_rect(0.5, 0.5)\n" \
    "  # => { x: 25.0, y: 12.5, w: 50.0, h: 25.0 }\n" \
    "#+end_src\n" \
    "~scale_rect_extended~ takes ~percentage_x:~, ~percentage_y:~, ~anchor_x:~ and ~anchor_y:~ apart.\n"
  end
end

# The documentation records of ZOQ::Geometry.
module Geometry
  extend Docs
  extend GeometryDocs
end
