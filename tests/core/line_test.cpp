#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "alloc.h"
#include "line_int.h"
#include "test_util.h"

namespace {

using Runs = std::vector<std::string>;

// A line as it is painted: "text|style", plus "|hit" on marked stretches. Neighbours that paint
// alike are joined, so that how the runs happen to be split does not matter.
Runs runs_of(const JxLine &l) {
    Runs out;
    for (uint32_t i = 0; i < l.nruns; i++) {
        const JxRun &r = l.runs[i];
        std::string paint = "|" + std::to_string(r.style) + (r.hit ? "|" + std::to_string(r.hit) : "");
        std::string text(l.text + r.start, r.length);
        bool joins = i && l.runs[i - 1].style == r.style && l.runs[i - 1].hit == r.hit;
        if (joins) out.back().insert(out.back().size() - paint.size(), text);
        else out.push_back(text + paint);
    }
    return out;
}

// The text with each match in <...> and each match on the current node in «...».
std::string marks(const JxLine &l) {
    std::string out;
    for (uint32_t i = 0; i < l.nruns; i++) {
        const JxRun &r = l.runs[i];
        std::string text(l.text + r.start, r.length);
        out += r.hit == JX_HIT_CURRENT ? "«" + text + "»" : r.hit ? "<" + text + ">" : text;
    }
    for (const std::string join : {"><", "»«"})
        for (size_t k; (k = out.find(join)) != std::string::npos;) out.erase(k, join.size());
    return out;
}

using jxtest::expect_sound;

using jxtest::Line;

struct Rows {
    JxRows *r;
    explicit Rows(JxDoc *d) : r(jx_rows_new(d)) {}
    ~Rows() { jx_rows_free(r); }
};

struct Search {
    JxSearch *s;
    Search(JxDoc *d, const std::string &q, uint8_t scope = JX_SCOPE_ALL) {
        JxSearchOptions o{0, 0, scope, 0};
        s = jx_search_new(d, q.data(), q.size(), &o, nullptr, 0);
    }
    ~Search() { jx_search_free(s); }
};

// The line of a node with its ancestors opened; the node itself collapsed unless open.
struct RowLine : Line {
    RowLine(JxDoc *d, uint32_t node, uint32_t width, const JxSearch *s = nullptr, uint32_t current = JX_NONE,
            bool open = false) {
        Rows rows(d);
        jx_rows_reveal(rows.r, node);
        if (open) jx_rows_expand(rows.r, node);
        jx_row_line(rows.r, jx_rows_find(rows.r, node), width, s, current, &l);
        expect_sound(l);
    }
};

// One row: its exact text and, where given, its runs.
struct RowCase {
    std::string json;
    uint32_t node, width;
    std::string text;
    Runs runs = {};
    bool open = false;
};

void check_rows(const std::vector<RowCase> &cases) {
    for (const RowCase &c : cases) {
        jxtest::Doc d(c.json);
        RowLine r(d, c.node, c.width, nullptr, JX_NONE, c.open);
        EXPECT_EQ(r.text(), c.text) << c.json << " node " << c.node << " width " << c.width;
        if (!c.runs.empty()) {
            EXPECT_EQ(runs_of(r.l), c.runs) << c.json << " node " << c.node;
        }
        EXPECT_LE(jx_line_chars(&r.l), c.width);
    }
}

std::string rep(const std::string &s, int n) {
    std::string out;
    while (n-- > 0) out += s;
    return out;
}

const std::string E = "\xE2\x80\xA6";  // the ellipsis
const std::string W = "\xE2\x9A\xA0";  // the warning sign
const std::string FFFD = "\xEF\xBF\xBD";

}  // namespace

// ---- the line buffer ----

