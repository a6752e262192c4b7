/* restore.cpp: a view's state saved as paths, and found again in a reloaded document. */
#include <algorithm>
#include <bit>
#include <cstring>

#include "alloc.h"
#include "chars_int.h"
#include "decode_int.h"
#include "doc_int.h"
#include "jx/decode.h"
#include "rows_int.h"
#include "view_int.h"

constexpr uint32_t FIRST_ENTRIES = 64;
constexpr uint64_t FIRST_POOL = 4096;
constexpr uint64_t NO_KEY = UINT64_MAX;
/* Smaller objects are scanned: a table would cost more than it saves. */
constexpr uint32_t TABLE_FROM = 33;
constexpr uint64_t MIN_SLOTS = 64;
constexpr uint64_t MAX_SLOTS = uint64_t{1} << 31;
/* Slots fetched ahead while a table is filled. */
constexpr uint32_t AHEAD = 16;
constexpr uint32_t FNV_BASIS = 0x811C9DC5u;
constexpr uint32_t FNV_PRIME = 16777619u;

namespace {

/* One node of the saved tree: its place under the parent's entry. */
struct Entry {
    uint32_t parent; /* JX_NONE for the root */
    uint32_t index;  /* among the parent's children */
    uint64_t key_off; /* into the key pool; NO_KEY without key */
    uint64_t key_len;
    uint8_t expanded;
};

/* A keyed child of a large object, found by the hash of its decoded key. */
struct Slot {
    uint32_t hash;
    uint32_t node; /* 0, which is never a member: empty */
    uint32_t index;
};

/* What the restore found for an entry, and what it keeps while matching the entry's children. */
struct Match {
    uint32_t node;       /* JX_NONE: no match */
    uint32_t last_child; /* the last entry whose parent this is: the table goes after it */
    int64_t shift;       /* matched index minus saved index of the last child found */
    Slot *table;
    uint64_t slots; /* a power of two */
    int bits;       /* its logarithm */
    bool no_table; /* the table could not be built: scan */
};

}  // namespace

struct JxState {
    uint32_t mode;
    uint8_t expand_all;
    uint8_t has_text;
    uint32_t text_mode;
    uint32_t cursor_line, anchor_line;
    uint32_t top_line;
    uint8_t cursor_on_node;
    uint32_t sel_entry;
    uint32_t top_entry;
    Entry *entries;
    uint32_t entry_count, entry_capacity;
    char *pool;
    uint64_t pool_used, pool_capacity;
    uint8_t *missing; /* only in the copy a restored view keeps */
};

void jx_state_free(JxState *state) {
    if (!state) return;
    jx__free(state->entries);
    jx__free(state->pool);
    jx__free(state->missing);
    jx__free(state);
}

/* ---- decoded keys ---- */

/* Hands the decoded bytes of a key span to fn piece by piece, as jx__decode
 * would write them, so that a key of any length is hashed or compared
 * without a buffer. fn returns false to stop. */
template <typename Fn>
static void key_bytes(const jx_span &k, Fn fn) {
    const auto *p = reinterpret_cast<const unsigned char *>(k.p);
    const unsigned char *end = p + k.len;
    char out[4];
    while (p < end) {
        if (*p < 0x80 && !(k.escaped && *p == '\\')) {
            const unsigned char *run = p;
            while (p < end && *p < 0x80 && !(k.escaped && *p == '\\')) p++;
            if (!fn(reinterpret_cast<const char *>(run), size_t(p - run))) return;
            continue;
        }
        const uint32_t cp = jx__read_char(&p, end, k.escaped);
        if (cp != JX_NO_CHAR && !fn(out, jx__utf8_put(cp, out))) return;
    }
}

static uint32_t fnv(uint32_t h, const char *p, size_t n) {
    for (size_t i = 0; i < n; i++) h = (h ^ uint8_t(p[i])) * FNV_PRIME;
    return h;
}

/* The home slot of a hash in a table of 2^bits slots. FNV-1a of keys that
 * differ only in their last characters differ mostly in their low bits,
 * which would pile them into runs; the multiplication spreads them over the
 * high bits, which are taken. */
static uint64_t home(uint32_t hash, int bits) { return uint32_t(hash * 0x9E3779B1u) >> (32 - bits); }

