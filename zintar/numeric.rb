module NumericDocs
  def docs_method_sort_order
    [:docs_frame_index, :docs_elapsed_time, :docs_elapsed?, :docs_new?]
  end

  def docs_frame_index
    <<-HEREDOC
* DOCS: ~Numeric#frame_index~
Called on the tick an animation started, answers the index of the frame to show now.
#+begin_src
  def tick args
    args.state.start ||= 0
    index = args.state.start.frame_index count: 6, hold_for: 4, repeat: true
    args.outputs.sprites << { x: 0, y: 0, w: 32, h: 32, path: "sprites/walk-\#{index}.png" }
  end
#+end_src
The arguments are ~count~ (frames), ~hold_for~ (ticks per frame), ~repeat~ and
~tick_count_override~, in that order or as a Hash. Without ~repeat~ the answer is nil
once the animation has run through; before the start tick it is nil as well.
HEREDOC
  end

  def docs_elapsed_time
    <<-HEREDOC
* DOCS: ~Numeric#elapsed_time~
Called on a tick number, answers how many ticks have passed since then
(~Kernel.tick_count~ minus the number, or a given tick count minus the number).
#+begin_src
  args.state.jumped_at ||= 0
  puts "in the air" if args.state.jumped_at.elapsed_time < 30
#+end_src
HEREDOC
  end

  def docs_elapsed?
    <<-HEREDOC
* DOCS: ~Numeric#elapsed?~
Called on a tick number, answers whether that tick (plus an optional offset) lies before
the current tick.
#+begin_src
  args.state.spawned_at ||= 0
  args.state.enemy_visible = args.state.spawned_at.elapsed?(60)
#+end_src
HEREDOC
  end

  def docs_new?
    <<-HEREDOC
* DOCS: ~Numeric#new?~
Called on a tick number, answers whether it is the current tick.
#+begin_src
  puts "just clicked" if args.state.clicked_at && args.state.clicked_at.new?
#+end_src
HEREDOC
  end
end

