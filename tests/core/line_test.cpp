#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "alloc.h"
#include "line_int.h"
#include "test_util.h"
#include "text_int.h"

namespace {

// What a line shows, run by run: "text|style" or "text|style|hit" for marked runs.
std::vector<std::string> runs_of(const JxLine &l) {
    std::vector<std::string> out;
    for (uint32_t i = 0; i < l.nruns; i++) {
        const JxRun &r = l.runs[i];
        std::string s = std::string(l.text + r.start, r.length) + "|" + std::to_string(r.style);
        if (r.hit) s += "|" + std::to_string(r.hit);
        out.push_back(s);
    }
    return out;
}

// The invariants every line keeps, whatever happened while it was built.
void expect_sound(const JxLine &l) {
    ASSERT_NE(l.text, nullptr);
    EXPECT_EQ(l.text[l.len], 0);
    uint32_t at = 0;
    for (uint32_t i = 0; i < l.nruns; i++) {
        EXPECT_EQ(l.runs[i].start, at);
        EXPECT_GT(l.runs[i].length, 0u);
        at += l.runs[i].length;
        // A run never starts inside a character.
        if (l.runs[i].start < l.len) {
            EXPECT_NE(uint8_t(l.text[l.runs[i].start]) & 0xC0, 0x80);
        }
    }
    EXPECT_EQ(at, l.len);
    for (uint32_t i = 0; i < l.len;) {
        size_t n = uint8_t(l.text[i]) < 0x80 ? 1
                                              : jx__utf8_len(reinterpret_cast<const unsigned char *>(l.text + i),
                                                             reinterpret_cast<const unsigned char *>(l.text + l.len));
        ASSERT_NE(n, 0u) << "invalid UTF-8 at byte " << i;
        i += uint32_t(n);
    }
}

struct Line {
    JxLine l;
    Line() { jx_line_init(&l); }
    ~Line() { jx_line_free(&l); }
    std::string text() const { return std::string(l.text, l.len); }
};

struct Rows {
    JxRows *r;
    explicit Rows(JxDoc *d) : r(jx_rows_new(d)) {}
    ~Rows() { jx_rows_free(r); }
};

struct Search {
    JxSearch *s;
    Search(JxDoc *d, const std::string &q, bool regex = false, uint8_t scope = JX_SCOPE_ALL) {
        JxSearchOptions o{};
        o.regex = regex;
        o.scope = scope;
        s = jx_search_new(d, q.data(), q.size(), &o, nullptr, 0);
    }
    ~Search() { jx_search_free(s); }
};

// The line of a node, shown as a collapsed row with its ancestors opened.
struct RowLine : Line {
    RowLine(JxDoc *d, uint32_t node, uint32_t width, const JxSearch *s = nullptr, uint32_t current = JX_NONE) {
        Rows rows(d);
        jx_rows_reveal(rows.r, node);
        jx_row_line(rows.r, jx_rows_find(rows.r, node), width, s, current, &l);
        expect_sound(l);
    }
};

std::string line_text(JxDoc *d, uint32_t node, uint32_t width = 120) { return RowLine(d, node, width).text(); }

// The characters a piece of source text shows.
std::string shown(const std::string &src, bool decode) {
    Line line;
    jx_piece pc = jx__piece(src.data(), uint32_t(src.size()), JX_STYLE_STRING);
    pc.decode = decode;
    jx__put_piece(&line.l, &pc, jx__count(&pc, UINT32_MAX));
    return line.text();
}

bool unmarked(const Line &r) {
    for (uint32_t i = 0; i < r.l.nruns; i++)
        if (r.l.runs[i].hit) return false;
    return true;
}

const std::string kEll = "\xE2\x80\xA6";
const std::string kWarn = "\xE2\x9A\xA0";

}  // namespace

// ---- the line buffer ----

