#include "jx/path.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "alloc.h"
#include "chars_int.h"
#include "decode_int.h"
#include "doc_int.h"
#include "status_int.h"

/* A path or message needs memory only for the ancestors of a node deeper
 * than this, or for a typed key longer than LOCAL_KEY bytes. */
constexpr uint32_t LOCAL_CHAIN = 64;
constexpr size_t LOCAL_KEY = 256;

namespace {

/* The characters of a member's key, read from the text one at a time exactly
 * as jx_key_text decodes them, so that a key of any length is written or
 * compared without a decoded copy. */
struct KeyChars {
    const unsigned char *p, *end;
    bool escaped;

    bool next(uint32_t *cp) {
        while (p < end) {
            uint32_t c = jx__read_char(&p, end, escaped);
            if (c != JX_NO_CHAR) {
                *cp = c;
                return true;
            }
        }
        return false;
    }
};

/* How a key is escaped inside its step. */
enum class Quoting : uint8_t {
    NONE,
    SINGLE,
    DOUBLE,
    POINTER
};

/* One step of a typed path. A key stays as typed until it is needed; quote
 * says how to read it: 0 an identifier, '\'' or '"' a quoted key, '/' a JSON
 * Pointer segment. */
struct Step {
    enum Kind : uint8_t {
        KEY,
        INDEX,
        POINTER
    } kind;
    char quote;
    const char *key;
    size_t key_len;
    uint64_t index; /* saturates */
};

/* Reads a typed path one step at a time. Positions in error are 1-based. */
struct PathReader {
    const char *s;
    size_t len;
    size_t pos;
    bool pointer;
    bool first;   /* a bare identifier may start the path */
    size_t error; /* 0 while the path reads */
};

enum class Walk : uint8_t {
    FOUND,
    MISSING,
    NO_MEMORY
};

}  // namespace

static KeyChars key_chars(const JxDoc *d, uint32_t id) {
    jx_span k = jx__key_span(d, id);
    const auto *p = reinterpret_cast<const unsigned char *>(k.p);
    return KeyChars{p, p ? p + k.len : p, k.escaped};
}

static void put_ascii(jx_cursor *c, std::string_view s) { jx__put_ascii(c, s.data(), s.size()); }

/* Identifier characters of the dot form and of typed paths: ASCII letters,
 * "_", digits after the first, and "$" where the style allows it. */
static bool ident_char(uint32_t c, bool first, bool dollar) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (dollar && c == '$') ||
           (!first && c >= '0' && c <= '9');
}

static bool is_ident(KeyChars k, bool dollar, uint32_t *first_char) {
    uint32_t c;
    if (!k.next(&c) || !ident_char(c, true, dollar)) return false;
    *first_char = c;
    while (k.next(&c))
        if (!ident_char(c, false, dollar)) return false;
    return true;
}

static void put_key(jx_cursor *c, KeyChars k, Quoting q) {
    uint32_t cp;
    while (k.next(&cp)) {
        if (q == Quoting::SINGLE && (cp == '\'' || cp == '\\')) {
            put_ascii(c, "\\");
        } else if (q == Quoting::DOUBLE && (cp == '"' || cp == '\\')) {
            put_ascii(c, "\\");
        } else if (q == Quoting::DOUBLE && cp < 0x20) {
            char e[8];
            int n = cp == '\t'   ? std::snprintf(e, sizeof e, "\\t")
                    : cp == '\n' ? std::snprintf(e, sizeof e, "\\n")
                                 : std::snprintf(e, sizeof e, "\\u%04x", unsigned(cp));
            jx__put_ascii(c, e, size_t(n));
            continue;
        } else if (q == Quoting::POINTER && (cp == '~' || cp == '/')) {
            put_ascii(c, cp == '~' ? "~0" : "~1");
            continue;
        }
        jx__put_cp(c, cp);
    }
}

static void put_index(jx_cursor *c, uint64_t i, bool pointer) {
    char t[32];
    int n = std::snprintf(t, sizeof t, pointer ? "/%" PRIu64 : "[%" PRIu64 "]", i);
    jx__put_ascii(c, t, size_t(n));
}

