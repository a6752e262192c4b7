#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"

namespace {

using jxtest::node_text;

// A copy made by one of the copy calls, with the length it reported.
std::string copied(char *(*copy)(const JxDoc *, uint32_t, size_t *), const JxDoc *d, uint32_t id) {
    size_t len = 99;
    char *p = copy(d, id, &len);
    EXPECT_TRUE(p) << "copy of node " << id;
    std::string s = p ? std::string(p, len + 1) : std::string(1, '\0');
    std::free(p);
    EXPECT_EQ(s.back(), '\0');
    s.pop_back();
    return s;
}

std::string json(const JxDoc *d, uint32_t id, bool pretty) {
    size_t len = 99;
    char *p = jx_copy_json(d, id, pretty, &len);
    EXPECT_TRUE(p && p[len] == 0) << "copy of node " << id;
    std::string s = p ? std::string(p, len) : "";
    std::free(p);
    EXPECT_EQ(jx_json_size(d, id, pretty), s.size());
    return s;
}

std::string json_of(std::string_view text, bool pretty = false, bool lines = false) {
    jxtest::Doc d(text, false, lines);
    return json(d, 0, pretty);
}

// The copy of node 0, pretty and minified, must re-parse strictly without a problem into the same
// tree: node by node the same type, depth, decoded key and decoded value; JX_BAD records left out.
void expect_round_trip(const JxDoc *a, const std::string &what) {
    for (bool pretty : {false, true}) {
        std::string out = json(a, 0, pretty);
        jxtest::Doc b(out, true);
        ASSERT_EQ(jx_doc_error_count(b), 0u) << what << " pretty " << pretty << ": " << jxtest::problem_message(b, 0)
                                             << "\n" << out.substr(0, 2000);
        uint32_t j = 0;
        for (uint32_t i = 0; i < jx_doc_count(a); i++) {
            if (jx_type(a, i) == JX_BAD) continue;
            ASSERT_EQ(jx_type(a, i), jx_type(b, j)) << what << ": node " << i;
            ASSERT_EQ(jx_depth(a, i), jx_depth(b, j)) << what << ": node " << i;
            ASSERT_EQ(node_text(jx_key_text, a, i), node_text(jx_key_text, b, j)) << what << ": node " << i;
            ASSERT_EQ(node_text(jx_val_text, a, i), node_text(jx_val_text, b, j++)) << what << ": node " << i;
        }
        ASSERT_EQ(j, jx_doc_count(b)) << what;
    }
    // Copy as JSON of any node is strict JSON too (small documents: every node).
    for (uint32_t i = 0; jx_doc_count(a) < 300 && i < jx_doc_count(a); i++) {
        jxtest::Doc c(json(a, i, false), true);
        ASSERT_EQ(jx_doc_error_count(c), 0u) << what << ": node " << i << ": " << json(a, i, false);
    }
}

TEST(JsonLayout, PrettyIndentsByTwoAndMinifiedDropsSpacesAndComments) {
    const char *src = R"({"a":[1,2],"b":{}})";
    EXPECT_EQ(json_of(src, true), "{\n  \"a\": [\n    1,\n    2\n  ],\n  \"b\": {}\n}");
    EXPECT_EQ(json_of(src), src);
    EXPECT_EQ(json_of("[[],{},[[]]]", true), "[\n  [],\n  {},\n  [\n    []\n  ]\n]");
    EXPECT_EQ(json_of("/* c */ { // c\n \"a\" : 1 , \"b\" :\t[ true , null , ] , }"), R"({"a":1,"b":[true,null]})");
    EXPECT_EQ(json_of("[1,[2,{\"a\":3"), R"([1,[2,{"a":3}]])");  // unclosed containers get closed
    EXPECT_EQ(json_of(" 42 ", true), "42");
    jxtest::Doc d(R"({"outer":{"in":[1,{"k":true}]}})");
    EXPECT_EQ(json(d, 1, true), "{\n  \"in\": [\n    1,\n    {\n      \"k\": true\n    }\n  ]\n}");
    EXPECT_EQ(json(d, 3, true), "1");
}

TEST(JsonLayout, BadRecordsAreLeftOut) {
    jxtest::Doc d("{\"a\":1}\n{\"a\":}\n[2]\n");
    ASSERT_EQ(jx_type(d, jx_child_at(d, 0, 1)), JX_BAD);
    EXPECT_EQ(json(d, 0, false), R"([{"a":1},[2]])");
    EXPECT_EQ(json(d, 0, true), "[\n  {\n    \"a\": 1\n  },\n  [\n    2\n  ]\n]");
    EXPECT_EQ(json_of("{\"a\":}\n", true, true), "[]");
    EXPECT_EQ(json_of("oops\n[1]\n", false, true), "[[1]]");
}

TEST(JsonQuoting, StandardTextIsKeptAndTheRestRewritten) {
    // What is JSON already stays byte for byte: escapes, big integers, long fractions.
    EXPECT_EQ(json_of(R"(["a\u0062\n\/", -0.5E+3, 123456789012345678901234567890, 0.1000000000000000055511, {"k\u0065y\"":1}])"),
              R"(["a\u0062\n\/",-0.5E+3,123456789012345678901234567890,0.1000000000000000055511,{"k\u0065y\"":1}])");
    EXPECT_EQ(json_of(R"({a:'x\'y', 'say "hi"':'\x41\u00e9', $_k1:'\\', \u0061b\u00e9: 0})"),
              "{\"a\":\"x'y\",\"say \\\"hi\\\"\":\"A\xC3\xA9\",\"$_k1\":\"\\\\\",\"ab\xC3\xA9\":0}");
    EXPECT_EQ(json_of(R"(['\0\x01\x1f\x7f\b\t\n\v\f\r', '\xFF'])"),
              "[\"\\u0000\\u0001\\u001f\x7f\\b\\t\\n\\u000b\\f\\r\",\"\xC3\xBF\"]");
    // Raw control bytes, JSON5-only escapes and invalid UTF-8 inside double quotes are not JSON.
    EXPECT_EQ(json_of("{'a\tb':1,\"a\tb\":2,\"\\v\\x41\":\"\xFF\\'\"}"),
              "{\"a\\tb\":1,\"a\\tb\":2,\"\\u000bA\":\"\xEF\xBF\xBD'\"}");
    std::string k(1000, 'k'), v(700, 'v');  // beyond the writer's local buffer
    EXPECT_EQ(json_of("{'" + k + "\\n':'" + v + "\\'', " + k + ":1}"),
              "{\"" + k + "\\n\":\"" + v + "'\",\"" + k + "\":1}");
}

