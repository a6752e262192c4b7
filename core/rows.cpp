#include "rows_int.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "alloc.h"
#include "doc_int.h"
#include "progress_int.h"

constexpr uint32_t FIRST_GROWTH = 16;
constexpr uint32_t SHRINK_FROM = 1025;
constexpr uint32_t SHRINK_TO = 1024;
constexpr uint32_t DEFAULT_SMALL_DOC = 5000;

static bool is_open(const JxRows *r, uint32_t id) { return (r->open_bits[id >> 6] >> (id & 63)) & 1; }
static void set_open(JxRows *r, uint32_t id) { r->open_bits[id >> 6] |= uint64_t{1} << (id & 63); }

static uint32_t end_of(const JxRows *r, uint32_t id) { return jx__node(r->doc, id)->end; }

/* Only a container with a child can be opened; empty ones have nothing to show. */
static bool expandable(const JxRows *r, uint32_t id) {
    const JxNode *n = jx__node(r->doc, id);
    return jx__is_container(n->info) && n->end > id + 1;
}

/* The one gate for ids from callers: 64-bit values above the id space must not
 * wrap onto real nodes. */
static bool in_range(const JxRows *r, uint64_t node) { return r && node < r->node_count; }

/* First row at or after `from` whose node id is not below `node`. */
static uint32_t lower_bound(const JxRows *r, uint32_t from, uint64_t node) {
    const uint32_t *ids = r->row_ids;
    return uint32_t(std::lower_bound(ids + from, ids + r->row_count, node,
                                     [](uint32_t id, uint64_t n) { return id < n; }) - ids);
}

static uint32_t find_row(const JxRows *r, uint32_t node) {
    uint32_t i = lower_bound(r, 0, node);
    return i < r->row_count && r->row_ids[i] == node ? i : JX_NONE;
}

/* Ensures room for `need` rows: doubling keeps repeated single-row growth
 * linear, and the node count caps it because no more rows can ever exist. */
static bool reserve(JxRows *r, uint64_t need) {
    if (need <= r->row_capacity) return true;
    if (need > r->node_count) return false;
    uint64_t cap = r->row_capacity ? r->row_capacity : FIRST_GROWTH;
    while (cap < need) cap *= 2;
    if (cap > r->node_count) cap = r->node_count;
    void *p = jx__realloc(r->row_ids, cap * sizeof(uint32_t));
    if (!p) return false;
    r->row_ids = static_cast<uint32_t *>(p);
    r->row_capacity = static_cast<uint32_t>(cap);
    return true;
}

/* Gives memory back after large collapses so that a once fully expanded
 * document does not keep a node-sized array; failing to shrink costs nothing. */
static void shrink(JxRows *r) {
    if (r->row_capacity < SHRINK_FROM || uint64_t{r->row_count} * 4 >= r->row_capacity) return;
    uint32_t cap = r->row_count <= SHRINK_TO / 2 ? SHRINK_TO : r->row_count * 2;
    void *p = jx__realloc(r->row_ids, uint64_t{cap} * sizeof(uint32_t));
    if (!p) return;
    r->row_ids = static_cast<uint32_t *>(p);
    r->row_capacity = cap;
}

/* The rows an open container shows: its children, and inside each open child
 * that child's rows; a closed subtree is passed over in one step by `end`.
 * `path_to`, when it is a node id, counts its ancestors as open too, which lets
 * reveal size its insertion before it sets any bit. */
template <typename Emit>
static void walk(const JxRows *r, uint32_t n, uint32_t path_to, Emit emit) {
    uint32_t e = end_of(r, n);
    for (uint32_t c = n + 1; c < e;) {
        emit(c);
        uint32_t ce = end_of(r, c);
        bool open = is_open(r, c) || (c < path_to && path_to < ce);
        c = open ? c + 1 : ce;
    }
}

static uint64_t walk_count(const JxRows *r, uint32_t n, uint32_t path_to) {
    uint64_t k = 0;
    walk(r, n, path_to, [&](uint32_t) { ++k; });
    return k;
}

/* Removes the rows under a visible node: they form one block directly after
 * its row because the rows are in document order. */
static void hide_subtree(JxRows *r, uint32_t node) {
    uint32_t row = find_row(r, node);
    if (row == JX_NONE) return;
    uint32_t j = lower_bound(r, row + 1, end_of(r, node));
    if (j > row + 1) {
        std::memmove(r->row_ids + row + 1, r->row_ids + j, uint64_t{r->row_count - j} * sizeof(uint32_t));
        r->row_count -= j - row - 1;
    }
    shrink(r);
}

/* Calls fn(word, mask) for each word of the open bits that [a, b) reaches,
 * mask selecting the bits inside, until fn returns false (then false): whole
 * words at a time because a subtree may span hundreds of millions of nodes. */
