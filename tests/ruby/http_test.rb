# HTTP requests from the game, against the test's own servers on 127.0.0.1: each request is
# pumped as the host's step pumps it, after the tick.

# A game whose tick starts the request its test puts in $request (a lambda) and counts ticks.
HTTP_GAME = <<~RUBY
  def tick args
    $ticks += 1
    if $request
      $result = $request.call args.zoq
      $request = nil
    end
  end
RUBY

def http_boot
  $ticks = 0
  $request = nil
  $result = nil
  $http_ms = boot_game HTTP_GAME
end

# One host step: the tick, then the HTTP pump.
def http_step
  host_step $http_ms
  $http_ms += 20
  host_http_tick
end

# Pumps until the block answers true; steps the game too when asked. Fails after 20 s.
def pump_until steps = false
  started = Time.now
  until yield
    raise ZoqTestFailure, "timed out waiting for the transfer" if Time.now - started > 20
    steps ? http_step : host_http_tick
    usleep 1000
  end
end

# Starts the request inside the game's tick; answers the result once the transfer ended.
def game_request &start
  $request = start
  http_step
  result = $result
  pump_until(true) { result.nil? || result[:complete] }
  result
end

def requests_to path
  server_http_requests.select { |r| r[:path] == path }
end

test "a GET answers an incomplete Hash at once, then 200 with the body and every header, trimmed" do
  result = $zoq.http_get server_http_url("/hello")
  assert_rows [[false, result[:complete]], [0, result[:http_response_code]], [nil, result[:key]],
               [nil, result[:value]], [false, result[:cancel]], [{}, result[:response_headers]],
               ["", result[:response_data]], [0, result[:response_read]]]
  pump_until { result[:complete] }
  assert_rows [[200, result[:http_response_code]], ["hello world", result[:response_data]],
               [11, result[:response_read]], [11, result[:response_total]], [nil, result[:key]],
               [nil, result[:value]]]
  assert_equal({ "HTTP/1.1 200 OK" => "", "Content-Type" => "text/plain", "X-Padded" => "padded value", "Y" => "z",
                 "Content-Length" => "11", "Connection" => "close" }, result[:response_headers])
  seen = requests_to("/hello").last
  assert_rows [["GET", seen[:method]], ["Zintarel-zintarel-hello-SDL/0.0.0.0.1 (Linux)", seen[:headers]["user-agent"]],
               ["application/octet-stream", seen[:headers]["content-type"]]]
end

test "odd header lines keep within their bounds: an empty name or value, blanks around a colon, a colon in a value" do
  result = $zoq.http_get server_http_url("/odd-headers")
  pump_until { result[:complete] }
  headers = result[:response_headers]
  assert_rows [["only value", headers[""]], ["", headers["Z"]], ["", headers["Q"]], ["a: b", headers["W"]],
               ["odd", result[:response_data]]]
end

test "a HEAD gets the headers and no body; a caller's Content-Type in any case replaces the default" do
  result = $zoq.http_head server_http_url("/hello"), ["content-type: text/x-game", "X-Extra: 1"]
  pump_until { result[:complete] }
  assert_rows [[200, result[:http_response_code]], ["", result[:response_data]], ["z", result[:response_headers]["Y"]]]
  seen = requests_to("/hello").last
  assert_rows [["HEAD", seen[:method]], ["text/x-game", seen[:headers]["content-type"]],
               ["1", seen[:headers]["x-extra"]]]
end

