#include "decode_int.h"

#include <cstring>

#include "alloc.h"
#include "jx/decode.h"

namespace {

constexpr unsigned char kReplacement[3] = {0xEF, 0xBF, 0xBD};
constexpr uint64_t kHighBits = 0x8080808080808080ull;

/* Hex digit values; 0xFF marks a byte that is not one. */
constexpr auto kHex = [] {
    struct T {
        unsigned char v[256];
    } t{};
    for (int i = 0; i < 256; i++) t.v[i] = 0xFF;
    for (int i = 0; i < 10; i++) t.v['0' + i] = static_cast<unsigned char>(i);
    for (int i = 0; i < 6; i++) {
        t.v['a' + i] = static_cast<unsigned char>(10 + i);
        t.v['A' + i] = static_cast<unsigned char>(10 + i);
    }
    return t;
}();

/* Results of the one-letter escapes; 0 where the letter stands for itself. */
constexpr auto kSimpleEscape = [] {
    struct T {
        unsigned char v[128];
    } t{};
    t.v[int('b')] = 0x08;
    t.v[int('f')] = 0x0C;
    t.v[int('n')] = 0x0A;
    t.v[int('r')] = 0x0D;
    t.v[int('t')] = 0x09;
    t.v[int('v')] = 0x0B;
    return t;
}();

inline bool is_cont(unsigned char b) { return (b & 0xC0) == 0x80; }

/* A run of single-byte characters: cut to the room left instead of dropped,
 * since every byte of it is a whole character. */
void put_run(jx_cursor *c, const unsigned char *p, size_t n) {
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

void put_replacement(jx_cursor *c) { jx__put(c, reinterpret_cast<const char *>(kReplacement), 3); }

/* Resolves the escape whose backslash is at p; returns the bytes consumed. */
size_t decode_escape(jx_cursor *c, const unsigned char *p, const unsigned char *end) {
    size_t left = static_cast<size_t>(end - p);
    if (left < 2) return 1; /* a backslash closing the span has nothing to escape */
    unsigned char e = p[1];
    if (e == 'u') {
        uint16_t u;
        if (left < 6 || !jx__hex4(reinterpret_cast<const char *>(p + 2), &u)) {
            put_replacement(c);
            return 2;
        }
        if (u >= 0xD800 && u <= 0xDBFF) {
            uint16_t lo;
            if (left >= 12 && p[6] == '\\' && p[7] == 'u' &&
                jx__hex4(reinterpret_cast<const char *>(p + 8), &lo) && lo >= 0xDC00 && lo <= 0xDFFF) {
                jx__put_cp(c, 0x10000 + ((uint32_t(u) - 0xD800) << 10) + (lo - 0xDC00));
                return 12;
            }
            put_replacement(c);
            return 6;
        }
        if (u >= 0xDC00 && u <= 0xDFFF) {
            put_replacement(c);
            return 6;
        }
        jx__put_cp(c, u);
        return 6;
    }
    if (e == 'x') {
        if (left < 4 || kHex.v[p[2]] == 0xFF || kHex.v[p[3]] == 0xFF) {
            put_replacement(c);
            return 2;
        }
        jx__put_cp(c, uint32_t(kHex.v[p[2]]) << 4 | kHex.v[p[3]]);
        return 4;
    }
    if (e == '\n') return 2;
    if (e == '\r') return left >= 3 && p[2] == '\n' ? 3 : 2;
    if (e >= 0x80) {
        if (left >= 4 && e == 0xE2 && p[2] == 0x80 && (p[3] == 0xA8 || p[3] == 0xA9)) return 4;
        return 1; /* the backslash goes; the byte after it is read as text */
    }
    char out = e == '0' ? '\0' : kSimpleEscape.v[e] ? static_cast<char>(kSimpleEscape.v[e]) : static_cast<char>(e);
    jx__put(c, &out, 1);
    return 2;
}

/* Scalar length as stored, never running past the text. */
uint32_t value_length(const JxDoc *d, uint32_t id, const JxNode *n) {
    uint32_t len = jx__number(d, id, n);
    if (n->val_off >= d->size) return 0;
    uint32_t room = d->size - n->val_off;
    return len < room ? len : room;
}

}  // namespace

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

void jx__put_cp(jx_cursor *c, uint32_t cp) {
    char b[4];
    size_t n;
    if (cp < 0x80) {
        b[0] = static_cast<char>(cp);
        n = 1;
    } else if (cp < 0x800) {
        b[0] = static_cast<char>(0xC0 | cp >> 6);
        b[1] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 2;
    } else if (cp < 0x10000) {
        b[0] = static_cast<char>(0xE0 | cp >> 12);
        b[1] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        b[2] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 3;
    } else if (cp <= 0x10FFFF) {
        b[0] = static_cast<char>(0xF0 | cp >> 18);
        b[1] = static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        b[2] = static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        b[3] = static_cast<char>(0x80 | (cp & 0x3F));
        n = 4;
    } else {
        put_replacement(c);
        return;
    }
    jx__put(c, b, n);
}

bool jx__hex4(const char *p, uint16_t *out) {
    const unsigned char *u = reinterpret_cast<const unsigned char *>(p);
    unsigned a = kHex.v[u[0]], b = kHex.v[u[1]], c = kHex.v[u[2]], d = kHex.v[u[3]];
    if ((a | b | c | d) > 0xF) return false;
    *out = static_cast<uint16_t>(a << 12 | b << 8 | c << 4 | d);
    return true;
}

size_t jx__utf8_len(const unsigned char *p, const unsigned char *end) {
    size_t left = static_cast<size_t>(end - p);
    unsigned char b = p[0];
    if (b >= 0xC2 && b <= 0xDF) return left >= 2 && is_cont(p[1]) ? 2 : 0;
    if (b >= 0xE0 && b <= 0xEF) {
        if (left < 3 || !is_cont(p[1]) || !is_cont(p[2])) return 0;
        if (b == 0xE0 && p[1] < 0xA0) return 0;
        if (b == 0xED && p[1] > 0x9F) return 0;
        return 3;
    }
    if (b >= 0xF0 && b <= 0xF4) {
        if (left < 4 || !is_cont(p[1]) || !is_cont(p[2]) || !is_cont(p[3])) return 0;
        if (b == 0xF0 && p[1] < 0x90) return 0;
        if (b == 0xF4 && p[1] > 0x8F) return 0;
        return 4;
    }
    return 0;
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
            if ((v & kHighBits) || (escapes && jx__has_byte(v, '\\'))) break;
            p += 8;
        }
        while (p < end && *p < 0x80 && !(escapes && *p == '\\')) p++;
        if (p > run) put_run(c, run, static_cast<size_t>(p - run));
        if (p == end) break;
        if (*p >= 0x80) {
            size_t n = jx__utf8_len(p, end);
            if (n) {
                jx__put(c, reinterpret_cast<const char *>(p), n);
                p += n;
            } else {
                put_replacement(c);
                p++;
            }
        } else {
            p += decode_escape(c, p, end);
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
        uint16_t u;
        while (i < end) {
            if (jx__ident_byte(*i))
                i++;
            else if (*i == '\\' && end - i >= 6 && i[1] == 'u' && jx__hex4(reinterpret_cast<const char *>(i + 2), &u))
                i += 6;
            else
                break;
        }
        return static_cast<size_t>(i - p);
    }
    const unsigned char *i = p + 1;
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
    return static_cast<size_t>(end - p);
}

jx_span jx__key_span(const JxDoc *d, uint32_t id) {
    if (!jx__valid(d, id)) return {};
    const JxNode *n = jx__node(d, id);
    if (n->key_off == JX_NONE || n->key_off >= d->size) return {};
    const char *p = d->text + n->key_off;
    size_t len = jx__scan_string_end(p, d->text + d->size);
    bool escaped = (jx__flags_of(n) & JX_F_KEY_ESCAPED) != 0;
    char q = *p;
    if (q != '"' && q != '\'') return {p, static_cast<uint32_t>(len), escaped, 0};
    /* Without its closing quote (only in damaged text) the key runs to the end. */
    size_t inner = len >= 2 && p[len - 1] == q ? len - 2 : len - 1;
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