TEST(LineBuffer, AddAppendsInAStyleAndClearEmptiesTheLine) {
    Line a;
    jx_line_clear(&a.l);  // must not write to the shared empty text
    EXPECT_STREQ(a.l.text, "");
    EXPECT_EQ(a.l.node, JX_NONE);
    jx_line_add(&a.l, "ab", 2, 1);
    jx_line_add(&a.l, "c\xC3\xA9", 3, 1);
    EXPECT_EQ(jx_line_add(&a.l, "", 0, 3), 1);
    jx_line_add(&a.l, std::string(40, 'x').data(), 40, 2);
    EXPECT_EQ(runs_of(a.l), (Runs{"abc\xC3\xA9|1", std::string(40, 'x') + "|2"}));
    EXPECT_EQ(jx_line_chars(&a.l), 44u);
    jx_line_clear(&a.l);
    EXPECT_STREQ(a.l.text, "");
    EXPECT_EQ(a.l.nruns, 0u);
    jx_line_free(&a.l);
    EXPECT_EQ(a.l.text, nullptr);
    EXPECT_EQ(jx_line_add(nullptr, "x", 1, 0), 0);
    EXPECT_EQ(jx_line_chars(nullptr), 0u);
}

TEST(LineBuffer, MarkSetsTheHitOfARangeCutToTheText) {
    Line line;
    jx_line_add(&line.l, "aaaa", 4, 1);
    jx_line_add(&line.l, "bbbb", 4, 2);
    jx_line_mark(&line.l, 2, 4, 1);
    EXPECT_EQ(runs_of(line.l), (Runs{"aa|1", "aa|1|1", "bb|2|1", "bb|2"}));
    jx_line_mark(&line.l, 6, 100, 2);  // cut to the text
    jx_line_add(&line.l, "b", 1, 2);   // a marked run is not extended
    EXPECT_EQ(runs_of(line.l), (Runs{"aa|1", "aa|1|1", "bb|2|1", "bb|2|2", "b|2"}));
    jx_line_mark(&line.l, 0, 9, 0);
    EXPECT_EQ(runs_of(line.l), (Runs{"aaaa|1", "bbbbb|2"}));
    jx_line_mark(&line.l, 9, 1, 1);
    jx_line_mark(&line.l, 3, 0, 1);
    jx_line_mark(&line.l, 0xFFFFFFF0u, 0x20, 1);
    jx_line_mark(&line.l, 8, 0xFFFFFFFFu, 1);  // the end must not wrap around
    EXPECT_EQ(runs_of(line.l), (Runs{"aaaa|1", "bbbb|2", "b|2|1"}));
}

TEST(LineBuffer, FailedAddOrMarkLeavesTheLineAsItWas) {
    jxtest::each_failure([](uint64_t n, bool persistent) {
        Line line;
        Runs before;
        std::string before_text;
        bool refused = false;
        jxtest::fail_at(n, persistent);
        for (int i = 0; i < 40 && !refused; i++) {
            before = runs_of(line.l);
            before_text = line.text();
            std::string piece(size_t(1 + i % 7), char('a' + i % 26));
            refused = !jx_line_add(&line.l, piece.data(), uint32_t(piece.size()), i % 3);
            if (!refused && i % 5 == 4) {
                before = runs_of(line.l);
                jx_line_mark(&line.l, 1, 3, 1);
                refused = jx__alloc_failed() && runs_of(line.l) == before;
                before_text = line.text();
            }
        }
        bool failed = jxtest::disarm();
        expect_sound(line.l);
        if (failed) {
            EXPECT_TRUE(refused) << n;
            EXPECT_EQ(line.text(), before_text) << n;
            EXPECT_EQ(runs_of(line.l), before) << n;
        }
        return failed;
    });
}

// Decoded text is held to the value decoder in chars_test; text shown as written keeps its escapes
// but still shows invalid bytes as U+FFFD and control characters as pictures.
TEST(LineCharacters, RawTextKeepsEscapesAndReplacesInvalidBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"a\\u0062", "a\\u0062"},
        {"a\xFF" "b\xC0\x80\xED\xA0\x80\xE6\x97", "a" + FFFD + "b" + rep(FFFD, 7)},
        {"\xF4\x90\x80\x80", rep(FFFD, 4)},  // above U+10FFFF
        {"a\tb\x7F", "a\xE2\x87\xA5" "b\xE2\x90\xA1"},
    };
    for (const auto &[src, want] : cases) {
        Line line;
        jx_piece pc = jx__piece(src.data(), uint32_t(src.size()), JX_STYLE_STRING);
        jx__put_piece(&line.l, &pc, jx__count(&pc, UINT32_MAX));
        EXPECT_EQ(line.text(), want) << src;
    }
}