test "POST fields arrive as a multipart form the server reads; without fields the body is empty and urlencoded" do
  rows = [
    [{ name: "a", n: 1, text: "two\r\nlines" }, "/form", { "name" => "a", "n" => "1", "text" => "two\r\nlines" }],
    [nil, "/form-empty", {}],
  ]
  rows.each do |fields, path, expected|
    result = $zoq.http_post server_http_url(path), fields
    pump_until { result[:complete] }
    seen = requests_to(path).last
    assert_rows [[200, result[:http_response_code]], ["POST", seen[:method]], [expected, seen[:fields]],
                 [nil, seen[:headers]["expect"]]]
    type = seen[:headers]["content-type"]
    if fields
      assert type.start_with?("multipart/form-data; boundary="), type
    else
      assert_rows [["application/x-www-form-urlencoded", type], ["", seen[:body]],
                   ["0", seen[:headers]["content-length"]]]
    end
  end
end

test "PUT uploads a game file byte for byte with its totals; a missing file answers nil and sends nothing" do
  data = (0...70000).map { |i| (i * 7 % 256).chr }.join
  $zoq.ffi_file.write "upload.bin", data
  result = $zoq.http_put server_http_url("/put"), "upload.bin"
  pump_until { result[:complete] }
  seen = requests_to("/put").last
  assert_rows [[200, result[:http_response_code]], ["PUT", seen[:method]], [data.length, seen[:body].length],
               [true, seen[:body] == data], ["application/octet-stream", seen[:headers]["content-type"]],
               [70000, result[:request_written]], [70000, result[:request_total]]]
  count = server_http_requests.length
  assert_equal nil, $zoq.http_put(server_http_url("/put"), "no-such-file.bin")
  assert_raises(TypeError) { $zoq.http_put server_http_url("/put"), 5 }
  10.times { host_http_tick }
  assert_equal count, server_http_requests.length
end

test "a 10 MiB body arrives byte-exact with its totals" do
  result = $zoq.http_get server_http_url("/big")
  pump_until { result[:complete] }
  expected = server_http_big_body
  assert_rows [[200, result[:http_response_code]], [10485760, result[:response_data].length],
               [true, result[:response_data] == expected], [10485760, result[:response_read]],
               [10485760, result[:response_total]]]
end

test "a body past the response limit ends the transfer as failed with a log line naming the URL" do
  assert_equal 256 * 1024 * 1024, $zoq.http_response_limit
  $zoq.http_response_limit = 1_000_000
  url = server_http_url("/big")
  result = $zoq.http_get url
  pump_until { result[:complete] }
  assert_rows [[-1, result[:http_response_code]], [true, result[:response_data].bytesize <= 1_000_000]]
  assert_includes on_disk("logs/log.txt"), "The response from #{url} is larger than 1000000 bytes"
  # Raised again, the same body arrives whole.
  $zoq.http_response_limit = 20_000_000
  result = $zoq.http_get url
  pump_until { result[:complete] }
  assert_equal [200, 10485760], [result[:http_response_code], result[:response_data].bytesize]
ensure
  $zoq.http_response_limit = nil
end

test "redirects are followed: the final code, every response's headers" do
  result = $zoq.http_get server_http_url("/moved")
  pump_until { result[:complete] }
  headers = result[:response_headers]
  assert_rows [[200, result[:http_response_code]], ["hello world", result[:response_data]],
               ["moved", headers["X-First"]],
               ["", headers["HTTP/1.1 302 Found"]], ["", headers["HTTP/1.1 200 OK"]]]
end

