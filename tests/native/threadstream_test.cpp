// Threadstream packing, growth, unpacking, the pool and the queues.
#include "base/ruby.h"
#include "base/threadstream.h"
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

TEST_F(Threadstream, StringsArePaddedToFourBytesNullIsAMarkerAndTruncatedReadsSetTheStickyError)
{
    threadstream *s = threadstream_allocate();
    ASSERT_TRUE(s);
    struct { const char *text; size_t length_after; } strings[] = {{"", 8}, {"abc", 16}, {"abcd", 28}, {nullptr, 32}};
    for (const auto &c : strings) {
        threadstream_pack_string(s, c.text);
        EXPECT_EQ(c.length_after, s->length) << (c.text ? c.text : "null");
    }
    threadstream_pack_buffer(s, "a\0b", 3);
    for (const auto &c : strings) {
        size_t n = 99;
        const char *got = threadstream_unpack_string(s, &n);
        if (!c.text) {
            EXPECT_EQ(nullptr, got);
            continue;
        }
        EXPECT_STREQ(c.text, got);
        EXPECT_EQ(strlen(c.text), n);
    }
    size_t n = 0;
    const char *bytes = threadstream_unpack_buffer(s, &n);
    ASSERT_EQ(3u, n);
    EXPECT_EQ(0, memcmp("a\0b", bytes, 3));
    EXPECT_TRUE(threadstream_eos(s));
    EXPECT_EQ(0u, s->error);
    threadstream_free(s);

    s = threadstream_allocate();
    threadstream_pack_u32(s, 10); // claims ten bytes that are not there
    n = 7;
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

// A string record cut anywhere before its NUL is an error that leaves the read position
// inside the stream; from the NUL on (its padding may be missing) it reads whole.
TEST_F(Threadstream, AStringRecordCutAtEveryByteReadsWholeOnlyWithItsNul)
{
    for (const char *text : {"", "ab", "abc", "abcd", "abcdefg"}) {
        threadstream *whole = threadstream_allocate();
        threadstream_pack_string(whole, text);
        size_t with_nul = 4 + strlen(text) + 1;
        for (size_t cut = 0; cut <= whole->length; cut++) {
            threadstream *s = threadstream_allocate();
            threadstream_pack_buffer(s, nullptr, 0); // a first record read whole
            size_t start = s->length;
            threadstream_claim_space(s, cut);
            memcpy(s->data + s->length, whole->data, cut);
            s->length += cut;
            threadstream_unpack_string(s, nullptr);
            size_t n = 99;
            const char *got = threadstream_unpack_string(s, &n);
            bool whole_enough = cut >= with_nul;
            EXPECT_EQ(whole_enough ? 0u : 1u, s->error) << '"' << text << "\" cut at " << cut;
            EXPECT_STREQ(whole_enough ? text : "", got) << '"' << text << "\" cut at " << cut;
            EXPECT_EQ(whole_enough ? strlen(text) : 0u, n) << '"' << text << "\" cut at " << cut;
            if (!whole_enough) {
                EXPECT_LE(s->read_position, start + cut) << '"' << text << "\" cut at " << cut;
            }
            threadstream_free(s);
        }
        threadstream_free(whole);
    }
}

TEST_F(Threadstream, CapacityDoublesOnlyWhenAWriteDoesNotFitAndOversizedWritesSetTheError)
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
    // After an oversized buffer later packs write nothing.
    char one = 'x';
    EXPECT_EQ(0, threadstream_pack_buffer(s, &one, 0xFFFFFFFFull));
    EXPECT_EQ(1u, s->error);
    size_t before = s->length;
    EXPECT_EQ(0, threadstream_pack_int(s, 1));
    EXPECT_EQ(before, s->length);
    EXPECT_EQ(0, threadstream_claim_space(s, SIZE_MAX));
    EXPECT_EQ(0, threadstream_pack_int(nullptr, 1));

    // A recycled stream keeps its buffer and starts clean.
    uint8_t *data = s->data;
    threadstream_free(s);
    threadstream *again = threadstream_allocate();
    EXPECT_EQ(s, again);
    EXPECT_EQ(data, again->data);
    EXPECT_EQ(16384u, again->capacity);
    EXPECT_EQ(0u, again->length + again->read_position + again->error);
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
    for (int32_t want : {2, -2, INT32_MAX, 0, 0, 255, 7}) EXPECT_EQ(want, threadstream_unpack_int(s));
    EXPECT_EQ(3.0f, threadstream_unpack_float(s));
    EXPECT_EQ(0.5f, threadstream_unpack_float(s));
    size_t n = 0;
    threadstream_unpack_string(s, &n);
    EXPECT_EQ(3u, n);
    EXPECT_EQ(nullptr, threadstream_unpack_string(s, &n));
    threadstream_free(s);
    mrb_close(mrb);
}
