#include "status_int.h"

#include <cstring>

#include "alloc.h"
#include "decode_int.h"
#include "doc_int.h"
#include "jx/problem.h"
#include "jx/decode.h"

/* ---- Text builder ---- */

void str_free(jx_str *b) {
    if (b->fixed || b->measure) return;
    jx__free(b->text);
    b->text = nullptr;
    b->length = b->capacity = 0;
}

/* Room for need bytes in all (the zero byte included): exactly that much,
 * or doubling from 256 until it fits. Sets failed when a fixed buffer is too
 * small or memory runs out. */
static bool str_grow(jx_str *b, size_t need, bool exact) {
    if (need <= b->capacity) return true;
    if (b->fixed) {
        b->failed = 1;
        return false;
    }
    size_t cap = exact ? need : b->capacity ? b->capacity : 256;
    while (cap < need) {
        if (cap > SIZE_MAX / 2) {
            b->failed = 1;
            return false;
        }
        cap *= 2;
    }
    char *grown = static_cast<char *>(jx__realloc(b->text, cap));
    if (!grown) {
        b->failed = 1;
        return false;
    }
    b->text = grown;
    b->capacity = cap;
    return true;
}

void str_put(jx_str *b, const char *bytes, size_t n) {
    if (b->failed) return;
    if (b->measure) {
        b->length += n;
        return;
    }
    size_t room = b->limit > b->length ? b->limit - b->length : 0;
    if (n > room) {
        n = room;
        b->truncated = 1;
    }
    /* The sum cannot wrap because the bytes exist in memory beside the text. */
    if (!str_grow(b, b->length + n + 1, false)) return;
    if (n) std::memcpy(b->text + b->length, bytes, n);
    b->length += n;
    b->text[b->length] = 0;
}

char *str_reserve(jx_str *b, size_t n) {
    if (b->failed || b->measure || n > SIZE_MAX - 1 - b->length) return nullptr;
    /* a reserve is for one large piece: no room to spare beyond it */
    return str_grow(b, b->length + n + 1, true) ? b->text + b->length : nullptr;
}

void str_commit(jx_str *b, size_t n) {
    if (b->failed || b->measure || !b->text) return;
    b->length += n;
    b->text[b->length] = 0;
}

/* ---- Count and byte formats ---- */

size_t jx__fmt_count(uint64_t n, char *out) {
    char digits[20];
    size_t nd = 0;
    do {
        digits[nd++] = char('0' + n % 10);
        n /= 10;
    } while (n);
    size_t len = 0;
    for (size_t i = nd; i-- > 0;) {
        out[len++] = digits[i];
        if (i && i % 3 == 0) out[len++] = ',';
    }
    out[len] = 0;
    return len;
}

/* Tenths of the unit 2^shift, rounded half up. */
static uint64_t tenths(uint64_t n, unsigned shift) {
    uint64_t mask = (uint64_t(1) << shift) - 1;
    return (n >> shift) * 10 + (((n & mask) * 10 + (uint64_t(1) << (shift - 1))) >> shift);
}

size_t jx__fmt_bytes(uint64_t n, char *out) {
    if (n < 1024) {
        size_t len = jx__fmt_count(n, out);
        const char *unit = n == 1 ? " byte" : " bytes";
        std::memcpy(out + len, unit, std::strlen(unit) + 1);
        return len + std::strlen(unit);
    }
    /* The next unit takes over where rounding would print 1,024.0. */
    uint64_t t = tenths(n, 10);
    const char *unit = " KB";
    if (t >= 10240) {
        t = tenths(n, 20);
        unit = " MB";
        if (t >= 10240) {
            t = tenths(n, 30);
            unit = " GB";
        }
    }
    size_t len = jx__fmt_count(t / 10, out);
    out[len++] = '.';
    out[len++] = char('0' + t % 10);
    std::memcpy(out + len, unit, 4);
    return len + 3;
}

void str_count(jx_str *b, uint64_t n) {
    char tmp[32];
    str_put(b, tmp, jx__fmt_count(n, tmp));
}

