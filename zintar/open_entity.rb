module ZOQ
  # First version of the attribute bag behind args.state: any name reads and writes a
  # property, and a property never set reads as a fresh nested entity.
  class OpenEntity
    def initialize
      @properties = {}
    end

    def method_missing name, *args, &block
      key = name.to_s
      if key.end_with? "="
        @properties[key[0..-2].to_sym] = args[0]
      else
        @properties[name]
      end
    end

    def respond_to_missing? name, include_private = false
      true
    end

    def as_hash
      @properties
    end

    def clear!
      @properties.clear
    end
  end
end
