#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

namespace {

using jxtest::Runs;
using jxtest::runs_of;

const std::string E = "\xE2\x80\xA6", PROBLEM = "  \xE2\x97\x80 ";  // the ellipsis; what leads a problem

struct Text {
    int status = -1;  // before t, which sets it
    JxText *t;
    Text(JxDoc *d, int mode, const jx_progress *pr = nullptr) : t(jx_text_new(d, mode, pr, &status)) {}
    ~Text() { jx_text_free(t); }
};

struct Line {
    JxLine l;
    Line() { jx_line_init(&l); }
    ~Line() { jx_line_free(&l); }
    std::string text() const { return std::string(l.text, l.len); }
};

struct Search {
    JxSearch *s;
    Search(JxDoc *d, const std::string &q) : s(jx_search_new(d, q.data(), q.size(), nullptr, nullptr, 0)) {}
    ~Search() { jx_search_free(s); }
};

// One line of a model, checked for soundness and width.
Line line_of(const JxText *t, uint32_t i, uint32_t width = 0, const JxSearch *s = nullptr, uint32_t current = JX_NONE) {
    Line l;
    jx_text_line(t, i, width, s, current, &l.l);
    jxtest::expect_sound(l.l);
    EXPECT_TRUE(width == 0 || jx_line_chars(&l.l) <= width);
    return l;
}

std::string copy(const JxText *t, uint32_t a, uint32_t b) {
    size_t n = 0;
    char *c = jx_text_copy(t, a, b, &n);
    std::string s = c ? std::string(c, n) : "<null>";
    EXPECT_EQ(jx_text_copy_size(t, a, b), c ? n : 0);
    free(c);
    return s;
}

// Lines of a document: their texts and, where given, their runs.
struct Shown {
    uint32_t line;
    std::string text;
    Runs runs = {};
};
struct Case {
    std::string src;
    int mode;
    uint32_t width;
    std::vector<Shown> lines;
    bool lines_format = false;
};

void check(const std::vector<Case> &cases) {
    for (const Case &c : cases) {
        jxtest::Doc d(c.src, false, c.lines_format);
        Text t(d, c.mode);
        for (const Shown &s : c.lines) {
            Line l = line_of(t.t, s.line, c.width);
            EXPECT_EQ(l.text(), s.text) << c.src << " line " << s.line;
            EXPECT_TRUE(s.runs.empty() || runs_of(l.l) == s.runs) << c.src << " line " << s.line;
            EXPECT_EQ(l.l.number, s.line + 1);
        }
    }
}

const std::string DEEP = std::string(45, '[') + "1" + std::string(45, ']');

}  // namespace

