// Threadstream packing, growth, unpacking, the pool and the queues.
#include "host/threadstream.h"
#include "compile/compile.h"

#include <gtest/gtest.h>
#include <mruby/string.h>
#include <math.h>
#include <string.h>

class Threadstream : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(threadstream_init()); }
    void TearDown() override { threadstream_quit(); }
};

TEST_F(Threadstream, StringsArePaddedToFourBytesAndNullIsAMarker)
{
    threadstream *s = threadstream_allocate();
    ASSERT_TRUE(s);
    threadstream_pack_string(s, "");
    EXPECT_EQ(8u, s->length);
    threadstream_pack_string(s, "abc");
    EXPECT_EQ(16u, s->length);
    threadstream_pack_string(s, "abcd");
    EXPECT_EQ(28u, s->length);
    threadstream_pack_string(s, nullptr);
    EXPECT_EQ(32u, s->length);
    threadstream_pack_buffer(s, "a\0b", 3);

    size_t n = 99;
    EXPECT_STREQ("", threadstream_unpack_string(s, &n));
    EXPECT_EQ(0u, n);
    EXPECT_STREQ("abc", threadstream_unpack_string(s, &n));
    EXPECT_EQ(3u, n);
    EXPECT_STREQ("abcd", threadstream_unpack_string(s, &n));
    EXPECT_EQ(nullptr, threadstream_unpack_string(s, &n));
    EXPECT_EQ(0u, s->error);
    const char *bytes = threadstream_unpack_buffer(s, &n);
    ASSERT_EQ(3u, n);
    EXPECT_EQ(0, memcmp("a\0b", bytes, 3));
    EXPECT_TRUE(threadstream_eos(s));
    EXPECT_EQ(0u, s->error);
    threadstream_free(s);
}

TEST_F(Threadstream, TruncatedReadsSetTheStickyErrorAndAnswerZero)
{
    threadstream *s = threadstream_allocate();
    threadstream_pack_u32(s, 10); // claims ten bytes that are not there
    size_t n = 7;
    EXPECT_STREQ("", threadstream_unpack_string(s, &n));
    EXPECT_EQ(0u, n);
    EXPECT_EQ(1u, s->error);
    EXPECT_TRUE(threadstream_eos(s));
    EXPECT_EQ(0, threadstream_unpack_int(s));
    threadstream_free(s);

    s = threadstream_allocate();
    threadstream_pack_int(s, 5);
    EXPECT_EQ(0u, threadstream_unpack_size_t(s)); // needs 8 bytes, 4 remain
    EXPECT_EQ(0u, s->read_position);
    threadstream_free(s);
}

TEST_F(Threadstream, CapacityDoublesOnlyWhenAWriteDoesNotFit)
{
    threadstream *s = threadstream_allocate();
    for (int i = 0; i < 255; i++) threadstream_pack_int(s, i);
    EXPECT_EQ(1020u, s->length);
    threadstream_pack_int(s, 1);
    EXPECT_EQ(1024u, s->capacity);
    threadstream_pack_int(s, 2);
    EXPECT_EQ(2048u, s->capacity);
    std::string big(10000, 'x');
    threadstream_pack_string(s, big.c_str());
    EXPECT_EQ(16384u, s->capacity);
    threadstream_free(s);
}

TEST_F(Threadstream, OversizedBuffersSetTheErrorAndLaterPacksWriteNothing)
{
    threadstream *s = threadstream_allocate();
    char one = 'x';
    EXPECT_EQ(0, threadstream_pack_buffer(s, &one, 0xFFFFFFFFull));
    EXPECT_EQ(1u, s->error);
    size_t before = s->length;
    EXPECT_EQ(0, threadstream_pack_int(s, 1));
    EXPECT_EQ(before, s->length);
    EXPECT_EQ(0, threadstream_claim_space(s, SIZE_MAX));
    threadstream_free(s);
    EXPECT_EQ(0, threadstream_pack_int(nullptr, 1));
}

