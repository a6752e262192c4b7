#include "line_int.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "alloc.h"
#include "doc_int.h"
#include "rows_int.h"
#include "decode_int.h"
#include "status_int.h"

/* Every fresh line points here, so that a line that never received text costs
 * no allocation and still reads as a zero-terminated "". */
constexpr char EMPTY[1] = {0};

constexpr uint32_t FIRST_TEXT_CAP = 32;
constexpr uint32_t FIRST_RUN_CAP = 4;
constexpr uint32_t GATHER = 256;

/* Strings and scalars are never counted past what a row can show, however
 * long they are: 500 characters, one more to know that there are more. */
constexpr uint32_t VALUE_SHOWN = 500;
/* A preview shows keys up to 20 characters and values up to 24. */
constexpr uint32_t PREVIEW_KEY = 20;
constexpr uint32_t PREVIEW_VALUE = 24;

constexpr const char ELLIPSIS[] = "\xE2\x80\xA6";

static char *owned(JxLine *l) { return const_cast<char *>(l->text); }

/* Bytes that a picture replaces: each grows from 1 byte to 3. */
static bool pictured_byte(unsigned char b) { return b < 0x20 || b == 0x7F; }

static bool at_stop(const jx_piece &pc, const unsigned char *p) {
    const unsigned char *end = reinterpret_cast<const unsigned char *>(pc.end);
    if (p >= end) return true;
    if (pc.stop == JX_STOP_NONE) return false;
    if (pc.stop == JX_STOP_IDENT) {
        if (jx__ident_byte(*p)) return false;
        /* the parser accepted the key whole: only where it ends is in question */
        return !jx__ident_escape(reinterpret_cast<const char *>(p), pc.end, false);
    }
    return *p == pc.stop;
}

/*
 * Appends up to n characters of the piece, gathered in a small buffer so
 * that a long piece costs a few appends. Stops at the first failed append,
 * so that what the line holds is always the first characters of the piece;
 * returns how many those are and clears *ok on a failure.
 */
static uint32_t emit(JxLine *line, const jx_piece &pc, uint32_t n, bool pictures, bool *ok) {
    char buf[GATHER];
    uint32_t used = 0, gathered = 0, done = 0;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(pc.start);
    const unsigned char *end = reinterpret_cast<const unsigned char *>(pc.end);
    while (done + gathered < n && !at_stop(pc, p)) {
        uint32_t cp = jx__read_char(&p, end, pc.decode);
        if (cp == JX_NO_CHAR) continue;
        char enc[4];
        uint32_t m = jx__utf8_put(pictures ? jx__picture(cp) : cp, enc);
        if (used + m > GATHER) {
            if (!jx_line_add(line, buf, used, pc.style)) {
                *ok = false;
                return done;
            }
            done += gathered;
            used = gathered = 0;
        }
        std::memcpy(buf + used, enc, m);
        used += m;
        gathered++;
    }
    if (used && !jx_line_add(line, buf, used, pc.style)) {
        *ok = false;
        return done;
    }
    return done + gathered;
}

static void add(JxLine *line, const char *text, int style) {
    jx_line_add(line, text, uint32_t(std::strlen(text)), style);
}

static uint32_t sum_chars(const jx_piece *pcs, uint32_t n) {
    uint64_t total = 0;
    for (uint32_t i = 0; i < n; i++) total += pcs[i].chars;
    return total > UINT32_MAX ? UINT32_MAX : uint32_t(total);
}

/* The key of a member, read from its first character without looking for
 * its end first: the reader stops at the closing quote or, unquoted, at the
 * first byte an identifier cannot hold. */
static jx_piece key_piece(const JxDoc *d, const JxNode *n, int style) {
    jx_piece pc = jx__piece("", 0, style);
    if (n->key_off == JX_NONE || n->key_off >= d->size) return pc;
    const char *p = d->text + n->key_off;
    pc.end = d->text + d->size;
    pc.decode = (jx__flags_of(n) & JX_F_KEY_ESCAPED) != 0;
    if (*p == '"' || *p == '\'') {
        pc.start = p + 1;
        pc.stop = static_cast<uint8_t>(*p);
    } else {
        pc.start = p;
        pc.stop = JX_STOP_IDENT;
    }
    return pc;
}

