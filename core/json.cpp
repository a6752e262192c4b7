#include "json_int.h"

#include <cstdio>
#include <cstring>

#include "alloc.h"
#include "jx/json.h"
#include "jx/decode.h"
#include "decode_int.h"
#include "jx/doc.h"
#include "jx/keys.h"
#include "jx/path.h"

/* What each byte becomes inside a JSON string: 0 unchanged, 'u' a \u00XX
 * escape, otherwise the letter after the backslash. */
constexpr auto ESCAPE = [] {
    struct T {
        char v[256];
    } t{};
    for (int i = 0; i < 0x20; i++) t.v[i] = 'u';
    t.v[int('\b')] = 'b';
    t.v[int('\t')] = 't';
    t.v[int('\n')] = 'n';
    t.v[int('\f')] = 'f';
    t.v[int('\r')] = 'r';
    t.v[int('"')] = '"';
    t.v[int('\\')] = '\\';
    return t;
}();

constexpr char SPACES[] = "                                                                ";

static void put_char(jx_out *o, char c) { jx__b_put(o, &c, 1); }

/* LF and 2 spaces per level; measuring costs O(1) whatever the depth. */
static void put_indent(jx_out *o, size_t level) {
    put_char(o, '\n');
    size_t n = 2 * level;
    if (!o->buf) {
        o->len += n;
        return;
    }
    while (n) {
        size_t k = n < sizeof SPACES - 1 ? n : sizeof SPACES - 1;
        jx__b_put(o, SPACES, k);
        n -= k;
    }
}

/* Decodes a span and writes it as a double-quoted JSON string. Short texts
 * are decoded on the stack; the heap is used only for long ones. */
static void put_requoted(jx_out *o, const jx_span &s) {
    char local[256];
    jx_cursor c = jx__cursor(local, sizeof local);
    if (s.p) jx__decode(&c, s.p, s.len, s.escaped);
    char *text = local;
    size_t len = c.total;
    if (c.overflow && len) {
        text = jx__decode_dup(s.p, s.len, s.escaped, &len);
        if (!text) {
            o->overflow = true;
            return;
        }
    }
    put_char(o, '"');
    jx__b_escape(o, text, len);
    put_char(o, '"');
    if (text != local) jx__free(text);
}

/* Whether the text between a string's double quotes is already a JSON
 * string: no raw control byte, only JSON's own escapes, valid UTF-8. */
static bool standard_string(const char *s, size_t n) {
    const auto *p = reinterpret_cast<const unsigned char *>(s), *end = p + n;
    while (p < end) {
        if (end - p >= 8) {
            uint64_t w = jx__load8(p);
            if (!((w & 0x8080808080808080ull) | jx__has_less(w, 0x20) | jx__has_byte(w, '\\'))) {
                p += 8;
                continue;
            }
        }
        unsigned char c = *p;
        if (c < 0x20) return false;
        if (c >= 0x80) {
            size_t k = jx__utf8_len(p, end);
            if (!k) return false;
            p += k;
        } else if (c == '\\') {
            if (end - p < 2) return false;
            unsigned char e = p[1];
            uint16_t u;
            if (e == 'u') {
                if (end - p < 6 || !jx__hex4(reinterpret_cast<const char *>(p + 2), &u)) return false;
                p += 6;
            } else if (std::strchr("\"\\/bfnrt", e) && e) {
                p += 2;
            } else {
                return false;
            }
        } else {
            p++;
        }
    }
    return true;
}

/* A key or string: kept byte for byte when it is JSON as written, else
 * decoded and written again as a standard string. */
static void put_string(jx_out *o, const jx_span &s) {
    if (s.quote == '"' && standard_string(s.p, s.len))
        jx__b_put(o, s.p - 1, size_t(s.len) + 2);
    else
        put_requoted(o, s);
}

/* The decimal digits of a hexadecimal integer of any length, exactly:
 * base-10^9 limbs, most significant last. */