# Ticks, angles, stepping and limits for numbers, and arithmetic that tolerates nil.
class Numeric
  include ValueType
  include NumericDeprecated
  extend Docs
  extend NumericDocs

  # Made before the operators below are redefined, so they always reach the core ones.
  [[:gte, :>=], [:lte, :<=], [:gt, :>], [:above?, :>], [:right_of?, :>],
   [:lt, :<], [:below?, :<], [:left_of?, :<], [:original_eq_eq, :==]].each do |name, core|
    alias_method name, core unless instance_methods(false).include?(name)
  end

  def check_numeric! operator, other
    raise "* ERROR:\nAttempted to invoke :+ on #{self} with the right hand argument of:\n\n#{other.to_s}\n\nThe object above is not a Numeric.\n\n"
  end

  def + other
    return nil unless other
    check_numeric!(:+, other) unless other.is_a?(Numeric)
    super
  end

  def - other
    return nil unless other
    check_numeric!(:-, other) unless other.is_a?(Numeric)
    super
  end

  def * other
    return nil unless other
    check_numeric!(:*, other) unless other.is_a?(Numeric)
    super
  end

  def / other
    return nil unless other
    check_numeric!(:/, other) unless other.is_a?(Numeric)
    super
  end

  def == other
    return true if original_eq_eq(other)
    return self == other.entity_id if other.is_a?(ZOQ::OpenEntity)
    false
  end

  # ---- time and animation -------------------------------------------------------------

  def seconds
    self * 60
  end

  def elapsed_time tick_count_override = nil
    (tick_count_override || Kernel.tick_count) - self
  end

  def elapsed_time_percent duration
    elapsed_time.percentage_of(duration)
  end

  def new?
    elapsed_time == 0
  end

  def elapsed? offset = 0, tick_count_override = Kernel.tick_count
    (self + offset) < tick_count_override
  end

  def frame_index *opts
    if opts.length == 1 && opts[0].is_a?(Hash)
      settings = opts[0]
      count = settings[:count]
      hold_for = settings[:hold_for]
      repeat = settings[:repeat]
      tick_count_override = settings[:tick_count_override]
    else
      count, hold_for, repeat, tick_count_override = opts
    end
    tick_count_override ||= Kernel.tick_count
    return nil if Kernel.tick_count < self
    return nil if !repeat && (self + hold_for * count) < (tick_count_override - 1)
    (elapsed_time - 1).idiv(hold_for) % count
  rescue Exception => e
    raise "* ERROR:\n#{opts}\n#{e}\n"
  end

  def ease duration, *definitions
    ease_extended Kernel.tick_count, duration, ZOQ::Easing.initial_value(*definitions),
                  ZOQ::Easing.final_value(*definitions), *definitions
  end

  def global_ease duration, *definitions
    ease_extended Kernel.global_tick_count, duration, ZOQ::Easing.initial_value(*definitions),
                  ZOQ::Easing.final_value(*definitions), *definitions
  end

  def ease_extended tick_count_override, duration, default_before, default_after, *definitions
    ZOQ::Easing.ease_extended self, tick_count_override, self + duration, default_before, default_after, *definitions
  end

  def ease_spline duration, spline
    ease_spline_extended Kernel.tick_count, duration, spline
  end

  def global_ease_spline duration, spline
    ease_spline_extended Kernel.global_tick_count, duration, spline
  end

  def ease_spline_extended tick_count_override, duration, spline
    ZOQ::Easing.ease_spline_extended self, tick_count_override, self + duration, spline
  end

  # ---- angles and vectors (degrees) ---------------------------------------------------

  def to_radians
    self * (Math::PI / 180)
  end

  def to_degrees
    self / (Math::PI / 180)
  end

  def vector_x max_value = 1
    max_value * Math.cos(to_radians)
  end

  def vector_y max_value = 1
    max_value * Math.sin(to_radians)
  end

  alias x_vector vector_x
  alias y_vector vector_y

  def vector max_value = 1
    [vector_x(max_value), vector_y(max_value)]
  end

  def to_square x, y, anchor_x = 0.5, anchor_y = nil
    ZOQ::Geometry.to_square self, x, y, anchor_x, anchor_y
  end

  # ---- stepping, limits and arithmetic ------------------------------------------------

  def half
    self / 2.0
  end

  def zero?
    self == 0
  end

  def zero
    0
  end

  def one
    1
  end

  def two
    2
  end

  def five
    5
  end

  def ten
    10
  end

  def shift_right i
    self + i
  end

  def shift_left i
    shift_right(-i)
  rescue Exception => e
    raise_immediately e, :shift_left, i
  end

  def shift_up i
    self + i
  rescue Exception => e
    raise_immediately e, :shift_up, i
  end

  def shift_down i
    shift_up(-i)
  rescue Exception => e
    raise_immediately e, :shift_down, i
  end

  def add i
    self + i
  end

  alias plus add

  def subtract i
    self - i
  end

  alias minus subtract

  def mult n
    self * n
  end

  def fdiv n
    self / n.to_f
  end

  # Truncated toward zero: -1.idiv(4) is 0.
  def idiv n
    (self / n.to_f).to_i
  end

  def mod n
    self % n
  end

  alias remainder_of_divide mod

  def zmod? n
    (self % n) == 0
  end

  def mod_zero? *ns
    ns.any? { |n| (self % n) == 0 }
  end

  def percentage_of n
    (self / n.to_f).cap_min_max(0, 1)
  end

  def cap i
    self > i ? i : self
  end

  def cap_min_max min, max
    return min if self < min
    return max if self > max
    self
  end

  def lesser other
    other < self ? other : self
  end

  def greater other
    other > self ? other : self
  end

  def towards target, magnitude
    return self if self == target
    return target if (self - target).abs < magnitude
    self > target ? self - magnitude : self + magnitude
  end

  def to_byte
    cap_min_max(0, 255).to_i
  end

  def numbers
    (0..self).to_a
  end

  def combinations other_int
    numbers.product(other_int.numbers)
  end

  def map &block
    raise "* ERROR:\nA block is required for Numeric#map.\n\n" unless block
    result = []
    count = to_i
    i = 0
    while i < count
      result << block.call
      i += 1
    end
    result
  end

  def map_with_index &block
    raise "* ERROR:\nA block is required for Numeric#map.\n\n" unless block
    result = []
    count = to_i
    i = 0
    while i < count
      result << block.call(i)
      i += 1
    end
    result
  end

  def map_with_ys ys, &block
    result = []
    x = 0
    while x < self
      y = 0
      while y < ys
        result << block.call(x, y)
        y += 1
      end
      x += 1
    end
    result
  rescue Exception => e
    raise_immediately e, :map_with_ys, ys
  end

  def randomize *definitions
    result = self
    result = result.rand_sign if definitions.include?(:sign)
    if definitions.include?(:ratio)
      result = result * rand
    elsif definitions.include?(:int)
      result = rand(result)
    end
    result
  end

  def rand_sign
    rand > 0.5 ? -self : self
  end

  def rand_ratio
    self * rand
  end

  def serialize
    self
  end

  # Positions measured from the top and right edges of the grid.
  def self.__zoq_grid__
    runtime = $zoq
    return nil unless runtime && runtime.__zoq_defines__?(:args)
    args = runtime.args
    args && args.__zoq_defines__?(:grid) ? args.grid : nil
  end

  def self.from_top n
    grid = __zoq_grid__
    grid ? grid.top - n : ZOQ::Host::DEFAULT_HEIGHT - n
  end

  def self.from_right n
    grid = __zoq_grid__
    grid ? grid.right - n : ZOQ::Host::DEFAULT_WIDTH - n
  end

  def from_top
    Numeric.from_top self
  end

  def from_right
    Numeric.from_right self
  end

  def self.clamp n, min, max
    n.clamp(min, max)
  end