/* The step from a node's parent to the node; first when the parent is the root. */
static void put_step(jx_cursor *c, const JxDoc *d, uint32_t id, int style, bool first) {
    if (jx__node(d, id)->key_off == JX_NONE) {
        put_index(c, jx_index_in_parent(d, id), style == JX_PATH_POINTER);
        return;
    }
    const KeyChars k = key_chars(d, id);
    uint32_t lead = 0;
    bool dot = false;
    switch (style) {
        case JX_PATH_JSONPATH:
            if (is_ident(k, false, &lead)) {
                put_ascii(c, ".");
                put_key(c, k, Quoting::NONE);
            } else {
                put_ascii(c, "['");
                put_key(c, k, Quoting::SINGLE);
                put_ascii(c, "']");
            }
            return;
        case JX_PATH_POINTER:
            put_ascii(c, "/");
            put_key(c, k, Quoting::POINTER);
            return;
        case JX_PATH_JQ: dot = is_ident(k, false, &lead); break;
        /* A path that starts with "$" would read as JSONPath's root. */
        case JX_PATH_JAVASCRIPT: dot = is_ident(k, true, &lead) && !(first && lead == '$'); break;
        default: break;
    }
    if (dot) {
        /* jq's root already wrote the dot; JavaScript starts bare */
        if (!first) put_ascii(c, ".");
        put_key(c, k, Quoting::NONE);
    } else {
        put_ascii(c, "[\"");
        put_key(c, k, Quoting::DOUBLE);
        put_ascii(c, "\"]");
    }
}

/* Writes the path of id (a valid node) onto c; false when the ancestors of a
 * deep node find no memory. */
static bool put_path(jx_cursor *c, const JxDoc *d, uint32_t id, int style) {
    uint32_t local[LOCAL_CHAIN];
    const uint32_t n = jx_depth(d, id) + 1;
    uint32_t *chain =
        n <= LOCAL_CHAIN ? local : static_cast<uint32_t *>(jx__malloc(size_t(n) * sizeof *chain));
    if (!chain) return false;
    uint32_t cur = id;
    for (uint32_t i = n; i-- > 0; cur = jx__node(d, cur)->parent) chain[i] = cur;
    if (style == JX_PATH_JSONPATH) put_ascii(c, "$");
    if (style == JX_PATH_JQ) put_ascii(c, ".");
    for (uint32_t i = 1; i < n; i++) put_step(c, d, chain[i], style, i == 1);
    if (chain != local) jx__free(chain);
    return true;
}

/* ---- reading a typed path ---- */

static bool fail_at(PathReader *r, size_t position) {
    r->error = position;
    return false;
}

static bool is_digit(char c) { return c >= '0' && c <= '9'; }

/* Reads digits from at into *value (saturating); returns where they end. */
static size_t read_digits(const char *s, size_t at, size_t len, uint64_t *value) {
    uint64_t v = 0;
    for (; at < len && is_digit(s[at]); at++) {
        unsigned d = unsigned(s[at] - '0');
        v = v > (UINT64_MAX - d) / 10 ? UINT64_MAX : v * 10 + d;
    }
    *value = v;
    return at;
}

/* A key in quotes whose opening quote is at `at`; with bracket, "]" must
 * follow the closing quote. */
static bool read_quoted(PathReader *r, size_t at, bool bracket, Step *st) {
    const char *s = r->s;
    const char q = s[at];
    size_t i = at + 1;
    while (i < r->len && s[i] != q) i += s[i] == '\\' ? 2 : 1;
    if (i >= r->len) return fail_at(r, r->len + 1);
    *st = Step{Step::KEY, q, s + at + 1, i - at - 1, 0};
    i++;
    if (bracket) {
        if (i >= r->len) return fail_at(r, r->len + 1);
        if (s[i] != ']') return fail_at(r, i + 1);
        i++;
    }
    r->pos = i;
    return true;
}

/* The step inside brackets, starting after the "[" at at - 1. */
static bool read_bracket(PathReader *r, size_t at, Step *st) {
    if (at >= r->len) return fail_at(r, r->len + 1);
    const char c = r->s[at];
    if (c == '\'' || c == '"') return read_quoted(r, at, true, st);
    if (!is_digit(c)) return fail_at(r, at + 1);
    uint64_t index;
    size_t i = read_digits(r->s, at, r->len, &index);
    if (i >= r->len) return fail_at(r, r->len + 1);
    if (r->s[i] != ']') return fail_at(r, i + 1);
    *st = Step{Step::INDEX, 0, nullptr, 0, index};
    r->pos = i + 1;
    return true;
}

static bool read_ident(PathReader *r, size_t at, Step *st) {
    size_t i = at;
    while (i < r->len && ident_char(uint8_t(r->s[i]), i == at, true)) i++;
    *st = Step{Step::KEY, 0, r->s + at, i - at, 0};
    r->pos = i;
    return true;
}

static PathReader path_reader(const char *s, size_t len) {
    PathReader r{s, len, 0, false, true, 0};
    if (len > 0 && s[0] == '/') {
        r.pointer = true;
        r.pos = 1;
    } else if (len > 0 && s[0] == '$') {
        r.pos = 1;
        r.first = false;
    }
    return r;
}

/* Reads the next step into *st; false at the end of the path or at an error
 * (r->error is set then). */
