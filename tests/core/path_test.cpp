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
std::string key(const JxDoc *d, uint32_t node) {
    return take([&](char *b, size_t s) { return jx_key_text(d, node, b, s); });
}

uint32_t resolve(const JxDoc *d, const std::string &text, std::string *msg) {
    char m[256];
    std::memset(m, 'x', sizeof m);
    uint32_t n = jx_resolve(d, text.data(), text.size(), m, sizeof m);
    *msg = m;
    return n;
}

// Every buffer size keeps the longest whole-character prefix that fits, zero-terminated.
template <class F>
void expect_cut(const std::string &full, F f) {
    for (size_t size = 0; size <= full.size() + 1; size++) {
        std::string buf(size + 1, 'x');
        f(size ? buf.data() : nullptr, size);
        if (size == 0) continue;
        size_t cut = std::min(full.size(), size - 1);
        while (cut < full.size() && (uint8_t(full[cut]) & 0xC0) == 0x80) cut--;
        EXPECT_EQ(std::string(buf.c_str()), full.substr(0, cut)) << full << " in " << size;
    }
}

// A node by child positions and its path in each style, "|" between styles.
struct PathCase {
    std::string json;
    Chain chain;
    std::string want;
    bool lines = false;
};

}  // namespace

TEST(PathText, EveryStyleWritesKeysAndIndexes) {
    const PathCase cases[] = {
        {R"({"a":{"b c":[0,1,2,3]}})", {0, 0, 3},
         R"($.a['b c'][3]|.a["b c"][3]|a["b c"][3]|["a"]["b c"][3]|/a/b c/3)"},
        {"{}", {}, "$|.|||"},
        {"[[1,[2]]]", {0, 1, 0}, "$[0][1][0]|.[0][1][0]|[0][1][0]|[0][1][0]|/0/1/0"},
        // Only JavaScript takes "$" in a dot form, and never as the path's first character.
        {R"({"$x":{"$x":1}})", {0, 0}, R"($['$x']['$x']|.["$x"]["$x"]|["$x"].$x|["$x"]["$x"]|/$x/$x)"},
        {R"({"_a1":{"A_b$":0}})", {0, 0}, R"($._a1['A_b$']|._a1["A_b$"]|_a1.A_b$|["_a1"]["A_b$"]|/_a1/A_b$)"},
        {R"({"":{"01":{"1a":{"é":0}}}})", {0, 0, 0, 0},
         R"($['']['01']['1a']['é']|.[""]["01"]["1a"]["é"]|[""]["01"]["1a"]["é"]|)"
         R"([""]["01"]["1a"]["é"]|//01/1a/é)"},
        {R"({"it's \"q\" \\":1})", {0},
         R"($['it\'s "q" \\']|.["it's \"q\" \\"]|["it's \"q\" \\"]|["it's \"q\" \\"]|/it's "q" \)"},
        // Controls: raw in JSONPath and JSON Pointer, escaped in double quotes; DEL is copied.
        {R"({"a\nb\tc\u0001\u007f\u001f":1})", {0},
         "$['a\nb\tc\x01\x7f\x1f']|" R"(.["a\nb\tc\u0001)" "\x7f" R"(\u001f"]|)"
         R"(["a\nb\tc\u0001)" "\x7f" R"(\u001f"]|["a\nb\tc\u0001)" "\x7f" R"(\u001f"]|)"
         "/a\nb\tc\x01\x7f\x1f"},
        {R"({"a/b":{"m~n":{"~1":0}}})", {0, 0, 0},
         R"($['a/b']['m~n']['~1']|.["a/b"]["m~n"]["~1"]|["a/b"]["m~n"]["~1"]|)"
         R"(["a/b"]["m~n"]["~1"]|/a~1b/m~0n/~01)"},
        // Keys are written decoded: escapes, JSON5 forms, invalid UTF-8 as U+FFFD.
        {R"({"\u0061\u00e9\ud83d\ude00":{abc:{'x\'y':{\u0062:{)" "\"\xff\"" R"(:0}}}}})", {0, 0, 0, 0, 0},
         R"($['aé😀'].abc['x\'y'].b['�']|.["aé😀"].abc["x'y"].b["�"]|["aé😀"].abc["x'y"].b["�"]|)"
         R"(["aé😀"]["abc"]["x'y"]["b"]["�"]|/aé😀/abc/x'y/b/�)"},
        // Records are the elements of the root.
        {"1\n{\"a\":[2]}\n", {1, 0, 0}, R"($[1].a[0]|.[1].a[0]|[1].a[0]|[1]["a"][0]|/1/a/0)", true},
    };
    for (const PathCase &c : cases) {
        Doc d(c.json, false, c.lines);
        const uint32_t node = at(d, c.chain);
        std::string got;
        for (int s = 0; s < STYLES; s++) got += (s ? "|" : "") + path(d, node, s);
        EXPECT_EQ(got, c.want) << c.json;
    }
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

    std::string many;
    for (int i = 0; i < 1001; i++) many += "0\n";
    Doc records(many, false, true);
    EXPECT_EQ(label(records, 0), "records");
    EXPECT_EQ(label(records, 1), "line 1");
    EXPECT_EQ(label(records, 1001), "line 1,001");
}