template <typename Fn>
static bool each_word(uint64_t a, uint64_t b, Fn fn) {
    for (; a < b; a = (a | 63) + 1) {
        const uint64_t lo = a & 63, hi = std::min<uint64_t>(b - (a - lo), 64);
        const uint64_t mask = (hi == 64 ? ~uint64_t{0} : (uint64_t{1} << hi) - 1) & (~uint64_t{0} << lo);
        if (!fn(a >> 6, mask)) return false;
    }
    return true;
}

/* Clears the bits of [a, b) and returns how many were set. */
static uint32_t clear_range(JxRows *r, uint32_t a, uint32_t b) {
    uint32_t cleared = 0;
    each_word(a, b, [&](uint64_t w, uint64_t mask) {
        cleared += static_cast<uint32_t>(std::popcount(r->open_bits[w] & mask));
        r->open_bits[w] &= ~mask;
        return true;
    });
    return cleared;
}

/* Whether any bit of [a, b) is set. */
static bool any_open(const JxRows *r, uint32_t a, uint32_t b) {
    return !each_word(a, b, [&](uint64_t w, uint64_t mask) { return (r->open_bits[w] & mask) == 0; });
}

static uint64_t word_count(uint32_t node_count) {
    uint64_t words = (uint64_t{node_count} + 63) / 64;
    return words ? words : 1;
}

static void root_only(JxRows *r) {
    std::memset(r->open_bits, 0, word_count(r->node_count) * sizeof(uint64_t));
    r->open_count = 0;
    r->row_ids[0] = 0;
    r->row_count = 1;
}


/* Large documents are filled on a worker: every this many steps the fill
 * reports how far it got and looks for a request to stop. */
constexpr uint32_t FILL_CHECK = 1u << 20;

static bool fill_checkpoint(const JxRows *r, uint32_t id, const jx_progress *progress) {
    jx__report(progress, id, r->node_count);
    return !jx__cancel_requested(progress);
}

/* Appends the rows of node's children, none of them open, reporting between
 * slices of FILL_CHECK; false when memory ran out or the caller stopped it. */
static bool append_children(JxRows *r, uint32_t node, const jx_progress *progress) {
    const uint64_t count = jx_child_count(r->doc, node);
    if (!reserve(r, r->row_count + count)) return false;
    for (uint32_t first = 0; first < count;) {
        if (first && !fill_checkpoint(r, r->row_ids[r->row_count - 1], progress)) return false;
        uint32_t k = jx__children(r->doc, node, first, r->row_ids + r->row_count,
                                  uint32_t(std::min<uint64_t>(count - first, FILL_CHECK)));
        if (!k) break;
        r->row_count += k;
        first += k;
    }
    /* a count short of the children (its big-table entry lost when memory ran
     * out): the rest one by one */
    const uint32_t last = r->row_ids[r->row_count - 1], end = end_of(r, node);
    for (uint32_t c = last == node ? node + 1 : end_of(r, last); c < end; c = end_of(r, c)) {
        if (!reserve(r, uint64_t{r->row_count} + 1)) return false;
        r->row_ids[r->row_count++] = c;
    }
    return true;
}

/* Replaces the state with exactly the expandable nodes above level open.
 * false when memory ran out or the caller stopped it, the state then being
 * unusable. */
static bool fill_to_level(JxRows *r, int level, const jx_progress *progress) {
    std::memset(r->open_bits, 0, word_count(r->node_count) * sizeof(uint64_t));
    r->open_count = 0;
    r->row_count = 0;
    /* The walk visits exactly the rows the new state shows: it descends into a
     * node only when it opens it, and `top` tracks the deepest open node on the
     * path so the depth is known without asking for it per node. */
    uint32_t top = JX_NONE;
    int64_t depth = 0;
    for (uint64_t id = 0, rows_at_check = FILL_CHECK; id < r->node_count;) {
        if (r->row_count >= rows_at_check) {
            if (!fill_checkpoint(r, uint32_t(id), progress)) return false;
            rows_at_check = uint64_t{r->row_count} + FILL_CHECK;
        }
        while (top != JX_NONE && end_of(r, top) <= id) {
            top = jx__node(r->doc, top)->parent;
            depth--;
        }
        if (!reserve(r, uint64_t{r->row_count} + 1)) return false;
        r->row_ids[r->row_count++] = uint32_t(id);
        if (depth < level && expandable(r, uint32_t(id))) {
            set_open(r, uint32_t(id));
            r->open_count++;
            if (depth + 1 >= level) {
                /* its children stay closed: they are its rows, in one go */
                if (!append_children(r, uint32_t(id), progress)) return false;
                id = end_of(r, uint32_t(id));
                continue;
            }
            depth++;
            top = uint32_t(id);
            id = id + 1;
        } else {
            id = end_of(r, uint32_t(id));
        }
    }
    shrink(r);
    return true;
}