static bool next_step(PathReader *r, Step *st) {
    const char *s = r->s;
    const size_t len = r->len;
    if (r->pointer) {
        /* pos is just past a "/"; beyond len once the last segment is read */
        if (r->pos > len) return false;
        size_t end = r->pos;
        while (end < len && s[end] != '/') end++;
        uint64_t index = 0;
        bool digits = end > r->pos && read_digits(s, r->pos, end, &index) == end;
        *st = Step{digits ? Step::POINTER : Step::KEY, '/', s + r->pos, end - r->pos, index};
        r->pos = end + 1;
        return true;
    }
    if (r->pos >= len) return false;
    const size_t at = r->pos;
    const bool first = r->first;
    r->first = false;
    if (s[at] == '[') return read_bracket(r, at + 1, st);
    if (s[at] == '.') {
        const size_t q = at + 1;
        if (q == len) {
            r->pos = q; /* a "." that ends the path adds nothing */
            return false;
        }
        if (s[q] == '[') return read_bracket(r, q + 1, st);
        if (s[q] == '"') return read_quoted(r, q, false, st);
        if (ident_char(uint8_t(s[q]), true, true)) return read_ident(r, q, st);
        return fail_at(r, q + 1);
    }
    if (first && ident_char(uint8_t(s[at]), true, true)) return read_ident(r, at, st);
    return fail_at(r, at + 1);
}

/* The key of a step as bytes into out (room for st.key_len bytes: no form of
 * it decodes longer than it is typed); returns the length. */
static size_t step_key(const Step &st, char *out) {
    const char *s = st.key;
    const size_t n = st.key_len;
    size_t k = 0;
    for (size_t i = 0; i < n;) {
        const char c = s[i];
        if (st.quote == '/' && c == '~' && i + 1 < n && (s[i + 1] == '0' || s[i + 1] == '1')) {
            out[k++] = s[i + 1] == '0' ? '~' : '/';
            i += 2;
        } else if ((st.quote == '\'' || st.quote == '"') && c == '\\' && i + 1 < n) {
            const char e = s[i + 1];
            const bool hex = n - i >= 6 && jx__is_hex(uint8_t(s[i + 2])) && jx__is_hex(uint8_t(s[i + 3])) &&
                             jx__is_hex(uint8_t(s[i + 4])) && jx__is_hex(uint8_t(s[i + 5]));
            if (st.quote == '"' &&
                (e == 'b' || e == 'f' || e == 'n' || e == 'r' || e == 't' || (e == 'u' && hex))) {
                const auto *p = reinterpret_cast<const unsigned char *>(s + i);
                jx_escape x = jx__read_escape(p, reinterpret_cast<const unsigned char *>(s + n));
                k += jx__utf8_put(x.cp, out + k);
                i += x.len;
            } else {
                /* any other escaped byte, and a "\u" without four hex digits, stands for itself */
                out[k++] = e;
                i += 2;
            }
        } else {
            out[k++] = c;
            i++;
        }
    }
    return k;
}

/* ---- walking the document ---- */

/* Whether the decoded key of member id is exactly key[0, n). */
static bool key_is(const JxDoc *d, uint32_t id, const char *key, size_t n) {
    KeyChars k = key_chars(d, id);
    /* without escapes a key never decodes shorter than it is written */
    if (!k.escaped && size_t(k.end - k.p) > n) return false;
    size_t at = 0;
    uint32_t cp;
    char enc[4];
    while (k.next(&cp)) {
        uint32_t m = jx__utf8_put(cp, enc);
        if (m > n - at || std::memcmp(enc, key + at, m) != 0) return false;
        at += m;
    }
    return at == n;
}

static uint32_t find_key(const JxDoc *d, uint32_t parent, const char *key, size_t n) {
    const uint32_t end = jx__node(d, parent)->end;
    for (uint32_t c = parent + 1; c < end && c < d->count;) {
        const JxNode *cn = jx__node(d, c);
        if (cn->key_off != JX_NONE && key_is(d, c, key, n)) return c;
        c = cn->end > c ? cn->end : c + 1;
    }
    return JX_NONE;
}

static const char *type_word(int type) {
    switch (type) {
        case JX_STRING: return "string";
        case JX_NUMBER: return "number";
        case JX_TRUE:
        case JX_FALSE: return "boolean";
        case JX_NULL: return "null";
        case JX_BAD: return "error";
        default: return "value";
    }
}