static uint32_t key_hash(const JxDoc *doc, uint32_t node) {
    uint32_t h = FNV_BASIS;
    key_bytes(jx__key_span(doc, node), [&](const char *p, size_t n) {
        h = fnv(h, p, n);
        return true;
    });
    return h;
}

/* 1 when node has a key whose decoded text is exactly the len bytes of key. */
static bool key_is(const JxDoc *doc, uint32_t node, const char *key, uint64_t len) {
    const jx_span k = jx__key_span(doc, node);
    if (!k.p) return false;
    /* Decoded text is valid UTF-8, so raw bytes equal to it decode to themselves. */
    if (!k.escaped && k.len == len && std::memcmp(k.p, key, len) == 0) return true;
    uint64_t at = 0;
    bool same = true;
    key_bytes(k, [&](const char *p, size_t n) {
        same = at + n <= len && std::memcmp(key + at, p, n) == 0;
        at += n;
        return same;
    });
    return same && at == len;
}

/* ---- saving ---- */

/* Appends an entry (key may be null: no key); its index, or JX_NONE when memory runs out. */
static uint32_t state_add(JxState *s, uint32_t parent, uint32_t index, const char *key, uint64_t key_len) {
    if (s->entry_count == s->entry_capacity) {
        const uint64_t cap = s->entry_capacity ? uint64_t{s->entry_capacity} * 2 : FIRST_ENTRIES;
        if (cap >= JX_NONE) return JX_NONE;
        void *p = jx__realloc(s->entries, cap * sizeof(Entry));
        if (!p) return JX_NONE;
        s->entries = static_cast<Entry *>(p);
        s->entry_capacity = uint32_t(cap);
    }
    uint64_t off = NO_KEY;
    if (key) {
        uint64_t cap = s->pool_capacity ? s->pool_capacity : FIRST_POOL;
        while (cap < s->pool_used + key_len) cap *= 2;
        if (cap != s->pool_capacity) {
            void *p = jx__realloc(s->pool, cap);
            if (!p) return JX_NONE;
            s->pool = static_cast<char *>(p);
            s->pool_capacity = cap;
        }
        off = s->pool_used;
        std::memcpy(s->pool + off, key, key_len);
        s->pool_used += key_len;
    }
    s->entries[s->entry_count] = {parent, index, off, key ? key_len : 0, 0};
    return s->entry_count++;
}

namespace {

/* The path from the root to the last node recorded: a node's entry is made
 * once, with the entries of the ancestors the path does not hold yet. */
struct PathStack {
    struct Item {
        uint32_t node, entry;
    };
    Item *items = nullptr;
    uint32_t count = 0, capacity = 0;

    ~PathStack() { jx__free(items); }
    bool push(uint32_t node) {
        if (count == capacity) {
            const uint32_t cap = capacity ? capacity * 2 : 64;
            void *p = jx__realloc(items, uint64_t{cap} * sizeof(Item));
            if (!p) return false;
            items = static_cast<Item *>(p);
            capacity = cap;
        }
        items[count++] = {node, JX_NONE};
        return true;
    }
};

}  // namespace

/* The entry of node (an id above every node recorded before it); JX_NONE when memory runs out. */
static uint32_t entry_of(JxState *s, const JxDoc *doc, PathStack *path, uint32_t node) {
    while (path->count && jx__node(doc, path->items[path->count - 1].node)->end <= node) path->count--;
    const uint32_t held = path->count;
    if (held && path->items[held - 1].node == node) return path->items[held - 1].entry;
    /* Push the missing ancestors innermost first, then turn them round. */
    const uint32_t stop = held ? path->items[held - 1].node : JX_NONE;
    for (uint32_t n = node; n != stop; n = jx__node(doc, n)->parent)
        if (!path->push(n)) return JX_NONE;
    std::reverse(path->items + held, path->items + path->count);
    char local[256];
    for (uint32_t i = held; i < path->count; i++) {
        const uint32_t n = path->items[i].node;
        const uint32_t parent = i ? path->items[i - 1].entry : JX_NONE;
        uint32_t e;
        if (!jx_has_key(doc, n)) {
            e = state_add(s, parent, jx_index_in_parent(doc, n), nullptr, 0);
        } else {
            const size_t len = jx_key_text(doc, n, nullptr, 0);
            char *key = len < sizeof local ? local : static_cast<char *>(jx__malloc(len + 1));
            if (!key) return JX_NONE;
            jx_key_text(doc, n, key, len + 1);
            e = state_add(s, parent, jx_index_in_parent(doc, n), key, len);
            if (key != local) jx__free(key);
        }
        if (e == JX_NONE) return JX_NONE;
        path->items[i].entry = e;
    }
    return path->items[path->count - 1].entry;
}