/* A string's inside or a scalar's text as written (raw: no decoding). */
static jx_piece value_piece(const JxDoc *d, uint32_t id, int style, bool raw) {
    jx_span v = jx__val_span(d, id);
    jx_piece pc = jx__piece("", 0, style);
    if (v.p) {
        pc.start = v.p;
        pc.end = v.p + v.len;
        pc.decode = !raw && v.escaped;
    }
    return pc;
}

/* Puts the whole piece (already counted). */
static void put_whole(JxLine *line, jx_piece *pc) { jx__put_piece(line, pc, pc->chars); }

/* A piece of text that lives in caller storage, counted at once. */
static jx_piece counted(const char *text, int style) {
    jx_piece pc = jx__piece(text, style);
    jx__count(&pc, UINT32_MAX);
    return pc;
}

/* Up to limit characters of a piece, or limit - 1 and a "…" piece. Returns
 * the number of pieces written to out (1 or 2). */
static uint32_t cut_to(jx_piece *pc, uint32_t shown, jx_piece *out) {
    jx__count(pc, shown + 1);
    out[0] = *pc;
    if (pc->chars <= shown) return 1;
    out[0].chars = shown;
    out[1] = counted(ELLIPSIS, pc->style);
    return 2;
}

/* The preview of a collapsed container: as many children as fit, each in
 * short form, within remaining characters (at least 5). */
static void preview(JxLine *line, const JxDoc *d, uint32_t id, uint32_t remaining) {
    bool object = jx__type_of(jx__node(d, id)) == JX_OBJECT;
    add(line, "  ", JX_STYLE_PLAIN);
    add(line, object ? "{" : "[", JX_STYLE_PREVIEW);
    const uint64_t budget = remaining - 2;
    uint64_t used = 1;
    bool shown_any = false, left_out = false;
    uint32_t end = std::min(jx__node(d, id)->end, d->count);
    for (uint32_t c = id + 1; c < end;) {
        const JxNode *cn = jx__node(d, c);
        uint32_t next = cn->end > c ? cn->end : c + 1;
        jx_piece pcs[8];
        uint32_t k = 0;
        if (cn->key_off != JX_NONE) {
            jx_piece key = key_piece(d, cn, JX_STYLE_PREVIEW);
            if (jx__count(&key, 1) == 0)
                pcs[k++] = counted("\"\"", JX_STYLE_PREVIEW);
            else
                k += cut_to(&key, PREVIEW_KEY, pcs + k);
            pcs[k++] = counted(": ", JX_STYLE_PREVIEW);
        }
        int type = jx__type_of(cn);
        bool filled = cn->end > c + 1;
        if (type == JX_OBJECT) {
            pcs[k++] = counted(filled ? "{\xE2\x80\xA6}" : "{}", JX_STYLE_PREVIEW);
        } else if (type == JX_ARRAY) {
            pcs[k++] = counted(filled ? "[\xE2\x80\xA6]" : "[]", JX_STYLE_PREVIEW);
        } else if (type == JX_BAD) {
            pcs[k++] = counted("\xE2\x9A\xA0", JX_STYLE_PREVIEW);
        } else if (type == JX_STRING) {
            pcs[k++] = counted("\"", JX_STYLE_PREVIEW);
            jx_piece in = value_piece(d, c, JX_STYLE_PREVIEW, false);
            k += cut_to(&in, PREVIEW_VALUE, pcs + k);
            pcs[k++] = counted("\"", JX_STYLE_PREVIEW);
        } else {
            jx_piece raw = value_piece(d, c, JX_STYLE_PREVIEW, true);
            k += cut_to(&raw, PREVIEW_VALUE, pcs + k);
        }
        uint64_t w = sum_chars(pcs, k) + (shown_any ? 2 : 0);
        bool more = next < end;
        if (used + w + (more ? 4 : 1) > budget) {
            left_out = true;
            break;
        }
        if (shown_any) add(line, ", ", JX_STYLE_PREVIEW);
        for (uint32_t i = 0; i < k; i++) put_whole(line, &pcs[i]);
        used += w;
        shown_any = true;
        c = next;
    }
    if (left_out) {
        if (shown_any) add(line, ", ", JX_STYLE_PREVIEW);
        add(line, ELLIPSIS, JX_STYLE_PREVIEW);
    }
    add(line, object ? "}" : "]", JX_STYLE_PREVIEW);
}