// ---- row lines: what each part reads ----

TEST(RowLineText, KeysLabelsAndValues) {
    const std::string keys =
        R"({"a\u0062\n": 1, "x\"y": 2, 'sq': 3, un$_1: 4, \u0061b: 5, "": 6, "a\\u0062": 7})";
    const std::string vals = R"([9876, true, false, null, 0x1F, "s\u0041"])";
    check_rows({
        {R"({"name":"Ada"})", 1, 120, "name: \"Ada\"", {"name|1", ": |7", "\"Ada\"|3"}},
        {keys, 1, 120, "ab\xE2\x8F\x8E: 1"},
        {keys, 2, 120, "x\"y: 2"},
        {keys, 3, 120, "sq: 3"},
        {keys, 4, 120, "un$_1: 4"},
        {keys, 5, 120, "ab: 5"},
        {keys, 6, 120, "\"\": 6", {"\"\"|1", ": |7", "6|4"}},
        {keys, 7, 120, "a\\u0062: 7"},
        {vals, 1, 120, "[0] 9876", {"[0]|2", " |0", "9876|4"}},
        {vals, 3, 120, "[2] false", {"[2]|2", " |0", "false|5"}},
        {vals, 4, 120, "[3] null", {"[3]|2", " |0", "null|6"}},
        {vals, 5, 120, "[4] 0x1F"},
        {vals, 6, 120, "[5] \"sA\""},
        {R"({"e": {}, "f": []})", 1, 120, "e: {}", {"e|1", ": {}|7"}},
        {R"({"a": [1, 2)", 1, 120, "a: [2] (cut short)  [1, 2]",
         {"a|1", ": |7", "[2]|8", " |0", "(cut short)|11", "  |0", "[1, 2]|9"}},
        {R"({"a": [1, 2)", 1, 12, "a: [2] (cut" + E, {"a|1", ": |7", "[2]|8", " |0", "(cut" + E + "|11"}},
        {R"({"a": 1})", 0, 120, "root {1}", {"root |0", "{1}|8"}, true},
    });
}

TEST(RowLineText, RecordLabelsAndLargeCounts) {
    jxtest::Doc arr("[" + rep("0,", 1233) + "0]");
    EXPECT_EQ(runs_of(RowLine(arr, 1234, 120).l), (Runs{"[1233]|2", " |0", "0|4"}));
    EXPECT_EQ(runs_of(RowLine(arr, 0, 120, nullptr, JX_NONE, true).l), (Runs{"root |0", "[1,234]|8"}));
    std::string jsonl;
    for (int i = 0; i < 1234; i++) jsonl += "{\"i\":" + std::to_string(i) + "}\n";
    jxtest::Doc recs(jsonl);
    ASSERT_EQ(jx_doc_format(recs), uint32_t(JX_FORMAT_LINES));
    EXPECT_EQ(runs_of(RowLine(recs, jx_child_at(recs, 0, 1233), 120).l),
              (Runs{"line 1,234|2", " |0", "{1}|8", "  |0", "{i: 1233}|9"}));
    // Four children and ", …]" fill the 40 columns exactly.
    EXPECT_EQ(RowLine(recs, 0, 40).text(), "records [1,234]  [" + rep("{" + E + "}, ", 4) + E + "]");
    jxtest::Doc bad("1\n{bad\n");
    ASSERT_EQ(jx_type(bad, 2), JX_BAD);
    std::string msg = jx_doc_error(bad, 0)->message;
    EXPECT_EQ(runs_of(RowLine(bad, 2, 120).l),
              (Runs{"line 2|2", " |0", W + " " + msg + "|11", "  |0", "{bad|9"}));
    EXPECT_EQ(RowLine(bad, 0, 120).text(), "records [2]  [1, " + W + "]");
}

// ---- row lines: fitting into a width ----

