module ZOQ
  class Runtime
    # Polls the modification times of the watched sources and of the mailbox file, and
    # queues what changed after a syntax check and a backup.
    #
    # A modification time has whole seconds, so a save in the same second as the one seen
    # last would keep its time: until that second has passed, a file's text is kept as well
    # and a save is told by it. Only files saved in the last second or two are read by a poll.
    module Hotload
      CORE_FILES = ["repl.rb", "app/main.rb", "app/repl.rb", "app/tests.rb", "app/test.rb", "app/stdin.rb"].freeze

      MAILBOX = "app/mailbox.rb"

      def hotload_init
        @hotload_if_needed = 0
        @mailbox_if_needed = 0
        @file_mtimes = {}
        @file_texts = {}
        @suppress_mailbox = true
        files_to_reload.each { |file| init_mtimes file }
        init_mtimes MAILBOX
      end

      def core_files_to_reload
        CORE_FILES
      end

      def files_to_reload
        return core_files_to_reload + @required_files if @rcb_release_mode
        # The framework's sources in load order, as the build compiled them in (set by the host).
        ZOQ::FRAMEWORK_FILES + core_files_to_reload + @required_files
      end

      def init_mtimes file
        current = :"current_#{file}"
        return if @file_mtimes.key? current
        mtime = @ffi_file.mtime(file)
        @file_mtimes[current] = mtime
        @file_mtimes[:"last_#{file}"] = mtime
        remember_text file, mtime
      end

      # Keeps the text a file was seen with while a save could still land in the second of its
      # modification time (one second's margin for the file system's coarser clock), so a poll
      # reads only files saved in the last second or two.
      def remember_text file, mtime, text = nil
        if saved_lately? mtime
          @file_texts[file] = text || @ffi_file.read(file)
        else
          @file_texts.delete file
        end
      end

      # Whether a save could still land in the second of this modification time (-1: no file).
      def saved_lately? mtime
        mtime >= 0 && mtime >= Time.now.to_i - 1
      end

      def hotload_if_needed
        hotload_source_files
        check_mailbox
      end

      def hotload_source_files
        @hotload_if_needed += 1
        return if @hotload_if_needed < 60
        @hotload_if_needed = 0
        files_to_reload.each { |file| reload_if_needed file }
        @console.enable
      end

      def mailbox_timeout
        @suppress_mailbox ? 60 : 3
      end

      def check_mailbox
        if @mailbox_if_needed == :force
          reload_if_needed MAILBOX, true
          @mailbox_if_needed = 1
          return
        end
        @mailbox_if_needed += 1
        return unless @mailbox_if_needed % mailbox_timeout == 0
        @mailbox_if_needed = 1
        reload_if_needed MAILBOX
      end

      def reload_if_needed file, force = false
        current = :"current_#{file}"
        last = :"last_#{file}"
        mtime = @file_mtimes[current] = @ffi_file.mtime(file)
        text = nil
        unless force
          if mtime == @file_mtimes[last]
            return nil unless @file_texts.key?(file)
            text = @ffi_file.read(file)
            if text == @file_texts[file]
              remember_text file, mtime, text
              return nil
            end
          end
          # Queued a moment ago, or early in the run: taken at a later poll, not dropped.
          return nil unless queue_takes?(file)
        end
        # Read before the load, so a save landing meanwhile differs from it at the next poll.
        text ||= @ffi_file.read(file) if saved_lately?(mtime)
        begin
          on_load_succeeded file if reload_ruby_file(file)
        ensure
          # Seen either way: a failed change waits for the next edit.
          @file_mtimes[last] = mtime
          remember_text file, mtime, text
        end
      end

      def on_load_succeeded file
        @files_reloaded << file
        @reloaded_files << file
        ZOQ::Trace.untrace_classes!
      end

      def hotload_on_write_file file_name
        @mailbox_if_needed = :force if file_name.to_s.include?("mailbox.rb")
      end

      def reload_ruby_file file
        return false unless File.extname(file) == ".rb"
        return true if @suppress_hotload
        @backup.create file
        text = @ffi_file.read(file) || ""
        return true if text.strip.empty?
        result = @ffi_mrb.parse(text)
        raise "  ** Failed to reload #{file}.\n  #{result}\n\n" unless result == "Syntax OK"
        if file.include? "mailbox.rb"
          contents = (read_file(file) || "").strip
          unless contents.empty?
            processed = file.gsub("mailbox.rb", "mailbox-processed/mailbox-#{Kernel.global_tick_count}.rb")
            write_file file, ""
            write_file processed, contents
            reload_if_needed processed, true
            # No poll watches a processed copy: its text is not kept for one.
            @file_texts.delete processed
            return true
          end
        else
          mark_ruby_file_for_reload file
        end
        notify_subdued!
        true
      rescue Exception => e
        note_load_failure file, e
        pretty_print_exception_and_export! e
        pause!
        show_console :exception
        false
      end
    end
  end
end