TEST(JsonQuoting, Json5NumbersBecomeJson) {
    struct Case {
        const char *in, *out;
    } table[] = {
        {"[+1, .5, -.5e3, 5., 5.e-2, +5.5]", "[1,0.5,-0.5e3,5.0,5.0e-2,5.5]"},
        {"[0x1F, -0X1f, 0x0, 0xFFFFFFFFFFFFFFFF]", "[31,-31,0,18446744073709551615]"},
        {"[0x123456789abcdef0123456789ABCDEF]", "[1512366075204170929049582354406559215]"},
        {"[Infinity, -Infinity, +Infinity, NaN, -NaN]", "[null,null,null,null,null]"},
        {"{n: 5, 'm': 1.5}", "{\"n\":5,\"m\":1.5}"},
    };
    for (const Case &c : table) EXPECT_EQ(json_of(c.in), c.out) << c.in;
}

TEST(JsonQuoting, AnUnreadableRecordCopiesAsItsText) {
    jxtest::Doc d("{\"a\":1}\n{\"a\":\t}\n");
    uint32_t bad = jx_child_at(d, 0, 1);
    ASSERT_EQ(jx_type(d, bad), JX_BAD);
    EXPECT_EQ(json(d, bad, false), "\"{\\\"a\\\":\\t}\"");
}

