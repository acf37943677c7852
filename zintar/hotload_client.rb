module ZOQ
  # The device side of remote hot reload: polls the development machine named in
  # "app/server_ip_address.txt" for "boot.txt" and "changes.txt" once a second, fetches each
  # changed source from its backup folder, writes it into the game and requires it.
  class HotloadClient
    include AttrZOQ

    NOTES = "This enitity is used by Zintarel Playframe to provide you hotloading on remote machines.".freeze
    SERVER_ADDRESS_FILE = "app/server_ip_address.txt".freeze
    # A file request that fails is tried this many times, a second apart, then dropped.
    FILE_ATTEMPTS = 3
    # A change list or file larger than this is refused: a server must not fill the memory.
    MAX_RESPONSE_BYTES = 4 * 1024 * 1024
    # Files named one by one in the log when a change list queues them; the rest are counted.
    LOGGED_QUEUEINGS = 20
    ADDRESS_CHARACTERS = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ.:%-_".freeze

    def initialize local_ip_address
      @local_ip_address = local_ip_address.to_s
      @ip_address = nil
      @notified = false
      @greatest_tick = nil
      # Counts the client's own steps: the game's tick count stands still while it is paused,
      # which is when a fix is most wanted.
      @ticks = 0
    end

    def tick
      return nil unless args
      return nil unless server_available? && server_needed?
      @ticks += 1
      if should_tick? && !@notified
        log_info "Hotload server found at #{server_host}:#{server_port}."
        @notified = true
      end
      tick_changes
      tick_process_file_retrieval
      tick_process_queue
      nil
    end

    def should_tick?
      @ticks % 60 == 0 && @ticks > 300
    end

    def server_port
      @server_port || 8080
    end

    def local_state
      state.hotload_client ||= state.new_entity(:hotload_client,
                                                { notes: NOTES, changes: {}, changes_queue: [], reloaded_files_times: [],
                                                  booted_at: nil, http_boot: nil, http_changes: nil,
                                                  http_file_changes: nil, processing_file_changes: nil })
    end

    # Read once. Only an address (IPv4, IPv6 with an optional zone, or a host name) is taken:
    # the text becomes part of a URL.
    def get_server_ip_address
      return @ip_address if @ip_address
      text = (zoq.read_file(SERVER_ADDRESS_FILE) || "").strip
      text = text[1..-2] if text.start_with?("[") && text.end_with?("]")
      unless HotloadClient.address_text?(text)
        log_error "#{SERVER_ADDRESS_FILE} does not hold an address: #{text.inspect}." unless text.empty?
        text = ""
      end
      @ip_address = text
    end

    def self.address_text? text
      return false if text.empty? || text.length > 255
      text.each_char.all? { |c| ADDRESS_CHARACTERS.include?(c) }
    end

    # A device never polls in production, nor from a platform without sockets.
    def server_available?
      return false if zoq.production
      return false if zoq.platform == "Emscripten"
      !get_server_ip_address.empty?
    end

    # The development machine itself never fetches its own changes.
    def server_needed?
      return false if zoq.platform == "Emscripten"
      @local_ip_address.strip.downcase != get_server_ip_address.downcase
    end

    # An IPv6 address is bracketed in a URL, and its zone's "%" escaped.
    def server_host
      address = get_server_ip_address
      return address unless address.include?(":")
      "[#{address.gsub("%", "%25")}]"
    end

    def server_url path
      "http://#{server_host}:#{server_port}#{path}"
    end

    def tick_changes
      return nil unless should_tick?
      @greatest_tick ||= 0
      tick_http_boot
      tick_http_changes
    end

    def tick_http_boot
      s = local_state
      return nil if s.booted_at
      request = s.http_boot
      if !request
        s.http_boot = start_request("/boot.txt")
      elsif answered?(request) && (booted_at = Backup.parse_boot_time(request[:response_data]))
        @greatest_tick = booted_at
        s.booted_at = @greatest_tick
        log_info "HTTP GET for boot.txt succeeded."
        log_info "Looking for changes after: #{@greatest_tick}."
        s.http_boot = nil
      elsif request[:complete] || timed_out?(request)
        log_info "HTTP GET for boot.txt failed. Retrying."
        drop_request request
        s.http_boot = nil
      end
    end

    def tick_http_changes
      s = local_state
      return nil unless s.booted_at
      request = s.http_changes
      if !request
        s.http_changes = start_request("/changes.txt")
      elsif answered?(request)
        queue_changes request[:response_data].to_s
        s.http_changes = nil
      elsif request[:complete] || timed_out?(request)
        log_info "HTTP GET for changes.txt failed. Retrying."
        drop_request request
        s.http_changes = nil
      end
    end

    # The change list, one "tmp/src_backup/NAME, TIME, KEY" a line. A line is queued when
    # newer than the server's boot and than what its key last had; several files saved in the
    # same second are all queued, and a newer change of a queued file takes that file's place
    # at the end of the queue. Linear in the list: the queue is filtered once.
    def queue_changes text
      s = local_state
      queued = {}
      text.split("\n").each do |line|
        record = queue_change(line)
        next unless record
        queued.delete record[:key]
        queued[record[:key]] = record
      end
      return [] if queued.empty?
      s.changes_queue.reject! { |record| queued.key?(record[:key]) }
      queued.each_value { |record| s.changes_queue << record.dup }
      records = queued.values
      records.first(LOGGED_QUEUEINGS).each { |record| log_info "Queueing file #{record[:latest_file]} for update." }
      log_info "Queueing #{records.length - LOGGED_QUEUEINGS} more files for update." if records.length > LOGGED_QUEUEINGS
      records
    end

    # The record of one line of the change list when it is to be queued (and remembered as
    # this key's latest change), else nil.
    def queue_change line
      change = Backup.parse_change_line(line)
      return nil unless change
      s = local_state
      time = change[:updated_at]
      return nil unless time > s.booted_at
      known = s.changes[change[:key]]
      last = known ? known[:updated_at] : 0
      return nil unless time > last
      @greatest_tick = time if time > @greatest_tick
      record = { key: change[:key], latest_file: change[:latest_file], updated_at: time, last_updated_at: last }
      s.changes[change[:key]] = record
      record
    end

    def tick_process_queue
      s = local_state
      return nil if s.http_file_changes || s.processing_file_changes
      index = s.changes_queue.index { |record| (record[:retry_at] || 0) <= @ticks }
      return nil unless index
      record = s.changes_queue.delete_at(index)
      s.processing_file_changes = record
      s.http_file_changes = start_request("/" + record[:latest_file])
      # No HTTP at all (no libcurl): counts as a failed attempt.
      file_request_failed(record, "no request could be started") unless s.http_file_changes
    end

    # A file is used only once its transfer completed with 200; anything else is tried
    # again later (other files go first) and dropped after FILE_ATTEMPTS tries.
    def tick_process_file_retrieval
      s = local_state
      request = s.http_file_changes
      return nil unless request
      record = s.processing_file_changes
      if answered?(request)
        s.http_file_changes = nil
        s.processing_file_changes = nil
        load_file record, request[:response_data].to_s
      elsif request[:complete] || timed_out?(request)
        drop_request request
        s.http_file_changes = nil
        why = request[:complete] ? "HTTP #{request[:http_response_code]}" : "no answer in #{request_seconds} s"
        file_request_failed record, why
      end
    end

    def file_request_failed record, why
      s = local_state
      s.http_file_changes = nil
      s.processing_file_changes = nil
      attempts = (record[:attempts] || 0) + 1
      name = record[:latest_file]
      if attempts < FILE_ATTEMPTS
        log_info "HTTP GET for #{name} failed (#{why}). Retrying."
        record[:attempts] = attempts
        record[:retry_at] = @ticks + 60
        s.changes_queue << record
      else
        log_error "HTTP GET for #{name} failed #{attempts} times (#{why}). It will be fetched again when it changes."
      end
    end

    def load_file record, text
      key = record[:key]
      name = record[:latest_file]
      return nil unless Backup.latest_file_name?(name)
      known = local_state.changes[key]
      known[:last_updated_at] = record[:updated_at] if known
      log_info "Loading #{key}: #{name}"
      unless zoq.write_file(name, text)
        log_error "Couldn't write #{name}."
        return nil
      end
      begin
        zoq.require name
      rescue Exception => e
        log_error "Couldn't require #{name}.\n#{e}"
        return nil
      end
      local_state.reloaded_files_times << name
      name
    end

    def start_request path
      request = zoq.http_get server_url(path)
      # A response past the limit stops as failed, and the request fails as any other does.
      request.merge!(hotload_started_at: Time.now.to_f, response_limit: MAX_RESPONSE_BYTES) if request
      request
    end

    def answered? request
      request[:complete] && request[:http_response_code] == 200
    end

    # A request that has not completed in this many seconds is cancelled and counts as failed.
    def request_seconds
      60
    end

    def timed_out? request
      started = request[:hotload_started_at]
      started && Time.now.to_f - started > request_seconds
    end

    def drop_request request
      request[:cancel] = true unless request[:complete]
    end

    def serialize
      { local_ip_address: @local_ip_address, ip_address: @ip_address }
    end

    def inspect
      "#<ZOQ::HotloadClient>"
    end

    def to_s
      inspect
    end
  end
end
