/* keys.cpp: what keys, typed characters and commands do to a view, the
 * shortcut table and key combinations written as text. */
#include <algorithm>
#include <charconv>
#include <iterator>
#include <string_view>
#include <utility>

#include "chars_int.h"
#include "jx/decode.h"
#include "jx/keys.h"
#include "jx/path.h"
#include "view_int.h"

namespace {

struct Shortcut {
    uint32_t key, mods, command;
};

struct CopyWord {
    std::string_view word;
    uint32_t what;
    int style;
};

constexpr CopyWord COPY_WORDS[] = {
    {"value", JX_CMD_COPY_VALUE, JX_PATH_JSONPATH},      {"key", JX_CMD_COPY_KEY, JX_PATH_JSONPATH},
    {"path", JX_CMD_COPY_PATH, JX_PATH_JSONPATH},        {"path-jq", JX_CMD_COPY_PATH, JX_PATH_JQ},
    {"path-js", JX_CMD_COPY_PATH, JX_PATH_JAVASCRIPT},   {"path-python", JX_CMD_COPY_PATH, JX_PATH_PYTHON},
    {"path-pointer", JX_CMD_COPY_PATH, JX_PATH_POINTER}, {"json", JX_CMD_COPY_JSON, JX_PATH_JSONPATH},
    {"json-min", JX_CMD_COPY_MINIFIED, JX_PATH_JSONPATH},
};

}  // namespace

constexpr uint32_t CMD = JX_MOD_COMMAND, SHIFT = JX_MOD_SHIFT, OPTION = JX_MOD_OPTION;

/* Searched in order for an exact match of key and modifiers. */
constexpr Shortcut SHORTCUTS[] = {
    {'O', CMD, JX_CMD_OPEN},
    {'V', CMD | SHIFT, JX_CMD_OPEN_CLIPBOARD},
    {'W', CMD, JX_CMD_CLOSE},
    {'R', CMD, JX_CMD_RELOAD},
    {JX_KEY_F5, 0, JX_CMD_RELOAD},
    {'1', CMD, JX_CMD_TREE},
    {'2', CMD, JX_CMD_TEXT},
    {'F', CMD, JX_CMD_FIND},
    {'G', CMD, JX_CMD_FIND_NEXT},
    {JX_KEY_F3, 0, JX_CMD_FIND_NEXT},
    {'G', CMD | SHIFT, JX_CMD_FIND_PREVIOUS},
    {JX_KEY_F3, SHIFT, JX_CMD_FIND_PREVIOUS},
    {'L', CMD, JX_CMD_GOTO},
    {'C', CMD, JX_CMD_COPY_VALUE},
    {'C', CMD | SHIFT, JX_CMD_COPY_PATH},
    {'C', CMD | OPTION, JX_CMD_COPY_JSON},
    {'I', CMD, JX_CMD_INSPECTOR},
    {']', CMD | SHIFT, JX_CMD_EXPAND_ALL},
    {'[', CMD | SHIFT, JX_CMD_COLLAPSE_ALL},
    {'[', CMD, JX_CMD_BACK},
    {']', CMD, JX_CMD_FORWARD},
    {'=', CMD, JX_CMD_ZOOM_IN},
    {'-', CMD, JX_CMD_ZOOM_OUT},
    {'0', CMD, JX_CMD_ACTUAL_SIZE},
};
static_assert(std::size(SHORTCUTS) == 24);

/* The names jx_combo reads, in key code order from JX_KEY_UP. */
constexpr std::string_view KEY_NAMES[] = {"up",   "down",  "left",   "right", "pageup", "pagedown", "home",
                                          "end",  "space", "return", "esc",   "f3",     "f5"};
static_assert(std::size(KEY_NAMES) == JX_KEY_F5 - JX_KEY_UP + 1);

/* Gap between typed characters that starts the typed text again. */
constexpr uint64_t TYPE_PAUSE_MS = 1000;
/* Room for a key's decoded text in type-to-select: the typed text is at most
 * 64 characters, so longer keys are compared by what fits. */
