// compile_rewrite: the part of the compile step that works on generated code. The VM
// divides two Integers inline with floor division and never asks Integer#/, so every
// OP_DIV becomes a send of RUBY_COMPILE_DIV_METHOD, answered natively (compile.cpp).
// Growing an instruction moves everything after it, so jumps, catch handlers and line
// tables are rebuilt as well.
#include "host/compile.h"

#include <mruby/debug.h>
#include <mruby/dump.h>
#include <mruby/irep.h>
#include <mruby/opcode.h>
#include <mruby/proc.h>
#include <string.h>
#include <utility>

enum operand_format { FMT_Z, FMT_B, FMT_BB, FMT_BBB, FMT_BS, FMT_BSS, FMT_S, FMT_W };

static const uint8_t insn_format[] = {
#define OPCODE(name, format) FMT_##format,
#include <mruby/ops.h>
#undef OPCODE
};
static const unsigned insn_count = sizeof insn_format;

// Operand bytes of each format, plain and after EXT1, EXT2 and EXT3: the widths that
// opcode.h's FETCH_x, FETCH_x_1, FETCH_x_2 and FETCH_x_3 read.
static const uint8_t operand_bytes[8][4] = {
    {0, 0, 0, 0}, // Z
    {1, 2, 1, 1}, // B
    {2, 3, 3, 4}, // BB
    {3, 4, 4, 5}, // BBB
    {3, 4, 3, 4}, // BS
    {5, 6, 5, 6}, // BSS
    {2, 2, 2, 2}, // S
    {3, 3, 3, 3}, // W
};

static const uint32_t NOT_A_START = 0xffffffffu;

struct insn {
    uint8_t op;
    uint8_t ext; // 0, or 1 to 3 after OP_EXT1 to OP_EXT3
    uint32_t len; // prefix included
};

// Decodes the instruction at pc; answers 0 when the bytes there are no whole instruction.
static int insn_decode(const mrb_code *iseq, uint32_t ilen, uint32_t pc, insn *out)
{
    uint32_t at = pc;
    uint8_t op = iseq[at];
    uint8_t ext = 0;
    if (op == OP_EXT1 || op == OP_EXT2 || op == OP_EXT3) {
        ext = (uint8_t)(op - OP_EXT1 + 1);
        if (++at >= ilen) return 0;
        op = iseq[at];
        if (op == OP_EXT1 || op == OP_EXT2 || op == OP_EXT3) return 0;
    }
    if (op >= insn_count) return 0;
    uint32_t len = at - pc + 1 + operand_bytes[insn_format[op]][ext];
    if (len > ilen - pc) return 0;
    out->op = op;
    out->ext = ext;
    out->len = len;
    return 1;
}

static int insn_is_jump(uint8_t op)
{
    return op == OP_JMP || op == OP_JMPIF || op == OP_JMPNOT || op == OP_JMPNIL || op == OP_JMPUW;
}

// A division's register: 16 bits only after EXT1 (FETCH_B_2 and FETCH_B_3 read one byte).
static uint32_t div_register(const mrb_code *at, const insn &in)
{
    const mrb_code *p = at + (in.ext ? 2 : 1);
    return in.ext == 1 ? (uint32_t)(p[0] << 8 | p[1]) : p[0];
}

static uint32_t send_length(uint32_t reg, uint32_t sym)
{
    uint32_t len = 4;
    if (reg > 255) len++;
    if (sym > 255) len++;
    if (reg > 255 || sym > 255) len++; // the EXT prefix
    return len;
}

// SEND reg sym 1, widened by the EXT prefix the operands need.
static uint32_t send_emit(mrb_code *out, uint32_t reg, uint32_t sym)
{
    mrb_code *p = out;
    if (reg > 255 && sym > 255) *p++ = OP_EXT3;
    else if (reg > 255) *p++ = OP_EXT1;
    else if (sym > 255) *p++ = OP_EXT2;
    *p++ = OP_SEND;
    if (reg > 255) *p++ = (mrb_code)(reg >> 8);
    *p++ = (mrb_code)(reg & 0xff);
    if (sym > 255) *p++ = (mrb_code)(sym >> 8);
    *p++ = (mrb_code)(sym & 0xff);
    *p++ = 1;
    return (uint32_t)(p - out);
}

// OP_DIV count of one irep alone, -1 when it does not decode.
static long irep_div_count(const mrb_irep *irep)
{
    long count = 0;
    for (uint32_t pc = 0; pc < irep->ilen;) {
        insn in;
        if (!insn_decode(irep->iseq, irep->ilen, pc, &in)) return -1;
        if (in.op == OP_DIV) count++;
        pc += in.len;
    }
    return count;
}

