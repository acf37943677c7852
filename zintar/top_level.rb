# Runs after every class and module body: the names games and the host reach first.
$top_level = self
$perf_counter_outputs_push_count = 0
$perf_counter_primitive_is_array = 0
Easing = ZOQ::Easing unless Object.const_defined?(:Easing)
ZOQ_VERSION = "2.7"
TopLevelView = ZOQ::Runtime
