// Keys, type-to-select, the view's commands, the shortcut table and key combinations.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "test_util.h"
#include "view_int.h"

using jxtest::Doc;
using jxtest::View;
using jxtest::view_state;

namespace {

JxSearch *run_search(JxDoc *d, const char *query) {
    JxSearch *s = jx_search_new(d, query, std::char_traits<char>::length(query), nullptr, nullptr, 0);
    jx_search_run(s, nullptr);
    return s;
}

}  // namespace

// An array of 9 elements: 10 rows, row r shows node r.
TEST(Keys, MovementInTheTree) {
    Doc d("[0,1,2,3,4,5,6,7,8]");
    struct Case {
        uint32_t from, key, mods, page, to;
    } cases[] = {
        {7, JX_KEY_PAGEDOWN, 0, 5, 9}, {3, JX_KEY_PAGEUP, 0, 5, 0},  {3, JX_KEY_PAGEDOWN, 0, 5, 8},
        {8, JX_KEY_PAGEUP, 0, 5, 3},   {5, JX_KEY_PAGEUP, 0, 0, 4},  {0, JX_KEY_UP, 0, 1, 0},
        {9, JX_KEY_DOWN, 0, 1, 9},     {4, JX_KEY_DOWN, JX_MOD_SHIFT, 1, 5},
        {4, JX_KEY_HOME, 0, 1, 0},     {4, JX_KEY_END, 0, 1, 9},     {4, JX_KEY_PAGEDOWN, 0, UINT32_MAX, 9},
    };
    for (const Case &c : cases) {
        View v(d);
        jx_view_select_node(v, c.from);
        EXPECT_EQ(jx_view_key(v, c.key, c.mods, c.page), 1);
        EXPECT_EQ(jx_view_selected(v), c.to) << c.from << " key " << c.key;
        EXPECT_EQ(v.v->moved, 1);
    }
}

TEST(Keys, ShiftGrowsTheTextRange) {
    Doc d("[0,1,2,3,4,5,6,7,8]");
    View v(d);
    jx_view_set_text(v, jx_text_new(d, JX_TEXT_PRETTY, nullptr, nullptr));
    ASSERT_EQ(jx_view_set_mode(v, JX_MODE_TEXT), 1);
    jx_view_key(v, JX_KEY_DOWN, 0, 1);
    jx_view_key(v, JX_KEY_DOWN, JX_MOD_SHIFT, 1);
    jx_view_key(v, JX_KEY_PAGEDOWN, JX_MOD_SHIFT, 3);
    EXPECT_EQ(jx_view_selected(v), 5u);
    EXPECT_EQ(jx_view_anchor(v), 1u);
    EXPECT_EQ(jx_view_selected_node(v), 5u);
    jx_view_key(v, JX_KEY_END, 0, 1);  // the closing line: its node is the array
    EXPECT_EQ(jx_view_selected(v), 10u);
    EXPECT_EQ(jx_view_anchor(v), 10u);
    EXPECT_EQ(jx_view_selected_node(v), 0u);
}

// Nodes: 0 root, 1 a, 2 a[0], 3 b, 4 c. Each case starts from the default expansion.
TEST(Keys, LeftRightSpaceAndReturn) {
    Doc d(R"({"a":[1],"b":{},"c":2})");
    struct Case {
        uint32_t from, key, mods;
        int result;
        uint32_t selected, open;  // open: number of expanded nodes after the key
    } cases[] = {
        {1, JX_KEY_RIGHT, 0, 1, 2, 2},  // into the expanded a
        {1, JX_KEY_LEFT, 0, 1, 1, 1},   // closes a
        {2, JX_KEY_LEFT, 0, 1, 1, 2},   // to the parent
        {0, JX_KEY_LEFT, 0, 1, 0, 1},   // closes the root
        {3, JX_KEY_RIGHT, 0, 1, 3, 2},  // an empty object has nothing to open
        {0, JX_KEY_LEFT, JX_MOD_OPTION, 1, 0, 0},
        {1, JX_KEY_SPACE, 0, 1, 1, 1},
        {1, JX_KEY_RETURN, 0, 1, 1, 1},
        {4, JX_KEY_RETURN, 0, 1, 4, 2},  // a scalar: taken, nothing changes
        {1, JX_KEY_RIGHT, JX_MOD_SHIFT, 0, 1, 2},
        {1, JX_KEY_SPACE, JX_MOD_SHIFT, 0, 1, 2},
    };
    for (const Case &c : cases) {
        View v(d);
        jx_view_select_node(v, c.from);
        EXPECT_EQ(jx_view_key(v, c.key, c.mods, 1), c.result) << c.from << " key " << c.key;
        EXPECT_EQ(jx_view_selected_node(v), c.selected) << c.from << " key " << c.key;
        EXPECT_EQ(jx_rows_open_count(jx_view_rows(v)), c.open) << c.from << " key " << c.key;
    }
    // Left on the root with nothing to collapse keeps it and still takes the key.
    View v(d);
    jx_view_key(v, JX_KEY_LEFT, JX_MOD_OPTION, 1);
    EXPECT_EQ(jx_view_key(v, JX_KEY_LEFT, 0, 1), 1);
    EXPECT_EQ(jx_view_selected_node(v), 0u);
    jx_view_key(v, JX_KEY_RIGHT, JX_MOD_OPTION, 1);
    EXPECT_EQ(jx_rows_open_count(jx_view_rows(v)), 2u);
}