TEST(TextPretty, OneValuePerLineAsWrittenCutAtTheWidth) {
    const std::string W = "\xE2\x9A\xA0";
    check({
        {R"({"a":[1,2],"b":{}})", JX_TEXT_PRETTY, 0,
         {{0, "{"}, {1, "  \"a\": [", {"  |7", "\"a\"|1", ": [|7"}}, {2, "    1,", {"    |7", "1|4", ",|7"}},
          {3, "    2"}, {4, "  ],"}, {5, "  \"b\": {}"}, {6, "}"}}},
        // Records are the outermost lines, without commas.
        {"1\n\"x\"\n[true]\n", JX_TEXT_PRETTY, 0, {{0, "1"}, {1, "\"x\""}, {2, "["}, {3, "  true"}, {4, "]"}}, true},
        {"{\"a\":1} [2]\n@x\n", JX_TEXT_PRETTY, 0,
         {{2, "}"}, {5, "]"}, {6, W + " line 2: expected a value: @x", {W + " line 2: expected a value: @x|11"}}}},
        {"{a: 'x', b: 0x1F, c: [+1, .5,], }", JX_TEXT_PRETTY, 0,
         {{1, "  a: 'x',", {"  |7", "a|1", ": |7", "'x'|3", ",|7"}}, {4, "    +1,"}, {5, "    .5"}, {6, "  ]"}}},
        {"[\"a\tb\", \"\xFF\", false, null]", JX_TEXT_PRETTY, 0,
         {{1, "  \"a\xE2\x87\xA5" "b\","}, {2, "  \"\xEF\xBF\xBD\","}, {3, "  false,", {"  |7", "false|5", ",|7"}},
          {4, "  null", {"  |7", "null|6"}}}},
        {"[[[]],{}]", JX_TEXT_PRETTY, 0, {{1, "  ["}, {2, "    []"}, {3, "  ],"}, {4, "  {}"}}},
        {DEEP, JX_TEXT_PRETTY, 0,
         {{45, std::string(80, ' ') + "1"}, {46, std::string(80, ' ') + "]"}, {89, "  ]"}, {90, "]"}}},
        // The last character gives way to "…" in its own style.
        {R"({"key":"abcdef"})", JX_TEXT_PRETTY, 10, {{1, "  \"key\": " + E, {"  |7", "\"key\"|1", ": |7", E + "|3"}}}},
        {R"({"key":"abcdef"})", JX_TEXT_PRETTY, 9, {{1, "  \"key\":" + E, {"  |7", "\"key\"|1", ":" + E + "|7"}}}},
        {R"({"key":"abcdef"})", JX_TEXT_PRETTY, 17, {{1, "  \"key\": \"abcdef\""}}},
    });
}

TEST(TextFile, TheFileLinesInTheirStyles) {
    check({
        {"{\"a\": 1, // note\n  /* b\n c */ \"b\": [true, null]}", JX_TEXT_FILE, 0,
         {{0, "{\"a\": 1, // note", {"{|7", "\"a\"|1", ": |7", "1|4", ", |7", "// note|10"}},
          {1, "  /* b", {"  |7", "/* b|10"}},
          {2, " c */ \"b\": [true, null]}", {" c */|10", " |7", "\"b\"|1", ": [|7", "true|5", ", |7", "null|6", "]}|7"}}}},
        // Tabs go to the next multiple of 4 characters; CR LF ends a line.
        {"[1,\r\n\t\"x\"]", JX_TEXT_FILE, 0, {{0, "[1,"}, {1, "    \"x\"]", {"    |7", "\"x\"|3", "]|7"}}}},
        // Past the parse's end all is a note but the problem's character.
        {"[@, 1, 2, 3]", JX_TEXT_FILE, 0,
         {{0, "[@, 1, 2, 3]" + PROBLEM + "expected a value",
           {"[|7", "@|11", ", 1, 2, 3]|10", PROBLEM + "expected a value|11"}}}},
        // The problem keeps its room; the text is cut before it.
        {"[@, 1, 2, 3]", JX_TEXT_FILE, 25,
         {{0, "[@, " + E + PROBLEM + "expected a value", {"[|7", "@|11", ", " + E + "|10", PROBLEM + "expected a value|11"}}}},
        {"{\"a\":1}\nbad\n", JX_TEXT_FILE, 0, {{1, "bad" + PROBLEM + "expected a value"}}, true},
        // A character that the cut at 10,000 bytes would split goes with the rest.
        {"[\"" + std::string(9997, 'x') + "\xC3\xA9" + std::string(29997, 'y') + "\"]", JX_TEXT_FILE, 0,
         {{0, "[\"" + std::string(9997, 'x') + " " + E + " 29.3 KB more on this line"}}},
        {std::string(50000, ' ') + "1", JX_TEXT_FILE, 0,
         {{0, std::string(10000, ' ') + " " + E + " 39.1 KB more on this line",
           {std::string(10000, ' ') + "|7", " " + E + " 39.1 KB more on this line|10"}}}},
    });
}

