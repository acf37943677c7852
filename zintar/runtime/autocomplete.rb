module ZOQ
  class Runtime
    # Completion over a whole source text and a cursor index: after a period, the methods
    # of the well-known objects (or the keys of nested state); elsewhere, the words of the
    # text itself.
    module Autocomplete
      AUTOCOMPLETE_IGNORED = %w[def end entity_keys_by_ref entity_name as_hash clear! created_at_elapsed entity_id
                                entity_id= tick_count= global_created_at_elapsed load_entity_data! meta meta! new?
                                old? original_eq_eq set! update_entity_keys_by_ref with_meta].freeze

      def suggest_autocompletion opts = {}
        parsed = autocomplete_parse opts
        return [] unless parsed[:cursor_line]
        word = parsed[:word]
        return [] if word.start_with?("#")
        return autocomplete_after_dot(parsed) if word.end_with?(".")
        text = parsed[:text].gsub("[", " ").gsub("]", " ").gsub("(", " ").gsub(")", " ")
                            .gsub(":", "").gsub(".", " ").gsub("=", " ")
        autocomplete_filter_methods text.split, "zoq", "false", "true", "args", "suppress_mailbox", "end"
      end

      def autocomplete_parse opts = {}
        file = opts[:file]
        text = opts[:text]
        text = read_file(file) if text.nil? && file
        text = text.to_s
        index = opts[:index].to_i
        lines = []
        sum = 0
        text.each_line do |line|
          sum += line.length
          lines << [line, sum]
        end
        cursor = nil
        previous_sum = 0
        previous_line = nil
        lines.each_with_index do |(line, running), i|
          next unless running >= index
          cursor = line
          if i > 0
            previous_line = lines[i - 1][0]
            previous_sum = lines[i - 1][1]
          end
          break
        end
        column = index - previous_sum
        word = cursor ? cursor[0, column].to_s.strip : ""
        token = word.split(" ")[-1] || ""
        dots = token.split(".")
        { text: text, file: file, index: index, cursor_line: cursor, previous_line: previous_line, word: word,
          token: token, dots: dots, dot: dots[-1] }
      end

      def autocomplete_filter_methods keys, *ignores
        names = []
        keys.each do |key|
          name = key.to_s
          next if AUTOCOMPLETE_IGNORED.include?(name) || ignores.include?(name)
          next if name.to_i.to_s == name
          names << name unless names.include?(name)
        end
        names
      end

      private

      def autocomplete_after_dot parsed
        target = case parsed[:dot]
                 when "args" then $zoq.args
                 when "inputs" then args.inputs
                 when "outputs" then args.outputs
                 when "layout" then args.layout
                 when "keyboard" then args.keyboard
                 when "key_down" then args.keyboard.key_down
                 when "key_up" then args.keyboard.key_up
                 when "state" then args.state
                 when "$zoq" then self
                 end
        return autocomplete_filter_methods(target.autocomplete_methods) if target
        autocomplete_state_keys parsed[:dots]
      rescue Exception
        []
      end

      # State properties are Symbol keys of each entity's hash; a step that leads nowhere
      # answers nothing.
      def autocomplete_state_keys dots
        current = args.state
        at = dots.index("state")
        return [] unless at
        dots[(at + 1)..-1].each do |part|
          return [] unless current.respond_to?(:as_hash)
          current = current.as_hash[part.to_sym]
        end
        return [] unless current.respond_to?(:as_hash)
        # Keys in underscores are the entity's own bookkeeping, not the game's.
        autocomplete_filter_methods(current.as_hash.keys.reject { |key| key.to_s.start_with?("__") })
      end
    end
  end
end