TEST(CallerBuffers, PathsLabelsAndMessagesAreCutOnWholeCharacters) {
    Doc d(R"({"é\t😀":{"k~":[0]},"b\t😀":{}})");
    for (int s = 0; s < STYLES; s++) {
        const std::string full = path(d, 3, s);
        expect_cut(full, [&](char *b, size_t n) { EXPECT_EQ(jx_path(d, 3, s, b, n), full.size()); });
    }
    expect_cut(label(d, 4), [&](char *b, size_t n) { EXPECT_EQ(jx_crumb_label(d, 4, b, n), 8u); });
    const std::string typed = R"($["é\t😀"]["é😀"])";
    expect_cut("No key \"é😀\" in $['é\t😀']", [&](char *b, size_t n) {
        EXPECT_EQ(jx_resolve(d, typed.data(), typed.size(), b, n), JX_NONE);
    });
}

TEST(CallerBuffers, InvalidArgumentsGiveNeutralResults) {
    Doc d("[1]"), empty("");
    char buf[8] = "x";
    EXPECT_EQ(jx_path(nullptr, 0, 0, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "");
    for (int style : {-1, 5}) EXPECT_EQ(jx_path(d, 1, style, buf, sizeof buf), 0u);
    EXPECT_EQ(path(d, 2, 0), "");
    EXPECT_EQ(label(d, 2), "");
    EXPECT_EQ(jx_crumb_count(nullptr, 0), 0u);
    EXPECT_EQ(jx_crumb_count(d, 2), 0u);
    EXPECT_EQ(jx_crumb_node(d, 2, 0), JX_NONE);
    for (const JxDoc *doc : {(const JxDoc *)nullptr, (const JxDoc *)empty}) {
        buf[0] = 'x';
        EXPECT_EQ(jx_resolve(doc, "$", 1, buf, sizeof buf), JX_NONE);
        EXPECT_STREQ(buf, "");
    }
    EXPECT_EQ(jx_resolve(d, nullptr, 3, buf, sizeof buf), JX_NONE);
    EXPECT_EQ(jx_resolve(d, nullptr, 0, buf, sizeof buf), 0u);
    EXPECT_EQ(jx_resolve(d, "$[0]", 4, nullptr, 0), 1u);
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
    check_resolve(
        R"({"a":{"b":[0,1,2,3]},"":5,"s":"x","list":[1,2,3],"o":{"x":1,"y":2}})",
        {
            {"", {}}, {"$", {}}, {".", {}}, {"/", {1}}, {"$.a.", {0}}, {"$.a.b[3]", {0, 0, 3}},
            {".a.b[3]", {0, 0, 3}}, {"a.b[3]", {0, 0, 3}}, {R"(["a"]["b"][3])", {0, 0, 3}},
            {"/a/b/3", {0, 0, 3}}, {"$['a']['b'][3]", {0, 0, 3}}, {R"(.["a"].b.[03])", {0, 0, 3}},
            {R"(."a"."b"[3])", {0, 0, 3}},
            {"$.o[1]", {4, 1}},                         // an index counts an object's members
            {"/o/1", {}, R"(No key "1" in $.o)"},  // but a pointer segment there is a key
            {"$.s.b", {}, R"(No key "b" in $.s (it is a string))"},
            {"$.s[0]", {}, "No item [0] in $.s (it is a string)"},
            {"/s/01", {}, R"(No key "01" in $.s (it is a string))"},
            {"$.a.b[3].z", {}, R"(No key "z" in $.a.b[3] (it is a number))"},
            {"$.list[7]", {}, "No item [7] in $.list (it has 3)"},
            {"$.list.x", {}, R"(No key "x" in $.list)"},
            {"$[99999999999999999999999]", {}, "No item [18446744073709551615] in $ (it has 5)"},
            {"$..a", {}, syntax(3)}, {"$.[", {}, syntax(4)}, {"$[-1]", {}, syntax(3)}, {"$[1", {}, syntax(4)},
            {"$a", {}, syntax(2)}, {"$['ab", {}, syntax(6)}, {"$['a'x", {}, syntax(6)},
            {"$['a']x", {}, syntax(7)}, {"a b", {}, syntax(2)}, {"[0]a", {}, syntax(4)},
            {"$[*]", {}, syntax(3)}, {"$.a[", {}, syntax(5)}, {R"($."a)", {}, syntax(5)},
            {R"($["a")", {}, syntax(6)}, {"$.-", {}, syntax(3)}, {"$/a", {}, syntax(2)},
            {"$.é", {}, syntax(3)},
            {"$.missing[", {}, syntax(11)},  // the whole path is read before the document is walked
        });
}

TEST(Resolve, KeysCompareDecodedAndTheFirstDuplicateWins) {
    check_resolve(R"({"é":1,"\u00e8":2,"a\"b":3,"it's":4,"😀":5,"uzz":6,"q":7,"a/b":8,"m~n":9,"a~2":10,)"
                  R"("x":{"":11},"\ud800":12,"dup":13,"dup":14,"01":15,"1":16})",
                  {
                      {R"($["\u00e9"])", {0}}, {"$['è']", {1}}, {R"($["a\"b"])", {2}}, {R"($['a"b'])", {2}},
                      {R"($['it\'s'])", {3}}, {R"($["\ud83d\ude00"])", {4}}, {R"($["\uzz"])", {5}},
                      {R"($["\q"])", {6}}, {R"($['\q'])", {6}}, {R"($["a\/b"])", {7}}, {"/a~1b", {7}},
                      {"/m~0n", {8}}, {"/a~2", {9}}, {"/x/", {10, 0}}, {R"($["\udc00"])", {11}},
                      {"$.dup", {12}}, {"/01", {14}}, {"/1", {15}},
                      {R"($["É"])", {}, R"(No key "É" in $)"},
                      {R"($["\u00e9\u"])", {}, R"(No key "éu" in $)"},
                  });
    // A digits-only pointer segment is an index in an array and a key in an object.
    check_resolve(R"({"items":[0,1,2]})", {{"/items/01", {0, 1}}, {"$.items.01", {}, syntax(9)}});
    check_resolve(R"({"items":{"1":0,"01":1}})", {{"/items/01", {0, 1}}, {"/items/1", {0, 0}}});
    check_resolve(R"({"t":true,"f":false,"n":null})",
                  {{"$.t.a", {}, R"(No key "a" in $.t (it is a boolean))"},
                   {"$.f[0]", {}, "No item [0] in $.f (it is a boolean)"},
                   {"$.n[0]", {}, "No item [0] in $.n (it is a null)"}});
    check_resolve("1\n{\"a\":\n[2]\n",
                  {{"$[2][0]", {2, 0}},
                   {"/2/0", {2, 0}},
                   {"$[1].a", {}, R"(No key "a" in $[1] (it is a error))"}},
                  true);
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
        const bool has_key = jx_has_key(d, *it);
        const std::string k = has_key ? key(d, *it) : std::to_string(jx_index_in_parent(d, *it));
        const bool digits = !k.empty() && k.find_first_not_of("0123456789") == std::string::npos;
        if (style == JX_PATH_POINTER ? digits && type == JX_ARRAY : !has_key) {
            cur = jx_child_at(d, cur, uint32_t(std::stoul(k)));
            continue;
        }
        uint32_t c = jx_first_child(d, cur);
        while (c != JX_NONE && !(jx_has_key(d, c) && key(d, c) == k)) c = jx_next_sibling(d, c);
        cur = c;
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
                ADD_FAILURE() << what << ": node " << id << " style " << s << " path " << p << " gives "
                              << got << " (" << msg << "), want " << want;
        }
    }
    return failures;
}

