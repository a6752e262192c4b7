#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "alloc.h"
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

using jxtest::Line;

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

TEST(TextFile, KeysEndingBeforeOrRunningIntoALine) {
    // A key that starts on an earlier line shows on a line only where it runs into it; whether it
    // does is told from the line itself, a comment holding a quote leaves it to the key's scan.
    check({
        {"{\"k\"\n: 1}", JX_TEXT_FILE, 0, {{1, ": 1}", {": |7", "1|4", "}|7"}}}},
        {"{k\n : 1}", JX_TEXT_FILE, 0, {{1, " : 1}", {" : |7", "1|4", "}|7"}}}},
        {"{\"a\nb\nc\": 1}", JX_TEXT_FILE, 0, {{1, "b", {"b|1"}}, {2, "c\": 1}", {"c\"|1", ": |7", "1|4", "}|7"}}}},
        {"{\"a\\\n : b\": 1}", JX_TEXT_FILE, 0, {{1, " : b\": 1}", {" : b\"|1", ": |7", "1|4", "}|7"}}}},
        {"{\"a\n/*\": /* x */ 1}", JX_TEXT_FILE, 0,
         {{1, "/*\": /* x */ 1}", {"/*\"|1", ": |7", "/* x */|10", " |7", "1|4", "}|7"}}}},
        {"{\"k\" /* \"q\"\n */ : 1}", JX_TEXT_FILE, 0, {{1, " */ : 1}", {" */|10", " : |7", "1|4", "}|7"}}}},
        {"{\"k\"\n// \"q\"\n: 1}", JX_TEXT_FILE, 0, {{1, "// \"q\"", {"// \"q\"|10"}}, {2, ": 1}"}}},
        {"{'k\n:'\n: 1}", JX_TEXT_FILE, 0, {{1, ":'", {":'|1"}}, {2, ": 1}", {": |7", "1|4", "}|7"}}}},
    });
    const struct {
        std::string src;
        std::vector<uint32_t> nodes;
    } cases[] = {
        {"{\"k\"\n: 1}", {0, 1}},
        {"{\"a\nb\nc\":\n 1}", {0, 1, 1, 1}},
        {"[{\"k\"\n// \"q\"\n:\n1}]", {0, 2, 2, 2}},
    };
    for (const auto &c : cases) {
        jxtest::Doc d(c.src);
        Text t(d, JX_TEXT_FILE);
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

TEST(TextHits, DecodedKeysAreTestedUpToTheDecodingCap) {
    // Keys far longer than a line, spelled in escapes: a match in what the decoding reaches marks the
    // whole shown key, one past its 65,532 bytes marks nothing.
    std::string a;
    for (int i = 0; i < 30000; i++) a += "\\u0041";
    std::string far;
    for (int i = 0; i < 70000; i++) far += "\\u0041";
    for (const auto &[key, marked] : {std::pair{a + "\\u007a\\u007a", true}, std::pair{far + "zz", false},
                                      std::pair{a + "\\ud83d\\ude00zz\\\"", true}}) {
        jxtest::Doc d("{\"" + key + "\": 1}");
        Search zz(d, "zz");
        for (int mode : {JX_TEXT_PRETTY, JX_TEXT_FILE}) {
            Text t(d, mode);
            Line l = line_of(t.t, mode == JX_TEXT_PRETTY ? 1 : 0, 100, zz.s);
            bool hit = false;
            for (uint32_t r = 0; r < l.l.nruns; r++) hit |= l.l.runs[r].hit != 0;
            EXPECT_EQ(hit, marked) << key.size() << " mode " << mode;
        }
    }
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

// Fails allocation n, once and from then on, for n = 1, 2, ... until every allocation of building
// a model, its lines and a copy succeeds: each step ends in the documented result and leaks nothing.
TEST(TextModel, MemoryShortageFailsCleanly) {
    std::string many;
    for (int i = 0; i < 40; i++) many += "1,";
    for (int i = 0; i < 50; i++) many += "\\u00e9";
    jxtest::Doc d("// c\n{\"k\\u0041\": \"" + many.substr(80) + "\", /* x\n y */ \"a\": [" + many.substr(0, 80) + "\"" +
                  std::string(200, 'a') + "\"]}\n@");
    Search s(d, "a");
    for (int mode : {JX_TEXT_PRETTY, JX_TEXT_FILE}) {
        Text full(d, mode);
        const std::string whole = copy(full.t, 0, 100);
        std::vector<std::pair<std::string, Runs>> good;
        for (uint32_t i = 0; i < jx_text_count(full.t); i++) {
            Line l = line_of(full.t, i, 0, s.s);
            good.push_back({l.text(), runs_of(l.l)});
        }
        for (bool persistent : {false, true}) {
            for (uint64_t n = 1, failed = 1; failed; n++) {
                jx__alloc_fail_at(n, persistent);
                Text t(d, mode);
                EXPECT_EQ(t.status, t.t ? JX_OK : JX_NO_MEMORY);
                for (uint32_t i = 0; i < jx_text_count(t.t); i++) {
                    Line l;
                    jx_text_line(t.t, i, 0, s.s, JX_NONE, &l.l);
                    jxtest::expect_sound(l.l);
                    EXPECT_EQ(good[i].first.substr(0, l.l.len), l.text());
                    EXPECT_TRUE(jx__alloc_failed() || runs_of(l.l) == good[i].second);
                }
                size_t len = 99;
                char *c = jx_text_copy(t.t, 0, 100, &len);
                EXPECT_EQ(c ? std::string(c, len) : "", c ? whole : "");
                EXPECT_EQ(len, c ? whole.size() : 0);
                free(c);
                failed = jx__alloc_failed();
                jx__alloc_fail_at(0, false);
                EXPECT_TRUE(failed || (t.t && c));
            }
        }
    }
}

// ---- properties over generated documents and the corpus ----

namespace {

// Seeded documents: JSON with or without JSON5 forms and comments (line and block, across lines),
// several nodes per line, deep runs of brackets, JSON Lines with bad records, several values.
struct Gen {
    std::mt19937 rng;
    bool lenient;
    explicit Gen(uint32_t seed, bool lenient) : rng(seed), lenient(lenient) {}
    uint32_t pick(uint32_t n) { return rng() % n; }
    template <size_t N>
    const char *one(const char *const (&items)[N], size_t strict_count) {
        return items[pick(uint32_t(lenient ? N : strict_count))];
    }
    std::string ws(bool newlines = true) {
        static const char *const spaces[] = {"", " ", "\n", "\n  ", "\r\n\t", " // c\n", "/* a\nb */", "/**/ "};
        return newlines ? one(spaces, 5) : (pick(2) ? " " : "");
    }
    std::string scalar() {
        static const char *const items[] = {"12", "-3.5e2", "true", "false", "null", "\"plain\"", "\"t\\tab\"",
                                            "\"caf\\u00e9\"", "\"\xC3\xA9\xE6\x97\xA5\"", "\"\"", "0x1F", "+1", ".5",
                                            "'single'", "\"line\\\ncont\"", "\"raw\ttab\"", "Infinity"};
        return one(items, 10);
    }
    std::string key() {
        static const char *const items[] = {"\"k\"", "\"a\\u0062\"", "\"\"", "\"k \\\"q\\\"\"", "k_2", "'s'", "'m\\\nk'"};
        return one(items, 4);
    }
    std::string value(int depth, bool newlines) {
        uint32_t r = pick(depth > 4 ? 2 : 6);
        if (r < 2) return scalar();
        bool object = r < 4;
        std::string s = object ? "{" : "[";
        for (uint32_t i = 0, n = pick(4); i < n; i++) {
            s += ws(newlines);
            if (object) s += key() + ws(newlines) + ":" + ws(newlines);
            s += value(depth + 1, newlines) + ws(newlines);
            if (i + 1 < n || (lenient && pick(4) == 0)) s += ",";
        }
        return s + ws(newlines) + (object ? "}" : "]");
    }
    // Deep enough for long runs of closing brackets, one per line, with siblings near the top and,
    // when lenient, comments.
    std::string deep() {
        std::string s, closers;
        for (uint32_t i = 0, n = 80 + pick(80); i < n; i++) {
            bool object = pick(3) == 0;
            s += object ? "{\"k\":\n" : "[\n";
            closers += object ? '}' : ']';
        }
        s += "1\n";
        // Comments between the brackets may hold brackets themselves and span lines.
        static const char *const ends[] = {"\n", "\n", "\n", " // ]\n", "\n/* ]\n]} */\n", " /**/\n"};
        while (!closers.empty()) {
            s += closers.back() + std::string(one(ends, 3));
            closers.pop_back();
            if (!closers.empty() && closers.size() < 8 && pick(3) == 0)
                s += closers.back() == '}' ? ", \"m\": 2\n" : ", 2\n";
        }
        return s;
    }
};

// Whether text[p] starts the filler the walk outwards skips; moves p past it.
bool skip_one(const std::string &t, size_t &p, size_t limit) {
    if (t[p] == ' ' || t[p] == '\t' || t[p] == '\n' || t[p] == '\r' || t[p] == ',') return ++p, true;
    if (t.compare(p, 2, "//") == 0) {
        while (p < limit && t[p] != '\n' && t[p] != '\r') p++;
        return true;
    }
    if (t.compare(p, 2, "/*") == 0) {
        size_t e = t.find("*/", p + 2);
        p = e == std::string::npos || e + 2 > limit ? limit : e + 2;
        return true;
    }
    return false;
}

// The node of a line as in the file, by the rules written out plainly: linear scans over the nodes
// through the public queries.
uint32_t reference_node_of(const JxDoc *d, uint32_t line) {
    const std::string t(jx_doc_text(d), jx_doc_size(d));
    const uint32_t count = jx_doc_count(d), first = jx_doc_records(d) ? 1 : 0;
    const uint32_t a = jx_doc_line_start(d, line), b = jx_doc_line_start(d, line + 1);
    auto start = [&](uint32_t n) { return jx_has_key(d, n) ? jx_key_offset(d, n) : jx_val_offset(d, n); };
    uint32_t next = first;
    while (next < count && start(next) < a) next++;
    if (next < count && start(next) < b) return next;
    if (next == first) return first ? 0 : JX_NONE;
    const uint32_t p = next - 1;
    if (jx_has_key(d, p) && jx_key_offset(d, p) + jx_key_len(d, p) > a) return p;
    const bool container = jx_type(d, p) <= JX_ARRAY;
    if (!container && jx_val_offset(d, p) + jx_val_len(d, p) > a) return p;
    if (container && jx_end(d, p) > p + 1) return p;
    uint32_t c = container ? p : jx_parent(d, p);
    size_t pos = container ? jx_val_offset(d, p) + 1 : jx_val_offset(d, p) + jx_val_len(d, p);
    for (; c != JX_NONE; c = jx_parent(d, c)) {
        if (first && c == 0) return 0;
        if (jx_end(d, c) != next) return c;
        if (jx_flags(d, c) & JX_F_UNCLOSED) continue;
        while (pos < a && skip_one(t, pos, a)) {
        }
        if (pos >= a || (t[pos] != '}' && t[pos] != ']')) return c;
        pos++;
    }
    return JX_NONE;
}

// Checks both models of a document; every `step`-th node and line where a document is big.
void check_models(JxDoc *d, uint32_t node_step = 1, uint32_t line_step = 1) {
    ASSERT_NE(d, nullptr);
    const uint32_t count = jx_doc_count(d), first = jx_doc_records(d) ? 1 : 0;
    Search s(d, "a");
    Text p(d, JX_TEXT_PRETTY), f(d, JX_TEXT_FILE);
    ASSERT_EQ(p.status, JX_OK);
    ASSERT_EQ(f.status, JX_OK);
    ASSERT_EQ(jx_text_count(f.t), jx_doc_line_count(d));
    for (uint32_t n = first; n < count; n += node_step) {
        const uint32_t line = jx_text_line_of(p.t, n);
        ASSERT_EQ(jx_text_node_of(p.t, line), n) << "pretty node " << n;
        const uint32_t start = jx_has_key(d, n) ? jx_key_offset(d, n) : jx_val_offset(d, n);
        ASSERT_EQ(jx_text_line_of(f.t, n), jx_doc_line_of(d, start)) << "node " << n;
    }
    for (uint32_t i = 0; i < jx_text_count(p.t); i += node_step) {
        Line l = line_of(p.t, i, 1 + i % 90, s.s, i % 7);
        const uint32_t n = jx_text_node_of(p.t, i);
        EXPECT_EQ(l.l.node, n);
        if (l.l.closing) {
            ASSERT_GT(jx_end(d, n), n + 1) << "closing line " << i;
            ASSERT_GT(i, jx_text_line_of(p.t, n));
        }
    }
    for (uint32_t i = 0; i < jx_text_count(f.t); i += line_step) {
        const uint32_t n = jx_text_node_of(f.t, i);
        ASSERT_EQ(n, reference_node_of(d, i)) << "line " << i;
        EXPECT_EQ(line_of(f.t, i, i % 3 ? 0 : 1 + i % 50, s.s, n).l.node, n);
    }
}

// For a strict document without problems: the pretty copy reads back, strictly, node for node.
void check_copy(JxDoc *d) {
    Text p(d, JX_TEXT_PRETTY);
    size_t len = 0;
    char *c = jx_text_copy(p.t, 0, JX_NONE, &len);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(jx_text_copy_size(p.t, 0, JX_NONE), len);
    jxtest::Doc back(std::string(c, len), true);
    free(c);
    ASSERT_EQ(jx_doc_error_count(back), 0u) << jxtest::problem_message(back, 0);
    ASSERT_EQ(jx_doc_count(back), jx_doc_count(d));
    auto decoded = [](size_t (*fn)(const JxDoc *, uint32_t, char *, size_t), const JxDoc *doc, uint32_t n) {
        std::string s(fn(doc, n, nullptr, 0) + 1, '\0');
        s.resize(fn(doc, n, s.data(), s.size()));
        return s;
    };
    for (uint32_t n = 0; n < jx_doc_count(d); n++) {
        ASSERT_EQ(jx_type(back, n), jx_type(d, n)) << n;
        ASSERT_EQ(decoded(jx_key_text, back, n), decoded(jx_key_text, d, n)) << n;
        ASSERT_EQ(decoded(jx_val_text, back, n), decoded(jx_val_text, d, n)) << n;
    }
}

}  // namespace

TEST(TextProperties, GeneratedDocuments) {
    for (uint32_t seed = 1; seed <= 400; seed++) {
        Gen g(seed, seed % 4 != 0);
        std::string src;
        bool lines = false;
        switch (seed % 5) {
            case 0:
            case 1: src = g.value(0, true); break;
            case 2:
                lines = true;
                for (uint32_t i = 0, n = 1 + g.pick(6); i < n; i++) {
                    static const char *const bad[] = {"{", "@x", "[1,", "}", ""};
                    src += (g.pick(4) ? g.value(1, false) : bad[g.pick(5)]) + std::string("\n");
                }
                break;
            case 3:
                for (uint32_t i = 0, n = 2 + g.pick(5); i < n; i++) src += g.value(1, g.pick(2)) + g.ws() + " ";
                if (g.pick(3) == 0) src += "@";
                break;
            default: src = g.deep(); break;
        }
        if (g.lenient && g.pick(6) == 0) src.resize(g.pick(uint32_t(src.size()) + 1));
        SCOPED_TRACE("seed " + std::to_string(seed) + ": " + src);
        jxtest::Doc d(src, !g.lenient, lines);
        check_models(d);
        if (!g.lenient && jx_doc_error_count(d) == 0 && jx_doc_format(d) == JX_FORMAT_VALUE) check_copy(d);
    }
}

TEST(TextProperties, CorpusFiles) {
    for (const auto &entry : std::filesystem::directory_iterator(jxtest::shared_path("corpus"))) {
        SCOPED_TRACE(entry.path().string());
        bool ok = false;
        std::string src = jxtest::read_file(entry.path().string(), &ok);
        ASSERT_TRUE(ok);
        jxtest::Doc d(src);
        const uint32_t nodes = jx_doc_count(d), lines = jx_doc_line_count(d);
        check_models(d, 1 + nodes / 3000, 1 + lines / 40);
        jxtest::Doc strict(src, true);
        if (jx_doc_error_count(strict) == 0) check_copy(strict);
    }
}
