# Runs after every class and module body: the names games and the host reach first.
$top_level = self
$perf_counter_outputs_push_count = 0
$perf_counter_primitive_is_array = 0
Easing = ZOQ::Easing if ZOQ.const_defined?(:Easing) && !Object.const_defined?(:Easing)
unless Object.const_defined?(:XTERM_COLOR)
  XTERM_COLOR = {
    black: "\x1b[30m", red: "\x1b[31m", green: "\x1b[32m", yellow: "\x1b[33m",
    blue: "\x1b[34m", magenta: "\x1b[35m", cyan: "\x1b[36m", white: "\x1b[37m",
    bright_black: "\x1b[30;1m", bright_red: "\x1b[31;1m", bright_green: "\x1b[32;1m",
    bright_yellow: "\x1b[33;1m", bright_blue: "\x1b[34;1m", bright_magenta: "\x1b[35;1m",
    bright_cyan: "\x1b[36;1m", bright_white: "\x1b[37;1m", reset: "\x1b[0m"
  }
end
ARRAY_WHITELIST = [:map, :flat_map, :map_with_index] unless Object.const_defined?(:ARRAY_WHITELIST)
ZOQ_VERSION = "2.7"
TopLevelView = ZOQ::Runtime
