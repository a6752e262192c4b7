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
    uint32_t *lines;     /* pretty: per line an opening node, or a container | CLOSING */
    uint64_t *comment;   /* as in the file: bit i set when line i begins inside a block
                          * comment; null when no line does */
    uint32_t parsed_end; /* as in the file: where the parsed text ends */
};

/* Node ids stay below 2^31, so bit 31 of a pretty line tells its closing line. */
constexpr uint32_t CLOSING = 0x80000000u;
constexpr uint32_t MAX_LEVEL = 40;
constexpr uint32_t LONG_LINE = 10000;
constexpr uint32_t MAX_PROBLEMS = 8;
constexpr uint32_t PROGRESS_STEP = 1u << 20;
constexpr uint32_t GATHER = 256;
constexpr uint32_t FIRST_RANGES = 16;
constexpr uint32_t MAX_DECODED = 65532;
/* The first part of a key read to test it decoded: mostly enough to fill the
 * decoding's buffer. */
constexpr uint32_t KEY_WINDOW = 2 * MAX_DECODED;
/* More than any one character or escape takes (a surrogate pair: 12 bytes). */
constexpr ptrdiff_t LONGEST_CHAR = 16;
constexpr uint64_t NO_LIMIT = UINT64_MAX;

constexpr const char ELLIPSIS[] = "\xE2\x80\xA6";
constexpr const char REPLACEMENT[] = "\xEF\xBF\xBD";
constexpr const char SPACES[] = "                                                                                ";

namespace {

/* A key or scalar written on a line, kept for marking search matches: line
 * offsets of the token and of what it holds between its quotes. */
struct Token {
    uint32_t node;
    uint32_t start, inside, inside_end, end;
    bool key;
    bool escaped;
};

/* The tokens of one line; a line too long for the first few takes memory for
 * more, and without it the rest simply go unmarked. */
struct Tokens {
    Token local[32];
    Token *items = local;
    uint32_t n = 0, cap = 32;

    Tokens() = default;
    Tokens(const Tokens &) = delete;
    Tokens &operator=(const Tokens &) = delete;
    ~Tokens() {
        if (items != local) jx__free(items);
    }
    void add(const Token &t) {
        if (n == cap) {
            auto *grown = static_cast<Token *>(jx__malloc(sizeof(Token) * cap * 2));
            if (!grown) return;
            std::memcpy(grown, items, sizeof(Token) * n);
            if (items != local) jx__free(items);
            items = grown;
            cap *= 2;
        }
        items[n++] = t;
    }
};

/*
 * Where the characters of a line go: a styled line within a budget of
 * characters, or a plain copy (into buf, or only counted when buf is null).
 * Characters of one style are gathered before they reach the line, and the
 * last one written always stays in the gather buffer, so that it can give
 * way to "…" when the budget runs out.
 */
struct Out {
    JxLine *line;
    char *buf;
    uint64_t len;    /* copy: bytes so far */
    uint64_t limit;  /* characters allowed */
    uint64_t chars;  /* characters written */
    bool tab_spaces; /* tabs as spaces to the next multiple of 4 characters */
    bool cut;        /* the budget ran out: nothing more is written */
    bool failed;     /* memory ran out: nothing more is written */
    uint32_t cut_at; /* line offset of the "…", or UINT32_MAX */
    const char *base;      /* the document's text, for the marks */
    const uint32_t *marks; /* offsets whose character shows a problem, ascending */
    uint32_t nmarks, mark;
    uint8_t style;
    uint32_t used, last; /* gathered bytes; bytes of the last character */
    char gather[GATHER + 8];
};

}  // namespace

static const JxNode *node_at(const JxText *t, uint32_t id) { return jx__node(t->doc, id); }
static uint32_t start_of(const JxNode *n) { return n->key_off != JX_NONE ? n->key_off : n->val_off; }
static bool is_quote(char c) { return c == '"' || c == '\''; }

/* ---- writing characters ---- */

static Out line_out(JxLine *line, uint32_t width) {
    Out o{};
    o.line = line;
    o.limit = width ? width : NO_LIMIT;
    o.cut_at = UINT32_MAX;
    return o;
}

static Out copy_out(char *buf) {
    Out o{};
    o.buf = buf;
    o.limit = NO_LIMIT;
    return o;
}

static uint32_t pos(const Out &o) { return o.line->len + o.used; }

static void flush(Out &o) {
    if (o.used && !jx_line_add(o.line, o.gather, o.used, o.style)) o.failed = true;
    o.used = 0;
}