constexpr size_t LABEL_SIZE = 264;

/* ---- keys ---- */

static bool is_movement(uint32_t key) {
    return key == JX_KEY_UP || key == JX_KEY_DOWN || (key >= JX_KEY_PAGEUP && key <= JX_KEY_END);
}

/* Where a movement key goes from position p among n (n > 0). */
static uint32_t moved_to(uint32_t key, uint32_t p, uint32_t n, uint32_t page_rows) {
    const uint64_t page = std::max(page_rows, 1u);
    switch (key) {
        case JX_KEY_UP: return p ? p - 1 : 0;
        case JX_KEY_DOWN: return std::min(p + 1, n - 1);
        case JX_KEY_PAGEUP: return p < page ? 0 : uint32_t(p - page);
        case JX_KEY_PAGEDOWN: return uint32_t(std::min<uint64_t>(p + page, n - 1));
        case JX_KEY_HOME: return 0;
        default: return n - 1; /* end */
    }
}

/* Left and right in the Tree view: open and close, or step in and out. */
static int left_right(JxView *v, uint32_t key, uint32_t mods) {
    const uint32_t node = v->selected;
    const bool right = key == JX_KEY_RIGHT;
    if (mods == JX_MOD_OPTION) {
        if (right)
            jx_rows_expand_subtree(v->rows, node);
        else
            jx_rows_collapse_subtree(v->rows, node);
        return 1;
    }
    if (mods) return 0;
    const bool open = jx_rows_expanded(v->rows, node);
    if (right && open) {
        const uint32_t child = jx_first_child(v->doc, node);
        if (child != JX_NONE) v->selected = child;
    } else if (right) {
        jx_rows_expand(v->rows, node); /* only objects and arrays with children open */
    } else if (open) {
        jx_rows_collapse(v->rows, node);
    } else if (jx_parent(v->doc, node) != JX_NONE) {
        v->selected = jx_parent(v->doc, node);
    }
    return 1;
}

int jx_view_key(JxView *view, uint32_t key, uint32_t mods, uint32_t page_rows) {
    if (!view) return 0;
    const uint32_t n = jx_view_count(view);
    const bool text = view->mode == JX_MODE_TEXT;
    if (n == 0 || (!text && view->selected == JX_NONE)) return 0;
    if (is_movement(key)) {
        if (mods & ~uint32_t(JX_MOD_SHIFT)) return 0;
        uint32_t p = jx_view_selected(view);
        if (p >= n) p = 0;
        const uint32_t to = moved_to(key, p, n, page_rows);
        if (text)
            jx__view_cursor(view, to, (mods & JX_MOD_SHIFT) != 0);
        else
            view->selected = uint32_t(jx_rows_node(view->rows, to));
    } else if (text) {
        return 0;
    } else if (key == JX_KEY_LEFT || key == JX_KEY_RIGHT) {
        if (!left_right(view, key, mods)) return 0;
    } else if (key == JX_KEY_SPACE || key == JX_KEY_RETURN) {
        if (mods) return 0;
        if (jx_first_child(view->doc, view->selected) != JX_NONE) jx_rows_toggle(view->rows, view->selected);
    } else {
        return 0;
    }
    jx__view_moved(view);
    view->reveal = 1;
    return 1;
}

/* ---- type-to-select ---- */

/* ASCII and Latin-1 capitals to their small letters; nothing else folds. */
static uint32_t fold(uint32_t cp) {
    if ((cp >= 'A' && cp <= 'Z') || (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7)) return cp + 0x20;
    return cp;
}

/* Whether the label type-to-select reads for node starts with the typed text:
 * its key, or for typed digits its index (a record's line number). */
