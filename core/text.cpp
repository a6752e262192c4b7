#include <algorithm>
#include <cstring>

#include "alloc.h"
#include "chars_int.h"
#include "decode_int.h"
#include "doc_int.h"
#include "jx/text.h"
#include "line_int.h"
#include "progress_int.h"
#include "status_int.h"

struct JxText {
    JxDoc *doc;
    uint32_t mode;
    uint32_t records;    /* 1 for JSON Lines and several values: node 0 is synthetic */
    uint32_t count;      /* lines */
    uint32_t *lines;     /* per line an opening node, or a container | CLOSING */
};

/* Node ids stay below 2^31, so bit 31 of a pretty line tells its closing line. */
constexpr uint32_t CLOSING = 0x80000000u;
constexpr uint32_t MAX_LEVEL = 40;
constexpr uint32_t PROGRESS_STEP = 1u << 20;
constexpr uint32_t GATHER = 256;
constexpr uint64_t NO_LIMIT = UINT64_MAX;

constexpr const char ELLIPSIS[] = "\xE2\x80\xA6";
constexpr const char REPLACEMENT[] = "\xEF\xBF\xBD";
constexpr const char SPACES[] = "                                                                                ";

namespace {

/*
 * Where the characters of a line go: a styled line within a budget of
 * characters. Characters of one style are gathered before they reach the line, and the
 * last one written always stays in the gather buffer, so that it can give
 * way to "…" when the budget runs out.
 */
struct Out {
    JxLine *line;
    uint64_t limit; /* characters allowed */
    uint64_t chars; /* characters written */
    bool cut;       /* the budget ran out: nothing more is written */
    bool failed;    /* memory ran out: nothing more is written */
    uint8_t style;
    uint32_t used, last; /* gathered bytes; bytes of the last character */
    char gather[GATHER + 8];
};

}  // namespace

static const JxNode *node_at(const JxText *t, uint32_t id) { return jx__node(t->doc, id); }
static bool is_quote(char c) { return c == '"' || c == '\''; }

/* ---- writing characters ---- */

static Out line_out(JxLine *line, uint32_t width) {
    Out o{};
    o.line = line;
    o.limit = width ? width : NO_LIMIT;
    return o;
}

static void flush(Out &o) {
    if (o.used && !jx_line_add(o.line, o.gather, o.used, o.style)) o.failed = true;
    o.used = 0;
}

/* The budget is spent and more would follow: the last character gives way to "…". */
static void cut(Out &o) {
    o.cut = true;
    if (o.last && o.used >= o.last) o.used -= o.last;
    if (o.last) {
        std::memcpy(o.gather + o.used, ELLIPSIS, 3);
        o.used += 3;
    }
}

/* One character of n bytes. */
static void put(Out &o, const char *b, uint32_t n, uint8_t style) {
    if (o.cut || o.failed) return;
    if (o.chars >= o.limit) return cut(o);
    o.chars++;
    if (o.used && (style != o.style || o.used + n > GATHER)) {
        flush(o);
        if (o.failed) return;
    }
    o.style = style;
    std::memcpy(o.gather + o.used, b, n);
    o.used += n;
    o.last = n;
}

/* Single-byte characters, in blocks. */
static void ascii(Out &o, const char *p, size_t n, uint8_t style) {
    while (n && !o.cut && !o.failed) {
        if (o.chars >= o.limit) return cut(o);
        if (o.used && (style != o.style || o.used == GATHER)) {
            flush(o);
            if (o.failed) return;
        }
        o.style = style;
        const size_t k = std::min<size_t>(size_t(std::min<uint64_t>(n, o.limit - o.chars)), GATHER - o.used);
        std::memcpy(o.gather + o.used, p, k);
        o.used += uint32_t(k);
        o.last = 1;
        o.chars += k;
        p += k;
        n -= k;
    }
}

static void spaces(Out &o, uint64_t n, uint8_t style) {
    for (; n > 0 && !o.failed && !o.cut; n -= std::min<uint64_t>(n, sizeof SPACES - 1))
        ascii(o, SPACES, size_t(std::min<uint64_t>(n, sizeof SPACES - 1)), style);
}

static bool printable(unsigned char c) { return c >= 0x20 && c < 0x7F; }

/* The end of the run of printable ASCII from p, looked for up to lim. */
static const unsigned char *printable_run(const unsigned char *p, const unsigned char *lim) {
    while (lim - p >= 8) {
        const uint64_t v = jx__load8(p);
        if ((v & 0x8080808080808080ull) | jx__has_less(v, 0x20) | jx__has_byte(v, 0x7F)) break;
        p += 8;
    }
    while (p < lim && printable(*p)) p++;
    return p;
}

/*
 * Writes source bytes [p, e): printable ASCII as it is, valid UTF-8 sequences
 * whole, any other byte as U+FFFD, control characters as their pictures.
 */
