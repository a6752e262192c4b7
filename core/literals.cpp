/* literals.cpp: the literals every match of a regular expression holds, read
 * from the pattern by a small recursive parser.
 *
 * Each piece of the pattern is summed up as an Info: the exact strings it can
 * match, when they are few and short, and otherwise a set of strings one of
 * which any of its matches contains. A sequence joins neighbouring exact
 * pieces into longer strings and keeps the best set it has seen; alternation
 * unites the sets of its branches. */
#include "literals_int.h"

#include <cstring>

#include "chars_int.h"

namespace {

constexpr uint32_t SET_MAX = 8;
constexpr uint32_t LIT_MAX = JX_LITERAL_BYTES;
/* Each level holds a few sets on the stack; deeper patterns are rare enough to give up on. */
constexpr int DEPTH_MAX = 12;

struct Lit {
    uint8_t len;
    uint8_t b[LIT_MAX];
};

/* A few distinct strings. */
struct Set {
    uint32_t n;
    Lit s[SET_MAX];
};

struct Info {
    bool exact; /* every match is one of ex's strings */
    Set ex;
    bool must; /* every match contains one of mu's strings, which can be scanned for */
    Set mu;
};

struct Parser {
    const uint8_t *p, *end;
    bool fold;
    bool fail;
    int depth;
};

/* A sequence being read: run is the exact strings of its latest stretch of
 * exact pieces ({""} when there is none), solo the one string of its latest
 * stretch of pieces that match one string each, best the best set seen so
 * far. solo keeps "xyz" of "(a|b|c|d|e)xyz", whose run has too many strings. */
struct Seq {
    Set run;
    bool whole; /* run covers the sequence from its start: the sequence is exact */
    Set solo;
    bool have;
    Set best;
};

}  // namespace

/* ---- sets ---- */

static bool add(Set &s, const uint8_t *p, uint32_t len) {
    for (uint32_t i = 0; i < s.n; ++i)
        if (s.s[i].len == len && std::memcmp(s.s[i].b, p, len) == 0) return true;
    if (s.n == SET_MAX || len > LIT_MAX) return false;
    s.s[s.n].len = uint8_t(len);
    if (len) std::memcpy(s.s[s.n].b, p, len);
    ++s.n;
    return true;
}

static void single(Set &s, const uint8_t *p, uint32_t len) {
    s.n = 0;
    add(s, p, len);
}

static bool unite(const Set &a, const Set &b, Set &out) {
    out = a;
    for (uint32_t i = 0; i < b.n; ++i)
        if (!add(out, b.s[i].b, b.s[i].len)) return false;
    return true;
}

/* Every string of a followed by every string of b; false when too many or too long. */
static bool product(const Set &a, const Set &b, Set &out) {
    out.n = 0;
    for (uint32_t i = 0; i < a.n; ++i)
        for (uint32_t j = 0; j < b.n; ++j) {
            const Lit &x = a.s[i], &y = b.s[j];
            if (x.len + y.len > LIT_MAX) return false;
            uint8_t buf[LIT_MAX];
            std::memcpy(buf, x.b, x.len);
            std::memcpy(buf + x.len, y.b, y.len);
            if (!add(out, buf, x.len + y.len)) return false;
        }
    return true;
}

/* How much a set narrows the search: longer strings first, then fewer of them;
 * -1 when it cannot be scanned for. */
static int score(const Set &s) {
    if (s.n == 0 || s.n > JX_LITERALS_MAX) return -1;
    uint32_t shortest = LIT_MAX;
    for (uint32_t i = 0; i < s.n; ++i) shortest = s.s[i].len < shortest ? s.s[i].len : shortest;
    return shortest == 0 ? -1 : int(shortest * 16 - s.n);
}

/* The best strings that can be scanned for, one of which every match of x
 * contains; false when none are known. */
static bool must_of(const Info &x, Set &out) {
    const int e = x.exact ? score(x.ex) : -1, m = x.must ? score(x.mu) : -1;
    if (e < 0 && m < 0) return false;
    out = e >= m ? x.ex : x.mu;
    return true;
}

/* ---- sequences ---- */

static void seq_start(Seq &q) {
    single(q.run, nullptr, 0);
    single(q.solo, nullptr, 0);
    q.whole = true;
    q.have = false;
}

