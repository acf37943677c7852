module ZOQ
  # Copies every source the hot reload is about to load into "tmp/src_backup" of the root
  # write directory: an archive copy per backup, and, for sources devices can load (not
  # empty, parsing), a latest copy listed in "changes.txt" and "changes.html". The
  # development machine serves that folder to devices that reload remotely.
  module Backup
    def backup_directory
      "tmp/src_backup"
    end

    # A failed backup is logged and never stops the reload that asked for it.
    def backup_create file
      backup_create_index
      return nil if @production || file.to_s.include?("src_backup")
      unless @backup_changes
        @backup_changes = {}
        backup_write "changes.txt", ""
      end
      backup = backup_file file
      if backup[:published]
        @backup_changes[file] = { time: backup[:at], latest_file: backup[:path], key: file }
        backup_write_changes @backup_changes
      end
      backup
    rescue Exception => e
      log_error "The backup of #{file} failed. The reload goes on.\n#{e}"
      nil
    end

    # The change list as written this run (the file is the record devices read).
    def backup_load_changes
      changes = {}
      text = read_file("#{backup_directory}/changes.txt") || ""
      text.split("\n").each do |line|
        next if line.strip.empty?
        # The key is last and may itself hold a comma.
        fields = line.split(",", 3).map { |field| field.strip }
        next unless fields.length == 3
        changes[fields[2]] = { time: fields[1].to_i, latest_file: fields[0], key: fields[2] }
      end
      changes
    end

    # Always an archive copy; the latest copy only for a source a device could load, so a
    # device never fetches an empty or broken file.
    def backup_file file
      now = Time.now.to_i
      name = backup_name file
      text = read_file(file) || ""
      timestamped_path = backup_archive_path name, now
      path = "#{backup_directory}/src_backup_#{name}.rb"
      backup_write timestamped_path[(backup_directory.length + 1)..-1], text
      published = backup_publishable?(file, text)
      backup_write path[(backup_directory.length + 1)..-1], text if published
      { key: file, at: now, timestamped_path: timestamped_path, path: path, published: published }
    end

    # The mailbox itself is never run (its processed copy is, and that copy is published), so
    # a device that loaded it would run the same code twice.
    def backup_publishable? file, text
      return false if file.to_s.include?("\n") || file.to_s.include?("\r")
      return false if File.basename(file.to_s) == "mailbox.rb"
      return false if text.strip.empty?
      @ffi_mrb.parse(text) == "Syntax OK"
    end

    # The source path without its ".rb", "/" as "_", every other byte but letters and digits
    # as "-" and two hex digits: two sources never share a name ("app/a_b.rb" is app_a-5fb,
    # "app/a/b.rb" app_a_b), and the name is safe in a URL and a file name.
    def backup_name file
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

    # Copies made in the same second get "-2", "-3"... rather than replace each other.
    def backup_archive_path name, now
      @backup_archive_names ||= {}
      base = "#{backup_directory}/archived/src_backup_#{name}_#{now}"
      path = "#{base}.rb"
      n = 1
      while @backup_archive_names[path] || @ffi_file.mtime(path) != -1
        n += 1
        path = "#{base}-#{n}.rb"
      end
      @backup_archive_names[path] = true
      path
    end

    def backup_write relative, text
      path = "#{backup_directory}/#{relative}"
      raise "Couldn't write #{path}." unless write_file_root(path, text)
      true
    end

    def backup_write_changes changes
      lines = changes.values.map { |change| "#{change[:latest_file]}, #{change[:time]}, #{change[:key]}" }
      backup_write "changes.txt", lines.join("\n")
      items = changes.values.map do |change|
        href = backup_escape_html(File.basename(change[:latest_file]))
        "<li><a href='#{href}'>#{backup_escape_html(change[:key])}</a></li>"
      end
      content = "<ul>\n" + items.join("\n") + "\n</ul>"
      backup_write "changes.html", backup_page.gsub("{{content}}", content)
    end

    def backup_create_index
      backup_write "index.css", backup_css
      backup_write "index.html", backup_html
    end

    def backup_escape_html text
      text.to_s.gsub("&", "&amp;").gsub("<", "&lt;").gsub(">", "&gt;").gsub("'", "&#39;").gsub("\"", "&quot;")
    end

    def backup_page
      "<!DOCTYPE html>\n<html>\n<head>\n<meta charset='utf-8'>\n<title>Zintarel Source Code Backup</title>\n" \
      "<link rel='stylesheet' href='index.css'>\n</head>\n<body>\n{{content}}\n</body>\n</html>\n"
    end

    def backup_html
      backup_page.gsub("{{content}}",
                       "<h1>Zintarel Source Code Backup</h1>\n" \
                       "<div id='content' itemscope itemtype='backup-information'>\n" \
                       "<p>This directory houses the changes made to the code while the ./zintarel(.exe) binary was running.</p>\n" \
                       "<p><a itemprop='changes' href='changes.txt'>changes.txt</a> | <a href='changes.html'>changes.html</a></p>\n" \
                       "</div>")
    end

    def backup_css
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
