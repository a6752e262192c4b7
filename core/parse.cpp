#include "parse_int.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "chars_int.h"
#include "decode_int.h"
#include "encoding_int.h"
#include "jx/parse.h"
#include "records_int.h"
#include "store_int.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the 8-byte scanners assume little-endian words");

static constexpr uint32_t MAX_DEPTH = 100000;
static constexpr uint32_t STACK_MAX = MAX_DEPTH + 2;

bool jx__fail_at(jx_parser &p, const char *s, uint32_t msg) {
    if (s >= p.end) return jx__fail(p, jx__off(p, p.end), p.line_mode ? JX_MSG_EOL : JX_MSG_EOF);
    if (p.line_mode && *s == '\n') {
        const char *at = (s > p.start && s[-1] == '\r') ? s - 1 : s;
        return jx__fail(p, jx__off(p, at), JX_MSG_EOL);
    }
    if (*s == '/' && (s[1] == '/' || s[1] == '*')) return jx__fail(p, jx__off(p, s), JX_MSG_COMMENTS);
    return jx__fail(p, jx__off(p, s), msg);
}

/* ---- containers ---- */

void jx__close_all(jx_parser &p) {
    while (p.depth > 0) jx__close_top(p, true);
}

/* ---- progress ---- */

static void advance_checkpoint(jx_parser &p, const char *s) {
    p.checkpoint = (uint64_t(p.end - s) <= JX_PROGRESS_STEP) ? p.end + 1 : s + JX_PROGRESS_STEP;
}

bool jx__check(jx_parser &p, const char *s) {
    if (s < p.checkpoint) return true;
    if (p.stopped) return jx__fail(p, p.oom_off, JX_MSG_OOM);
    if (jx__cancel_requested(p.progress)) {
        p.cancelled = true;
        return jx__fail(p, jx__off(p, s), JX_MSG_UNKNOWN);
    }
    jx__report(p.progress, uint64_t(s - p.start), p.d->size);
    jx__reserve_chunk(p, s);
    advance_checkpoint(p, s);
    return true;
}

/* Inside a long string only cancellation counts: a string in progress may
 * finish after memory ran out. */
static bool check_in_string(jx_parser &p, const char *s) {
    if (s < p.checkpoint || p.stopped) return true;
    return jx__check(p, s);
}

/* ---- whitespace and comments ---- */

/* s is at a '/' followed by '/' or '*'. Returns the position after the comment:
 * the LF ending a line comment, or the text end (line mode: the LF) when a
 * block comment never closes, which is remembered in p.unterminated. */
static const char *skip_comment(jx_parser &p, const char *s) {
    if (s[1] == '/') {
        /* a lone CR ends the comment too, or a file with old Mac line ends
         * would lose everything after its first comment */
        jx__set_syntax(p, JX_SYNTAX_COMMENTS, s);
        const char *q = s + 2;
        while (q < p.end && *q != '\n' && *q != '\r') q++;
        return q;
    }
    for (const char *q = s + 2; q < p.end; q++) {
        if (*q == '*' && q[1] == '/') {
            jx__set_syntax(p, JX_SYNTAX_COMMENTS, s);
            return q + 2;
        }
        if (*q == '\n') {
            if (p.line_mode) {
                p.unterminated = s;
                return q;
            }
            jx__add_line(p, jx__off(p, q + 1));
        }
    }
    p.unterminated = s;
    return p.end;
}

/* Length of whitespace only JSON5 allows at s (form feed, vertical tab,
 * no-break space, line and paragraph separators, byte order mark), else 0. */
static size_t json5_space(const char *s) {
    const auto *u = reinterpret_cast<const unsigned char *>(s);
    if (u[0] == '\f' || u[0] == '\v') return 1;
    if (u[0] == 0xC2 && u[1] == 0xA0) return 2;
    if (u[0] == 0xE2 && u[1] == 0x80 && (u[2] == 0xA8 || u[2] == 0xA9)) return 3;
    if (u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF) return 3;
    return 0;
}

