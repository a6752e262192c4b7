#include "decode_int.h"

#include <algorithm>
#include <cstring>

#include "alloc.h"
#include "jx/decode.h"

constexpr uint64_t HIGH_BITS = 0x8080808080808080ull;

/* Scalar length as stored, never running past the text. */
static uint32_t value_length(const JxDoc *d, uint32_t id, const JxNode *n) {
    uint32_t len = jx__number(d, id, n);
    if (n->val_off >= d->size) return 0;
    uint32_t room = d->size - n->val_off;
    return len < room ? len : room;
}


void jx__put(jx_cursor *c, const char *p, size_t n) {
    c->total += n;
    if (c->overflow) return;
    if (c->written + n < c->cap) {
        std::memcpy(c->buf + c->written, p, n);
        c->written += n;
    } else {
        c->overflow = true;
    }
}

void jx__put_ascii(jx_cursor *c, const char *p, size_t n) {
    c->total += n;
    if (c->overflow) return;
    size_t room = c->cap - c->written - 1;
    if (n > room) {
        n = room;
        c->overflow = true;
    }
    std::memcpy(c->buf + c->written, p, n);
    c->written += n;
}

void jx__put_cp(jx_cursor *c, uint32_t cp) {
    char b[4];
    jx__put(c, b, jx__utf8_put(cp, b));
}

void jx__decode(jx_cursor *c, const char *s, size_t len, bool escapes) {
    if (len == 0) return;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s);
    const unsigned char *end = p + len;
    while (p < end) {
        const unsigned char *run = p;
        /* 8-byte steps only while 8 bytes of the span remain: the span may not
         * be followed by readable memory. */
        while (end - p >= 8) {
            uint64_t v = jx__load8(p);
            if ((v & HIGH_BITS) || (escapes && jx__has_byte(v, '\\'))) break;
            p += 8;
        }
        while (p < end && *p < 0x80 && !(escapes && *p == '\\')) p++;
        if (p > run) jx__put_ascii(c, reinterpret_cast<const char *>(run), static_cast<size_t>(p - run));
        if (p == end) break;
        if (*p >= 0x80) {
            size_t n = jx__utf8_len(p, end);
            if (n) {
                jx__put(c, reinterpret_cast<const char *>(p), n);
                p += n;
            } else {
                jx__put_cp(c, JX_REPLACEMENT);
                p++;
            }
        } else {
            jx_escape e = jx__read_escape(p, end);
            if (e.cp < 0x80) {
                /* the usual \n, \" and \\: one byte, no encoding */
                char ch = char(e.cp);
                jx__put(c, &ch, 1);
            } else if (e.cp != JX_NO_CHAR) {
                jx__put_cp(c, e.cp);
            }
            p += e.len;
        }
    }
}

char *jx__decode_dup(const char *p, size_t len, bool escapes, size_t *length) {
    if (length) *length = 0;
    jx_cursor m = jx__cursor(nullptr, 0);
    jx__decode(&m, p, len, escapes);
    char *buf = static_cast<char *>(jx__malloc(m.total + 1));
    if (!buf) return nullptr;
    jx_cursor c = jx__cursor(buf, m.total + 1);
    jx__decode(&c, p, len, escapes);
    jx__cursor_end(&c);
    if (length) *length = c.total;
    return buf;
}

size_t jx__scan_string_end(const char *s, const char *e) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s);
    const unsigned char *end = reinterpret_cast<const unsigned char *>(e);
    if (p >= end) return 0;
    unsigned char q = *p;
    if (q != '"' && q != '\'') {
        /* JSON5 identifiers may spell characters as \uXXXX */
        const unsigned char *i = p;
        while (i < end) {
            if (jx__ident_byte(*i))
                i++;
            else if (size_t n = jx__ident_escape(reinterpret_cast<const char *>(i), e, i == p))
                i += n;
            else
                break;
        }
        return static_cast<size_t>(i - p);
    }
    return 1 + jx__scan_quoted(s + 1, e, q);
}

size_t jx__scan_quoted(const char *s, const char *e, unsigned char q) {
    const unsigned char *p = reinterpret_cast<const unsigned char *>(s);
    const unsigned char *end = reinterpret_cast<const unsigned char *>(e);
    const unsigned char *i = p;
    while (i < end) {
        while (end - i >= 8) {
            uint64_t v = jx__load8(i);
            if (jx__has_byte(v, q) | jx__has_byte(v, '\\')) break;
            i += 8;
        }
        if (i == end) break;
        if (*i == q) return static_cast<size_t>(i + 1 - p);
        i += *i == '\\' ? 2 : 1;
    }
    return p < end ? static_cast<size_t>(end - p) : 0;
}

jx_span jx__key_span(const JxDoc *d, uint32_t id) {
    bool whole;
    return jx__key_span_within(d, id, 0, UINT32_MAX, &whole);
}

jx_span jx__key_span_within(const JxDoc *d, uint32_t id, uint32_t from, uint32_t max, bool *whole) {
    *whole = true;
    if (!jx__valid(d, id)) return {};
    const JxNode *n = jx__node(d, id);
    if (n->key_off == JX_NONE || n->key_off >= d->size) return {};
    const char *p = d->text + n->key_off;
    const uint32_t room = d->size - n->key_off, lim = std::min(room, std::max<uint32_t>(max, 1));
    size_t len = from > 0 && from < lim && (*p == '"' || *p == '\'')
                     ? from + jx__scan_quoted(p + from, p + lim, uint8_t(*p))
                     : jx__scan_string_end(p, p + lim);
    /* A token that fills the bound may go on past it, even when a quote ends it there. */
    *whole = len < lim || lim == room;
    bool escaped = (jx__flags_of(n) & JX_F_KEY_ESCAPED) != 0;
    char q = *p;
    if (q != '"' && q != '\'') return {p, static_cast<uint32_t>(len), escaped, 0};
    /* Without its closing quote (only in damaged text) the key runs to the end. */
    size_t inner = *whole && len >= 2 && p[len - 1] == q ? len - 2 : len - 1;
    return {p + 1, static_cast<uint32_t>(inner), escaped, q};
}

jx_span jx__val_span(const JxDoc *d, uint32_t id) {
    if (!jx__valid(d, id)) return {};
    const JxNode *n = jx__node(d, id);
    if (jx__is_container(n->info)) return {};
    uint32_t len = value_length(d, id, n);
    if (len == 0) return {};
    const char *p = d->text + n->val_off;
    int type = jx__type_of(n);
    if (type == JX_STRING && (*p == '"' || *p == '\'')) {
        bool closed = len >= 2 && p[len - 1] == *p;
        bool escaped = (jx__flags_of(n) & JX_F_ESCAPED) != 0;
        return {p + 1, closed ? len - 2 : len - 1, escaped, *p};
    }
    return {p, len, false, 0};
}

extern "C" size_t jx_key_text(const JxDoc *doc, uint32_t id, char *buf, size_t size) {
    jx_cursor c = jx__cursor(buf, size);
    jx_span k = jx__key_span(doc, id);
    if (k.p) jx__decode(&c, k.p, k.len, k.escaped);
    return jx__cursor_end(&c);
}

extern "C" size_t jx_val_text(const JxDoc *doc, uint32_t id, char *buf, size_t size) {
    jx_cursor c = jx__cursor(buf, size);
    jx_span v = jx__val_span(doc, id);
    if (v.p) jx__decode(&c, v.p, v.len, v.escaped);
    return jx__cursor_end(&c);
}
