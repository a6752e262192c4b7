#include "records_int.h"

#include <algorithm>
#include <cstring>

#include "store_int.h"

namespace {

/* What a record may have to give back when it turns out to be unreadable. */
struct Checkpoint {
    uint32_t count, root_children, big_count, syntax, syntax_offset, candidates;
};

}  // namespace

static Checkpoint take_checkpoint(const jx_parser &p) {
    const JxDoc *d = p.d;
    return {d->count, p.stack[0].count, d->big_count, d->syntax, d->syntax_offset, p.candidate_count};
}

/* Records a line start unless it is already recorded (records revisit line ends). */
static void add_line_once(jx_parser &p, uint32_t offset) {
    if (p.d->line_count == 0 || p.d->line_starts[p.d->line_count - 1] < offset) jx__add_line(p, offset);
}

/* Replaces whatever the failed record left with one JX_BAD node over
 * [s, e) and its problem. False when memory ran out (the parse stops). */
static bool bad_record(jx_parser &p, const Checkpoint &k, const char *s, const char *e, uint32_t err_off,
                       uint32_t msg) {
    JxDoc *d = p.d;
    d->count = k.count;
    d->big_count = k.big_count;
    d->syntax = k.syntax;
    d->syntax_offset = k.syntax_offset;
    jx__drop_candidates(p, k.candidates);
    jx__drop_frames(p);
    jx_frame &root = p.stack[0];
    root.count = k.root_children;
    if (root.count < 64) {
        jx__free(root.samples.ids);
        root.samples = {};
    } else {
        root.samples.n = std::min(root.samples.n, (root.count + 15) / 16);
    }
    p.depth = 0;
    p.top = p.stack;
    p.pending_key = JX_NONE;
    p.pending_flags = 0;
    jx__seek(p);
    if (e > s && e[-1] == '\r') e--;
    JxNode *n = jx__new_node(p);
    if (!n) return jx__out_of_memory(p, jx__off(p, s)), false;
    uint32_t id = d->count;
    if (!jx__add_problem(p, err_off, id, msg)) return jx__out_of_memory(p, err_off), false;
    uint32_t info = jx__number_field(p, id, uint64_t(e - s), jx__off(p, s));
    *n = {JX_NONE, jx__off(p, s), id + 1, 0, JX_BAD | info};
    jx__commit_node(p);
    p.stack[0].count = k.root_children + 1;
    if (k.root_children >= 64 && k.root_children % 16 == 0) jx__add_sample(p, p.stack[0], id);
    return true;
}

static const char *line_end(const jx_parser &p, const char *s) {
    const void *lf = std::memchr(s, '\n', size_t(p.end - s));
    return lf ? static_cast<const char *>(lf) : p.end;
}

static void read_lines(jx_parser &p, const char *s) {
    while (s < p.end) {
        if (s >= p.checkpoint && !jx__check(p, s)) return;
        Checkpoint k = take_checkpoint(p);
        const char *line = s;
        p.unterminated = nullptr;
        s = jx__skip_ws(p, s);
        bool ok;
        if (p.unterminated) {
            ok = jx__fail_at(p, s, JX_MSG_EOL);
        } else if (s >= p.end) {
            return;
        } else if (*s == '\n') {
            s++;
            add_line_once(p, jx__off(p, s));
            continue;
        } else {
            ok = jx__read_value(p, s);
            if (ok) {
                s = jx__skip_ws(p, s);
                if (p.unterminated)
                    ok = jx__fail_at(p, s, JX_MSG_EOL);
                else if (s < p.end && *s != '\n')
                    ok = jx__fail_at(p, s, JX_MSG_EXPECTED_EOL);
            }
        }
        if (!ok) {
            if (p.cancelled || p.err_msg == JX_MSG_OOM) return;
            s = line_end(p, p.start + std::max(p.err_off, jx__off(p, line)));
            if (!bad_record(p, k, line, s, p.err_off, p.err_msg)) return;
        }
        if (s >= p.end) return;
        s++;
        add_line_once(p, jx__off(p, s));
    }
}

