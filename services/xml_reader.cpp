#include "services/xml_reader.h"
#include "base/files.h"

#include <SDL.h>
#include <string.h>

// What one byte gives: nothing yet, a token, or an error (negative).
enum xml_result {
    XML_OK = 0,
    XML_ELEM_START,
    XML_CONTENT,
    XML_ELEM_END,
    XML_ATTR_START,
    XML_ATTR_VAL,
    XML_ATTR_END,
    XML_PI_START,
    XML_PI_CONTENT,
    XML_PI_END,
    XML_EREF = -1,
    XML_ECLOSE = -2,
    XML_ESTACK = -3,
    XML_ESYN = -4,
};

// Where the document is: its start (only a byte-order mark seen, the XML declaration still
// allowed), the prolog, after the document type, inside the root element, after it.
enum xml_level : uint8_t { LEVEL_START, LEVEL_PROLOG, LEVEL_AFTER_DOCTYPE, LEVEL_ROOT, LEVEL_END };

// The tokenizer's states, family by family in the order step() tells the families apart.
enum xml_state : uint8_t {
    S_BOM0, S_BOM1, S_BOM2,
    S_MISC, S_CONTENT, S_LT, S_BANG, S_LITERAL,
    S_COMMENT, S_COMMENT_D1, S_COMMENT_D2,
    S_CDATA, S_CDATA_B1, S_CDATA_B2,
    S_DOCTYPE_WS, S_DOCTYPE_NAME_START, S_DOCTYPE_NAME, S_DOCTYPE, S_DOCTYPE_QUOTE, S_DOCTYPE_END,
    S_SUBSET, S_SUBSET_QUOTE, S_SUBSET_LT, S_SUBSET_BANG, S_SUBSET_BANG_DASH,
    S_SUBSET_COMMENT, S_SUBSET_COMMENT_D1, S_SUBSET_COMMENT_D2, S_SUBSET_PI, S_SUBSET_PI_Q,
    S_ELEM_NAME, S_ELEM_ATTRS, S_ELEM_ATTR_SEP, S_EMPTY_END,
    S_ATTR_NAME, S_ATTR_EQ, S_ATTR_QUOTE, S_ATTR_VALUE,
    S_CLOSE_NAME, S_CLOSE_WS,
    S_PI_TARGET, S_PI_WS, S_PI_CONTENT, S_PI_Q, S_PI_END,
    S_DECL, S_DECL_Q,
    S_REF_START, S_REF_NAME, S_CHARREF_START, S_CHARREF_HEX_START, S_CHARREF_DEC, S_CHARREF_HEX,
};

#define XML_DECL_MAX 256
#define XML_REF_NAME_MAX 8

struct xml_tokenizer {
    xml_state state, after_literal, ref_return;
    xml_level level;
    uint8_t quote;
    uint8_t ignore_lf;  // a CR was seen: a LF right after it belongs to the same line end
    uint8_t brackets;   // "]" bytes just before, in character data ("]]>" is not allowed there)
    const char *literal; // the rest of a keyword being matched ("CDATA[", "OCTYPE", "-")
    uint32_t line, column;
    uint64_t total;
    size_t depth;
    size_t elem_start, push_start, stack_len, close_pos;
    uint32_t charref;
    size_t ref_len, decl_len;
    char ref[XML_REF_NAME_MAX];
    char decl[XML_DECL_MAX];
    char data[8]; // the bytes of a data token
    size_t data_len;
    char stack[XML_NAME_STACK_BYTES];
};

static bool is_space(unsigned c) { return c == ' ' || c == '\t' || c == '\n'; }
static bool is_name_start(unsigned c) { return (c | 32) - 'a' < 26 || c == '_' || c == ':' || c >= 0x80; }
static bool is_name_char(unsigned c) { return is_name_start(c) || c - '0' < 10 || c == '-' || c == '.'; }
static int hex_value(unsigned c)
{
    if (c - '0' < 10) return (int)(c - '0');
    if ((c | 32) - 'a' < 6) return (int)((c | 32) - 'a' + 10);
    return -1;
}

static void xml_tokenizer_init(xml_tokenizer *t)
{
    memset(t, 0, offsetof(xml_tokenizer, stack));
    t->state = S_BOM0;
    t->level = LEVEL_START;
    t->line = 1;
}