TEST(RowLineWidth, KeysWithoutRoomForAValue) {
    const std::string d = R"({"abcd": 1, "abcdefghij": 2, "日本語日本語": 3})";
    check_rows({
        {d, 1, 8, "abcd: 1"},
        {d, 1, 7, "abcd: " + E},
        {d, 1, 6, "abcd:" + E, {"abcd|1", ":|7", E + "|1"}},  // two columns short: no value
        {d, 2, 5, "abcd" + E, {"abcd" + E + "|1"}},
        {d, 3, 4, "日本語" + E},
        {d, 2, 1, E},
        {d, 0, 3, "ro" + E, {"ro" + E + "|0"}},
        {"[1]", 1, 4, "[0]" + E, {"[0]" + E + "|2"}},
        {"[1]", 1, 5, "[0] " + E, {"[0]|2", " |0", E + "|2"}},
        {"[1]", 1, 6, "[0] 1"},
    });
}

TEST(RowLineWidth, StringsAndScalarsCutWithAnEllipsis) {
    std::string s600 = rep("abcdefg", 86).substr(0, 600);
    const std::string d = R"({"s": ")" + s600 + R"(", "t": "abc", "u": "é😀é😀é😀", "n": 12345, "m": )" +
                          std::string(600, '7') + "}";
    check_rows({
        {d, 1, 1000, "s: \"" + s600.substr(0, 500) + E + "\""},
        {d, 1, 6, "s: \"" + E + "\""},  // exactly 3 columns left
        {d, 1, 5, "s: \"" + E},         // 2 columns left
        {d, 2, 8, "t: \"abc\""},
        {d, 2, 7, "t: \"a" + E + "\"", {"t|1", ": |7", "\"a" + E + "\"|3"}},
        {d, 3, 10, "u: \"é😀é😀" + E + "\""},
        {d, 3, 11, "u: \"é😀é😀é😀\""},
        {d, 4, 7, "n: 123" + E},
        {d, 4, 8, "n: 12345"},
        {d, 5, 1000, "m: " + std::string(500, '7') + E, {"m|1", ": |7", std::string(500, '7') + E + "|4"}},
        {R"([")" + std::string(500, 'z') + R"("])", 1, 1000, "[0] \"" + std::string(500, 'z') + "\""},
    });
}

TEST(RowLineWidth, PreviewShowsWhatFitsChildByChild) {
    const std::string d = R"({"o": {"a": 1, "b": "x"}})";
    std::string k21(21, 'k'), v25(25, 'v'), w24(24, 'w');
    const std::string many = R"({"o": {")" + k21 + R"(": ")" + v25 + R"(", "": ")" + w24 +
                             R"(", "n": [1], "m": {}, "x": 12345678901234567890123456789}})";
    check_rows({
        // "o: {2}" takes 6 columns; the whole preview 16 more.
        {d, 1, 22, "o: {2}  {a: 1, b: \"x\"}", {"o|1", ": |7", "{2}|8", "  |0", "{a: 1, b: \"x\"}|9"}},
        {d, 1, 17, "o: {2}  {a: 1, " + E + "}"},
        {d, 1, 16, "o: {2}  {" + E + "}"},
        {d, 1, 11, "o: {2}  {" + E + "}"},
        {d, 1, 10, "o: {2}"},             // 4 columns left: no preview
        {d, 1, 120, "o: {2}", {}, true},  // expanded: no preview
        {many, 1, 200,
         "o: {5}  {" + k21.substr(0, 20) + E + ": \"" + v25.substr(0, 24) + E + "\", \"\": \"" + w24 +
             "\", n: [" + E + "], m: {}, x: 123456789012345678901234" + E + "}"},
        {R"([["\t"], [], {"a": null}])", 0, 120, "root [3]  [[" + E + "], [], {" + E + "}]"},
    });
}

