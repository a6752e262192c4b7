// The view controller: modes, clicks, history, crumbs, paths, copies, the search it follows, dumps.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"
#include "view_int.h"

using jxtest::Doc;
using jxtest::View;
using jxtest::view_state;

namespace {

// Nodes: 0 root, 1 a, 2 a[0], 3 a[1], 4 b, 5 c. Pretty lines: 0 "{", 1 a, 2 1, 3 2, 4 "]", 5 b, 6 c, 7 "}",
// 8 "}". Small enough that the default expansion shows every node as row = node.
constexpr char D1[] = R"({"a":[1,2],"b":{"c":true}})";

// Takes len by reference: it is read after the call that fills it.
std::string text_of(char *p, const size_t &len) {
    std::string s = p ? std::string(p, len) : "(null)";
    std::free(p);
    return s;
}

std::string crumb(const JxView *v, uint32_t i) {
    std::string s(jx_view_crumb(v, i, nullptr, 0) + 1, '#');
    s.resize(jx_view_crumb(v, i, s.data(), s.size()));
    return s;
}

std::string label(const JxView *v) {
    char buf[96];
    jx_view_search_label(v, buf, sizeof buf);
    return buf;
}

JxSearch *search(JxDoc *d, const char *query, uint32_t max_hits = 0, bool run = true) {
    JxSearchOptions o{};
    o.max_hits = max_hits;
    JxSearch *s = jx_search_new(d, query, std::strlen(query), &o, nullptr, 0);
    if (run) {
        EXPECT_EQ(jx_search_run(s, nullptr), JX_OK);
    }
    return s;
}

// Text view over d in mode, shown.
void show_text(JxView *v, int mode) {
    jx_view_set_text(v, jx_text_new(jx_view_doc(v), mode, nullptr, nullptr));
    ASSERT_EQ(jx_view_set_mode(v, JX_MODE_TEXT), 1);
}

}  // namespace

TEST(ViewEmpty, NothingSelectedAndNothingApplies) {
    Doc d("");
    ASSERT_NE(d.doc, nullptr);
    ASSERT_EQ(jx_doc_count(d), 0u);
    View v(d);
    const std::string before = view_state(v);
    EXPECT_EQ(jx_view_selected_node(v), JX_NONE);
    EXPECT_EQ(jx_view_selected(v), JX_NONE);
    EXPECT_EQ(jx_view_key(v, JX_KEY_DOWN, 0, 1), 0);
    EXPECT_EQ(jx_view_type(v, 'a', 0), 0);
    jx_view_click(v, 0, 1, 0);
    jx_view_double_click(v, 0);
    EXPECT_EQ(jx_view_command(v, JX_CMD_EXPAND_ALL), 0);
    EXPECT_EQ(jx_view_goto(v, "$", 1, nullptr, 0), 0);
    size_t len = 9;
    EXPECT_EQ(jx_view_copy(v, JX_CMD_COPY_JSON, 0, &len), nullptr);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(jx_view_copy_size(v, JX_CMD_COPY_VALUE), 0u);
    EXPECT_EQ(jx_view_crumb_count(v), 0u);
    EXPECT_EQ(view_state(v), before);
}