TEST(LineBuffer, FreshLineIsTheSharedEmptyText) {
    Line a, b;
    EXPECT_EQ(a.l.text, b.l.text);
    EXPECT_STREQ(a.l.text, "");
    EXPECT_EQ(a.l.cap, 0u);
    EXPECT_EQ(a.l.node, JX_NONE);
    jx_line_clear(&a.l);  // must not write into the shared text
    EXPECT_STREQ(b.l.text, "");
    JxLine f;
    jx_line_init(&f);
    jx_line_add(&f, "x", 1, 0);
    jx_line_free(&f);
    EXPECT_EQ(f.text, nullptr);
    EXPECT_EQ(f.runs, nullptr);
    jx_line_free(nullptr);
    EXPECT_EQ(jx_line_chars(nullptr), 0u);
    EXPECT_EQ(jx_line_add(nullptr, "x", 1, 0), 0);
}

TEST(LineBuffer, AddExtendsRunsOfOneStyleAndGrowsByDoubling) {
    Line line;
    jx_line_add(&line.l, "ab", 2, 1);
    jx_line_add(&line.l, "cd", 2, 1);
    jx_line_add(&line.l, "e", 1, 2);
    jx_line_add(&line.l, "", 0, 3);  // nothing, not even an empty run
    EXPECT_EQ(runs_of(line.l), (std::vector<std::string>{"abcd|1", "e|2"}));
    EXPECT_EQ(line.l.cap, 32u);
    std::string more(40, 'x');
    jx_line_add(&line.l, more.data(), 40, 2);
    EXPECT_EQ(line.l.cap, 64u);  // 5 + 40 + the zero byte
    for (int i = 0; i < 5; i++) jx_line_add(&line.l, "y", 1, 3 + i % 2);
    EXPECT_EQ(line.l.nruns, 7u);
    EXPECT_EQ(line.l.rcap, 8u);
    expect_sound(line.l);
    jx_line_clear(&line.l);
    EXPECT_EQ(line.l.len, 0u);
    EXPECT_EQ(line.l.nruns, 0u);
    EXPECT_STREQ(line.l.text, "");
    EXPECT_EQ(line.l.cap, 64u);
}

TEST(LineBuffer, MarkSplitsRunsAndMergesAlikeNeighbours) {
    Line line;
    jx_line_add(&line.l, "aaaa", 4, 1);
    jx_line_add(&line.l, "bbbb", 4, 2);
    jx_line_mark(&line.l, 2, 4, 1);
    EXPECT_EQ(runs_of(line.l), (std::vector<std::string>{"aa|1", "aa|1|1", "bb|2|1", "bb|2"}));
    jx_line_mark(&line.l, 6, 100, 2);  // cut to the text
    // A marked last run is not extended: the new bytes carry no hit.
    jx_line_add(&line.l, "b", 1, 2);
    EXPECT_EQ(runs_of(line.l), (std::vector<std::string>{"aa|1", "aa|1|1", "bb|2|1", "bb|2|2", "b|2"}));
    jx_line_mark(&line.l, 0, 9, 0);
    EXPECT_EQ(runs_of(line.l), (std::vector<std::string>{"aaaa|1", "bbbbb|2"}));
    jx_line_mark(&line.l, 9, 1, 1);  // past the end
    jx_line_mark(&line.l, 3, 0, 1);  // empty
    EXPECT_EQ(runs_of(line.l), (std::vector<std::string>{"aaaa|1", "bbbbb|2"}));
    jx_line_mark(&line.l, 0xFFFFFFF0u, 0x20, 1);
    jx_line_mark(&line.l, 8, 0xFFFFFFFFu, 1);  // the end must not wrap around
    EXPECT_EQ(runs_of(line.l), (std::vector<std::string>{"aaaa|1", "bbbb|2", "b|2|1"}));
}

TEST(LineBuffer, CharsCountsCodePoints) {
    Line line;
    std::string t = "a\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80";
    jx_line_add(&line.l, t.data(), uint32_t(t.size()), 0);
    EXPECT_EQ(jx_line_chars(&line.l), 4u);
}

TEST(LineBuffer, FailedGrowthLeavesTheLineAsItWas) {
    for (bool persistent : {false, true}) {
        for (uint64_t n = 1;; n++) {
            Line line;
            std::vector<std::string> before;
            std::string before_text;
            jx__alloc_fail_at(n, persistent);
            int i = 0;
            for (; i < 40; i++) {
                before = runs_of(line.l);
                before_text = line.text();
                std::string piece(size_t(1 + i % 7), char('a' + i % 26));
                if (!jx_line_add(&line.l, piece.data(), uint32_t(piece.size()), i % 3)) break;
                if (i % 5 == 4) jx_line_mark(&line.l, 1, 3, 1);
            }
            bool failed = jx__alloc_failed();
            jx__alloc_fail_at(0, false);
            expect_sound(line.l);
            if (!failed) break;
            if (i < 40) {
                EXPECT_EQ(line.text(), before_text) << n;
                EXPECT_EQ(runs_of(line.l), before) << n;
            }
        }
    }
}

