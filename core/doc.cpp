#include <algorithm>
#include <atomic>

#include "alloc.h"
#include "chars_int.h"
#include "doc_int.h"
#include "decode_int.h"

uint32_t jx__number(const JxDoc *d, uint32_t id, const JxNode *n) {
    if (!(n->info & JX_BIG_MARK)) return n->info >> 8;
    const JxBig *lo = d->big, *hi = d->big + d->big_count;
    const JxBig *it = std::lower_bound(lo, hi, id, [](const JxBig &b, uint32_t v) { return b.node < v; });
    return (it != hi && it->node == id) ? it->number : JX_FIELD_MAX;
}

extern "C" {

JxDoc *jx_doc_retain(JxDoc *doc) {
    if (doc) doc->refs.fetch_add(1, std::memory_order_relaxed);
    return doc;
}

void jx_doc_release(JxDoc *doc) {
    if (!doc || doc->refs.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    for (uint32_t i = 0; i < doc->chunk_count; i++) jx__free(doc->chunks[i]);
    jx__free(doc->chunks);
    jx__free(doc->line_starts);
    jx__free(doc->problems);
    if (std::atomic<jx_problem *> *blocks = doc->problem_blocks.load(std::memory_order_acquire)) {
        for (uint32_t i = 0; i < doc->block_count; i++) jx__free(blocks[i].load(std::memory_order_acquire));
        jx__free(blocks);
    }
    jx__free(doc->big);
    jx__free(doc->skip_heads);
    jx__free(doc->skip_samples);
    jx_buf_free(doc->buffer);
    doc->~JxDoc();
    jx__free(doc);
}

uint32_t jx_doc_format(const JxDoc *doc) { return doc ? doc->format : 0; }
uint32_t jx_doc_count(const JxDoc *doc) { return doc ? doc->count : 0; }
uint32_t jx_doc_size(const JxDoc *doc) { return doc ? doc->size : 0; }
const char *jx_doc_text(const JxDoc *doc) { return doc ? doc->text : nullptr; }
const char *jx_doc_encoding(const JxDoc *doc) { return doc && doc->encoding ? doc->encoding : "UTF-8"; }
uint32_t jx_doc_syntax(const JxDoc *doc) { return doc ? doc->syntax : 0; }
uint32_t jx_doc_syntax_offset(const JxDoc *doc) { return doc ? doc->syntax_offset : JX_NONE; }
uint32_t jx_doc_error_count(const JxDoc *doc) { return doc ? doc->problem_count : 0; }
int jx_doc_minified(const JxDoc *doc) { return doc ? doc->minified & 1 : 0; }
uint32_t jx_doc_line_count(const JxDoc *doc) { return doc ? doc->line_count : 0; }
int jx_doc_records(const JxDoc *doc) {
    return doc && (doc->format == JX_FORMAT_LINES || doc->format == JX_FORMAT_VALUES);
}

int jx_type(const JxDoc *doc, uint32_t id) { return jx__valid(doc, id) ? jx__type_of(jx__node(doc, id)) : JX_NULL; }
int jx_flags(const JxDoc *doc, uint32_t id) { return jx__valid(doc, id) ? jx__flags_of(jx__node(doc, id)) : 0; }
uint32_t jx_parent(const JxDoc *doc, uint32_t id) { return jx__valid(doc, id) ? jx__node(doc, id)->parent : JX_NONE; }
uint32_t jx_end(const JxDoc *doc, uint32_t id) { return jx__valid(doc, id) ? jx__node(doc, id)->end : JX_NONE; }

uint32_t jx_first_child(const JxDoc *doc, uint32_t id) {
    if (!jx__valid(doc, id)) return JX_NONE;
    return jx__node(doc, id)->end > id + 1 ? id + 1 : JX_NONE;
}

uint32_t jx_next_sibling(const JxDoc *doc, uint32_t id) {
    if (!jx__valid(doc, id)) return JX_NONE;
    const JxNode *n = jx__node(doc, id);
    if (n->parent == JX_NONE || n->parent >= doc->count) return JX_NONE;
    return n->end < jx__node(doc, n->parent)->end ? n->end : JX_NONE;
}

uint32_t jx_child_count(const JxDoc *doc, uint32_t id) {
    if (!jx__valid(doc, id)) return 0;
    const JxNode *n = jx__node(doc, id);
    return jx__is_container(n->info) ? jx__number(doc, id, n) : 0;
}

/* Index of the skip head of container id, or -1. */
static long skip_head(const JxDoc *d, uint32_t id) {
    if (!d->skip_heads) return -1;
    const JxSkipHead *lo = d->skip_heads, *hi = lo + d->skip_head_count;
    const JxSkipHead *it = std::lower_bound(lo, hi, id, [](const JxSkipHead &h, uint32_t v) { return h.node < v; });
    return (it != hi && it->node == id) ? it - lo : -1;
}

uint32_t jx_child_at(const JxDoc *doc, uint32_t id, uint32_t i) {
    if (!jx__valid(doc, id)) return JX_NONE;
    const JxNode *n = jx__node(doc, id);
    if (!jx__is_container(n->info)) return JX_NONE;
    uint32_t count = jx__number(doc, id, n);
    if (i >= count) return JX_NONE;
    uint32_t cur = id + 1, steps = i;
    long h = count >= 64 ? skip_head(doc, id) : -1;
    if (h >= 0) {
        cur = doc->skip_samples[doc->skip_heads[h].first + i / 16];
        steps = i % 16;
    }
    while (steps-- && cur < doc->count) cur = jx__node(doc, cur)->end;
    return cur < doc->count ? cur : JX_NONE;
}

uint32_t jx_index_in_parent(const JxDoc *doc, uint32_t id) {
    if (!jx__valid(doc, id)) return 0;
    uint32_t parent = jx__node(doc, id)->parent;
    if (parent == JX_NONE || parent >= id) return 0;
    uint32_t count = jx__number(doc, parent, jx__node(doc, parent));
    uint32_t cur = parent + 1, index = 0;
    long h = count >= 64 ? skip_head(doc, parent) : -1;
    if (h >= 0 && count > 16 && count <= 0xFFFFFFF0u) {
        const uint32_t *samples = doc->skip_samples + doc->skip_heads[h].first;
        uint32_t n = (count + 15) / 16;
        uint32_t pos = uint32_t(std::upper_bound(samples, samples + n, id) - samples);
        if (pos > 0) pos--;
        cur = samples[pos];
        index = pos * 16;
    }
    while (cur < id && cur < doc->count) {
        cur = jx__node(doc, cur)->end;
        index++;
    }
    return index;
}

uint32_t jx_depth(const JxDoc *doc, uint32_t id) {
    if (!jx__valid(doc, id)) return 0;
    uint32_t depth = 0;
    for (uint32_t p = jx__node(doc, id)->parent; p != JX_NONE && p < doc->count; p = jx__node(doc, p)->parent)
        depth++;
    return depth;
}

int jx_has_key(const JxDoc *doc, uint32_t id) { return jx__valid(doc, id) && jx__node(doc, id)->key_off != JX_NONE; }
}  // extern "C"

/* Children first .. first + want - 1 of a container with count children, end
 * its end, along its skip samples. The walks of the runs of 16 children
 * between samples are independent, so stepping LANES of them in turn keeps
 * that many node reads in flight: one walk alone waits for each read, which
 * on a large document is a cache miss per child. False when a run does not
 * end at the next sample (a count or samples that cannot be trusted); out is
 * then partly written. */
static bool children_by_runs(const JxDoc *d, const uint32_t *samples, uint32_t first, uint32_t want, uint32_t count,
                             uint32_t end, uint32_t *out) {
    constexpr uint32_t LANES = 16;
    const uint32_t runs = (count + 15) / 16, last = first + want;
    for (uint32_t run = first / 16; run * 16 < last; run += LANES) {
        const uint32_t lanes = std::min(LANES, (last - run * 16 + 15) / 16);
        uint32_t cur[LANES], stop[LANES];
        for (uint32_t l = 0; l < lanes; l++) {
            cur[l] = samples[run + l];
            stop[l] = run + l + 1 < runs ? samples[run + l + 1] : end;
        }
        for (uint32_t step = 0; step < 16; step++) {
            for (uint32_t l = 0; l < lanes; l++) {
                const uint32_t i = (run + l) * 16 + step;
                if (i >= last) break;
                if (cur[l] >= stop[l]) return false;
                out[i - first] = cur[l];
                cur[l] = jx__node(d, cur[l])->end;
            }
        }
        for (uint32_t l = 0; l < lanes; l++) {
            const uint32_t done = std::min((run + l + 1) * 16, last);
            if ((done % 16 == 0 || done == count) && cur[l] != stop[l]) return false;
        }
    }
    return true;
}

uint32_t jx__children(const JxDoc *d, uint32_t id, uint32_t first, uint32_t *out, uint32_t room) {
    const JxNode *n = jx__node(d, id);
    if (!jx__is_container(n->info)) return 0;
    const uint32_t end = n->end, count = jx__number(d, id, n);
    uint32_t c = id + 1, pass = first;
    const long h = count >= 64 && first % 16 == 0 && first < count ? skip_head(d, id) : -1;
    if (h >= 0) {
        const uint32_t *samples = d->skip_samples + d->skip_heads[h].first;
        const uint32_t want = std::min(room, count - first);
        if (children_by_runs(d, samples, first, want, count, end, out)) return want;
        /* samples that disagree with the nodes: the plain walk, trusting neither */
    }
    for (; pass && c < end && c < d->count; pass--) c = jx__node(d, c)->end;
    uint32_t k = 0;
    for (; c < end && c < d->count && k < room; c = jx__node(d, c)->end) out[k++] = c;
    return k;
}

uint32_t jx__depth_from(const JxDoc *d, uint32_t id, uint32_t known, uint32_t known_depth) {
    /* a: the lowest node on id's chain to the root whose subtree holds known */
    uint32_t a = id, up = 0;
    while (!(a <= known && known < jx__node(d, a)->end)) {
        a = jx__node(d, a)->parent;
        if (a >= d->count) return jx_depth(d, id); /* not one tree: damaged links */
        up++;
    }
    uint32_t down = 0;
    for (uint32_t c = known; c != a && c < d->count; c = jx__node(d, c)->parent) down++;
    return known_depth - down + up;
}

extern "C" {

uint32_t jx_key_offset(const JxDoc *doc, uint32_t id) {
    return jx__valid(doc, id) ? jx__node(doc, id)->key_off : JX_NONE;
}

uint32_t jx_key_len(const JxDoc *doc, uint32_t id) {
    if (!jx__valid(doc, id)) return 0;
    uint32_t off = jx__node(doc, id)->key_off;
    if (off == JX_NONE || off >= doc->size) return 0;
    return uint32_t(jx__scan_string_end(doc->text + off, doc->text + doc->size));
}

uint32_t jx_val_offset(const JxDoc *doc, uint32_t id) { return jx__valid(doc, id) ? jx__node(doc, id)->val_off : 0; }

/* Steps over whitespace, commas and comments; then over one closing bracket if there is one. */
static uint32_t past_close(const JxDoc *d, uint32_t pos) {
    const char *t = d->text;
    while (pos < d->size) {
        char c = t[pos];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',') {
            pos++;
        } else if (c == '/' && t[pos + 1] == '/') {
            while (pos < d->size && t[pos] != '\n') pos++;
        } else if (c == '/' && t[pos + 1] == '*') {
            pos += 2;
            while (pos < d->size && !(t[pos] == '*' && t[pos + 1] == '/')) pos++;
            pos = std::min(pos + 2, d->size);
        } else {
            break;
        }
    }
    if (pos < d->size && (t[pos] == ']' || t[pos] == '}')) pos++;
    return pos;
}

uint32_t jx_val_len(const JxDoc *doc, uint32_t id) {
    if (!jx__valid(doc, id)) return 0;
    const JxNode *n = jx__node(doc, id);
    if (!jx__is_container(n->info)) return jx__number(doc, id, n);
    if (id == 0 && jx_doc_records(doc)) return doc->size - n->val_off;
    uint32_t last = n->end - 1;
    const JxNode *ln = jx__node(doc, last);
    uint32_t pos;
    if (!jx__is_container(ln->info)) {
        pos = ln->val_off + jx__number(doc, last, ln);
    } else {
        pos = ln->val_off + 1;
        if (!(jx__flags_of(ln) & JX_F_UNCLOSED)) pos = past_close(doc, pos);
    }
    if (last != id) {
        for (uint32_t a = ln->parent; a != JX_NONE && a >= id; a = jx__node(doc, a)->parent) {
            if (!(jx__flags_of(jx__node(doc, a)) & JX_F_UNCLOSED)) pos = past_close(doc, pos);
            if (a == id) break;
        }
    }
    return pos - n->val_off;
}

uint32_t jx_record_line(const JxDoc *doc, uint32_t id) {
    if (!jx__valid(doc, id) || id == 0 || !jx_doc_records(doc)) return 0;
    const JxNode *n = jx__node(doc, id);
    if (n->parent != 0) return 0;
    return jx_doc_line_of(doc, n->val_off) + 1;
}

uint32_t jx_doc_line_of(const JxDoc *doc, uint32_t offset) {
    if (!doc || doc->line_count < 2) return 0;
    const uint32_t *lo = doc->line_starts, *hi = lo + doc->line_count;
    return uint32_t(std::upper_bound(lo, hi, offset) - lo) - 1;
}

uint32_t jx_doc_line_start(const JxDoc *doc, uint32_t line) {
    if (!doc) return 0;
    return line < doc->line_count ? doc->line_starts[line] : doc->size;
}

uint32_t jx_doc_col_of(const JxDoc *doc, uint32_t offset) {
    if (!doc) return 1;
    offset = std::min(offset, doc->size);
    uint32_t start = jx_doc_line_start(doc, jx_doc_line_of(doc, offset));
    if (doc->line_count == 0) start = 0;
    if (start >= offset) return 1;
    /* a byte that starts no valid sequence is a character of its own */
    const auto *t = reinterpret_cast<const unsigned char *>(doc->text);
    return uint32_t(1 + jx__count_chars(t + start, t + offset, t + doc->size));
}

}  // extern "C"