TEST(TextFile, NodeOfEachLine) {
    const uint32_t N = JX_NONE;
    const struct {
        std::string src;
        std::vector<uint32_t> nodes;
        bool lines = false;
    } cases[] = {
        // "}," belongs to the object it closes, a line between members to their object.
        {"{\n  \"a\": {\n    \"b\": 1\n  },\n\n  \"c\": 2\n}\n", {0, 1, 2, 1, 0, 3, 0, N}},
        {"// c\n[1]", {N, 0}},
        {"\n1\n\n2\n", {0, 1, 0, 2, 0}, true},
        {"[\"a\\\nb\"\n]", {0, 1, 0}},
        {"{\"k\":\n 5}", {0, 1}},
        {"{\"e\": [\n\n]}", {0, 1, 1}},
        {"[[1], /* ] */\n// ]\n]", {0, 0, 0}},
        {"[[1,\n", {0, N}},
    };
    for (const auto &c : cases) {
        jxtest::Doc d(c.src, false, c.lines);
        Text t(d, JX_TEXT_FILE);
        ASSERT_EQ(jx_text_count(t.t), c.nodes.size()) << c.src;
        for (uint32_t i = 0; i < c.nodes.size(); i++) EXPECT_EQ(line_of(t.t, i).l.node, c.nodes[i]) << c.src << " " << i;
    }
}

TEST(TextHits, MatchesInWrittenKeysAndValues) {
    jxtest::Doc d(R"({"name": "Ada", "nick": "caf\u00e9", "aaa": "aaaaaaaaaaaaaaaaaaaa", "x": "abcdef"})");
    Search ada(d, "ada"), e(d, "\xC3\xA9"), a(d, "a"), bcd(d, "bcd");
    Text t(d, JX_TEXT_PRETTY);
    EXPECT_EQ(runs_of(line_of(t.t, 1, 0, ada.s, 1).l), (Runs{"  |7", "\"name\"|1", ": |7", "\"|3", "Ada|3|2", "\"|3", ",|7"}));
    EXPECT_EQ(runs_of(line_of(t.t, 1, 0, ada.s).l)[4], "Ada|3|1");
    // Only the decoded value matches: the whole token is marked.
    EXPECT_EQ(runs_of(line_of(t.t, 2, 0, e.s).l), (Runs{"  |7", "\"nick\"|1", ": |7", "\"caf\\u00e9\"|3|1", ",|7"}));
    // More than the first 16 matches.
    EXPECT_EQ(runs_of(line_of(t.t, 3, 0, a.s).l),
              (Runs{"  |7", "\"|1", "aaa|1|1", "\"|1", ": |7", "\"|3", std::string(20, 'a') + "|3|1", "\"|3", ",|7"}));
    // What gave way to "…" is not searched.
    Text f(d, JX_TEXT_FILE);
    const uint32_t e_at = uint32_t(std::string(jx_doc_text(d)).find("abcdef") + 4);
    Line cut = line_of(f.t, 0, e_at, bcd.s);
    EXPECT_EQ(cut.text().substr(cut.l.len - 7), "\"abc" + E);
    EXPECT_EQ(cut.l.runs[cut.l.nruns - 1].hit, 0);
    EXPECT_EQ(runs_of(line_of(f.t, 0, 0, bcd.s).l).end()[-3], "bcd|3|1");
}

TEST(TextCopy, LinesJoinedByLineFeeds) {
    jxtest::Doc d(R"({"a":[1,2],"b":{}})"), f("a\r\nb\n\n\"c\r\"\r"), deep(DEEP);
    Text t(d, JX_TEXT_PRETTY), tf(f, JX_TEXT_FILE), td(deep, JX_TEXT_PRETTY);
    EXPECT_EQ(copy(t.t, 2, 4), "    1,\n    2\n  ],");
    EXPECT_EQ(copy(t.t, 4, 2), "    1,\n    2\n  ],");
    EXPECT_EQ(copy(t.t, 5, 100), "  \"b\": {}\n}");
    EXPECT_EQ(copy(t.t, 7, 7), "<null>");
    EXPECT_EQ(copy(nullptr, 0, 0), "<null>");
    EXPECT_EQ(copy(tf.t, 0, 3), "a\nb\n\n\"c\r\"\r");
    // Indentation goes on from the first line's level, past the 40 levels a line shows.
    EXPECT_EQ(copy(td.t, 43, 46), std::string(80, ' ') + "[\n" + std::string(82, ' ') + "[\n" + std::string(84, ' ') +
                                      "1\n" + std::string(82, ' ') + "]");
}