/* Applies one step to *cur, or writes why it cannot be taken onto msg. */
static Walk take_step(const JxDoc *d, uint32_t *cur, const Step &st, jx_cursor *msg) {
    const JxNode *n = jx__node(d, *cur);
    const int type = jx__type_of(n);
    const bool index = st.kind == Step::INDEX || (st.kind == Step::POINTER && type == JX_ARRAY);
    const bool container = jx__is_container(n->info);
    const uint32_t count = container ? jx_child_count(d, *cur) : 0;
    if (index && container && st.index < count) {
        *cur = jx_child_at(d, *cur, uint32_t(st.index));
        if (*cur != JX_NONE) return Walk::FOUND;
    }
    char local[LOCAL_KEY];
    char *key = nullptr;
    size_t key_len = 0;
    if (!index) {
        key = st.key_len <= LOCAL_KEY ? local : static_cast<char *>(jx__malloc(st.key_len));
        if (!key) return Walk::NO_MEMORY;
        key_len = step_key(st, key);
        if (container) {
            uint32_t found = find_key(d, *cur, key, key_len);
            if (found != JX_NONE) {
                if (key != local) jx__free(key);
                *cur = found;
                return Walk::FOUND;
            }
        }
        put_ascii(msg, "No key \"");
        jx__decode(msg, key, key_len, false);
        put_ascii(msg, "\" in ");
        if (key != local) jx__free(key);
    } else {
        char t[48];
        int k = std::snprintf(t, sizeof t, "No item [%" PRIu64 "] in ", st.index);
        jx__put_ascii(msg, t, size_t(k));
    }
    if (!put_path(msg, d, *cur, JX_PATH_JSONPATH)) return Walk::NO_MEMORY;
    char tail[48];
    int k = container ? std::snprintf(tail, sizeof tail, " (it has %" PRIu32 ")", count)
                      : std::snprintf(tail, sizeof tail, " (it is a %s)", type_word(type));
    if (index || !container) jx__put_ascii(msg, tail, size_t(k));
    return Walk::MISSING;
}

/* ---- public ---- */

extern "C" {

size_t jx_path(const JxDoc *doc, uint32_t node, int style, char *buf, size_t size) {
    jx_cursor c = jx__cursor(buf, size);
    if (!jx__valid(doc, node) || style < JX_PATH_JSONPATH || style > JX_PATH_POINTER ||
        !put_path(&c, doc, node, style)) {
        if (buf && size) buf[0] = 0;
        return 0;
    }
    return jx__cursor_end(&c);
}

uint32_t jx_crumb_count(const JxDoc *doc, uint32_t node) {
    return jx__valid(doc, node) ? jx_depth(doc, node) + 1 : 0;
}

uint32_t jx_crumb_node(const JxDoc *doc, uint32_t node, uint32_t i) {
    const uint32_t depth = jx_depth(doc, node);
    if (!jx__valid(doc, node) || i > depth) return JX_NONE;
    for (uint32_t up = depth - i; up > 0; up--) node = jx__node(doc, node)->parent;
    return node;
}

size_t jx_crumb_label(const JxDoc *doc, uint32_t node, char *buf, size_t size) {
    jx_cursor c = jx__cursor(buf, size);
    if (jx__valid(doc, node)) {
        const JxNode *n = jx__node(doc, node);
        const bool records = jx_doc_records(doc);
        if (n->parent == JX_NONE) {
            put_ascii(&c, records ? "records" : "root");
        } else if (n->key_off != JX_NONE) {
            KeyChars k = key_chars(doc, node);
            uint32_t cp;
            while (k.next(&cp)) jx__put_cp(&c, jx__picture(cp));
        } else if (n->parent == 0 && records) {
            char t[40] = "line ";
            size_t len = 5 + jx__fmt_count(jx_record_line(doc, node), t + 5);
            jx__put_ascii(&c, t, len);
        } else {
            put_index(&c, jx_index_in_parent(doc, node), false);
        }
    }
    return jx__cursor_end(&c);
}

uint32_t jx_resolve(const JxDoc *doc, const char *path, size_t len, char *msg, size_t msg_size) {
    jx_cursor m = jx__cursor(msg, msg_size);
    uint32_t cur = JX_NONE;
    if (doc && doc->count > 0 && (path || len == 0)) {
        /* The whole path must read before the document is walked, so that a
         * typing error is reported as such and not as a missing key. */
        Step st;
        PathReader r = path_reader(path, len);
        while (next_step(&r, &st)) {
        }
        if (r.error) {
            char t[64];
            int k = std::snprintf(t, sizeof t, "Path not understood at character %zu", r.error);
            jx__put_ascii(&m, t, size_t(k));
        } else {
            cur = 0;
            r = path_reader(path, len);
            while (cur != JX_NONE && next_step(&r, &st)) {
                Walk w = take_step(doc, &cur, st, &m);
                if (w == Walk::FOUND) continue;
                cur = JX_NONE;
                /* a message cut short by a lack of memory would mislead */
                if (w == Walk::NO_MEMORY) m = jx__cursor(msg, msg_size);
            }
        }
    }
    jx__cursor_end(&m);
    return cur;
}

}  // extern "C"