const char *jx__skip_ws_slow(jx_parser &p, const char *s) {
    for (;;) {
        unsigned char c = *s;
        if (c == ' ' || c == '\t' || c == '\r') {
            s = jx__spaces(p, s + 1);
        } else if (c == '\n') {
            if (p.line_mode) return s;
            s++;
            jx__add_line(p, jx__off(p, s));
            s = jx__spaces(p, s);
        } else if (c == '/' && !p.strict && (s[1] == '/' || s[1] == '*')) {
            s = skip_comment(p, s);
            if (p.unterminated) return s;
        } else if (size_t n = p.strict ? 0 : json5_space(s)) {
            jx__set_syntax(p, JX_SYNTAX_JSON5, s);
            s += n;
        } else {
            return s;
        }
    }
}

/* ---- strings ---- */

static inline bool hex4(const char *s) {
    uint16_t unused;
    return jx__hex4(s, &unused);
}

/* The first quote, backslash or control byte at or after q: the first word
 * here, the rest by the kernel, which pauses at the progress checkpoint.
 * Null when the check there fails (cancelled); else *q is the byte found, or
 * the scan stopped at the checkpoint and the caller scans again from q. */
static inline const char *string_stop(jx_parser &p, const char *q, unsigned char quote) {
    if (uint64_t m = jx__string_stops(jx__load8(q), quote)) return q + (__builtin_ctzll(m) >> 3);
    q = p.k->string_stop(q + 8, p.checkpoint, quote);
    if (q >= p.checkpoint && !check_in_string(p, q)) return nullptr;
    return q;
}

/* Fails a string that reaches the text end. */
static bool fail_unterminated(jx_parser &p, const char *open) {
    if (p.line_mode) return jx__fail(p, jx__off(p, p.end), JX_MSG_EOL);
    return jx__fail(p, jx__off(p, open), JX_MSG_UNTERMINATED_STRING);
}

/* Reads the n hex digits of a \u (n = 4) or \x (n = 2) escape whose backslash
 * is at q, in order; returns the position after them, or null after failing.
 * The first byte that is not a hex digit decides: the text end means the
 * string never ended (so does a line end in line mode), anything else makes
 * the escape invalid. The text is followed by zero bytes, which are no hex
 * digits, so the digits can be read before the end is checked. */
static const char *hex_escape(jx_parser &p, const char *open, const char *q, int n) {
    const char *h = q + 2;
    for (const char *last = h + n; h < last; h++) {
        if (jx__is_hex(*h)) continue;
        if (h >= p.end) return fail_unterminated(p, open), nullptr;
        if (p.line_mode && (*h == '\n' || (*h == '\r' && h[1] == '\n')))
            return jx__fail(p, jx__off(p, h), JX_MSG_EOL), nullptr;
        return jx__fail(p, jx__off(p, q), JX_MSG_INVALID_ESCAPE), nullptr;
    }
    return h;
}

/* Escapes only JSON5 allows; q is at the backslash. Returns the position after
 * the escape, or null after failing. */
static const char *json5_escape(jx_parser &p, const char *open, const char *q, uint32_t &flags) {
    if (q + 1 >= p.end) return fail_unterminated(p, open), nullptr;
    if (p.strict) return jx__fail(p, jx__off(p, q), JX_MSG_INVALID_ESCAPE), nullptr;
    unsigned char e = q[1];
    const char *next = nullptr;
    if (e == '\n' || (e == '\r' && q[2] == '\n')) {
        if (p.line_mode) return jx__fail(p, jx__off(p, q + 1), JX_MSG_EOL), nullptr;
        next = q + (e == '\r' ? 3 : 2);
        jx__add_line(p, jx__off(p, next));
    } else if (e == '\r' || e == '\'' || e == 'v') {
        next = q + 2;
    } else if (e == '0') {
        if (!jx__is(q[2], JX_C_DIGIT)) next = q + 2;
    } else if (e == 'x') {
        next = hex_escape(p, open, q, 2);
        if (!next) return nullptr;
    } else if (e == 0xE2 && uint8_t(q[2]) == 0x80 && (uint8_t(q[3]) == 0xA8 || uint8_t(q[3]) == 0xA9)) {
        next = q + 4;
    }
    if (!next) return jx__fail(p, jx__off(p, q), JX_MSG_INVALID_ESCAPE), nullptr;
    jx__set_syntax(p, JX_SYNTAX_JSON5, q);
    flags |= JX_F_NONSTANDARD;
    return next;
}