/* The first expanded node at or after id; JX_NONE when there is none. */
static uint32_t next_open(const JxRows *r, uint32_t id) {
    if (id >= r->node_count) return JX_NONE;
    const uint64_t words = (uint64_t{r->node_count} + 63) / 64;
    uint64_t w = id >> 6;
    uint64_t bits = r->open_bits[w] & (~uint64_t{0} << (id & 63));
    while (!bits) {
        if (++w == words) return JX_NONE;
        bits = r->open_bits[w];
    }
    return uint32_t(w * 64 + uint64_t(std::countr_zero(bits)));
}

/* Records the expanded nodes (at most budget), the selected and the top node,
 * in id order, stopping once the last of them is behind. */
static bool record_nodes(JxState *s, const JxView *v, uint64_t budget, uint32_t top_node) {
    const JxDoc *doc = v->doc;
    PathStack path;
    uint64_t counted = 0;
    uint32_t open = budget ? next_open(v->rows, 0) : JX_NONE;
    uint32_t sel = v->selected < doc->count ? v->selected : JX_NONE;
    uint32_t top = top_node < doc->count ? top_node : JX_NONE;
    for (;;) {
        const uint32_t n = std::min({open, sel, top});
        if (n == JX_NONE) return true;
        const uint32_t e = entry_of(s, doc, &path, n);
        if (e == JX_NONE) return false;
        if (jx_rows_expanded(v->rows, n)) s->entries[e].expanded = 1;
        if (n == open) open = ++counted < budget && n + 1 < doc->count ? next_open(v->rows, n + 1) : JX_NONE;
        if (n == sel) {
            s->sel_entry = e;
            sel = JX_NONE;
        }
        if (n == top) {
            s->top_entry = e;
            top = JX_NONE;
        }
    }
}

/* Carries from the state the view was restored from what that restore could
 * not find and the user has not replaced, so that it comes back once a later
 * version of the file has it again. */
static bool carry(JxState *s, const JxView *v, uint32_t top) {
    const JxState *o = v->restored_from;
    if (!o || !o->entry_count) return true;
    const bool carry_sel = v->restore_sel_fell_back && v->selected == v->restore_node && o->sel_entry < o->entry_count;
    const bool carry_top = v->restore_top_fell_back && v->mode == JX_MODE_TREE && top == v->restore_row &&
                           o->top_entry < o->entry_count;
    auto *to = static_cast<uint32_t *>(jx__malloc(uint64_t{o->entry_count} * sizeof(uint32_t)));
    if (!to) return false;
    /* JX_NONE: left behind; 0: carried, its new index not known yet. */
    std::fill(to, to + o->entry_count, JX_NONE);
    auto mark = [&](uint32_t i) {
        for (; i != JX_NONE && to[i] == JX_NONE; i = o->entries[i].parent) to[i] = 0;
    };
    for (uint32_t i = 0; i < o->entry_count; i++)
        if (o->missing && o->missing[i] && o->entries[i].expanded) mark(i);
    if (carry_sel) mark(o->sel_entry);
    if (carry_top) mark(o->top_entry);
    bool ok = true;
    for (uint32_t i = 0; i < o->entry_count && ok; i++) {
        if (to[i] == JX_NONE) continue;
        const Entry &e = o->entries[i];
        const uint32_t parent = e.parent == JX_NONE ? JX_NONE : to[e.parent];
        to[i] = state_add(s, parent, e.index, e.key_off == NO_KEY ? nullptr : o->pool + e.key_off, e.key_len);
        ok = to[i] != JX_NONE;
        if (ok) s->entries[to[i]].expanded = o->missing && o->missing[i] && e.expanded;
    }
    if (ok && carry_sel) {
        s->sel_entry = to[o->sel_entry];
        if (o->mode == JX_MODE_TEXT && v->mode == JX_MODE_TEXT) {
            s->cursor_line = o->cursor_line;
            s->anchor_line = o->anchor_line;
            s->top_line = o->top_line;
            s->cursor_on_node = o->cursor_on_node;
        }
    }
    if (ok && carry_top) s->top_entry = to[o->top_entry];
    jx__free(to);
    return ok;
}