TEST(ViewNull, EveryCallIsSafe) {
    char buf[4] = "xyz";
    EXPECT_EQ(jx_view_crumb(nullptr, 0, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(jx_view_goto(nullptr, "$", 1, buf, sizeof buf), 0);
    EXPECT_EQ(jx_view_set_mode(nullptr, 0), 0);
    EXPECT_EQ(jx_view_path(nullptr, 0, buf, sizeof buf), 0u);
    EXPECT_EQ(jx_view_search_label(nullptr, buf, sizeof buf), 0u);
    EXPECT_EQ(jx_view_inspect(nullptr, 0, nullptr), nullptr);
    Doc d(D1);
    jx_view_set_text(nullptr, jx_text_new(d, JX_TEXT_PRETTY, nullptr, nullptr));  // freed, not leaked
    jx_view_set_search(nullptr, search(d, "a"));
    JxLine line;
    jx_line_init(&line);
    jx_view_line(nullptr, 0, 80, &line);
    EXPECT_EQ(line.len, 0u);
    EXPECT_EQ(line.node, JX_NONE);
    jx_line_free(&line);
}

// Back and forward against a plain model of two lists, over random jumps, crumbs and steps.
TEST(ViewHistory, FollowsAModelAndNeverHoldsMoreThan64) {
    std::string text = "[";
    for (int i = 0; i < 80; i++) text += (i ? "," : "") + std::to_string(i);
    Doc d(text + "]");
    View v(d);
    uint32_t sel = 0;
    std::deque<uint32_t> back, forward;
    auto push = [](std::deque<uint32_t> &list, uint32_t n) {
        if (list.size() == 64) list.pop_front();
        list.push_back(n);
    };
    std::mt19937 rng(7);
    for (int step = 0; step < 3000; step++) {
        const uint32_t op = rng() % 4, node = rng() % 81;
        if (op == 0 || op == 3) {
            if (op == 0) {
                jx_view_select_node(v, node);
            } else {
                jx_view_crumb_click(v, sel == 0 ? 0 : 1 - (node & 1));  // the root or the node itself
            }
            const uint32_t to = op == 0 ? node : (sel == 0 || (node & 1)) ? 0 : sel;
            if (to != sel) {
                push(back, sel);
                forward.clear();
            }
            sel = to;
        } else {
            auto &from = op == 1 ? back : forward, &to = op == 1 ? forward : back;
            EXPECT_EQ(jx_view_command(v, op == 1 ? JX_CMD_BACK : JX_CMD_FORWARD), from.empty() ? 0 : 1);
            if (!from.empty()) {
                const uint32_t n = from.back();
                from.pop_back();
                push(to, sel);
                sel = n;
            }
        }
        ASSERT_EQ(jx_view_selected_node(v), sel) << step;
        ASSERT_EQ(std::deque<uint32_t>(v.v->back, v.v->back + v.v->back_count), back) << step;
        ASSERT_EQ(std::deque<uint32_t>(v.v->forward, v.v->forward + v.v->forward_count), forward) << step;
    }
}

TEST(ViewHistory, SixtyFifthEntryDropsTheOldest) {
    std::string text = "[";
    for (int i = 0; i < 70; i++) text += (i ? ",0" : "0");
    Doc d(text + "]");
    View v(d);
    for (uint32_t n = 1; n <= 65; n++) jx_view_select_node(v, n);  // pushes 0 to 64
    ASSERT_EQ(v.v->back_count, 64u);
    EXPECT_EQ(v.v->back[0], 1u);
    EXPECT_EQ(jx_view_command(v, JX_CMD_BACK), 1);
    EXPECT_EQ(jx_view_selected_node(v), 64u);
    EXPECT_EQ(jx_view_command(v, JX_CMD_FORWARD), 1);
    EXPECT_EQ(jx_view_selected_node(v), 65u);
    EXPECT_EQ(jx_view_command(v, JX_CMD_FORWARD), 0);
    EXPECT_EQ(jx_view_command(v, JX_CMD_BACK), 1);
    jx_view_select_node(v, 3);  // a new jump after going back empties forward
    EXPECT_EQ(v.v->forward_count, 0u);
}

TEST(ViewModes, TextCursorAndBackToTheTree) {
    Doc d(D1);
    View v(d);
    EXPECT_EQ(jx_view_set_mode(v, JX_MODE_TEXT), 0);  // no model yet
    EXPECT_EQ(jx_view_set_mode(v, 7), 0);
    EXPECT_EQ(jx_view_set_mode(v, JX_MODE_TREE), 1);
    jx_view_set_text(v, jx_text_new(d, JX_TEXT_PRETTY, nullptr, nullptr));
    EXPECT_EQ(jx_view_mode(v), JX_MODE_TREE);
    jx_view_take_reveal(v);
    ASSERT_EQ(jx_view_set_mode(v, JX_MODE_TEXT), 1);
    EXPECT_EQ(jx_view_selected(v), 0u);
    EXPECT_EQ(jx_view_anchor(v), 0u);
    EXPECT_EQ(jx_view_count(v), 9u);
    EXPECT_EQ(jx_view_take_reveal(v), 0u);
    EXPECT_EQ(jx_view_take_reveal(v), JX_NONE);

    jx_view_click(v, 7, 0, 0);  // the closing line of b
    EXPECT_EQ(jx_view_selected_node(v), 4u);
    jx_rows_collapse(jx_view_rows(v), 0);
    jx_view_click(v, 6, 0, 0);  // c
    ASSERT_EQ(jx_view_set_mode(v, JX_MODE_TREE), 1);
    EXPECT_EQ(jx_view_selected_node(v), 5u);
    EXPECT_EQ(jx_view_selected(v), 5u);  // revealed: the root opened again
    EXPECT_EQ(jx_view_anchor(v), JX_NONE);
    EXPECT_EQ(jx_view_take_reveal(v), 5u);

    // Handing over another model while shown moves the cursor to the selection's line there.
    ASSERT_EQ(jx_view_set_mode(v, JX_MODE_TEXT), 1);
    EXPECT_EQ(jx_view_selected(v), 6u);
    jx_view_set_text(v, jx_text_new(d, JX_TEXT_FILE, nullptr, nullptr));
    EXPECT_EQ(jx_view_selected(v), 0u);  // the file has one line
    EXPECT_EQ(jx_view_count(v), 1u);
    jx_view_set_text(v, nullptr);  // taken away while shown: back to the tree, on c
    EXPECT_EQ(jx_view_mode(v), JX_MODE_TREE);
    EXPECT_EQ(jx_view_text(v), nullptr);
    EXPECT_EQ(jx_view_selected_node(v), 5u);
}

// Clicks on rows and expanders, shift-clicks in the Text view, double clicks.
TEST(ViewClicks, SelectToggleAndExtend) {
    Doc d(D1);
    View v(d);
    struct Case {
        uint32_t row;
        int expander, mods;
        bool twice;  // a double click
        uint32_t selected;
        std::vector<uint32_t> rows;
    } cases[] = {
        {1, 1, 0, false, 1, {0, 1, 4, 5}},                    // closes a
        {1, 1, 0, false, 1, {0, 1, 2, 3, 4, 5}},              // opens it again
        {2, 1, 0, false, 2, {0, 1, 2, 3, 4, 5}},              // a scalar has nothing to open
        {0, 1, JX_MOD_OPTION, false, 0, {0}},                 // closes the whole tree
        {0, 1, JX_MOD_OPTION, false, 0, {0, 1, 2, 3, 4, 5}},  // opens it all
        {3, 0, 0, true, 3, {0, 1, 2, 3, 4, 5}},
        {4, 0, 0, true, 4, {0, 1, 2, 3, 4}},
        {9, 1, 0, true, 4, {0, 1, 2, 3, 4}},  // past the rows: nothing
    };
    for (const Case &c : cases) {
        if (c.twice)
            jx_view_double_click(v, c.row);
        else
            jx_view_click(v, c.row, c.expander, uint32_t(c.mods));
        EXPECT_EQ(jx_view_selected_node(v), c.selected) << c.row;
        std::vector<uint32_t> rows;
        for (uint64_t r = 0; r < jx_rows_count(jx_view_rows(v)); r++)
            rows.push_back(uint32_t(jx_rows_node(jx_view_rows(v), r)));
        EXPECT_EQ(rows, c.rows) << c.row;
    }
    EXPECT_EQ(jx_rows_open_count(jx_view_rows(v)), 2u);

    show_text(v, JX_TEXT_PRETTY);
    jx_view_click(v, 2, 0, 0);
    jx_view_click(v, 5, 0, JX_MOD_SHIFT);
    EXPECT_EQ(jx_view_selected(v), 5u);
    EXPECT_EQ(jx_view_anchor(v), 2u);
    EXPECT_EQ(jx_view_selected_node(v), 4u);
    size_t len = 0;
    EXPECT_EQ(text_of(jx_view_copy(v, JX_CMD_COPY_VALUE, 0, &len), len), "    1,\n    2\n  ],\n  \"b\": {");
    jx_view_double_click(v, 8);
    EXPECT_EQ(jx_view_anchor(v), 8u);
    EXPECT_EQ(jx_view_selected_node(v), 0u);
}

// A level command finished with rows built elsewhere: the selection falls back as the command's
// would, and rows the view cannot show are refused and stay the caller's.
TEST(ViewLevels, RowsBuiltApartAreSwappedIn) {
    Doc d(D1), other(D1);
    View v(d);
    jx_view_select_node(v, 3);
    jx_view_take_reveal(v);
    JxRows *old = nullptr;
    JxRows *foreign = jx_rows_at_level(other, 1, nullptr);
    EXPECT_EQ(jx_view_set_rows(v, foreign, &old), 0);
    jx_rows_free(foreign);
    JxRows *rows = jx_rows_at_level(d, jx_command_level(JX_CMD_COLLAPSE_ALL), nullptr);
    const JxRows *before = jx_view_rows(v);
    ASSERT_EQ(jx_view_set_rows(v, rows, &old), 1);
    EXPECT_EQ(old, before);
    jx_rows_free(old);
    EXPECT_EQ(jx_view_rows(v), rows);
    EXPECT_EQ(jx_view_selected_node(v), 1u);  // a[1] is hidden: its array is selected
    EXPECT_EQ(jx_view_take_reveal(v), 1u);

    show_text(v, JX_TEXT_PRETTY);
    rows = jx_rows_at_level(d, JX_ROWS_ALL, nullptr);
    EXPECT_EQ(jx_view_set_rows(v, rows, &old), 0);
    jx_rows_free(rows);
    EXPECT_EQ(jx_command_level(JX_CMD_LEVEL_1 + 8), 9);
    EXPECT_EQ(jx_command_level(JX_CMD_BACK), -1);
}

TEST(ViewCrumbs, LabelsAndJumps) {
    Doc d(D1);
    View v(d);
    jx_view_select_node(v, 5);
    ASSERT_EQ(jx_view_crumb_count(v), 3u);
    EXPECT_EQ(crumb(v, 0), "root");
    EXPECT_EQ(crumb(v, 1), "b");
    EXPECT_EQ(crumb(v, 2), "c");
    EXPECT_EQ(crumb(v, 3), "");
    jx_view_crumb_click(v, 3);
    EXPECT_EQ(jx_view_selected_node(v), 5u);
    jx_view_crumb_click(v, 1);
    EXPECT_EQ(jx_view_selected_node(v), 4u);
    EXPECT_EQ(v.v->back[v.v->back_count - 1], 5u);

    Doc lines("{\"a\":1}\n[2]\n", false, true);
    View w(lines);
    jx_view_select_node(w, 4);
    EXPECT_EQ(crumb(w, 0), "records");
    EXPECT_EQ(crumb(w, 1), "line 2");
    EXPECT_EQ(crumb(w, 2), "[0]");
}

TEST(ViewGoto, ResolvedPathsJumpOthersSayWhy) {
    Doc d(D1);
    View v(d);
    struct Case {
        const char *path;
        int result;
        uint32_t selected;
        const char *err;
    } cases[] = {
        {"$.b.c", 1, 5, ""},
        {".a[1]", 1, 3, ""},
        {"$.x", 0, 3, "No key \"x\" in $"},
        {"$.a[", 0, 3, "Path not understood at character 5"},
        {"$.a[5]", 0, 3, "No item [5] in $.a (it has 2)"},
        {"", 1, 0, ""},
    };
    for (const Case &c : cases) {
        char err[64] = "junk";
        EXPECT_EQ(jx_view_goto(v, c.path, std::strlen(c.path), err, sizeof err), c.result) << c.path;
        EXPECT_EQ(jx_view_selected_node(v), c.selected) << c.path;
        EXPECT_STREQ(err, c.err) << c.path;
    }
    EXPECT_EQ(v.v->back_count, 3u);  // 0, 5, 3
    char err[8] = "junk";
    EXPECT_EQ(jx_view_goto(v, nullptr, 0, err, sizeof err), 0);
    EXPECT_STREQ(err, "");
}

TEST(ViewLine, TheSelectedHitIsTheCurrentOne) {
    Doc d(R"(["x","x"])");
    View v(d);
    jx_view_set_search(v, search(d, "x"));
    auto hits = [&](uint32_t row) {
        JxLine line;
        jx_line_init(&line);
        jx_view_line(v, row, 80, &line);
        std::string h;
        for (uint32_t i = 0; i < line.nruns; i++)
            if (line.runs[i].hit) h += std::to_string(line.runs[i].hit);
        jx_line_free(&line);
        return h;
    };
    jx_view_select_node(v, 2);
    EXPECT_EQ(hits(1), "1");
    EXPECT_EQ(hits(2), "2");
    show_text(v, JX_TEXT_PRETTY);
    EXPECT_EQ(hits(1), "1");
    EXPECT_EQ(hits(2), "2");
}

// Each copy is as long as its announced size, for every node of documents of each kind.
TEST(ViewCopy, SizeIsTheLengthOfEveryKind) {
    struct Case {
        std::string text;
        bool lines;
    } cases[] = {
        {R"({"a":[1,"x\u00e9\ny",{"k":null}],"":true,"e\"k":-0.5e3,"n":[],"o":{}})", false},
        {"// c\n{unquoted:'single \\' q',hex:0x1F,list:[1,2,],inf:Infinity,half:.5,}", false},
        {"{\"a\":1}\nnot json\n[2,3]\n\"s\"\n", true},
        {"[" + std::string(12, '[') + std::string(12, ']') + ",\"\\u0000\"]", false},
    };
    for (const Case &c : cases) {
        Doc d(c.text, false, c.lines);
        View v(d);
        for (uint32_t n = 0; n < jx_doc_count(d); n++) {
            jx_view_select_node(v, n);
            for (uint32_t kind = JX_CMD_COPY_VALUE; kind <= JX_CMD_COPY_MINIFIED; kind++) {
                size_t len = 99;
                char *copy = jx_view_copy(v, kind, JX_PATH_JSONPATH, &len);
                ASSERT_NE(copy, nullptr) << c.text << " node " << n << " kind " << kind;
                EXPECT_EQ(len, jx_view_copy_size(v, kind)) << c.text << " node " << n << " kind " << kind;
                EXPECT_EQ(copy[len], 0);
                std::free(copy);
            }
        }
        for (int mode : {JX_TEXT_PRETTY, JX_TEXT_FILE}) {
            show_text(v, mode);
            const uint32_t count = jx_view_count(v);
            for (uint32_t a = 0; a < count; a++) {
                jx_view_click(v, a, 0, 0);
                jx_view_click(v, count - 1 - a, 0, JX_MOD_SHIFT);
                size_t len = 99;
                char *copy = jx_view_copy(v, JX_CMD_COPY_VALUE, 0, &len);
                ASSERT_NE(copy, nullptr);
                EXPECT_EQ(len, jx_view_copy_size(v, JX_CMD_COPY_VALUE)) << c.text << " line " << a;
                std::free(copy);
            }
            jx_view_set_mode(v, JX_MODE_TREE);
        }
    }
}

TEST(ViewCopy, WhatEachKindCopies) {
    Doc d(D1);
    View v(d);
    auto copy = [&](uint32_t node, uint32_t kind, int style = 0) {
        jx_view_select_node(v, node);
        size_t len = 0;
        return text_of(jx_view_copy(v, kind, style, &len), len);
    };
    EXPECT_EQ(copy(1, JX_CMD_COPY_VALUE), "[\n  1,\n  2\n]");
    EXPECT_EQ(copy(5, JX_CMD_COPY_VALUE), "true");
    EXPECT_EQ(copy(5, JX_CMD_COPY_PATH, JX_PATH_JQ), ".b.c");
    EXPECT_EQ(copy(0, JX_CMD_COPY_PATH, JX_PATH_POINTER), "");
    EXPECT_EQ(copy(4, JX_CMD_COPY_JSON), "{\n  \"c\": true\n}");
    EXPECT_EQ(copy(3, JX_CMD_COPY_KEY), "1");
    EXPECT_EQ(copy(0, JX_CMD_COPY_KEY), "");
    EXPECT_EQ(copy(4, JX_CMD_COPY_MINIFIED), "{\"c\":true}");
    EXPECT_EQ(copy(4, JX_CMD_FIND_NEXT), "(null)");
    EXPECT_EQ(jx_view_copy_size(v, JX_CMD_FIND_NEXT), 0u);

    // The Text view copies the lines even from a line without a node.
    Doc c("// top\n{\"a\":1}");
    View w(c);
    show_text(w, JX_TEXT_FILE);
    jx_view_click(w, 0, 0, 0);
    EXPECT_EQ(jx_view_selected_node(w), 0u);
    size_t len = 0;
    EXPECT_EQ(text_of(jx_view_copy(w, JX_CMD_COPY_VALUE, 0, &len), len), "// top");
    EXPECT_EQ(text_of(jx_view_copy(w, JX_CMD_COPY_KEY, 0, &len), len), "");  // other kinds copy the node
}

TEST(ViewTexts, PathSummaryAndInspector) {
    Doc d(D1);
    View v(d);
    jx_view_select_node(v, 5);
    char buf[16];
    EXPECT_EQ(jx_view_path(v, JX_PATH_JSONPATH, buf, 4), 5u);
    EXPECT_STREQ(buf, "$.b");
    EXPECT_GT(jx_view_select_text(v, buf, sizeof buf), 0u);
    size_t len = 0;
    char *inspect = jx_view_inspect(v, JX_PATH_JQ, &len);
    ASSERT_NE(inspect, nullptr);
    EXPECT_NE(std::string(inspect, len).find(".b.c"), std::string::npos);
    std::free(inspect);

    Doc empty("");
    View e(empty);
    len = 5;
    EXPECT_EQ(jx_view_inspect(e, 0, &len), nullptr);
    EXPECT_EQ(len, 0u);
}

TEST(ViewSearch, FollowsTheFirstHitAtOrAfterTheSelection) {
    Doc d(R"(["x",0,"x",0,"x",0])");
    View v(d);
    jx_view_select_node(v, 2);
    JxSearch *s = search(d, "x", 0, false);
    jx_view_set_search(v, s);
    jx_view_search_update(v);  // made, not run: no hits yet
    EXPECT_EQ(jx_view_selected_node(v), 2u);
    EXPECT_EQ(label(v), "0 so far");
    ASSERT_EQ(jx_search_run(s, nullptr), JX_OK);
    jx_view_set_search(v, s);  // the same search again is kept, not freed
    jx_view_search_update(v);
    EXPECT_EQ(jx_view_selected_node(v), 3u);
    EXPECT_EQ(v.v->back[v.v->back_count - 1], 2u);
    EXPECT_EQ(v.v->moved, 0);
    EXPECT_EQ(label(v), "2 of 3");

    // Past the last hit: the search wraps to the first.
    jx_view_select_node(v, 6);
    jx_view_set_search(v, search(d, "x"));
    jx_view_search_update(v);
    EXPECT_EQ(jx_view_selected_node(v), 1u);
    // Once the user moves, the selection stays.
    jx_view_key(v, JX_KEY_DOWN, 0, 1);
    jx_view_search_update(v);
    EXPECT_EQ(jx_view_selected_node(v), 2u);

    // After a restore the selection stays where it was.
    v.v->restored = 1;
    jx_view_set_search(v, search(d, "x"));
    jx_view_search_update(v);
    EXPECT_EQ(jx_view_selected_node(v), 2u);
    EXPECT_EQ(v.v->restored, 0);
    jx_view_set_search(v, nullptr);
    EXPECT_EQ(jx_view_search(v), nullptr);
    EXPECT_EQ(label(v), "");
}

// A run stopped at its first checkpoint has hits but has not finished: wrapping to the first hit
// must wait, since a hit after the selection may still come.
TEST(ViewSearch, WrapsOnlyOnceTheSearchHasFinished) {
    std::string text = "[\"x\"";
    for (int i = 0; i < 1100000; i++) text += ",0";
    Doc d(text + ",\"x\"]");
    View v(d);
    jx_view_select_node(v, 20);
    JxSearch *s = search(d, "x", 0, false);
    uint32_t cancel = 0;
    jx_progress stop{[](void *ctx, uint64_t, uint64_t) { *static_cast<uint32_t *>(ctx) = 1; }, &cancel, &cancel};
    jx_view_set_search(v, s);
    ASSERT_EQ(jx_search_run(s, &stop), JX_CANCELLED);
    ASSERT_EQ(jx_search_count(s), 1u);
    jx_view_search_update(v);
    EXPECT_EQ(jx_view_selected_node(v), 20u);
    EXPECT_EQ(label(v), "1 so far");

    jx_view_set_search(v, search(d, "x"));
    jx_view_search_update(v);
    EXPECT_EQ(jx_view_selected_node(v), jx_doc_count(d) - 1);
}

TEST(ViewSearch, Labels) {
    std::string twelve = "[";
    for (int i = 0; i < 12; i++) twelve += i ? ",\"x\"" : "\"x\"";
    twelve += ",0]";
    std::string thousand = "[0";
    for (int i = 0; i < 1000; i++) thousand += ",\"x\"";
    struct Case {
        std::string doc;
        const char *query;
        uint32_t cap, select;
        std::string label;
    } cases[] = {
        {twelve, "y", 0, 0, "No matches"},
        {R"(["x",0])", "x", 0, 2, "1 match"},
        {R"(["x",0])", "x", 0, 1, "1 of 1"},
        {twelve, "x", 0, 3, "3 of 12"},
        {twelve, "x", 0, 13, "12 matches"},
        {twelve, "x", 3, 0, "3+ matches"},
        {twelve, "x", 1, 0, "1+ matches"},
        {twelve, "x", 3, 2, "2 of 3+"},
        {thousand, "x", 0, 1, "1,000 matches"},
    };
    for (const Case &c : cases) {
        Doc d(c.doc);
        View v(d);
        jx_view_select_node(v, c.select);
        jx_view_set_search(v, search(d, c.query, c.cap));
        EXPECT_EQ(label(v), c.label);
        char cut[5];
        EXPECT_EQ(jx_view_search_label(v, cut, sizeof cut), c.label.size());
        EXPECT_EQ(cut, c.label.substr(0, 4));
    }
}

TEST(ViewDump, RowsAsTheListShowsThem) {
    Doc d(R"({"a":[1]})");
    View v(d);
    jx_view_command(v, JX_CMD_EXPAND_ALL);
    size_t len = 9;
    EXPECT_EQ(text_of(jx_view_dump_rows(v, 0, 10, &len), len), "0|v|root {1}\n1|v|a: [1]\n2|-|[0] 1\n");
    EXPECT_EQ(text_of(jx_view_dump_rows(v, 1, 1, &len), len), "1|v|a: [1]\n");
    EXPECT_EQ(text_of(jx_view_dump_rows(v, 1, UINT32_MAX, &len), len), "1|v|a: [1]\n2|-|[0] 1\n");
    char *none = jx_view_dump_rows(v, 3, 1, &len);
    ASSERT_NE(none, nullptr);
    EXPECT_EQ(len, 0u);
    EXPECT_STREQ(none, "");
    std::free(none);
    jx_view_click(v, 0, 1, 0);
    EXPECT_EQ(text_of(jx_view_dump_rows(v, 0, 10, &len), len).substr(0, 4), "0|+|");
    show_text(v, JX_TEXT_PRETTY);
    EXPECT_EQ(text_of(jx_view_dump_rows(v, 1, 2, &len), len), "2|  \"a\": [\n3|    1\n");
    EXPECT_EQ(text_of(jx_view_dump_rows(nullptr, 0, 5, &len), len), "");
}

TEST(ViewDump, State) {
    Doc d("{\"a\":[1,2,3,4,5,6]}");
    View v(d);
    size_t len = 0;
    const std::string status = [&] {
        char buf[512];
        jx_status_text(d, -1, buf, sizeof buf);
        return std::string(buf);
    }();
    EXPECT_EQ(status.find("parsed in"), std::string::npos);
    EXPECT_EQ(text_of(jx_view_dump_state(v, &len), len),
              "mode=tree\nrows=8\nselected=$\nrange=-\nsearch=-\nerrorbar=-\nstatus=" + status + "\n");
    show_text(v, JX_TEXT_PRETTY);
    jx_view_click(v, 4, 0, 0);
    jx_view_click(v, 1, 0, JX_MOD_SHIFT);
    jx_view_set_search(v, search(d, "zzz"));
    EXPECT_EQ(text_of(jx_view_dump_state(v, &len), len),
              "mode=pretty\nrows=10\nselected=$.a\nrange=2-5\nsearch=No matches\nerrorbar=-\nstatus=" + status +
                  "\n");
    jx_view_set_text(v, jx_text_new(d, JX_TEXT_FILE, nullptr, nullptr));
    EXPECT_EQ(text_of(jx_view_dump_state(v, &len), len).substr(0, 27), "mode=source\nrows=1\nselected");

    Doc bad("{\"a\":");
    View b(bad);
    const std::string dump = text_of(jx_view_dump_state(b, &len), len);
    EXPECT_EQ(dump.find("errorbar=-"), std::string::npos);
    char *empty = jx_view_dump_state(nullptr, &len);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(len, 0u);
    std::free(empty);
}

// Memory running out: copies, texts and dumps come back null with length 0, navigation still
// leaves the selection on a row.
TEST(ViewOutOfMemory, DocumentedResults) {
    std::string deep;
    for (int i = 0; i < 70; i++) deep += "{\"k\":";
    deep += "[1,2]";
    for (int i = 0; i < 70; i++) deep += "}";
    Doc d(deep);
    const uint32_t leaf = jx_doc_count(d) - 1;
    using Make = char *(*)(JxView *, size_t *);
    const Make makes[] = {
        [](JxView *v, size_t *n) { return jx_view_copy(v, JX_CMD_COPY_VALUE, 0, n); },
        [](JxView *v, size_t *n) { return jx_view_copy(v, JX_CMD_COPY_PATH, JX_PATH_JQ, n); },
        [](JxView *v, size_t *n) { return jx_view_copy(v, JX_CMD_COPY_JSON, 0, n); },
        [](JxView *v, size_t *n) { return jx_view_copy(v, JX_CMD_COPY_KEY, 0, n); },
        [](JxView *v, size_t *n) { return jx_view_copy(v, JX_CMD_COPY_MINIFIED, 0, n); },
        [](JxView *v, size_t *n) { return jx_view_inspect(v, JX_PATH_JSONPATH, n); },
        [](JxView *v, size_t *n) { return jx_view_dump_rows(v, 0, 100, n); },
        [](JxView *v, size_t *n) { return jx_view_dump_state(v, n); },
    };
    for (uint32_t node : {0u, leaf - 2, leaf}) {
        for (Make make : makes) {
            View v(d);
            jx_view_select_node(v, node);
            size_t whole_len = 0;
            const std::string whole = text_of(make(v, &whole_len), whole_len);
            jxtest::each_failure([&](uint64_t n, bool persistent) {
                size_t len = 7;
                jxtest::fail_at(n, persistent);
                char *text = make(v, &len);
                const bool failed = jxtest::disarm();
                if (text) {
                    EXPECT_EQ(std::string(text, len), whole) << n;
                } else {
                    EXPECT_EQ(len, 0u) << n;
                }
                std::free(text);
                return failed;
            });
        }
    }
    // Jumps and expansions reveal through the rows, which may fail: the selection keeps a row.
    using Step = void (*)(JxView *, uint32_t);
    const Step steps[] = {
        [](JxView *v, uint32_t node) { jx_view_select_node(v, node); },
        [](JxView *v, uint32_t) { jx_view_command(v, JX_CMD_EXPAND_ALL); },
        [](JxView *v, uint32_t) { jx_view_command(v, JX_CMD_LEVEL_1 + 8); },
        [](JxView *v, uint32_t) { jx_view_key(v, JX_KEY_RIGHT, JX_MOD_OPTION, 1); },
        [](JxView *v, uint32_t node) {
            jx_view_set_text(v, jx_text_new(jx_view_doc(v), JX_TEXT_PRETTY, nullptr, nullptr));
            jx_view_set_mode(v, JX_MODE_TEXT);
            jx_view_click(v, jx_text_line_of(jx_view_text(v), node), 0, 0);
            jx_view_set_mode(v, JX_MODE_TREE);
        },
    };
    for (Step step : steps) {
        jxtest::each_failure([&](uint64_t n, bool persistent) {
            View v(d);
            jxtest::fail_at(n, persistent);
            step(v, leaf);
            const bool failed = jxtest::disarm();
            if (v.v) {
                EXPECT_NE(jx_view_selected(v), JX_NONE) << n;
                EXPECT_EQ(jx_view_mode(v), JX_MODE_TREE);
            }
            return failed;
        });
    }
}
