module ZOQ
  class Runtime
    # Completion over a whole source text and a cursor index.
    #
    # First version: the word before the cursor is completed from the identifiers of the
    # text and, after a period, from the methods of the well-known objects of args.
    module Autocomplete
      WORD_BOUNDARIES = (" \t\n" + '()[]{},;:=+-*/<>!?|&"`~@#$%^' + "'").freeze

      def suggest_autocompletion opts = {}
        parsed = autocomplete_parse opts
        word = parsed[:word]
        keys = if parsed[:dot]
                 receiver = autocomplete_receiver(parsed[:token])
                 receiver ? receiver.methods : []
               else
                 autocomplete_words(parsed[:text])
               end
        autocomplete_filter_methods(keys).select { |name| name.start_with?(word) && name != word }
      end

      def autocomplete_parse opts = {}
        file = opts[:file]
        text = opts[:text] || (file ? read_file(file) : nil) || ""
        index = (opts[:index] || text.length).to_i
        index = text.length if index > text.length
        before = text[0, index]
        lines = before.split("\n", -1)
        cursor_line = lines[-1] || ""
        previous_line = lines.length > 1 ? lines[-2] : nil
        start = cursor_line.length
        start -= 1 while start > 0 && !WORD_BOUNDARIES.include?(cursor_line[start - 1]) && cursor_line[start - 1] != "."
        word = cursor_line[start..-1] || ""
        dot = start > 0 && cursor_line[start - 1] == "."
        token_start = start
        token_start -= 1 while token_start > 0 && !WORD_BOUNDARIES.include?(cursor_line[token_start - 1])
        token = dot ? cursor_line[token_start...(start - 1)] : word
        { text: text, file: file, index: index, cursor_line: cursor_line, previous_line: previous_line,
          word: word, token: token, dots: token.to_s.split("."), dot: dot }
      end

      def autocomplete_filter_methods keys, *ignores
        names = keys.map { |key| key.to_s }
        names.reject { |name| name.start_with?("__") || ignores.include?(name) }.uniq.sort
      end

      def autocomplete_receiver token
        parts = token.to_s.split(".")
        return nil if parts.empty?
        root = case parts[0]
               when "args" then args
               when "$zoq", "$runtime" then self
               when "$args" then args
               when "$state", "state" then args.state
               when "inputs" then args.inputs
               when "outputs" then args.outputs
               else return nil
               end
        parts[1..-1].each do |part|
          return nil unless root.respond_to?(part.to_sym)
          root = root.send(part.to_sym)
        end
        root
      rescue Exception
        nil
      end

      def autocomplete_words text
        words = []
        current = ""
        text.each_char do |c|
          if WORD_BOUNDARIES.include?(c) || c == "."
            words << current unless current.empty?
            current = ""
          else
            current += c
          end
        end
        words << current unless current.empty?
        words
      end
    end
  end
end
