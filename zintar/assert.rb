module ZOQ
  # The assertions a test receives. Each marks that an assertion was made; a failed one
  # raises with the text it was given.
  class Assert
    attr_accessor :assertion_performed

    def ok!
      @assertion_performed = true
      nil
    end

    def true! value, message = nil
      @assertion_performed = true
      raise "#{value} was not truthy.\n#{message}" unless value
      nil
    end

    def false! value, message = nil
      @assertion_performed = true
      raise "#{value} was not falsey.\n#{message}" if value
      nil
    end

    def equal! actual, expected, message = nil
      @assertion_performed = true
      if actual != expected
        actual_string = "#{actual}#{actual.nil? ? " (nil) " : ""}".strip
        raise "actual:\n#{actual_string}\n\ndid not equal\n\nexpected:\n#{expected}.\n#{message}"
      end
      nil
    end

    def nil! value, message = nil
      @assertion_performed = true
      raise "#{value} was supposed to be nil, but wasn't.\n#{message}" unless value.nil?
      nil
    end
  end
end
