module ZOQ
  # Turns the position of a tick between a start and an end tick into a progress value in
  # 0..1 shaped by a chain of definitions, or into a point on a chain of cubic Bezier curves.
  # A definition is the name of a one-argument function of this module, or a Proc called
  # with (x, start_tick, duration); definitions may come nested in Arrays.
  module Easing
    def self.ease start_tick, current_tick, duration, *definitions
      ease_extended start_tick, current_tick, start_tick + duration,
                    initial_value(*definitions), final_value(*definitions), *definitions
    end

    # default_before and default_after are accepted for callers that pass them; unused.
    def self.ease_extended start_tick, current_tick, end_tick, default_before, default_after, *definitions
      definitions.flatten!
      definitions = [:identity] if definitions.empty?
      duration = end_tick - start_tick
      elapsed = current_tick - start_tick
      y = elapsed.percentage_of duration
      definitions.each { |definition| y = exec_definition definition, start_tick, duration, y }
      y
    end

    def self.ease_spline start_tick, current_tick, duration, spline
      ease_spline_extended start_tick, current_tick, start_tick + duration, spline
    end

    # Each curve takes an equal share of the time. Not limited to 0..1: a tick before the
    # start gives a negative index (the whole part is taken downward, so the fraction stays
    # in 0...1), which counts from the end of the spline.
    def self.ease_spline_extended start_tick, current_tick, end_tick, spline
      return spline[-1][-1] if current_tick >= end_tick
      t = (current_tick - start_tick).to_f / (end_tick - start_tick)
      share = 1.0 / spline.length
      s = t / share
      index = s.floor
      ZOQ::Geometry.cubic_bezier s - index, *spline[index]
    end

    # The chain is flattened before its last definition is read.
    def self.initial_value *definitions
      exec_definition definitions.flatten.last || :identity, 0, 10, 0
    end

    def self.final_value *definitions
      exec_definition definitions.flatten.last || :identity, 0, 10, 1.0
    end

    def self.exec_definition definition, start_tick, duration, x
      if definition.is_a? Symbol
        result = __send__(definition, x)
        result.cap_min_max 0, 1
      elsif definition.is_a? Proc
        definition.call(x, start_tick, duration).cap_min_max 0, 1
      else
        raise "* ERROR:\nI don't know how to execute easing function with definition #{definition}.\n\n"
      end
    end

    def self.identity x
      x
    end

    def self.flip x
      1 - x
    end

    def self.quad x
      x * x
    end

    def self.cube x
      x * x * x
    end

    def self.quart x
      x * x * x * x * x
    end

    def self.quint x
      x * x * x * x * x * x
    end
  end
end