/* Every node a row and every expandable node open. On failure (memory, or
 * the caller stopped it) the state may be half written. */
static bool fill_all(JxRows *r, const jx_progress *progress) {
    uint32_t nc = r->node_count;
    if (r->row_capacity < nc) {
        void *p = jx__realloc(r->row_ids, uint64_t{nc} * sizeof(uint32_t));
        if (!p) return false;
        r->row_ids = static_cast<uint32_t *>(p);
        r->row_capacity = nc;
    }
    uint32_t open = 0;
    uint64_t words = word_count(nc);
    for (uint64_t w = 0; w < words; ++w) {
        uint32_t base = static_cast<uint32_t>(w * 64);
        if (base % FILL_CHECK == 0 && base && !fill_checkpoint(r, base, progress)) return false;
        uint64_t bits = 0;
        uint32_t n = nc - base < 64 ? nc - base : 64;
        for (uint32_t i = 0; i < n; ++i) {
            r->row_ids[base + i] = base + i;
            if (expandable(r, base + i)) bits |= uint64_t{1} << i;
        }
        r->open_bits[w] = bits;
        open += static_cast<uint32_t>(std::popcount(bits));
    }
    r->row_count = nc;
    r->open_count = open;
    return true;
}

uint32_t jx__rows_depth(const JxRows *rows, uint32_t id) {
    uint32_t d = jx__depth_from(rows->doc, id, rows->depth_node, rows->depth);
    rows->depth_node = id;
    rows->depth = d;
    return d;
}