TEST(JsonCopies, ValuesAreDecodedAndElementKeysAreIndices) {
    jxtest::Doc d(R"({"s":"a\nb","n":-1.0e2,"z":"\u0000","arr":[10,20,30],'q\'':{}})");
    EXPECT_EQ(copied(jx_copy_value, d, 1), "a\nb");
    EXPECT_EQ(copied(jx_copy_value, d, 2), "-1.0e2");
    EXPECT_EQ(copied(jx_copy_value, d, 3), std::string(1, '\0'));
    EXPECT_EQ(copied(jx_copy_value, d, 4), "[\n  10,\n  20,\n  30\n]");
    EXPECT_EQ(copied(jx_copy_key, d, 0), "");
    EXPECT_EQ(copied(jx_copy_key, d, 7), "2");
    EXPECT_EQ(copied(jx_copy_key, d, 8), "q'");
    jxtest::Doc r("1 2 3");
    EXPECT_EQ(copied(jx_copy_key, r, 2), "1");

    size_t len = 99;
    EXPECT_EQ(jx_copy_json(d, 9, 0, &len), nullptr);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(jx_copy_value(nullptr, 0, &len), nullptr);
    EXPECT_EQ(jx_copy_key(d, JX_NONE, nullptr), nullptr);
    EXPECT_EQ(jx_json_size(d, 9, 1), 0u);
}

// Each copy command's announced size is the length of its text, for every node and path style;
// only the root may have an empty path, and commands that copy nothing give null.
TEST(JsonCopies, CopyNodeSizeIsItsLength) {
    jxtest::Doc d(R"({"a b":[1,"x\u00e9"],"":{"k":null},"$":true})");
    for (uint32_t n = 0; n < jx_doc_count(d); n++)
        for (uint32_t what = JX_CMD_COPY_VALUE; what <= JX_CMD_COPY_MINIFIED; what++)
            for (int style = JX_PATH_JSONPATH; style <= JX_PATH_POINTER; style++) {
                size_t len = 99;
                char *text = jx_copy_node(d, n, what, style, &len);
                ASSERT_TRUE(text) << "node " << n << " command " << what << " style " << style;
                EXPECT_EQ(len, jx_copy_node_size(d, n, what, style)) << "node " << n << " command " << what;
                EXPECT_TRUE(len > 0 || n == 0 || what == JX_CMD_COPY_VALUE || what == JX_CMD_COPY_KEY);
                std::free(text);
            }
    size_t len = 99;
    EXPECT_EQ(jx_copy_node(d, 1, JX_CMD_FIND_NEXT, 0, &len), nullptr);
    EXPECT_EQ(len, 0u);
    EXPECT_EQ(jx_copy_node(d, JX_NONE, JX_CMD_COPY_PATH, 0, &len), nullptr);
    EXPECT_EQ(jx_copy_node_size(d, JX_NONE, JX_CMD_COPY_JSON, 0), 0u);
}

TEST(JsonValidity, DeepNestingNeedsNoRecursion) {
    std::string deep = std::string(100000, '[') + "1" + std::string(100000, ']');
    jxtest::Doc d(deep);
    ASSERT_EQ(jx_doc_error_count(d), 0u);
    EXPECT_EQ(json(d, 0, false), deep);
    std::string objects;
    for (int i = 0; i < 2000; i++) objects += "{a:";
    jxtest::Doc o(objects + "0" + std::string(2000, '}'));
    expect_round_trip(o, "2000 nested objects");
}