TEST_F(Threadstream, RecycledStreamsKeepTheirBuffer)
{
    threadstream *s = threadstream_allocate();
    for (int i = 0; i < 1000; i++) threadstream_pack_int(s, i);
    s->error = 1;
    uint8_t *data = s->data;
    size_t capacity = s->capacity;
    threadstream_free(s);
    threadstream *again = threadstream_allocate();
    EXPECT_EQ(s, again);
    EXPECT_EQ(data, again->data);
    EXPECT_EQ(capacity, again->capacity);
    EXPECT_EQ(0u, again->length);
    EXPECT_EQ(0u, again->read_position);
    EXPECT_EQ(0u, again->error);
    threadstream_free(again);
}

TEST_F(Threadstream, QueuesAreFifoAndReturnTheirStreamsWhenFreed)
{
    threadstreamqueue *q = threadstreamqueue_allocate();
    ASSERT_TRUE(q);
    EXPECT_EQ(nullptr, threadstreamqueue_getitem(q));
    threadstream *a = threadstream_allocate(), *b = threadstream_allocate(), *c = threadstream_allocate();
    threadstreamqueue_putitem(q, a);
    threadstreamqueue_putitem(q, b);
    EXPECT_EQ(2, threadstreamqueue_getcount(q));
    EXPECT_EQ(a, threadstreamqueue_getitem(q));
    threadstreamqueue_putitem(q, c);
    EXPECT_EQ(b, threadstreamqueue_getitem(q));
    EXPECT_EQ(c, threadstreamqueue_getitem(q));
    EXPECT_EQ(nullptr, threadstreamqueue_getitem(q));
    EXPECT_EQ(0, threadstreamqueue_getcount(q));
    threadstreamqueue_putitem(q, a);
    threadstreamqueue_putitem(q, b);
    int pooled = threadstream_pool_size();
    threadstreamqueue_free(q);
    EXPECT_EQ(pooled + 2, threadstream_pool_size());
    threadstream_free(c);
}

TEST_F(Threadstream, RubyNumbersConvertByTruncationAndSaturation)
{
    mrb_state *mrb = mrb_open();
    threadstream *s = threadstream_allocate();
    threadstream_pack_ruby_int(s, mrb_float_value(mrb, 2.9));
    threadstream_pack_ruby_int(s, mrb_float_value(mrb, -2.9));
    threadstream_pack_ruby_int(s, mrb_float_value(mrb, 1e12));
    threadstream_pack_ruby_int(s, mrb_float_value(mrb, NAN));
    threadstream_pack_ruby_int(s, mrb_nil_value());
    threadstream_pack_ruby_int_or_default(s, mrb_nil_value(), 255);
    threadstream_pack_ruby_int(s, mrb_int_value(mrb, 7));
    threadstream_pack_ruby_float(s, mrb_int_value(mrb, 3));
    threadstream_pack_ruby_float_or_default(s, mrb_str_new_lit(mrb, "x"), 0.5f);
    threadstream_pack_ruby_string(s, mrb_str_new(mrb, "a\0b", 3));
    threadstream_pack_ruby_string(s, mrb_nil_value());
    EXPECT_EQ(2, threadstream_unpack_int(s));
    EXPECT_EQ(-2, threadstream_unpack_int(s));
    EXPECT_EQ(INT32_MAX, threadstream_unpack_int(s));
    EXPECT_EQ(0, threadstream_unpack_int(s));
    EXPECT_EQ(0, threadstream_unpack_int(s));
    EXPECT_EQ(255, threadstream_unpack_int(s));
    EXPECT_EQ(7, threadstream_unpack_int(s));
    EXPECT_EQ(3.0f, threadstream_unpack_float(s));
    EXPECT_EQ(0.5f, threadstream_unpack_float(s));
    size_t n = 0;
    threadstream_unpack_string(s, &n);
    EXPECT_EQ(3u, n);
    EXPECT_EQ(nullptr, threadstream_unpack_string(s, &n));
    threadstream_free(s);
    mrb_close(mrb);
}
