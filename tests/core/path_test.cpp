// Paths in five styles, breadcrumbs, and typed paths read back to their nodes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "alloc.h"
#include "test_util.h"

namespace {

using jxtest::Doc;
using Chain = std::vector<uint32_t>;
constexpr int STYLES = 5;

// The node reached from the root through these child positions.
uint32_t at(const JxDoc *d, const Chain &chain) {
    uint32_t n = 0;
    for (uint32_t i : chain) n = jx_child_at(d, n, i);
    return n;
}

// Measures, then writes into a buffer of exactly the size asked for: both must agree.
template <class F>
std::string take(F f) {
    size_t n = f(nullptr, 0);
    std::string s(n + 1, 'x');
    EXPECT_EQ(f(s.data(), s.size()), n);
    EXPECT_EQ(s[n], '\0');
    s.resize(n);
    return s;
}
std::string path(const JxDoc *d, uint32_t node, int style) {
    return take([&](char *b, size_t s) { return jx_path(d, node, style, b, s); });
}
std::string label(const JxDoc *d, uint32_t node) {
    return take([&](char *b, size_t s) { return jx_crumb_label(d, node, b, s); });
}

uint32_t resolve(const JxDoc *d, const std::string &text, std::string *msg) {
    char m[256];
    std::memset(m, 'x', sizeof m);
    uint32_t n = jx_resolve(d, text.data(), text.size(), m, sizeof m);
    *msg = m;
    return n;
}

// The longest prefix of text that fits size - 1 bytes without splitting a character.
std::string fitted(const std::string &text, size_t size) {
    size_t cut = std::min(text.size(), size - 1);
    while (cut < text.size() && (uint8_t(text[cut]) & 0xC0) == 0x80) cut--;
    return text.substr(0, cut);
}

// Every buffer size keeps a whole-character prefix, zero-terminated, and returns the full length.
template <class F>
void expect_cut(const std::string &full, F f) {
    for (size_t size = 0; size <= full.size() + 1; size++) {
        std::string buf(size + 1, 'x');
        EXPECT_EQ(f(size ? buf.data() : nullptr, size), full.size());
        if (size) {
            EXPECT_EQ(std::string(buf.c_str()), fitted(full, size)) << full << " in " << size;
        }
    }
}

struct PathCase {
    std::string json;
    Chain chain;
    std::string want[STYLES];  // JSONPath, jq, JavaScript, Python, JSON Pointer
    bool lines = false;
};

}  // namespace