// Documents whose keys are awkward for every style, in every syntax the parser reads: one value,
// several, JSON Lines with unreadable records, or a text cut short.
struct Gen {
    std::mt19937 rng;
    bool one_line = false;

    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
    std::string gap() {
        const char *const GAPS[] = {" ", "/* c */", one_line ? "\t" : "// c\n", one_line ? "" : "\n "};
        return pick(10) < 4 ? GAPS[pick(4)] : "";
    }
    std::string key() {
        // As written between double quotes; the first six may also go unquoted.
        static const char *const KEYS[] = {
            "a", "$x", "x$", "_", "A1", "$", "b c", "\\\"", "\\\\", "it's", "~", "/", "a/b", "m~n", "~1", "",
            "0", "01", "7", "\\u0000", "\\n", "\\t", "\t", "\\u001f", "\x7f", "\\u007f", "é", "\\u00e9", "😀",
            "\\ud83d\\ude00", "\\ud800", "\xff", ".", "[", "]", "['x']", "$.a", "a.b", "\\/", "\\u0022", " ",
            "a'b\\\"c", "\\u0061"};
        const int k = pick(sizeof KEYS / sizeof *KEYS), form = pick(4);
        const std::string text = KEYS[k];
        if (form == 0 && k < 6) return text;
        if (form == 1) {
            std::string quoted = "'";
            for (char c : text) quoted += c == '\'' ? std::string("\\'") : std::string(1, c);
            return quoted + "'";
        }
        return "\"" + text + "\"";
    }
    std::string value(int depth) {
        static const char *const SCALARS[] = {"1", "-2e3", "\"s\"", "true", "false", "null", "0x1F", "'s'"};
        const int kind = depth > 3 ? 2 : depth == 0 ? pick(2) : pick(5);
        if (kind >= 2) return SCALARS[pick(sizeof SCALARS / sizeof *SCALARS)];
        std::string out = kind == 0 ? "{" : "[";
        std::vector<std::string> keys;
        for (int i = 0, n = pick(7); i < n; i++) {
            if (i) out += "," + gap();
            if (kind == 0) {  // now and then a key again, maybe written differently
                keys.push_back(!keys.empty() && pick(3) == 0 ? keys[size_t(pick(int(keys.size())))] : key());
                out += keys.back() + gap() + ":" + gap();
            }
            out += value(depth + 1);
        }
        return out + (pick(6) ? "" : ",") + gap() + (kind == 0 ? "}" : "]");
    }
    std::string doc(bool *lines) {
        const int kind = pick(4);
        *lines = one_line = kind == 2;
        if (kind == 0) return gap() + value(0);
        std::string out = value(0);
        if (kind == 3) return out.substr(0, size_t(pick(int(out.size()) + 1)));
        for (int i = 0, n = 1 + pick(4); i < n; i++) {
            std::string v = value(0);
            if (kind == 2 && pick(4) == 0) v.resize(v.size() / 2);  // an unreadable record
            out += (kind == 2 || pick(2) ? "\n" : " ") + v;
        }
        return out;
    }
};

}  // namespace