/* ---- the line buffer ---- */

extern "C" void jx_line_init(JxLine *line) {
    if (!line) return;
    *line = JxLine{};
    line->text = EMPTY;
    line->node = JX_NONE;
}

extern "C" void jx_line_free(JxLine *line) {
    if (!line) return;
    if (line->cap) jx__free(owned(line));
    jx__free(line->runs);
    line->text = nullptr;
    line->runs = nullptr;
    line->len = line->cap = line->nruns = line->rcap = 0;
}

extern "C" void jx_line_clear(JxLine *line) {
    if (!line) return;
    line->len = 0;
    line->nruns = 0;
    if (line->cap) owned(line)[0] = 0;
}

void jx__line_reset(JxLine *line) {
    jx_line_clear(line);
    line->node = JX_NONE;
    line->depth = line->number = 0;
    line->chevron = line->closing = 0;
}

extern "C" int jx_line_add(JxLine *line, const char *bytes, uint32_t n, int style) {
    if (!line || (!bytes && n)) return 0;
    if (n == 0) return 1;
    const uint64_t need = uint64_t(line->len) + n + 1;
    if (need > UINT32_MAX) return 0;
    const uint8_t st = static_cast<uint8_t>(style);
    JxRun *last = line->nruns ? &line->runs[line->nruns - 1] : nullptr;
    const bool extend = last && last->style == st && last->hit == 0;
    if (need > line->cap) {
        uint64_t cap = line->cap ? line->cap : FIRST_TEXT_CAP;
        while (cap < need) cap *= 2;
        if (cap > UINT32_MAX) cap = need;
        /* The shared empty text is never handed to the allocator. */
        char *t = static_cast<char *>(line->cap ? jx__realloc(owned(line), cap) : jx__malloc(cap));
        if (!t) return 0;
        /* A fresh buffer must read as the same text even if the run array
         * cannot grow below. */
        t[line->len] = 0;
        line->text = t;
        line->cap = uint32_t(cap);
    }
    if (!extend && line->nruns == line->rcap) {
        uint64_t rcap = line->rcap ? uint64_t(line->rcap) * 2 : FIRST_RUN_CAP;
        if (rcap > UINT32_MAX / sizeof(JxRun)) return 0;
        JxRun *r = static_cast<JxRun *>(jx__realloc(line->runs, rcap * sizeof(JxRun)));
        if (!r) return 0;
        line->runs = r;
        line->rcap = uint32_t(rcap);
    }
    char *t = owned(line);
    std::memcpy(t + line->len, bytes, n);
    if (extend)
        line->runs[line->nruns - 1].length += n;
    else
        line->runs[line->nruns++] = JxRun{line->len, n, st, 0};
    line->len += n;
    t[line->len] = 0;
    return 1;
}

