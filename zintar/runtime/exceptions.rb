module ZOQ
  class Runtime
    # Exception reports for the game's author: the text written to "exceptions/", the state
    # saved beside it, and the source search that suggests what was meant.
    module ExceptionReports
      def export! with_comments = nil, file_name_override = nil
        text = ""
        if with_comments
          text += with_comments.to_s.split("\n").map { |line| "# " + line.strip }.join("\n") + "\n\n"
        end
        text += "Game State:\n"
        text += args.serialize.to_s
        file_name = file_name_override || "exceptions/game_state_#{report_tick_count}.txt"
        written = [@ffi_file.write_root("exceptions/current.txt", text), @ffi_file.write_root(file_name, text)]
        unless written.all?
          log "* ERROR:\nThe exception report could not be written to exceptions/current.txt and #{file_name} (is the disk full?).\n"
        end
        file_name
      rescue Exception => e
        comments = with_comments ? with_comments : "(none)"
        log "* ERROR:\nExporting the game state failed:\n\nExport exception: #{e.__report_message__}.\n\nOriginal comments: #{comments}.\n\nIf the export exception above looks confusing, you should let Zintarel know about this error.\n\n"
      end

      def pretty_print_exception_and_export! e
        text = __pretty_print_exception__ e, nil
        export! text
        @exception_occured = true
        reason = @is_reloading ? :exception_on_load : :exception
        show_console reason
        unless @console.command_set_at == Kernel.global_tick_count
          # Setting the command shows the console again: keep the reason it was shown for.
          @console.set_command "$zoq.reset seed: #{seed}", reason
          marker = "** docs: "
          at = text.index(marker)
          if at
            rest = text[(at + marker.length)..-1].to_s.split("\n")[0].to_s.strip
            # The docs call replaces the reset command set a moment ago, in the same tick.
            @console.set_command_extended command: rest, show_reason: reason, force: true unless rest.empty?
          end
        end
        text
      end

      def __exception_seems_vague__? message
        message = message.to_s
        return false if message.include? ".rb does not exist."
        message.gsub("* EXCEPTION:\n", "").strip.split("\n").length == 1
      end

      # Nothing in here may raise: a failing report must still pause the game, or every
      # later step would run the failing tick again.
      def handle_step_exception e
        begin
          if __exception_seems_vague__? e.__report_message__
            log_once :trace_tip, "* INFO: Try using ~trace!~\nIf the exception isn't helpful, try putting ~trace!~ near where you think the error occurred.\n"
          end
          local_file_name = "exceptions/game_state_#{report_tick_count}.txt"
          log_info "Game state and exception will be written to #{local_file_name} and exceptions/current.txt."
          pretty_print_exception_and_export! e
        rescue Exception => failure
          begin
            original_puts "* EXCEPTION: #{e.__report_message__}\n* ERROR: Reporting the exception failed: #{failure.__report_message__}"
          rescue Exception
          end
        end
        pause!
      end

      def raise_conversion_for_rendering_failed p, e, name = nil
        raise e, "* ERROR:\nFailed to convert #{p} for rendering (#{name}).\n\nA primitive must respond to :primitive_marker, and then subsequently\nrespond to ALL the methods required for that specific marker:\n\n#{ZOQ::Help.primitive_contract(name)}\n#{e}\n"
      end

      def grep_did_you_mean instance, method
        found = grep_did_you_mean_recommendations instance, method
        return "" if found.empty?
        ("Here's a list of methods that kind of look like :#{method}.\n" +
         found.map { |name| ":#{name}" }.join(", ") + "\n").strip
      end

      def grep_did_you_mean_recommendations instance, method
        names = instance.methods.map { |m| m.to_s }
        whole = did_you_mean_for(names, method.to_s).sort
        parts = method.to_s.split("_").map { |part| did_you_mean_for(names, part) }.sort
        (whole + parts).flatten.uniq
      end

      def did_you_mean_for names, word
        while word.length > 3
          found = names.select { |name| name.start_with? word }
          return found.sort unless found.empty?
          word = word[0..-2]
        end
        []
      end

      def ignore_search_term? word
        word = word.to_s
        word.length < 3 || word.gsub(".", "") == "state"
      end

      def grep_source *strings_with_recommendations
        if strings_with_recommendations.empty?
          return "No search parameters were provided. The request to search came from #{self.class} with value #{self}."
        end
        files = ["app/main.rb", "app/tests.rb", "app/test.rb"] + @required_files
        lines = []
        files.uniq.each do |file|
          lines.concat grep_source_file(file, *strings_with_recommendations)
        end
        text = "Here is a search of the source code:\n\n" + lines.join("\n") + "\n\n"
        unless @help_message_already_displayed
          @help_message_already_displayed = true
          text += "** Searching again\nPut the following into repl.rb (beside app/main.rb) to search again:\n" \
                  "#+begin_src\n  puts $zoq.grep_source [\"WORD\", \"RECOMMENDATION\"]\n#+end_src\n" \
                  "Open the Console with one of these keys to see the result: ` ~ ² ^ º §\n"
        end
        text
      end

      def grep_source_file file, *strings_with_recommendations
        source = @ffi_file.read(file.to_s)
        return [] unless source
        results = []
        source.split("\n").each_with_index do |line, index|
          folded = line
          folded = folded.gsub("  ", " ") while folded.include?("  ")
          strings_with_recommendations.each do |pair|
            word, recommendation = pair.is_a?(Array) ? pair : [pair, nil]
            next if word.nil? || ignore_search_term?(word)
            next unless folded.include? word.to_s
            number = index + 1
            results << "#{file}, line #{number}: #{line.strip}"
            if recommendation && !recommendation.to_s.empty?
              results << "  recommendation: #{recommendation} (#{word}, #{number})"
            end
          end
        end
        results
      end
    end
  end
end