TEST(LineBuffer, FailedMarkChangesNothing) {
    Line line;
    jx_line_add(&line.l, "abcdef", 6, 1);
    jx__alloc_fail_at(1, false);
    jx_line_mark(&line.l, 1, 2, 1);
    jx__alloc_fail_at(0, false);
    EXPECT_EQ(runs_of(line.l), (std::vector<std::string>{"abcdef|1"}));
}

// ---- reading characters ----

TEST(LineCharacters, EscapesDecodeLikeTheDocumentDecoder) {
    struct Case {
        const char *src, *shown;
    };
    const Case cases[] = {
        {"a\\u0062c", "abc"},
        {"\\ud83d\\ude00", "\xF0\x9F\x98\x80"},
        {"\\ud83d!", "\xEF\xBF\xBD!"},          // a lone high surrogate
        {"\\ude00", "\xEF\xBF\xBD"},            // a lone low surrogate
        {"\\ud83d\\u0041", "\xEF\xBF\xBD" "A"},  // a high surrogate before a non-surrogate escape
        {"\\x41\\x4a", "AJ"},
        {"\\u12x", "\xEF\xBF\xBD" "12x"},  // bad digits: only the backslash and the letter go
        {"\\xg1", "\xEF\xBF\xBDg1"},
        {"\\u004", "\xEF\xBF\xBD" "004"},  // too few bytes left
        {"a\\\nb\\\r\nc\\\rd", "abcd"},    // line continuations
        {"a\\\xE2\x80\xA8" "b", "ab"},     // U+2028 continues the line too
        {"\\\xC3\xA9", "\xC3\xA9"},        // a backslash before other non-ASCII is dropped
        {"\\\"\\\\\\/\\'\\q", "\"\\/'q"},
        {"end\\", "end"},
    };
    for (const Case &c : cases) EXPECT_EQ(shown(c.src, true), c.shown) << c.src;
    EXPECT_EQ(shown("a\\u0062", false), "a\\u0062");
}

