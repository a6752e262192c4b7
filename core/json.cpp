#include "json_int.h"

#include <cstdio>
#include <cstring>

#include "alloc.h"
#include "jx/json.h"
#include "jx/decode.h"
#include "decode_int.h"

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

static void emit_key(jx_out *o, const JxDoc *d, uint32_t id) {
    jx_span k = jx__key_span(d, id);
    if (k.quote == '"') {
        /* As written: quotes and escapes are already JSON. */
        jx__b_put(o, k.p - 1, size_t(k.len) + 2);
    } else {
        put_requoted(o, k);
    }
}

static void emit_scalar(jx_out *o, const JxDoc *d, uint32_t id) {
    jx_span v = jx__val_span(d, id);
    if (v.quote == '\'') {
        put_requoted(o, v);
    } else if (v.quote == '"') {
        jx__b_put(o, v.p - 1, size_t(v.len) + 2);
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
    if (o->buf) {
        if (!o->overflow && o->len <= o->cap && n <= o->cap - o->len)
            std::memcpy(o->buf + o->len, p, n);
        else
            o->overflow = true;
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