extern "C" void jx_line_mark(JxLine *line, uint32_t start, uint32_t n, int hit) {
    if (!line || n == 0 || start >= line->len) return;
    const uint32_t end = n > line->len - start ? line->len : start + n;
    const uint8_t h = static_cast<uint8_t>(hit);
    /* Each run splits into at most three. */
    const uint64_t cap = uint64_t(line->nruns) * 3 + 4;
    if (cap > UINT32_MAX / sizeof(JxRun)) return;
    JxRun *out = static_cast<JxRun *>(jx__malloc(size_t(cap) * sizeof(JxRun)));
    if (!out) return;
    uint32_t k = 0;
    auto push = [&](uint32_t s, uint32_t e, uint8_t style, uint8_t hv) {
        if (e <= s) return;
        if (k && out[k - 1].style == style && out[k - 1].hit == hv &&
            out[k - 1].start + out[k - 1].length == s)
            out[k - 1].length += e - s;
        else
            out[k++] = JxRun{s, e - s, style, hv};
    };
    for (uint32_t i = 0; i < line->nruns; i++) {
        const JxRun &r = line->runs[i];
        const uint32_t rs = r.start, re = r.start + r.length;
        if (re <= start || rs >= end) {
            push(rs, re, r.style, r.hit);
            continue;
        }
        push(rs, std::max(rs, start), r.style, r.hit);
        push(std::max(rs, start), std::min(re, end), r.style, h);
        push(std::min(re, end), re, r.style, r.hit);
    }
    jx__free(line->runs);
    line->runs = out;
    line->nruns = k;
    line->rcap = uint32_t(cap);
}

extern "C" uint32_t jx_line_chars(const JxLine *line) {
    if (!line || !line->text) return 0;
    uint32_t n = 0;
    for (uint32_t i = 0; i < line->len; i++) n += !jx__is_cont(static_cast<unsigned char>(line->text[i]));
    return n;
}

/* ---- characters and pieces ---- */

jx_piece jx__piece(const char *text, uint32_t len, int style) {
    jx_piece pc{};
    pc.start = text;
    pc.end = text + len;
    pc.style = static_cast<uint8_t>(style);
    return pc;
}

uint32_t jx__count(jx_piece *pc, uint32_t limit) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(pc->start);
    const unsigned char *end = reinterpret_cast<const unsigned char *>(pc->end);
    uint32_t n = 0;
    while (n < limit && !at_stop(*pc, p)) {
        if (jx__read_char(&p, end, pc->decode) != JX_NO_CHAR) n++;
    }
    pc->chars = n;
    return n;
}

uint32_t jx__put_piece(JxLine *line, jx_piece *pc, uint32_t n) {
    bool ok = true;
    pc->at = line->len;
    pc->put = n ? emit(line, *pc, n, true, &ok) : 0;
    return pc->put;
}

uint32_t jx__fit(JxLine *line, jx_piece *pcs, uint32_t n, uint32_t width) {
    const uint32_t total = sum_chars(pcs, n);
    if (total <= width) {
        for (uint32_t i = 0; i < n; i++) put_whole(line, &pcs[i]);
        return total;
    }
    if (width == 0) {
        for (uint32_t i = 0; i < n; i++) jx__put_piece(line, &pcs[i], 0);
        return 0;
    }
    uint32_t budget = width - 1;
    int cut = -1;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t give = std::min(pcs[i].chars, budget);
        jx__put_piece(line, &pcs[i], give);
        budget -= give;
        if (give < pcs[i].chars && cut < 0) cut = int(i);
    }
    add(line, ELLIPSIS, pcs[cut < 0 ? 0 : cut].style);
    return width;
}