/* Reads a string of any form from its opening quote; returns the position
 * after the closing quote, or null after failing. */
static const char *slow_string(jx_parser &p, const char *open, unsigned char quote, uint32_t &flags) {
    const char *q = open + 1;
    for (;;) {
        q = string_stop(p, q, quote);
        if (!q) return nullptr;
        unsigned char c = *q;
        if (c == quote) return q + 1;
        if (c == '\\') {
            flags |= JX_F_ESCAPED;
            unsigned char e = q[1];
            if (e == '"' || e == '\\' || e == '/' || e == 'b' || e == 'f' || e == 'n' || e == 'r' ||
                e == 't') {
                q += 2;
            } else if (e == 'u') {
                q = hex_escape(p, open, q, 4);
                if (!q) return nullptr;
            } else {
                q = json5_escape(p, open, q, flags);
                if (!q) return nullptr;
            }
            continue;
        }
        if (c >= 0x20) continue; /* the scan paused at the checkpoint */
        /* a control byte */
        if (q >= p.end) return fail_unterminated(p, open), nullptr;
        if (p.line_mode && (c == '\n' || (c == '\r' && q[1] == '\n')))
            return jx__fail(p, jx__off(p, q), JX_MSG_EOL), nullptr;
        if (p.strict) return jx__fail(p, jx__off(p, q), JX_MSG_CONTROL_CHAR), nullptr;
        jx__set_syntax(p, JX_SYNTAX_CONTROL, q);
        if (c == '\n') jx__add_line(p, jx__off(p, q + 1));
        q++;
    }
}

/* A double-quoted string: the plain JSON escapes are handled here, anything
 * else goes to the slow reader from the start. */
static inline const char *scan_string(jx_parser &p, const char *open, uint32_t &flags) {
    const char *q = open + 1;
    for (;;) {
        q = string_stop(p, q, '"');
        if (!q) return nullptr;
        if (*q == '"') return q + 1;
        if (uint8_t(*q) >= 0x20 && *q != '\\') continue; /* paused at the checkpoint */
        if (*q == '\\') {
            unsigned char e = q[1];
            if (e == '"' || e == '\\' || e == '/' || e == 'b' || e == 'f' || e == 'n' || e == 'r' ||
                e == 't') {
                flags |= JX_F_ESCAPED;
                q += 2;
                continue;
            }
            if (e == 'u' && hex4(q + 2)) {
                flags |= JX_F_ESCAPED;
                q += 6;
                continue;
            }
        }
        flags = 0;
        return slow_string(p, open, '"', flags);
    }
}

/* ---- numbers ---- */

/* Skips ASCII digits: the two words that hold nearly every number here, a
 * longer run by the kernel (a vector's latency would only slow short ones). */
static inline const char *digits(const jx_parser &p, const char *s) {
    if (uint64_t t = jx__non_digits(jx__load8(s))) return s + (__builtin_ctzll(t) >> 3);
    if (uint64_t t = jx__non_digits(jx__load8(s + 8))) return s + 8 + (__builtin_ctzll(t) >> 3);
    return p.k->digits_end(s + 16);
}

