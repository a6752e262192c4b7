#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_util.h"

namespace {

using jxtest::Runs;
using jxtest::runs_of;

const std::string E = "\xE2\x80\xA6";  // the ellipsis

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

// One line of a model, checked for soundness and width.
Line line_of(const JxText *t, uint32_t i, uint32_t width = 0) {
    Line l;
    jx_text_line(t, i, width, nullptr, JX_NONE, &l.l);
    jxtest::expect_sound(l.l);
    EXPECT_TRUE(width == 0 || jx_line_chars(&l.l) <= width);
    return l;
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

TEST(TextModel, NullsOutOfRangeAndBadArguments) {
    int status = -1;
    EXPECT_EQ(jx_text_new(nullptr, JX_TEXT_PRETTY, nullptr, &status), nullptr);
    EXPECT_EQ(status, JX_NO_MEMORY);
    jxtest::Doc d("[1]"), empty("");
    EXPECT_EQ(jx_text_new(d, 1, nullptr, &status), nullptr);
    EXPECT_EQ(jx_text_mode(nullptr) + jx_text_count(nullptr), 0u);
    EXPECT_EQ(jx_text_line_of(nullptr, 0) & jx_text_node_of(nullptr, 0), JX_NONE);
    jx_text_free(nullptr);
    Text t(d, JX_TEXT_PRETTY), te(empty, JX_TEXT_PRETTY);
    EXPECT_EQ(jx_text_mode(t.t), JX_TEXT_PRETTY);
    EXPECT_EQ(jx_text_line_of(t.t, 3) & jx_text_node_of(t.t, 3), JX_NONE);
    Line l = line_of(t.t, 0);
    jx_text_line(t.t, 3, 80, nullptr, JX_NONE, &l.l);
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
}