// Whatever does not apply leaves every part of the view as it was.
TEST(Keys, WhatDoesNotApplyChangesNothing) {
    Doc d(R"({"a":[1],"b":{}})");
    using Try = int (*)(JxView *);
    const Try tries[] = {
        [](JxView *v) { return jx_view_key(v, JX_KEY_ESC, 0, 1); },
        [](JxView *v) { return jx_view_key(v, JX_KEY_F3, 0, 1); },
        [](JxView *v) { return jx_view_key(v, 'A', 0, 1); },
        [](JxView *v) { return jx_view_key(v, JX_KEY_DOWN, JX_MOD_COMMAND, 1); },
        [](JxView *v) { return jx_view_key(v, JX_KEY_UP, JX_MOD_OPTION, 1); },
        [](JxView *v) { return jx_view_key(v, JX_KEY_LEFT, JX_MOD_COMMAND, 1); },
        [](JxView *v) { return jx_view_type(v, 10, 0); },
        [](JxView *v) { return jx_view_type(v, 127, 0); },
        [](JxView *v) { return jx_view_type(v, 0x110000, 0); },
        [](JxView *v) { return jx_view_command(v, JX_CMD_FIND_NEXT); },
        [](JxView *v) { return jx_view_command(v, JX_CMD_FIND_PREVIOUS); },
        [](JxView *v) { return jx_view_command(v, JX_CMD_BACK); },
        [](JxView *v) { return jx_view_command(v, JX_CMD_FORWARD); },
        [](JxView *v) { return jx_view_command(v, JX_CMD_NEXT_PROBLEM); },
        [](JxView *v) { return jx_view_command(v, JX_CMD_COPY_MINIFIED); },
        [](JxView *v) { return jx_view_command(v, 0); },
        [](JxView *v) { return jx_view_command(v, 34); },
    };
    for (bool text : {false, true}) {
        View v(d);
        jx_view_click(v, 2, 0, 0);  // a click leaves the history empty
        jx_view_set_text(v, jx_text_new(d, JX_TEXT_PRETTY, nullptr, nullptr));
        if (text) jx_view_set_mode(v, JX_MODE_TEXT);
        jx_view_set_search(v, run_search(d, "nothing like it"));
        jx_view_type(v, 'z', 100);  // typed text on record
        for (size_t i = 0; i < std::size(tries); i++) {
            const std::string before = view_state(v);
            EXPECT_EQ(tries[i](v), 0) << i;
            EXPECT_EQ(view_state(v), before) << i;
        }
        // The Text view refuses what only the tree does.
        if (text) {
            for (uint32_t key : {uint32_t(JX_KEY_LEFT), uint32_t(JX_KEY_RIGHT), uint32_t(JX_KEY_SPACE)}) {
                const std::string before = view_state(v);
                EXPECT_EQ(jx_view_key(v, key, 0, 1), 0);
                EXPECT_EQ(view_state(v), before);
            }
            for (uint32_t cmd = JX_CMD_EXPAND_ALL; cmd <= JX_CMD_LEVEL_1 + 8; cmd++) {
                const std::string before = view_state(v);
                EXPECT_EQ(jx_view_command(v, cmd), 0);
                EXPECT_EQ(view_state(v), before);
            }
            EXPECT_EQ(jx_view_type(v, 'a', 100), 0);
        }
    }
}