/* A JSON5 number from s; returns its end or null. */
static const char *json5_number(const jx_parser &p, const char *s) {
    const char *q = s;
    if (*q == '+' || *q == '-') q++;
    if (std::memcmp(q, "Infinity", 8) == 0 && !jx__is(q[8], JX_C_WORD)) return q + 8;
    if (std::memcmp(q, "NaN", 3) == 0 && !jx__is(q[3], JX_C_WORD)) return q + 3;
    if (q[0] == '0' && (q[1] | 0x20) == 'x' && jx__is_hex(q[2])) {
        q += 3;
        while (jx__is_hex(*q)) q++;
        return jx__is(*q, JX_C_NUMSTOP) ? nullptr : q;
    }
    const char *first = q;
    if (*q == '0') {
        q++;
        if (jx__is(*q, JX_C_DIGIT)) return nullptr;
    } else {
        q = digits(p, q);
    }
    bool any = q > first;
    if (*q == '.') {
        const char *frac = q + 1;
        q = digits(p, frac);
        any = any || q > frac;
    }
    if (!any) return nullptr;
    if ((*q | 0x20) == 'e') {
        q++;
        if (*q == '+' || *q == '-') q++;
        if (!jx__is(*q, JX_C_DIGIT)) return nullptr;
        q = digits(p, q);
    }
    return jx__is(*q, JX_C_NUMSTOP) ? nullptr : q;
}

/* A strict JSON number from s; returns its end or null. */
static inline const char *strict_number(const jx_parser &p, const char *s) {
    const char *q = s;
    if (*q == '-') q++;
    if (*q == '0') {
        q++;
        if (jx__is(*q, JX_C_DIGIT)) return nullptr;
    } else if (jx__is(*q, JX_C_DIGIT)) {
        q = digits(p, q + 1);
    } else {
        return nullptr;
    }
    if (*q == '.') {
        if (!jx__is(q[1], JX_C_DIGIT)) return nullptr;
        q = digits(p, q + 2);
    }
    if ((*q | 0x20) == 'e') {
        q++;
        if (*q == '+' || *q == '-') q++;
        if (!jx__is(*q, JX_C_DIGIT)) return nullptr;
        q = digits(p, q + 1);
    }
    return jx__is(*q, JX_C_NUMSTOP) ? nullptr : q;
}

/* ---- literals ---- */

static inline uint32_t load4(const char *s) {
    uint32_t v;
    std::memcpy(&v, s, 4);
    return v;
}

static constexpr uint32_t tail(const char (&w)[5]) {
    return uint32_t(uint8_t(w[0])) | uint32_t(uint8_t(w[1])) << 8 | uint32_t(uint8_t(w[2])) << 16 |
           uint32_t(uint8_t(w[3])) << 24;
}

/* The last four bytes of "true", "false" and "null". */
static constexpr uint32_t LITERAL_TAILS[3] = {tail("true"), tail("alse"), tail("null")};

/* ---- nodes ---- */

/* Writes node d->count with the pending key as a child of the stack top.
 * Returns it, or null when memory ran out. */
[[gnu::always_inline]] static inline JxNode *write_node(jx_parser &p, const char *s, uint32_t info) {
    JxNode *n = jx__new_node(p);
    if (!n) return jx__fail_oom(p, jx__off(p, s)), nullptr;
    uint32_t id = jx__commit_node(p);
    *n = {p.pending_key, jx__off(p, s), id + 1, p.top->id, info | (p.pending_flags << 3)};
    uint32_t k = p.top->count++;
    if ((k & 15) == 0 && k >= 64) jx__add_sample(p, *p.top, id);
    p.pending_key = JX_NONE;
    p.pending_flags = 0;
    return n;
}

static bool write_scalar(jx_parser &p, uint32_t type, uint32_t flags, const char *vs, const char *ve) {
    JxNode *n = write_node(p, vs, type | (flags << 3));
    if (!n) return false;
    n->info |= jx__number_field(p, n->end - 1, uint64_t(ve - vs), n->val_off);
    return true;
}