TEST(RowLineWidth, ZeroWidthSetsOnlyTheGeometryAndBadRowsLeaveTheLineEmpty) {
    jxtest::Doc d(R"({"a": [1], "b": 2})");
    Rows rows(d);
    jx_rows_expand(rows.r, 0);
    Line l;
    jx_line_add(&l.l, "old", 3, 0);
    using Geometry = std::tuple<uint32_t, uint32_t, int, uint32_t>;  // node, depth, chevron, length
    auto line = [&](const JxRows *r, uint64_t row, uint32_t width) {
        jx_row_line(r, row, width, nullptr, JX_NONE, &l.l);
        return Geometry{l.l.node, l.l.depth, l.l.chevron, l.l.len};
    };
    EXPECT_EQ(line(rows.r, 1, 0), Geometry(1, 1, 1, 0));
    jx_rows_expand(rows.r, 1);
    EXPECT_EQ(line(rows.r, 1, 0), Geometry(1, 1, 2, 0));
    EXPECT_EQ(line(rows.r, 2, 0), Geometry(2, 2, 0, 0));
    EXPECT_EQ(line(rows.r, 4, 80), Geometry(JX_NONE, 0, 0, 0));
    EXPECT_EQ(line(nullptr, 0, 80), Geometry(JX_NONE, 0, 0, 0));
}

// ---- row lines: search hits ----

TEST(RowLineHits, MatchesInKeysAndShownValues) {
    struct Case {
        std::string json, query;
        uint32_t node, width;
        std::string marked;  // "": nothing may be marked
        uint32_t current = JX_NONE;
        uint8_t scope = JX_SCOPE_ALL;
    };
    const std::string far = R"({"abcdefgh": "ab", "s": ")" + std::string(600, 'a') + R"(zz"})";
    const std::string TAB = "\xE2\x87\xA5", NUL = "\xE2\x90\x80";
    const Case cases[] = {
        {R"({"name": "Ada"})", "a", 1, 120, "n<a>me: \"<A>d<a>\""},
        {"[9876]", "87", 1, 120, "[0] 9<87>6"},
        {R"(["abc"])", "b", 1, 120, "[0] \"a«b»c\"", 1},
        // Pictures are 3 bytes where the searched text had 1.
        {R"(["a\tbc\u0000bc"])", "bc", 1, 120, "[0] \"a" + TAB + "<bc>" + NUL + "<bc>\""},
        {R"(["a\tbc"])", "a\t", 1, 120, "[0] \"<a" + TAB + ">bc\""},
        // Decoded text is searched, not the escapes as written.
        {R"(["x\u0041y"])", "xAy", 1, 120, "[0] \"<xAy>\""},
        {R"(["x\u0041y"])", "u0041", 1, 120, ""},
        // Never labels, counts, previews or the quotes of an empty key.
        {R"({"": "q"})", "\"", 1, 120, ""},
        {R"({"o": {"ab": "ab"}})", "ab", 1, 120, ""},
        {R"([3, 3, 3])", "3", 0, 120, ""},
        {R"([5, 1])", "1", 2, 120, "[1] <1>"},
        // Only what is shown.
        {far, "cd", 1, 5, "ab<cd>" + E},
        {far, "gh", 1, 5, ""},
        {far, "zz", 2, 1000, ""},
        {far, "a", 1, 120, "<a>bcdefgh: \"ab\"", JX_NONE, JX_SCOPE_KEYS},
        {far, "ab", 1, 120, "abcdefgh: \"<ab>\"", JX_NONE, JX_SCOPE_VALUES},
        {R"({"bad": 1, "x": "y"})", "x", 2, 120, "<x>: \"y\""},
        {"1\n{end\n", "end", 2, 120, "line 2 " + W + " unexpected end of line  {<end>"},  // not the problem
    };
    for (const Case &c : cases) {
        jxtest::Doc d(c.json);
        Search s(d, c.query, c.scope);
        ASSERT_NE(s.s, nullptr);
        RowLine r(d, c.node, c.width, s.s, c.current);
        EXPECT_EQ(marks(r.l), c.marked.empty() ? r.text() : c.marked) << c.json << " / " << c.query;
    }
}