static void consider(Seq &q, const Set &s) {
    if (score(s) > (q.have ? score(q.best) : -1)) {
        q.best = s;
        q.have = true;
    }
}

/* Ends the current stretch of exact pieces: something of unknown text follows. */
static void seq_break(Seq &q) {
    consider(q, q.run);
    consider(q, q.solo);
    single(q.run, nullptr, 0);
    single(q.solo, nullptr, 0);
    q.whole = false;
}

static void seq_exact(Seq &q, const Set &s) {
    Set joined;
    if (s.n != 1 || !product(q.solo, s, joined)) {
        consider(q, q.solo);
        q.solo = s.n == 1 ? s : Set{1, {}};
    } else {
        q.solo = joined;
    }
    if (product(q.run, s, joined)) {
        q.run = joined;
        return;
    }
    consider(q, q.run);
    q.run = s;
    q.whole = false;
}

static void seq_add(Seq &q, const Info &x) {
    if (x.exact) return seq_exact(q, x.ex);
    seq_break(q);
    Set m;
    if (must_of(x, m)) consider(q, m);
}

static void seq_end(Seq &q, Info &out) {
    out.exact = q.whole;
    if (q.whole) out.ex = q.run;
    consider(q, q.run);
    consider(q, q.solo);
    out.must = q.have;
    if (q.have) out.mu = q.best;
}

/* ---- the parser ---- */

static void unknown(Info &x) {
    x.exact = false;
    x.must = false;
}

static void exact(Info &x, const uint8_t *p, uint32_t len) {
    x.exact = true;
    x.must = false;
    single(x.ex, p, len);
}

static void alternation(Parser &P, Info &out);

/* Skips a bracket class; the '[' at P.p opens it. Classes nest, and a
 * backslash hides the character after it. */
static void skip_class(Parser &P) {
    int depth = 0;
    while (P.p < P.end) {
        uint8_t c = *P.p++;
        if (c == '\\') {
            if (P.p >= P.end) break;
            P.p += jx__char_len(P.p, P.end);
        } else if (c == '[') {
            ++depth;
            if (P.p < P.end && *P.p == '^') ++P.p;
            /* A ']' right at the start may be a member or an empty class, depending on the syntax. */
            if (P.p < P.end && *P.p == ']') break;
        } else if (c == ']' && --depth == 0) {
            return;
        }
    }
    P.fail = true;
}

static bool one_of(const char *set, uint8_t c) { return c && std::strchr(set, c); }

static void escape(Parser &P, Info &x) {
    if (++P.p >= P.end) {
        P.fail = true;
        return;
    }
    const uint8_t c = *P.p++;
    static const uint8_t CONTROL[] = {'\n', '\t', '\r'};
    if (one_of("dDwWsShH", c)) {
        unknown(x); /* a character of a class */
    } else if (one_of("bBAzZG", c)) {
        exact(x, nullptr, 0); /* an anchor: it matches no text */
    } else if (one_of("ntr", c)) {
        exact(x, &CONTROL[c == 'n' ? 0 : c == 't' ? 1 : 2], 1);
    } else if (one_of(".*+?()[]{}|^$\\/-#!\"%&,:;=@_~", c)) {
        /* Punctuation stands for itself; not '<', '>', '`' or '\'', which some syntaxes make anchors. */
        exact(x, &c, 1);
    } else {
        P.fail = true; /* backreferences, code points, properties, calls, keep */
    }
}

