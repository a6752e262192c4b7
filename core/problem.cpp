#include <algorithm>
#include <cstdio>

#include "alloc.h"
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

static constexpr uint32_t BLOCK = 1024;

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

extern "C" const jx_problem *jx_doc_error(const JxDoc *doc, uint32_t i) {
    if (!doc || i >= doc->problem_count) return nullptr;
    if (i == 0) return &doc->first_problem;
    uint32_t b = i / BLOCK;
    if (!doc->problem_blocks || b >= doc->block_count) return nullptr;
    std::atomic<jx_problem *> &slot = doc->problem_blocks[b];
    jx_problem *block = slot.load(std::memory_order_acquire);
    if (!block) {
        uint32_t first = b * BLOCK, last = std::min(first + BLOCK - 1, doc->problem_count - 1);
        jx_problem *fresh = static_cast<jx_problem *>(jx__malloc(sizeof(jx_problem) * (last - first + 1)));
        if (!fresh) return nullptr;
        for (uint32_t k = first; k <= last; k++) jx__error_make(doc, k, &fresh[k - first]);
        jx_problem *expected = nullptr;
        if (slot.compare_exchange_strong(expected, fresh, std::memory_order_acq_rel, std::memory_order_acquire)) {
            block = fresh;
        } else {
            jx__free(fresh);
            block = expected;
        }
    }
    return &block[i % BLOCK];
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
