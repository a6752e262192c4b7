// Drives a view as a window would. The first byte holds flags (bit 0: JSON Lines), the second the
// length of a small document that follows; the rest is a program of steps, each an operation byte
// and its arguments: keys, clicks, typing against a clock, commands, paths to go to, crumbs,
// searches, mode switches with Text view models, copies, dumps, save and restore, key combinations.
// After every step the view's invariants must hold.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "jx.h"
#include "view_int.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

// Names the broken invariant before stopping, so that a saved input explains itself.
#define CHECK(cond)                                                           \
    do {                                                                      \
        if (!(cond)) {                                                        \
            std::fprintf(stderr, "view_fuzz: line %d: %s\n", __LINE__, #cond); \
            __builtin_trap();                                                 \
        }                                                                     \
    } while (0)

constexpr uint32_t KEYS[] = {JX_KEY_UP,   JX_KEY_DOWN,  JX_KEY_LEFT,   JX_KEY_RIGHT, JX_KEY_PAGEUP,
                             JX_KEY_PAGEDOWN, JX_KEY_HOME, JX_KEY_END, JX_KEY_SPACE, JX_KEY_RETURN,
                             JX_KEY_ESC,  JX_KEY_F3,    JX_KEY_F5,     'A',          'G',
                             'C',         '1',          '3',           '[',          ']',
                             '=',         '-',          'z',           0,            300};
constexpr uint32_t CODE_POINTS[] = {'a', 'b', 'o', 'A', '1', '2', '0', 0xE9, 0xC9, 0xDF, 0x1F600,
                                    ' ', 31,  127, 0x110000};
constexpr const char *KEY_NAMES[] = {"up",    "down",   "left", "right", "pageup", "pagedown", "home",
                                     "end",   "space",  "return", "esc", "f3",     "f5"};

struct Input {
    const uint8_t *p, *end;
    uint32_t byte() { return p < end ? *p++ : 0; }
    uint32_t u16() { return byte() | byte() << 8; }
    std::string text() {
        size_t n = byte();
        n = std::min<size_t>(n, size_t(end - p));
        std::string s(reinterpret_cast<const char *>(p), n);
        p += n;
        return s;
    }
};

void check(const JxView *v) {
    const JxDoc *doc = jx_view_doc(v);
    const uint32_t nodes = jx_doc_count(doc), count = jx_view_count(v);
    const uint32_t sel = jx_view_selected_node(v);
    CHECK(sel == JX_NONE || sel < nodes);
    CHECK(v->back_count <= JX_VIEW_HISTORY && v->forward_count <= JX_VIEW_HISTORY);
    for (uint32_t i = 0; i < v->back_count; i++) CHECK(v->back[i] < nodes);
    for (uint32_t i = 0; i < v->forward_count; i++) CHECK(v->forward[i] < nodes);
    CHECK(v->type_len <= 64);
    const uint32_t row = jx_view_selected(v), anchor = jx_view_anchor(v);
    CHECK(row == JX_NONE || row < count);
    if (jx_view_mode(v) == JX_MODE_TEXT) {
        CHECK(jx_view_text(v) != nullptr);
        CHECK(anchor == JX_NONE || anchor < count);
        CHECK((row == JX_NONE) == (anchor == JX_NONE));
    } else {
        CHECK(jx_view_mode(v) == JX_MODE_TREE && anchor == JX_NONE);
        // The selection always has a row, and there is one whenever there are rows.
        CHECK(sel == JX_NONE ? count == 0 : row != JX_NONE);
    }
}

void check_copies(const JxView *v) {
    for (uint32_t kind = JX_CMD_COPY_VALUE; kind <= JX_CMD_COPY_MINIFIED; kind++) {
        size_t len = 1;
        char *copy = jx_view_copy(v, kind, JX_PATH_JSONPATH, &len);
        CHECK(copy ? len == jx_view_copy_size(v, kind) && copy[len] == 0 : len == 0);
        std::free(copy);
    }
}

void check_text(size_t (*get)(const JxView *, char *, size_t), const JxView *v) {
    char small[5];
    const size_t len = get(v, nullptr, 0);
    std::string whole(len + 1, 'x');
    CHECK(get(v, whole.data(), whole.size()) == len && whole[len] == 0);
    CHECK(get(v, small, sizeof small) == len && std::strlen(small) < sizeof small);
    CHECK(std::strncmp(small, whole.c_str(), std::strlen(small)) == 0);
}

// The combination written back as text reads the same; the shortcut does not care for letter case.
void check_combo(const std::string &text) {
    uint32_t key = 0, mods = 0;
    if (!jx_combo(text.c_str(), &key, &mods)) return;
    CHECK(mods <= 7 && key != 0 && (key <= 255 || (key >= JX_KEY_UP && key <= JX_KEY_F5)));
    std::string again = std::string(mods & JX_MOD_COMMAND ? "mod+" : "") + (mods & JX_MOD_OPTION ? "alt+" : "") +
                        (mods & JX_MOD_SHIFT ? "shift+" : "");
    again += key >= JX_KEY_UP ? std::string(KEY_NAMES[key - JX_KEY_UP]) : std::string(1, char(key));
    uint32_t key2 = 0, mods2 = 0;
    CHECK(jx_combo(again.c_str(), &key2, &mods2) == 1 && key2 == key && mods2 == mods);
    if (key >= 'A' && key <= 'Z') CHECK(jx_shortcut(key, mods) == jx_shortcut(key + 32, mods));
    const uint32_t command = jx_shortcut(key, mods);
    CHECK(command <= JX_CMD_NEXT_PROBLEM);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const bool lines = data[0] & 1;
    const size_t doc_len = std::min<size_t>(data[1], size - 2);
    char *buf = jx_buf_alloc(doc_len);
    if (!buf) return 0;
    std::memcpy(buf, data + 2, doc_len);
    jx_parse_options opt{};
    opt.lines = lines;
    JxDoc *doc = jx_parse(buf, doc_len, &opt, nullptr, nullptr);
    if (!doc) return 0;
    JxView *v = jx_view_new(doc);
    if (!v) {
        jx_doc_release(doc);
        return 0;
    }
    Input in{data + 2 + doc_len, data + size};
    uint64_t clock = 1000000;
    JxLine line;
    jx_line_init(&line);
    for (int steps = 0; in.p < in.end && steps < 400; steps++) {
        const uint32_t op = in.byte() % 16;
        switch (op) {
            case 0: {
                const uint32_t key = KEYS[in.byte() % std::size(KEYS)], mods = in.byte() & 7;
                jx_view_key(v, key, mods, in.byte() % 12);
                break;
            }
            case 1: {
                const uint32_t row = in.u16(), flags = in.byte();
                jx_view_click(v, row, flags & 1, flags >> 1 & 7);
                break;
            }
            case 2: jx_view_double_click(v, in.u16()); break;
            case 3: {
                const uint32_t cp = CODE_POINTS[in.byte() % std::size(CODE_POINTS)], delta = in.byte();
                // Mostly forward in small steps, sometimes a long pause or a step back.
                clock = delta == 255 ? clock - 5000 : clock + delta * 10;
                jx_view_type(v, cp, clock);
                break;
            }
            case 4: jx_view_command(v, JX_CMD_FIND_NEXT + in.byte() % 17); break;
            case 5: {
                const std::string path = in.text();
                char err[48];
                jx_view_goto(v, path.data(), path.size(), err, sizeof err);
                CHECK(std::memchr(err, 0, sizeof err) != nullptr);
                break;
            }
            case 6: {
                const uint32_t i = in.byte() % 8;
                char label[8];
                jx_view_crumb(v, i, label, sizeof label);
                if (i & 1) jx_view_crumb_click(v, i / 2);
                break;
            }
            case 7: {
                const uint32_t flags = in.byte();
                const std::string query = in.text();
                JxSearchOptions o{};
                o.match_case = flags & 1;
                o.regex = flags >> 1 & 1;
                o.scope = uint8_t(flags >> 2 & 3) % 3;
                o.max_hits = flags >> 4 & 3;
                JxSearch *s = jx_search_new(doc, query.data(), query.size(), &o, nullptr, 0);
                jx_view_set_search(v, s);
                if (s && !(flags & 0x40)) jx_search_run(s, nullptr);
                jx_view_search_update(v);
                break;
            }
            case 8: jx_view_search_update(v); break;
            case 9: {
                const uint32_t what = in.byte();
                if (what % 4 == 0) jx_view_set_mode(v, what >> 2 & 1 ? JX_MODE_TEXT : JX_MODE_TREE);
                if (what % 4 == 1) jx_view_set_text(v, jx_text_new(doc, int(what >> 2 & 1), nullptr, nullptr));
                if (what % 4 == 2) jx_view_set_text(v, nullptr);
                if (what % 4 == 3) CHECK(jx_view_set_mode(v, 2 + (what >> 2)) == 0);
                break;
            }
            case 10: check_copies(v); break;
            case 11: {
                const uint32_t first = in.byte(), count = in.byte() == 255 ? UINT32_MAX : in.byte();
                size_t len = 1;
                char *rows = jx_view_dump_rows(v, first, count, &len);
                CHECK(rows && std::strlen(rows) <= len && rows[len] == 0);
                std::free(rows);
                char *state = jx_view_dump_state(v, &len);
                CHECK(state && std::strlen(state) <= len && state[len] == 0);
                std::free(state);
                break;
            }
            case 12: {
                const uint32_t top = in.byte();
                JxState *state = jx_view_save(v, top);
                uint32_t new_top = 0;
                JxView *next = jx_view_restore(doc, state, &new_top);
                jx_state_free(state);
                CHECK(next != nullptr);
                jx_view_free(v);
                v = next;
                CHECK(new_top == 0 || new_top < jx_view_count(v));
                break;
            }
            case 13: jx_view_select_node(v, in.u16()); break;
            case 14: {
                jx_view_line(v, in.u16() % 64, in.byte() % 130, &line);
                CHECK(line.text[line.len] == 0);
                check_text(jx_view_search_label, v);
                check_text(jx_view_select_text, v);
                check_text([](const JxView *w, char *b, size_t n) { return jx_view_path(w, JX_PATH_JQ, b, n); }, v);
                size_t len = 1;
                char *text = jx_view_inspect(v, JX_PATH_POINTER, &len);
                CHECK(text ? std::strlen(text) <= len : len == 0);
                std::free(text);
                jx_view_take_reveal(v);
                break;
            }
            default: {
                std::string text = in.text();
                text.resize(std::strlen(text.c_str()));
                check_combo(text);
                break;
            }
        }
        check(v);
    }
    jx_line_free(&line);
    jx_view_free(v);
    jx_doc_release(doc);
    return 0;
}