void jx__hits(JxLine *line, const jx_piece *pc, const JxSearch *search, bool is_key, int hit) {
    if (!line || !search || pc->put == 0) return;
    constexpr uint32_t MAX_RANGES = 256;
    /* The search sees the shown characters as text, without pictures; the
     * scratch copy goes behind the line's end and is taken off again. */
    const uint32_t len0 = line->len, nruns0 = line->nruns;
    const JxRun last0 = nruns0 ? line->runs[nruns0 - 1] : JxRun{};
    bool ok = true;
    uint32_t got = emit(line, *pc, pc->put, false, &ok);
    const unsigned char *t = reinterpret_cast<const unsigned char *>(line->text) + len0;
    const uint32_t tlen = line->len - len0;
    uint32_t starts[MAX_RANGES], lengths[MAX_RANGES];
    uint32_t count = 0;
    if (ok && got == pc->put)
        count = std::min(jx_search_ranges(search, reinterpret_cast<const char *>(t), tlen, is_key ? 1 : 0,
                                          starts, lengths, MAX_RANGES),
                         MAX_RANGES);
    /* Offsets in the search's text become offsets on the line, where each
     * control byte became a 3-byte picture. */
    uint32_t pos = 0, extra = 0;
    for (uint32_t i = 0; i < count; i++) {
        uint32_t a = std::min(starts[i], tlen);
        uint32_t b = a + std::min(lengths[i], tlen - a);
        if (a < pos) pos = extra = 0;
        for (; pos < a; pos++) extra += pictured_byte(t[pos]) ? 2 : 0;
        uint32_t inside = 0;
        for (uint32_t q = a; q < b; q++) inside += pictured_byte(t[q]) ? 2 : 0;
        starts[i] = pc->at + a + extra;
        lengths[i] = b - a + inside;
    }
    line->len = len0;
    if (line->cap) owned(line)[len0] = 0;
    line->nruns = nruns0;
    if (nruns0) line->runs[nruns0 - 1] = last0;
    for (uint32_t i = 0; i < count; i++)
        if (lengths[i]) jx_line_mark(line, starts[i], lengths[i], hit);
}

/* ---- row lines ---- */

