# Removed Array methods: each raises with the replacement.
module ArrayDeprecated
  def any_intersects_rect? *args
    raise "* ERROR:\n~Array#any_intersects_rect?~ (with an \"s\") has been removed.\nUse ~Array#any_intersect_rect?~ instead (remove the \"s\").\n\n* NOTE:\nRuby's naming convention is to *never* include the \"s\" for\ninterrogative method names (methods that end with a ?). It\ndoesn't sound grammatically correct, but that has been the\nrule for a long time (and why intersects_rect? has been deprecated).\n"
  end
end

# Pairs, grids, random picks and a guarded + for Arrays.
class Array
  if ZOQ.const_defined?(:Primitive) && ZOQ::Primitive.const_defined?(:ConversionCapabilities)
    include ZOQ::Primitive::ConversionCapabilities
  end
  include ArrayDeprecated
  extend Docs
  extend ArrayDocs

  alias_method :__original_add__, :+ unless instance_methods(false).include?(:__original_add__)
  alias_method :__original_add_single__, :<< unless instance_methods(false).include?(:__original_add_single__)

  # The host registers a native form after the framework loads; this one serves until then.
  def value index
    self[index]
  end

  def self.reject_nil a
    a.reject { |e| e.nil? }
  end

  def self.reject_falsey a
    a.select { |e| e }
  end

  def reject_nil
    reject { |e| e.nil? }
  end

  def reject_falsey
    select { |e| e }
  end

  alias reject_false reject_falsey

  def product other_array = nil, &block
    other_array ||= self
    result = []
    each do |x|
      other_array.each do |y|
        result << (block ? block.call(x, y, self[-1], other_array[-1]) : [x, y])
      end
    end
    block ? result.flatten : result
  end

  def to_a_pairs
    each_slice(2).to_a
  end

  def pairs_to_hash
    Hash[self]
  end

  def map_2d &block
    result = []
    each_with_index do |row, row_index|
      row.each_with_index do |value, column_index|
        result << block.call(row_index, column_index, value)
      end
    end
    result
  end

  def any_intersect_rect? other, tolerance = 0.1
    any? { |e| e.intersect_rect?(other, tolerance) }
  end

  # The two end elements are half as likely as the others.
  def sample
    return nil if empty?
    self[(rand * (length - 1) + 0.5).to_i]
  end

  def rest
    self[1..-1]
  end

  def + other
    return __original_add__(other.to_a) if other.is_a?(Enumerable)
    raise_with_caller "* ERROR:\n#{other.class.to_s} doesn't look like an Array.\n\n#{other.to_s}\n\nAttempted to invoke :+ against something that doesn't look like an Array (it's a(n) #{other.class.to_s}). Did you mean to use << instead of :+? The :<< function adds a single item, while the :+ function adds multiple items and expects an Array.\n\n"
  end

  def include_any? *items
    items.any? { |item| include?(item) }
  end

  def map_with_index *opts, &block
    map.with_index(*opts, &block)
  end

  def serialize
    self
  end
end