TEST(PathText, EveryStyleWritesKeysAndIndexes) {
    const PathCase cases[] = {
        {R"({"a":{"b c":[0,1,2,3]}})", {0, 0, 3},
         {"$.a['b c'][3]", R"(.a["b c"][3])", R"(a["b c"][3])", R"(["a"]["b c"][3])", "/a/b c/3"}},
        {"{}", {}, {"$", ".", "", "", ""}},
        {"[[1,[2]]]", {0, 1, 0}, {"$[0][1][0]", ".[0][1][0]", "[0][1][0]", "[0][1][0]", "/0/1/0"}},
        // Only JavaScript takes "$" in a dot form, and never as the path's first character.
        {R"({"$x":{"$x":1}})", {0, 0},
         {"$['$x']['$x']", R"(.["$x"]["$x"])", R"(["$x"].$x)", R"(["$x"]["$x"])", "/$x/$x"}},
        {R"({"_a1":{"A_b$":0}})", {0, 0}, {"$._a1['A_b$']", R"(._a1["A_b$"])", "_a1.A_b$", R"(["_a1"]["A_b$"])", "/_a1/A_b$"}},
        {R"({"":{"01":{"1a":{"a-b":{"é":0}}}}})", {0, 0, 0, 0, 0},
         {"$['']['01']['1a']['a-b']['é']", R"(.[""]["01"]["1a"]["a-b"]["é"])", R"([""]["01"]["1a"]["a-b"]["é"])",
          R"([""]["01"]["1a"]["a-b"]["é"])", "//01/1a/a-b/é"}},
        {R"({"it's \"q\" \\":1})", {0},
         {R"($['it\'s "q" \\'])", R"(.["it's \"q\" \\"])", R"(["it's \"q\" \\"])", R"(["it's \"q\" \\"])", R"(/it's "q" \)"}},
        // Controls: raw in JSONPath and JSON Pointer, escaped in double quotes; DEL is copied.
        {R"({"a\nb\tc\u0001\u007f\u001f":1})", {0},
         {"$['a\nb\tc\x01\x7f\x1f']", R"(.["a\nb\tc\u0001)" "\x7f" R"(\u001f"])", R"(["a\nb\tc\u0001)" "\x7f" R"(\u001f"])",
          R"(["a\nb\tc\u0001)" "\x7f" R"(\u001f"])", "/a\nb\tc\x01\x7f\x1f"}},
        {R"({"a/b":{"m~n":{"~1":0}}})", {0, 0, 0},
         {"$['a/b']['m~n']['~1']", R"(.["a/b"]["m~n"]["~1"])", R"(["a/b"]["m~n"]["~1"])", R"(["a/b"]["m~n"]["~1"])",
          "/a~1b/m~0n/~01"}},
        // Keys are written decoded: escapes, JSON5 forms, invalid UTF-8 as U+FFFD.
        {R"({"\u0061\u00e9\ud83d\ude00":{abc:{'x\'y':{\u0062:{)" "\"\xff\"" R"(:0}}}}})", {0, 0, 0, 0, 0},
         {"$['aé😀'].abc['x\\'y'].b['\xEF\xBF\xBD']", R"(.["aé😀"].abc["x'y"].b[")" "\xEF\xBF\xBD\"]",
          R"(["aé😀"].abc["x'y"].b[")" "\xEF\xBF\xBD\"]", R"(["aé😀"]["abc"]["x'y"]["b"][")" "\xEF\xBF\xBD\"]",
          "/aé😀/abc/x'y/b/\xEF\xBF\xBD"}},
        // Records are the elements of the root.
        {"1\n{\"a\":[2]}\n", {1, 0, 0}, {"$[1].a[0]", ".[1].a[0]", "[1].a[0]", R"([1]["a"][0])", "/1/a/0"}, true},
    };
    for (const PathCase &c : cases) {
        Doc d(c.json, false, c.lines);
        uint32_t node = at(d, c.chain);
        ASSERT_NE(node, JX_NONE) << c.json;
        for (int s = 0; s < STYLES; s++) EXPECT_EQ(path(d, node, s), c.want[s]) << c.json << " style " << s;
    }
}

TEST(PathText, CutsOnWholeCharactersAndReturnsTheFullLength) {
    Doc d(R"({"é\t😀":{"k~":[0]}})");
    for (int s = 0; s < STYLES; s++) {
        std::string full = path(d, 4, s);
        expect_cut(full, [&](char *b, size_t n) { return jx_path(d, 4, s, b, n); });
    }
}

