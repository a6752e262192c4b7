#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"
#include "view_int.h"

using jxtest::Doc;

namespace {

struct ViewDeleter {
    void operator()(JxView *v) const { jx_view_free(v); }
};
using View = std::unique_ptr<JxView, ViewDeleter>;
struct StateDeleter {
    void operator()(JxState *s) const { jx_state_free(s); }
};
using State = std::unique_ptr<JxState, StateDeleter>;

std::string path(const JxDoc *d, uint32_t node) {
    std::string s(jx_path(d, node, JX_PATH_JSONPATH, nullptr, 0) + 1, '\0');
    s.resize(jx_path(d, node, JX_PATH_JSONPATH, s.data(), s.size()));
    return s;
}

uint32_t resolve(const JxDoc *d, const std::string &p) {
    char msg[256];
    return jx_resolve(d, p.data(), p.size(), msg, sizeof msg);
}

uint32_t node(const JxDoc *d, const std::string &p) {
    const uint32_t n = resolve(d, p);
    EXPECT_NE(n, JX_NONE) << p;
    return n;
}

// The node at path p, when p is its own path (an index also reaches an object's member, by position,
// and that is not the same path).
uint32_t at_path(const JxDoc *d, const std::string &p) {
    const uint32_t n = resolve(d, p);
    return n != JX_NONE && path(d, n) == p ? n : JX_NONE;
}

bool expandable(const JxDoc *d, uint32_t n) { return jx_type(d, n) <= JX_ARRAY && jx_child_count(d, n) > 0; }

// Saves view with the given top row and restores the state over doc.
View reload(const JxView *view, uint32_t top, JxDoc *doc, uint32_t *new_top) {
    State s(jx_view_save(view, top));
    EXPECT_NE(s, nullptr);
    return View(jx_view_restore(doc, s.get(), new_top));
}

// The paths of the expanded nodes, sorted.
std::vector<std::string> expanded_paths(const JxView *v) {
    std::vector<std::string> out;
    for (uint32_t n = 0; n < jx_doc_count(v->doc); n++)
        if (jx_rows_expanded(v->rows, n)) out.push_back(path(v->doc, n));
    std::sort(out.begin(), out.end());
    return out;
}

void expand(JxView *v, const std::vector<std::string> &paths) {
    for (const std::string &p : paths) jx_rows_expand(v->rows, node(v->doc, p));
}

std::string keys_object(int from, int to, const std::string &extra_first = "") {
    std::string s = "{" + extra_first;
    for (int i = from; i < to; i++) s += (i > from || !extra_first.empty() ? "," : "") + ("\"k" + std::to_string(i) + "\":[" + std::to_string(i) + "]");
    return s + "}";
}

}  // namespace

// ---- the cases that catch real faults ----

TEST(Restore, UnchangedReloadIsExactAndKeepsNothing) {
    const std::string text = R"({"a":{"b":[1,{"c":2},[3]],"d":{}},"e":[[[4]]],"f":{"g":{"h":5}}})";
    Doc d1(text), d2(text);
    View v(jx_view_new(d1));
    jx_rows_collapse(v->rows, node(d1, "$.a"));  // closed, but its inner expansion is kept
    expand(v.get(), {"$.e[0]", "$.e[0][0]", "$.a.b[2]"});
    jx__view_go(v.get(), node(d1, "$.e[0][0][0]"));
    const uint32_t top = 2;
    uint32_t new_top = 99;
    View r = reload(v.get(), top, d2, &new_top);
    EXPECT_EQ(expanded_paths(r.get()), expanded_paths(v.get()));
    EXPECT_EQ(path(d2, r->selected), "$.e[0][0][0]");
    EXPECT_EQ(new_top, top);
    EXPECT_EQ(jx_rows_count(r->rows), jx_rows_count(v->rows));
    EXPECT_EQ(r->restored_from, nullptr);
    EXPECT_EQ(r->restored, 1);
    EXPECT_EQ(jx_view_mode(r.get()), JX_MODE_TREE);
}

