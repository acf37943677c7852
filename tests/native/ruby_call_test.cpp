// Host-to-Ruby calls by name: a name keeps finding its own method when the same address
// is used with another interpreter (tests and the build tool open several), and when a
// buffer that held one name holds another.
#include "base/ruby.h"
#include "support/host_test.h"

#include <gtest/gtest.h>
#include <mruby/compile.h>
#include <string.h>

static mrb_int call_answer(mrb_state *mrb, const char *name)
{
    mrb_value v = ruby_call0(mrb, mrb_top_self(mrb), name);
    return mrb_integer_p(v) ? mrb_integer(v) : -1;
}

TEST(RubyCall, ANameFindsItsMethodInEveryInterpreterAndEveryBuffer)
{
    static const char *const name = "host_answer_method";
    mrb_state *first = mrb_open();
    mrb_load_string(first, "def host_answer_method; 1; end");
    EXPECT_EQ(1, call_answer(first, name));
    EXPECT_EQ(1, call_answer(first, name));
    mrb_close(first);

    // Other names first: here the method's symbol has another number.
    mrb_state *second = mrb_open();
    mrb_load_string(second, "def host_zz1; end; def host_zz2; end; def host_zz3; end\n"
                            "def host_answer_method; 2; end\ndef host_other_method; 3; end");
    EXPECT_EQ(2, call_answer(second, name));
    char buffer[32];
    strcpy(buffer, "host_answer_method");
    EXPECT_EQ(2, call_answer(second, buffer));
    strcpy(buffer, "host_other_method");
    EXPECT_EQ(3, call_answer(second, buffer));
    EXPECT_EQ(nullptr, second->exc);
    mrb_close(second);
}

// What a call raised is logged even when its inspect raises too: the class, the message it
// was made with, and what the inspect raised.
TEST(RubyCall, AnExceptionWhoseInspectRaisesIsLoggedByItsClassAndMessage)
{
    mrb_state *mrb = mrb_open();
    mrb_load_string(mrb, "class Awkward < StandardError; def inspect; raise KeyError, 'no inspect'; end; end\n"
                         "def host_raises_awkward; raise Awkward, 'made awkward'; end");
    sdl_log_capture log;
    mrb_value answer = ruby_call0(mrb, mrb_top_self(mrb), "host_raises_awkward");
    EXPECT_TRUE(mrb_nil_p(answer));
    EXPECT_EQ(1, log.count("Awkward: made awkward (its inspect raised KeyError: no inspect)"));
    EXPECT_EQ(nullptr, mrb->exc);
    mrb_close(mrb);
}