TEST(RowLineHits, MarkingLeavesTheTextAsBuiltWithoutSearch) {
    jxtest::Doc d(R"({"k\tk": "v\u0000v v", "long": ")" + std::string(300, 'v') + R"("})");
    Search s(d, "v");
    for (uint32_t node : {1u, 2u}) {
        for (uint32_t width : {3u, 9u, 400u}) {
            RowLine plain(d, node, width), marked(d, node, width, s.s);
            EXPECT_EQ(marked.text(), plain.text()) << node << " " << width;
        }
    }
    // Of 300 matches the first 256 are marked.
    RowLine many(d, 2, 400, s.s);
    uint32_t bytes = 0;
    for (uint32_t i = 0; i < many.l.nruns; i++) bytes += many.l.runs[i].hit ? many.l.runs[i].length : 0;
    EXPECT_EQ(bytes, 256u);
}

// ---- row lines: bounds and memory ----

TEST(RowLineBounds, HugeKeysAndStringsCostWhatIsShown) {
    // A 32 MB key and value: reading either to its end a few hundred times would take far
    // longer than the limit below, even under the sanitizers.
    const size_t big = size_t(32) << 20;
    std::string text = "{\"" + std::string(big, 'k') + "\": \"" + std::string(big, 'v') + "\"}";
    jxtest::Doc d(text);
    std::string().swap(text);
    ASSERT_EQ(jx_doc_count(d), 2u);
    Rows rows(d);
    Search s(d, "v");
    Line l;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; i++) jx_row_line(rows.r, 0, 120, s.s, JX_NONE, &l.l);
    EXPECT_EQ(l.text(), "root {1}  {" + std::string(20, 'k') + E + ": \"" + std::string(24, 'v') + E + "\"}");
    jx_rows_expand(rows.r, 0);
    for (int i = 0; i < 100; i++) jx_row_line(rows.r, 1, 1000, s.s, JX_NONE, &l.l);
    EXPECT_EQ(l.text(), std::string(999, 'k') + E);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(secs, 0.5);
}

TEST(RowLineBounds, MemoryShortageGivesAShorterSoundLine) {
    const std::string value = rep("va\\u0000lue \xC3\xA9\xE6\x97\xA5 ", 40);
    jxtest::Doc d(R"({"k\tey": ")" + value + R"(", "o": {"a": [1], "b": "x"}})");
    Search s(d, "a");
    for (uint32_t node : {1u, 2u}) {
        RowLine full(d, node, 400, s.s);
        jxtest::each_failure([&](uint64_t n, bool persistent) {
            Rows rows(d);
            jx_rows_reveal(rows.r, node);
            Line l;
            jxtest::fail_at(n, persistent);
            jx_row_line(rows.r, jx_rows_find(rows.r, node), 400, s.s, JX_NONE, &l.l);
            bool failed = jxtest::disarm();
            expect_sound(l.l);
            EXPECT_LE(l.l.len, full.l.len);
            if (!failed) {
                EXPECT_EQ(runs_of(l.l), runs_of(full.l));
            }
            return failed;
        });
    }
}

// Row depths come from the previous row asked for, in any order, and must
// still be the true depth, also below the indent cap of deep documents.
TEST(RowLineDepth, AnyOrderOfRowsGivesTheTrueDepth) {
    std::mt19937 rng(7);
    std::string deep = std::string(3000, '[') + "1" + std::string(3000, ']');
    for (std::string src : {deep, std::string("{\"a\":[1,{\"b\":[[2],{}]},3],\"c\":{\"d\":{\"e\":4}}}"),
                            std::string("{\"a\":1}\n[[2],[3,[4]]]\nbad\n5\n")}) {
        jxtest::Doc d(src);
        Rows rows(d);
        jx_rows_expand_all(rows.r);
        uint64_t n = jx_rows_count(rows.r);
        Line l;
        for (int step = 0; step < 400; step++) {
            uint64_t row = step < 200 ? n - 1 - uint64_t(step) % n : rng() % n;
            jx_row_line(rows.r, row, 80, nullptr, JX_NONE, &l.l);
            ASSERT_EQ(l.l.depth, jx_depth(d, uint32_t(jx_rows_node(rows.r, row)))) << "row " << row;
        }
    }
}