static bool open_container(jx_parser &p, const char *s, bool object) {
    if (p.depth >= MAX_DEPTH) return jx__fail(p, jx__off(p, s), JX_MSG_TOO_DEEP);
    if (p.depth + 1 >= p.stack_cap) {
        if (!jx__grow_array(p.stack, p.stack_cap, 64, STACK_MAX)) return jx__fail_oom(p, jx__off(p, s));
        p.top = p.stack + p.depth;
    }
    JxNode *n = write_node(p, s, object ? JX_OBJECT : JX_ARRAY);
    if (!n) return false;
    *++p.top = {n->end - 1, 0, object, {}};
    p.depth++;
    return true;
}

/* ---- the value machine ---- */

/* A value that is not an object, array, double-quoted string, strict number or
 * literal. Returns its end or null after failing. */
static const char *lenient_value(jx_parser &p, const char *s, uint32_t &type, uint32_t &flags) {
    unsigned char c = *s;
    if (p.strict || s >= p.end) return jx__fail_at(p, s, JX_MSG_EXPECTED_VALUE), nullptr;
    if (c == '\'') {
        const char *e = slow_string(p, s, '\'', flags);
        if (!e) return nullptr;
        type = JX_STRING;
        flags |= JX_F_NONSTANDARD;
        jx__set_syntax(p, JX_SYNTAX_JSON5, s);
        return e;
    }
    if (const char *e = json5_number(p, s)) {
        type = JX_NUMBER;
        flags = JX_F_NONSTANDARD;
        jx__set_syntax(p, JX_SYNTAX_JSON5, s);
        return e;
    }
    if (c == '+' || c == '.') return jx__fail(p, jx__off(p, s), JX_MSG_INVALID_NUMBER), nullptr;
    if (c == 'N' || c == 'I') return jx__fail(p, jx__off(p, s), JX_MSG_INVALID_LITERAL), nullptr;
    return jx__fail_at(p, s, JX_MSG_EXPECTED_VALUE), nullptr;
}

/* Reads a key from s; sets p.pending_key/flags. Returns its end or null. */
static const char *read_key(jx_parser &p, const char *s) {
    uint32_t flags = 0;
    const char *e;
    if (*s == '"') {
        e = scan_string(p, s, flags);
        if (!e) return nullptr;
        flags = (flags & JX_F_ESCAPED ? JX_F_KEY_ESCAPED : 0) | (flags & JX_F_NONSTANDARD);
    } else if (!p.strict && s < p.end && *s == '\'') {
        e = slow_string(p, s, '\'', flags);
        if (!e) return nullptr;
        flags = (flags & JX_F_ESCAPED ? JX_F_KEY_ESCAPED : 0) | JX_F_NONSTANDARD;
        jx__set_syntax(p, JX_SYNTAX_JSON5, s);
    } else if (!p.strict &&
               ((jx__ident_byte(*s) && !jx__is(*s, JX_C_DIGIT)) || jx__ident_escape(s, p.end, true))) {
        e = s + jx__scan_string_end(s, p.end);
        /* an escape of a character no identifier holds: only quotes make this a key */
        if (*e == '\\') return jx__fail(p, jx__off(p, e), JX_MSG_EXPECTED_KEY), nullptr;
        flags = JX_F_NONSTANDARD | (std::memchr(s, '\\', size_t(e - s)) ? JX_F_KEY_ESCAPED : 0);
        jx__set_syntax(p, JX_SYNTAX_JSON5, s);
    } else {
        return jx__fail_at(p, s, JX_MSG_EXPECTED_KEY), nullptr;
    }
    p.pending_key = jx__off(p, s);
    p.pending_flags = flags;
    return e;
}

/* Reads one value from s with the stack top as its container. On success
 * *cur is the position after it; on failure p.err_off/err_msg say why and the
 * stack keeps what was open. */
