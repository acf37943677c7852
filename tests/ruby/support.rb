# Helpers shared by the Ruby test files: the runner loads this file before each of them.

# What loading queued files raised (the host names each to the runtime and goes on), and
# every path loaded, in order.
$host_errors = []
$host_loaded = []

# Stand-ins on the first runtime for the log tests, each asleep until its global is set:
# $lib_seen collects what reaches the low-level log, $lib_log_error makes it raise,
# $lib_production fakes production, $lib_notes collects notifications, $lib_cli replaces
# the command line. They are defined once and never removed: this interpreter's
# remove_method leaves a stale method cache entry behind.
class << $zoq
  def log obj, sender = nil
    raise $lib_log_error if $lib_log_error
    return super unless $lib_seen
    $lib_seen << [obj, sender]
    nil
  end

  def production
    $lib_production ? true : super
  end

  def notify! message, duration = 300
    $lib_notes << message if $lib_notes
    super
  end

  def cli_arguments
    $lib_cli || super
  end
end

# One step the way the host makes it: queued files are loaded from the very Array the
# runtime hands over, then tick, then reload_complete when something was loaded. Answers
# what tick answered.
def host_step ms
  list = $zoq.get_ruby_reload_list
  count = list.length
  until list.empty?
    path = list.shift
    $host_loaded << path
    text = $zoq.ffi_file.read(path)
    begin
      $zoq.ffi_mrb.eval(text) if text
    rescue Exception => e
      $host_errors << e
      $zoq.load_failed path, e
    end
  end
  result = $zoq.tick ms
  $zoq.reload_complete if count > 0
  result
end

# A fresh runtime, without the reset and boot hooks of an earlier game.
def new_runtime argv = "./zintarel game", production: false
  [:reset, :boot].each { |hook| Object.send(:remove_method, hook) if Object.method_defined?(hook) }
  $zoq = $runtime = $args = $state = $console = $recording = $tests = $wizards = nil
  ZOQ::Runtime.new("Linux", production, 1280, 720, argv, "./zintarel")
end

# A fresh runtime over the given main.rb, stepped until the game is ready (its first tick
# is the next calculation). Answers the next free millisecond time.
def boot_game main_source, argv = "./zintarel game", production: false
  FFI::File.new.write "app/main.rb", main_source
  new_runtime argv, production: production
  host_step 1000
  host_step 1020
  assert_equal :ready, $zoq.load_status
  1040
end

# Steps the runtime n times, 20 ms apart, from the time given; answers the next time.
def run_steps from, n
  n.times { |i| host_step from + i * 20 }
  from + n * 20
end

# Runs the block with Kernel.tick_count set to tick.
def at_tick tick
  saved = Kernel.tick_count
  Kernel.tick_count = tick
  yield
ensure
  Kernel.tick_count = saved
end

# The bytes of a file below the base (write) folder; "" while there is none.
def on_disk path
  host_logfile_flush
  full = "#{$test_base_dir}/#{path}"
  return "" unless File.exist?(full)
  f = File.open(full, "rb")
  data = f.read
  f.close
  data || ""
end
