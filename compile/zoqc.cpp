// zoqc: compiles the framework's Ruby files through the compile step and writes them as C
// arrays, one irep per file (so backtraces keep each file's name), plus a table in load
// order: zoq_framework_ireps[] and zoq_framework_count.
#include "compile/compile.h"

#include <mruby/dump.h>
#include <mruby/irep.h>
#include <mruby/proc.h>
#include <mruby/string.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <vector>

static bool read_all(const char *path, std::string &out)
{
    FILE *f = fopen(path, "rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: zoqc OUT.c FILE.rb...\n");
        return 2;
    }
    mrb_state *mrb = mrb_open();
    std::string tmp = std::string(argv[1]) + ".tmp";
    FILE *out = fopen(tmp.c_str(), "w");
    if (!out) {
        perror(tmp.c_str());
        return 1;
    }
    fprintf(out, "#include <stdint.h>\n#include <stddef.h>\n");
    for (int i = 2; i < argc; i++) {
        std::string src;
        if (!read_all(argv[i], src)) {
            fprintf(stderr, "zoqc: cannot read %s\n", argv[i]);
            return 1;
        }
        RProc *proc = ruby_compile(mrb, src.data(), src.size(), argv[i]);
        if (!proc) {
            mrb_value msg = mrb_inspect(mrb, mrb_obj_value(mrb->exc));
            fprintf(stderr, "zoqc: %.*s\n", (int)RSTRING_LEN(msg), RSTRING_PTR(msg));
            return 1;
        }
        std::string sym = "zoq_framework_" + std::to_string(i - 2);
        if (mrb_dump_irep_cfunc(mrb, proc->body.irep, MRB_DUMP_DEBUG_INFO, out, sym.c_str()) != MRB_DUMP_OK) {
            fprintf(stderr, "zoqc: cannot dump %s\n", argv[i]);
            return 1;
        }
    }
    fprintf(out, "const uint8_t *const zoq_framework_ireps[] = {");
    for (int i = 2; i < argc; i++) fprintf(out, "%szoq_framework_%d", i > 2 ? ", " : "", i - 2);
    fprintf(out, "%s};\nconst size_t zoq_framework_count = %d;\n", argc > 2 ? "" : "0", argc - 2);
    fprintf(out, "const char *const zoq_framework_files[] = {");
    for (int i = 2; i < argc; i++) fprintf(out, "%s\"%s\"", i > 2 ? ", " : "", argv[i]);
    fprintf(out, "%s};\n", argc > 2 ? "" : "0");
    fclose(out);
    mrb_close(mrb);
    return rename(tmp.c_str(), argv[1]) == 0 ? 0 : 1;
}
