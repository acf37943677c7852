// Times the loops of arith_cases.rb compiled two ways: by plain mrbc (an image given on the
// command line, run as it is) and by the runtime's compile step. Prints nanoseconds per
// loop iteration, best of several runs. Usage: arith_bench arith_cases.rb arith_cases.mrb [n]
#include "host/compile.h"
#include "support/test_files.h"

#include <mruby/irep.h>
#include <mruby/string.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <string>

static double now(void)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

// Best time of runs calls of name(n), in nanoseconds per iteration.
static double time_case(mrb_state *mrb, const char *name, mrb_int n, int runs)
{
    double best = 1e30;
    for (int r = 0; r < runs; r++) {
        int ai = mrb_gc_arena_save(mrb);
        double start = now();
        mrb_funcall(mrb, mrb_top_self(mrb), name, 1, mrb_int_value(mrb, n));
        double elapsed = now() - start;
        mrb_gc_arena_restore(mrb, ai);
        if (mrb->exc) {
            fprintf(stderr, "%s raised\n", name);
            exit(1);
        }
        if (elapsed < best) best = elapsed;
    }
    return best * 1e9 / (double)n;
}

static void print_value(mrb_state *mrb, const char *label, const char *name)
{
    mrb_value v = mrb_funcall(mrb, mrb_top_self(mrb), name, 1, mrb_int_value(mrb, 3));
    mrb_value s = mrb_inspect(mrb, v);
    printf("  %s %s(3) = %.*s\n", label, name, (int)RSTRING_LEN(s), RSTRING_PTR(s));
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: arith_bench CASES.rb CASES.mrb [iterations]\n");
        return 2;
    }
    std::string source, image;
    if (!read_file_into(argv[1], source) || !read_file_into(argv[2], image)) {
        fprintf(stderr, "cannot read %s or %s\n", argv[1], argv[2]);
        return 2;
    }
    mrb_int n = argc > 3 ? atol(argv[3]) : 10000000;
    const int runs = 7;

    mrb_state *plain = mrb_open();
    mrb_load_irep_buf(plain, image.data(), image.size());
    mrb_state *ours = mrb_open();
    ruby_compile_init(ours);
    ruby_load(ours, source.data(), source.size(), argv[1]);
    if (plain->exc || ours->exc) {
        fprintf(stderr, "loading the cases failed\n");
        mrb_close(plain);
        mrb_close(ours);
        return 1;
    }

    const char *cases[] = {"bench_bare", "bench_div", "bench_float_div", "bench_literal_div", "bench_calls",
                           "bench_blocks"};
    double t_plain[6], t_ours[6];
    printf("%-18s %10s %10s %7s   (ns per iteration, best of %d, n = %ld)\n", "case", "mrbc", "compile", "ratio",
           runs, (long)n);
    for (int i = 0; i < 6; i++) {
        t_plain[i] = time_case(plain, cases[i], n, runs);
        t_ours[i] = time_case(ours, cases[i], n, runs);
        printf("%-18s %10.2f %10.2f %7.2f\n", cases[i], t_plain[i], t_ours[i], t_ours[i] / t_plain[i]);
    }
    double div_plain = t_plain[1] - t_plain[0], div_ours = t_ours[1] - t_ours[0];
    printf("one Integer division (bench_div - bench_bare): mrbc %.2f ns, compile step %.2f ns, ratio %.2f\n",
           div_plain, div_ours, div_ours / div_plain);
    double flo_plain = t_plain[2] - t_plain[0], flo_ours = t_ours[2] - t_ours[0];
    printf("one Float division (bench_float_div - bench_bare): mrbc %.2f ns, compile step %.2f ns, ratio %.2f\n",
           flo_plain, flo_ours, flo_ours / flo_plain);
    print_value(plain, "mrbc   ", "bench_div");
    print_value(ours, "compile", "bench_div");
    print_value(plain, "mrbc   ", "bench_literal_div");
    print_value(ours, "compile", "bench_literal_div");
    mrb_close(plain);
    mrb_close(ours);
    return 0;
}
