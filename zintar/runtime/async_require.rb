module ZOQ
  class Runtime
    # The load queue shared with the host. Ruby only marks paths; the host loads them at the
    # start of its next step from the very Array handed over here, so paths queued while it
    # loads (a require inside a loaded file) load in the same pass. Every path keeps a
    # history of its events, and the load status gates the game's tick.
    module AsyncRequire
      def async_require_init
        @reload_list = []
        @reload_list_history = {}
        @is_reloading = nil
        @exception_occured = nil
        @load_status = :zintarel_started
      end

      def require file
        raise "#{file} does not exist." unless read_file(file)
        # The poll starts from the time the file had when required, so an unchanged file
        # is not loaded a second time.
        init_mtimes file
        mark_ruby_file_for_reload file
        @required_files << file unless @required_files.include?(file)
        @required_files
      end

      def mark_ruby_file_for_reload path
        record = (@reload_list_history[path] ||= { current: {}, history: [] })
        record[:current] ||= {}
        record[:history] ||= []
        return nil unless queue_takes?(path)
        change_reload_event path, :reload_queued
        log "** INFO: =#{path}= queued to load via ~require~. (#{Kernel.global_tick_count}, #{Kernel.tick_count})"
        # In place: the host may be holding this Array right now.
        @reload_list << path
        @reload_list.uniq!
        true
      rescue Exception => e
        raise "* EXCEPTION: ~Runtime#mark_ruby_file_for_reload~ failed for =#{path}=.\n#{e}"
      end

      # Whether a path may be queued now: not within 50 global ticks of its last event, nor,
      # once it has one, while the first 60 global ticks run. A file whose load raised waits
      # only for its next save, however soon that comes (while the game is not ready the
      # global tick count does not move at all).
      def queue_takes? path
        record = @reload_list_history[path]
        current = record && record[:current]
        return true if current.nil? || current[:event] == :reload_failed
        now = Kernel.global_tick_count
        last = record[:history] && record[:history][-1]
        return false if last && last[:global_at] + 50 > now
        !(current[:event] && now < 60)
      end

      def change_reload_event path, event
        record = (@reload_list_history[path] ||= {})
        entry = { path: path, global_at: Kernel.global_tick_count, event: event }
        record[:current] = entry
        (record[:history] ||= []) << entry.dup
        entry
      end

      # The host ran a queued file and it raised (or did not compile): reported as an
      # exception in the game's tick is (report file, console, pause), and the file is not
      # counted as loaded, so a game whose main.rb raised does not start, and the pause
      # lasts until a load succeeds. An exit there is the run ending, not a failure.
      # Answers true once reported.
      def load_failed path, exception
        return nil if exception.is_a?(ZOQ::ExitRequest)
        path = path.to_s
        note_load_failure path, exception
        change_reload_event path, :reload_failed
        handle_step_exception exception
        true
      end

      # Kept for --test, which runs no tests against a game that did not load; a failing
      # --eval under --no-tick fails the run.
      def note_load_failure path, exception
        # Each file's latest failure: a long session saved broken many times keeps one each.
        (@load_failures ||= {})[path] = exception
        if @no_tick && path == @eval_path
          log_error "#{path} could not be run: #{exception.__report_message__.strip}"
          @exit_code = 1 if (@exit_code || 0) == 0
        end
        nil
      end

      def get_ruby_reload_list
        return [] if @reload_list.empty?
        @reload_list.each { |path| change_reload_event path, :processing }
        @exception_occured = nil
        @is_reloading = true
        @reload_list
      end

      def reload_complete
        return nil unless @is_reloading
        @is_reloading = false
        unless @exception_occured
          unpause!
          @console.hide if @console.show_reason == :exception
        end
        @reload_list_history.each do |path, record|
          event = record[:current] && record[:current][:event]
          next unless event == :processing || event == :reload_queued
          log "* INFO: =#{path}= reloaded. (#{Kernel.global_tick_count}, #{Kernel.tick_count})"
          change_reload_event path, :reload_completed
        end
        process_load_status
      end

      def most_recent_reload_history path
        record = @reload_list_history[path]
        record && record[:history] ? record[:history][-1] : nil
      end

      def pending_reload?
        @reload_list_history.any? do |path, record|
          event = record[:current] && record[:current][:event]
          event == :reload_queued || event == :processing
        end
      end

      def load_status
        @load_status
      end

      def process_load_status
        return nil if @load_status == :ready || pending_reload?
        return nil unless reload_completed?("app/main.rb")
        @load_status = :ready
        log "* INFO: ~ZOQ::Runtime#load_status~ set to ~:ready~."
        Kernel.tick_count = -1
        Kernel.global_tick_count = -1
        $top_level.boot args if $top_level.respond_to?(:boot)
        @backup.write_boot_time
        nil
      end
    end
  end
end
