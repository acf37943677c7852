module ZOQ
  # First version of the assertions a test receives, until the test tools arrive.
  unless ZOQ.const_defined?(:Assert)
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
        raise "actual:\n#{actual}\n\ndid not equal\n\nexpected:\n#{expected}.\n#{message}" if actual != expected
        nil
      end

      def nil! value, message = nil
        @assertion_performed = true
        raise "#{value} was supposed to be nil, but wasn't.\n#{message}" unless value.nil?
        nil
      end
    end
  end

  # Runs the game's top-level test_ methods with a fresh args and assert each.
  #
  # First version: finding, running and sorting the tests with a plain summary.
  class Tests
    attr_accessor :passed, :inconclusive, :failed

    def initialize
      @passed = []
      @inconclusive = []
      @failed = []
      @running = false
    end

    def running?
      @running
    end

    def test_methods
      top_level_methods_starting_with "test_"
    end

    def test_methods_focused
      top_level_methods_starting_with "focus_test_"
    end

    # The game's top-level methods are methods of Object, so Object itself answers them.
    def top_level_methods_starting_with prefix
      Object.methods.select { |m| m.to_s.start_with?(prefix) }
    end

    def start
      log "* TEST: zoq.test.start has been invoked."
      names = test_methods_focused
      names = test_methods if names.empty?
      if names.empty?
        log "No tests were found. To create a test. Define a method\nthat begins with test_. For example:\n#+begin_src\ndef test_game_over args, assert\n\nend\n#+end_src\n"
        return nil
      end
      @running = true
      names.each { |m| run_test m }
      print_summary
    ensure
      @running = false
    end

    def run_test m
      args = ZOQ::Args.new($zoq, nil)
      assert = ZOQ::Assert.new
      log "** Running: #{m}"
      begin
        send m, args, assert
        if assert.assertion_performed
          @passed << { m: m }
          log "Passed."
        else
          @inconclusive << { m: m }
          log "Inconclusive."
        end
      rescue Exception => e
        if e.message.include?(m.to_s) && e.message.include?("wrong number of arguments")
          log "I found a test method called :#{m}. But it needs to have\nthe following method signature:\n#+begin_src\ndef #{m} args, assert\n\nend\n#+end_src\n"
        else
          @failed << { m: m, e: e }
          log "Failed."
        end
      end
    end

    def print_summary
      log "** Summary"
      log "*** Passed"
      log "#{@passed.length} test(s) passed."
      @passed.each { |h| log "**** :#{h[:m]}" }
      log "*** Inconclusive"
      log "#{@inconclusive.length} test(s) inconclusive."
      @inconclusive.each { |h| log "**** :#{h[:m]}" }
      log "*** Failed"
      log "#{@failed.length} test(s) failed."
      @failed.each { |h| log "**** Test name: :#{h[:m]}\n#{h[:e].message.gsub('* ERROR:', '').strip}" }
      nil
    end
  end
end
