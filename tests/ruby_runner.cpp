// Runs one Ruby test file inside the real interpreter with the framework and the FFI
// classes (and a constructed runtime), over a fresh temporary game folder.
// A test file calls `test "name" do ... end`; the closing line counts passes and failures.
// A support.rb beside the file, loaded first, holds the helpers the files there share.
#include "base/logfile.h"
#include "base/ruby.h"
#include "compile/compile.h"
#include "services/http_client.h"
#include "support/host_fixture.h"
#include "support/http_test_server.h"
#include "support/test_files.h"

#include <mruby/array.h>
#include <mruby/hash.h>
#include <mruby/string.h>
#include <stdio.h>
#include <string>

static const char harness[] = R"RUBY(
$zoq_tests = []
$zoq_test_failures = []

class ZoqTestFailure < StandardError; end

def test name, &block
  $zoq_tests << [name, block]
end

def assert value, message = "expected a truthy value"
  raise ZoqTestFailure, message unless value
  true
end

def refute value, message = "expected a falsy value"
  raise ZoqTestFailure, message if value
  true
end

# Also compares the classes of the numbers inside what it compares: 1 and 1.0 are == but a
# test that expects one must not pass with the other.
def assert_equal expected, actual, message = nil
  return true if expected == actual && zoq_same_number_classes(expected, actual)
  raise ZoqTestFailure, (message || "expected #{expected.inspect} (#{expected.class}), got #{actual.inspect} (#{actual.class})")
end

def zoq_same_number_classes expected, actual
  return expected.class == actual.class if expected.is_a?(Numeric)
  if expected.is_a?(Array) && actual.is_a?(Array)
    return expected.each_index.all? { |i| zoq_same_number_classes expected[i], actual[i] }
  end
  return expected.all? { |key, value| zoq_same_number_classes value, actual[key] } if expected.is_a?(Hash) && actual.is_a?(Hash)
  true
end

def assert_includes text, *parts
  parts.each { |part| raise ZoqTestFailure, "expected #{text.inspect} to include #{part.inspect}" unless text.include?(part) }
  true
end

# Table checks: each row is [expected, actual]; a failure names its row.
def assert_rows rows
  rows.each_with_index { |(expected, actual), i| assert_equal expected, actual, "row #{i}: expected #{expected.inspect}, got #{actual.inspect}" }
end

def assert_raises klass = StandardError, pattern = nil
  begin
    yield
  rescue Exception => e
    raise ZoqTestFailure, "expected #{klass}, got #{e.class}: #{e.message}" unless e.is_a?(klass)
    if pattern && !e.message.include?(pattern)
      raise ZoqTestFailure, "expected a message with #{pattern.inspect}, got #{e.message.inspect}"
    end
    return e
  end
  raise ZoqTestFailure, "expected #{klass} to be raised"
end

def zoq_run_tests
  passed = 0
  $zoq_tests.each do |name, block|
    begin
      block.call
      passed += 1
    rescue Exception => e
      $zoq_test_failures << name
      puts "FAIL: #{name}: #{e.class}: #{e.message}"
      (e.backtrace || [])[0..3].each { |line| puts "    #{line}" }
    end
  end
  [passed, $zoq_test_failures.length]
end
)RUBY";

// The HTTP servers of the HTTP tests, started by their first use in a file.
static http_test_server *http_server;
static https_test_server https_server;

static mrb_value text(mrb_state *mrb, const std::string &s) { return mrb_str_new(mrb, s.data(), (mrb_int)s.size()); }

static http_test_server *http_server_up(mrb_state *mrb)
{
    if (!http_server) http_server = http_test_server_start();
    if (!http_server) mrb_raise(mrb, E_RUNTIME_ERROR, "the test HTTP server did not start");
    return http_server;
}

// server_http_url(path): the address of path on the test server.
static mrb_value server_http_url(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    int port = http_test_server_port(http_server_up(mrb));
    return text(mrb, "http://127.0.0.1:" + std::to_string(port) + path);
}

// server_https_url(path): the address of path on a server whose certificate nobody signed.
static mrb_value server_https_url(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    std::string error;
    if (!https_server.port && !https_test_server_start(&https_server, &error))
        mrb_raise(mrb, E_RUNTIME_ERROR, ("the test HTTPS server did not start: " + error).c_str());
    return text(mrb, "https://127.0.0.1:" + std::to_string(https_server.port) + path);
}

static mrb_value server_https_output(mrb_state *mrb, mrb_value self)
{
    return text(mrb, https_test_server_output(&https_server));
}

// server_closed_url(path): an address where nothing listens.
static mrb_value server_closed_url(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    return text(mrb, "http://127.0.0.1:" + std::to_string(http_test_closed_port()) + path);
}

// Every request the test server has read: Hashes of :method, :path, :headers (lower-case
// names), :body and :fields (a multipart body's fields).
static mrb_value server_http_requests(mrb_state *mrb, mrb_value self)
{
    mrb_value list = mrb_ary_new(mrb);
    for (const http_test_request &request : http_test_server_requests(http_server_up(mrb))) {
        mrb_value entry = mrb_hash_new(mrb), headers = mrb_hash_new(mrb), fields = mrb_hash_new(mrb);
        for (const auto &h : request.headers) {
            std::string name = h.first;
            for (char &c : name) c = (char)tolower((unsigned char)c);
            mrb_hash_set(mrb, headers, text(mrb, name), text(mrb, h.second));
        }
        for (const auto &f : http_test_multipart_fields(request))
            mrb_hash_set(mrb, fields, text(mrb, f.first), text(mrb, f.second));
        mrb_hash_set(mrb, entry, mrb_symbol_value(mrb_intern_lit(mrb, "method")), text(mrb, request.method));
        mrb_hash_set(mrb, entry, mrb_symbol_value(mrb_intern_lit(mrb, "path")), text(mrb, request.target));
        mrb_hash_set(mrb, entry, mrb_symbol_value(mrb_intern_lit(mrb, "headers")), headers);
        mrb_hash_set(mrb, entry, mrb_symbol_value(mrb_intern_lit(mrb, "body")), text(mrb, request.body));
        mrb_hash_set(mrb, entry, mrb_symbol_value(mrb_intern_lit(mrb, "fields")), fields);
        mrb_ary_push(mrb, list, entry);
    }
    return list;
}

