module ZOQ
  # Copies every source the hot reload is about to load into "tmp/src_backup" (a latest
  # copy, a time-stamped archive copy, a change list and an index page), which the
  # development machine serves to devices that reload remotely.
  module Backup
    def backup_directory
      "tmp/src_backup"
    end

    def backup_create file
      backup_create_index
      return nil if @production || file.to_s.include?("src_backup")
      unless @backup_changes_started
        @backup_changes_started = true
        write_file_root "#{backup_directory}/changes.txt", ""
      end
      changes = backup_load_changes
      backup = backup_file file
      changes[file] = { time: backup[:at], latest_file: backup[:path], key: file }
      backup_write_changes changes
      backup
    end

    def backup_load_changes
      changes = {}
      text = read_file("#{backup_directory}/changes.txt") || ""
      text.split("\n").each do |line|
        next if line.strip.empty?
        fields = line.split(",").map { |field| field.strip }
        changes[fields[2]] = { time: fields[1].to_i, latest_file: fields[0], key: fields[2] }
      end
      changes
    end

    def backup_file file
      now = Time.now.to_i
      name = file.to_s.gsub("/", "_").gsub(".rb", "")
      text = read_file(file) || ""
      timestamped_path = "#{backup_directory}/archived/src_backup_#{name}_#{now}.rb"
      path = "#{backup_directory}/src_backup_#{name}.rb"
      write_file_root timestamped_path, text
      write_file_root path, text
      { key: file, at: now, timestamped_path: timestamped_path, path: path }
    end

    def backup_write_changes changes
      lines = changes.values.map { |change| "#{change[:latest_file]}, #{change[:time]}, #{change[:key]}" }
      write_file_root "#{backup_directory}/changes.txt", lines.join("\n")
      items = changes.values.map do |change|
        "<li><a href='#{File.basename(change[:latest_file])}'>#{change[:key]}</a></li>"
      end
      content = "<ul>\n" + items.join("\n") + "\n</ul>"
      write_file_root "#{backup_directory}/changes.html", backup_page.gsub("{{content}}", content)
    end

    def backup_create_index
      write_file_root "#{backup_directory}/index.css", backup_css
      write_file_root "#{backup_directory}/index.html", backup_html
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