// Keys in order alpha, bar, bob, oak, boat, éa, ßx, list, a key of 70 a's; then list's 14 elements.
TEST(TypeToSelect, PrefixesFoldingAndTheOneSecondRule) {
    const std::string many_a(70, 'a');
    Doc d(R"({"alpha":1,"bar":2,"bob":3,"oak":4,"boat":5,"éa":6,"ßx":7,"list":[0,1,2,3,4,5,6,7,8,9,10,11,12,13],")" +
          many_a + R"(":0})");
    View v(d);
    struct Case {
        uint32_t cp;
        uint64_t ms;
        int result;
        uint32_t selected;
    } cases[] = {
        {'b', 1000, 1, 2},     // from the row after the root
        {'o', 1500, 1, 3},     // "bo": bar no longer matches, bob does
        {'o', 3000, 1, 4},     // 1.5 s later: "o" afresh from the row after bob
        {'B', 3100, 0, 4},     // "ob": nothing, the selection stays
        {0xC9, 5000, 1, 6},    // É matches é
        {0xDF, 7000, 1, 7},    // ß
        {'S', 9000, 0, 7},     // ß is not folded to s
        {'1', 11000, 1, 10},   // element 1
        {'2', 11100, 1, 21},   // element 12
        {'x', 13000, 0, 21},   // never an element
        {'A', 12000, 1, 23},   // earlier than the last: afresh, from element 13 on
        {'l', 12100, 1, 1},    // "al": wraps round to alpha
    };
    for (const Case &c : cases) {
        EXPECT_EQ(jx_view_type(v, c.cp, c.ms), c.result) << c.cp << " at " << c.ms;
        EXPECT_EQ(jx_view_selected_node(v), c.selected) << c.cp << " at " << c.ms;
    }
    // 70 characters: the typed text keeps 64 and still matches.
    jx_view_select_node(v, 8);
    for (int i = 0; i < 70; i++) jx_view_type(v, 'a', 20000 + uint64_t(i));
    EXPECT_EQ(v.v->type_len, 64u);
    EXPECT_EQ(jx_view_selected_node(v), jx_doc_count(d) - 1);
    // A refused character neither enters the typed text nor restarts its clock.
    const uint64_t time = v.v->type_time;
    EXPECT_EQ(jx_view_type(v, 9, 90000), 0);
    EXPECT_EQ(v.v->type_len, 64u);
    EXPECT_EQ(v.v->type_time, time);
}

// Records are found by their line number, elements inside them by index.
TEST(TypeToSelect, RecordsByLineNumber) {
    Doc d("{\"a\":1}\n\n[2]\n3\n", false, true);  // nodes 1 (line 1), 3 (line 3) with 4 inside, 5 (line 4)
    View v(d);
    EXPECT_EQ(jx_view_type(v, '4', 0), 1);
    EXPECT_EQ(jx_view_selected_node(v), 5u);
    EXPECT_EQ(jx_view_type(v, '3', 5000), 1);
    EXPECT_EQ(jx_view_selected_node(v), 3u);
    EXPECT_EQ(jx_view_type(v, '0', 9000), 1);
    EXPECT_EQ(jx_view_selected_node(v), 4u);
}

TEST(Commands, FindNextPreviousAndNextProblem) {
    Doc d(R"(["x",0,"x",0,"x"])");
    View v(d);
    jx_view_set_search(v, run_search(d, "x"));
    struct Step {
        uint32_t command, selected;
    } steps[] = {{JX_CMD_FIND_NEXT, 1},     {JX_CMD_FIND_NEXT, 3}, {JX_CMD_FIND_NEXT, 5},
                 {JX_CMD_FIND_NEXT, 1},     {JX_CMD_FIND_PREVIOUS, 5}, {JX_CMD_BACK, 1},
                 {JX_CMD_FIND_PREVIOUS, 5}};
    for (const Step &s : steps) {
        EXPECT_EQ(jx_view_command(v, s.command), 1);
        EXPECT_EQ(jx_view_selected_node(v), s.selected);
    }
    EXPECT_EQ(v.v->forward_count, 0u);

    Doc lines("1\nbad\n2\n{oops\n", false, true);  // nodes 1, 2 bad, 3, 4 bad
    View w(lines);
    for (uint32_t expected : {2u, 4u, 2u}) {
        EXPECT_EQ(jx_view_command(w, JX_CMD_NEXT_PROBLEM), 1);
        EXPECT_EQ(jx_view_selected_node(w), expected);
    }
}

// Nodes: 0 root, 1 a, 2 b, 3 c, 4 d.
TEST(Commands, LevelsKeepTheSelectionOnARow) {
    Doc d(R"({"a":{"b":{"c":{"d":1}}}})");
    View v(d);
    jx_view_select_node(v, 4);
    const uint32_t back = v.v->back_count;
    struct Step {
        uint32_t command, selected, rows;
    } steps[] = {{JX_CMD_COLLAPSE_ALL, 1, 2}, {JX_CMD_EXPAND_ALL, 1, 5}, {JX_CMD_LEVEL_1 + 2, 1, 4},
                 {JX_CMD_LEVEL_1 + 8, 1, 5}, {JX_CMD_LEVEL_1, 1, 2}};
    for (const Step &s : steps) {
        EXPECT_EQ(jx_view_command(v, s.command), 1);
        EXPECT_EQ(jx_view_selected_node(v), s.selected) << s.command;
        EXPECT_EQ(jx_view_count(v), s.rows) << s.command;
    }
    EXPECT_EQ(v.v->back_count, back);  // no history
}