static void read_values(jx_parser &p, const char *s) {
    for (;;) {
        if (s >= p.checkpoint && !jx__check(p, s)) return;
        s = jx__skip_ws(p, s);
        Checkpoint k = take_checkpoint(p);
        if (p.unterminated) {
            bad_record(p, k, p.unterminated, p.end, p.d->size, JX_MSG_EOF);
            return;
        }
        if (s >= p.end) return;
        const char *first = s;
        if (jx__read_value(p, s)) continue;
        if (p.cancelled || p.err_msg == JX_MSG_OOM) return;
        const char *lf = line_end(p, std::max(p.start + p.err_off, first));
        if (!bad_record(p, k, first, lf, p.err_off, p.err_msg) || lf >= p.end) return;
        s = lf + 1;
        uint32_t resume = jx__off(p, s);
        while (p.d->line_count > 0 && p.d->line_starts[p.d->line_count - 1] >= resume) p.d->line_count--;
        jx__add_line(p, resume);
    }
}

/* Turns the nodes read so far into the first record of a new synthetic root. */
static bool make_root(jx_parser &p) {
    JxDoc *d = p.d;
    uint32_t count = d->count;
    if (!jx__new_node(p)) return false;
    for (uint32_t i = count; i > 0; i--) *jx__node(d, i) = *jx__node(d, i - 1);
    for (uint32_t i = 1; i <= count; i++) {
        JxNode *n = jx__node(d, i);
        n->end++;
        n->parent = n->parent == JX_NONE ? 0 : n->parent + 1;
    }
    for (uint32_t i = 0; i < d->big_count; i++) d->big[i].node++;
    for (uint32_t i = 0; i < p.candidate_count; i++) {
        jx_candidate &c = p.candidates[i];
        c.id++;
        for (uint32_t k = 0; k < c.samples.n; k++) c.samples.ids[k]++;
    }
    *jx__node(d, 0) = {JX_NONE, 0, count + 1, JX_NONE, JX_ARRAY};
    jx__commit_node(p);
    p.stack[0].id = 0;
    return true;
}

static void read_records(jx_parser &p, const char *s, bool lines) {
    JxDoc *d = p.d;
    if (!make_root(p)) {
        jx__out_of_memory(p, jx__off(p, s));
        return;
    }
    d->format = lines ? JX_FORMAT_LINES : JX_FORMAT_VALUES;
    p.line_mode = lines;
    if (lines)
        read_lines(p, s);
    else
        read_values(p, s);
    jx__close_all(p);
    p.line_mode = false;
    jx__close_top(p, p.stopped); /* the root */
    p.depth = 0;
    p.top = p.stack;
    if (p.stack[0].count == 0) d->count = 0;
}

/* Whether the rest of the line after s holds only spaces, tabs, CR and comments. */
static bool line_ends_after(const jx_parser &p, const char *s) {
    for (;;) {
        while (*s == ' ' || *s == '\t' || *s == '\r') s++;
        if (*s == '/' && s[1] == '/') return true;
        if (*s == '/' && s[1] == '*') {
            const char *q = s + 2;
            while (q < p.end && *q != '\n' && !(*q == '*' && q[1] == '/')) q++;
            if (q >= p.end || *q == '\n') return false;
            s = q + 2;
            continue;
        }
        return *s == '\n' && s < p.end;
    }
}

/* Starts over in line mode from the first byte. */
static void restart_as_lines(jx_parser &p) {
    JxDoc *d = p.d;
    d->count = 0;
    jx__seek(p);
    d->big_count = 0;
    d->syntax = 0;
    d->syntax_offset = JX_NONE;
    d->line_count = 0;
    p.lines_stopped = false;
    jx__add_line(p, 0);
    jx__drop_candidates(p, 0);
    p.stack[0] = {JX_NONE, 0, 0, {}};
    p.depth = 0;
    p.top = p.stack;
    p.unterminated = nullptr;
    read_records(p, p.start, true);
}

void jx__read_lines_from_start(jx_parser &p) { read_records(p, p.start, true); }

void jx__read_more(jx_parser &p, const char *first, const char *after, const char *s) {
    if (!std::memchr(first, '\n', size_t(after - first)) && line_ends_after(p, after))
        return restart_as_lines(p);
    read_records(p, s, false);
}
