module ZOQ
  # Mixin for game classes: the instance variables as a Hash, so that the object can be
  # saved with the game state and shown readably.
  module Serialize
    def serialize
      result = {}
      instance_variables.each do |name|
        value = instance_variable_get name
        next unless value
        key = name.to_s.delete("@").delete("=").to_sym
        result[key] = if value.is_a? ValueType
                        value
                      elsif value.is_a? Enumerable
                        value.to_a
                      else
                        value.serialize
                      end
      end
      result
    end

    def inspect
      serialize.to_s
    end
  end

  # Objects with a serialize of their own that show as it, for p and the console.
  module SerializedText
    def inspect
      serialize.to_s
    end

    def to_s
      serialize.to_s
    end
  end
end
