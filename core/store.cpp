#include "store_int.h"

#include <algorithm>
#include <cstring>

static JxNode *new_chunk() {
    auto *chunk = static_cast<JxNode *>(jx__malloc(size_t(JX_CHUNK_NODES) * sizeof(JxNode)));
    jx__hint_huge(chunk, size_t(JX_CHUNK_NODES) * sizeof(JxNode));
    return chunk;
}

/* ---- nodes ---- */

void jx__seek(jx_parser &p) {
    JxDoc *d = p.d;
    uint32_t id = d->count;
    if (id >= p.avail) {
        p.wp = p.wlimit = nullptr;
        return;
    }
    uint32_t c = id >> JX_CHUNK_SHIFT;
    p.wp = jx__node(d, id);
    p.wlimit = d->chunks[c] + (c == 0 ? p.chunk0_cap : JX_CHUNK_NODES);
}

void jx__reserve_chunk(jx_parser &p, const char *s) {
    JxDoc *d = p.d;
    if (!p.prefetch || p.reserve || p.avail < JX_CHUNK_NODES || d->chunk_count >= JX_MAX_CHUNKS - 1) return;
    uint64_t done = uint64_t(s - p.start);
    if (done == 0) return;
    uint64_t expected = uint64_t(d->count) * d->size / done;
    if (expected < uint64_t(p.avail) + JX_CHUNK_NODES / 8) return;
    p.reserve = new_chunk();
    if (p.reserve) jx__prefault(&p.pf, p.reserve, size_t(JX_CHUNK_NODES) * sizeof(JxNode));
}

bool jx__grow_nodes(jx_parser &p) {
    JxDoc *d = p.d;
    uint32_t id = d->count;
    if (!d->chunks) {
        d->chunks = static_cast<JxNode **>(jx__calloc(16, sizeof(JxNode *)));
        if (!d->chunks) return false;
        p.chunk_cap = 16;
    }
    if (id < JX_CHUNK_NODES) {
        /* chunk 0 starts at about a node per 16 bytes of text and doubles */
        uint32_t cap = p.chunk0_cap;
        if (!cap) {
            uint32_t want = std::min<uint32_t>(d->size / 16, JX_CHUNK_NODES);
            for (cap = 4096; cap < want; cap *= 2) {
            }
        } else {
            cap = std::min(cap * 2, JX_CHUNK_NODES);
        }
        JxNode *grown = static_cast<JxNode *>(jx__realloc(d->chunks[0], size_t(cap) * sizeof(JxNode)));
        if (!grown) return false;
        jx__hint_huge(grown, size_t(cap) * sizeof(JxNode));
        if (p.prefetch && cap == JX_CHUNK_NODES) jx__prefault(&p.pf, grown, size_t(cap) * sizeof(JxNode));
        d->chunks[0] = grown;
        d->chunk_count = 1;
        p.chunk0_cap = p.avail = cap;
        jx__seek(p);
        return true;
    }
    uint32_t c = id >> JX_CHUNK_SHIFT;
    if (c >= JX_MAX_CHUNKS) return false;
    if (c >= p.chunk_cap) {
        uint32_t cap = p.chunk_cap;
        if (!jx__grow_array(d->chunks, cap, 16)) return false;
        p.chunk_cap = cap;
    }
    JxNode *chunk = p.reserve ? p.reserve : new_chunk();
    const bool faulted = p.reserve != nullptr;
    p.reserve = nullptr;
    if (!chunk) return false;
    d->chunks[c] = chunk;
    d->chunk_count = c + 1;
    p.avail = (c + 1) << JX_CHUNK_SHIFT;
    jx__seek(p);
    /* A dense text fills more than a chunk between two checks, outrunning the
     * reserve. A chunk taken without one is faulted in from its start by the
     * helper, which takes the faults the writer has not reached yet; keeping
     * a chunk allocated ahead instead would raise the peak. */
    if (p.prefetch && !faulted) jx__prefault(&p.pf, chunk, size_t(JX_CHUNK_NODES) * sizeof(JxNode));
    return true;
}