TEST(TextModel, NullsOutOfRangeAndBadArguments) {
    int status = -1;
    EXPECT_EQ(jx_text_new(nullptr, JX_TEXT_PRETTY, nullptr, &status), nullptr);
    EXPECT_EQ(status, JX_NO_MEMORY);
    jxtest::Doc d("[1]"), empty("");
    EXPECT_EQ(jx_text_new(d, 2, nullptr, &status), nullptr);
    EXPECT_EQ(jx_text_mode(nullptr) + jx_text_count(nullptr), 0u);
    EXPECT_EQ(jx_text_line_of(nullptr, 0) & jx_text_node_of(nullptr, 0), JX_NONE);
    jx_text_free(nullptr);
    Text t(d, JX_TEXT_FILE), te(empty, JX_TEXT_PRETTY);
    EXPECT_EQ(jx_text_mode(t.t), JX_TEXT_FILE);
    EXPECT_EQ(jx_text_line_of(t.t, 3) & jx_text_node_of(t.t, 1), JX_NONE);
    Line l = line_of(t.t, 0);
    jx_text_line(t.t, 1, 80, nullptr, JX_NONE, &l.l);
    EXPECT_EQ(l.l.len + l.l.number, 0u);
    EXPECT_EQ(l.l.node, JX_NONE);
    jx_text_line(t.t, 0, 80, nullptr, JX_NONE, nullptr);
    EXPECT_EQ(te.status, JX_OK);
    EXPECT_EQ(jx_text_count(te.t), 0u);
}

TEST(TextModel, ProgressAndCancellation) {
    using Calls = std::vector<std::pair<uint64_t, uint64_t>>;
    struct Progress {
        Calls calls;
        uint32_t cancel = 0;
        size_t stop_at;  // the call (1-based) that sets the cancel flag; 0 never
    };
    auto record = [](Progress &p) {
        return jx_progress{[](void *ctx, uint64_t done, uint64_t total) {
                               auto *p = static_cast<Progress *>(ctx);
                               p->calls.push_back({done, total});
                               if (p->calls.size() == p->stop_at) p->cancel = 1;
                           },
                           &p, &p.cancel};
    };
    std::string src = "[";
    for (int i = 0; i < 1100000; i++) src += "0,";
    jxtest::Doc d(src + "0]");
    const uint64_t n = jx_doc_count(d), m = 1u << 20;
    for (size_t stop = 0; stop <= 4; stop++) {
        Progress p{{}, 0, stop};
        jx_progress pr = record(p);
        Text t(d, JX_TEXT_PRETTY, &pr);
        EXPECT_EQ(t.status, stop ? JX_CANCELLED : JX_OK);
        EXPECT_EQ(t.t == nullptr, stop != 0);
        const Calls all = {{0, 2 * n}, {m, 2 * n}, {n + m, 2 * n}, {2 * n, 2 * n}};
        EXPECT_EQ(p.calls, Calls(all.begin(), all.begin() + (stop ? stop : 4)));
    }
    Progress p{{}, 0, 2};
    jx_progress pr = record(p);
    Text t(d, JX_TEXT_FILE, &pr);
    EXPECT_EQ(t.status, JX_CANCELLED);
    EXPECT_EQ(p.calls, Calls({{0, n}, {n, n}}));
}