/* One piece without its quantifiers. */
static void atom(Parser &P, Info &x) {
    const uint8_t c = *P.p;
    switch (c) {
        case '(':
            ++P.p;
            /* Only "(?:" is a plain group; options, lookaround, names and the rest give up. */
            if (P.p < P.end && *P.p == '?') {
                if (P.end - P.p < 2 || P.p[1] != ':') {
                    P.fail = true;
                    return;
                }
                P.p += 2;
            }
            if (++P.depth > DEPTH_MAX) {
                P.fail = true;
                return;
            }
            alternation(P, x);
            --P.depth;
            if (P.fail || P.p >= P.end || *P.p != ')') {
                P.fail = true;
                return;
            }
            ++P.p;
            return;
        case '[': skip_class(P); return unknown(x);
        case '\\': return escape(P, x);
        case '^':
        case '$': ++P.p; return exact(x, nullptr, 0);
        case '*':
        case '+':
        case '?':
        case '{':
            P.fail = true; /* a quantifier with nothing to repeat */
            return;
        case '.':
        case ']':
        case '}': ++P.p; return unknown(x);
        default: break;
    }
    const uint32_t n = uint32_t(jx__char_len(P.p, P.end));
    if (c >= 0x80) {
        /* Ignoring case, Oniguruma may match it with other characters of other lengths. */
        if (P.fold)
            unknown(x);
        else
            exact(x, P.p, n);
    } else {
        const uint8_t b = P.fold && c >= 'A' && c <= 'Z' ? uint8_t(c | 0x20) : c;
        exact(x, &b, 1);
    }
    P.p += n;
}

/* Reads "{n}", "{n,}", "{,m}" or "{n,m}" at P.p; sets *zero when it allows no
 * repetition at all. Anything else gives up, since Oniguruma may read it as text. */
static void interval(Parser &P, bool *zero) {
    const uint8_t *q = P.p + 1;
    bool low = false, nonzero = false, digits = false;
    for (; q < P.end && *q >= '0' && *q <= '9'; ++q) {
        low = true;
        nonzero |= *q != '0';
    }
    if (q < P.end && *q == ',') {
        ++q;
        for (; q < P.end && *q >= '0' && *q <= '9'; ++q) digits = true;
    }
    if (q >= P.end || *q != '}' || (!low && !digits)) {
        P.fail = true;
        return;
    }
    P.p = q + 1;
    if (!nonzero) *zero = true;
}

/* A sequence up to '|', ')' or the end. */
static void sequence(Parser &P, Info &out) {
    Seq q;
    seq_start(q);
    Info x;
    while (!P.fail && P.p < P.end && *P.p != '|' && *P.p != ')') {
        atom(P, x);
        bool repeated = false, zero = false;
        /* Stacked quantifiers (lazy, possessive or nested) may only widen: a
         * '?' or '*' allows none at all, except the '?' that makes a '+' lazy. */
        for (uint8_t prev = 0; !P.fail && P.p < P.end;) {
            const uint8_t c = *P.p;
            if (c == '?' && prev == '+') {
                ++P.p;
            } else if (c == '*' || c == '?') {
                zero = true;
                ++P.p;
            } else if (c == '+') {
                ++P.p;
            } else if (c == '{') {
                interval(P, &zero);
            } else {
                break;
            }
            prev = prev ? 1 : c; /* only the first quantifier's own suffix */
            repeated = true;
        }
        if (P.fail) break;
        if (!repeated) {
            seq_add(q, x);
        } else if (zero) {
            seq_break(q);
        } else if (x.exact) {
            /* One or more: the first repetition joins what comes before, the last what comes after. */
            seq_exact(q, x.ex);
            seq_break(q);
            seq_exact(q, x.ex);
        } else {
            seq_add(q, x);
        }
    }
    seq_end(q, out);
}

static void alternation(Parser &P, Info &out) {
    sequence(P, out);
    while (!P.fail && P.p < P.end && *P.p == '|') {
        ++P.p;
        Info b;
        sequence(P, b);
        Set u, ma, mb;
        const bool must = must_of(out, ma) && must_of(b, mb);
        out.exact = out.exact && b.exact && unite(out.ex, b.ex, u);
        if (out.exact) out.ex = u;
        out.must = must && unite(ma, mb, out.mu);
    }
}

void jx__regex_literals(const uint8_t *pattern, size_t len, bool match_case, jx_literals *out) {
    out->count = 0;
    Parser P{pattern, pattern + len, !match_case, false, 0};
    Info root;
    alternation(P, root);
    Set m;
    if (P.fail || P.p != P.end || !must_of(root, m) || score(m) < 0) return;
    for (uint32_t i = 0; i < m.n; ++i)
        if (m.s[i].len < JX_LITERAL_MIN) return;
    for (uint32_t i = 0; i < m.n; ++i) {
        out->len[i] = m.s[i].len;
        std::memcpy(out->text[i], m.s[i].b, m.s[i].len);
    }
    out->count = m.n;
}