uint32_t jx__big_field(jx_parser &p, uint32_t id, uint64_t value, uint32_t at) {
    JxDoc *d = p.d;
    if (d->big_count == p.big_cap && !jx__grow_array(d->big, p.big_cap, 8)) {
        jx__out_of_memory(p, at);
    } else {
        d->big[d->big_count++] = {id, uint32_t(value)};
    }
    return (JX_FIELD_MAX << 8) | JX_BIG_MARK;
}

/* ---- lines and problems ---- */

bool jx__lines_room(jx_parser &p, uint32_t offset) {
    if (jx__grow_array(p.d->line_starts, p.line_cap, 1024)) return true;
    p.lines_stopped = true;
    jx__out_of_memory(p, offset);
    return false;
}

bool jx__add_problem(jx_parser &p, uint32_t offset, uint32_t node, uint32_t msg) {
    JxDoc *d = p.d;
    uint64_t need = uint64_t(d->problem_count) + (msg == JX_MSG_OOM ? 1 : 2);
    while (need > p.problem_cap) {
        if (!jx__grow_array(d->problems, p.problem_cap, 2)) return false;
    }
    uint32_t i = d->problem_count++;
    while (i > 0 && d->problems[i - 1].offset > offset) {
        d->problems[i] = d->problems[i - 1];
        i--;
    }
    d->problems[i] = {offset, node, msg};
    if (msg == JX_MSG_OOM) p.oom_reported = true;
    return true;
}

/* ---- the skip index ---- */

/* Makes room for one more sample; at the first one the samples of children
 * 0, 16, 32 and 48 are found by following the first children's links. */
static bool sample_room(jx_parser &p, jx_frame &f) {
    jx_samples &sm = f.samples;
    if (p.candidates_failed || f.id == JX_NONE) return false;
    if (sm.n == sm.cap) {
        uint32_t cap = sm.cap;
        if (!jx__grow_array(sm.ids, cap, 16)) {
            p.candidates_failed = true; /* no skip index: queries walk children */
            return false;
        }
        sm.cap = cap;
    }
    if (sm.n == 0) {
        uint32_t child = f.id + 1;
        for (uint32_t i = 0; i < 64; i++, child = jx__node(p.d, child)->end)
            if (i % 16 == 0) sm.ids[sm.n++] = child;
    }
    return true;
}

[[gnu::noinline]] void jx__add_sample(jx_parser &p, jx_frame &f, uint32_t id) {
    if (sample_room(p, f)) f.samples.ids[f.samples.n++] = id;
}

void jx__keep_samples(jx_parser &p, jx_frame &f) {
    if (f.count == 64) sample_room(p, f); /* exactly 64 children: no 65th brought the first samples */
    if (p.candidates_failed) return;
    if (p.candidate_count == p.candidate_cap && !jx__grow_array(p.candidates, p.candidate_cap, 16)) {
        p.candidates_failed = true;
    } else {
        p.candidates[p.candidate_count++] = {f.id, f.samples};
        f.samples = {};
    }
}

void jx__drop_candidates(jx_parser &p, uint32_t keep) {
    for (uint32_t i = keep; i < p.candidate_count; i++) jx__free(p.candidates[i].samples.ids);
    p.candidate_count = std::min(p.candidate_count, keep);
}

void jx__drop_frames(jx_parser &p) {
    for (uint32_t i = 1; i <= p.depth && i < p.stack_cap; i++) {
        jx__free(p.stack[i].samples.ids);
        p.stack[i].samples = {};
    }
}