static void put_hex_as_decimal(jx_out *o, const char *hex, size_t n) {
    while (n > 1 && *hex == '0') hex++, n--;
    if (n <= 15) {
        uint64_t v = 0;
        for (size_t i = 0; i < n; i++) v = v << 4 | jx__hex_digit(uint8_t(hex[i]));
        char buf[24];
        jx__b_put(o, buf, size_t(std::snprintf(buf, sizeof buf, "%llu", static_cast<unsigned long long>(v))));
        return;
    }
    /* 16^n < 10^(1.21 n): one limb per 7 hex digits is room enough */
    size_t cap = n / 7 + 2, used = 1;
    auto *limb = static_cast<uint32_t *>(jx__calloc(cap, sizeof(uint32_t)));
    if (!limb) {
        o->overflow = true;
        return;
    }
    for (size_t i = 0; i < n; i++) {
        uint64_t carry = jx__hex_digit(uint8_t(hex[i]));
        for (size_t k = 0; k < used; k++) {
            uint64_t v = uint64_t(limb[k]) * 16 + carry;
            limb[k] = uint32_t(v % 1000000000u);
            carry = v / 1000000000u;
        }
        if (carry) limb[used++] = uint32_t(carry);
    }
    char buf[16];
    jx__b_put(o, buf, size_t(std::snprintf(buf, sizeof buf, "%u", limb[used - 1])));
    for (size_t k = used - 1; k-- > 0;) jx__b_put(o, buf, size_t(std::snprintf(buf, sizeof buf, "%09u", limb[k])));
    jx__free(limb);
}

/* A number only JSON5 allows, as JSON: no leading "+", digits on both sides
 * of the point, hexadecimal in decimal, and Infinity and NaN as null, as
 * JavaScript's JSON.stringify writes them. */
static void put_json5_number(jx_out *o, const char *p, size_t n) {
    const char *end = p + n;
    bool minus = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) p++;
    if (p < end && (*p == 'I' || *p == 'N')) {
        jx__b_put(o, "null", 4);
        return;
    }
    if (minus) put_char(o, '-');
    if (end - p > 2 && p[0] == '0' && (p[1] | 0x20) == 'x') {
        put_hex_as_decimal(o, p + 2, size_t(end - p - 2));
        return;
    }
    if (p < end && *p == '.') put_char(o, '0');
    const char *point = static_cast<const char *>(std::memchr(p, '.', size_t(end - p)));
    if (!point) {
        jx__b_put(o, p, size_t(end - p));
        return;
    }
    jx__b_put(o, p, size_t(point + 1 - p));
    if (point + 1 == end || !(point[1] >= '0' && point[1] <= '9')) put_char(o, '0');
    jx__b_put(o, point + 1, size_t(end - point - 1));
}

static void emit_key(jx_out *o, const JxDoc *d, uint32_t id) { put_string(o, jx__key_span(d, id)); }

static void emit_scalar(jx_out *o, const JxDoc *d, uint32_t id) {
    jx_span v = jx__val_span(d, id);
    int type = jx__type_of(jx__node(d, id));
    if (type == JX_BAD) {
        /* an unreadable record has no JSON of its own: its text, as a string */
        put_requoted(o, {v.p, v.len, false, 0});
    } else if (v.quote) {
        put_string(o, v);
    } else if (v.p && type == JX_NUMBER && (jx_flags(d, id) & JX_F_NONSTANDARD)) {
        put_json5_number(o, v.p, v.len);
    } else if (v.p) {
        jx__b_put(o, v.p, v.len);
    }
}

namespace {
struct Frame {
    uint32_t id;
    uint32_t end;
    uint32_t next;
    uint32_t written;
};
}  // namespace


void jx__b_put(jx_out *o, const char *p, size_t n) {
    if (o->buf && !o->overflow) {
        size_t room = o->len < o->cap ? o->cap - o->len : 0;
        if (n > room) o->overflow = true;
        std::memcpy(o->buf + o->len, p, n < room ? n : room);
    }
    o->len += n;
}