test "failures end as -1, an error status is an answer, and the game's next tick runs normally" do
  rows = [
    ["404", 404, "not here", -> zoq { zoq.http_get server_http_url("/missing") }],
    ["closed port", -1, "", -> zoq { zoq.http_get server_closed_url("/hello") }],
    ["self-signed certificate", -1, "", -> zoq { zoq.http_get server_https_url("/") }],
    ["redirect loop", -1, "", -> zoq { zoq.http_get server_http_url("/loop") }],
    ["file address", -1, "", -> zoq { zoq.http_get "file:///etc/hostname" }],
    ["redirect to a file", -1, "", -> zoq { zoq.http_get server_http_url("/to-file") }],
    ["cancel before a slow body", -1, "", -> zoq {
      r = zoq.http_get server_http_url("/slow")
      r[:cancel] = true
      r
    }],
    ["raising body callback", -1, "", -> zoq {
      r = zoq.http_get server_http_url("/hello")
      r[:response_data].freeze
      r
    }],
    ["raising header callback (logged, the body still whole)", 200, "hello world", -> zoq {
      r = zoq.http_get server_http_url("/hello")
      r[:response_headers].freeze
      r
    }],
  ]
  http_boot
  rows.each do |name, code, body, start|
    result = game_request(&start)
    assert_equal [true, code, body], [result[:complete], result[:http_response_code], result[:response_data]], name
    ticks = $ticks
    http_step
    assert_equal ticks + 1, $ticks, name
    after = game_request { |zoq| zoq.http_get server_http_url("/hello") }
    assert_equal [200, "hello world"], [after[:http_response_code], after[:response_data]], name
  end
  assert requests_to("/loop").length <= 21, "redirects are capped"
  assert_includes server_https_output, "alert unknown ca"
end

test "cancelling ends a transfer whose server has gone quiet" do
  result = $zoq.http_get server_http_url("/slow")
  pump_until { !result[:response_headers].empty? }
  result[:cancel] = true
  pump_until { result[:complete] }
  assert_equal [true, -1, ""], [result[:complete], result[:http_response_code], result[:response_data]]
end

test "a header line with CR or LF, NUL or a non-String raises and nothing is sent" do
  count = server_http_requests.length
  rows = [
    [ArgumentError, -> { $zoq.http_get server_http_url("/hello"), ["X-A: 1\r\nX-Evil: 1"] }],
    [ArgumentError, -> { $zoq.http_get server_http_url("/hello"), ["X-A: 1\nX-Evil: 1"] }],
    [ArgumentError, -> { $zoq.http_head server_http_url("/hello"), ["X-A: \r"] }],
    [ArgumentError, -> { $zoq.http_post server_http_url("/hello"), { a: 1 }, ["X-A: 1\0"] }],
    [ArgumentError, -> { $zoq.http_post server_http_url("/hello"), { "a\0" => 1 } }],
    [TypeError, -> { $zoq.http_get server_http_url("/hello"), ["X-A: 1", 5] }],
    [TypeError, -> { $zoq.ffi_misc.http_post nil, server_http_url("/hello"), nil, [:a, "1"] }],
  ]
  rows.each { |klass, call| assert_raises(klass) { call.call } }
  10.times { host_http_tick }
  assert_equal count, server_http_requests.length
  assert_equal [], $zoq.instance_variable_get(:@protect_from_gc)
end

# A callbacks object of a game's own, given to FFI::Misc directly.
class Recorder
  def initialize log, chain = nil
    @log = log
    @chain = chain
  end

  def http_response_header
    @log << :header
    @log << @chain.call if @chain && @log.count(:header) == 1
    true
  end

  def http_response_data
    @log << :data
    true
  end

  def http_done
    @log << :done
  end
end

test "a request started from a callback is not lost, and direct callers' objects outlive their references" do
  log = []
  inner_log = []
  misc = FFI::Misc.new
  url = server_http_url("/hello")
  chained = -> { misc.http_get(Recorder.new(inner_log), url, nil) }
  outer = misc.http_get(Recorder.new(log, chained), url, nil)
  GC.start
  pump_until { outer[:complete] && inner_log.include?(:done) }
  GC.start
  inner = log.find { |e| e.is_a?(Hash) }
  assert_rows [[200, outer[:http_response_code]], [200, inner[:http_response_code]], [1, log.count(:done)],
               [1, inner_log.count(:done)], [true, inner_log.include?(:data)]]
  head_log = []
  misc.http_head Recorder.new(head_log), url, nil
  GC.start
  pump_until { head_log.include?(:done) }
  assert_rows [[false, head_log.include?(:data)], [true, head_log.include?(:header)]]
end