static void build_skip_index(jx_parser &p) {
    JxDoc *d = p.d;
    jx_candidate *c = p.candidates;
    uint32_t n = p.candidate_count;
    if (p.candidates_failed || n == 0) return;
    bool ascending = true;
    for (uint32_t i = 1; i < n && ascending; i++) ascending = c[i - 1].id < c[i].id;
    if (!ascending)
        std::sort(c, c + n, [](const jx_candidate &a, const jx_candidate &b) { return a.id < b.id; });
    auto count_of = [&](const jx_candidate &k) -> uint64_t {
        if (k.id >= d->count || !jx__is_container(jx__node(d, k.id)->info)) return 0;
        return jx__number(d, k.id, jx__node(d, k.id));
    };
    /* samples that disagree with a count: no index, queries walk children */
    for (uint32_t i = 0; i < n; i++) {
        uint64_t count = count_of(c[i]);
        if (count >= 64 && c[i].samples.n != (count + 15) / 16) return;
    }
    uint64_t samples = 0;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < n; i++) {
        if ((kept && c[kept - 1].id == c[i].id) || count_of(c[i]) < 64) {
            jx__free(c[i].samples.ids);
            continue;
        }
        samples += c[i].samples.n;
        c[kept++] = c[i];
    }
    p.candidate_count = kept;
    if (!kept || samples > 0xFFFFFFFFu) return;
    auto *heads = static_cast<JxSkipHead *>(jx__malloc(kept * sizeof(JxSkipHead)));
    auto *sample = static_cast<uint32_t *>(jx__malloc(samples * sizeof(uint32_t)));
    if (!heads || !sample) {
        jx__free(heads);
        jx__free(sample);
        return;
    }
    uint32_t at = 0;
    for (uint32_t i = 0; i < kept; i++) {
        heads[i] = {c[i].id, at};
        std::memcpy(sample + at, c[i].samples.ids, c[i].samples.n * sizeof(uint32_t));
        at += c[i].samples.n;
    }
    d->skip_heads = heads;
    d->skip_head_count = kept;
    d->skip_samples = sample;
}

/* ---- the end ---- */

/* The parse records line starts only as far as it read; the index covers
 * the whole text. */
static void complete_lines(jx_parser &p) {
    JxDoc *d = p.d;
    if (p.lines_stopped || p.lines_complete || d->size == 0) return;
    const char *s = p.start + (d->line_count ? d->line_starts[d->line_count - 1] : 0);
    while (s < p.end) {
        if (d->line_count == p.line_cap) {
            /* the index grows only for a line that is there */
            const void *lf = std::memchr(s, '\n', size_t(p.end - s));
            if (!lf || !jx__lines_room(p, jx__off(p, static_cast<const char *>(lf) + 1))) return;
        }
        d->line_count += p.k->line_starts(s, p.end, p.start, d->line_starts + d->line_count,
                                          p.line_cap - d->line_count, &s);
    }
}

/* Whether a line is over 10,000 bytes (without its line end). */
static bool long_line(const JxDoc *d) {
    if (d->size == 0 || d->line_count == 0) return false;
    if (d->size - d->line_starts[d->line_count - 1] > 10000) return true;
    for (uint32_t i = 0; i + 1 < d->line_count; i++) {
        uint32_t a = d->line_starts[i], b = d->line_starts[i + 1];
        if (b - a < 10002) continue;
        uint32_t len = b - a - 1;
        if (len > 0 && d->text[a + len - 1] == '\r') len--;
        if (len > 10000) return true;
    }
    return false;
}

void jx__finish(jx_parser &p) {
    JxDoc *d = p.d;
    complete_lines(p);
    if (p.stopped && !p.oom_reported) jx__add_problem(p, p.oom_off, JX_NONE, JX_MSG_OOM);
    if (d->line_count && d->line_count < p.line_cap) {
        auto *shrunk = static_cast<uint32_t *>(jx__realloc(d->line_starts, d->line_count * sizeof(uint32_t)));
        if (shrunk) d->line_starts = shrunk;
    }
    jx__problems_ready(d);
    d->minified = long_line(d);
    /* entries are unique per node; containers enter theirs after their children */
    std::sort(d->big, d->big + d->big_count, [](const JxBig &a, const JxBig &b) { return a.node < b.node; });
    build_skip_index(p);
    if (d->count == 0) d->format = JX_FORMAT_EMPTY;
}