// Lenient documents whose values are standard (or single-quoted, which the
// writer rewrites) copy as strict JSON with the same keys and values.
TEST(JsonValidity, RandomLenientDocumentsCopyAsStrictJson) {
    std::mt19937 rng(20240601);
    auto pick = [&](std::initializer_list<const char *> l) { return std::string(l.begin()[rng() % l.size()]); };
    auto gap = [&] { return pick({"", " ", "\n", "\t", " /* c */ ", "// line\n", "\r\n  "}); };
    for (int round = 0; round < 200; round++) {
        std::string src = gap(), open;
        std::vector<int> members;
        int budget = 1 + static_cast<int>(rng() % 60);
        auto value = [&] {
            uint32_t r = rng() % 10;
            if (budget-- > 0 && r < 4) {
                open += r < 2 ? '}' : ']';
                members.push_back(0);
                src += r < 2 ? "{" : "[";
            } else {
                src += pick({"0", "-12.5e+3", "true", "null", "\"esc\\\"\\\\\\/\\b\\f\\n\\r\\t\"",
                             "\"\\u0001\\uD83D\\uDE00\"", "'it\\'s \"q\"'", "'\\v\\x7f\\u001F\\0'",
                             "'ctl\x01\x1f'", "'\xE2\x82\xAC\xFF'", "\"\xF0\x9F\x98\x80\"", "'a\\\nb'",
                             "\"raw\ttab\x01\"", "\"\\v\\x41\\'\\0\"", "\"bad\xFF\xC3(\xED\xA0\x80\""});
            }
        };
        for (value(); !open.empty();) {
            if (budget-- <= 0 || rng() % 4 == 0) {
                src += (members.back() && rng() % 3 == 0 ? "," : "") + gap() + open.back();
                open.pop_back();
                members.pop_back();
                continue;
            }
            src += (members.back()++ ? "," : "") + gap();
            if (open.back() == '}')
                src += pick({"\"k\"", "\"a\\u00e9\\n\"", "'s\\'q'", "'raw\ttab'", "'\\x41\\0\"'", "ident", "$_x9",
                             "\xC3\xA9t\xC3\xA9", "''", "\"\\ud83d\\ude00\"", "\"t\tk\\x41\xFF\""}) + gap() + ":" + gap();
            value();
        }
        jxtest::Doc d(src + gap());
        ASSERT_EQ(jx_doc_error_count(d), 0u) << src << "\n" << jxtest::problem_message(d, 0);
        expect_round_trip(d, "round " + std::to_string(round) + ": " + src);
    }
}

TEST(JsonValidity, CorpusAndConformanceFilesRoundTrip) {
    for (const char *name : {"canada.json", "citm_catalog.json", "gsoc-2018.json", "mesh.json", "twitter.json"}) {
        jxtest::Doc d(jxtest::read_file(jxtest::shared_path(std::string("corpus/") + name)), true);
        ASSERT_TRUE(jx_doc_count(d) > 1 && jx_doc_error_count(d) == 0) << name;
        expect_round_trip(d, name);
    }
    int cases = 0;
    for (const auto &e : std::filesystem::directory_iterator(jxtest::shared_path("conformance/JSONTestSuite/test_parsing"))) {
        if (e.path().filename().string().rfind("y_", 0) != 0) continue;
        jxtest::Doc d(jxtest::read_file(e.path().string()), true);
        ASSERT_EQ(jx_doc_error_count(d), 0u) << e.path();
        expect_round_trip(d, e.path().string());
        cases++;
    }
    EXPECT_GT(cases, 90);
}

// Every failed copy gives null with length 0; the sanitizer build reports leaks.
TEST(JsonMemory, EveryFailedAllocationGivesNull) {
    jxtest::Doc d(std::string(150, '[') + "{'" + std::string(400, 'k') + "':'" + std::string(300, 'v') +
                  "', b: [1, 'x']}" + std::string(150, ']'));
    ASSERT_EQ(jx_doc_error_count(d), 0u);
    for (bool pretty : {false, true}) {
        std::string want = json(d, 0, pretty);
        jxtest::each_failure([&](uint64_t n, bool persistent) {
            size_t len = 99;
            jxtest::fail_at(n, persistent);
            char *p = jx_copy_json(d, 0, pretty, &len);
            bool failed = jxtest::disarm();
            EXPECT_EQ(p ? std::string(p, len) : "", failed ? "" : want) << "failure at " << n;
            EXPECT_TRUE(failed ? !p && len == 0 : p != nullptr) << "failure at " << n;
            std::free(p);
            return failed;
        });
    }
    for (auto copy : {jx_copy_value, jx_copy_key}) {
        size_t len = 99;
        jxtest::fail_at(1, true);
        char *p = copy(d, 151, &len);
        jxtest::disarm();
        EXPECT_TRUE(!p && len == 0);
        std::free(p);
    }
}

}  // namespace