static void bytes(Out &o, const char *p, const char *e, uint8_t style) {
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    const auto *end = reinterpret_cast<const unsigned char *>(e);
    while (u < end && !o.cut && !o.failed) {
        const unsigned char c = *u;
        if (printable(c)) {
            /* Never further than the budget can take. */
            const unsigned char *stop = end;
            if (o.limit != NO_LIMIT && uint64_t(stop - u) > o.limit - std::min(o.chars, o.limit) + 1)
                stop = u + (o.limit - std::min(o.chars, o.limit) + 1);
            const unsigned char *r = printable_run(u + 1, stop);
            ascii(o, reinterpret_cast<const char *>(u), size_t(r - u), style);
            u = r;
        } else if (c < 0x80) {
            char pic[4];
            put(o, pic, jx__utf8_put(jx__picture(c), pic), style);
            u++;
        } else {
            const size_t n = jx__utf8_len(u, end);
            if (n)
                put(o, reinterpret_cast<const char *>(u), uint32_t(n), style);
            else
                put(o, REPLACEMENT, 3, style);
            u += n ? n : 1;
        }
    }
}

static void text(Out &o, const char *s, uint8_t style) { bytes(o, s, s + std::strlen(s), style); }

/* Printable ASCII known in advance. */
template <size_t N>
static void punct(Out &o, const char (&s)[N]) {
    ascii(o, s, N - 1, JX_STYLE_PUNCT);
}

/* ---- keys and scalars in the text ---- */

/*
 * The end of the key token at p, looked for up to w at most (a key may be far
 * longer than a line shows); hard is where the key must end (its value). Sets
 * *closed when the token ends with its closing quote before w.
 */
static const char *key_end(const char *p, const char *w, const char *hard, bool *closed) {
    const char *e = p + jx__scan_string_end(p, w);
    *closed = false;
    if (p >= w || !is_quote(*p)) return e;
    if (e < w) {
        *closed = true;
    } else if (w < hard) {
        /* The scan ran to w: one byte more tells whether the quote at w - 1 closes. */
        *closed = p + jx__scan_string_end(p, w + 1) == e;
    } else {
        *closed = e - p >= 2 && e[-1] == *p;
    }
    return e;
}

static uint8_t scalar_style(int type) {
    switch (type) {
        case JX_STRING: return JX_STYLE_STRING;
        case JX_NUMBER: return JX_STYLE_NUMBER;
        case JX_TRUE:
        case JX_FALSE: return JX_STYLE_BOOLEAN;
        case JX_NULL: return JX_STYLE_NULL;
        default: return JX_STYLE_ERROR;
    }
}

/* End offset of a scalar's text, never past the document. */
static uint32_t value_end(const JxDoc *d, uint32_t id, const JxNode *n) {
    if (n->val_off >= d->size) return d->size;
    return uint32_t(std::min<uint64_t>(uint64_t(n->val_off) + jx__number(d, id, n), d->size));
}

/* ---- pretty lines ---- */

/* The indentation level of node id: its depth, less the synthetic root of a
 * records document, counted up to MAX_LEVEL. */
static uint32_t level_of(const JxText *t, uint32_t id) {
    const uint32_t count = t->doc->count, limit = MAX_LEVEL + t->records;
    uint32_t up = 0;
    for (uint32_t p = node_at(t, id)->parent; p < count && up < limit; p = node_at(t, p)->parent) up++;
    return up > t->records ? up - t->records : 0;
}

/* Pretty line i at an indentation level: key, value or bracket, and a comma
 * before a following sibling. */
static void pretty_line(const JxText *t, uint32_t i, uint64_t level, Out &o) {
    const JxDoc *d = t->doc;
    const uint32_t entry = t->lines[i], id = entry & ~CLOSING;
    const JxNode *n = node_at(t, id);
    const int type = jx__type_of(n);
    const bool object = type == JX_OBJECT;
    bool ends = true; /* the line ends the node: a sibling after it takes a comma */
    spaces(o, level * 2, JX_STYLE_PUNCT);
    if (entry & CLOSING) {
        punct(o, object ? "}" : "]");
    } else if (type == JX_BAD) {
        char number[32];
        jx__fmt_count(jx_record_line(d, id), number);
        const char *message = jx__row_message(d, id);
        text(o, "\xE2\x9A\xA0 line ", JX_STYLE_ERROR);
        text(o, number, JX_STYLE_ERROR);
        text(o, ": ", JX_STYLE_ERROR);
        text(o, message ? message : "could not be read", JX_STYLE_ERROR);
        text(o, ": ", JX_STYLE_ERROR);
        const char *v = d->text + std::min(n->val_off, d->size);
        bytes(o, v, d->text + value_end(d, id, n), JX_STYLE_ERROR);
    } else {
        if (n->key_off != JX_NONE && n->key_off < d->size) {
            const char *k = d->text + n->key_off;
            const char *hard = d->text + std::max(n->key_off, std::min(n->val_off, d->size));
            /* Under a budget no character takes more than 4 bytes. */
            const char *w = o.limit == NO_LIMIT || uint64_t(hard - k) <= 4 * (o.limit + 2) ? hard
                                                                                          : k + 4 * (o.limit + 2);
            bool closed;
            bytes(o, k, key_end(k, w, hard, &closed), JX_STYLE_KEY);
            punct(o, ": ");
        }
        if (jx__is_container(n->info)) {
            ends = n->end <= id + 1;
            if (ends)
                punct(o, object ? "{}" : "[]");
            else
                punct(o, object ? "{" : "[");
        } else {
            bytes(o, d->text + std::min(n->val_off, d->size), d->text + value_end(d, id, n), scalar_style(type));
        }
    }
    if (ends && i + 1 < t->count && !(t->lines[i + 1] & CLOSING) && !(t->records && n->parent == 0))
        punct(o, ",");
}