static xml_result data1(xml_tokenizer *t, unsigned c, xml_result token)
{
    t->data[0] = (char)c;
    t->data_len = 1;
    return token;
}

// One byte onto the name being read; the byte after it stays free for its NUL.
static xml_result push_name_byte(xml_tokenizer *t, unsigned c)
{
    if (t->stack_len + 2 > sizeof t->stack) return XML_ESTACK;
    t->stack[t->stack_len++] = (char)c;
    return XML_OK;
}

static void end_name(xml_tokenizer *t) { t->stack[t->stack_len++] = 0; }

// Back to what surrounds a comment or PI.
static void resume(xml_tokenizer *t)
{
    if (t->level == LEVEL_START) t->level = LEVEL_PROLOG;
    t->state = t->level == LEVEL_ROOT ? S_CONTENT : S_MISC;
}

static xml_result close_element(xml_tokenizer *t)
{
    t->stack_len = t->elem_start;
    t->depth--;
    if (t->depth == 0) {
        t->level = LEVEL_END;
        t->state = S_MISC;
    } else {
        // The enclosing element's name ends with the NUL just below this one's start.
        size_t j = t->elem_start - 1;
        while (j > 0 && t->stack[j - 1] != 0) j--;
        t->elem_start = j;
        t->state = S_CONTENT;
    }
    t->brackets = 0;
    return XML_ELEM_END;
}

// "version" is required, "encoding" and "standalone" may follow, in that order.
static bool valid_declaration(const char *d, size_t n)
{
    size_t i = 0;
    auto space = [&]() {
        size_t from = i;
        while (i < n && is_space((unsigned char)d[i])) i++;
        return i > from;
    };
    auto word = [&](const char *w) {
        size_t len = strlen(w);
        if (n - i < len || memcmp(d + i, w, len) != 0) return false;
        i += len;
        return true;
    };
    // Eq, then a quoted value whose bytes pass `ok`; answers the value's start and length.
    auto value = [&](bool (*ok)(const char *, size_t)) {
        space();
        if (i >= n || d[i] != '=') return false;
        i++;
        space();
        if (i >= n || (d[i] != '"' && d[i] != '\'')) return false;
        char q = d[i++];
        size_t start = i;
        while (i < n && d[i] != q) i++;
        if (i >= n || !ok(d + start, i - start)) return false;
        i++;
        return true;
    };
    if (!space() || !word("version")) return false;
    if (!value([](const char *v, size_t len) {
            if (len < 3 || v[0] != '1' || v[1] != '.') return false;
            for (size_t k = 2; k < len; k++)
                if ((unsigned)(v[k] - '0') >= 10) return false;
            return true;
        }))
        return false;
    bool spaced = space();
    if (spaced && word("encoding")) {
        if (!value([](const char *v, size_t len) {
                if (len == 0 || (unsigned)((v[0] | 32) - 'a') >= 26) return false;
                for (size_t k = 1; k < len; k++) {
                    unsigned c = (unsigned char)v[k];
                    if ((c | 32) - 'a' >= 26 && c - '0' >= 10 && c != '.' && c != '_' && c != '-') return false;
                }
                return true;
            }))
            return false;
        spaced = space();
    }
    if (spaced && word("standalone")) {
        if (!value([](const char *v, size_t len) {
                return (len == 3 && memcmp(v, "yes", 3) == 0) || (len == 2 && memcmp(v, "no", 2) == 0);
            }))
            return false;
        space();
    }
    return i == n;
}

static bool is_xml_char(uint32_t v)
{
    return v == 0x9 || v == 0xA || v == 0xD || (v >= 0x20 && v <= 0xD7FF) || (v >= 0xE000 && v <= 0xFFFD) ||
           (v >= 0x10000 && v <= 0x10FFFF);
}