static bool label_matches(const JxView *v, uint32_t node) {
    const JxDoc *doc = v->doc;
    const uint32_t parent = jx_parent(doc, node);
    if (parent == JX_NONE) return false;
    char label[LABEL_SIZE] = {};
    size_t len;
    if (jx_has_key(doc, node)) {
        len = std::min(jx_key_text(doc, node, label, sizeof label), sizeof label - 1);
    } else {
        if (v->type_buf[0] < '0' || v->type_buf[0] > '9') return false;
        const uint32_t n = parent == 0 && jx_doc_records(doc) ? jx_record_line(doc, node)
                                                               : jx_index_in_parent(doc, node);
        len = size_t(std::to_chars(label, label + sizeof label, n).ptr - label);
    }
    const auto *p = reinterpret_cast<const unsigned char *>(label), *end = p + len;
    for (uint32_t i = 0; i < v->type_len; i++) {
        if (p == end || fold(jx__utf8_read(&p, end)) != v->type_buf[i]) return false;
    }
    return true;
}

int jx_view_type(JxView *view, uint32_t code_point, uint64_t time_ms) {
    if (!view || code_point > 0x10FFFF || code_point < 32 || code_point == 127) return 0;
    if (view->mode == JX_MODE_TEXT || view->selected == JX_NONE) return 0;
    const uint64_t rows = jx_rows_count(view->rows);
    const uint64_t here = jx_rows_find(view->rows, view->selected);
    if (rows == 0 || here == JX_NONE) return 0;
    const bool more = view->type_len > 0 && time_ms >= view->type_time && time_ms - view->type_time < TYPE_PAUSE_MS;
    uint64_t row = here;
    if (!more) {
        view->type_len = 0;
        row = here + 1 < rows ? here + 1 : 0;
    }
    view->type_time = time_ms;
    if (view->type_len < std::size(view->type_buf)) view->type_buf[view->type_len++] = fold(code_point);
    for (uint64_t i = 0; i < rows; i++, row = row + 1 < rows ? row + 1 : 0) {
        const uint32_t node = uint32_t(jx_rows_node(view->rows, row));
        if (!label_matches(view, node)) continue;
        view->selected = node;
        view->moved = 1;
        view->restored = 0;
        view->reveal = 1;
        return 1;
    }
    return 0;
}

/* ---- commands ---- */

/* Find next and previous, next problem: a jump the user asked for. */
static int jump(JxView *v, uint32_t node) {
    if (node >= jx_doc_count(v->doc)) return 1;
    jx__view_moved(v);
    jx__view_jump(v, node);
    return 1;
}

/* The next unreadable record after the selection, wrapping to the first.
 * Only records can be unreadable, so the walk goes over the root's
 * children rather than every node. */
static uint32_t next_problem(const JxView *v) {
    const JxDoc *doc = v->doc;
    uint32_t first = JX_NONE;
    for (uint32_t n = jx_first_child(doc, 0); n != JX_NONE; n = jx_next_sibling(doc, n)) {
        if (jx_type(doc, n) != JX_BAD) continue;
        if (v->selected == JX_NONE || n > v->selected) return n;
        if (first == JX_NONE) first = n;
    }
    return first;
}

/* A level command's rows are in place: the selection falls back to the
 * nearest row left showing. */
static int levels_done(JxView *v) {
    v->selected = jx__view_nearest_row(v, v->selected);
    jx__view_moved(v);
    v->reveal = 1;
    return 1;
}

static bool shows_rows(const JxView *v) { return v->mode == JX_MODE_TREE && jx_rows_count(v->rows) != 0; }

static int expand_levels(JxView *v, uint32_t command) {
    if (!shows_rows(v)) return 0;
    const int level = jx_command_level(command);
    if (level == JX_ROWS_ALL)
        jx_rows_expand_all(v->rows);
    else
        jx_rows_expand_to_level(v->rows, level);
    return levels_done(v);
}

int jx_command_level(uint32_t command) {
    if (command == JX_CMD_EXPAND_ALL) return JX_ROWS_ALL;
    if (command == JX_CMD_COLLAPSE_ALL) return 1;
    if (command >= JX_CMD_LEVEL_1 && command <= JX_CMD_LEVEL_1 + 8) return int(command - JX_CMD_COLLAPSE_ALL);
    return -1;
}

