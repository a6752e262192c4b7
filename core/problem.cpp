#include <algorithm>
#include <cstdio>
#include <cstring>

#include "alloc.h"
#include "decode_int.h"
#include "doc_int.h"

const char *const jx__messages[] = {
    "unexpected end of file",
    "expected a value",
    "expected , or } after a value",
    "expected , or ] after a value",
    "expected : after the key",
    "expected a key in double quotes",
    "invalid number",
    "invalid escape",
    "unterminated string",
    "control character in string",
    "invalid literal",
    "unexpected text after the JSON value",
    "nesting deeper than 100,000 levels",
    "trailing comma",
    "comments are not allowed",
    "out of memory",
    "unexpected end of line",
    "expected the end of the line",
    "unknown error",
};
static_assert(sizeof jx__messages / sizeof *jx__messages == JX_MSG_COUNT);

void jx__error_make(const JxDoc *d, uint32_t i, jx_problem *out) {
    const JxStoredProblem &p = d->problems[i];
    out->offset = p.offset;
    out->node = p.node;
    out->line = jx_doc_line_of(d, p.offset) + 1;
    out->column = jx_doc_col_of(d, p.offset);
    const char *msg = jx__messages[p.message < JX_MSG_COUNT ? p.message : JX_MSG_UNKNOWN];
    std::memset(out->message, 0, sizeof out->message);
    std::strncpy(out->message, msg, sizeof out->message - 1);
}

void jx__problems_ready(JxDoc *d) {
    d->oom_problem = JX_NONE;
    for (uint32_t i = 0; i < d->problem_count; i++) {
        if (d->problems[i].message == JX_MSG_OOM) {
            d->oom_problem = i;
            break;
        }
    }
    if (d->problem_count == 0) return;
    jx__error_make(d, 0, &d->first_problem);
    if (d->oom_problem != JX_NONE) jx__error_make(d, d->oom_problem, &d->oom_record);
    d->block_count = (d->problem_count - 1) / JX_PROBLEM_BLOCK + 1;
}

/* Publishes fresh in slot unless another thread was first; returns what the
 * slot holds then. */
template <class T>
static T *publish(std::atomic<T *> &slot, T *fresh) {
    T *expected = nullptr;
    if (slot.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel, std::memory_order_acquire))
        return fresh;
    jx__free(fresh);
    return expected;
}

/* The block index, built on first use; null while memory is short (the next
 * call tries again). */
static std::atomic<jx_problem *> *block_index(const JxDoc *doc) {
    std::atomic<jx_problem *> *index = doc->problem_blocks.load(std::memory_order_acquire);
    if (index) return index;
    auto *fresh = static_cast<std::atomic<jx_problem *> *>(jx__calloc(doc->block_count, sizeof(void *)));
    if (!fresh) return nullptr;
    return publish(doc->problem_blocks, fresh);
}

extern "C" const jx_problem *jx_doc_error(const JxDoc *doc, uint32_t i) {
    if (!doc || i >= doc->problem_count) return nullptr;
    if (i == 0) return &doc->first_problem;
    if (i == doc->oom_problem) return &doc->oom_record;
    uint32_t b = i / JX_PROBLEM_BLOCK;
    std::atomic<jx_problem *> *index = b < doc->block_count ? block_index(doc) : nullptr;
    if (!index) return nullptr;
    jx_problem *block = index[b].load(std::memory_order_acquire);
    if (!block) {
        uint32_t first = b * JX_PROBLEM_BLOCK;
        uint32_t last = std::min(first + JX_PROBLEM_BLOCK - 1, doc->problem_count - 1);
        jx_problem *fresh = static_cast<jx_problem *>(jx__malloc(sizeof(jx_problem) * (last - first + 1)));
        if (!fresh) return nullptr;
        for (uint32_t k = first; k <= last; k++) jx__error_make(doc, k, &fresh[k - first]);
        block = publish(index[b], fresh);
    }
    return &block[i % JX_PROBLEM_BLOCK];
}

const char *jx__row_message(const JxDoc *d, uint32_t id) {
    if (!jx__valid(d, id) || d->problem_count == 0) return nullptr;
    uint32_t off = jx__node(d, id)->val_off;
    const JxStoredProblem *lo = d->problems, *hi = lo + d->problem_count;
    const JxStoredProblem *it =
        std::lower_bound(lo, hi, off, [](const JxStoredProblem &p, uint32_t v) { return p.offset < v; });
    for (; it != hi; ++it) {
        if (it->node == id) return jx__messages[it->message < JX_MSG_COUNT ? it->message : JX_MSG_UNKNOWN];
        if (it->node != JX_NONE && it->node > id) break;
    }
    return nullptr;
}

/* Keys are the same when their decoded texts are: quoting and escaping do
 * not matter. The node's own key is decoded once; each sibling is decoded
 * into room for one byte more than that, which is enough to tell a longer
 * key apart without decoding it whole. */
extern "C" uint32_t jx_key_repeats(const JxDoc *doc, uint32_t id) {
    if (!jx__valid(doc, id)) return 0;
    const JxNode *n = jx__node(doc, id);
    if (n->key_off == JX_NONE || n->parent == JX_NONE || n->parent >= doc->count) return 0;
    jx_span k = jx__key_span(doc, id);

    char first_local[256];
    char other_local[258];
    char *first = first_local;
    char *other = other_local;
    jx_cursor c = jx__cursor(first, sizeof first_local);
    jx__decode(&c, k.p, k.len, k.escaped);
    size_t flen = c.total;
    if (flen >= sizeof first_local) {
        first = static_cast<char *>(jx__malloc(flen + 1));
        other = static_cast<char *>(jx__malloc(flen + 2));
        if (!first || !other) {
            jx__free(first);
            jx__free(other);
            return 0;
        }
        c = jx__cursor(first, flen + 1);
        jx__decode(&c, k.p, k.len, k.escaped);
    }

    uint32_t count = 0;
    uint32_t end = jx__node(doc, n->parent)->end;
    if (end > doc->count) end = doc->count;
    for (uint32_t s = n->parent + 1; s < end;) {
        const JxNode *sn = jx__node(doc, s);
        uint32_t next = sn->end > s ? sn->end : s + 1;
        if (s == id) {
            count++;
        } else if (sn->key_off != JX_NONE) {
            jx_span sk = jx__key_span(doc, s);
            /* Decoding never shortens text without escapes: a longer raw key
             * cannot match. */
            if (sk.escaped || sk.len <= flen) {
                jx_cursor o = jx__cursor(other, flen + 2);
                jx__decode(&o, sk.p, sk.len, sk.escaped);
                if (o.total == flen && std::memcmp(other, first, flen) == 0) count++;
            }
        }
        s = next;
    }
    if (first != first_local) {
        jx__free(first);
        jx__free(other);
    }
    return count;
}