/* The budget is spent and more would follow: the last character gives way to "…". */
static void cut(Out &o) {
    o.cut = true;
    if (!o.line) return;
    if (o.last && o.used >= o.last) o.used -= o.last;
    o.cut_at = pos(o);
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
    if (!o.line) {
        if (o.buf) std::memcpy(o.buf + o.len, b, n);
        o.len += n;
        return;
    }
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
        size_t k = size_t(std::min<uint64_t>(n, o.limit - o.chars));
        if (o.line) {
            if (o.used && (style != o.style || o.used == GATHER)) {
                flush(o);
                if (o.failed) return;
            }
            o.style = style;
            k = std::min<size_t>(k, GATHER - o.used);
            std::memcpy(o.gather + o.used, p, k);
            o.used += uint32_t(k);
            o.last = 1;
        } else {
            if (o.buf) std::memcpy(o.buf + o.len, p, k);
            o.len += k;
        }
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
 * whole, any other byte as U+FFFD, control characters as their pictures (a
 * tab, as in the file, as spaces). With marked, the character at each mark is
 * in the error style.
 */
static void bytes(Out &o, const char *p, const char *e, uint8_t style, bool marked) {
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    const auto *end = reinterpret_cast<const unsigned char *>(e);
    while (u < end && !o.cut && !o.failed) {
        uint8_t st = style;
        const unsigned char *stop = end;
        if (marked && o.mark < o.nmarks) {
            const uint32_t off = uint32_t(reinterpret_cast<const char *>(u) - o.base);
            while (o.mark < o.nmarks && o.marks[o.mark] < off) o.mark++;
            if (o.mark < o.nmarks) {
                if (o.marks[o.mark] == off)
                    st = JX_STYLE_ERROR;
                else
                    stop = std::min(end, reinterpret_cast<const unsigned char *>(o.base) + o.marks[o.mark]);
            }
        }
        const unsigned char c = *u;
        if (printable(c)) {
            const unsigned char *r = u + 1;
            if (st == style) {
                /* Never further than the budget can take. */
                if (o.limit != NO_LIMIT && uint64_t(stop - u) > o.limit - std::min(o.chars, o.limit) + 1)
                    stop = u + (o.limit - std::min(o.chars, o.limit) + 1);
                r = printable_run(r, stop);
            }
            ascii(o, reinterpret_cast<const char *>(u), size_t(r - u), st);
            u = r;
        } else if (c < 0x80) {
            if (c == '\t' && o.tab_spaces) {
                spaces(o, 4 - o.chars % 4, st);
            } else {
                char pic[4];
                put(o, pic, jx__utf8_put(jx__picture(c), pic), st);
            }
            u++;
        } else {
            const size_t n = jx__utf8_len(u, end);
            if (n)
                put(o, reinterpret_cast<const char *>(u), uint32_t(n), st);
            else
                put(o, REPLACEMENT, 3, st);
            u += n ? n : 1;
        }
    }
}

static void text(Out &o, const char *s, uint8_t style) { bytes(o, s, s + std::strlen(s), style, false); }

/* Printable ASCII known in advance. */
template <size_t N>
static void punct(Out &o, const char (&s)[N]) {
    ascii(o, s, N - 1, JX_STYLE_PUNCT);
}

/*
 * Writes [p, e) of a key or scalar token; open: p is its opening quote,
 * close: e - 1 its closing quote. With tokens, remembers where it went.
 */
static void token(Out &o, Tokens *tokens, uint32_t node, bool key, bool escaped, const char *p, const char *e,
                  bool open, bool close, uint8_t style) {
    if (!tokens) return bytes(o, p, e, style, true);
    Token t{node, 0, 0, 0, 0, key, escaped};
    t.start = pos(o);
    if (open && p < e) {
        bytes(o, p, p + 1, style, true);
        p++;
    }
    t.inside = pos(o);
    if (close && e > p) e--;
    bytes(o, p, e, style, true);
    t.inside_end = pos(o);
    if (close) bytes(o, e, e + 1, style, true);
    t.end = pos(o);
    tokens->add(t);
}

/* ---- keys and scalars in the text ---- */

/*
 * The end of the key token at p, looked for from `from` up to w at most (a
 * key may be far longer than a line shows); hard is where the key must end
 * (its value). from is p, or a place inside a quoted key known to be before
 * its closing quote and not within an escape. Sets *closed when the token
 * ends with its closing quote before w.
 */
static const char *key_end_from(const char *p, const char *from, const char *w, const char *hard, bool *closed) {
    auto scan = [&](const char *lim) {
        return from == p ? p + jx__scan_string_end(p, lim) : from + jx__scan_quoted(from, lim, uint8_t(*p));
    };
    const char *e = scan(w);
    *closed = false;
    if (p >= w || !is_quote(*p)) return e;
    if (e < w) {
        *closed = true;
    } else if (w < hard) {
        /* The scan ran to w: one byte more tells whether the quote at w - 1 closes. */
        *closed = scan(w + 1) == e;
    } else {
        *closed = e - p >= 2 && e[-1] == *p;
    }
    return e;
}

static const char *key_end(const char *p, const char *w, const char *hard, bool *closed) {
    return key_end_from(p, p, w, hard, closed);
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

/* ---- search matches ---- */

/* Whether the decoded key or value matches the search. Decoding stops when
 * the buffer (three times the text, at most MAX_DECODED + 4 bytes) is full:
 * a value may be far longer than is worth testing. A key's end is only looked
 * for as far as the decoding reads, in windows that double, since a key's
 * length is not stored and its scan would cost what the cap saves. */
static bool decoded_matches(const JxDoc *d, uint32_t node, bool key, const JxSearch *search) {
    uint32_t window = KEY_WINDOW;
    bool whole = true;
    jx_span s = key ? jx__key_span_within(d, node, 0, window, &whole) : jx__val_span(d, node);
    if (!s.p) return false;
    /* a part of a key holds at least MAX_DECODED bytes, so the cap is the whole key's */
    const size_t cap = size_t(std::min<uint64_t>(uint64_t(s.len) * 3, MAX_DECODED)) + 4;
    char local[256];
    char *buf = cap <= sizeof local ? local : static_cast<char *>(jx__malloc(cap));
    if (!buf) return false;
    uint32_t n = 0;
    const auto *p = reinterpret_cast<const unsigned char *>(s.p), *end = p + s.len;
    while (p < end) {
        if (!whole && end - p < LONGEST_CHAR) {
            /* A character read here could be cut by the window: widen it, and
             * look for the key's end from here on, where the decoding agrees
             * with the scan on what is escaped. */
            const size_t done = size_t(p - reinterpret_cast<const unsigned char *>(s.p));
            window = window > UINT32_MAX / 2 ? UINT32_MAX : window * 2;
            s = jx__key_span_within(d, node, uint32_t(done + (s.quote ? 1 : 0)), window, &whole);
            p = reinterpret_cast<const unsigned char *>(s.p) + done;
            end = reinterpret_cast<const unsigned char *>(s.p) + s.len;
            continue;
        }
        const uint32_t cp = jx__read_char(&p, end, s.escaped);
        if (cp == JX_NO_CHAR) continue;
        char enc[4];
        const uint32_t m = jx__utf8_put(cp, enc);
        if (n + m >= cap) break;
        std::memcpy(buf + n, enc, m);
        n += m;
    }
    const bool hit = jx_search_ranges(search, buf, n, key ? 1 : 0, nullptr, nullptr, 0) > 0;
    if (buf != local) jx__free(buf);
    return hit;
}

/* Marks the search's matches in the written tokens, up to the "…" of a cut line. */
static void mark_hits(const JxText *t, Out &o, const Tokens &tokens, const JxSearch *search, uint32_t current) {
    JxLine *line = o.line;
    const uint32_t limit = std::min(o.cut_at, line->len);
    for (uint32_t k = 0; k < tokens.n; k++) {
        const Token &tk = tokens.items[k];
        const uint32_t a = std::min(tk.inside, limit), b = std::min(tk.inside_end, limit);
        const int hit = tk.node == current ? JX_HIT_CURRENT : JX_HIT_MATCH;
        uint32_t starts[FIRST_RANGES], lengths[FIRST_RANGES];
        uint32_t *st = starts, *ln = lengths, room = FIRST_RANGES;
        uint32_t found = 0;
        if (b > a) found = jx_search_ranges(search, line->text + a, b - a, tk.key, starts, lengths, room);
        uint32_t *more = nullptr;
        if (found > FIRST_RANGES) {
            more = static_cast<uint32_t *>(jx__malloc(sizeof(uint32_t) * 2 * size_t(found)));
            if (more) {
                room = found;
                st = more;
                ln = more + found;
                found = jx_search_ranges(search, line->text + a, b - a, tk.key, st, ln, room);
            }
        }
        for (uint32_t i = 0; i < std::min(found, room); i++) {
            const uint32_t s = a + std::min(st[i], b - a);
            jx_line_mark(line, s, std::min(ln[i], b - s), hit);
        }
        jx__free(more);
        const uint32_t ts = std::min(tk.start, limit), te = std::min(tk.end, limit);
        if (found == 0 && tk.escaped && te > ts && decoded_matches(t->doc, tk.node, tk.key, search))
            jx_line_mark(line, ts, te - ts, hit);
    }
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
static void pretty_line(const JxText *t, uint32_t i, uint64_t level, Out &o, Tokens *tokens) {
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
        token(o, tokens, id, false, false, v, d->text + value_end(d, id, n), false, false, JX_STYLE_ERROR);
    } else {
        if (n->key_off != JX_NONE && n->key_off < d->size) {
            const char *k = d->text + n->key_off;
            const char *hard = d->text + std::max(n->key_off, std::min(n->val_off, d->size));
            /* Under a budget no character takes more than 4 bytes. */
            const char *w = o.limit == NO_LIMIT || uint64_t(hard - k) <= 4 * (o.limit + 2) ? hard
                                                                                          : k + 4 * (o.limit + 2);
            bool closed;
            const char *e = key_end(k, w, hard, &closed);
            token(o, tokens, id, true, jx__flags_of(n) & JX_F_KEY_ESCAPED, k, e, is_quote(*k), closed, JX_STYLE_KEY);
            punct(o, ": ");
        }
        if (jx__is_container(n->info)) {
            ends = n->end <= id + 1;
            if (ends)
                punct(o, object ? "{}" : "[]");
            else
                punct(o, object ? "{" : "[");
        } else {
            const char *v = d->text + std::min(n->val_off, d->size), *e = d->text + value_end(d, id, n);
            const bool quoted = type == JX_STRING && v < e && is_quote(*v);
            token(o, tokens, id, false, type == JX_STRING && (jx__flags_of(n) & JX_F_ESCAPED), v, e, quoted,
                  quoted && e - v >= 2 && e[-1] == *v, scalar_style(type));
        }
    }
    if (ends && i + 1 < t->count && !(t->lines[i + 1] & CLOSING) && !(t->records && n->parent == 0))
        punct(o, ",");
}

/* Pretty lines lo to hi, whole, joined by line feeds, indented from lo's level on. */
static void pretty_copy(const JxText *t, uint32_t lo, uint32_t hi, Out &o) {
    uint64_t level = level_of(t, t->lines[lo] & ~CLOSING);
    for (uint32_t i = lo;; i++) {
        pretty_line(t, i, level, o, nullptr);
        if (i == hi || o.failed) break;
        punct(o, "\n");
        const uint32_t entry = t->lines[i], id = entry & ~CLOSING;
        if (!(entry & CLOSING) && node_at(t, id)->end > id + 1) level++;
        if ((t->lines[i + 1] & CLOSING) && level) level--;
    }
}

/* ---- lines as in the file ---- */

/* Start of line i and the end of its bytes without the line feed (and a
 * carriage return before it). */
static uint32_t line_bytes(const JxDoc *d, uint32_t i, uint32_t *end) {
    const uint32_t a = jx_doc_line_start(d, i);
    uint32_t e = std::max(a, jx_doc_line_start(d, i + 1));
    if (e > a && d->text[e - 1] == '\n') {
        e--;
        if (e > a && d->text[e - 1] == '\r') e--;
    }
    *end = e;
    return a;
}

/* Where a line comment starting at p ends: at the line break (a lone CR ends
 * it too, as it does for the parser), or at limit. */
static uint32_t line_comment_end(const char *text, uint32_t p, uint32_t limit) {
    while (p < limit && text[p] != '\n' && text[p] != '\r') p++;
    return p;
}

/* The offset after the first "*" "/" from p on, or limit when there is none before it. */
static uint32_t block_comment_end(const char *text, uint32_t p, uint32_t limit) {
    for (; p + 1 < limit; p++) {
        const void *star = std::memchr(text + p, '*', limit - 1 - p);
        if (!star) break;
        p = uint32_t(static_cast<const char *>(star) - text);
        if (text[p + 1] == '/') return p + 2;
    }
    return limit;
}

static bool filler(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ','; }
static bool punct_byte(char c) {
    return filler(c) || c == ':' || c == '{' || c == '}' || c == '[' || c == ']';
}

/*
 * Text between tokens, [from, to): spacing and punctuation, comments and stray
 * bytes; from the parsed end on, everything is a note. *comment says whether
 * from lies inside a block comment, and is left saying whether to does.
 */
static void gap(const JxText *t, Out &o, uint32_t from, uint32_t to, bool *comment) {
    const char *s = t->doc->text;
    while (from < to && !o.cut && !o.failed) {
        if (from >= t->parsed_end) {
            bytes(o, s + from, s + to, JX_STYLE_NOTE, true);
            return;
        }
        const uint32_t lim = std::min(to, t->parsed_end);
        uint32_t e;
        uint8_t style = JX_STYLE_NOTE;
        if (*comment) {
            e = block_comment_end(s, from, lim);
            *comment = !(e >= from + 2 && s[e - 2] == '*' && s[e - 1] == '/');
        } else if (s[from] == '/' && from + 1 < lim && s[from + 1] == '/') {
            e = lim;
        } else if (s[from] == '/' && from + 1 < lim && s[from + 1] == '*') {
            e = from + 2;
            *comment = true;
        } else {
            const bool p = punct_byte(s[from]);
            if (p) style = JX_STYLE_PUNCT;
            for (e = from + 1; e < lim && punct_byte(s[e]) == p && s[e] != '/';) e++;
        }
        bytes(o, s + from, s + e, style, true);
        from = e;
    }
}

/* The first node (from node 1 in a records document) whose text starts at or
 * after offset; the node count when there is none. */
static uint32_t first_from(const JxText *t, uint32_t offset) {
    /* a plain binary search: clang 14 cannot compile libstdc++ 12's iota views */
    uint32_t lo = t->records, hi = std::max(t->records, t->doc->count);
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        if (start_of(node_at(t, mid)) < offset)
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

/* Whether line i begins inside a block comment. */
static bool in_comment(const JxText *t, uint32_t i) { return t->comment && (t->comment[i / 64] >> (i % 64) & 1); }

/*
 * Where to look for the end of a key that starts before line i (which starts
 * at a) and whose value starts at hard, after a: the key's length is not
 * stored, and scanning it from its start would cost as much as the key is
 * long. Null when the key ends before the line, a when it runs on into the
 * line (its end is found from there), p, the key's start, when the text up
 * to lim (at most hard) cannot tell.
 *
 * An unquoted key holds no line break; a line beginning inside a comment is
 * past the key. Otherwise a key that ended before the line leaves nothing up
 * to its value but spacing, comments and its colon, so the first other byte
 * proves the key goes on; a key that goes on has its closing quote before
 * its value, which no spacing holds: reaching the value proves it ended,
 * unless a comment skipped on the way held a quote that may have been the
 * key's. a follows a line feed, so it is never within an escape.
 */
static const char *key_scan_from(const JxText *t, uint32_t i, const char *p, uint32_t a, uint32_t lim,
                                 uint32_t hard) {
    const char *s = t->doc->text;
    if (!is_quote(*p) || in_comment(t, i)) return nullptr;
    auto quoted = [&](uint32_t from, uint32_t to) {
        return std::memchr(s + from, '"', to - from) || std::memchr(s + from, '\'', to - from);
    };
    uint32_t x = a;
    while (x < lim) {
        const auto c = static_cast<unsigned char>(s[x]);
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ':' || c == '\f' || c == '\v' || c >= 0x80) {
            x++; /* every byte of JSON5's wider spacing is above 0x7F */
        } else if (c == '/' && x + 1 < hard && (s[x + 1] == '/' || s[x + 1] == '*')) {
            const uint32_t e = s[x + 1] == '/' ? line_comment_end(s, x + 2, lim) : block_comment_end(s, x + 2, lim);
            if (quoted(x, e)) return p;
            x = e;
        } else {
            return s + a;
        }
    }
    return x >= hard ? nullptr : p;
}

/* The shown bytes of line i [a, shown) with their styles: keys, scalars and
 * unreadable records by their nodes, the rest by what it is. */
static void file_body(const JxText *t, Out &o, Tokens *tokens, uint32_t i, uint32_t a, uint32_t shown) {
    const JxDoc *d = t->doc;
    const char *s = d->text;
    const uint32_t stop = std::min(shown, t->parsed_end);
    bool comment = in_comment(t, i);
    uint32_t at = a;
    uint32_t id = first_from(t, a);
    if (id > t->records) id--; /* the node before may reach into the line */
    for (; id < d->count && !o.cut && !o.failed; id++) {
        const JxNode *n = node_at(t, id);
        if (start_of(n) >= stop) break;
        if (n->key_off != JX_NONE) {
            const char *k = s + n->key_off;
            const uint32_t hard = std::max(n->key_off, std::min(n->val_off, d->size)), w = std::min(hard, stop);
            /* the key shows only where it reaches past at, which it cannot past w */
            const char *from = w <= at                        ? nullptr
                               : n->key_off < at && at == a ? key_scan_from(t, i, k, a, w, hard)
                                                            : k;
            bool closed = false;
            const uint32_t e = from ? uint32_t(key_end_from(k, from, s + w, s + hard, &closed) - s) : at;
            if (e > at) {
                const uint32_t b = std::max(n->key_off, at);
                gap(t, o, at, b, &comment);
                token(o, tokens, id, true, jx__flags_of(n) & JX_F_KEY_ESCAPED, s + b, s + std::min(e, stop),
                      b == n->key_off && is_quote(*k), closed && e <= stop, JX_STYLE_KEY);
                at = std::min(e, stop);
            }
        }
        if (jx__is_container(n->info)) continue;
        if (n->val_off >= stop) break;
        const uint32_t e = value_end(d, id, n);
        if (e <= at) continue;
        const int type = jx__type_of(n);
        const uint32_t b = std::max(n->val_off, at);
        const char *v = s + n->val_off;
        const bool quoted = type == JX_STRING && is_quote(*v);
        gap(t, o, at, b, &comment);
        token(o, tokens, id, false, type == JX_STRING && (jx__flags_of(n) & JX_F_ESCAPED), s + b,
              s + std::min(e, stop), quoted && b == n->val_off,
              quoted && e <= stop && e - n->val_off >= 2 && s[e - 1] == *v, scalar_style(type));
        at = std::min(e, stop);
    }
    gap(t, o, at, shown, &comment);
}

/* Line i as in the file: its bytes (the first LONG_LINE of a longer line and
 * a note of the rest), then its problems, which keep their room within the
 * width when they fit in it. */
static void file_line(const JxText *t, uint32_t i, Out &o, Tokens *tokens) {
    const JxDoc *d = t->doc;
    uint32_t e;
    const uint32_t a = line_bytes(d, i, &e), next = jx_doc_line_start(d, i + 1);
    uint32_t shown = e;
    if (e - a > LONG_LINE) {
        /* Back to the start of a character the cut would split. */
        const auto *u = reinterpret_cast<const unsigned char *>(d->text);
        shown = a + LONG_LINE;
        uint32_t c = shown;
        for (int k = 0; k < 3 && c > a && jx__is_cont(u[c]); k++) c--;
        if (c < shown && u[c] >= 0xC0 && c + jx__char_len(u + c, u + e) > shown) shown = c;
    }

    const JxStoredProblem *lo = d->problems, *hi = lo + d->problem_count;
    const JxStoredProblem *p =
        std::lower_bound(lo, hi, a, [](const JxStoredProblem &q, uint32_t v) { return q.offset < v; });
    uint32_t marks[MAX_PROBLEMS];
    const jx_problem *problems[MAX_PROBLEMS];
    uint32_t np = 0;
    uint64_t reserve = 0;
    for (; p != hi && p->offset < std::max(next, e + 1) && np < MAX_PROBLEMS; ++p) {
        const jx_problem *r = jx_doc_error(d, uint32_t(p - lo));
        if (!r) continue;
        marks[np] = p->offset;
        problems[np++] = r;
        const auto *m = reinterpret_cast<const unsigned char *>(r->message);
        reserve += 4 + jx__count_chars(m, m + std::strlen(r->message), m + std::strlen(r->message));
    }
    const bool kept = o.limit != NO_LIMIT && reserve <= o.limit;
    if (kept) o.limit -= reserve;

    o.base = d->text;
    o.marks = marks;
    o.nmarks = np;
    o.mark = 0;
    file_body(t, o, tokens, i, a, shown);
    o.nmarks = 0;
    if (shown < e) {
        char size[32];
        jx__fmt_bytes(e - shown, size);
        text(o, " \xE2\x80\xA6 ", JX_STYLE_NOTE);
        text(o, size, JX_STYLE_NOTE);
        text(o, " more on this line", JX_STYLE_NOTE);
    }
    if (kept) {
        o.limit = NO_LIMIT;
        o.cut = false;
    }
    for (uint32_t k = 0; k < np; k++) {
        text(o, "  \xE2\x97\x80 ", JX_STYLE_ERROR);
        text(o, problems[k]->message, JX_STYLE_ERROR);
    }
}

/* The filler after a value: spacing, commas and comments, from pos up to limit. */
static uint32_t skip_filler(const char *s, uint32_t pos, uint32_t limit) {
    while (pos < limit) {
        if (filler(s[pos])) {
            pos++;
        } else if (s[pos] == '/' && s[pos + 1] == '/') {
            pos = line_comment_end(s, pos + 2, limit);
        } else if (s[pos] == '/' && s[pos + 1] == '*') {
            pos = block_comment_end(s, pos + 2, limit);
        } else {
            break;
        }
    }
    return pos;
}

namespace {
/* Closing brackets counted from a line's start on. */
struct Ahead {
    uint32_t pos;
    uint32_t brackets;
};
}  // namespace

/* Counts up to n more closing brackets ahead, over the same filler as the
 * walk outwards. Returns 0 while they go on, 1 when they end where node next
 * starts (or at the end of a text read to its end), -1 when they end anywhere
 * else or run into text the parser did not read. */
static int read_ahead(const JxText *t, Ahead &ah, uint32_t n, uint32_t next) {
    const JxDoc *d = t->doc;
    const char *s = d->text;
    for (uint32_t k = 0; k < n; k++) {
        ah.pos = skip_filler(s, ah.pos, t->parsed_end);
        if (ah.pos >= t->parsed_end) return next >= d->count && t->parsed_end == d->size ? 1 : -1;
        if (s[ah.pos] != '}' && s[ah.pos] != ']')
            return next < d->count && ah.pos == start_of(node_at(t, next)) ? 1 : -1;
        ah.pos++;
        ah.brackets++;
    }
    return 0;
}

/*
 * The owner of a line inside a run of closing brackets that ends before node
 * next, found from the outermost container of the run inwards: the one whose
 * bracket is the brackets-th from the end of the run. inner is the innermost
 * container the run closes. False when the nodes are not as a text read by
 * the parser makes them.
 */
static bool from_top(const JxText *t, uint32_t next, uint32_t brackets, uint32_t inner, uint32_t *owner) {
    const JxDoc *d = t->doc;
    uint32_t top, outer;
    if (next < d->count) {
        outer = node_at(t, next)->parent;
        const uint32_t i = jx_index_in_parent(d, next);
        if (outer >= d->count || i == 0) return false;
        top = jx_child_at(d, outer, i - 1);
    } else {
        outer = t->records ? 0 : JX_NONE;
        top = t->records ? jx_child_at(d, 0, jx_child_count(d, 0) - 1) : 0;
    }
    if (brackets == 0) {
        *owner = outer;
        return true;
    }
    uint32_t x = top;
    for (uint32_t k = 1;; k++) {
        if (x > inner || !jx__valid(d, x)) return false;
        const JxNode *n = node_at(t, x);
        if (!jx__is_container(n->info) || n->end != next || (jx__flags_of(n) & JX_F_UNCLOSED)) return false;
        if (k == brackets) break;
        x = jx_child_at(d, x, jx_child_count(d, x) - 1);
    }
    *owner = x;
    return true;
}

/*
 * The node of line i as in the file: the node starting on it, else the node
 * whose key, scalar or inside the line lies in, found by walking outwards
 * over closing brackets from the last node before it.
 *
 * Deep in a long run of closing brackets that walk takes a step per bracket
 * before the line; the brackets after it say as much when there are fewer.
 * Both are counted in turns, and the count ahead is trusted where the text
 * between can hold nothing but filler and brackets (no JSON5 spacing, read by
 * the parser) and the run ahead ends at node next.
 */
static uint32_t file_node_of(const JxText *t, uint32_t i) {
    const JxDoc *d = t->doc;
    const char *s = d->text;
    const uint32_t a = jx_doc_line_start(d, i), b = jx_doc_line_start(d, i + 1);
    const uint32_t next = first_from(t, a);
    if (next < d->count && start_of(node_at(t, next)) < b) return next;
    if (next <= t->records) return t->records ? 0 : JX_NONE;
    const uint32_t p = next - 1;
    const JxNode *pn = node_at(t, p);
    if (pn->key_off != JX_NONE && pn->key_off < a) {
        const uint32_t hard = std::max(pn->key_off, std::min(pn->val_off, d->size));
        /* a key reaching into the line reaches past its start, before its value */
        const char *k = s + pn->key_off;
        const char *from = hard <= a ? nullptr : key_scan_from(t, i, k, a, std::min(hard, b), hard);
        bool closed;
        if (from == s + a || (from && key_end(k, s + std::min(hard, a + 1), s + hard, &closed) > s + a)) return p;
    }
    uint32_t c, at;
    if (!jx__is_container(pn->info)) {
        at = value_end(d, p, pn);
        if (a < at) return p;
        c = pn->parent;
    } else {
        if (pn->end > p + 1) return p; /* between its opening bracket and its first child */
        c = p;
        at = pn->val_off + 1;
    }
    const uint32_t inner = c;
    /* a line inside a block comment starts counting after it */
    Ahead ahead{in_comment(t, i) ? block_comment_end(s, a, t->parsed_end) : a, 0};
    bool count_ahead = !(d->syntax & JX_SYNTAX_JSON5) && a <= t->parsed_end;
    for (uint32_t steps = 1; c < d->count; steps++) {
        if (t->records && c == 0) return 0;
        const JxNode *cn = node_at(t, c);
        if (cn->end != next) return c;
        if (!(jx__flags_of(cn) & JX_F_UNCLOSED)) {
            at = skip_filler(s, at, a);
            if (at >= a || (s[at] != '}' && s[at] != ']')) return c;
            at++;
        }
        c = cn->parent;
        if (count_ahead && steps % 64 == 0) {
            const int r = read_ahead(t, ahead, 64, next);
            uint32_t owner;
            if (r > 0 && from_top(t, next, ahead.brackets, inner, &owner)) return owner;
            count_ahead = r == 0;
        }
    }
    return JX_NONE;
}

/* The file's bytes of lines lo to hi without their line ends, joined by line
 * feeds, into buf (or only counted when buf is null). */
static uint64_t file_copy(const JxText *t, uint32_t lo, uint32_t hi, char *buf) {
    uint64_t len = 0;
    for (uint32_t i = lo; i <= hi; i++) {
        uint32_t e;
        const uint32_t a = line_bytes(t->doc, i, &e);
        if (buf) std::memcpy(buf + len, t->doc->text + a, e - a);
        len += e - a;
        if (i == hi) break;
        if (buf) buf[len] = '\n';
        len++;
    }
    return len;
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

/* Marks the lines that begin inside a block comment, scanning the text
 * between keys and scalars up to the parsed end. */
static int scan_comments(JxText *t, const jx_progress *progress) {
    const JxDoc *d = t->doc;
    const char *s = d->text;
    const uint32_t count = d->count;
    t->comment = static_cast<uint64_t *>(jx__calloc((d->line_count + 63) / 64, sizeof(uint64_t)));
    if (!t->comment) return JX_NO_MEMORY;
    bool any = false;
    auto scan = [&](uint32_t from, uint32_t to) {
        while (from < to) {
            const void *slash = std::memchr(s + from, '/', to - from);
            if (!slash) return;
            from = uint32_t(static_cast<const char *>(slash) - s);
            if (from + 1 < to && s[from + 1] == '/') {
                from = line_comment_end(s, from + 2, to);
            } else if (from + 1 < to && s[from + 1] == '*') {
                const uint32_t e = block_comment_end(s, from + 2, to);
                for (uint32_t q = from + 2; q < e; q++) {
                    const void *lf = std::memchr(s + q, '\n', e - q);
                    if (!lf) break;
                    q = uint32_t(static_cast<const char *>(lf) - s);
                    const uint32_t line = jx_doc_line_of(d, q + 1);
                    if (jx_doc_line_start(d, line) == q + 1 && line < d->line_count) {
                        t->comment[line / 64] |= uint64_t(1) << (line % 64);
                        any = true;
                    }
                }
                from = e;
            } else {
                from++;
            }
        }
    };
    uint32_t last = 0;
    for (uint32_t id = t->records; id < count; id++) {
        if (id % PROGRESS_STEP == 0 && id && !step(progress, id, count)) return JX_CANCELLED;
        const JxNode *n = node_at(t, id);
        if (n->key_off != JX_NONE && n->key_off < d->size) {
            scan(last, n->key_off);
            const uint32_t hard = std::max(n->key_off, std::min(n->val_off, d->size));
            last = std::max(last, n->key_off + uint32_t(jx__scan_string_end(s + n->key_off, s + hard)));
        }
        if (!jx__is_container(n->info)) {
            scan(last, std::min(n->val_off, d->size));
            last = std::max(last, value_end(d, id, n));
        }
    }
    scan(last, t->parsed_end);
    if (!any) {
        jx__free(t->comment);
        t->comment = nullptr;
    }
    return JX_OK;
}

static int build_file(JxText *t, const jx_progress *progress) {
    const JxDoc *d = t->doc;
    if (!step(progress, 0, d->count)) return JX_CANCELLED;
    t->count = d->line_count;
    /* Past a problem that stopped the parse nothing was read. */
    t->parsed_end = d->size;
    for (uint32_t i = 0; i < d->problem_count; i++) {
        if (d->problems[i].node == JX_NONE) {
            t->parsed_end = std::min(t->parsed_end, d->problems[i].offset);
            break;
        }
    }
    if ((d->syntax & JX_SYNTAX_COMMENTS) && d->format != JX_FORMAT_LINES && d->line_count >= 2) {
        const int status = scan_comments(t, progress);
        if (status != JX_OK) return status;
    }
    return step(progress, d->count, d->count) ? JX_OK : JX_CANCELLED;
}

/* ---- the interface ---- */

extern "C" JxText *jx_text_new(JxDoc *doc, int mode, const jx_progress *progress, int *status) {
    int st = JX_NO_MEMORY;
    JxText *t = nullptr;
    if (doc && (mode == JX_TEXT_PRETTY || mode == JX_TEXT_FILE)) {
        t = static_cast<JxText *>(jx__calloc(1, sizeof(JxText)));
        if (t) {
            t->doc = jx_doc_retain(doc);
            t->mode = uint32_t(mode);
            t->records = jx_doc_records(doc) ? 1 : 0;
            st = mode == JX_TEXT_PRETTY ? build_pretty(t, progress) : build_file(t, progress);
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
    jx__free(text->comment);
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
    Tokens tokens;
    Out o = line_out(out, width);
    if (text->mode == JX_TEXT_PRETTY) {
        const uint32_t entry = text->lines[line];
        out->node = entry & ~CLOSING;
        out->closing = entry & CLOSING ? 1 : 0;
        pretty_line(text, line, level_of(text, out->node), o, search ? &tokens : nullptr);
    } else {
        out->node = file_node_of(text, line);
        o.tab_spaces = true;
        file_line(text, line, o, search ? &tokens : nullptr);
    }
    flush(o);
    if (search && !o.failed) mark_hits(text, o, tokens, search, current);
}

extern "C" uint32_t jx_text_line_of(const JxText *text, uint32_t node) {
    if (!text || !jx__valid(text->doc, node)) return JX_NONE;
    if (text->mode == JX_TEXT_FILE) return jx_doc_line_of(text->doc, start_of(node_at(text, node)));
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
    if (text->mode == JX_TEXT_PRETTY) return text->lines[line] & ~CLOSING;
    return file_node_of(text, line);
}

/* The lines a copy covers; false when there are none. */
static bool copy_range(const JxText *text, uint32_t a, uint32_t b, uint32_t *lo, uint32_t *hi) {
    if (!text) return false;
    *lo = std::min(a, b);
    *hi = std::min(std::max(a, b), text->count ? text->count - 1 : 0);
    return *lo < text->count;
}

extern "C" size_t jx_text_copy_size(const JxText *text, uint32_t a, uint32_t b) {
    uint32_t lo, hi;
    if (!copy_range(text, a, b, &lo, &hi)) return 0;
    if (text->mode == JX_TEXT_FILE) return size_t(file_copy(text, lo, hi, nullptr));
    Out o = copy_out(nullptr);
    pretty_copy(text, lo, hi, o);
    return size_t(o.len);
}

extern "C" char *jx_text_copy(const JxText *text, uint32_t a, uint32_t b, size_t *length) {
    if (length) *length = 0;
    uint32_t lo, hi;
    if (!copy_range(text, a, b, &lo, &hi)) return nullptr;
    const size_t size = jx_text_copy_size(text, lo, hi);
    char *buf = static_cast<char *>(jx__malloc(size + 1));
    if (!buf) return nullptr;
    if (text->mode == JX_TEXT_FILE) {
        file_copy(text, lo, hi, buf);
    } else {
        Out o = copy_out(buf);
        pretty_copy(text, lo, hi, o);
    }
    buf[size] = 0;
    if (length) *length = size;
    return buf;
}