TEST(LineCharacters, MalformedUtf8ShowsOneReplacementPerByte) {
    EXPECT_EQ(shown("a\xFF" "b", false), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(shown("\xC0\x80", false), "\xEF\xBF\xBD\xEF\xBF\xBD");          // overlong
    EXPECT_EQ(shown("\xED\xA0\x80", false), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // a surrogate
    EXPECT_EQ(shown("\xE6\x97", false), "\xEF\xBF\xBD\xEF\xBF\xBD");          // cut short by the end
    EXPECT_EQ(shown("\xF4\x90\x80\x80", false).size(), 12u);                  // above U+10FFFF
}

TEST(LineCharacters, ControlCharactersShowAsPictures) {
    EXPECT_EQ(shown("\\t\\n\\u0000\\u001b\\u007f\\r", true),
              "\xE2\x87\xA5\xE2\x8F\x8E\xE2\x90\x80\xE2\x90\x9B\xE2\x90\xA1\xE2\x90\x8D");
    EXPECT_EQ(shown("a\tb", false), "a\xE2\x87\xA5" "b");
}

// ---- row lines: keys, labels and values ----

TEST(RowLineText, MemberWithStringValueIsThreeRuns) {
    jxtest::Doc d(R"({"name":"Ada"})");
    RowLine r(d, 1, 120);
    EXPECT_EQ(runs_of(r.l), (std::vector<std::string>{"name|1", ": |7", "\"Ada\"|3"}));
    EXPECT_EQ(r.l.node, 1u);
    EXPECT_EQ(r.l.depth, 1u);
    EXPECT_EQ(r.l.chevron, 0);
}

TEST(RowLineText, LabelsOfRootElementsAndRecords) {
    std::string elements;
    for (int i = 0; i < 1233; i++) elements += "0,";
    jxtest::Doc arr("[" + elements + "0]");
    EXPECT_EQ(runs_of(RowLine(arr, 1234, 120).l), (std::vector<std::string>{"[1233]|2", " |0", "0|4"}));
    Rows open(arr);
    jx_rows_expand(open.r, 0);
    Line root;
    jx_row_line(open.r, 0, 120, nullptr, JX_NONE, &root.l);
    EXPECT_EQ(runs_of(root.l), (std::vector<std::string>{"root |0", "[1,234]|8"}));
    EXPECT_EQ(root.l.chevron, 2);

    std::string jsonl;
    for (int i = 0; i < 1234; i++) jsonl += "{\"i\":" + std::to_string(i) + "}\n";
    jxtest::Doc recs(jsonl);
    ASSERT_EQ(jx_doc_format(recs), uint32_t(JX_FORMAT_LINES));
    EXPECT_EQ(runs_of(RowLine(recs, 0, 120).l)[1], "[1,234]|8");
    // Four children and ", …]" fill the 40 columns exactly.
    std::string braces = "{" + kEll + "}";
    RowLine fitted(recs, 0, 40);
    EXPECT_EQ(fitted.text(), "records [1,234]  [" + braces + ", " + braces + ", " + braces + ", " + braces + ", " + kEll + "]");
    EXPECT_EQ(jx_line_chars(&fitted.l), 40u);
    uint32_t last = jx_child_at(recs, 0, 1233);
    EXPECT_EQ(runs_of(RowLine(recs, last, 120).l),
              (std::vector<std::string>{"line 1,234|2", " |0", "{1}|8", "  |0", "{i: 1233}|9"}));
}

TEST(RowLineText, KeysAsWrittenOrDecoded) {
    jxtest::Doc d(R"({"a\u0062\n": 1, "x\"y": 2, 'sq': 3, un$_1: 4, \u0061b: 5, "": 6, "raw": 7})");
    EXPECT_EQ(line_text(d, 1), "ab\xE2\x8F\x8E: 1");
    EXPECT_EQ(line_text(d, 2), "x\"y: 2");
    EXPECT_EQ(line_text(d, 3), "sq: 3");
    EXPECT_EQ(line_text(d, 4), "un$_1: 4");
    EXPECT_EQ(line_text(d, 5), "ab: 5");
    EXPECT_EQ(runs_of(RowLine(d, 6, 120).l), (std::vector<std::string>{"\"\"|1", ": |7", "6|4"}));
    jxtest::Doc plain(R"({"a\\u0062": 1})");  // an escaped backslash: the text shows one
    EXPECT_EQ(line_text(plain, 1), "a\\u0062: 1");
}

TEST(RowLineText, ScalarsKeepTheirTextAndStyle) {
    jxtest::Doc d(R"([9876, true, false, null, 0x1F, "s\u0041"])");
    EXPECT_EQ(runs_of(RowLine(d, 1, 120).l).back(), "9876|4");
    EXPECT_EQ(runs_of(RowLine(d, 2, 120).l).back(), "true|5");
    EXPECT_EQ(runs_of(RowLine(d, 3, 120).l).back(), "false|5");
    EXPECT_EQ(runs_of(RowLine(d, 4, 120).l).back(), "null|6");
    EXPECT_EQ(runs_of(RowLine(d, 5, 120).l).back(), "0x1F|4");
    EXPECT_EQ(runs_of(RowLine(d, 6, 120).l).back(), "\"sA\"|3");
}

TEST(RowLineText, ContainersShowCountsAndUnclosedOnes) {
    jxtest::Doc d(R"({"e": {}, "f": [], "big": [1, 2]})");
    EXPECT_EQ(runs_of(RowLine(d, 1, 120).l), (std::vector<std::string>{"e|1", ": {}|7"}));
    EXPECT_EQ(runs_of(RowLine(d, 2, 120).l), (std::vector<std::string>{"f|1", ": []|7"}));
    EXPECT_EQ(RowLine(d, 3, 120).l.chevron, 1);
    jxtest::Doc cut(R"({"a": [1, 2)");
    EXPECT_EQ(runs_of(RowLine(cut, 1, 120).l),
              (std::vector<std::string>{"a|1", ": |7", "[2]|8", " |0", "(cut short)|11", "  |0", "[1, 2]|9"}));
    // The note is fitted into what the count left: "a: [2] (cut…" is 12 columns.
    EXPECT_EQ(line_text(cut, 1, 12), "a: [2] (cut" + kEll);
    EXPECT_EQ(runs_of(RowLine(cut, 1, 12).l).back(), "(cut" + kEll + "|11");
}

TEST(RowLineText, UnreadableRecordShowsItsProblemAndText) {
    jxtest::Doc d("1\n{bad\n");
    ASSERT_EQ(jx_type(d, 2), JX_BAD);
    RowLine r(d, 2, 120);
    std::string msg = jx_doc_error(d, 0)->message;
    EXPECT_EQ(runs_of(r.l),
              (std::vector<std::string>{"line 2|2", " |0", kWarn + " " + msg + "|11", "  |0", "{bad|9"}));
    // Collapsed, the records root previews it as a sign.
    Rows rows(d);
    Line l;
    jx_row_line(rows.r, 0, 120, nullptr, JX_NONE, &l.l);
    EXPECT_EQ(l.text(), "records [2]  [1, " + kWarn + "]");
}

// ---- row lines: fitting into a width ----

TEST(RowLineWidth, KeyWithoutRoomForAValueEndsInAnEllipsis) {
    jxtest::Doc d(R"({"abcd": 1, "abcdefghij": 2, "日本語日本語": 3})");
    EXPECT_EQ(line_text(d, 1, 8), "abcd: 1");
    EXPECT_EQ(line_text(d, 1, 7), "abcd: " + kEll);
    EXPECT_EQ(line_text(d, 1, 6), "abcd:" + kEll);
    EXPECT_EQ(runs_of(RowLine(d, 1, 6).l), (std::vector<std::string>{"abcd|1", ":|7", kEll + "|1"}));
    EXPECT_EQ(runs_of(RowLine(d, 2, 5).l), (std::vector<std::string>{"abcd" + kEll + "|1"}));
    EXPECT_EQ(line_text(d, 3, 4), "日本語" + kEll);
    EXPECT_EQ(line_text(d, 2, 1), kEll);
    EXPECT_EQ(runs_of(RowLine(d, 0, 3).l), (std::vector<std::string>{"ro" + kEll + "|0"}));
    jxtest::Doc arr("[1]");
    EXPECT_EQ(runs_of(RowLine(arr, 1, 4).l), (std::vector<std::string>{"[0]" + kEll + "|2"}));
    EXPECT_EQ(runs_of(RowLine(arr, 1, 5).l), (std::vector<std::string>{"[0]|2", " |0", kEll + "|2"}));
    EXPECT_EQ(runs_of(RowLine(arr, 1, 6).l), (std::vector<std::string>{"[0]|2", " |0", "1|4"}));
}

TEST(RowLineWidth, LongStringsShowTheirFirstCharactersAndAnEllipsisInsideTheQuotes) {
    std::string s600(600, 'a');
    for (int i = 0; i < 600; i += 7) s600[size_t(i)] = 'b';
    jxtest::Doc d(R"({"s": ")" + s600 + R"(", "t": "abc"})");
    EXPECT_EQ(line_text(d, 1, 1000), "s: \"" + s600.substr(0, 500) + kEll + "\"");
    EXPECT_EQ(line_text(d, 1, 6), "s: \"" + kEll + "\"");  // exactly 3 columns left
    EXPECT_EQ(line_text(d, 1, 5), "s: \"" + kEll);         // 2 columns left
    EXPECT_EQ(line_text(d, 2, 8), "t: \"abc\"");
    EXPECT_EQ(line_text(d, 2, 7), "t: \"a" + kEll + "\"");
    EXPECT_EQ(runs_of(RowLine(d, 2, 7).l).back(), "\"a" + kEll + "\"|3");
    // A 500-character string is not cut.
    jxtest::Doc five(R"([")" + std::string(500, 'z') + R"("])");
    EXPECT_EQ(line_text(five, 1, 1000), "[0] \"" + std::string(500, 'z') + "\"");
    // Cut between multi-byte characters, never inside one.
    jxtest::Doc wide(R"(["é😀é😀é😀"])");
    EXPECT_EQ(line_text(wide, 1, 10), "[0] \"é😀é" + kEll + "\"");
    EXPECT_EQ(line_text(wide, 1, 11), "[0] \"é😀é😀" + kEll + "\"");
    EXPECT_EQ(line_text(wide, 1, 12), "[0] \"é😀é😀é😀\"");
}

TEST(RowLineWidth, LongScalarsAreCutAt500AndFitted) {
    std::string digits(600, '7');
    jxtest::Doc d("[" + digits + ", 12345]");
    EXPECT_EQ(runs_of(RowLine(d, 1, 1000).l).back(), digits.substr(0, 500) + kEll + "|4");
    EXPECT_EQ(line_text(d, 2, 8), "[1] 123" + kEll);
    EXPECT_EQ(line_text(d, 2, 9), "[1] 12345");
}

TEST(RowLineWidth, PreviewShrinksChildByChild) {
    jxtest::Doc d(R"({"o": {"a": 1, "b": "x"}})");
    // "o: {2}" is 6 columns; the full preview needs 16 more.
    EXPECT_EQ(runs_of(RowLine(d, 1, 22).l),
              (std::vector<std::string>{"o|1", ": |7", "{2}|8", "  |0", "{a: 1, b: \"x\"}|9"}));
    EXPECT_EQ(line_text(d, 1, 21), "o: {2}  {a: 1, " + kEll + "}");
    EXPECT_EQ(line_text(d, 1, 17), "o: {2}  {a: 1, " + kEll + "}");
    EXPECT_EQ(line_text(d, 1, 16), "o: {2}  {" + kEll + "}");
    EXPECT_EQ(line_text(d, 1, 11), "o: {2}  {" + kEll + "}");
    EXPECT_EQ(line_text(d, 1, 10), "o: {2}");  // 4 columns left: no preview
    Rows rows(d);
    Line open;
    jx_rows_expand(rows.r, 0);
    jx_row_line(rows.r, 0, 120, nullptr, JX_NONE, &open.l);
    EXPECT_EQ(open.text(), "root {1}");  // expanded: no preview
}

TEST(RowLineWidth, PreviewCutsLongKeysAndValues) {
    std::string k21(21, 'k'), v25(25, 'v'), v24(24, 'w');
    jxtest::Doc d(R"({"o": {")" + k21 + R"(": ")" + v25 + R"(", "": ")" + v24 + R"(", "n": [1], "m": {}, "x": 12345678901234567890123456789}})");
    std::string expected = "o: {5}  {" + k21.substr(0, 20) + kEll + ": \"" + v25.substr(0, 24) + kEll + "\", \"\": \"" +
                           v24 + "\", n: [" + kEll + "], m: {}, x: 123456789012345678901234" + kEll + "}";
    EXPECT_EQ(line_text(d, 1, 200), expected);
    jxtest::Doc arr(R"([["\t"], [], {"a": null}])");
    EXPECT_EQ(line_text(arr, 0, 120), "root [3]  [[" + kEll + "], [], {" + kEll + "}]");
}

TEST(RowLineWidth, GeometryOnlyAndRowsOutOfRange) {
    jxtest::Doc d(R"({"a": [1], "b": 2})");
    Rows rows(d);
    jx_rows_expand(rows.r, 0);
    Line l;
    jx_line_add(&l.l, "old", 3, 0);
    jx_row_line(rows.r, 1, 0, nullptr, JX_NONE, &l.l);
    EXPECT_EQ(l.l.len, 0u);
    EXPECT_EQ(l.l.node, 1u);
    EXPECT_EQ(l.l.depth, 1u);
    EXPECT_EQ(l.l.chevron, 1);
    jx_rows_expand(rows.r, 1);
    jx_row_line(rows.r, 1, 0, nullptr, JX_NONE, &l.l);
    EXPECT_EQ(l.l.chevron, 2);
    jx_row_line(rows.r, 2, 0, nullptr, JX_NONE, &l.l);
    EXPECT_EQ(l.l.depth, 2u);
    jx_row_line(rows.r, 99, 80, nullptr, JX_NONE, &l.l);
    EXPECT_EQ(l.l.node, JX_NONE);
    EXPECT_EQ(l.l.len, 0u);
    jx_row_line(nullptr, 0, 80, nullptr, JX_NONE, &l.l);
    EXPECT_EQ(l.l.node, JX_NONE);
    jx_row_line(rows.r, 0, 80, nullptr, JX_NONE, nullptr);
}

// ---- row lines: search hits ----

TEST(RowLineHits, MatchesInKeyAndValueAreMarked) {
    jxtest::Doc d(R"({"name": "Ada", "n": 9876})");
    Search s(d, "a");
    EXPECT_EQ(runs_of(RowLine(d, 1, 120, s.s).l),
              (std::vector<std::string>{"n|1", "a|1|1", "me|1", ": |7", "\"|3", "A|3|1", "d|3", "a|3|1", "\"|3"}));
    Search n(d, "87");
    EXPECT_EQ(runs_of(RowLine(d, 2, 120, n.s).l), (std::vector<std::string>{"n|1", ": |7", "9|4", "87|4|1", "6|4"}));
}

TEST(RowLineHits, CurrentRowIsMarkedTwo) {
    jxtest::Doc d(R"(["abc", "abc"])");
    Search s(d, "b");
    EXPECT_EQ(runs_of(RowLine(d, 1, 120, s.s, 1).l)[3], "b|3|2");
    EXPECT_EQ(runs_of(RowLine(d, 2, 120, s.s, 1).l)[3], "b|3|1");
}

TEST(RowLineHits, MatchAfterAControlPictureLandsOnTheRightCharacters) {
    jxtest::Doc d(R"(["a\tbc\u0000bc"])");
    Search s(d, "bc");
    RowLine r(d, 1, 120, s.s);
    EXPECT_EQ(r.text(), "[0] \"a\xE2\x87\xA5" "bc\xE2\x90\x80" "bc\"");
    EXPECT_EQ(runs_of(r.l), (std::vector<std::string>{"[0]|2", " |0", "\"a\xE2\x87\xA5|3", "bc|3|1", "\xE2\x90\x80|3",
                                                      "bc|3|1", "\"|3"}));
    // A match holding the control character covers its whole picture.
    Search t(d, "a\t");
    EXPECT_EQ(runs_of(RowLine(d, 1, 120, t.s).l)[3], "a\xE2\x87\xA5|3|1");
}

TEST(RowLineHits, MatchesFollowTheDecodedText) {
    jxtest::Doc d(R"(["x\u0041y"])");
    Search decoded(d, "xAy");
    EXPECT_EQ(runs_of(RowLine(d, 1, 120, decoded.s).l)[3], "xAy|3|1");
    Search raw(d, "u0041");
    EXPECT_TRUE(unmarked(RowLine(d, 1, 120, raw.s)));
    Search rx(d, "A+y", true);
    EXPECT_EQ(runs_of(RowLine(d, 1, 120, rx.s).l)[3], "Ay|3|1");
}

TEST(RowLineHits, NothingOutsideKeysAndShownValuesIsMarked) {
    // Labels, counts, previews and the quotes of an empty key are never matches.
    jxtest::Doc d(R"({"": "q", "o": {"ab": "ab"}, "l": [1, 1]})");
    Search quote(d, "\"");
    Search ab(d, "ab");
    Search one(d, "1"), three(d, "3");
    EXPECT_TRUE(unmarked(RowLine(d, 1, 120, quote.s)));
    EXPECT_TRUE(unmarked(RowLine(d, 2, 120, ab.s)));
    RowLine root(d, 0, 120, three.s);
    EXPECT_EQ(root.text(), "root {3}  {\"\": \"q\", o: {" + kEll + "}, l: [" + kEll + "]}");
    EXPECT_TRUE(unmarked(root));
    RowLine second(d, 6, 120, one.s);
    EXPECT_EQ(runs_of(second.l), (std::vector<std::string>{"[1]|2", " |0", "1|4|1"}));
}

TEST(RowLineHits, OnlyShownCharactersAreMarked) {
    jxtest::Doc d(R"({"abcdefgh": "x", "s": ")" + std::string(600, 'a') + R"(zz"})");
    Search cd(d, "cd");
    EXPECT_EQ(runs_of(RowLine(d, 1, 5, cd.s).l), (std::vector<std::string>{"ab|1", "cd|1|1", kEll + "|1"}));
    Search gh(d, "gh");
    EXPECT_EQ(RowLine(d, 1, 5, gh.s).l.nruns, 1u);
    Search zz(d, "zz");
    EXPECT_TRUE(unmarked(RowLine(d, 2, 1000, zz.s)));
    // Keys-only search leaves values alone, and the scope is honoured for keys too.
    Search keys(d, "a", false, JX_SCOPE_KEYS);
    EXPECT_EQ(runs_of(RowLine(d, 1, 120, keys.s).l)[0], "a|1|1");
    Search values(d, "a", false, JX_SCOPE_VALUES);
    EXPECT_EQ(runs_of(RowLine(d, 1, 120, values.s).l)[0], "abcdefgh|1");
}

TEST(RowLineHits, MarkingLeavesTheTextAsBuiltWithoutSearch) {
    jxtest::Doc d(R"({"k\tk": "v\u0000v v", "long": ")" + std::string(300, 'v') + R"("})");
    Search s(d, "v");
    for (uint32_t node : {1u, 2u}) {
        for (uint32_t width : {3u, 9u, 120u, 400u}) {
            RowLine plain(d, node, width), marked(d, node, width, s.s);
            EXPECT_EQ(marked.text(), plain.text()) << node << " " << width;
            EXPECT_EQ(jx_line_chars(&marked.l), jx_line_chars(&plain.l));
        }
    }
    // More matches than one request returns: the first 256 are marked.
    RowLine many(d, 2, 400, s.s);
    uint32_t marked = 0;
    for (uint32_t i = 0; i < many.l.nruns; i++) marked += many.l.runs[i].hit ? many.l.runs[i].length : 0;
    EXPECT_EQ(marked, 256u);
}

// ---- row lines: bounds and memory ----

TEST(RowLineBounds, HugeKeysAndStringsCostWhatIsShown) {
    // A 32 MB key and value; reading either whole would take far longer than the limit below,
    // built a hundred times, even under the sanitizers.
    const size_t big = size_t(32) << 20;
    std::string text;
    text.reserve(2 * big + 64);
    text += "{\"";
    text.append(big, 'k');
    text += "\": \"";
    text.append(big, 'v');
    text += "\"}";
    jxtest::Doc d(text);
    ASSERT_EQ(jx_doc_count(d), 2u);
    Rows rows(d);
    jx_rows_expand(rows.r, 0);
    Search s(d, "v");
    Line l;
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < 100; i++) jx_row_line(rows.r, 1, 120, s.s, JX_NONE, &l.l);
    EXPECT_EQ(l.text(), std::string(119, 'k') + kEll);
    for (int i = 0; i < 100; i++) jx_row_line(rows.r, 1, 1000, s.s, JX_NONE, &l.l);
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(l.text(), std::string(999, 'k') + kEll);
    jx_row_line(rows.r, 0, 120, s.s, JX_NONE, &l.l);
    EXPECT_EQ(l.text(), "root {1}");
    jx_rows_collapse(rows.r, 0);
    jx_row_line(rows.r, 0, 120, s.s, JX_NONE, &l.l);
    EXPECT_EQ(l.text(), "root {1}  {" + std::string(20, 'k') + kEll + ": \"" + std::string(24, 'v') + kEll + "\"}");
    EXPECT_LT(secs, 0.5);
}

TEST(RowLineBounds, MemoryShortageGivesAShorterSoundLine) {
    jxtest::Doc d(R"({"k\tey": "va\u0000lue value value", "o": {"a": [1], "b": "x"}})");
    Search s(d, "a");
    for (uint32_t node : {1u, 2u}) {
        RowLine full(d, node, 120, s.s);
        for (bool persistent : {false, true}) {
            for (uint64_t n = 1;; n++) {
                Rows rows(d);
                jx_rows_reveal(rows.r, node);
                Line l;
                jx__alloc_fail_at(n, persistent);
                jx_row_line(rows.r, jx_rows_find(rows.r, node), 120, s.s, JX_NONE, &l.l);
                bool failed = jx__alloc_failed();
                jx__alloc_fail_at(0, false);
                expect_sound(l.l);
                EXPECT_LE(l.l.len, full.l.len);
                if (!failed) {
                    EXPECT_EQ(runs_of(l.l), runs_of(full.l));
                    break;
                }
            }
        }
    }
}
