module ZOQ
  class Runtime
    # Saving args.state to "game_state.txt" (and time-stamped copies) and reading it back.
    module StateSaving
      # How many values without a literal form an error names before it only counts the rest.
      UNSAVABLE_NAMED_MAX = 20

      def serialize_state *opts
        if opts[0].is_a?(String)
          file = opts[0]
          state = opts[1]
        else
          state = opts[0]
        end
        result = state.to_s
        unless file
          log_important ZOQ::Help.serialization_too_large if result.length > 20000
          return result
        end
        # A text that would not load back never replaces a save that would.
        return __refuse_state__(state, result, [file]) unless __state_text_loads__?(result)
        __write_state_text__(file, result) ? result : false
      end

      def save_state
        state = args.state
        text = state.to_s
        files = ["game_state_#{Time.now.to_i}.txt", "game_state.txt"]
        return __refuse_state__(state, text, files) unless __state_text_loads__?(text)
        copy = __write_state_text__ files[0], text
        latest = __write_state_text__ files[1], text
        copy && latest ? text : false
      end

      # The file writer's answer; true when the text was written whole.
      def __write_state_text__ file, text
        saved = write_file file, text
        if saved
          log_info "State with length of #{text.length} saved to file #{file}."
        else
          log_error "State with length of #{text.length} could not be saved to file #{file} (a full disk, or a path outside the game folder). The file is as it was."
        end
        log_important ZOQ::Help.serialization_too_large if text.length > 20000
        saved
      end

      # Whether deserialize_state could read the text back: the very text it evaluates, checked
      # by the parser alone (nothing is compiled or run).
      def __state_text_loads__? text
        @ffi_mrb.parse("$load_data = #{text}") == "Syntax OK"
      end

      # Says why the state was not written, naming the values whose text is no Ruby literal,
      # and answers false as a failed write does.
      def __refuse_state__ state, text, files
        unsavable = __unsavable_values__ state
        named = unsavable.first(UNSAVABLE_NAMED_MAX).join(", ")
        named += " and #{unsavable.length - UNSAVABLE_NAMED_MAX} more" if unsavable.length > UNSAVABLE_NAMED_MAX
        why = if unsavable.empty?
                "Its text does not read back as Ruby:\n#{@ffi_mrb.parse("$load_data = #{text}").strip}"
              else
                "These values have no literal form and would not load back: #{named}.\n" \
                "Keep numbers, strings, symbols, arrays, hashes and entities in the state, or give the class a serialize method (include ZOQ::Serialize)."
              end
        were = files.length == 1 ? "The file is as it was." : "The files are as they were."
        log_error "The state could not be saved to #{files.join(" and ")}.", "#{why}\n#{were}"
        false
      end

      # "path (Class)" for each value of the state written by its inspect text (neither a
      # literal nor an entity, Hash, Array or ZOQ::Serialize) when that text is no expression.
      # Walked with a work list, as the save text is: a state may nest deeper than calls may.
      def __unsavable_values__ state
        found = []
        seen = {}
        stack = [state, nil]
        until stack.empty?
          path = stack.pop
          value = stack.pop
          next if __scalar_state_value__? value
          if value.is_a?(Hash) || value.is_a?(Array) || value.is_a?(ZOQ::OpenEntity) || value.is_a?(ZOQ::StrictEntity)
            next if seen[value.object_id]
            seen[value.object_id] = true
            __push_state_children__ stack, value, path, found
          elsif value.is_a? ZOQ::Serialize
            stack << value.serialize << path
          elsif !__literal_text__?(value.inspect.to_s)
            found << "#{path || "the state"} (#{__class_name__ value})"
          end
        end
        found
      end

      # Pushed last first, so that values are named in the order of the text.
      def __push_state_children__ stack, value, path, found
        if value.is_a? Array
          i = value.length - 1
          while i >= 0
            stack << value[i] << "#{path}[#{i}]"
            i -= 1
          end
          return
        end
        hash = if value.is_a? ZOQ::OpenEntity
                 value.__entity_hash__
               elsif value.is_a? ZOQ::StrictEntity
                 value.to_hash
               else
                 value
               end
        pairs = hash.to_a
        i = pairs.length - 1
        while i >= 0
          key = pairs[i][0]
          stack << pairs[i][1] << __state_path__(path, key)
          unless __scalar_state_value__?(key) || key.is_a?(Hash) || key.is_a?(Array) || __literal_text__?(key.inspect.to_s)
            found << "a key of #{path || "the state"} (#{__class_name__ key})"
          end
          i -= 1
        end
      end

      # The values the save text writes as literals of their own.
      def __scalar_state_value__? value
        value.nil? || true == value || false == value || value.is_a?(Integer) || value.is_a?(Float) ||
          value.is_a?(String) || value.is_a?(Symbol)
      end

      def __class_name__ value
        value.class.name || value.class.inspect
      end

      def __state_path__ path, key
        if key.is_a? Symbol
          path ? "#{path}.#{key}" : key.to_s
        else
          "#{path}[#{key.inspect}]"
        end
      end

      # Closed by a bracket on the same line, as inside the save text, so that "#<Ship...>"
      # reads as the comment it is.
      def __literal_text__? text
        @ffi_mrb.parse("[#{text}]") == "Syntax OK"
      end

      def deserialize_state *arguments
        source = arguments[0]
        text = source.to_s
        data = nil
        if text.start_with?("{") || text.start_with?("[")
          data = text
        else
          data = read_file text
          if data.nil? || data.strip.empty?
            stripped = text.strip
            data = nil
            unless stripped.end_with?(".txt") || stripped.end_with?(".dat") || stripped.end_with?(".rb")
              data = text
            end
          end
        end
        return nil unless data
        begin
          $load_data = nil
          @ffi_mrb.eval "$load_data = #{data}"
          state = ZOQ::OpenEntity.parse_serialization_data($load_data)
          if $load_data.is_a?(Hash) && $load_data[:tick_count]
            Kernel.tick_count = $load_data[:tick_count]
          end
          state
        rescue Exception => e
          raise "Failed to eval: #{data}. #{e}.\nSerialization data may be corrupt."
        end
      end

      def load_state
        state = deserialize_state "game_state.txt"
        if state.nil?
          log_info "No saved state was found in game_state.txt. The current state was kept."
          return args.state
        end
        args.state = state
      end
    end
  end
end