static xml_result ref_done(xml_tokenizer *t, uint32_t v)
{
    if (!is_xml_char(v)) return XML_EREF;
    char *o = t->data;
    if (v < 0x80) {
        o[0] = (char)v;
        t->data_len = 1;
    } else if (v < 0x800) {
        o[0] = (char)(0xC0 | v >> 6), o[1] = (char)(0x80 | (v & 0x3F));
        t->data_len = 2;
    } else if (v < 0x10000) {
        o[0] = (char)(0xE0 | v >> 12), o[1] = (char)(0x80 | (v >> 6 & 0x3F)), o[2] = (char)(0x80 | (v & 0x3F));
        t->data_len = 3;
    } else {
        o[0] = (char)(0xF0 | v >> 18), o[1] = (char)(0x80 | (v >> 12 & 0x3F));
        o[2] = (char)(0x80 | (v >> 6 & 0x3F)), o[3] = (char)(0x80 | (v & 0x3F));
        t->data_len = 4;
    }
    t->state = t->ref_return;
    t->brackets = 0;
    return t->ref_return == S_ATTR_VALUE ? XML_ATTR_VAL : XML_CONTENT;
}

static xml_result named_ref_done(xml_tokenizer *t)
{
    static const struct {
        const char *name;
        char value;
    } predefined[] = {{"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
    for (const auto &p : predefined)
        if (strlen(p.name) == t->ref_len && memcmp(p.name, t->ref, t->ref_len) == 0) return ref_done(t, (uint8_t)p.value);
    return XML_EREF; // never an entity of a document type
}

static xml_result step(xml_tokenizer *t, unsigned c);

// The byte-order mark and what lies between markup: space before and after the root
// element, character data inside it.
static xml_result step_between_markup(xml_tokenizer *t, unsigned c)
{
    switch (t->state) {
    case S_BOM0:
        if (c == 0xEF) {
            t->state = S_BOM1;
            return XML_OK;
        }
        t->state = S_MISC;
        return step(t, c);
    case S_BOM1:
        if (c != 0xBB) return XML_ESYN;
        t->state = S_BOM2;
        return XML_OK;
    case S_BOM2:
        if (c != 0xBF) return XML_ESYN;
        t->state = S_MISC;
        return XML_OK;

    case S_MISC:
        if (is_space(c)) {
            if (t->level == LEVEL_START) t->level = LEVEL_PROLOG;
            return XML_OK;
        }
        if (c != '<') return XML_ESYN; // no text outside the root element
        t->state = S_LT;
        return XML_OK;

    case S_CONTENT:
        if (c == '<') {
            t->brackets = 0;
            t->state = S_LT;
            return XML_OK;
        }
        if (c == '&') {
            t->ref_return = S_CONTENT;
            t->state = S_REF_START;
            return XML_OK;
        }
        if (c == '>' && t->brackets >= 2) return XML_ESYN;
        t->brackets = c == ']' ? (uint8_t)(t->brackets < 2 ? t->brackets + 1 : 2) : 0;
        return data1(t, c, XML_CONTENT);
    default: break;
    }
    return XML_ESYN;
}

// The bytes after '<' that tell which markup comes.
static xml_result step_markup_start(xml_tokenizer *t, unsigned c)
{
    switch (t->state) {
    case S_LT:
        if (c == '?') {
            t->push_start = t->stack_len;
            t->state = S_PI_TARGET;
            return XML_OK;
        }
        if (c == '!') {
            t->state = S_BANG;
            return XML_OK;
        }
        if (c == '/') {
            if (t->level != LEVEL_ROOT) return XML_ESYN;
            t->close_pos = 0;
            t->state = S_CLOSE_NAME;
            return XML_OK;
        }
        if (!is_name_start(c) || t->level == LEVEL_END) return XML_ESYN;
        t->push_start = t->stack_len;
        t->state = S_ELEM_NAME;
        return push_name_byte(t, c);

    case S_BANG:
        if (c == '-') {
            t->literal = "-";
            t->after_literal = S_COMMENT;
        } else if (c == '[' && t->level == LEVEL_ROOT) {
            t->literal = "CDATA[";
            t->after_literal = S_CDATA;
        } else if (c == 'D' && t->level <= LEVEL_PROLOG) {
            t->literal = "OCTYPE";
            t->after_literal = S_DOCTYPE_WS;
        } else {
            return XML_ESYN;
        }
        t->state = S_LITERAL;
        return XML_OK;
    case S_LITERAL:
        if (c != (uint8_t)*t->literal) return XML_ESYN;
        if (!*++t->literal) t->state = t->after_literal;
        return XML_OK;
    default: break;
    }
    return XML_ESYN;
}

// Comments and CDATA sections.
static xml_result step_comment_or_cdata(xml_tokenizer *t, unsigned c)
{
    switch (t->state) {
    case S_COMMENT:
        if (c == '-') t->state = S_COMMENT_D1;
        return XML_OK;
    case S_COMMENT_D1:
        t->state = c == '-' ? S_COMMENT_D2 : S_COMMENT;
        return XML_OK;
    case S_COMMENT_D2:
        if (c != '>') return XML_ESYN; // "--" only ends a comment
        resume(t);
        return XML_OK;

    case S_CDATA:
        if (c == ']') {
            t->state = S_CDATA_B1;
            return XML_OK;
        }
        return data1(t, c, XML_CONTENT);
    case S_CDATA_B1:
        if (c == ']') {
            t->state = S_CDATA_B2;
            return XML_OK;
        }
        t->state = S_CDATA;
        t->data[0] = ']', t->data[1] = (char)c, t->data_len = 2;
        return XML_CONTENT;
    case S_CDATA_B2:
        if (c == '>') {
            t->state = S_CONTENT;
            t->brackets = 0;
            return XML_OK;
        }
        if (c == ']') return data1(t, c, XML_CONTENT);
        t->state = S_CDATA;
        t->data[0] = ']', t->data[1] = ']', t->data[2] = (char)c, t->data_len = 3;
        return XML_CONTENT;
    default: break;
    }
    return XML_ESYN;
}

// The document type is read over and dropped: its internal subset, with every entity
// declared there, is skipped (quoted literals, comments and PIs kept whole).
static xml_result step_doctype(xml_tokenizer *t, unsigned c)
{
    switch (t->state) {
    case S_DOCTYPE_WS:
        if (!is_space(c)) return XML_ESYN;
        t->state = S_DOCTYPE_NAME_START;
        return XML_OK;
    case S_DOCTYPE_NAME_START:
        if (is_space(c)) return XML_OK;
        if (!is_name_start(c)) return XML_ESYN;
        t->state = S_DOCTYPE_NAME;
        return XML_OK;
    case S_DOCTYPE_NAME:
        if (is_name_char(c)) return XML_OK;
        if (!is_space(c) && c != '[' && c != '>') return XML_ESYN;
        t->state = S_DOCTYPE;
        return step(t, c);
    case S_DOCTYPE:
        if (c == '"' || c == '\'') {
            t->quote = (uint8_t)c;
            t->state = S_DOCTYPE_QUOTE;
        } else if (c == '[') {
            t->state = S_SUBSET;
        } else if (c == '>') {
            t->level = LEVEL_AFTER_DOCTYPE;
            t->state = S_MISC;
        } else if (c == '<') {
            return XML_ESYN;
        }
        return XML_OK;
    case S_DOCTYPE_QUOTE:
        if (c == t->quote) t->state = S_DOCTYPE;
        return XML_OK;
    case S_DOCTYPE_END:
        if (is_space(c)) return XML_OK;
        if (c != '>') return XML_ESYN;
        t->level = LEVEL_AFTER_DOCTYPE;
        t->state = S_MISC;
        return XML_OK;
    default: break;
    }
    return XML_ESYN;
}

// Inside the document type's internal subset.
static xml_result step_subset(xml_tokenizer *t, unsigned c)
{
    switch (t->state) {
    case S_SUBSET:
        if (c == '"' || c == '\'') {
            t->quote = (uint8_t)c;
            t->state = S_SUBSET_QUOTE;
        } else if (c == '<') {
            t->state = S_SUBSET_LT;
        } else if (c == ']') {
            t->state = S_DOCTYPE_END;
        }
        return XML_OK;
    case S_SUBSET_QUOTE:
        if (c == t->quote) t->state = S_SUBSET;
        return XML_OK;
    case S_SUBSET_LT:
        if (c == '!') {
            t->state = S_SUBSET_BANG;
            return XML_OK;
        }
        if (c == '?') {
            t->state = S_SUBSET_PI;
            return XML_OK;
        }
        t->state = S_SUBSET;
        return step(t, c);
    case S_SUBSET_BANG:
        if (c == '-') {
            t->state = S_SUBSET_BANG_DASH;
            return XML_OK;
        }
        t->state = S_SUBSET;
        return step(t, c);
    case S_SUBSET_BANG_DASH:
        if (c != '-') return XML_ESYN;
        t->state = S_SUBSET_COMMENT;
        return XML_OK;
    case S_SUBSET_COMMENT:
        if (c == '-') t->state = S_SUBSET_COMMENT_D1;
        return XML_OK;
    case S_SUBSET_COMMENT_D1:
        t->state = c == '-' ? S_SUBSET_COMMENT_D2 : S_SUBSET_COMMENT;
        return XML_OK;
    case S_SUBSET_COMMENT_D2:
        if (c != '>') return XML_ESYN;
        t->state = S_SUBSET;
        return XML_OK;
    case S_SUBSET_PI:
        if (c == '?') t->state = S_SUBSET_PI_Q;
        return XML_OK;
    case S_SUBSET_PI_Q:
        if (c == '>') t->state = S_SUBSET;
        else if (c != '?') t->state = S_SUBSET_PI;
        return XML_OK;
    default: break;
    }
    return XML_ESYN;
}

// A start tag: the element's name and its attributes.
static xml_result step_element(xml_tokenizer *t, unsigned c)
{
    switch (t->state) {
    case S_ELEM_NAME:
        if (is_name_char(c)) return push_name_byte(t, c);
        if (!is_space(c) && c != '/' && c != '>') return XML_ESYN;
        end_name(t);
        t->elem_start = t->push_start;
        t->depth++;
        t->level = LEVEL_ROOT;
        t->state = c == '/' ? S_EMPTY_END : c == '>' ? S_CONTENT : S_ELEM_ATTRS;
        t->brackets = 0;
        return XML_ELEM_START;
    case S_ELEM_ATTRS:
    case S_ELEM_ATTR_SEP:
        if (is_space(c)) {
            t->state = S_ELEM_ATTRS;
            return XML_OK;
        }
        if (c == '/') {
            t->state = S_EMPTY_END;
            return XML_OK;
        }
        if (c == '>') {
            t->state = S_CONTENT;
            return XML_OK;
        }
        // Attributes are set apart by white space.
        if (t->state == S_ELEM_ATTR_SEP || !is_name_start(c)) return XML_ESYN;
        t->push_start = t->stack_len;
        t->state = S_ATTR_NAME;
        return push_name_byte(t, c);
    case S_EMPTY_END:
        if (c != '>') return XML_ESYN;
        return close_element(t);

    case S_ATTR_NAME:
        if (is_name_char(c)) return push_name_byte(t, c);
        if (!is_space(c) && c != '=') return XML_ESYN;
        end_name(t);
        t->state = c == '=' ? S_ATTR_QUOTE : S_ATTR_EQ;
        return XML_ATTR_START;
    case S_ATTR_EQ:
        if (is_space(c)) return XML_OK;
        if (c != '=') return XML_ESYN;
        t->state = S_ATTR_QUOTE;
        return XML_OK;
    case S_ATTR_QUOTE:
        if (is_space(c)) return XML_OK;
        if (c != '"' && c != '\'') return XML_ESYN;
        t->quote = (uint8_t)c;
        t->state = S_ATTR_VALUE;
        return XML_OK;
    case S_ATTR_VALUE:
        if (c == t->quote) {
            t->stack_len = t->push_start;
            t->state = S_ELEM_ATTR_SEP;
            return XML_ATTR_END;
        }
        if (c == '<') return XML_ESYN;
        if (c == '&') {
            t->ref_return = S_ATTR_VALUE;
            t->state = S_REF_START;
            return XML_OK;
        }
        // White space in a value reads as blanks; written as references it stays.
        return data1(t, is_space(c) ? ' ' : c, XML_ATTR_VAL);
    default: break;
    }
    return XML_ESYN;
}

// An end tag, which must name the element it closes.
static xml_result step_end_tag(xml_tokenizer *t, unsigned c)
{
    switch (t->state) {
    case S_CLOSE_NAME:
        if (t->close_pos == 0 && !is_name_start(c)) return XML_ESYN;
        if (is_name_char(c)) {
            if ((uint8_t)t->stack[t->elem_start + t->close_pos] != c) return XML_ECLOSE;
            t->close_pos++;
            return XML_OK;
        }
        if (!is_space(c) && c != '>') return XML_ESYN;
        if (t->stack[t->elem_start + t->close_pos] != 0) return XML_ECLOSE;
        if (c == '>') return close_element(t);
        t->state = S_CLOSE_WS;
        return XML_OK;
    case S_CLOSE_WS:
        if (is_space(c)) return XML_OK;
        if (c != '>') return XML_ESYN;
        return close_element(t);
    default: break;
    }
    return XML_ESYN;
}

// Processing instructions and the XML declaration.
static xml_result step_pi(xml_tokenizer *t, unsigned c)
{
    switch (t->state) {
    case S_PI_TARGET: {
        if (t->stack_len == t->push_start ? is_name_start(c) : is_name_char(c)) return push_name_byte(t, c);
        if (t->stack_len == t->push_start || (!is_space(c) && c != '?')) return XML_ESYN;
        end_name(t);
        const char *name = t->stack + t->push_start;
        if ((name[0] | 32) == 'x' && (name[1] | 32) == 'm' && (name[2] | 32) == 'l' && name[3] == 0) {
            // The XML declaration: only as the document's first bytes; "xml" is no PI target.
            if (t->level != LEVEL_START) return XML_ESYN;
            t->stack_len = t->push_start;
            t->decl_len = 0;
            t->state = S_DECL;
            return step(t, c);
        }
        t->state = c == '?' ? S_PI_END : S_PI_WS;
        return XML_PI_START;
    }
    case S_PI_WS:
        if (is_space(c)) return XML_OK;
        if (c == '?') {
            t->state = S_PI_Q;
            return XML_OK;
        }
        t->state = S_PI_CONTENT;
        return data1(t, c, XML_PI_CONTENT);
    case S_PI_CONTENT:
        if (c == '?') {
            t->state = S_PI_Q;
            return XML_OK;
        }
        return data1(t, c, XML_PI_CONTENT);
    case S_PI_Q:
        if (c == '>') {
            t->stack_len = t->push_start;
            resume(t);
            return XML_PI_END;
        }
        if (c == '?') return data1(t, c, XML_PI_CONTENT);
        t->state = S_PI_CONTENT;
        t->data[0] = '?', t->data[1] = (char)c, t->data_len = 2;
        return XML_PI_CONTENT;
    case S_PI_END:
        if (c != '>') return XML_ESYN;
        t->stack_len = t->push_start;
        resume(t);
        return XML_PI_END;

    case S_DECL:
        if (c == '?') {
            t->state = S_DECL_Q;
            return XML_OK;
        }
        if (t->decl_len >= XML_DECL_MAX) return XML_ESYN;
        t->decl[t->decl_len++] = (char)c;
        return XML_OK;
    case S_DECL_Q:
        if (c == '>') {
            if (!valid_declaration(t->decl, t->decl_len)) return XML_ESYN;
            t->level = LEVEL_PROLOG;
            t->state = S_MISC;
            return XML_OK;
        }
        if (t->decl_len + 2 > XML_DECL_MAX) return XML_ESYN;
        t->decl[t->decl_len++] = '?';
        if (c == '?') return XML_OK;
        t->decl[t->decl_len++] = (char)c;
        t->state = S_DECL;
        return XML_OK;
    default: break;
    }
    return XML_ESYN;
}

// Entity and character references, in content and attribute values.
static xml_result step_reference(xml_tokenizer *t, unsigned c)
{
    switch (t->state) {
    case S_REF_START:
        if (c == '#') {
            t->charref = 0;
            t->state = S_CHARREF_START;
            return XML_OK;
        }
        if (!is_name_start(c)) return XML_EREF;
        t->ref[0] = (char)c;
        t->ref_len = 1;
        t->state = S_REF_NAME;
        return XML_OK;
    case S_REF_NAME:
        if (c == ';') return named_ref_done(t);
        if (!is_name_char(c) || t->ref_len >= XML_REF_NAME_MAX) return XML_EREF;
        t->ref[t->ref_len++] = (char)c;
        return XML_OK;
    case S_CHARREF_START:
        if (c == 'x') {
            t->state = S_CHARREF_HEX_START;
            return XML_OK;
        }
        if (c - '0' >= 10) return XML_EREF;
        t->charref = c - '0';
        t->state = S_CHARREF_DEC;
        return XML_OK;
    case S_CHARREF_HEX_START:
    case S_CHARREF_HEX: {
        if (c == ';' && t->state == S_CHARREF_HEX) return ref_done(t, t->charref);
        int v = hex_value(c);
        if (v < 0) return XML_EREF;
        t->charref = t->charref * 16 + (uint32_t)v; // capped below, so never wraps
        if (t->charref > 0x10FFFF) return XML_EREF;
        t->state = S_CHARREF_HEX;
        return XML_OK;
    }
    case S_CHARREF_DEC:
        if (c == ';') return ref_done(t, t->charref);
        if (c - '0' >= 10) return XML_EREF;
        t->charref = t->charref * 10 + (c - '0');
        if (t->charref > 0x10FFFF) return XML_EREF;
        return XML_OK;
    default: break;
    }
    return XML_ESYN;
}

// One byte in the state the tokenizer is in, handed to the function of the state's family
// (the families lie in xml_state in this order).
static xml_result step(xml_tokenizer *t, unsigned c)
{
    if (t->state < S_LT) return step_between_markup(t, c);
    if (t->state < S_COMMENT) return step_markup_start(t, c);
    if (t->state < S_DOCTYPE_WS) return step_comment_or_cdata(t, c);
    if (t->state < S_SUBSET) return step_doctype(t, c);
    if (t->state < S_ELEM_NAME) return step_subset(t, c);
    if (t->state < S_CLOSE_NAME) return step_element(t, c);
    if (t->state < S_PI_TARGET) return step_end_tag(t, c);
    if (t->state < S_REF_START) return step_pi(t, c);
    return step_reference(t, c);
}

// Counts lines and bytes, folds CR LF and lone CR into LF, refuses bytes no XML text holds.
static xml_result xml_tokenizer_byte(xml_tokenizer *t, unsigned char byte)
{
    unsigned c = byte;
    t->total++;
    if (t->ignore_lf && c == '\n') {
        t->ignore_lf = 0;
        return XML_OK;
    }
    t->ignore_lf = c == '\r';
    if (c == '\r' || c == '\n') {
        c = '\n';
        t->line++;
        t->column = 0;
    } else {
        t->column++;
    }
    if (c < 0x20 && c != '\t' && c != '\n') return XML_ESYN; // NUL and control bytes
    return step(t, c);
}

// ---- parse_xml: tokens gathered into runs and reported ------------------------------------

enum xml_pending : uint8_t { PENDING_NONE, PENDING_CONTENT, PENDING_ATTRIBUTE, PENDING_PI };

struct xml_parse_state {
    char *text; // the gathered run, reused for every run
    size_t capacity, length;
    xml_pending pending;
    xml_tokenizer tokenizer;
};

static int call(xml_callbacks *cb, xml_callback fn) { return fn ? fn(cb) : 1; }

static bool append(xml_parse_state *st, const char *bytes, size_t n)
{
    if (n > SIZE_MAX - st->length) return false;
    if (st->length + n > st->capacity) {
        size_t capacity = st->capacity ? st->capacity : 256;
        while (capacity < st->length + n) {
            if (capacity > SIZE_MAX / 2) return false;
            capacity *= 2;
        }
        char *grown = (char *)SDL_realloc(st->text, capacity);
        if (!grown) return false;
        st->text = grown;
        st->capacity = capacity;
    }
    memcpy(st->text + st->length, bytes, n);
    st->length += n;
    return true;
}

// Reports the pending run (an attribute or PI is reported even with nothing gathered).
static int flush(xml_parse_state *st, xml_callbacks *cb)
{
    if (st->pending == PENDING_NONE) return 1;
    xml_callback fn = st->pending == PENDING_CONTENT ? cb->on_content
                      : st->pending == PENDING_ATTRIBUTE ? cb->on_attribute
                                                          : cb->on_pi;
    // The name a value belongs to; character data belongs to none.
    bool named = st->pending != PENDING_CONTENT;
    cb->key = named ? cb->text : nullptr;
    cb->key_length = named ? cb->text_length : 0;
    cb->text = st->text ? st->text : "";
    cb->text_length = st->length;
    int ok = call(cb, fn);
    // The run buffer moves as the next run grows: nothing may keep pointing into it.
    cb->text = cb->key = nullptr;
    cb->text_length = cb->key_length = 0;
    st->length = 0;
    st->pending = PENDING_NONE;
    return ok;
}

static const char *error_message(int result)
{
    switch (result) {
    case XML_EREF: return "Invalid character or entity reference (&whatever;)";
    case XML_ECLOSE: return "Close tag does not match open tag (<Tag> .. </OtherTag>)";
    case XML_ESTACK: return "Stack overflow (too deeply nested tags or too long element/attribute name)";
    case XML_ESYN: return "Syntax error (unexpected byte)";
    default: return "Unknown error";
    }
}

static int fail(xml_parse_state *st, xml_callbacks *cb, const char *message)
{
    cb->status = -1;
    cb->message = message;
    call(cb, cb->on_end);
    if (st) {
        SDL_free(st->text);
        SDL_free(st);
    }
    return 0;
}

static const char CANCELLED[] = "Cancelled";
static const char MALFORMED[] = "XML document is incomplete or malformed";

int parse_xml(const char *data, size_t length, xml_callbacks *cb)
{
    if (!cb) return 0;
    cb->status = 0;
    cb->message = nullptr;
    cb->line = cb->column = 0;
    cb->offset = 0;
    cb->text = cb->key = nullptr;
    cb->text_length = cb->key_length = 0;
    if (!call(cb, cb->on_begin)) return fail(nullptr, cb, CANCELLED);
    xml_parse_state *st = (xml_parse_state *)SDL_malloc(sizeof(xml_parse_state));
    if (!st) return fail(nullptr, cb, "Out of memory");
    st->text = nullptr;
    st->capacity = st->length = 0;
    st->pending = PENDING_NONE;
    xml_tokenizer *t = &st->tokenizer;
    xml_tokenizer_init(t);
    if (length == 0 || !data) return fail(st, cb, MALFORMED);

    for (size_t i = 0; i < length; i++) {
        int r = xml_tokenizer_byte(t, (unsigned char)data[i]);
        if (r == XML_OK) continue;
        if (r < 0) return fail(st, cb, error_message(r));
        cb->line = t->line;
        cb->column = t->column;
        cb->offset = t->total;
        int ok = 1;
        switch (r) {
        case XML_ELEM_START:
            ok = flush(st, cb);
            cb->text = t->stack + t->elem_start;
            cb->text_length = strlen(cb->text);
            ok = ok && call(cb, cb->on_element_start);
            break;
        case XML_ELEM_END:
            ok = flush(st, cb) && call(cb, cb->on_element_end);
            cb->text = nullptr; // the closed element's name is gone from the stack
            cb->text_length = 0;
            break;
        case XML_ATTR_START:
        case XML_PI_START:
            ok = flush(st, cb);
            cb->text = t->stack + t->push_start;
            cb->text_length = strlen(cb->text);
            st->pending = r == XML_ATTR_START ? PENDING_ATTRIBUTE : PENDING_PI;
            break;
        case XML_CONTENT:
            if (st->pending != PENDING_CONTENT) ok = flush(st, cb);
            st->pending = PENDING_CONTENT;
            if (ok && !append(st, t->data, t->data_len)) return fail(st, cb, "Out of memory");
            break;
        case XML_ATTR_VAL:
        case XML_PI_CONTENT:
            if (!append(st, t->data, t->data_len)) return fail(st, cb, "Out of memory");
            break;
        case XML_ATTR_END:
        case XML_PI_END: ok = flush(st, cb); break;
        default: return fail(st, cb, "Unexpected XML parse result");
        }
        if (!ok) return fail(st, cb, CANCELLED);
    }
    if (t->state != S_MISC || t->level != LEVEL_END) return fail(st, cb, MALFORMED);
    cb->status = 1;
    cb->message = nullptr;
    call(cb, cb->on_end);
    SDL_free(st->text);
    SDL_free(st);
    return 1;
}

int parse_xml_file(const char *path, xml_callbacks *cb)
{
    if (!cb) return 0;
    size_t length = 0;
    char *data = loadfile(path, &length);
    if (!data) {
        cb->status = -1;
        cb->message = "Couldn't load file";
        return 0;
    }
    int ok = parse_xml(data, length, cb);
    SDL_free(data);
    return ok;
}