end

# Integer and Float own their operators, so the nil-tolerant forms are made on each.
# The core operators are kept (once) under names of their own for the numeric case.
[Integer, Float].each do |klass|
  klass.class_eval do
    include ValueType
    [[:gte, :>=], [:lte, :<=], [:gt, :>], [:above?, :>], [:right_of?, :>],
     [:lt, :<], [:below?, :<], [:left_of?, :<],
     [:__original_add__, :+], [:__original_sub__, :-], [:__original_mul__, :*], [:__original_div__, :/]].each do |name, core|
      alias_method name, core unless instance_methods(false).include?(name)
    end

    # The core operator refuses what is not a number with a TypeError; asking first would
    # cost every division (each one is a send of /) a type check.
    def + other
      return nil unless other
      __original_add__(other)
    rescue TypeError
      check_numeric!(:+, other)
    end

    def - other
      return nil unless other
      __original_sub__(other)
    rescue TypeError
      check_numeric!(:-, other)
    end

    def * other
      return nil unless other
      __original_mul__(other)
    rescue TypeError
      check_numeric!(:*, other)
    end

    def / other
      return nil unless other
      __original_div__(other)
    rescue TypeError
      check_numeric!(:/, other)
    end

    def sign
      return 1 if self > 0
      return -1 if self < 0
      0
    end

    def to_sf
      format("%.2f", self)
    end

    def ifloor int
      idiv(int.to_i) * int.to_i
    end

    def serialize
      self
    end
  end
end

# Comparing with nil answers false. Integer and Float own their core comparisons, so each
# of the three classes defines these itself, over the core ones aliased above.
[Numeric, Integer, Float].each do |klass|
  klass.class_eval do
    def >= other
      return false unless other
      gte(other)
    end

    def > other
      return false unless other
      gt(other)
    end

    def <= other
      return false unless other
      lte(other)
    end

    def < other
      return false unless other
      lt(other)
    end
  end
end

class Integer
  alias_method :original_eq_eq, :== unless instance_methods(false).include?(:original_eq_eq)
  alias_method :original_round, :round unless instance_methods(false).include?(:original_round)

  def == other
    return true if original_eq_eq(other)
    return false unless other.is_a?(ZOQ::OpenEntity)
    self == other.entity_id
  end

  def round *args
    original_round
  end

  def cos
    Math.cos(to_radians)
  end

  def sin
    Math.sin(to_radians)
  end

  def even?
    (self % 2) == 0
  end

  def odd?
    !even?
  end

  def pos?
    sign > 0
  end

  def neg?
    sign < 0
  end
end

class Float
  def replace_infinity scalar
    direction = infinite?
    return self unless scalar && direction
    direction < 0 ? -scalar : scalar
  end
end