TEST(PathText, InvalidArgumentsGiveAnEmptyText) {
    Doc d("[1]");
    char buf[8] = "x";
    EXPECT_EQ(jx_path(nullptr, 0, 0, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "");
    buf[0] = 'x';
    EXPECT_EQ(jx_path(d, 2, 0, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "");
    for (int style : {-1, 5}) EXPECT_EQ(jx_path(d, 1, style, buf, sizeof buf), 0u);
}

TEST(Crumbs, OnePerAncestorWithLabelsAsRowsShowThem) {
    Doc d(R"({"a":{"b\tc\n\u007f\u0001":[5,6]},"":0})");
    const uint32_t node = at(d, {0, 0, 1});
    ASSERT_EQ(jx_crumb_count(d, node), 4u);
    const Chain crumbs = {0, at(d, {0}), at(d, {0, 0}), node};
    const char *labels[] = {"root", "a", "b\u21E5c\u23CE\u2421\u2401", "[1]"};
    for (uint32_t i = 0; i < 4; i++) {
        EXPECT_EQ(jx_crumb_node(d, node, i), crumbs[i]);
        EXPECT_EQ(label(d, crumbs[i]), labels[i]);
    }
    EXPECT_EQ(jx_crumb_node(d, node, 4), JX_NONE);
    EXPECT_EQ(label(d, at(d, {1})), "");  // the empty key
    expect_cut(labels[2], [&](char *b, size_t n) { return jx_crumb_label(d, crumbs[2], b, n); });

    std::string many;
    for (int i = 0; i < 1001; i++) many += "0\n";
    Doc records(many, false, true);
    EXPECT_EQ(label(records, 0), "records");
    EXPECT_EQ(label(records, 1), "line 1");
    EXPECT_EQ(label(records, 1001), "line 1,001");

    EXPECT_EQ(jx_crumb_count(nullptr, 0), 0u);
    EXPECT_EQ(jx_crumb_count(d, 99), 0u);
    EXPECT_EQ(jx_crumb_node(d, 99, 0), JX_NONE);
    EXPECT_EQ(label(d, 99), "");
}

namespace {

// A typed path and the node it names (by child positions), or the message it fails with.
struct ResolveCase {
    std::string path;
    Chain chain;
    std::string msg = "";
};

void check_resolve(const std::string &json, const std::vector<ResolveCase> &cases, bool lines = false) {
    Doc d(json, false, lines);
    for (const ResolveCase &c : cases) {
        std::string msg;
        uint32_t got = resolve(d, c.path, &msg);
        EXPECT_EQ(msg, c.msg) << c.path;
        EXPECT_EQ(got, c.msg.empty() ? at(d, c.chain) : JX_NONE) << c.path;
    }
}

std::string syntax(int position) { return "Path not understood at character " + std::to_string(position); }

}  // namespace

TEST(Resolve, EveryFormNamesTheSameNode) {
    check_resolve(R"({"a":{"b":[0,1,2,3]},"":5,"s":"x","list":[1,2,3],"o":{"x":1,"y":2}})",
                  {
                      {"", {}}, {"$", {}}, {".", {}}, {"/", {1}}, {"$.a.", {0}},
                      {"$.a.b[3]", {0, 0, 3}}, {".a.b[3]", {0, 0, 3}}, {"a.b[3]", {0, 0, 3}},
                      {R"(["a"]["b"][3])", {0, 0, 3}}, {"/a/b/3", {0, 0, 3}}, {"$['a']['b'][3]", {0, 0, 3}},
                      {R"(.["a"].b.[03])", {0, 0, 3}}, {R"(."a"."b"[3])", {0, 0, 3}},
                      {"$.o[1]", {4, 1}},  // an index counts an object's members
                      {"/o/1", {}, R"(No key "1" in $.o)"},  // but a pointer segment there is a key
                      {"$.s.b", {}, R"(No key "b" in $.s (it is a string))"},
                      {"$.s[0]", {}, "No item [0] in $.s (it is a string)"},
                      {"/s/01", {}, R"(No key "01" in $.s (it is a string))"},
                      {"$.a.b[3].z", {}, R"(No key "z" in $.a.b[3] (it is a number))"},
                      {"$.list[7]", {}, "No item [7] in $.list (it has 3)"},
                      {"$.list.x", {}, R"(No key "x" in $.list)"},
                      {"$['']['x']", {}, R"(No key "x" in $[''] (it is a number))"},
                      {"$[99999999999999999999999]", {}, "No item [18446744073709551615] in $ (it has 5)"},
                      {"$..a", {}, syntax(3)}, {"$.[", {}, syntax(4)}, {"$[-1]", {}, syntax(3)},
                      {"$[1", {}, syntax(4)}, {"$a", {}, syntax(2)}, {"$['ab", {}, syntax(6)},
                      {"$['a'x", {}, syntax(6)}, {"$['a']x", {}, syntax(7)}, {"a b", {}, syntax(2)},
                      {"[0]a", {}, syntax(4)}, {"$[*]", {}, syntax(3)}, {"$.a[", {}, syntax(5)},
                      {R"($."a)", {}, syntax(5)}, {R"($["a")", {}, syntax(6)}, {"$.-", {}, syntax(3)},
                      {"$/a", {}, syntax(2)}, {"$.é", {}, syntax(3)},
                      // the whole path is read before the document is walked
                      {"$.missing[", {}, syntax(11)},
                  });
}

TEST(Resolve, KeysCompareDecodedAndTheFirstDuplicateWins) {
    check_resolve(
        R"({"é":1,"\u00e8":2,"a\"b":3,"it's":4,"😀":5,"uzz":6,"q":7,"a/b":8,"m~n":9,"a~2":10,)"
        R"("x":{"":11},"\ud800":12,"dup":13,"dup":14,"01":15,"1":16})",
        {
            {R"($["\u00e9"])", {0}}, {"$['è']", {1}}, {R"($["a\"b"])", {2}}, {R"($['a"b'])", {2}},
            {R"($['it\'s'])", {3}}, {R"($["\ud83d\ude00"])", {4}}, {R"($["\uzz"])", {5}},
            {R"($["\q"])", {6}}, {R"($['\q'])", {6}}, {R"($["a\/b"])", {7}}, {"/a~1b", {7}},
            {"/m~0n", {8}}, {"/a~2", {9}}, {"/x/", {10, 0}}, {R"($["\udc00"])", {11}},
            {"$.dup", {12}}, {"/01", {14}}, {"/1", {15}}, {"$[16]", {}, "No item [16] in $ (it has 16)"},
            {R"($["É"])", {}, R"(No key "É" in $)"}, {R"($["\u00e9\u"])", {}, R"(No key "éu" in $)"},
        });
    // A digits-only pointer segment is an index in an array and a key in an object.
    check_resolve(R"({"items":[0,1,2]})", {{"/items/01", {0, 1}}, {"$.items.01", {}, syntax(9)}});
    check_resolve(R"({"items":{"1":0,"01":1}})", {{"/items/01", {0, 1}}, {"/items/1", {0, 0}}});
    check_resolve(R"({"t":true,"f":false,"n":null})",
                  {{"$.t.a", {}, R"(No key "a" in $.t (it is a boolean))"},
                   {"$.f[0]", {}, "No item [0] in $.f (it is a boolean)"},
                   {"$.n[0]", {}, "No item [0] in $.n (it is a null)"}});
    check_resolve("1\n{\"a\":\n[2]\n",
                  {{"$[2][0]", {2, 0}}, {"/2/0", {2, 0}}, {"$[1].a", {}, R"(No key "a" in $[1] (it is a error))"}},
                  true);
}

TEST(Resolve, MessagesAreCutOnWholeCharacters) {
    Doc d(R"({"é😀":{}})");
    const std::string path = R"($["é😀"]["é😀"])";
    std::string msg;
    ASSERT_EQ(resolve(d, path, &msg), JX_NONE);
    EXPECT_EQ(msg, R"(No key "é😀" in $['é😀'])");
    expect_cut(msg, [&](char *b, size_t n) {
        jx_resolve(d, path.data(), path.size(), b, n);
        return msg.size();
    });
}

TEST(Resolve, InvalidArgumentsGiveNoNodeAndAnEmptyMessage) {
    Doc d("[1]"), empty("");
    char m[32] = "x";
    EXPECT_EQ(jx_resolve(nullptr, "$", 1, m, sizeof m), JX_NONE);
    EXPECT_STREQ(m, "");
    m[0] = 'x';
    EXPECT_EQ(jx_resolve(empty, "$", 1, m, sizeof m), JX_NONE);
    EXPECT_STREQ(m, "");
    EXPECT_EQ(jx_resolve(d, nullptr, 3, m, sizeof m), JX_NONE);
    EXPECT_EQ(jx_resolve(d, nullptr, 0, m, sizeof m), 0u);
    EXPECT_EQ(jx_resolve(d, "$[1]", 4, nullptr, 0), JX_NONE);
    EXPECT_EQ(jx_resolve(d, "$[0]", 4, nullptr, 0), 1u);
}

namespace {

// What the path of node in style must resolve to: each step names a key or an index and a key
// names the first member that has it, so below a later duplicate the walk follows the first one.
uint32_t model(const JxDoc *d, uint32_t node, int style) {
    Chain up;
    for (uint32_t n = node; n != 0; n = jx_parent(d, n)) up.push_back(n);
    uint32_t cur = 0;
    for (auto it = up.rbegin(); it != up.rend() && cur != JX_NONE; ++it) {
        const int type = jx_type(d, cur);
        if (type != JX_OBJECT && type != JX_ARRAY) return JX_NONE;
        std::string key(jx_key_text(d, *it, nullptr, 0), '\0');
        jx_key_text(d, *it, key.data(), key.size() + 1);
        const bool has_key = jx_has_key(d, *it);
        if (!has_key) key = std::to_string(jx_index_in_parent(d, *it));
        const bool digits = !key.empty() && std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
        const bool index = style == JX_PATH_POINTER ? digits && type == JX_ARRAY : !has_key;
        if (index) {
            cur = jx_child_at(d, cur, uint32_t(std::stoul(key)));
            continue;
        }
        uint32_t found = JX_NONE;
        for (uint32_t c = jx_first_child(d, cur); c != JX_NONE && found == JX_NONE; c = jx_next_sibling(d, c)) {
            std::string k(jx_key_text(d, c, nullptr, 0), '\0');
            jx_key_text(d, c, k.data(), k.size() + 1);
            if (jx_has_key(d, c) && k == key) found = c;
        }
        cur = found;
    }
    return cur;
}

// Writes the path of every step-th node in every style and reads it back. Returns the failures.
int round_trips(const JxDoc *d, uint32_t step, const std::string &what) {
    int failures = 0;
    for (uint32_t id = 0; id < jx_doc_count(d); id += step) {
        for (int s = 0; s < STYLES; s++) {
            std::string p = path(d, id, s), msg;
            uint32_t got = resolve(d, p, &msg), want = model(d, id, s);
            if (got != want && ++failures <= 5)
                ADD_FAILURE() << what << ": node " << id << " style " << s << " path " << p << " gives " << got
                              << " (" << msg << "), want " << want;
        }
    }
    return failures;
}

// Documents whose keys are awkward for every style, in every syntax the parser reads.
struct Gen {
    std::mt19937 rng;
    bool one_line = false;

    explicit Gen(uint32_t seed) : rng(seed) {}
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

    std::string gap() {
        switch (pick(10)) {
            case 0: return " ";
            case 1: return "/* c */";
            case 2: return one_line ? "\t" : "// c\n";
            case 3: return one_line ? "" : "\n  ";
            default: return "";
        }
    }

    std::string key() {
        // Between double quotes as written in the file.
        static const char *const KEYS[] = {
            "a", "$x", "x$", "_", "A1", "$",  // identifiers first: they may be written unquoted
            "b c", "\\\"", "\\\\", "it's", "~", "/", "a/b", "m~n", "~1", "", "0", "01", "7", "\\u0000", "\\n",
            "\\t", "\t", "\\u001f", "\x7f", "\\u007f", "é", "\\u00e9", "😀", "\\ud83d\\ude00", "\\ud800", "\xff",
            ".", "[", "]", "['x']", "$.a", "a.b", "\\/", "\\u0022", " ", "a'b\\\"c", "\\u0061"};
        constexpr int IDENTS = 6;
        const int k = pick(sizeof KEYS / sizeof *KEYS);
        std::string text = KEYS[k];
        const int form = pick(4);
        if (form == 0 && k < IDENTS) return text;
        if (form == 1) {
            std::string quoted = "'";
            for (char c : text) quoted += c == '\'' ? std::string("\\'") : std::string(1, c);
            return quoted + "'";
        }
        return "\"" + text + "\"";
    }

    std::string value(int depth) {
        static const char *const SCALARS[] = {"1", "-2.5e3", "\"s\"", "true", "false", "null", "0x1F", "'sq'", "+1"};
        const int kind = depth > 3 ? 2 : depth == 0 ? pick(2) : pick(5);
        if (kind >= 2) return SCALARS[pick(sizeof SCALARS / sizeof *SCALARS)];
        const bool object = kind == 0;
        std::string out = object ? "{" : "[";
        std::vector<std::string> keys;
        for (int i = 0, n = pick(7); i < n; i++) {
            if (i) out += "," + gap();
            if (object) {
                // Repeat a key now and then, maybe written differently.
                keys.push_back(!keys.empty() && pick(3) == 0 ? keys[size_t(pick(int(keys.size())))] : key());
                out += keys.back() + gap() + ":" + gap();
            }
            out += value(depth + 1);
        }
        if (pick(6) == 0) out += ",";
        return out + gap() + (object ? "}" : "]");
    }

    // One value, several values, JSON Lines with unreadable records, or a text cut short.
    std::string doc(bool *lines) {
        const int kind = pick(4);
        *lines = kind == 2;
        one_line = kind == 2;
        std::string out;
        if (kind == 0) return gap() + value(0);
        if (kind == 3) {
            out = value(0);
            return out.substr(0, size_t(pick(int(out.size()) + 1)));
        }
        for (int i = 0, n = 2 + pick(4); i < n; i++) {
            std::string v = value(0);
            if (kind == 2 && pick(4) == 0) v = v.substr(0, v.size() / 2);
            out += v + (kind == 2 ? "\n" : pick(2) ? " " : "\n");
        }
        return out;
    }
};

}  // namespace

TEST(PathProperties, EveryCorpusNodeRoundTripsInEveryStyle) {
    for (const char *name : {"canada.json", "citm_catalog.json", "gsoc-2018.json", "mesh.json", "twitter.json"}) {
        bool ok = false;
        std::string text = jxtest::read_file(jxtest::shared_path(std::string("corpus/") + name), &ok);
        ASSERT_TRUE(ok) << name;
        Doc d(text);
        // A few thousand nodes of each file, spread over the whole document.
        uint32_t step = std::max(1u, jx_doc_count(d) / 3000) | 1;
        EXPECT_EQ(round_trips(d, step, name), 0);
    }
}

TEST(PathProperties, AwkwardKeysRoundTripAndDuplicatesResolveToTheFirst) {
    for (uint32_t seed = 1; seed <= 400; seed++) {
        Gen g(seed);
        bool lines = false;
        std::string text = g.doc(&lines);
        Doc d(text, false, lines);
        ASSERT_EQ(round_trips(d, 1, "seed " + std::to_string(seed) + ": " + text), 0);
    }
}

TEST(PathOutOfMemory, FailuresGiveTheDocumentedResultAndLeakNothing) {
    // 80 levels of 300-byte keys: the ancestors of the deepest node and every typed key need memory.
    std::string json;
    for (int i = 0; i < 80; i++) json += "{\"" + std::string(300, 'k') + std::to_string(i) + "\":";
    json += "1" + std::string(80, '}');
    Doc d(json);
    const uint32_t deep = jx_doc_count(d) - 1;
    std::vector<std::string> paths;
    for (int s = 0; s < STYLES; s++) paths.push_back(path(d, deep, s));
    paths.push_back(paths[0] + ".missing");
    paths.push_back(paths[0] + "[\"" + std::string(300, 'z') + "\"]");
    for (bool persistent : {false, true}) {
        for (int s = 0; s < STYLES; s++) {
            std::string buf(paths[size_t(s)].size() + 1, 'x');
            for (uint64_t n = 1;; n++) {
                jx__alloc_fail_at(n, persistent);
                size_t len = jx_path(d, deep, s, buf.data(), buf.size());
                bool failed = jx__alloc_failed();
                jx__alloc_fail_at(0, false);
                EXPECT_EQ(std::string(buf.c_str()), failed ? "" : paths[size_t(s)]) << n;
                EXPECT_EQ(len, failed ? 0 : paths[size_t(s)].size());
                if (failed) continue;
                EXPECT_GT(n, 1u);  // the deepest node needs memory for its ancestors
                break;
            }
        }
        for (const std::string &p : paths) {
            std::string want_msg;
            const uint32_t want = resolve(d, p, &want_msg);
            for (uint64_t n = 1;; n++) {
                std::string msg;
                jx__alloc_fail_at(n, persistent);
                uint32_t got = resolve(d, p, &msg);
                bool failed = jx__alloc_failed();
                jx__alloc_fail_at(0, false);
                EXPECT_EQ(got, failed ? JX_NONE : want) << n;
                EXPECT_EQ(msg, failed ? "" : want_msg) << n;
                if (failed) continue;
                EXPECT_GT(n, 1u) << p;
                break;
            }
        }
    }
}
