module ZOQ
  class Runtime
    # Saving args.state to "game_state.txt" (and time-stamped copies) and reading it back.
    module StateSaving
      def serialize_state *opts
        if opts[0].is_a?(String)
          file = opts[0]
          state = opts[1]
        else
          state = opts[0]
        end
        result = state.to_s
        saved = true
        if file
          saved = write_file file, result
          if saved
            log_info "State with length of #{result.length} saved to file #{file}."
          else
            log_error "State with length of #{result.length} could not be saved to file #{file} (a full disk, or a path outside the game folder). The file is as it was."
          end
        end
        log_important ZOQ::Help.serialization_too_large if result.length > 20000
        # A file writer's answer for a write that failed.
        saved ? result : false
      end

      def save_state
        copy = serialize_state "game_state_#{Time.now.to_i}.txt", args.state
        latest = serialize_state "game_state.txt", args.state
        copy && latest
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