void jx__b_escape(jx_out *o, const char *p, size_t n) {
    const unsigned char *u = reinterpret_cast<const unsigned char *>(p);
    size_t run = 0;
    for (size_t i = 0; i < n; i++) {
        char e = ESCAPE.v[u[i]];
        if (!e) continue;
        if (i > run) jx__b_put(o, p + run, i - run);
        if (e == 'u') {
            char hex[7];
            std::snprintf(hex, sizeof hex, "\\u%04x", u[i]);
            jx__b_put(o, hex, 6);
        } else {
            char pair[2] = {'\\', e};
            jx__b_put(o, pair, 2);
        }
        run = i + 1;
    }
    if (n > run) jx__b_put(o, p + run, n - run);
}

/* Writes a scalar, or a container's opening bracket (an empty one closed at
 * once). True when a container with children was opened and must be walked. */
static bool begin_value(jx_out *o, const JxDoc *d, uint32_t id, const JxNode *n) {
    if (!jx__is_container(n->info)) {
        emit_scalar(o, d, id);
        return false;
    }
    bool obj = jx__type_of(n) == JX_OBJECT;
    put_char(o, obj ? '{' : '[');
    if (n->end > id + 1) return true;
    put_char(o, obj ? '}' : ']');
    return false;
}

void jx__build(jx_out *o, const JxDoc *d, uint32_t id, bool pretty) {
    const JxNode *root = jx__node(d, id);
    if (!begin_value(o, d, id, root)) return;

    size_t cap = 64, depth = 0;
    Frame *stack = static_cast<Frame *>(jx__malloc(cap * sizeof(Frame)));
    if (!stack) {
        o->overflow = true;
        return;
    }
    stack[depth++] = {id, root->end, id + 1, 0};
    uint32_t limit = d->count;
    /* In measuring mode the flag is only ever set by a memory failure, and in
     * writing mode it already means failure: either way stop at once. */
    while (depth && !o->overflow) {
        Frame &f = stack[depth - 1];
        bool in_obj = jx__type_of(jx__node(d, f.id)) == JX_OBJECT;
        if (f.next >= f.end || f.next >= limit) {
            if (f.written && pretty) put_indent(o, depth - 1);
            put_char(o, in_obj ? '}' : ']');
            depth--;
            continue;
        }
        uint32_t c = f.next;
        const JxNode *cn = jx__node(d, c);
        f.next = cn->end > c ? cn->end : c + 1;
        if (jx__type_of(cn) == JX_BAD) continue;
        if (f.written++) put_char(o, ',');
        if (pretty) put_indent(o, depth);
        if (in_obj) {
            emit_key(o, d, c);
            put_char(o, ':');
            if (pretty) put_char(o, ' ');
        }
        if (!begin_value(o, d, c, cn)) continue;
        if (depth == cap) {
            Frame *grown = static_cast<Frame *>(jx__realloc(stack, 2 * cap * sizeof(Frame)));
            if (!grown) {
                o->overflow = true;
                break;
            }
            stack = grown;
            cap *= 2;
        }
        stack[depth++] = {c, cn->end, c + 1, 0};
    }
    jx__free(stack);
}

extern "C" size_t jx_json_size(const JxDoc *doc, uint32_t id, int pretty) {
    if (!jx__valid(doc, id)) return 0;
    jx_out m{nullptr, 0, 0, false};
    jx__build(&m, doc, id, pretty != 0);
    return m.overflow ? 0 : m.len;
}

extern "C" char *jx_copy_json(const JxDoc *doc, uint32_t id, int pretty, size_t *length) {
    if (length) *length = 0;
    if (!jx__valid(doc, id)) return nullptr;
    jx_out m{nullptr, 0, 0, false};
    jx__build(&m, doc, id, pretty != 0);
    if (m.overflow || m.len == SIZE_MAX) return nullptr;
    char *buf = static_cast<char *>(jx__malloc(m.len + 1));
    if (!buf) return nullptr;
    jx_out w{buf, 0, m.len, false};
    jx__build(&w, doc, id, pretty != 0);
    if (w.overflow || w.len != m.len) {
        jx__free(buf);
        return nullptr;
    }
    buf[w.len] = 0;
    if (length) *length = w.len;
    return buf;
}