bool jx__read_value(jx_parser &p, const char *&cur) {
    const char *s = cur;
    uint32_t type, flags;
    const char *e;
    unsigned char c;
    bool object;

value:
    c = *s;
    flags = 0;
    switch (c) {
        case '{':
        case '[':
            object = c == '{';
            if (!open_container(p, s, object)) return false;
            s = jx__skip_ws(p, s + 1);
            if (*s == (object ? '}' : ']')) {
                jx__close_top(p, false);
                s++;
                goto after;
            }
            if (object) goto key;
            goto value;
        case '"':
            e = scan_string(p, s, flags);
            if (!e) return false;
            type = JX_STRING;
            break;
        case '-':
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9':
            type = JX_NUMBER;
            e = strict_number(p, s);
            if (!e) {
                e = p.strict ? nullptr : json5_number(p, s);
                if (!e) return jx__fail(p, jx__off(p, s), JX_MSG_INVALID_NUMBER);
                flags = JX_F_NONSTANDARD;
                jx__set_syntax(p, JX_SYNTAX_JSON5, s);
            }
            break;
        case 't':
        case 'f':
        case 'n': {
            /* the word's last four letters as one load; the text's zero bytes
             * make reading past a short text safe */
            int w = c == 't' ? 0 : c == 'f' ? 1 : 2;
            size_t len = w == 1 ? 5 : 4;
            if (load4(s + len - 4) != LITERAL_TAILS[w] || jx__is(s[len], JX_C_WORD))
                return jx__fail(p, jx__off(p, s), JX_MSG_INVALID_LITERAL);
            type = uint32_t(JX_TRUE + w);
            e = s + len;
            break;
        }
        default:
            e = lenient_value(p, s, type, flags);
            if (!e) return false;
            break;
    }
    if (!write_scalar(p, type, flags, s, e)) return false;
    s = e;

after:
    if (s >= p.checkpoint && !jx__check(p, s)) return false;
    if (p.depth == 0) {
        cur = s;
        return true;
    }
    s = jx__skip_ws(p, s);
    object = p.top->object;
    c = *s;
    if (c == ',') {
        const char *comma = s;
        s = jx__skip_ws(p, s + 1);
        if (*s == (object ? '}' : ']')) {
            if (p.strict) return jx__fail(p, jx__off(p, comma), JX_MSG_TRAILING_COMMA);
            jx__set_syntax(p, JX_SYNTAX_TRAILING_COMMA, comma);
            jx__close_top(p, false);
            s++;
            goto after;
        }
        if (object) goto key;
        goto value;
    }
    if (c == (object ? '}' : ']') && s < p.end) {
        jx__close_top(p, false);
        s++;
        goto after;
    }
    return jx__fail_at(p, s, object ? JX_MSG_EXPECTED_COMMA_OBJECT : JX_MSG_EXPECTED_COMMA_ARRAY);

key:
    s = read_key(p, s);
    if (!s) return false;
    s = jx__skip_ws(p, s);
    if (*s != ':' || s >= p.end) return jx__fail_at(p, s, JX_MSG_EXPECTED_COLON);
    s = jx__skip_ws(p, s + 1);
    goto value;
}

/* ---- the document ---- */

static void parse_document(jx_parser &p, bool lines) {
    JxDoc *d = p.d;
    p.stack[0] = {JX_NONE, 0, 0, {}};
    p.depth = 0;
    p.top = p.stack;
    d->format = JX_FORMAT_VALUE;
    if (lines) return jx__read_lines_from_start(p);
    const char *s = jx__skip_ws(p, p.start);
    if (s >= p.end) {
        if (p.unterminated)
            jx__add_problem(p, d->size, JX_NONE, JX_MSG_EOF);
        else if (p.strict)
            jx__add_problem(p, jx__off(p, s), JX_NONE, JX_MSG_EXPECTED_VALUE);
        return;
    }
    const char *first = s;
    if (!jx__read_value(p, s)) {
        jx__close_all(p);
        if (!p.cancelled) jx__add_problem(p, p.err_off, JX_NONE, p.err_msg);
        return;
    }
    const char *after = s;
    s = jx__skip_ws(p, s);
    if (s >= p.end) {
        if (p.unterminated) jx__add_problem(p, d->size, JX_NONE, JX_MSG_EOF);
        /* the parse passed every byte, recording each line start on the way */
        p.lines_complete = !p.unterminated;
        return;
    }
    if (p.strict || !jx__is(*s, JX_C_START)) {
        bool comment = *s == '/' && (s[1] == '/' || s[1] == '*');
        jx__add_problem(p, jx__off(p, s), JX_NONE, comment ? JX_MSG_COMMENTS : JX_MSG_TRAILING_TEXT);
        return;
    }
    jx__read_more(p, first, after, s);
}