JxState *jx_view_save(const JxView *view, uint32_t top) {
    if (!view) return nullptr;
    auto *s = static_cast<JxState *>(jx__calloc(1, sizeof(JxState)));
    if (!s) return nullptr;
    s->mode = view->mode;
    s->has_text = view->text != nullptr;
    s->text_mode = uint32_t(jx_text_mode(view->text));
    s->cursor_line = s->anchor_line = s->top_line = JX_NONE;
    s->sel_entry = s->top_entry = JX_NONE;
    const bool text_view = view->mode == JX_MODE_TEXT;
    if (text_view) {
        s->cursor_line = view->cursor_line;
        s->anchor_line = view->anchor_line;
        s->top_line = top;
        s->cursor_on_node = view->selected != JX_NONE && view->cursor_line != JX_NONE &&
                            jx_text_line_of(view->text, view->selected) == view->cursor_line;
    }
    const uint64_t open = jx_rows_open_count(view->rows);
    s->expand_all = open > JX_RESTORE_EXPAND_ALL || (view->restore_open && open == view->restore_open);
    const uint32_t top_node = text_view ? JX_NONE : uint32_t(jx_rows_node(view->rows, top));
    if (!record_nodes(s, view, s->expand_all ? 0 : open, top_node) || !carry(s, view, top)) {
        jx_state_free(s);
        return nullptr;
    }
    return s;
}

/* ---- restoring ---- */

/* The table of a large object's keyed children; false when it cannot be had. */
static bool build_table(const JxDoc *doc, uint32_t object, uint32_t count, Match *m) {
    uint64_t slots = MIN_SLOTS;
    int bits = std::countr_zero(MIN_SLOTS);
    for (; slots < uint64_t{count} * 2; bits++) slots *= 2;
    if (slots > MAX_SLOTS) return false;
    auto *t = static_cast<Slot *>(jx__malloc(slots * sizeof(Slot)));
    if (!t) return false;
    /* Cleared up front rather than by calloc: fetching ahead does nothing
     * for a page not yet touched, and the insertions touch them at random. */
    jx__hint_huge(t, slots * sizeof(Slot));
    std::memset(t, 0, slots * sizeof(Slot));
    /* A large table misses the cache at every insertion: each slot is
     * fetched ahead while the next keys are hashed, and the children are
     * still inserted in their order, so the first of equal keys comes first
     * on its probe sequence. */
    Slot ahead[AHEAD];
    uint32_t pending = 0;
    auto insert = [&](const Slot &slot) {
        uint64_t at = home(slot.hash, bits);
        while (t[at].node) at = (at + 1) & (slots - 1);
        t[at] = slot;
    };
    const uint32_t end = jx__node(doc, object)->end;
    uint32_t index = 0;
    for (uint32_t c = object + 1; c < end; c = jx__node(doc, c)->end, index++) {
        if (!jx_has_key(doc, c)) continue;
        const uint32_t h = key_hash(doc, c);
        __builtin_prefetch(t + home(h, bits), 1);
        Slot &next = ahead[pending++ % AHEAD];
        if (pending > AHEAD) insert(next);
        next = {h, c, index};
    }
    for (uint32_t i = pending > AHEAD ? pending - AHEAD : 0; i < pending; i++) insert(ahead[i % AHEAD]);
    m->table = t;
    m->slots = slots;
    m->bits = bits;
    return true;
}

/* The child of the matched object m with the key, and its index in *index. */
static uint32_t find_key(const JxDoc *doc, Match *m, uint32_t count, const char *key, uint64_t len,
                         uint32_t *index) {
    if (count >= TABLE_FROM && !m->table && !m->no_table) m->no_table = !build_table(doc, m->node, count, m);
    if (m->table) {
        const uint32_t h = fnv(FNV_BASIS, key, len);
        for (uint64_t at = home(h, m->bits); m->table[at].node; at = (at + 1) & (m->slots - 1)) {
            const Slot &slot = m->table[at];
            if (slot.hash == h && key_is(doc, slot.node, key, len)) {
                *index = slot.index;
                return slot.node;
            }
        }
        return JX_NONE;
    }
    const uint32_t end = jx__node(doc, m->node)->end;
    uint32_t i = 0;
    for (uint32_t c = m->node + 1; c < end; c = jx__node(doc, c)->end, i++) {
        if (key_is(doc, c, key, len)) {
            *index = i;
            return c;
        }
    }
    return JX_NONE;
}

