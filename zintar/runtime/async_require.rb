module ZOQ
  class Runtime
    # First version of the load queue shared with the host: paths are queued, handed over
    # as the queue Array itself, and marked completed after the step that loaded them.
    module AsyncRequire
      def async_require_init
        @reload_list = []
        @reload_list_history = {}
        @load_status = :zintarel_started
      end

      def mark_ruby_file_for_reload path
        @reload_list << path
        @reload_list.uniq!
        @reload_list_history[path] = { current: { path: path, event: :reload_queued } }
        nil
      end

      def get_ruby_reload_list
        return [] if @reload_list.empty?
        @reload_list.each do |path|
          (@reload_list_history[path] ||= {})[:current] = { path: path, event: :processing }
        end
        @is_reloading = true
        @reload_list
      end

      def reload_complete
        return unless @is_reloading
        @is_reloading = false
        @reload_list_history.each do |path, record|
          record[:current] = { path: path, event: :reload_completed } if record[:current][:event] == :processing
        end
        process_load_status
      end

      def process_load_status
        return if @load_status == :ready
        main = @reload_list_history["app/main.rb"]
        return unless main && main[:current][:event] == :reload_completed
        @load_status = :ready
        Kernel.tick_count = -1
        Kernel.global_tick_count = -1
      end

      def load_status
        @load_status
      end
    end
  end
end