extern "C" void jx_row_line(const JxRows *rows, uint64_t row, uint32_t width, const JxSearch *search,
                            uint32_t current, JxLine *line) {
    if (!line) return;
    jx__line_reset(line);
    const uint64_t node = jx_rows_node(rows, row);
    const JxDoc *d = jx_rows_doc(rows);
    if (node == JX_NONE || !jx__valid(d, uint32_t(node))) return;
    const uint32_t id = uint32_t(node);
    const JxNode *n = jx__node(d, id);
    line->node = id;
    line->depth = jx__rows_depth(rows, id);
    const int type = jx__type_of(n);
    const bool filled = jx__is_container(n->info) && n->end > id + 1;
    const bool open = filled && jx_rows_expanded(rows, id);
    line->chevron = filled ? (open ? 2 : 1) : 0;
    if (width == 0) return;
    const int hit = id == current ? JX_HIT_CURRENT : JX_HIT_MATCH;

    /* The key part: the label of the root, a record or an element, or a
     * member's key, each with its separator and the style of its "…". */
    char label[48];
    jx_piece key, sep;
    int ellipsis_style;
    bool markable_key = false;
    if (n->parent == JX_NONE) {
        key = jx__piece(jx_doc_records(d) ? "records" : "root", JX_STYLE_PLAIN);
        sep = jx__piece(" ", JX_STYLE_PLAIN);
        ellipsis_style = JX_STYLE_PLAIN;
        jx__count(&key, UINT32_MAX);
    } else if (n->key_off != JX_NONE) {
        key = key_piece(d, n, JX_STYLE_KEY);
        if (jx__count(&key, width) == 0) {
            key = counted("\"\"", JX_STYLE_KEY);
        } else {
            markable_key = true;
        }
        sep = jx__piece(": ", JX_STYLE_PUNCT);
        ellipsis_style = JX_STYLE_KEY;
    } else {
        if (n->parent == 0 && jx_doc_records(d)) {
            std::memcpy(label, "line ", 5);
            label[5 + jx__fmt_count(jx_record_line(d, id), label + 5)] = 0;
        } else {
            label[0] = '[';
            size_t k =
                1 + size_t(std::snprintf(label + 1, sizeof label - 2, "%u", jx_index_in_parent(d, id)));
            label[k] = ']';
            label[k + 1] = 0;
        }
        key = counted(label, JX_STYLE_LABEL);
        sep = jx__piece(" ", JX_STYLE_PLAIN);
        ellipsis_style = JX_STYLE_LABEL;
    }
    jx__count(&sep, UINT32_MAX);

    if (uint64_t(key.chars) + sep.chars + 1 >= width) {
        /* No room for a value, which needs two columns at least. */
        uint32_t k = std::min(key.chars, width - 1);
        jx__put_piece(line, &key, k);
        jx__put_piece(line, &sep, std::min(sep.chars, width - 1 - k));
        add(line, ELLIPSIS, ellipsis_style);
        if (search && markable_key) jx__hits(line, &key, search, true, hit);
        return;
    }
    put_whole(line, &key);
    put_whole(line, &sep);
    uint32_t remaining = width - key.chars - sep.chars;

    jx_piece value = jx__piece("", 0, JX_STYLE_PLAIN);
    bool markable_value = false;
    if (type == JX_STRING) {
        value = value_piece(d, id, JX_STYLE_STRING, false);
        uint32_t c = jx__count(&value, VALUE_SHOWN + 1);
        add(line, "\"", JX_STYLE_STRING);
        if (c > VALUE_SHOWN || c + 2 > remaining) {
            if (remaining < 3) {
                add(line, ELLIPSIS, JX_STYLE_STRING);
            } else if (remaining == 3) {
                add(line, "\xE2\x80\xA6\"", JX_STYLE_STRING);
            } else {
                jx__put_piece(line, &value, std::min(remaining - 3, VALUE_SHOWN));
                add(line, "\xE2\x80\xA6\"", JX_STYLE_STRING);
            }
        } else {
            put_whole(line, &value);
            add(line, "\"", JX_STYLE_STRING);
        }
        markable_value = true;
    } else if (type == JX_NUMBER || type == JX_TRUE || type == JX_FALSE || type == JX_NULL) {
        int style = type == JX_NUMBER ? JX_STYLE_NUMBER : type == JX_NULL ? JX_STYLE_NULL : JX_STYLE_BOOLEAN;
        jx_piece pcs[2];
        jx_piece raw = value_piece(d, id, style, true);
        uint32_t k = cut_to(&raw, VALUE_SHOWN, pcs);
        jx__fit(line, pcs, k, remaining);
        value = pcs[0];
        markable_value = true;
    } else if (type == JX_BAD) {
        const char *message = jx__row_message(d, id);
        jx_piece pcs[5];
        pcs[0] = counted("\xE2\x9A\xA0 ", JX_STYLE_ERROR);
        pcs[1] = counted(message ? message : "", JX_STYLE_ERROR);
        pcs[2] = counted("  ", JX_STYLE_PLAIN);
        jx_piece raw = value_piece(d, id, JX_STYLE_PREVIEW, true);
        uint32_t k = 3 + cut_to(&raw, VALUE_SHOWN, pcs + 3);
        jx__fit(line, pcs, k, remaining);
        value = pcs[3];
        markable_value = true;
    } else {
        const bool object = type == JX_OBJECT;
        char count[48];
        jx_piece pc;
        if (filled) {
            count[0] = object ? '{' : '[';
            size_t k = 1 + jx__fmt_count(jx_child_count(d, id), count + 1);
            count[k] = object ? '}' : ']';
            count[k + 1] = 0;
            pc = counted(count, JX_STYLE_COUNT);
        } else {
            pc = counted(object ? "{}" : "[]", JX_STYLE_PUNCT);
        }
        remaining -= jx__fit(line, &pc, 1, remaining);
        if (jx__flags_of(n) & JX_F_UNCLOSED) {
            jx_piece pcs[2] = {counted(" ", JX_STYLE_PLAIN), counted("(cut short)", JX_STYLE_ERROR)};
            remaining -= jx__fit(line, pcs, 2, remaining);
        }
        if (filled && !open && remaining >= 5) preview(line, d, id, remaining);
    }

    if (search) {
        if (markable_key) jx__hits(line, &key, search, true, hit);
        if (markable_value) jx__hits(line, &value, search, false, hit);
    }
}
