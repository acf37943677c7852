# A few String methods, answered through the Symbol's text.
class Symbol
  include ValueType

  def include? v
    to_s.include? v
  end

  def start_with? value
    to_s.start_with? value
  end

  def gsub *args
    to_s.gsub(*args)
  end

  def end_with_bang?
    to_s.end_with_bang?
  end

  def without_ending_bang
    to_s.without_ending_bang.to_sym
  end
end