/* The node entry e stands for under its parent's match p, or JX_NONE. */
static uint32_t match_child(const JxDoc *doc, const JxState *s, const Entry &e, Match *p) {
    const int type = jx_type(doc, p->node);
    const uint32_t count = jx_child_count(doc, p->node);
    if (e.key_off == NO_KEY) return type == JX_ARRAY && e.index < count ? jx_child_at(doc, p->node, e.index) : JX_NONE;
    if (type != JX_OBJECT) return JX_NONE;
    const char *key = s->pool + e.key_off;
    uint32_t index = JX_NONE, node = JX_NONE;
    const int64_t shifted = int64_t{e.index} + p->shift;
    if (shifted >= 0 && shifted < count) {
        const uint32_t c = jx_child_at(doc, p->node, uint32_t(shifted));
        if (key_is(doc, c, key, e.key_len)) index = uint32_t(shifted), node = c;
    }
    if (node == JX_NONE && p->shift != 0 && e.index < count) {
        const uint32_t c = jx_child_at(doc, p->node, e.index);
        if (key_is(doc, c, key, e.key_len)) index = e.index, node = c;
    }
    if (node == JX_NONE) node = find_key(doc, p, count, key, e.key_len, &index);
    if (node != JX_NONE) p->shift = int64_t{index} - int64_t{e.index};
    return node;
}

/* Matches every entry, parents first; a large object's table goes once its last child entry is done. */
static void match_all(const JxDoc *doc, const JxState *s, Match *m) {
    for (uint32_t i = 0; i < s->entry_count; i++) {
        m[i].node = m[i].last_child = JX_NONE;
        const uint32_t parent = s->entries[i].parent;
        if (parent < i) m[parent].last_child = i;
    }
    for (uint32_t i = 0; i < s->entry_count; i++) {
        const Entry &e = s->entries[i];
        if (e.parent == JX_NONE) {
            m[i].node = doc->count ? 0 : JX_NONE;
            continue;
        }
        if (e.parent >= i) continue;
        Match &p = m[e.parent];
        if (p.node != JX_NONE) m[i].node = match_child(doc, s, e, &p);
        if (p.last_child == i) {
            jx__free(p.table);
            p.table = nullptr;
        }
    }
}

/* The first entry from i up its ancestors that found a node; JX_NONE when none did. */
static uint32_t matched_up(const JxState *s, const Match *m, uint32_t i) {
    while (i < s->entry_count && m[i].node == JX_NONE) i = s->entries[i].parent;
    return i < s->entry_count ? i : JX_NONE;
}

/* A copy of s with what found no node marked, for the next save; null when memory runs out. */
static JxState *copy_missing(const JxState *s, const Match *m) {
    auto *c = static_cast<JxState *>(jx__malloc(sizeof(JxState)));
    if (!c) return nullptr;
    *c = *s;
    c->entries = static_cast<Entry *>(jx__malloc(uint64_t{s->entry_count} * sizeof(Entry) + 1));
    c->pool = static_cast<char *>(jx__malloc(s->pool_used + 1));
    c->missing = static_cast<uint8_t *>(jx__malloc(uint64_t{s->entry_count} + 1));
    if (!c->entries || !c->pool || !c->missing) {
        jx_state_free(c);
        return nullptr;
    }
    if (s->entry_count) std::memcpy(c->entries, s->entries, uint64_t{s->entry_count} * sizeof(Entry));
    if (s->pool_used) std::memcpy(c->pool, s->pool, s->pool_used);
    for (uint32_t i = 0; i < s->entry_count; i++) c->missing[i] = m[i].node == JX_NONE;
    c->entry_capacity = s->entry_count;
    c->pool_capacity = s->pool_used;
    return c;
}

