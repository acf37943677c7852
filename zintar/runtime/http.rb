module ZOQ
  class Runtime
    # HTTP requests for the game: each answers a Hash that fills in while the request runs.
    module Http
      # A response body that grows past this many bytes stops its transfer as failed, so a
      # server that never ends cannot fill the memory; a game that expects more raises it.
      DEFAULT_HTTP_RESPONSE_LIMIT = 256 * 1024 * 1024

      attr_writer :http_response_limit

      def http_response_limit
        @http_response_limit || DEFAULT_HTTP_RESPONSE_LIMIT
      end

      def http_get url, extra_headers = nil
        callbacks = HTTPCallbacks.new(@protect_from_gc, url, self)
        callbacks.ready @ffi_misc.http_get(callbacks, url, extra_headers)
      end

      def http_head url, extra_headers = nil
        callbacks = HTTPCallbacks.new(@protect_from_gc, url, self)
        callbacks.ready @ffi_misc.http_head(callbacks, url, extra_headers)
      end

      def http_post url, form_fields = nil, extra_headers = nil
        form = nil
        unless form_fields.nil?
          form = []
          form_fields.each do |key, value|
            form << key.to_s
            form << value.to_s
          end
        end
        callbacks = HTTPCallbacks.new(@protect_from_gc, url, self)
        callbacks.ready @ffi_misc.http_post(callbacks, url, extra_headers, form)
      end

      # Uploads the game file fname with PUT (nil when it cannot be read).
      def http_put url, fname, extra_headers = nil
        callbacks = HTTPCallbacks.new(@protect_from_gc, url, self)
        callbacks.ready @ffi_misc.http_put(callbacks, url, extra_headers, fname)
      end
    end

    # One per HTTP request: collects headers and body into the request's Hash and keeps
    # itself reachable while only the native request refers to it.
    class HTTPCallbacks
      attr_accessor :state

      # url and the runtime (whose http_response_limit bounds the body) come from the
      # runtime's wrappers.
      def initialize protect_from_gc, url = nil, runtime = nil
        @protect_from_gc = protect_from_gc
        @url = url
        @runtime = runtime
      end

      def ready newstate
        @state = newstate
        return nil if newstate.nil?
        newstate[:cancel] = false
        newstate[:response_headers] = {}
        newstate[:response_data] = ""
        @protect_from_gc << self
        newstate
      end

      def http_response_header
        @state[:response_headers][@state[:key]] = @state[:value]
        !@state[:cancel]
      end

      # A chunk that would take the body past the limit ends the transfer as failed: the
      # request's own :response_limit when its caller set one, else the runtime's.
      def http_response_data
        chunk = @state[:value].to_s
        data = @state[:response_data]
        own = @state[:response_limit]
        limit = own || (@runtime ? @runtime.http_response_limit : nil)
        if limit && data.bytesize + chunk.bytesize > limit
          log_error "The response from #{@url} is larger than #{limit} bytes#{own ? "" : " (~$zoq.http_response_limit~)"}: " \
                    "its transfer stops as failed."
          return false
        end
        data << chunk
        !@state[:cancel]
      end

      def http_done
        @protect_from_gc.delete self if @protect_from_gc
        @state = nil
        @protect_from_gc = nil
      end
    end
  end
end
