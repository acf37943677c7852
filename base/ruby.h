// ruby: the host's small toolkit for talking to the interpreter: numbers in and out,
// truthiness, and host-to-Ruby calls that log and clear what they raise.
#pragma once
#include <mruby.h>
#include <stdint.h>

#include "base/threadstream.h"

// A Float is truncated (saturating, NaN gives 0); an Integer gives its low 32 bits
// (from Ruby, values past 32 bits are taken as their low bits, as the draw layout wants);
// anything else gives fallback.
int32_t ruby_to_i32(mrb_value value, int32_t fallback);
// An Integer or Float as a single; anything else gives fallback.
float ruby_to_f32(mrb_value value, float fallback);
// An Integer or Float as a double; anything else gives fallback.
double ruby_to_f64(mrb_value value, double fallback);
// Integer truncation of an Integer or Float, saturating at the int32 limits.
int32_t ruby_to_i32_saturating(mrb_value value, int32_t fallback);

static inline int ruby_truthy(mrb_value v) { return mrb_test(v) ? 1 : 0; }

// When an exception is pending: logs its inspect text and first backtrace line, clears it,
// and answers 1. Answers 0 when nothing was pending.
int ruby_log_exception(mrb_state *mrb);

// Calls recv.name(*argv) from host code and answers the result; an exception is logged,
// cleared, and the answer is nil.
mrb_value ruby_call(mrb_state *mrb, mrb_value recv, const char *name, mrb_int argc, const mrb_value *argv);
mrb_value ruby_call0(mrb_state *mrb, mrb_value recv, const char *name);
mrb_value ruby_call1(mrb_state *mrb, mrb_value recv, const char *name, mrb_value a);
mrb_value ruby_call2(mrb_state *mrb, mrb_value recv, const char *name, mrb_value a, mrb_value b);

// A new Array of two Floats (sizes and positions).
mrb_value ruby_float_pair(mrb_state *mrb, double a, double b);

// The inspect text of a value as a new NUL-terminated buffer (SDL_malloc; the caller frees).
char *ruby_inspect_alloc(mrb_state *mrb, mrb_value v);

// Ruby values written into a threadstream as the draw layout converts them (ruby_to_i32,
// ruby_to_f32; anything else gives 0 or the fallback; a String's own bytes or, for
// anything else, the null marker).
int threadstream_pack_ruby_int(threadstream *stream, mrb_value value);
int threadstream_pack_ruby_int_or_default(threadstream *stream, mrb_value value, int32_t fallback);
int threadstream_pack_ruby_float(threadstream *stream, mrb_value value);
int threadstream_pack_ruby_float_or_default(threadstream *stream, mrb_value value, float fallback);
int threadstream_pack_ruby_string(threadstream *stream, mrb_value value);