long ruby_compile_count_div(const mrb_irep *irep)
{
    long count = irep_div_count(irep);
    for (uint16_t i = 0; count >= 0 && i < irep->rlen; i++) {
        long child = ruby_compile_count_div(irep->reps[i]);
        count = child < 0 ? -1 : count + child;
    }
    return count;
}

static uint32_t packed_int(const uint8_t **p, const uint8_t *end)
{
    uint32_t n = 0;
    for (unsigned shift = 0; *p < end && shift < 32; shift += 7) {
        uint8_t b = *(*p)++;
        n |= (uint32_t)(b & 0x7f) << shift;
        if (!(b & 0x80)) break;
    }
    return n;
}

// Fills line[pc] for every byte pc of [begin, end) from one file's table; a packed table
// is walked once, the older forms are asked pc by pc.
static void file_lines(mrb_state *mrb, const mrb_irep *irep, const mrb_irep_debug_info_file *f, uint32_t begin,
                       uint32_t end, uint16_t *line)
{
    if (f->line_type != mrb_debug_line_packed_map) {
        for (uint32_t pc = begin; pc < end; pc++) line[pc] = (uint16_t)mrb_debug_get_line(mrb, irep, pc);
        return;
    }
    const uint8_t *p = f->lines.packed_map;
    const uint8_t *pend = p + f->line_entry_count;
    uint32_t current = 0, next_pos = 0, next_diff = 0;
    int more = p < pend;
    if (more) {
        next_pos = packed_int(&p, pend);
        next_diff = packed_int(&p, pend);
    }
    for (uint32_t pc = begin; pc < end; pc++) {
        while (more && next_pos <= pc) {
            current += next_diff;
            more = p < pend;
            if (more) {
                next_pos += packed_int(&p, pend);
                next_diff = packed_int(&p, pend);
            }
        }
        line[pc] = (uint16_t)current;
    }
}

// Rebuilds the line tables for the new layout. The generator records a line per byte (a
// patched jump offset carries the line where it was patched); moved instructions keep
// theirs byte for byte, and a grown division takes the line of its last byte, the one a
// backtrace looks up.
static void rebuild_lines(mrb_state *mrb, mrb_irep *irep, const uint32_t *map, uint32_t new_ilen, uint16_t *old_line,
                          uint16_t *new_line)
{
    mrb_irep_debug_info *old = irep->debug_info;
    uint32_t ilen = irep->ilen;
    memset(old_line, 0, sizeof(uint16_t) * (ilen + 1));
    memset(new_line, 0, sizeof(uint16_t) * (new_ilen + 1));
    for (uint16_t i = 0; i < old->flen; i++) {
        uint32_t begin = old->files[i]->start_pos;
        uint32_t end = i + 1 < old->flen ? old->files[i + 1]->start_pos : old->pc_count;
        if (end > ilen) end = ilen;
        if (begin < end) file_lines(mrb, irep, old->files[i], begin, end, old_line);
    }
    for (uint32_t pc = 0; pc < ilen;) {
        insn in;
        insn_decode(irep->iseq, ilen, pc, &in);
        uint32_t grown = map[pc + in.len] - map[pc];
        for (uint32_t k = 0; k < grown; k++)
            new_line[map[pc] + k] = grown == in.len ? old_line[pc + k] : old_line[pc + in.len - 1];
        pc += in.len;
    }

    irep->debug_info = nullptr;
    mrb_irep_debug_info *fresh = mrb_debug_info_alloc(mrb, irep);
    for (uint16_t i = 0; i < old->flen; i++) {
        uint32_t begin = old->files[i]->start_pos;
        uint32_t end = i + 1 < old->flen ? old->files[i + 1]->start_pos : old->pc_count;
        if (begin > ilen || end > ilen || map[begin] == NOT_A_START || map[end] == NOT_A_START) continue;
        const char *name = mrb_sym_name(mrb, old->files[i]->filename_sym);
        if (name) mrb_debug_info_append_file(mrb, fresh, name, new_line, map[begin], map[end]);
    }
    mrb_debug_info_free(mrb, old);
}

static uint32_t sym_index(const mrb_irep *irep, mrb_sym sym)
{
    for (uint16_t i = 0; i < irep->slen; i++)
        if (irep->syms[i] == sym) return i;
    return irep->slen;
}

