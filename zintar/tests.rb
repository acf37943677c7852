module ZOQ
  # Runs the game's top-level test_ methods (only the focus_test_ ones when there are any),
  # each with a fresh args and assert, and sorts them into passed, inconclusive (no
  # assertion made), failed and invalid (not taking args and assert).
  class Tests
    attr_accessor :passed, :inconclusive, :failed, :invalid
    attr_reader :runs

    def initialize
      @passed = []
      @inconclusive = []
      @failed = []
      @invalid = []
      @running = false
      @runs = 0
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

    # Each run reports its own tests only.
    def start
      say "* TEST: zoq.test.start has been invoked."
      @passed = []
      @inconclusive = []
      @failed = []
      @invalid = []
      @runs += 1
      names = test_methods_focused
      names = test_methods if names.empty?
      if names.empty?
        log_no_tests_found
        return nil
      end
      @running = true
      # An exit inside a test ends the run: the tests after it do not run, the summary is
      # still given, then the exit goes on its way.
      begin
        names.each { |m| run_test m }
      rescue ZOQ::ExitRequest => e
        exit_request = e
      end
      print_summary
      raise exit_request if exit_request
      nil
    ensure
      @running = false
    end

    # Whether the last run ran at least one test and none failed or was invalid.
    def all_passed?
      ran = @passed.length + @inconclusive.length + @failed.length + @invalid.length
      @runs > 0 && ran > 0 && @failed.empty? && @invalid.empty?
    end

    def run_test m
      log_test_running m
      unless test_signature_valid? m
        log_test_signature_incorrect m
        return nil
      end
      assert = nil
      begin
        args = ZOQ::Args.new($zoq, nil)
        assert = ZOQ::Assert.new
        send m, args, assert
      rescue ZOQ::ExitRequest => e
        mark_test_failed m, RuntimeError.new("#{e.message} was called in this test: the tests after it did not run.")
        raise e
      rescue Exception => e
        if test_signature_invalid_exception? e, m
          log_test_signature_incorrect m
        else
          mark_test_failed m, e
        end
        return nil
      end
      assert.assertion_performed ? log_passed(m) : log_inconclusive(m)
    end

    # Arguments are checked before the call: this interpreter's ArgumentError does not name
    # the method, so the failure could not be told from one raised inside the test.
    def test_signature_valid? m
      arity = method(m).arity
      arity == 2 || (arity < 0 && -arity - 1 <= 2)
    rescue Exception
      true
    end

    def test_signature_invalid_exception? e, m
      text = e.__report_message__
      text.include?(m.to_s) && text.include?("wrong number of arguments")
    rescue Exception
      false
    end

    def mark_test_failed m, e
      @failed << { m: m, e: e }
      say "Failed."
    end

    def log_passed m
      @passed << { m: m }
      say "Passed."
    end

    def log_inconclusive m
      @inconclusive << { m: m }
      say "Inconclusive."
    end

    def log_test_running m
      say "** Running: #{m}"
    end

    def log_no_tests_found
      say "No tests were found. To create a test. Define a method\nthat begins with test_. For example:\n#+begin_src\ndef test_game_over args, assert\n\nend\n#+end_src\n"
    end

    def log_test_signature_incorrect m
      @invalid << { m: m }
      say "TEST METHOD INVALID:", "I found a test method called :#{m}. But it needs to have\nthe following method signature:\n#+begin_src\ndef #{m} args, assert\n\nend\n#+end_src\nPlease update the method signature to match the code above. If you\ndid not intend this to be a test method. Rename the method so it does\nnot start with \"test_\".\n"
    end

    def print_summary
      say "** Summary"
      say "*** Passed"
      say "#{passed.length} test(s) passed."
      passed.each { |h| say "**** :#{h[:m]}" }
      say "*** Inconclusive"
      unless inconclusive.empty?
        if production?
          say "NOTE FOR INCONCLUSIVE TESTS: No assertion was performed in the test.\nAdd assert.ok! at the end of the test if you are using your own assertions.\n"
        else
          log_once :assertion_ok_note, "NOTE FOR INCONCLUSIVE TESTS: No assertion was performed in the test.\nAdd assert.ok! at the end of the test if you are using your own assertions.\n"
        end
      end
      say "#{inconclusive.length} test(s) inconclusive."
      inconclusive.each { |h| say "**** :#{h[:m]}" }
      unless invalid.empty?
        say "*** Invalid"
        say "#{invalid.length} test(s) invalid."
        invalid.each { |h| say "**** :#{h[:m]}" }
      end
      say "*** Failed"
      say "#{failed.length} test(s) failed."
      failed.each do |h|
        say "**** Test name: :#{h[:m]}"
        say h[:e].__report_message__.gsub("* ERROR:", "").strip
      end
      nil
    end

    def production?
      runtime = $zoq
      runtime && runtime.production ? true : false
    end

    # Through the log (its file, the console and standard output); in production, where the
    # log writes nothing, straight to standard output, so a test run is never silent.
    def say *args
      if production?
        original_puts args[-1]
      else
        log(*args)
      end
    end
  end
end
