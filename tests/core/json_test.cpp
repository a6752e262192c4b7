#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <random>
#include <string>
#include <vector>

#include "alloc.h"
#include "test_util.h"

namespace {

// Owns a copy for the length of a check.
std::string take(char *p, size_t len) {
    std::string s = p ? std::string(p, len) : std::string();
    std::free(p);
    return s;
}

std::string json(const JxDoc *d, uint32_t id, bool pretty) {
    size_t len = 99;
    char *p = jx_copy_json(d, id, pretty, &len);
    EXPECT_TRUE(p) << "copy of node " << id;
    if (p) {
        EXPECT_EQ(std::strlen(p), len);
        EXPECT_EQ(jx_json_size(d, id, pretty), len);
    }
    return take(p, len);
}

std::string json_of(std::string_view text, bool pretty = false, bool lines = false) {
    jxtest::Doc d(jxtest::parse(text, false, lines));
    EXPECT_TRUE(d.doc) << text;
    return d.doc ? json(d, 0, pretty) : "";
}

std::string key_of(const JxDoc *d, uint32_t id) {
    std::string s(jx_key_text(d, id, nullptr, 0) + 1, '\0');
    s.resize(jx_key_text(d, id, s.data(), s.size()));
    return s;
}

std::string val_of(const JxDoc *d, uint32_t id) {
    std::string s(jx_val_text(d, id, nullptr, 0) + 1, '\0');
    s.resize(jx_val_text(d, id, s.data(), s.size()));
    return s;
}

// Two documents hold the same tree when every node agrees in type, place,
// decoded key and decoded value. JX_BAD records of the original are skipped,
// as the writer leaves them out.
void expect_same_tree(const JxDoc *a, const JxDoc *b, const std::string &what) {
    uint32_t j = 0;
    uint32_t n = jx_doc_count(a);
    for (uint32_t i = 0; i < n; i++) {
        if (jx_type(a, i) == JX_BAD) continue;
        ASSERT_LT(j, jx_doc_count(b)) << what << ": output has too few nodes";
        ASSERT_EQ(jx_type(a, i), jx_type(b, j)) << what << ": node " << i;
        ASSERT_EQ(jx_depth(a, i), jx_depth(b, j)) << what << ": node " << i;
        ASSERT_EQ(key_of(a, i), key_of(b, j)) << what << ": node " << i;
        ASSERT_EQ(val_of(a, i), val_of(b, j)) << what << ": node " << i;
        j++;
    }
    ASSERT_EQ(j, jx_doc_count(b)) << what << ": output has too many nodes";
}

// Copies node 0 both ways and checks that each output re-parses without a
// single problem (strictly, when asked) into the same tree.
void expect_round_trip(const JxDoc *d, const std::string &what, bool strict) {
    for (bool pretty : {false, true}) {
        std::string out = json(d, 0, pretty);
        jxtest::Doc back(jxtest::parse(out, strict));
        ASSERT_TRUE(back.doc) << what;
        ASSERT_EQ(jx_doc_error_count(back), 0u)
            << what << (pretty ? " pretty: " : " minified: ") << jxtest::problem_message(back, 0) << "\n"
            << out.substr(0, 2000);
        expect_same_tree(d, back, what + (pretty ? " pretty" : " minified"));
    }
}

std::vector<std::string> files_in(const std::string &dir, const std::string &prefix, const std::string &suffix) {
    std::vector<std::string> out;
    DIR *dp = opendir(dir.c_str());
    if (!dp) return out;
    while (dirent *e = readdir(dp)) {
        std::string name = e->d_name;
        if (name.size() >= prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            out.push_back(dir + "/" + name);
    }
    closedir(dp);
    std::sort(out.begin(), out.end());
    return out;
}

// ---------------------------------------------------------------------------
// Layout

TEST(JsonLayout, PrettyAndMinified) {
    const char *text = R"({"a":[1,2],"b":{}})";
    EXPECT_EQ(json_of(text, true), "{\n  \"a\": [\n    1,\n    2\n  ],\n  \"b\": {}\n}");
    EXPECT_EQ(json_of(text), text);
    EXPECT_EQ(json_of("[[],{},[[]]]", true), "[\n  [],\n  {},\n  [\n    []\n  ]\n]");
    EXPECT_EQ(json_of("{}", true), "{}");
    EXPECT_EQ(json_of("[ ]", true), "[]");
}

TEST(JsonLayout, WhitespaceAndCommentsVanish) {
    EXPECT_EQ(json_of("/* head */ { // note\n \"a\" : 1 , \"b\" :\t[ true , null , ] , }"),
              R"({"a":1,"b":[true,null]})");
}

TEST(JsonLayout, ScalarRoots) {
    EXPECT_EQ(json_of("42", true), "42");
    EXPECT_EQ(json_of("\"x\\u0041\""), "\"x\\u0041\"");
    EXPECT_EQ(json_of("'x\"'"), "\"x\\\"\"");
    EXPECT_EQ(json_of(" null "), "null");
}

TEST(JsonLayout, SubtreeStartsAtLevelZero) {
    jxtest::Doc d(R"({"outer":{"in":[1,{"k":true}]}})");
    EXPECT_EQ(json(d, 1, true), "{\n  \"in\": [\n    1,\n    {\n      \"k\": true\n    }\n  ]\n}");
    EXPECT_EQ(json(d, 3, false), "1");
    EXPECT_EQ(json(d, 4, false), R"({"k":true})");
}

TEST(JsonLayout, UnclosedContainersAreClosed) {
    EXPECT_EQ(json_of("[1,[2,{\"a\":3"), R"([1,[2,{"a":3}]])");
    EXPECT_EQ(json_of("{\"a\":[1,", true), "{\n  \"a\": [\n    1\n  ]\n}");
}

// ---------------------------------------------------------------------------
// Quoting and escaping

TEST(JsonQuoting, ScalarsKeepTheirTextAsWritten) {
    EXPECT_EQ(json_of(R"(["a\u0062\n\/", -0.5E+3, +1, .5, 5., 0x1F, Infinity, -NaN, true, false])"),
              R"(["a\u0062\n\/",-0.5E+3,+1,.5,5.,0x1F,Infinity,-NaN,true,false])");
    EXPECT_EQ(json_of(R"({"k\u0065y\"":1})"), R"({"k\u0065y\"":1})");
}

TEST(JsonQuoting, SingleQuotesAndUnquotedKeysBecomeDoubleQuotes) {
    EXPECT_EQ(json_of(R"({a:'x\'y'})"), R"({"a":"x'y"})");
    EXPECT_EQ(json_of(R"({'say "hi"':'\x41\u00e9', $_k1:"v"})"), "{\"say \\\"hi\\\"\":\"A\xC3\xA9\",\"$_k1\":\"v\"}");
    EXPECT_EQ(json_of("{'\\\\':'a\\\nb'}"), R"({"\\":"ab"})");
}

TEST(JsonQuoting, ControlBytesAreEscapedWhenRewritten) {
    EXPECT_EQ(json_of(R"(['\0\x01\x1f\x7f\b\t\n\v\f\r'])"),
              "[\"\\u0000\\u0001\\u001f\x7f\\b\\t\\n\\u000b\\f\\r\"]");
    // A raw tab: rewritten from single quotes, kept as written in double quotes.
    EXPECT_EQ(json_of("{'a\tb':1}"), "{\"a\\tb\":1}");
    EXPECT_EQ(json_of("{\"a\tb\":1}"), "{\"a\tb\":1}");
    EXPECT_EQ(json_of("['\xFF']"), "[\"\xEF\xBF\xBD\"]");
}

// Keys and strings beyond the writer's local buffer take the heap path.
TEST(JsonQuoting, LongRewrittenTexts) {
    std::string k(1000, 'k'), v(700, 'v');
    EXPECT_EQ(json_of("{'" + k + "\\n':'" + v + "\\''}"), "{\"" + k + "\\n\":\"" + v + "'\"}");
    EXPECT_EQ(json_of("{" + k + ":1}"), "{\"" + k + "\":1}");
}

// ---------------------------------------------------------------------------
// Records

TEST(JsonRecords, BadRecordsAreLeftOut) {
    const char *text = "{\"a\":1}\n{\"a\":}\n[2]\n";
    jxtest::Doc d(text);
    ASSERT_EQ(jx_doc_format(d), JX_FORMAT_LINES);
    ASSERT_EQ(jx_type(d, jx_child_at(d, 0, 1)), JX_BAD);
    EXPECT_EQ(json(d, 0, false), R"([{"a":1},[2]])");
    EXPECT_EQ(json(d, 0, true), "[\n  {\n    \"a\": 1\n  },\n  [\n    2\n  ]\n]");
    EXPECT_EQ(json_of("{\"a\":}\n", false, true), "[]");
    EXPECT_EQ(json_of("{\"a\":}\n", true, true), "[]");
    EXPECT_EQ(json_of("oops\n[1]\n", false, true), "[[1]]");
    EXPECT_EQ(json_of("1 2 3", true), "[\n  1,\n  2,\n  3\n]");
}

// ---------------------------------------------------------------------------
// Copy value and copy key

TEST(JsonCopies, ValueAndKey) {
    jxtest::Doc d(R"({"s":"a\nb","n":-1.0e2,"z":"\u0000","arr":[10,20,30],'q\'':{}})");
    size_t len = 0;
    EXPECT_EQ(take(jx_copy_value(d, 1, &len), len), "a\nb");
    EXPECT_EQ(len, 3u);
    EXPECT_EQ(take(jx_copy_value(d, 2, &len), len), "-1.0e2");
    EXPECT_EQ(take(jx_copy_value(d, 3, &len), len), std::string(1, '\0'));
    EXPECT_EQ(take(jx_copy_value(d, 4, &len), len), "[\n  10,\n  20,\n  30\n]");
    EXPECT_EQ(take(jx_copy_value(d, 8, &len), len), "{}");

    EXPECT_EQ(take(jx_copy_key(d, 0, &len), len), "");
    EXPECT_EQ(take(jx_copy_key(d, 1, &len), len), "s");
    EXPECT_EQ(take(jx_copy_key(d, 7, &len), len), "2");
    EXPECT_EQ(take(jx_copy_key(d, 8, &len), len), "q'");

    jxtest::Doc r("1 2 3");
    EXPECT_EQ(take(jx_copy_key(r, 2, &len), len), "1");
    EXPECT_EQ(take(jx_copy_value(r, 2, &len), len), "2");
}

TEST(JsonCopies, InvalidArgumentsGiveNull) {
    jxtest::Doc d("[1]");
    size_t len = 99;
    EXPECT_EQ(jx_copy_json(d, 2, 0, &len), nullptr);
    EXPECT_EQ(len, 0u);
    len = 99;
    EXPECT_EQ(jx_copy_json(nullptr, 0, 1, &len), nullptr);
    EXPECT_EQ(len, 0u);
    len = 99;
    EXPECT_EQ(jx_copy_value(d, JX_NONE, &len), nullptr);
    EXPECT_EQ(len, 0u);
    len = 99;
    EXPECT_EQ(jx_copy_key(d, 5, &len), nullptr);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(jx_json_size(d, 2, 1), 0u);
    EXPECT_EQ(jx_json_size(nullptr, 0, 0), 0u);
    // The length pointer is optional.
    std::free(jx_copy_json(d, 0, 1, nullptr));
    std::free(jx_copy_key(d, 1, nullptr));
}

// ---------------------------------------------------------------------------
// Output is JSON

TEST(JsonValidity, DeepNestingNeedsNoRecursion) {
    const size_t depth = 100000;
    std::string text = std::string(depth, '[') + "1" + std::string(depth, ']');
    jxtest::Doc d(text);
    ASSERT_EQ(jx_doc_error_count(d), 0u);
    EXPECT_EQ(json(d, 0, false), text);
    std::string objects;
    for (int i = 0; i < 2000; i++) objects += "{a:";
    objects += "0" + std::string(2000, '}');
    jxtest::Doc o(objects);
    ASSERT_EQ(jx_doc_error_count(o), 0u);
    expect_round_trip(o, "2000 nested objects", true);
}

// Lenient documents whose values are standard JSON (or single-quoted
// strings, which the writer rewrites) must copy as strict JSON holding the
// same keys and values.
TEST(JsonValidity, RandomLenientDocumentsCopyAsStrictJson) {
    std::mt19937 rng(20240601);
    auto pick = [&](std::initializer_list<const char *> l) { return std::string(l.begin()[rng() % l.size()]); };
    auto gap = [&] { return pick({"", " ", "\n", "\t", " /* c */ ", "// line\n", "\r\n  "}); };
    auto key = [&] {
        return pick({"\"k\"", "\"a\\u00e9\\n\"", "'s\\'q'", "'raw\ttab'", "'\\x41\\0\"'", "ident", "$_x9",
                     "\xC3\xA9t\xC3\xA9", "\"\"", "''", "'a\\\nb'", "\"\\ud83d\\ude00\""});
    };
    auto scalar = [&] {
        return pick({"0", "-12.5e+3", "1E-2", "true", "false", "null", "\"plain\"", "\"esc\\\"\\\\\\/\\b\\f\\n\\r\\t\"",
                     "\"\\u0001\\uD83D\\uDE00\"", "'single'", "'it\\'s \"q\"'", "'\\v\\x7f\\u001F'",
                     "'ctl\x01\x1f'", "'\xE2\x82\xAC\xFF'", "\"\xF0\x9F\x98\x80\""});
    };
    for (int round = 0; round < 200; round++) {
        // Build a random tree with an explicit stack of open containers.
        std::string text = gap();
        std::vector<char> open;
        std::vector<int> members;
        int budget = 1 + static_cast<int>(rng() % 60);
        auto value_start = [&] {
            uint32_t r = rng() % 10;
            if (budget-- > 0 && r < 2) {
                open.push_back('}');
                members.push_back(0);
                text += "{";
            } else if (budget > 0 && r < 4) {
                open.push_back(']');
                members.push_back(0);
                text += "[";
            } else {
                text += scalar();
            }
        };
        value_start();
        while (!open.empty()) {
            bool more = budget-- > 0 && rng() % 4 != 0;
            if (!more) {
                if (members.back() && rng() % 3 == 0) text += "," + gap();
                text += gap() + open.back();
                open.pop_back();
                members.pop_back();
                continue;
            }
            if (members.back()++) text += ",";
            text += gap();
            if (open.back() == '}') text += key() + gap() + ":" + gap();
            value_start();
        }
        text += gap();
        jxtest::Doc d(text);
        ASSERT_TRUE(d.doc);
        ASSERT_EQ(jx_doc_error_count(d), 0u) << text << "\n" << jxtest::problem_message(d, 0);
        expect_round_trip(d, "round " + std::to_string(round) + ": " + text, true);
    }
}

TEST(JsonValidity, CorpusRoundTrips) {
    for (const char *name : {"canada.json", "citm_catalog.json", "gsoc-2018.json", "mesh.json", "twitter.json"}) {
        bool ok = false;
        std::string text = jxtest::read_file(jxtest::shared_path(std::string("corpus/") + name), &ok);
        ASSERT_TRUE(ok) << name;
        jxtest::Doc d(text, true);
        ASSERT_TRUE(d.doc) << name;
        ASSERT_EQ(jx_doc_error_count(d), 0u) << name;
        expect_round_trip(d, name, true);
    }
}

TEST(JsonValidity, ConformanceAcceptedCasesCopyAsStrictJson) {
    auto files = files_in(jxtest::shared_path("conformance/JSONTestSuite/test_parsing"), "y_", ".json");
    ASSERT_GT(files.size(), 90u);
    for (const std::string &f : files) {
        std::string text = jxtest::read_file(f);
        jxtest::Doc d(text, true);
        ASSERT_TRUE(d.doc) << f;
        ASSERT_EQ(jx_doc_error_count(d), 0u) << f;
        std::string out = json(d, 0, false);
        jxtest::Doc back(jxtest::parse(out, true));
        ASSERT_TRUE(back.doc) << f;
        EXPECT_EQ(jx_doc_error_count(back), 0u) << f << ": " << out;
        expect_same_tree(d, back, f);
    }
}

// JSON5 cases keep their JSON5 numbers as written, so their copies are read
// back leniently; everything else must survive unchanged.
TEST(JsonValidity, Json5CasesRoundTrip) {
    std::string root = jxtest::shared_path("conformance/json5-tests");
    int checked = 0;
    for (const char *dir : {"arrays", "comments", "misc", "new-lines", "numbers", "objects", "strings"}) {
        for (const std::string &f : files_in(root + "/" + dir, "", ".json5")) {
            jxtest::Doc d(jxtest::read_file(f));
            if (!d.doc || jx_doc_error_count(d) || jx_doc_count(d) == 0) continue;
            expect_round_trip(d, f, false);
            checked++;
        }
    }
    EXPECT_GT(checked, 30);
}

// ---------------------------------------------------------------------------
// Running out of memory

// Fails each allocation of a copy in turn, once and from then on: every
// failure gives null with length 0 (the sanitizer build reports leaks).
TEST(JsonMemory, EveryFailedAllocationGivesNull) {
    std::string text = std::string(150, '[') + "{'" + std::string(400, 'k') + "':'" + std::string(300, 'v') +
                       "', b: [1, 'x']}" + std::string(150, ']');
    jxtest::Doc d(text);
    ASSERT_EQ(jx_doc_error_count(d), 0u);
    for (bool pretty : {false, true}) {
        std::string want = json(d, 0, pretty);
        for (bool persistent : {false, true}) {
            bool succeeded = false;
            for (uint64_t n = 1; n < 100 && !succeeded; n++) {
                jx__alloc_fail_at(n, persistent);
                size_t len = 99;
                char *p = jx_copy_json(d, 0, pretty, &len);
                bool failed = jx__alloc_failed();
                size_t size = jx_json_size(d, 0, pretty);
                jx__alloc_fail_at(0, false);
                if (failed) {
                    EXPECT_EQ(p, nullptr) << "failure at " << n;
                    EXPECT_EQ(len, 0u) << "failure at " << n;
                    std::free(p);
                    if (persistent) {
                        EXPECT_EQ(size, 0u) << "failure at " << n;
                    }
                } else {
                    EXPECT_EQ(take(p, len), want);
                    succeeded = true;
                }
            }
            EXPECT_TRUE(succeeded);
        }
    }
}

TEST(JsonMemory, CopiesOfValuesAndKeysFailCleanly) {
    jxtest::Doc d("{'" + std::string(400, 'k') + "':'value', \"a\": [1]}");
    using Copy = char *(*)(const JxDoc *, uint32_t, size_t *);
    const std::pair<Copy, uint32_t> calls[] = {
        {jx_copy_value, 1}, {jx_copy_value, 2}, {jx_copy_key, 1}, {jx_copy_key, 3}, {jx_copy_key, 0}};
    for (const auto &[copy, id] : calls) {
        jx__alloc_fail_at(1, true);
        size_t len = 99;
        char *p = copy(d, id, &len);
        jx__alloc_fail_at(0, false);
        EXPECT_EQ(p, nullptr) << id;
        EXPECT_EQ(len, 0u) << id;
        std::free(p);
    }
}

}  // namespace