// Rewrites the divisions of one irep. Answers 0, with the irep unchanged, when it cannot:
// bytes that do not decode, a jump or handler off an instruction start, or a jump that
// would no longer reach.
static int rewrite_irep(mrb_state *mrb, mrb_irep *irep, mrb_sym div)
{
    const mrb_code *iseq = irep->iseq;
    uint32_t ilen = irep->ilen;
    long divisions = irep_div_count(irep);
    if (divisions == 0) return 1;
    if (divisions < 0 || (irep->flags & MRB_IREP_NO_FREE)) return 0;
    uint32_t sym = sym_index(irep, div);
    if (sym == 0xffff) return 0; // a new symbol would not fit the table's 16-bit length

    uint32_t *map = (uint32_t *)mrb_malloc_simple(mrb, sizeof(uint32_t) * ((size_t)ilen + 1));
    if (!map) return 0;
    for (uint32_t pc = 0; pc <= ilen; pc++) map[pc] = NOT_A_START;
    uint32_t new_ilen = 0;
    uint32_t need_regs = irep->nregs;
    for (uint32_t pc = 0; pc < ilen;) {
        insn in;
        insn_decode(iseq, ilen, pc, &in);
        map[pc] = new_ilen;
        if (in.op == OP_DIV) {
            uint32_t reg = div_register(iseq + pc, in);
            new_ilen += send_length(reg, sym);
            // A send clears the block slot after its argument: R[a+2].
            if (reg + 3 > need_regs) need_regs = reg + 3;
        } else {
            new_ilen += in.len;
        }
        pc += in.len;
    }
    map[ilen] = new_ilen;
    size_t handlers = (size_t)irep->clen * sizeof(struct mrb_irep_catch_handler);
    mrb_code *code = nullptr;
    uint16_t *old_line = nullptr;
    uint16_t *new_line = nullptr;
    int ok = need_regs <= 0xffff;
    if (ok) code = (mrb_code *)mrb_malloc_simple(mrb, new_ilen + handlers);
    ok = ok && code;

    for (uint32_t pc = 0; ok && pc < ilen;) {
        insn in;
        insn_decode(iseq, ilen, pc, &in);
        mrb_code *out = code + map[pc];
        if (in.op == OP_DIV) {
            send_emit(out, div_register(iseq + pc, in), sym);
        } else {
            memcpy(out, iseq + pc, in.len);
            if (insn_is_jump(in.op)) {
                // Offsets count from the end of the whole instruction, prefix included.
                int16_t offset = (int16_t)(iseq[pc + in.len - 2] << 8 | iseq[pc + in.len - 1]);
                int64_t target = (int64_t)pc + in.len + offset;
                if (target < 0 || target > ilen || map[target] == NOT_A_START) {
                    ok = 0;
                    break;
                }
                int64_t moved = (int64_t)map[target] - ((int64_t)map[pc] + in.len);
                if (moved < INT16_MIN || moved > INT16_MAX) {
                    ok = 0;
                    break;
                }
                out[in.len - 2] = (mrb_code)(((uint16_t)moved) >> 8);
                out[in.len - 1] = (mrb_code)(((uint16_t)moved) & 0xff);
            }
        }
        pc += in.len;
    }

    // Catch handlers follow the code: begin, end (exclusive) and target are absolute.
    if (ok && handlers) {
        memcpy(code + new_ilen, iseq + ilen, handlers);
        struct mrb_irep_catch_handler *h = (struct mrb_irep_catch_handler *)(code + new_ilen);
        for (uint16_t i = 0; ok && i < irep->clen; i++) {
            uint8_t *fields[3] = {h[i].begin, h[i].end, h[i].target};
            for (uint8_t *field : fields) {
                uint32_t at = bin_to_uint32(field);
                if (at > ilen || map[at] == NOT_A_START) {
                    ok = 0;
                    break;
                }
                uint32_to_bin(map[at], field);
            }
        }
    }

    mrb_sym *syms = nullptr;
    if (ok && irep->debug_info) {
        old_line = (uint16_t *)mrb_malloc_simple(mrb, sizeof(uint16_t) * ((size_t)ilen + 1));
        new_line = (uint16_t *)mrb_malloc_simple(mrb, sizeof(uint16_t) * ((size_t)new_ilen + 1));
        ok = old_line && new_line;
    }
    if (ok && sym == irep->slen) {
        syms = (mrb_sym *)mrb_realloc_simple(mrb, (void *)irep->syms, sizeof(mrb_sym) * ((size_t)irep->slen + 1));
        ok = syms != nullptr;
        if (ok) {
            syms[irep->slen] = div;
            irep->syms = syms;
            irep->slen++;
        }
    }
    if (ok) {
        if (irep->debug_info) rebuild_lines(mrb, irep, map, new_ilen, old_line, new_line);
        // An irep read from a constant image uses the image's bytes in place.
        if (!(irep->flags & MRB_ISEQ_NO_FREE)) mrb_free(mrb, (void *)irep->iseq);
        irep->flags &= (uint8_t)~MRB_ISEQ_NO_FREE;
        irep->iseq = code;
        irep->ilen = new_ilen;
        irep->nregs = (uint16_t)need_regs;
        code = nullptr;
    }
    mrb_free(mrb, code);
    mrb_free(mrb, map);
    mrb_free(mrb, old_line);
    mrb_free(mrb, new_line);
    return ok;
}