extern "C" {

JxRows *jx_rows_new(JxDoc *doc) {
    if (!doc) return nullptr;
    auto *r = static_cast<JxRows *>(jx__calloc(1, sizeof(JxRows)));
    if (!r) return nullptr;
    uint32_t nc = doc->count;
    uint32_t cap = nc < 1 ? 1 : nc > FIRST_GROWTH ? FIRST_GROWTH : nc;
    r->open_bits = static_cast<uint64_t *>(jx__calloc(word_count(nc), sizeof(uint64_t)));
    r->row_ids = static_cast<uint32_t *>(jx__malloc(cap * sizeof(uint32_t)));
    if (!r->open_bits || !r->row_ids) {
        jx__free(r->open_bits);
        jx__free(r->row_ids);
        jx__free(r);
        return nullptr;
    }
    r->doc = jx_doc_retain(doc);
    r->node_count = nc;
    r->row_capacity = cap;
    if (nc) {
        r->row_ids[0] = 0;
        r->row_count = 1;
    }
    return r;
}

void jx_rows_free(JxRows *rows) {
    if (!rows) return;
    jx_doc_release(rows->doc);
    jx__free(rows->row_ids);
    jx__free(rows->open_bits);
    jx__free(rows);
}

JxDoc *jx_rows_doc(const JxRows *rows) { return rows ? rows->doc : nullptr; }
uint64_t jx_rows_count(const JxRows *rows) { return rows ? rows->row_count : 0; }
uint64_t jx_rows_open_count(const JxRows *rows) { return rows ? rows->open_count : 0; }

uint64_t jx_rows_node(const JxRows *rows, uint64_t row) {
    return rows && row < rows->row_count ? rows->row_ids[row] : JX_NONE;
}

uint64_t jx_rows_find(const JxRows *rows, uint64_t node) {
    return in_range(rows, node) ? find_row(rows, static_cast<uint32_t>(node)) : JX_NONE;
}

int jx_rows_expanded(const JxRows *rows, uint64_t node) {
    return in_range(rows, node) && is_open(rows, static_cast<uint32_t>(node));
}

void jx_rows_expand(JxRows *rows, uint64_t node64) {
    if (!in_range(rows, node64)) return;
    JxRows *r = rows;
    uint32_t node = static_cast<uint32_t>(node64);
    if (is_open(r, node) || !expandable(r, node)) return;
    uint32_t row = find_row(r, node);
    if (row != JX_NONE) {
        /* with nothing open inside, the rows are the children, found faster */
        const uint32_t e = end_of(r, node);
        const bool plain = !any_open(r, node + 1, e);
        uint64_t k = plain ? jx_child_count(r->doc, node) : walk_count(r, node, JX_NONE);
        if (plain && k == JX_FIELD_MAX) k = walk_count(r, node, JX_NONE); /* a count the big table lost */
        if (!reserve(r, r->row_count + k)) return;
        uint32_t *gap = r->row_ids + row + 1;
        std::memmove(gap + k, gap, uint64_t{r->row_count - row - 1} * sizeof(uint32_t));
        if (plain)
            jx__children(r->doc, node, 0, gap, uint32_t(k));
        else
            walk(r, node, JX_NONE, [&](uint32_t c) { *gap++ = c; });
        r->row_count += static_cast<uint32_t>(k);
    }
    set_open(r, node);
    r->open_count++;
}

void jx_rows_collapse(JxRows *rows, uint64_t node64) {
    if (!in_range(rows, node64)) return;
    uint32_t node = static_cast<uint32_t>(node64);
    if (!is_open(rows, node)) return;
    rows->open_bits[node >> 6] &= ~(uint64_t{1} << (node & 63));
    rows->open_count--;
    hide_subtree(rows, node);
}

void jx_rows_toggle(JxRows *rows, uint64_t node) {
    if (jx_rows_expanded(rows, node))
        jx_rows_collapse(rows, node);
    else
        jx_rows_expand(rows, node);
}

void jx_rows_expand_subtree(JxRows *rows, uint64_t node64) {
    if (!in_range(rows, node64)) return;
    JxRows *r = rows;
    uint32_t node = static_cast<uint32_t>(node64);
    if (!expandable(r, node)) return;
    uint32_t e = end_of(r, node);
    uint32_t row = find_row(r, node);
    if (row != JX_NONE) {
        /* Once the whole subtree is open every descendant is a row, so the
         * block after the node's row becomes the id range itself. */
        uint32_t j = lower_bound(r, row + 1, e);
        uint64_t inside = e - node - 1;
        uint64_t need = uint64_t{r->row_count} + inside - (j - row - 1);
        if (!reserve(r, need)) return;
        std::memmove(r->row_ids + row + 1 + inside, r->row_ids + j,
                     uint64_t{r->row_count - j} * sizeof(uint32_t));
        for (uint32_t id = node + 1, *p = r->row_ids + row + 1; id < e; ++id) *p++ = id;
        r->row_count = static_cast<uint32_t>(need);
    }
    for (uint32_t id = node; id < e; ++id) {
        if (!is_open(r, id) && expandable(r, id)) {
            set_open(r, id);
            r->open_count++;
        }
    }
}

void jx_rows_collapse_subtree(JxRows *rows, uint64_t node64) {
    if (!in_range(rows, node64)) return;
    uint32_t node = static_cast<uint32_t>(node64);
    rows->open_count -= clear_range(rows, node, end_of(rows, node));
    hide_subtree(rows, node);
}

void jx_rows_expand_to_level(JxRows *rows, int level) {
    if (!rows || rows->node_count == 0) return;
    if (!fill_to_level(rows, level, nullptr)) root_only(rows);
}

void jx_rows_collapse_all(JxRows *rows) { jx_rows_expand_to_level(rows, 1); }

void jx_rows_default(JxRows *rows) {
    if (!rows) return;
    jx_rows_expand_to_level(rows, rows->node_count <= DEFAULT_SMALL_DOC ? 3 : 1);
}

void jx_rows_expand_all(JxRows *rows) {
    if (rows && rows->node_count) fill_all(rows, nullptr);
}

JxRows *jx_rows_at_level(JxDoc *doc, int level, const jx_progress *progress) {
    JxRows *rows = jx_rows_new(doc);
    if (!rows || rows->node_count == 0) return rows;
    const bool filled = level == JX_ROWS_ALL ? fill_all(rows, progress) : fill_to_level(rows, level, progress);
    if (filled) return rows;
    jx_rows_free(rows);
    return nullptr;
}

void jx_rows_reveal(JxRows *rows, uint64_t node64) {
    if (!in_range(rows, node64)) return;
    JxRows *r = rows;
    uint32_t node = static_cast<uint32_t>(node64);
    const JxDoc *d = r->doc;
    /* Only the highest closed ancestor is visible, so its expansion is the one
     * that inserts rows (those of every ancestor opened below it included).
     * Reserving them first keeps a failure from leaving hidden ancestors
     * opened while the node stays out of sight. */
    uint32_t highest = JX_NONE;
    for (uint32_t a = jx__node(d, node)->parent; a != JX_NONE; a = jx__node(d, a)->parent)
        if (!is_open(r, a)) highest = a;
    if (highest == JX_NONE) return;
    if (!reserve(r, r->row_count + walk_count(r, highest, node))) return;
    /* Nearest ancestor first: the hidden ones only get their bits, and the
     * rows are inserted once, by `highest`. */
    for (uint32_t a = jx__node(d, node)->parent; a != JX_NONE; a = jx__node(d, a)->parent)
        jx_rows_expand(r, a);
}

}  // extern "C"