TEST(Restore, KeyInsertedBeforeTheSelectionInALargeObject) {
    Doc d1(keys_object(0, 1000)), d2(keys_object(0, 1000, "\"new\":0"));
    View v(jx_view_new(d1));
    std::vector<std::string> open = {"$"};
    for (int i = 400; i < 1000; i += 7) open.push_back("$.k" + std::to_string(i));
    expand(v.get(), open);
    jx__view_go(v.get(), node(d1, "$.k500"));
    uint32_t top = 0;
    View r = reload(v.get(), jx_rows_find(v->rows, node(d1, "$.k450")), d2, &top);
    EXPECT_EQ(path(d2, r->selected), "$.k500");
    EXPECT_EQ(expanded_paths(r.get()), expanded_paths(v.get()));
    EXPECT_EQ(path(d2, uint32_t(jx_rows_node(r->rows, top))), "$.k450");
    EXPECT_EQ(r->restored_from, nullptr);
}

TEST(Restore, LostTargetsComeBackThroughIntermediateVersions) {
    struct Case {
        const char *name;
        const char *v1, *v2, *v3;
        const char *select, *expand; // in v1
        bool user_moves;              // selects something else in the v2 view
        const char *want_sel;         // in v3
        bool want_expanded;           // expand's path in v3
    };
    const Case cases[] = {
        {"index 7 falls back then returns", "{\"a\":[0,1,2,3,4,5,6,7,8,9]}", "{\"a\":[0,1,2,3,4]}",
         "{\"a\":[0,1,2,3,4,5,6,7,8,9]}", "$.a[7]", nullptr, false, "$.a[7]", false},
        {"not after the user chose another node", "{\"a\":[0,1,2,3,4,5,6,7,8,9],\"b\":1}",
         "{\"a\":[0,1,2,3,4],\"b\":1}", "{\"a\":[0,1,2,3,4,5,6,7,8,9],\"b\":1}", "$.a[7]", nullptr, true, "$.b",
         false},
        {"expanded node absent then present", "{\"x\":{\"y\":{\"z\":1}},\"w\":[1]}", "{\"w\":[1]}",
         "{\"w\":[1],\"x\":{\"y\":{\"z\":1}}}", "$.w", "$.x.y", false, "$.w", true},
        {"renamed key back again", "{\"p\":[{\"q\":[1]}]}", "{\"p\":[{\"r\":[1]}]}", "{\"p\":[{\"q\":[1]}]}",
         "$.p[0].q[0]", "$.p[0].q", false, "$.p[0].q[0]", true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Doc d1(c.v1), d2(c.v2), d3(c.v3);
        View v1(jx_view_new(d1));
        if (c.expand) jx_rows_reveal(v1->rows, node(d1, c.expand)), jx_rows_expand(v1->rows, node(d1, c.expand));
        jx__view_go(v1.get(), node(d1, c.select));
        View v2 = reload(v1.get(), 0, d2, nullptr);
        ASSERT_NE(v2->restored_from, nullptr);
        if (c.user_moves) {
            jx__view_moved(v2.get());
            jx__view_jump(v2.get(), node(d2, c.want_sel));
        }
        View v3 = reload(v2.get(), 0, d3, nullptr);
        EXPECT_EQ(path(d3, v3->selected), c.want_sel);
        if (c.expand) { EXPECT_EQ(jx_rows_expanded(v3->rows, node(d3, c.expand)), c.want_expanded); }
        EXPECT_EQ(v3->restored_from, nullptr);
    }
}

TEST(Restore, TextViewLinesFollowTheSelectedNode) {
    // The same value with 3 lines inserted above it.
    const std::string tail = R"("a":{"b":[1,2,3],"c":"x"},"d":[4,5,6,7,8,9])";
    Doc d1("{" + tail + "}"), d2(R"({"n":[0,0],)" + tail + "}");
    struct Case {
        const char *name;
        bool on_node; // the cursor on the selected node's line
        uint32_t cursor, anchor, top;
        uint32_t want_cursor, want_anchor, want_top;
        const char *want_sel;
    };
    // Pretty lines of d1: 0 {, 1 "a": {, 2 "b": [, 3 1, 4 2, 5 3, 6 ], 7 "c", 8 }, 9 "d": [ ...; d2 has
    // 4 more lines ("n": [, 0, 0, ]) after the first.
    const Case cases[] = {
        {"shifted by the inserted lines", true, 4, 2, 1, 8, 6, 5, "$.a.b[1]"},
        {"anchor below the cursor", true, 3, 5, 0, 7, 9, 4, "$.a.b[0]"},
        {"no shift when the cursor was elsewhere", false, 4, 4, 1, 4, 4, 1, "$.n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        View v(jx_view_new(d1));
        v->text = jx_text_new(d1, JX_TEXT_PRETTY, nullptr, nullptr);
        v->mode = JX_MODE_TEXT;
        v->cursor_line = c.cursor;
        v->anchor_line = c.anchor;
        v->selected = c.on_node ? jx_text_node_of(v->text, c.cursor) : node(d1, "$.d");
        uint32_t top = 0;
        View r = reload(v.get(), c.top, d2, &top);
        ASSERT_EQ(jx_view_mode(r.get()), JX_MODE_TEXT);
        ASSERT_EQ(jx_text_mode(r->text), JX_TEXT_PRETTY);
        EXPECT_EQ(r->cursor_line, c.want_cursor);
        EXPECT_EQ(r->anchor_line, c.want_anchor);
        EXPECT_EQ(top, c.want_top);
        EXPECT_EQ(path(d2, r->selected), c.want_sel);
    }
}

TEST(Restore, OverAHundredThousandOpenNodesRestoresEverythingExpanded) {
    std::string text = "[";
    for (int i = 0; i < 100005; i++) text += i ? ",[1]" : "[1]";
    Doc d1(text + "]"), d2(text + ",[2],{\"x\":[]}]");
    View v(jx_view_new(d1));
    jx_rows_expand_all(v->rows);
    jx__view_go(v.get(), node(d1, "$[70000][0]"));
    uint32_t top = 0;
    View r = reload(v.get(), 5, d2, &top);
    EXPECT_EQ(jx_rows_count(r->rows), jx_doc_count(d2));
    EXPECT_EQ(path(d2, r->selected), "$[70000][0]");
    EXPECT_EQ(top, 5u);
    // Restored over a small version and saved again untouched, the view still counts as everything
    // expanded, though it has few open nodes now.
    Doc small("[[1],{\"a\":[2]}]"), d3("[[1],{\"a\":[2,[3]]},[[4]]]");
    View s = reload(v.get(), 0, small, nullptr);
    EXPECT_EQ(jx_rows_count(s->rows), jx_doc_count(small));
    View again = reload(s.get(), 0, d3, nullptr);
    EXPECT_EQ(jx_rows_count(again->rows), jx_doc_count(d3));
}

TEST(Restore, NullStateOrEmptyDocumentGivesTheDefaultView) {
    Doc d(R"({"a":{"b":{"c":{"d":1}}}})"), empty("");
    uint32_t top = 7;
    View r(jx_view_restore(d, nullptr, &top));
    View fresh(jx_view_new(d));
    EXPECT_EQ(top, 0u);
    EXPECT_EQ(expanded_paths(r.get()), expanded_paths(fresh.get()));
    EXPECT_EQ(r->selected, 0u);
    // A view saved over a document restored over an empty one, and back.
    View v(jx_view_new(d));
    jx__view_go(v.get(), node(d, "$.a.b.c.d"));
    View e = reload(v.get(), 0, empty, &top);
    EXPECT_EQ(e->selected, JX_NONE);
    EXPECT_EQ(jx_rows_count(e->rows), 0u);
    EXPECT_NE(e->restored_from, nullptr);
    View back = reload(e.get(), 0, d, &top);
    EXPECT_EQ(path(d, back->selected), "$.a.b.c.d");
    EXPECT_EQ(expanded_paths(back.get()), expanded_paths(v.get()));
    EXPECT_EQ(jx_view_save(nullptr, 0), nullptr);
}

// ---- random documents and edits ----

namespace {

// A document as a tree that edits can change, written out as JSON, JSON5 or JSON Lines.
struct Model {
    enum Kind { SCALAR, OBJECT, ARRAY, BAD };
    Kind kind = SCALAR;
    std::string text;  // scalar or unreadable record as written
    std::vector<std::pair<std::string, Model>> children;  // decoded key (objects only) and value
};

struct Gen {
    std::mt19937 rng;
    int syntax;  // 0 JSON, 1 JSON5, 2 JSON Lines
    int counter = 0;

    uint32_t pick(uint32_t n) { return rng() % n; }
    std::string fresh_key() {
        static const char *const KEYS[] = {"a", "b c", "é", "\"q\"", "", "k_2", "\t", "a\\b", "😀"};
        return pick(3) ? "k" + std::to_string(counter++) : KEYS[pick(9)] + std::to_string(counter++ % 3);
    }
    Model value(int depth) {
        Model m;
        const uint32_t r = depth > 3 ? 0 : pick(5);
        if (r < 2) {
            static const char *const S[] = {"1", "\"s\"", "true", "null", "-2.5e3", "\"\\u00e9\""};
            m.text = S[pick(6)];
            return m;
        }
        m.kind = r == 2 ? Model::ARRAY : Model::OBJECT;
        for (uint32_t i = 0, n = pick(depth == 0 ? (pick(3) ? 12 : 80) : 6); i < n; i++) add_child(m, depth + 1);
        return m;
    }
    bool has_key(const Model &m, const std::string &k) {
        return std::any_of(m.children.begin(), m.children.end(), [&](auto &c) { return c.first == k; });
    }
    void add_child(Model &m, int depth, size_t at = SIZE_MAX) {
        std::string k;
        if (m.kind == Model::OBJECT)
            do k = fresh_key();
            while (has_key(m, k));
        at = std::min(at, m.children.size());
        m.children.insert(m.children.begin() + long(at), {k, value(depth)});
    }
    // Every container of the model, with its depth.
    void containers(Model &m, int depth, std::vector<std::pair<Model *, int>> &out) {
        if (m.kind != Model::OBJECT && m.kind != Model::ARRAY) return;
        out.push_back({&m, depth});
        for (auto &c : m.children) containers(c.second, depth + 1, out);
    }
    void edit(Model &root) {
        std::vector<std::pair<Model *, int>> all;
        containers(root, 0, all);
        if (all.empty()) return;
        auto [m, depth] = all[pick(3) ? pick(uint32_t(all.size())) : 0];  // the large root often
        const size_t n = m->children.size();
        switch (pick(6)) {
            case 0: add_child(*m, depth + 1, pick(uint32_t(n) + 1)); break;  // insert a key, grow an array
            case 1: if (n) m->children.erase(m->children.begin() + pick(uint32_t(n))); break;  // remove, shrink
            case 2:  // rename
                if (n && m->kind == Model::OBJECT) {
                    std::string k;
                    do k = fresh_key();
                    while (has_key(*m, k));
                    m->children[pick(uint32_t(n))].first = k;
                }
                break;
            case 3:  // move
                if (n > 1) {
                    const size_t from = pick(uint32_t(n));
                    auto c = m->children[from];
                    m->children.erase(m->children.begin() + long(from));
                    m->children.insert(m->children.begin() + pick(uint32_t(n)), c);
                }
                break;
            case 4: if (n) m->children[pick(uint32_t(n))].second = value(3); break;  // value changed
            default:  // records added (at the top level of JSON Lines), else anything appended
                add_child(*m, depth + 1);
                if (syntax == 2 && m == &root && pick(2)) root.children.back().second = Model{Model::BAD, "@bad", {}};
                break;
        }
    }
    std::string quoted(const std::string &k) {
        std::string s = "\"";
        for (char c : k) s += c == '"' ? "\\\"" : c == '\\' ? "\\\\" : c == '\t' ? "\\t" : std::string(1, c);
        return s + "\"";
    }
    std::string write_key(const std::string &k) {
        if (syntax == 1 && !k.empty() && std::all_of(k.begin(), k.end(), [](char c) { return isalnum(uint8_t(c)) || c == '_'; }) &&
            !isdigit(uint8_t(k[0])) && pick(2))
            return k;
        if (k == "é0" && pick(2)) return "\"\\u00e90\"";
        return quoted(k);
    }
    std::string write(const Model &m, bool top_lines = false) {
        if (m.kind == Model::SCALAR || m.kind == Model::BAD) return m.text;
        if (top_lines) {
            std::string s;
            for (auto &c : m.children) s += write(c.second) + "\n";
            return s;
        }
        const bool obj = m.kind == Model::OBJECT;
        std::string s = obj ? "{" : "[";
        for (size_t i = 0; i < m.children.size(); i++) {
            if (i) s += syntax == 2 ? "," : ",\n";
            if (syntax == 1 && pick(8) == 0) s += "/* c */ ";
            if (obj) s += write_key(m.children[i].first) + ":";
            s += write(m.children[i].second);
        }
        if (syntax == 1 && !m.children.empty() && pick(3) == 0) s += ",";
        return s + (obj ? "}" : "]");
    }
    Model document() {
        if (syntax != 2) return value(0);
        Model root;
        root.kind = Model::ARRAY;
        for (uint32_t i = 0, n = 1 + pick(6); i < n; i++) {
            root.children.push_back({"", pick(5) ? value(1) : Model{Model::BAD, "{", {}}});
        }
        return root;
    }
};

struct Before {
    std::vector<std::string> expanded;
    std::string selected;
};

Before observe(const JxView *v) {
    Before b;
    for (uint32_t n = 0; n < jx_doc_count(v->doc); n++)
        if (jx_rows_expanded(v->rows, n)) b.expanded.push_back(path(v->doc, n));
    b.selected = v->selected == JX_NONE ? "" : path(v->doc, v->selected);
    return b;
}

}  // namespace

TEST(RestoreProperties, RandomDocumentsAndEdits) {
    for (uint32_t seed = 1; seed <= 600; seed++) {
        Gen g{std::mt19937(seed), int(seed % 3)};
        Model m = g.document();
        const std::string t1 = g.syntax == 2 ? g.write(m, true) : g.write(m);
        const int edits = int(g.pick(4));
        for (int i = 0; i < edits; i++) g.edit(m);
        const std::string t2 = g.syntax == 2 ? g.write(m, true) : g.write(m);
        SCOPED_TRACE("seed " + std::to_string(seed) + "\n" + t1 + "\n----\n" + t2);
        const bool strict = g.syntax == 0, lines = g.syntax == 2;
        Doc d1(t1, strict, lines), d1_again(t1, strict, lines), d2(t2, strict, lines);
        ASSERT_GT(jx_doc_count(d1), 0u);

        View v(jx_view_new(d1));
        const uint32_t count = jx_doc_count(d1);
        for (uint32_t n = 0; n < count; n++) {
            const uint32_t r = g.pick(4);
            if (r == 0) jx_rows_expand(v->rows, n);
            if (r == 1) jx_rows_collapse(v->rows, n);
        }
        jx__view_go(v.get(), g.pick(count));
        const bool text_view = g.pick(3) == 0;
        const uint32_t rows = uint32_t(jx_rows_count(v->rows));
        uint32_t top = g.pick(rows + 1);  // one past the end now and then
        if (text_view) {
            v->text = jx_text_new(d1, int(g.pick(2)), nullptr, nullptr);
            v->mode = JX_MODE_TEXT;
            const uint32_t lines_count = jx_text_count(v->text);
            if (lines_count) {
                v->cursor_line = g.pick(2) ? jx_text_line_of(v->text, v->selected) : g.pick(lines_count);
                v->anchor_line = g.pick(lines_count);
                top = g.pick(lines_count);
            }
            const uint32_t on_line = jx_text_node_of(v->text, v->cursor_line);
            if (on_line != JX_NONE && jx_text_line_of(v->text, v->selected) != v->cursor_line) v->selected = on_line;
        }
        const Before b = observe(v.get());
        const uint32_t top_node = text_view ? JX_NONE : uint32_t(jx_rows_node(v->rows, top));

        // Over the unchanged document: exact.
        uint32_t same_top = 0;
        View same = reload(v.get(), top, d1_again, &same_top);
        ASSERT_NE(same, nullptr);
        EXPECT_EQ(observe(same.get()).expanded, b.expanded);
        EXPECT_EQ(same->selected, v->selected);
        EXPECT_EQ(same->restored_from, nullptr);
        if (text_view) {
            EXPECT_EQ(same->cursor_line, v->cursor_line);
            EXPECT_EQ(same->anchor_line, v->anchor_line);
            EXPECT_EQ(same_top, jx_text_count(v->text) ? top : 0);
        } else {
            EXPECT_EQ(same_top, top_node == JX_NONE ? 0 : top);
        }

        // Over the edited one: by path.
        uint32_t new_top = 0;
        View r = reload(v.get(), top, d2, &new_top);
        ASSERT_NE(r, nullptr);
        for (const std::string &p : b.expanded) {
            const uint32_t n = at_path(d2, p);
            if (n != JX_NONE && expandable(d2, n)) { EXPECT_TRUE(jx_rows_expanded(r->rows, n)) << p; }
        }
        const uint32_t sel = at_path(d2, b.selected);
        const bool exact = sel != JX_NONE;
        if (text_view) {
            ASSERT_EQ(jx_view_mode(r.get()), JX_MODE_TEXT);
            const uint32_t n = jx_text_count(r->text);
            const bool on_node = v->cursor_line != JX_NONE && jx_text_line_of(v->text, v->selected) == v->cursor_line;
            const int64_t shift = on_node && exact ? int64_t(jx_text_line_of(r->text, sel)) - v->cursor_line : 0;
            auto clamp = [&](uint32_t saved) {
                return saved == JX_NONE ? 0 : uint32_t(std::clamp<int64_t>(saved + shift, 0, int64_t(n) - 1));
            };
            if (n) {
                EXPECT_EQ(r->cursor_line, clamp(v->cursor_line));
                EXPECT_EQ(r->anchor_line, clamp(v->anchor_line));
                EXPECT_EQ(new_top, clamp(top));
                if (on_node && exact) {
                    EXPECT_EQ(r->selected, sel);
                } else if (jx_text_node_of(r->text, r->cursor_line) != JX_NONE) {
                    EXPECT_EQ(r->selected, jx_text_node_of(r->text, r->cursor_line));
                }
            }
        } else {
            if (exact) { EXPECT_EQ(r->selected, sel); }
            if (jx_doc_count(d2)) {
                ASSERT_NE(jx_rows_find(r->rows, r->selected), JX_NONE);
            } else {
                EXPECT_EQ(r->selected, JX_NONE);
            }
            EXPECT_LT(new_top, std::max<uint64_t>(1, jx_rows_count(r->rows)));
            if (top_node != JX_NONE) {
                const uint32_t t = at_path(d2, path(d1, top_node));
                if (t != JX_NONE && jx_rows_find(r->rows, t) != JX_NONE) { EXPECT_EQ(jx_rows_node(r->rows, new_top), t); }
            }
        }
    }
}

// ---- memory shortage ----

TEST(RestoreOutOfMemory, SaveGivesNullAndRestoreDropsOnlyWhatIsOptional) {
    // A 40-key object gets a table; a lost index keeps a copy of the state; one state is in the Text view.
    Doc d1(keys_object(0, 40) ), d2(keys_object(1, 40, "\"x\":[1]"));
    View v(jx_view_new(d1));
    expand(v.get(), {"$.k30", "$.k0"});
    jx__view_go(v.get(), node(d1, "$.k31[0]"));
    View tv(jx_view_new(d1));
    tv->text = jx_text_new(d1, JX_TEXT_FILE, nullptr, nullptr);
    tv->mode = JX_MODE_TEXT;
    tv->cursor_line = tv->anchor_line = 0;
    const View carrying = reload(v.get(), 3, d2, nullptr);
    ASSERT_NE(carrying->restored_from, nullptr);

    for (const JxView *view : {v.get(), tv.get(), carrying.get()}) {
        State whole(jx_view_save(view, 3));
        ASSERT_NE(whole, nullptr);
        jxtest::each_failure([&](uint64_t n, bool persistent) {
            jxtest::fail_at(n, persistent);
            State s(jx_view_save(view, 3));
            const bool failed = jxtest::disarm();
            EXPECT_EQ(s == nullptr, failed);
            return failed;
        });
        uint32_t want_top = 0;
        const View want(jx_view_restore(d2, whole.get(), &want_top));
        const View plain(jx_view_new(d2));
        jxtest::each_failure([&](uint64_t n, bool persistent) {
            jxtest::fail_at(n, persistent);
            uint32_t top = 99;
            View r(jx_view_restore(d2, whole.get(), &top));
            const bool failed = jxtest::disarm();
            if (!r) {
                EXPECT_TRUE(failed);
                return failed;
            }
            EXPECT_LT(top, std::max(1u, jx_view_count(r.get())));
            EXPECT_LT(r->selected, jx_doc_count(d2));
            if (!failed) {
                EXPECT_EQ(observe(r.get()).expanded, observe(want.get()).expanded);
                EXPECT_EQ(r->selected, want->selected);
                EXPECT_EQ(top, want_top);
                EXPECT_EQ(r->restored_from != nullptr, want->restored_from != nullptr);
            } else if (r->mode == JX_MODE_TREE) {
                EXPECT_NE(jx_rows_find(r->rows, r->selected), JX_NONE);
            }
            return failed;
        });
    }
}