static int rewrite_tree(mrb_state *mrb, mrb_irep *irep, mrb_sym div)
{
    int left = rewrite_irep(mrb, irep, div) ? 0 : 1;
    for (uint16_t i = 0; i < irep->rlen; i++) left += rewrite_tree(mrb, (mrb_irep *)irep->reps[i], div);
    return left;
}

int ruby_compile_rewrite(mrb_state *mrb, mrb_irep *irep)
{
    return rewrite_tree(mrb, irep, mrb_intern_lit(mrb, RUBY_COMPILE_DIV_METHOD));
}

// Trees generated from one parse with and without optimisation have the same scopes in
// the same places.
static int same_shape(const mrb_irep *a, const mrb_irep *b)
{
    if (a->rlen != b->rlen || a->nlocals != b->nlocals) return 0;
    for (uint16_t i = 0; i < a->rlen; i++)
        if (!same_shape(a->reps[i], b->reps[i])) return 0;
    return 1;
}

// Exchanges the code of two scopes; their child scopes stay where they are.
static void swap_code(mrb_irep *a, mrb_irep *b)
{
    std::swap(a->nlocals, b->nlocals);
    std::swap(a->nregs, b->nregs);
    std::swap(a->clen, b->clen);
    std::swap(a->flags, b->flags);
    std::swap(a->iseq, b->iseq);
    std::swap(a->pool, b->pool);
    std::swap(a->syms, b->syms);
    std::swap(a->lv, b->lv);
    std::swap(a->debug_info, b->debug_info);
    std::swap(a->ilen, b->ilen);
    std::swap(a->plen, b->plen);
    std::swap(a->slen, b->slen);
}

// Where optimising folded a division of two literals away, the scope takes the
// unoptimised code (its own parts only: child scopes are decided one by one).
static void keep_divisions(mrb_irep *fast, mrb_irep *plain)
{
    if (irep_div_count(plain) > irep_div_count(fast)) swap_code(fast, plain);
    for (uint16_t i = 0; i < fast->rlen; i++) keep_divisions((mrb_irep *)fast->reps[i], (mrb_irep *)plain->reps[i]);
}

extern "C" RProc *__real_mrb_generate_code(mrb_state *mrb, mrb_parser_state *p);

RProc *ruby_compile_generate(mrb_state *mrb, mrb_parser_state *p)
{
    // At top level the generator makes the new proc the base frame's: one compile leaves
    // that as a single generation would.
    mrb_callinfo *base = mrb->c->cibase;
    RProc *proc = __real_mrb_generate_code(mrb, p);
    if (!proc) return nullptr;
    if (!p->no_optimize) {
        const RProc *generated = base ? base->proc : nullptr;
        p->no_optimize = TRUE;
        RProc *plain = __real_mrb_generate_code(mrb, p);
        p->no_optimize = FALSE;
        if (base) base->proc = generated;
        if (plain) {
            if (same_shape(proc->body.irep, plain->body.irep)) {
                keep_divisions((mrb_irep *)proc->body.irep, (mrb_irep *)plain->body.irep);
            } else {
                plain->upper = proc->upper;
                if (plain->upper) mrb_field_write_barrier(mrb, (RBasic *)plain, (RBasic *)plain->upper);
                if (base && base->proc == proc) base->proc = plain;
                proc = plain;
            }
        }
    }
    // After a failed rewrite nothing is handed out to run (the base frame may still name
    // the proc, as the generator left it; nothing runs it from there).
    if (ruby_compile_rewrite(mrb, (mrb_irep *)proc->body.irep) != 0) return nullptr;
    return proc;
}

// Every other generation of code in the process (the interpreter's string eval and its
// load-string functions) arrives here through the linker's --wrap.
extern "C" RProc *__wrap_mrb_generate_code(mrb_state *mrb, mrb_parser_state *p)
{
    return ruby_compile_generate(mrb, p);
}