void str_bytes(jx_str *b, uint64_t n) {
    char tmp[32];
    str_put(b, tmp, jx__fmt_bytes(n, tmp));
}

/* ---- Handing texts to the caller ---- */

/* The builder's text under the caller-buffer rule; a failed builder gives an
 * empty text and 0. */
static size_t hand_out(const jx_str &b, char *buf, size_t size) {
    if (b.failed) return jx__copy_text("", 0, buf, size);
    return jx__copy_text(b.text, b.length, buf, size);
}

size_t jx_fmt_count(uint64_t n, char *buf, size_t size) {
    char tmp[32];
    return jx__copy_text(tmp, jx__fmt_count(n, tmp), buf, size);
}

size_t jx_fmt_bytes(uint64_t n, char *buf, size_t size) {
    char tmp[32];
    return jx__copy_text(tmp, jx__fmt_bytes(n, tmp), buf, size);
}

/* ---- Status line ---- */

/* "n word" or "n words". */
static void put_counted(jx_str *b, uint64_t n, std::string_view one, std::string_view many) {
    str_count(b, n);
    str_put(b, " ");
    str_put(b, n == 1 ? one : many);
}

/* Status and error-bar texts never come near this; an outsized piece (a
 * foreign encoding name, say) empties the text rather than cutting it. */
static constexpr size_t LINE_BUF = 512;
static constexpr size_t SELECT_BUF = 128;

size_t jx_status_text(const JxDoc *doc, int32_t parse_ms, char *buf, size_t size) {
    if (!doc) return jx__copy_text("", 0, buf, size);
    char line[LINE_BUF];
    jx_str b = str_fixed(line, sizeof line);
    str_bytes(&b, jx_doc_size(doc));
    uint32_t format = jx_doc_format(doc);
    if (format == JX_FORMAT_EMPTY) {
        str_put(&b, JX_SEP);
        str_put(&b, "empty");
        return hand_out(b, buf, size);
    }
    bool records = jx_doc_records(doc) != 0;
    uint32_t count = jx_doc_count(doc);
    /* The synthetic root of records holds the values; it is not one. */
    uint32_t values = records && count > 0 ? count - 1 : count;
    str_put(&b, JX_SEP);
    put_counted(&b, values, "value", "values");

    uint32_t syntax = jx_doc_syntax(doc);
    str_put(&b, JX_SEP);
    if (records) {
        str_put(&b, format == JX_FORMAT_LINES ? "JSON Lines (" : "Several JSON values (");
        put_counted(&b, jx_child_count(doc, 0), "record", "records");
        str_put(&b, ")");
    } else if (syntax & JX_SYNTAX_JSON5) {
        str_put(&b, "JSON5");
    } else if (syntax & (JX_SYNTAX_COMMENTS | JX_SYNTAX_TRAILING_COMMA)) {
        str_put(&b, "JSON with comments");
    } else {
        str_put(&b, "JSON");
    }
    if (syntax & JX_SYNTAX_CONTROL) str_put(&b, " with raw control characters");

    const char *encoding = jx_doc_encoding(doc);
    if (encoding && std::strcmp(encoding, "UTF-8") != 0) {
        str_put(&b, JX_SEP);
        str_put(&b, encoding);
    }

    if (parse_ms >= 0) {
        str_put(&b, JX_SEP);
        str_put(&b, "parsed in ");
        if (parse_ms < 100) {
            str_put(&b, "< 0.1 s");
        } else {
            /* 64 bits: near INT32_MAX the rounding term would overflow. */
            int64_t ms = int64_t(parse_ms) + 50;
            str_count(&b, uint64_t(ms / 1000));
            char tenth[2] = {'.', char('0' + (ms / 100) % 10)};
            str_put(&b, tenth, 2);
            str_put(&b, " s");
        }
    }
    return hand_out(b, buf, size);
}

/* ---- Error bar ---- */

/* "Ran out of memory at N%. Showing what was read." for the problem's offset. */
static void put_oom(jx_str *b, const JxDoc *doc, uint32_t offset) {
    uint64_t total = doc->size;
    uint64_t at = offset < total ? offset : total;
    str_put(b, "Ran out of memory at ");
    str_count(b, total ? at * 100 / total : 0);
    str_put(b, "%. Showing what was read.");
}