int jx_view_set_rows(JxView *view, JxRows *rows, JxRows **old) {
    if (!view || !rows || !old || !shows_rows(view) || jx_rows_doc(rows) != view->doc || jx_rows_count(rows) == 0) return 0;
    *old = std::exchange(view->rows, rows);
    return levels_done(view);
}

int jx_view_command(JxView *view, uint32_t command) {
    if (!view) return 0;
    switch (command) {
        case JX_CMD_FIND_NEXT:
        case JX_CMD_FIND_PREVIOUS: {
            const uint32_t hit = jx_search_next(view->search, view->selected, command == JX_CMD_FIND_PREVIOUS);
            return hit == JX_NONE ? 0 : jump(view, jx_search_hit(view->search, hit));
        }
        case JX_CMD_BACK: return jx__view_step(view, false);
        case JX_CMD_FORWARD: return jx__view_step(view, true);
        case JX_CMD_NEXT_PROBLEM: {
            const uint32_t node = next_problem(view);
            return node == JX_NONE ? 0 : jump(view, node);
        }
        default:
            if (jx_command_level(command) >= 0) return expand_levels(view, command);
            return 0;
    }
}

/* ---- shortcuts and combinations ---- */

uint32_t jx_shortcut(uint32_t key, uint32_t mods) {
    if (key >= 'a' && key <= 'z') key -= 'a' - 'A';
    if (mods == JX_MOD_OPTION && key >= '1' && key <= '9') return JX_CMD_LEVEL_1 + (key - '1');
    for (const Shortcut &s : SHORTCUTS) {
        if (s.key == key && s.mods == mods) return s.command;
    }
    return 0;
}

/* ASCII letters compare without case; name is lower case. */
static bool same_word(std::string_view word, std::string_view name) {
    return std::equal(word.begin(), word.end(), name.begin(), name.end(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? char(a + ('a' - 'A')) : a) == b;
    });
}

/* The key code of a combination's last part, 0 for none. */
static uint32_t key_of(std::string_view s) {
    if (s.size() == 1) {
        const char c = s[0];
        if (c >= 'a' && c <= 'z') return uint32_t(c - ('a' - 'A'));
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return uint32_t(c);
        if (c == '-' || c == '=' || c == '[' || c == ']') return uint32_t(c);
        return 0;
    }
    for (uint32_t i = 0; i < std::size(KEY_NAMES); i++) {
        if (same_word(s, KEY_NAMES[i])) return JX_KEY_UP + i;
    }
    return 0;
}

int jx_copy_word(const char *word, size_t len, uint32_t *what, int *style) {
    if (!word) return 0;
    for (const CopyWord &c : COPY_WORDS) {
        if (c.word != std::string_view(word, len)) continue;
        if (what) *what = c.what;
        if (style) *style = c.style;
        return 1;
    }
    return 0;
}

const char *jx_copy_word_name(uint32_t what, int style) {
    for (const CopyWord &c : COPY_WORDS)
        if (c.what == what && c.style == style) return c.word.data();
    return nullptr;
}

int jx_combo(const char *text, uint32_t *key, uint32_t *mods) {
    if (!text) return 0;
    std::string_view s(text);
    uint32_t m = 0;
    for (size_t plus; (plus = s.find('+')) != std::string_view::npos; s.remove_prefix(plus + 1)) {
        const std::string_view word = s.substr(0, plus);
        if (same_word(word, "mod"))
            m |= JX_MOD_COMMAND;
        else if (same_word(word, "alt"))
            m |= JX_MOD_OPTION;
        else if (same_word(word, "shift"))
            m |= JX_MOD_SHIFT;
        else
            return 0;
    }
    const uint32_t k = key_of(s);
    if (k == 0) return 0;
    if (key) *key = k;
    if (mods) *mods = m;
    return 1;
}