// Option with digit n expands to level n: command 21 + n, as the menu sends it.
TEST(Shortcuts, TableOptionDigitsAndMisses) {
    constexpr uint32_t C = JX_MOD_COMMAND, S = JX_MOD_SHIFT, O = JX_MOD_OPTION;
    struct Case {
        uint32_t key, mods, command;
    } cases[] = {
        {'O', C, 1},         {'V', C | S, 2},     {'W', C, 3},         {'R', C, 4},      {JX_KEY_F5, 0, 4},
        {'1', C, 11},        {'2', C, 12},        {'F', C, 5},         {'G', C, 18},     {JX_KEY_F3, 0, 18},
        {'G', C | S, 19},    {JX_KEY_F3, S, 19},  {'L', C, 6},         {'C', C, 13},     {'C', C | S, 14},
        {'C', C | O, 15},    {'I', C, 7},         {']', C | S, 20},    {'[', C | S, 21}, {'[', C, 31},
        {']', C, 32},        {'=', C, 8},         {'-', C, 9},         {'0', C, 10},     {'c', C, 13},
        {'3', O, 24},        {'1', O, 22},        {'9', O, 30},        {'0', O, 0},      {'3', O | S, 0},
        {'V', C, 0},         {'O', 0, 0},         {JX_KEY_F3, C, 0},   {JX_KEY_ESC, 0, 0}, {'C', C | O | S, 0},
    };
    for (const Case &c : cases) EXPECT_EQ(jx_shortcut(c.key, c.mods), c.command) << c.key << " " << c.mods;
}

TEST(Combos, WordsAndKeys) {
    struct Case {
        const char *text;
        int ok;
        uint32_t key, mods;
    } cases[] = {
        {"MOD+Shift+g", 1, 'G', JX_MOD_COMMAND | JX_MOD_SHIFT},
        {"mod+=", 1, '=', JX_MOD_COMMAND},
        {"alt+3", 1, '3', JX_MOD_OPTION},
        {"mod+mod+o", 1, 'O', JX_MOD_COMMAND},
        {"PageDown", 1, JX_KEY_PAGEDOWN, 0},
        {"shift+F3", 1, JX_KEY_F3, JX_MOD_SHIFT},
        {"esc", 1, JX_KEY_ESC, 0},
        {"]", 1, ']', 0},
        {"ctrl+g", 0, 0, 0},
        {"+g", 0, 0, 0},
        {"mod++", 0, 0, 0},
        {"mod+tab", 0, 0, 0},
        {"mod+", 0, 0, 0},
        {"", 0, 0, 0},
        {"f4", 0, 0, 0},
        {"mod+!", 0, 0, 0},
        {"\xC3\xA9", 0, 0, 0},
    };
    for (const Case &c : cases) {
        uint32_t key = 0, mods = 0;
        EXPECT_EQ(jx_combo(c.text, &key, &mods), c.ok) << c.text;
        EXPECT_EQ(key, c.key) << c.text;
        EXPECT_EQ(mods, c.mods) << c.text;
    }
    EXPECT_EQ(jx_combo("mod+shift+c", nullptr, nullptr), 1);
    EXPECT_EQ(jx_combo(nullptr, nullptr, nullptr), 0);
}

// Scripts name copies by word; the CLI prints the word back for a copy made by a shortcut.
TEST(CopyWords, EachWordNamesOneCopyAndBack) {
    const char *words[] = {"value", "key", "path", "path-jq", "path-js", "path-python", "path-pointer", "json", "json-min"};
    std::set<std::pair<uint32_t, int>> copies;
    for (const char *word : words) {
        uint32_t what = 0;
        int style = -1;
        ASSERT_EQ(jx_copy_word(word, std::strlen(word), &what, &style), 1) << word;
        EXPECT_STREQ(jx_copy_word_name(what, style), word);
        copies.insert({what, style});
    }
    EXPECT_EQ(copies.size(), std::size(words));
    EXPECT_EQ(jx_copy_word("path", 3, nullptr, nullptr), 0);
    EXPECT_EQ(jx_copy_word("values", 6, nullptr, nullptr), 0);
    EXPECT_EQ(jx_copy_word(nullptr, 0, nullptr, nullptr), 0);
    EXPECT_EQ(jx_copy_word_name(JX_CMD_COPY_KEY, JX_PATH_JQ), nullptr);
}