static uint32_t clamp_line(uint32_t saved, int64_t shift, uint32_t lines) {
    if (saved == JX_NONE) return 0;
    const int64_t line = int64_t{saved} + shift;
    return line < 0 ? 0 : line >= lines ? lines - 1 : uint32_t(line);
}

/* The Text view as saved, over a model built now; false (nothing changed) when it cannot be built. */
static bool restore_text(JxView *v, const JxState *s, bool exact, uint32_t *top) {
    int status = JX_OK;
    JxText *text = jx_text_new(v->doc, int(s->text_mode), nullptr, &status);
    if (!text) return false;
    v->text = text;
    v->mode = JX_MODE_TEXT;
    const bool keep = s->cursor_on_node && exact;
    const uint32_t line = v->selected != JX_NONE ? jx_text_line_of(text, v->selected) : JX_NONE;
    const int64_t shift =
        keep && s->cursor_line != JX_NONE && line != JX_NONE ? int64_t{line} - int64_t{s->cursor_line} : 0;
    const uint32_t n = jx_text_count(text);
    if (!n) {
        v->cursor_line = v->anchor_line = JX_NONE;
        *top = 0;
        return true;
    }
    v->cursor_line = clamp_line(s->cursor_line, shift, n);
    v->anchor_line = clamp_line(s->anchor_line, shift, n);
    *top = clamp_line(s->top_line, shift, n);
    const uint32_t on_line = jx_text_node_of(text, v->cursor_line);
    if (on_line != JX_NONE && !keep) v->selected = on_line;
    return true;
}

JxView *jx_view_restore(JxDoc *doc, const JxState *state, uint32_t *top) {
    if (top) *top = 0;
    if (!state) return jx_view_new(doc);
    JxView *v = jx__view_make(doc);
    auto *m = v ? static_cast<Match *>(jx__calloc(uint64_t{state->entry_count} + 1, sizeof(Match))) : nullptr;
    if (!m) {
        jx_view_free(v);
        return jx_view_new(doc);
    }
    const JxState *s = state;
    match_all(doc, s, m);

    bool lost = false;
    if (s->expand_all) {
        jx_rows_expand_all(v->rows);
        v->restore_open = jx_rows_open_count(v->rows);
    } else {
        /* Below a collapsed root each expansion only sets its bit; the root
         * goes last and builds the rows once. */
        bool root = false;
        for (uint32_t i = 0; i < s->entry_count; i++) {
            if (!s->entries[i].expanded) continue;
            if (m[i].node == JX_NONE)
                lost = true;
            else if (m[i].node == 0)
                root = true;
            else
                jx_rows_expand(v->rows, m[i].node);
        }
        if (root) jx_rows_expand(v->rows, 0);
    }

    const bool has_sel = s->sel_entry < s->entry_count;
    const bool exact = has_sel && m[s->sel_entry].node != JX_NONE;
    const uint32_t sel_at = has_sel ? matched_up(s, m, s->sel_entry) : JX_NONE;
    v->selected = sel_at != JX_NONE ? m[sel_at].node : doc->count ? 0 : JX_NONE;
    const bool sel_fell_back = has_sel && !exact;
    bool top_fell_back = false;

    uint32_t top_row = 0;
    if (!(s->has_text && s->mode == JX_MODE_TEXT && restore_text(v, s, exact, &top_row))) {
        if (v->selected != JX_NONE) v->selected = jx__view_nearest_row(v, v->selected);
        if (s->top_entry < s->entry_count) {
            top_fell_back = m[s->top_entry].node == JX_NONE;
            const uint32_t at = matched_up(s, m, s->top_entry);
            uint32_t n = at != JX_NONE ? m[at].node : JX_NONE;
            while (n != JX_NONE && jx_rows_find(v->rows, n) == JX_NONE) n = jx_parent(doc, n);
            if (n != JX_NONE) top_row = uint32_t(jx_rows_find(v->rows, n));
        }
    }

    if (sel_fell_back || top_fell_back || lost) v->restored_from = copy_missing(s, m);
    for (uint32_t i = 0; i < s->entry_count; i++) jx__free(m[i].table);
    jx__free(m);
    v->restore_sel_fell_back = sel_fell_back;
    v->restore_top_fell_back = top_fell_back;
    v->restore_node = v->selected;
    v->restore_row = top_row;
    v->restored = 1;
    if (top) *top = top_row;
    return v;
}
