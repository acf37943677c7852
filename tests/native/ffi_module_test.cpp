// ffi_init over an interpreter whose framework already opened module FFI, and the
// FFI::CPtr objects the host makes for native pointers.
#include "compile/compile.h"
#include "ffi/ffi.h"
#include "support/host_test.h"

#include <gtest/gtest.h>
#include <mruby/variable.h>
#include <string>

class FfiModule : public HostTest {};

TEST_F(FfiModule, InitKeepsWhatTheFrameworkAlreadyPutIntoFfi)
{
    mrb_state *mrb = mrb_open();
    ASSERT_TRUE(mrb);
    host_fixture_eval_in(mrb, "module FFI; KEPT = 1; class Draw; def to_s; ''; end; end; end");
    game_context context = game_context();
    context.interpreter = mrb;
    ffi_init(&context, nullptr);
    EXPECT_EQ("\"\"", host_fixture_eval_in(mrb, "FFI::Draw.new.to_s"));
    EXPECT_EQ("1", host_fixture_eval_in(mrb, "FFI::KEPT"));
    EXPECT_EQ("[FFI::CPtr, FFI::Draw, FFI::File, FFI::MRB, FFI::Misc]",
              host_fixture_eval_in(mrb, "FFI.constants.select { |c| FFI.const_get(c).is_a?(Class) }.sort"
                                        ".map { |c| FFI.const_get(c) }"));
    EXPECT_EQ(mrb_module_get(mrb, "FFI"), context.ffi_module);
    mrb_close(mrb);
    ffi_init(&test_game, nullptr);
}

TEST_F(FfiModule, CPtrObjectsCarryTheHostsPointerWithoutOwningIt)
{
    mrb_state *mrb = test_game.interpreter;
    static int pointee = 42;
    mrb_value c = ffi_cptr_new(mrb, &pointee);
    ASSERT_FALSE(mrb->exc);
    EXPECT_EQ(&pointee, ffi_cptr_get(c));
    EXPECT_EQ(mrb_class_get_under(mrb, test_game.ffi_module, "CPtr"), mrb_obj_class(mrb, c));
    mrb_gv_set(mrb, mrb_intern_lit(mrb, "$made_by_host"), c);
    EXPECT_EQ("true", host_fixture_eval("$made_by_host.is_a?(FFI::CPtr)"));
    // Values that carry no host pointer, an FFI::CPtr made in Ruby among them.
    for (mrb_value v : {mrb_nil_value(), mrb_int_value(mrb, 5), ruby_load(mrb, "FFI::CPtr.new(1, 2)", 19, "(test)"),
                        ruby_load(mrb, "Time.now", 8, "(test)")})
        EXPECT_EQ(nullptr, ffi_cptr_get(v));
    ASSERT_FALSE(mrb->exc);
    // Collecting the objects leaves the pointee alone.
    mrb_gv_set(mrb, mrb_intern_lit(mrb, "$made_by_host"), mrb_nil_value());
    mrb_full_gc(mrb);
    EXPECT_EQ(42, pointee);
}
