// replay_events: the event lines of a replay file read natively, since a long recording holds
// hundreds of thousands of them. The framework's ZOQ::ReplayFile reads the file, checks it and
// words its errors; this reads only the lines of the plain form, exactly as the framework
// would read them, and leaves every other line to it.
#pragma once
#include <mruby.h>

// Defines ZOQ::ReplayFile.read_plain_events(text, history, checks) before the framework
// loads. Each line of `text` ("\n" ends a line) that, stripped as String#strip strips, is an
// event of the plain form whose values its callback takes is appended to `history` (tick =>
// [event Hash, ...]); blank lines are skipped; answers [index, line] for each line left, the
// line as it stands in the text. Plain: "[:name, v1, v2, count, id, tick]" with blanks only
// after commas, numbers as the interpreter writes them (an Integer of at most 18 digits, or a
// Float with a point or an exponent), value_1 a String without escapes for a callback that
// takes one. `checks` maps a callback's Symbol to [count, first, second]: first and second are
// [low, high], first may be a Hash of the keys it may take or nil for a String; a count of nil
// leaves the line. Nothing is made for a blank line, so a file padded with them costs no more
// than its own text.
void replay_events_define(mrb_state *mrb);