static void free_parser(jx_parser &p) {
    jx__prefault_join(&p.pf);
    jx__drop_candidates(p, 0);
    if (p.stack) {
        jx__drop_frames(p);
        jx__free(p.stack[0].samples.ids);
    }
    jx__free(p.reserve);
    jx__free(p.stack);
    jx__free(p.candidates);
}

extern "C" JxDoc *jx_parse(char *bytes, size_t length, const jx_parse_options *options,
                           const jx_progress *progress, int *status) {
    int dummy;
    int &st = status ? *status : dummy;
    if (length > JX_MAX_SIZE) {
        jx_buf_free(bytes);
        return st = JX_TOO_BIG, nullptr;
    }
    if (!bytes) return st = JX_NO_MEMORY, nullptr;
    if (jx__cancel_requested(progress)) {
        jx_buf_free(bytes);
        return st = JX_CANCELLED, nullptr;
    }
    void *mem = jx__calloc(1, sizeof(JxDoc));
    if (!mem) {
        jx_buf_free(bytes);
        return st = JX_NO_MEMORY, nullptr;
    }
    JxDoc *d = new (mem) JxDoc{};
    d->refs.store(1, std::memory_order_relaxed);
    d->text = d->buffer = bytes;
    d->size = uint32_t(length);
    d->encoding = "UTF-8";
    d->syntax_offset = JX_NONE;
    d->oom_problem = JX_NONE;
    if (int rc = jx__decode_bom(d, progress); rc != JX_OK) {
        jx_doc_release(d);
        return st = rc, nullptr;
    }

    jx_parser p{};
    p.d = d;
    p.start = d->text;
    p.end = d->text + d->size;
    p.strict = options && (options->strict & 1);
    p.progress = progress;
    p.k = jx__kernels();
    p.pending_key = JX_NONE;
    p.prefetch = d->size >= (128u << 20);
    advance_checkpoint(p, p.start);
    bool ok = jx__grow_array(p.stack, p.stack_cap, 64);
    if (ok) p.stack[0] = {JX_NONE, 0, 0, {}};
    ok = ok && jx__grow_array(d->problems, p.problem_cap, 2);
    if (ok) {
        uint32_t want = std::max<uint32_t>(d->size / 32, 1024);
        d->line_starts = static_cast<uint32_t *>(jx__malloc(size_t(want) * sizeof(uint32_t)));
        if (!d->line_starts && want > 1024) {
            want = 1024;
            d->line_starts = static_cast<uint32_t *>(jx__malloc(size_t(want) * sizeof(uint32_t)));
        }
        p.line_cap = d->line_starts ? want : 0;
        jx__hint_huge(d->line_starts, size_t(p.line_cap) * sizeof(uint32_t));
        ok = d->line_starts != nullptr;
    }
    if (!ok) {
        free_parser(p);
        jx_doc_release(d);
        return st = JX_NO_MEMORY, nullptr;
    }
    if (d->size) jx__add_line(p, 0);

    parse_document(p, options && (options->lines & 1));

    if (p.cancelled || jx__cancel_requested(progress)) {
        free_parser(p);
        jx_doc_release(d);
        return st = JX_CANCELLED, nullptr;
    }
    jx__finish(p);
    free_parser(p);
    jx__report(progress, d->size, d->size);
    st = JX_OK;
    return d;
}