size_t jx_errorbar_text(const JxDoc *doc, char *buf, size_t size) {
    uint32_t problems = jx_doc_error_count(doc);
    const jx_problem *first = problems ? jx_doc_error(doc, 0) : nullptr;
    if (!first) return jx__copy_text("", 0, buf, size);
    char line[LINE_BUF];
    jx_str b = str_fixed(line, sizeof line);
    uint32_t oom = doc->oom_problem;
    if (!jx_doc_records(doc)) {
        if (oom == 0) {
            put_oom(&b, doc, first->offset);
        } else {
            str_put(&b, "Line ");
            str_count(&b, first->line);
            str_put(&b, ", column ");
            str_count(&b, first->column);
            str_put(&b, ": ");
            str_put(&b, first->message);
            str_put(&b, ". Showing everything before it.");
        }
    } else if (oom != JX_NONE && oom < doc->problem_count) {
        /* The stored offset, not jx_doc_error: building a record block needs
         * memory, which is what this document ran out of. */
        put_oom(&b, doc, doc->problems[oom].offset);
    } else if (problems > 1) {
        str_count(&b, problems);
        str_put(&b, " lines could not be read (first: line ");
        str_count(&b, first->line);
        str_put(&b, ").");
    } else {
        str_put(&b, "Line ");
        str_count(&b, first->line);
        str_put(&b, " could not be read: ");
        str_put(&b, first->message);
        str_put(&b, ".");
    }
    return hand_out(b, buf, size);
}

/* ---- Selection summary ---- */

/* Characters of UTF-8 text, one per well-formed sequence and one per other byte. */
static uint64_t count_chars(const unsigned char *p, size_t n) { return jx__count_chars(p, p + n, p + n); }

/* Characters of a string value as the user sees it decoded. */
static uint64_t string_chars(const JxDoc *doc, uint32_t node) {
    if (!(jx_flags(doc, node) & JX_F_ESCAPED)) {
        uint32_t len = jx_val_len(doc, node);
        if (len < 2) return 0;
        const auto *text = reinterpret_cast<const unsigned char *>(jx_doc_text(doc));
        return count_chars(text + jx_val_offset(doc, node) + 1, len - 2);
    }
    jx_span v = jx__val_span(doc, node);
    size_t total;
    char *copy = jx__decode_dup(v.p, v.len, v.escaped, &total);
    if (!copy) return 0;
    uint64_t chars = count_chars(reinterpret_cast<const unsigned char *>(copy), total);
    jx__free(copy);
    return chars;
}

void fm_select(jx_str *b, const JxDoc *doc, uint32_t node) {
    if (!jx__valid(doc, node)) return;
    if (node == 0 && jx_doc_records(doc)) {
        str_put(b, "records");
        str_put(b, JX_SEP);
        put_counted(b, jx_child_count(doc, 0), "record", "records");
        return;
    }
    switch (jx_type(doc, node)) {
    case JX_OBJECT:
        str_put(b, "object");
        str_put(b, JX_SEP);
        put_counted(b, jx_child_count(doc, node), "key", "keys");
        break;
    case JX_ARRAY:
        str_put(b, "array");
        str_put(b, JX_SEP);
        put_counted(b, jx_child_count(doc, node), "item", "items");
        break;
    case JX_STRING:
        str_put(b, "string");
        str_put(b, JX_SEP);
        put_counted(b, string_chars(doc, node), "character", "characters");
        break;
    case JX_NUMBER: str_put(b, "number"); break;
    case JX_TRUE:
    case JX_FALSE: str_put(b, "boolean"); break;
    case JX_NULL: str_put(b, "null"); break;
    default: str_put(b, "error"); break;
    }
}

size_t jx_select_text(const JxDoc *doc, uint32_t node, char *buf, size_t size) {
    char line[SELECT_BUF];
    jx_str b = str_fixed(line, sizeof line);
    fm_select(&b, doc, node);
    return hand_out(b, buf, size);
}
