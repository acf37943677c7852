# Stands for nil in undefined-method errors of a nil whose coercion was removed.
class NIL; end

# Calls on a nil that the state coerced: these make an entity (or an Array) on demand.
ARRAY_WHITELIST = [:map, :flat_map, :map_with_index] unless Object.const_defined?(:ARRAY_WHITELIST)

# nil and false as forgiving operands, and the coercion that lets a read of a missing
# property of args.state be followed by further reads and a first assignment.
module NilClassFalseClass
  def + other
    __check_thrash__!(:+)
    return other if other.is_a?(Integer) || other.is_a?(Array) || other.is_a?(String)
    return nil if !other
    raise "* ERROR:\n:+ not handled for NilClassFalseClass and #{other.class.to_s}.\n\n"
  end

  def > other
    __check_thrash__!(:>)
    nil
  end

  def >= other
    __check_thrash__!(:>=)
    nil
  end

  def < other
    __check_thrash__!(:<)
    nil
  end

  def <= other
    __check_thrash__!(:<=)
    nil
  end

  def frame_index *args
    nil
  end

  def serialize
    nil
  end

  def to_hash
    nil
  end

  def merge *args
    nil
  end

  def feels_like_an_array? name
    ARRAY_WHITELIST.include? name
  end

  def __check_thrash__! m
    nil
  end

  # Binds the coercion of every nil (or every false) to one property: hash[name]. Once the
  # property holds a value the coercion is stale: it is removed at the next call on a nil,
  # which then gets the ordinary undefined-method error rather than the property's value.
  def assign_method_missing hash, name, thrash_counter
    owner = singleton_class
    owner.__send__(:define_method, :__check_thrash__!) do |m|
      next unassign_method_missing if hash[name]
      thrash_counter[m] ||= 0
      thrash_counter[m] += 1 unless m == :[] || m == :[]=
      count = thrash_counter[m]
      if count == 3
        log "* WARNING: Method invocation on a nil value detected.\nThe method #{m} was invoked on #{name} within args.state, but #{name} has a\nvalue of nil (the invocation of #{m} was suppressed). Consider setting\na default value for #{name} to avoid null reference exceptions later on.\"\n\n"
      end
      if count > 5
        unassign_method_missing_and_raise "* ERROR:\nThe method #{m} was invoked on #{name} within args.state, but #{name} has\na value of nil. The temporary coersion of this nil value, has reached it's\ninvocation limit.\n\nHere are the details:\n\n#{hash}\n\nmember: [#{m}]\nattribute: [#{name}].\n\nSet a default value for this property.\n\n"
      end
      nil
    end
    owner.__send__(:define_method, :method_missing) do |m, *args|
      if hash[name]
        unassign_method_missing
        next NIL.method_missing(m, *args)
      end
      if args.length >= 2
        unassign_method_missing_and_raise "* ERROR:\nUndefined method for #{self.class.to_s}. Method: #{m}.\n\n"
      end
      __check_thrash__!(m)
      if ARRAY_WHITELIST.include?(m)
        []
      elsif m == :<< && args[0].is_a?(Array)
        hash[name] = []
        hash[name].__send__(m, *args)
      elsif m == :set!
        hash[name] = ZOQ::OpenEntity.new
        hash[name].__send__(m, *args)
      elsif name.to_s == m.to_s.delete("=")
        hash[name] = args[0]
      else
        hash[name] = ZOQ::OpenEntity.new(name) unless hash[name]
        hash[name].__send__(m, *args)
      end
    end
    nil
  end

  # Every further call of a missing method on nil (or false) raises the framework's
  # undefined-method error again, and nothing is counted any more.
  def unassign_method_missing
    owner = singleton_class
    owner.__send__(:define_method, :__check_thrash__!) { |m| nil }
    owner.__send__(:define_method, :method_missing) { |m, *args| NIL.method_missing(m, *args) }
    nil
  end

  # A coercion writes into the state it was read from: once that state is replaced, nil and
  # false would go on answering every call for a state nobody reads.
  def self.release!
    return nil if $disable_nil_coersion
    nil.unassign_method_missing
    false.unassign_method_missing
  end

  def unassign_method_missing_and_raise error
    unassign_method_missing
    raise error
  end
end

class NilClass
  include NilClassFalseClass
end

class FalseClass
  include ValueType
  include NilClassFalseClass
end

class TrueClass
  include ValueType
end
