module ZOQ
  # Copies every source the hot reload is about to load into "tmp/src_backup" of the root
  # write directory: an archive copy per backup, and, for sources devices can load (not
  # empty, parsing), a latest copy listed in "changes.txt" and "changes.html". The
  # development machine serves that folder to devices that reload remotely. The runtime owns
  # one and reaches the files through it.
  class Backup
    DIRECTORY = "tmp/src_backup".freeze

    def initialize runtime
      @runtime = runtime
      @changes = nil
      @archive_names = {}
    end

    # "changes.txt", written here and read by devices (HotloadClient): a line a published
    # source, "tmp/src_backup/LATEST_FILE, UPDATED_AT, KEY", the key last since a source path
    # may itself hold a comma.
    def self.change_line change
      "#{DIRECTORY}/#{change[:latest_file]}, #{change[:updated_at]}, #{change[:key]}"
    end

    # A line of "changes.txt" as change_line was given it; nil for a blank or malformed line,
    # or a file name not of the latest copy's form (nothing from the network may name another
    # path).
    def self.parse_change_line line
      fields = line.to_s.strip.split(",", 3).map { |field| field.strip }
      return nil unless fields.length == 3
      path, time, key = fields
      return nil unless path.start_with?("#{DIRECTORY}/")
      name = path[(DIRECTORY.length + 1)..-1]
      return nil unless latest_file_name?(name)
      return nil unless seconds_text?(time)
      return nil if key.empty?
      { latest_file: name, updated_at: time.to_i, key: key }
    end

    # "boot.txt", written here when the game is ready and read by devices: the time it booted,
    # in seconds. nil for any other text.
    def self.parse_boot_time text
      text = text.to_s.strip
      seconds_text?(text) ? text.to_i : nil
    end

    # Whole seconds as written here: digits only, fewer than 19 (within 64 bits).
    def self.seconds_text? text
      text.length > 0 && text.length < 19 && text.each_char.all? { |c| "0123456789".include?(c) }
    end

    # "src_backup_" + letters, digits, "_" and "-" + ".rb": a latest copy's name.
    def self.latest_file_name? name
      return false unless name.start_with?("src_backup_") && name.end_with?(".rb")
      middle = name[11...-3]
      return false if middle.nil? || middle.empty?
      middle.each_char.all? do |c|
        ("a".."z").include?(c) || ("A".."Z").include?(c) || ("0".."9").include?(c) || c == "_" || c == "-"
      end
    end

    # The source path without its ".rb", "/" as "_", every other byte but letters and digits
    # as "-" and two hex digits: two sources never share a name ("app/a_b.rb" is app_a-5fb,
    # "app/a/b.rb" app_a_b), and the name is safe in a URL and a file name.
    def self.name_of file
      path = file.to_s
      path = path[0...-3] if path.end_with?(".rb")
      encoded = ""
      path.each_byte do |byte|
        if (byte >= 48 && byte <= 57) || (byte >= 65 && byte <= 90) || (byte >= 97 && byte <= 122)
          encoded << byte.chr
        elsif byte == 47
          encoded << "_"
        else
          encoded << format("-%02x", byte)
        end
      end
      encoded
    end

    # A failed backup is logged and never stops the reload that asked for it.
    def create file
      write_index
      return nil if @runtime.production || file.to_s.include?("src_backup")
      unless @changes
        @changes = {}
        write "changes.txt", ""
      end
      backup = copy file
      if backup[:published]
        @changes[file] = { latest_file: backup[:latest_file], updated_at: backup[:at], key: file }
        write_changes
      end
      backup
    rescue Exception => e
      log_error "The backup of #{file} failed. The reload goes on.\n#{e}"
      nil
    end

    # Devices take changes made after the time the game booted: a production run offers them
    # nothing.
    def write_boot_time
      @runtime.write_file_root "#{DIRECTORY}/boot.txt", Time.now.to_i.to_s unless @runtime.production
    end

    # Always an archive copy; the latest copy only for a source a device could load, so a
    # device never fetches an empty or broken file.
    def copy file
      now = Time.now.to_i
      name = Backup.name_of file
      text = @runtime.read_file(file) || ""
      timestamped_path = archive_path name, now
      latest_file = "src_backup_#{name}.rb"
      write timestamped_path[(DIRECTORY.length + 1)..-1], text
      published = publishable?(file, text)
      write latest_file, text if published
      { key: file, at: now, timestamped_path: timestamped_path, path: "#{DIRECTORY}/#{latest_file}",
        latest_file: latest_file, published: published }
    end

    # The mailbox itself is never run (its processed copy is, and that copy is published), so
    # a device that loaded it would run the same code twice.
    def publishable? file, text
      return false if file.to_s.include?("\n") || file.to_s.include?("\r")
      return false if File.basename(file.to_s) == "mailbox.rb"
      return false if text.strip.empty?
      @runtime.ffi_mrb.parse(text) == "Syntax OK"
    end

    # Copies made in the same second get "-2", "-3"... rather than replace each other.
    def archive_path name, now
      base = "#{DIRECTORY}/archived/src_backup_#{name}_#{now}"
      path = "#{base}.rb"
      n = 1
      while @archive_names[path] || @runtime.ffi_file.mtime(path) != -1
        n += 1
        path = "#{base}-#{n}.rb"
      end
      @archive_names[path] = true
      path
    end

    def write relative, text
      path = "#{DIRECTORY}/#{relative}"
      raise "Couldn't write #{path}." unless @runtime.write_file_root(path, text)
      true
    end

    # The change list as "changes.txt" holds it: the runtime's records ({ time:, latest_file:
    # (the whole path), key: }) by source path.
    def load_changes
      changes = {}
      text = @runtime.read_file("#{DIRECTORY}/changes.txt") || ""
      text.split("\n").each do |line|
        change = Backup.parse_change_line(line)
        next unless change
        changes[change[:key]] = { time: change[:updated_at], latest_file: "#{DIRECTORY}/#{change[:latest_file]}",
                                  key: change[:key] }
      end
      changes
    end

    # Writes the runtime's records as the change list, which later backups extend.
    def replace_changes changes
      @changes = {}
      changes.each do |file, change|
        key = change[:key] || file
        name = change[:latest_file].to_s
        name = name[(DIRECTORY.length + 1)..-1] if name.start_with?("#{DIRECTORY}/")
        @changes[key] = { latest_file: name, updated_at: change[:time].to_i, key: key }
      end
      write_changes
    end

    def write_changes
      write "changes.txt", @changes.values.map { |change| Backup.change_line(change) }.join("\n")
      items = @changes.values.map do |change|
        "<li><a href='#{Docs.escape_html(change[:latest_file])}'>#{Docs.escape_html(change[:key])}</a></li>"
      end
      content = "<ul>\n" + items.join("\n") + "\n</ul>"
      write "changes.html", page.gsub("{{content}}", content)
    end

    def write_index
      write "index.css", css
      write "index.html", index_html
    end

    def page
      "<!DOCTYPE html>\n<html>\n<head>\n<meta charset='utf-8'>\n<title>Zintarel Source Code Backup</title>\n" \
      "<link rel='stylesheet' href='index.css'>\n</head>\n<body>\n{{content}}\n</body>\n</html>\n"
    end

    def index_html
      page.gsub("{{content}}",
                "<h1>Zintarel Source Code Backup</h1>\n" \
                "<div id='content' itemscope itemtype='backup-information'>\n" \
                "<p>This directory houses the changes made to the code while the ./zintarel(.exe) binary was running.</p>\n" \
                "<p><a itemprop='changes' href='changes.txt'>changes.txt</a> | <a href='changes.html'>changes.html</a></p>\n" \
                "</div>")
    end

    def css
      "body { max-width: 920px; margin: 0 auto; font-size: 16px; line-height: 1.5; background: white; color: #111111; }\n" \
      "a { color: #0077CC; }\na:visited { color: #4A6B82; }\n" \
      "h1 { font-size: 26px; border-bottom: 1px solid silver; }\n" \
      "h2 { font-size: 22px; border-bottom: 1px solid silver; }\n" \
      "h3 { font-size: 18px; border-bottom: 1px solid silver; }\n" \
      "img { max-width: 640px; max-height: 320px; display: block; margin: 0 auto; border: 1px solid silver; }\n" \
      "hr { border: 0; height: 1px; background-image: linear-gradient(to right, transparent, silver, transparent); }\n" \
      "pre, code { background: #f4f4f4; font-family: monospace; }\npre { padding: 8px; overflow-x: auto; }\n" \
      "iframe { max-width: 100%; }\nblockquote { border-left: 4px solid silver; margin-left: 0; padding-left: 12px; }\n"
    end
  end
end

module ZOQ
  class Runtime
    # The backup's interface on the runtime, as games and tools call it.
    module SourceBackup
      def backup_directory
        ZOQ::Backup::DIRECTORY
      end

      def backup_create file
        @backup.create file
      end

      def backup_file file
        @backup.copy file
      end

      def backup_load_changes
        @backup.load_changes
      end

      def backup_write_changes changes
        @backup.replace_changes changes
      end

      def backup_create_index
        @backup.write_index
      end

      def backup_css
        @backup.css
      end

      def backup_html
        @backup.index_html
      end
    end
  end
end