static mrb_value server_http_big_body(mrb_state *mrb, mrb_value self) { return text(mrb, http_test_big_body()); }
// server_http_serve_folder(folder): the test server answers "/NAME" with that folder's files.
static mrb_value server_http_serve_folder(mrb_state *mrb, mrb_value self)
{
    const char *folder;
    mrb_get_args(mrb, "z", &folder);
    http_test_server_serve_folder(http_server_up(mrb), folder);
    return mrb_nil_value();
}

// server_http_trickle_chunked(path): that file goes out chunked, a few bytes at a time.
static mrb_value server_http_trickle_chunked(mrb_state *mrb, mrb_value self)
{
    const char *path;
    mrb_get_args(mrb, "z", &path);
    http_test_server_trickle_chunked(http_server_up(mrb), path);
    return mrb_nil_value();
}

static mrb_value server_http_port(mrb_state *mrb, mrb_value self)
{
    return mrb_int_value(mrb, http_test_server_port(http_server_up(mrb)));
}


// The HTTP part of the host's step.
static mrb_value host_http_tick(mrb_state *mrb, mrb_value self)
{
    http_tick();
    return mrb_nil_value();
}

// The log part of the host's step: the logged lines reach their files.
static mrb_value host_logfile_flush(mrb_state *mrb, mrb_value self)
{
    logfile_flush();
    return mrb_nil_value();
}

static void define_http_hooks(mrb_state *mrb)
{
    RClass *k = mrb->kernel_module;
    mrb_define_method(mrb, k, "server_http_url", server_http_url, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, k, "server_https_url", server_https_url, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, k, "server_https_output", server_https_output, MRB_ARGS_NONE());
    mrb_define_method(mrb, k, "server_closed_url", server_closed_url, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, k, "server_http_requests", server_http_requests, MRB_ARGS_NONE());
    mrb_define_method(mrb, k, "server_http_big_body", server_http_big_body, MRB_ARGS_NONE());
    mrb_define_method(mrb, k, "server_http_serve_folder", server_http_serve_folder, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, k, "server_http_trickle_chunked", server_http_trickle_chunked, MRB_ARGS_REQ(1));
    mrb_define_method(mrb, k, "server_http_port", server_http_port, MRB_ARGS_NONE());
    mrb_define_method(mrb, k, "host_http_tick", host_http_tick, MRB_ARGS_NONE());
    mrb_define_method(mrb, k, "host_logfile_flush", host_logfile_flush, MRB_ARGS_NONE());
}

int main(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: ruby_tests FILE_test.rb\n");
        return 2;
    }
    std::string source = read_file(argv[1]);
    if (source.empty()) {
        fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    // The helpers shared by the test files of a folder: its support.rb, when there is one.
    std::string support_path = argv[1];
    size_t slash = support_path.rfind('/');
    support_path = (slash == std::string::npos ? std::string() : support_path.substr(0, slash + 1)) + "support.rb";
    std::string support;
    bool has_support = read_file_into(support_path, support);
    host_fixture fixture;
    if (!host_fixture_up(&fixture, true)) {
        fprintf(stderr, "host fixture failed\n");
        return 2;
    }
    mrb_state *mrb = test_game.interpreter;
    define_http_hooks(mrb);
    ruby_load(mrb, harness, sizeof harness - 1, "(harness)");
    if (ruby_log_exception(mrb)) return 2;
    std::string dirs = "$test_game_dir = \"" + fixture.game_dir + "\"; $test_base_dir = \"" + fixture.base_dir +
                       "\"; $test_extensions = \"" ZINTAREL_TEST_EXTENSIONS "\"";
    ruby_load(mrb, dirs.data(), dirs.size(), "(harness)");
    if (has_support) ruby_load(mrb, support.data(), support.size(), support_path.c_str());
    if (ruby_log_exception(mrb)) {
        printf("0 passed, 1 failed\n");
        return 1;
    }
    ruby_load(mrb, source.data(), source.size(), argv[1]);
    if (ruby_log_exception(mrb)) {
        printf("0 passed, 1 failed\n");
        return 1;
    }
    static const char run[] = "zoq_run_tests";
    mrb_value counts = ruby_load(mrb, run, sizeof run - 1, "(harness)");
    ruby_log_exception(mrb);
    long passed = 0, failed = 1;
    if (mrb_array_p(counts)) {
        passed = (long)mrb_integer(mrb_ary_entry(counts, 0));
        failed = (long)mrb_integer(mrb_ary_entry(counts, 1));
    }
    printf("%ld passed, %ld failed\n", passed, failed);
    fflush(stdout);
    host_fixture_down(&fixture);
    http_test_server_stop(http_server);
    https_test_server_stop(&https_server);
    return failed == 0 && passed > 0 ? 0 : 1;
}