TEST(PathProperties, EveryCorpusNodeRoundTripsInEveryStyle) {
    for (const char *name :
         {"canada.json", "citm_catalog.json", "gsoc-2018.json", "mesh.json", "twitter.json"}) {
        bool ok = false;
        std::string text = jxtest::read_file(jxtest::shared_path(std::string("corpus/") + name), &ok);
        ASSERT_TRUE(ok) << name;
        Doc d(text);
        // A few thousand nodes of each file, spread over the whole document.
        EXPECT_EQ(round_trips(d, std::max(1u, jx_doc_count(d) / 3000) | 1, name), 0);
    }
}

TEST(PathProperties, AwkwardKeysRoundTripAndDuplicatesResolveToTheFirst) {
    for (uint32_t seed = 1; seed <= 400; seed++) {
        Gen g{std::mt19937(seed)};
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
    Doc d(json + "1" + std::string(80, '}'));
    const uint32_t deep = jx_doc_count(d) - 1;
    std::vector<std::string> paths;
    for (int s = 0; s < STYLES; s++) paths.push_back(path(d, deep, s));
    paths.push_back(paths[0] + ".missing");
    paths.push_back(paths[0] + "[\"" + std::string(300, 'z') + "\"]");
    // Fails allocation n, once or from then on, for n upward until the call (which checks its own
    // result and says whether a failure was injected) succeeds.
    auto sweep = [](auto call) {
        for (bool persistent : {false, true}) {
            for (uint64_t n = 1;; n++) {
                jx__alloc_fail_at(n, persistent);
                bool failed = call();
                jx__alloc_fail_at(0, false);
                if (failed) continue;
                EXPECT_GT(n, 1u);  // the call did need memory
                break;
            }
        }
    };
    for (int s = 0; s < STYLES; s++) {
        const std::string &want = paths[size_t(s)];
        sweep([&] {
            std::string buf(want.size() + 1, 'x');
            size_t len = jx_path(d, deep, s, buf.data(), buf.size());
            bool failed = jx__alloc_failed();
            EXPECT_EQ(std::string(buf.c_str()), failed ? "" : want);
            EXPECT_EQ(len, failed ? 0 : want.size());
            return failed;
        });
    }
    for (const std::string &p : paths) {
        std::string want_msg, msg;
        const uint32_t want = resolve(d, p, &want_msg);
        sweep([&] {
            uint32_t got = resolve(d, p, &msg);
            bool failed = jx__alloc_failed();
            EXPECT_EQ(got, failed ? JX_NONE : want);
            EXPECT_EQ(msg, failed ? "" : want_msg);
            return failed;
        });
    }
}
