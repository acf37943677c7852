// Floats as text in the interpreter itself, in bulk: a million doubles through Float#to_s and
// String#to_f come back bit for bit, each text the shortest that does and the nearest of its
// length; format gives what C's printf gives for random conversions (flags, widths, precisions).
#include <gtest/gtest.h>
#include <mruby.h>
#include <mruby/compile.h>
#include <mruby/string.h>
#include <math.h>
#include <random>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>

namespace {

struct interpreter {
    mrb_state *mrb;
    interpreter() { mrb = mrb_open(); }
    ~interpreter() { mrb_close(mrb); }
};

double from_bits(uint64_t bits)
{
    double f;
    memcpy(&f, &bits, sizeof f);
    return f;
}

uint64_t to_bits(double f)
{
    uint64_t bits;
    memcpy(&bits, &f, sizeof bits);
    return bits;
}

// The significant digits of a Ruby Float text ("-1.250e-07" gives "125").
std::string significant_digits(const std::string &text)
{
    std::string digits;
    for (char c : text) {
        if (c == 'e') break;
        if (c >= '0' && c <= '9' && !(digits.empty() && c == '0')) digits += c;
    }
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    return digits;
}

// printf's rounding of f > 0 to n significant digits, as digits and the power of ten of the last.
std::string rounded(double f, int n, int *power)
{
    char text[64];
    snprintf(text, sizeof text, "%.*e", n - 1, f);
    const char *e = strchr(text, 'e');
    *power = atoi(e + 1) - (n - 1);
    std::string digits;
    for (const char *p = text; p < e; p++) {
        if (*p != '.') digits += *p;
    }
    return digits;
}

double read_decimal(const std::string &digits, int power)
{
    return strtod((digits + "e" + std::to_string(power)).c_str(), nullptr);
}

// Whether a decimal of n significant digits reads back as f > 0. If any does, printf's rounding
// or the n-digit decimal on the other side of f does: they enclose f.
bool n_digits_read_back(double f, int n)
{
    int power;
    std::string digits = rounded(f, n, &power);
    double back = read_decimal(digits, power);
    if (back == f) return true;
    unsigned long long c = strtoull(digits.c_str(), nullptr, 10);
    c = back < f ? c + 1 : c - 1;
    return c > 0 && read_decimal(std::to_string(c), power) == f;
}

// Counts the Floats whose text misreads, is longer than needed, or is not the nearest of its
// length; the last two are checked apart from how the interpreter makes the text.
struct text_check {
    mrb_state *mrb;
    int misread = 0, longer = 0, farther = 0;

    void check(double f, bool shortest)
    {
        int ai = mrb_gc_arena_save(mrb);
        mrb_value s = mrb_funcall(mrb, mrb_float_value(mrb, f), "to_s", 0);
        mrb_value back = mrb_funcall(mrb, s, "to_f", 0);
        std::string text(RSTRING_PTR(s), (size_t)RSTRING_LEN(s));
        if (!mrb_float_p(back) || to_bits(mrb_float(back)) != to_bits(f)) {
            if (misread++ < 5) ADD_FAILURE() << std::hex << to_bits(f) << " became " << text;
        }
        if (shortest && f != 0) {
            std::string digits = significant_digits(text);
            double a = fabs(f);
            int n = (int)digits.size(), power;
            if (n > 1 && n_digits_read_back(a, n - 1) && longer++ < 5) ADD_FAILURE() << text << " is not the shortest";
            std::string nearest = rounded(a, n, &power);
            if (read_decimal(nearest, power) == a && significant_digits(nearest) != digits && farther++ < 5) {
                ADD_FAILURE() << text << " is not the nearest of its length";
            }
        }
        mrb_gc_arena_restore(mrb, ai);
    }
};

} // namespace

TEST(FloatText, AMillionDoublesReadBackExactlyFromTheirShortestNearestText)
{
    interpreter in;
    text_check checked{in.mrb};
    // Every power of two and its neighbours: where the rounding interval is lopsided.
    for (int e = -1074; e <= 1023; e++) {
        double f = ldexp(1.0, e);
        for (double g : {f, -f, nextafter(f, 0.0), nextafter(f, INFINITY)}) {
            if (isfinite(g)) checked.check(g, true);
        }
    }
    std::mt19937_64 random(2024);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 1000000; i++) {
        double f;
        switch (i % 6) {
        case 0: case 1: case 2:  // bit patterns over the whole range, subnormals and signs too
            do {
                f = from_bits(random());
            } while (!isfinite(f));
            break;
        case 3: f = unit(random) * 1000; break;
        case 4: f = (unit(random) - 0.5) * 2e6; break;
        default: f = (double)(int64_t)(random() % 200001 - 100000) / 100; break;
        }
        // Shortest and nearest on every eighth: the independent check costs more than to_s.
        checked.check(f, i % 8 == 0);
    }
    EXPECT_EQ(0, checked.misread + checked.longer + checked.farther);
    EXPECT_EQ(nullptr, in.mrb->exc);
}

TEST(FloatText, FormatGivesPrintfTextForRandomConversions)
{
    interpreter in;
    mrb_state *mrb = in.mrb;
    std::mt19937_64 random(7);
    static const char conversions[] = "feEgGaA", flags[] = "#+ -0";
    char spec[64], expected[4096];
    for (int i = 0; i < 20000; i++) {
        double f;
        do {
            f = i % 2 ? from_bits(random()) : (double)(int64_t)(random() % 2000001 - 1000000) / 1000;
        } while (!isfinite(f));
        char *p = spec;
        *p++ = '%';
        for (char flag : std::string(flags)) {
            if (random() % 4 == 0) *p++ = flag;
        }
        // Widths and precisions past the result's first buffer make it grow.
        if (random() % 2) p += sprintf(p, "%d", (int)(random() % (random() % 8 ? 40 : 1200)) + 1);
        if (random() % 3) p += sprintf(p, ".%d", (int)(random() % (random() % 8 ? 25 : 800)));
        *p++ = conversions[random() % 7];
        *p = '\0';
        snprintf(expected, sizeof expected, spec, f);
        int ai = mrb_gc_arena_save(mrb);
        mrb_value args[] = {mrb_str_new_cstr(mrb, spec), mrb_float_value(mrb, f)};
        mrb_value got = mrb_funcall_argv(mrb, mrb_top_self(mrb), mrb_intern_lit(mrb, "format"), 2, args);
        ASSERT_EQ(nullptr, mrb->exc) << spec;
        ASSERT_EQ(std::string(expected), std::string(RSTRING_PTR(got), (size_t)RSTRING_LEN(got))) << spec;
        mrb_gc_arena_restore(mrb, ai);
    }
}

TEST(FloatText, SubnormalLiteralsParseWithoutAWarningAndOutOfRangeOnesWarn)
{
    interpreter in;
    mrb_state *mrb = in.mrb;
    mrbc_context *context = mrbc_context_new(mrb);
    context->capture_errors = TRUE;
    struct {
        const char *code;
        size_t warnings;
    } cases[] = {{"[5.0e-324, 2.2250738585072014e-308, 1.0e-310]", 0}, {"1e-400", 1}, {"1e400", 1}};
    for (const auto &c : cases) {
        mrb_parser_state *parser = mrb_parse_string(mrb, c.code, context);
        ASSERT_NE(nullptr, parser);
        EXPECT_EQ(0u, parser->nerr) << c.code;
        EXPECT_EQ(c.warnings, parser->nwarn) << c.code;
        mrb_parser_free(parser);
    }
    mrbc_context_free(mrb, context);
}