/* ---- building ---- */

/* Reports progress; false when the caller asked to stop. */
static bool step(const jx_progress *progress, uint64_t done, uint64_t total) {
    jx__report(progress, done, total);
    return !jx__cancel_requested(progress);
}

/* Two passes over the nodes: count the lines, then write each node's opening
 * line and, after the last node of a subtree, the closing lines it ends. */
static int build_pretty(JxText *t, const jx_progress *progress) {
    const JxDoc *d = t->doc;
    const uint32_t count = d->count, first = t->records;
    const uint64_t total = uint64_t(count) * 2;
    if (!step(progress, 0, total)) return JX_CANCELLED;
    if (count > CLOSING) return JX_NO_MEMORY;
    uint64_t lines = 0;
    for (uint32_t id = first; id < count; id++) {
        if (id % PROGRESS_STEP == 0 && id && !step(progress, id, total)) return JX_CANCELLED;
        lines += node_at(t, id)->end > id + 1 ? 2 : 1;
    }
    if (lines >= 0xFFFFFFFFu) return JX_NO_MEMORY;
    if (lines) {
        t->lines = static_cast<uint32_t *>(jx__malloc(size_t(lines) * sizeof(uint32_t)));
        if (!t->lines) return JX_NO_MEMORY;
    }
    uint32_t k = 0;
    for (uint32_t id = first; id < count && k < lines; id++) {
        if (id % PROGRESS_STEP == 0 && id && !step(progress, count + uint64_t(id), total)) return JX_CANCELLED;
        t->lines[k++] = id;
        if (node_at(t, id)->end > id + 1) continue;
        for (uint32_t p = node_at(t, id)->parent; p < count && !(first && p == 0) && k < lines;
             p = node_at(t, p)->parent) {
            if (node_at(t, p)->end != id + 1) break;
            t->lines[k++] = p | CLOSING;
        }
    }
    t->count = k;
    return step(progress, total, total) ? JX_OK : JX_CANCELLED;
}

/* ---- the interface ---- */

extern "C" JxText *jx_text_new(JxDoc *doc, int mode, const jx_progress *progress, int *status) {
    int st = JX_NO_MEMORY;
    JxText *t = nullptr;
    if (doc && mode == JX_TEXT_PRETTY) {
        t = static_cast<JxText *>(jx__calloc(1, sizeof(JxText)));
        if (t) {
            t->doc = jx_doc_retain(doc);
            t->mode = uint32_t(mode);
            t->records = jx_doc_records(doc) ? 1 : 0;
            st = build_pretty(t, progress);
            if (st != JX_OK) {
                jx_text_free(t);
                t = nullptr;
            }
        }
    }
    if (status) *status = st;
    return t;
}

extern "C" void jx_text_free(JxText *text) {
    if (!text) return;
    jx_doc_release(text->doc);
    jx__free(text->lines);
    jx__free(text);
}

extern "C" int jx_text_mode(const JxText *text) { return text ? int(text->mode) : 0; }
extern "C" uint32_t jx_text_count(const JxText *text) { return text ? text->count : 0; }

extern "C" void jx_text_line(const JxText *text, uint32_t line, uint32_t width, const JxSearch *search,
                             uint32_t current, JxLine *out) {
    if (!out) return;
    jx__line_reset(out);
    if (!text || line >= text->count) return;
    out->number = line + 1;
    (void)search;
    (void)current;
    Out o = line_out(out, width);
    const uint32_t entry = text->lines[line];
    out->node = entry & ~CLOSING;
    out->closing = entry & CLOSING ? 1 : 0;
    pretty_line(text, line, level_of(text, out->node), o);
    flush(o);
}

extern "C" uint32_t jx_text_line_of(const JxText *text, uint32_t node) {
    if (!text || !jx__valid(text->doc, node)) return JX_NONE;
    if (text->records && node == 0) return 0;
    /* Opening lines sort by 2 id, closing lines by 2 end - 1: after every
     * line of their subtree, before the next node's. */
    const uint32_t *lo = text->lines, *hi = lo + text->count;
    const uint32_t *it = std::partition_point(lo, hi, [&](uint32_t entry) {
        const uint32_t id = entry & ~CLOSING;
        const uint64_t key = entry & CLOSING ? uint64_t(node_at(text, id)->end) * 2 - 1 : uint64_t(id) * 2;
        return key < uint64_t(node) * 2;
    });
    return it != hi && *it == node ? uint32_t(it - lo) : JX_NONE;
}

extern "C" uint32_t jx_text_node_of(const JxText *text, uint32_t line) {
    if (!text || line >= text->count) return JX_NONE;
    return text->lines[line] & ~CLOSING;
}