extern "C" char *jx_copy_value(const JxDoc *doc, uint32_t id, size_t *length) {
    if (length) *length = 0;
    if (!jx__valid(doc, id)) return nullptr;
    if (jx__is_container(jx__node(doc, id)->info)) return jx_copy_json(doc, id, 1, length);
    jx_span v = jx__val_span(doc, id);
    return jx__decode_dup(v.p, v.len, v.escaped, length);
}

extern "C" char *jx_copy_key(const JxDoc *doc, uint32_t id, size_t *length) {
    if (length) *length = 0;
    if (!jx__valid(doc, id)) return nullptr;
    const JxNode *n = jx__node(doc, id);
    if (n->parent == JX_NONE) return jx__decode_dup("", 0, false, length);
    if (n->key_off == JX_NONE) {
        char index[16];
        int k = std::snprintf(index, sizeof index, "%u", jx_index_in_parent(doc, id));
        return jx__decode_dup(index, size_t(k), false, length);
    }
    jx_span s = jx__key_span(doc, id);
    return jx__decode_dup(s.p, s.len, s.escaped, length);
}

/* Only the root has an empty path: an empty one for another node means
 * jx_path failed, and copying it would pass a failure off as a path. */
static char *copy_path(const JxDoc *doc, uint32_t node, int style, size_t *length) {
    const size_t len = jx_path(doc, node, style, nullptr, 0);
    if (len == 0 && jx_parent(doc, node) != JX_NONE) return nullptr;
    auto *text = static_cast<char *>(jx__malloc(len + 1));
    if (!text) return nullptr;
    if (jx_path(doc, node, style, text, len + 1) != len) {
        jx__free(text);
        return nullptr;
    }
    text[len] = 0;
    if (length) *length = len;
    return text;
}

extern "C" char *jx_copy_node(const JxDoc *doc, uint32_t node, uint32_t what, int style, size_t *length) {
    if (length) *length = 0;
    switch (what) {
        case JX_CMD_COPY_VALUE: return jx_copy_value(doc, node, length);
        case JX_CMD_COPY_PATH: return jx__valid(doc, node) ? copy_path(doc, node, style, length) : nullptr;
        case JX_CMD_COPY_JSON: return jx_copy_json(doc, node, 1, length);
        case JX_CMD_COPY_KEY: return jx_copy_key(doc, node, length);
        case JX_CMD_COPY_MINIFIED: return jx_copy_json(doc, node, 0, length);
        default: return nullptr;
    }
}

static uint64_t decimal_digits(uint64_t n) {
    uint64_t digits = 1;
    for (; n >= 10; n /= 10) digits++;
    return digits;
}

extern "C" uint64_t jx_copy_node_size(const JxDoc *doc, uint32_t node, uint32_t what, int style) {
    if (!jx__valid(doc, node)) return 0;
    switch (what) {
        case JX_CMD_COPY_VALUE:
            return jx_type(doc, node) <= JX_ARRAY ? jx_json_size(doc, node, 1) : jx_val_text(doc, node, nullptr, 0);
        case JX_CMD_COPY_PATH: return jx_path(doc, node, style, nullptr, 0);
        case JX_CMD_COPY_JSON: return jx_json_size(doc, node, 1);
        case JX_CMD_COPY_KEY:
            if (jx_parent(doc, node) == JX_NONE) return 0;
            if (!jx_has_key(doc, node)) return decimal_digits(jx_index_in_parent(doc, node));
            return jx_key_text(doc, node, nullptr, 0);
        case JX_CMD_COPY_MINIFIED: return jx_json_size(doc, node, 0);
        default: return 0;
    }
}
