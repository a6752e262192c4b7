#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "test_util.h"
#include "decode_int.h"

namespace {

const std::string R = "\xEF\xBF\xBD";  // U+FFFD

// Decodes from an allocation of exactly the span's size, so that the
// sanitizer build catches any read past the span.
std::string decode(const std::string &in, size_t cap = 1000, size_t *total = nullptr, bool escapes = true) {
    std::unique_ptr<char[]> span(new char[in.size() + !in.size()]);
    std::memcpy(span.get(), in.data(), in.size());
    std::string out(cap, '#');
    jx_cursor c = jx__cursor(cap ? out.data() : nullptr, cap);
    jx__decode(&c, span.get(), in.size(), escapes);
    size_t t = jx__cursor_end(&c);
    if (total) *total = t;
    if (cap) {
        EXPECT_EQ(out[c.written], '\0');
    }
    return out.substr(0, c.written);
}

// Key or value text of a node through the measure-then-fill calls.
std::string text(size_t (*get)(const JxDoc *, uint32_t, char *, size_t), const JxDoc *d, uint32_t id) {
    std::string s(get(d, id, nullptr, 0) + 1, '#');
    s.resize(get(d, id, s.data(), s.size()));
    return s;
}

TEST(Decode, EscapesResolveEveryForm) {
    const std::pair<std::string, std::string> cases[] = {
        {R"(a\"b\\c\/d\'e\q)", "a\"b\\c/d'eq"}, {R"(\b\f\n\r\t\v)", "\b\f\n\r\t\v"},
        {R"(x\0y\u0000)", std::string("x\0y\0", 4)}, {R"(\u00e9\u00E9)", "\xC3\xA9\xC3\xA9"},
        {R"(\u007f\u0080\u07ff\u0800\uffff)", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {R"(\ud83d\ude00\udbff\udfff)", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
        {R"(\ud83d)", R}, {R"(\ud83dx)", R + "x"}, {R"(\ude00\ud83d)", R + R},
        {R"(\ud83d\u0041)", R + "A"}, {R"(\ud83d\ud83d\ude00)", R + "\xF0\x9F\x98\x80"},
        {R"(\u12)", R + "12"}, {R"(\u12g4)", R + "12g4"}, {R"(\u)", R},
        {R"(\x41\xe9)", "A\xC3\xA9"}, {R"(\x4)", R + "4"}, {R"(\xg1)", R + "g1"},
        {"ab\\", "ab"}, {"a\\\nb\\\r\nc\\\rd\\\r", "abcd"},
        {"a\\\xE2\x80\xA8" "b\\\xE2\x80\xA9", "ab"},
        {"\\\xC3\xA9", "\xC3\xA9"}, {"\\\xE2\x80", R + R},
    };
    for (const auto &[in, out] : cases) EXPECT_EQ(decode(in), out) << in;
    EXPECT_EQ(decode(R"(a\nb\u0041)", 1000, nullptr, false), R"(a\nb\u0041)");
}

TEST(Decode, InvalidUtf8BecomesReplacementOneByteAtATime) {
    const std::pair<std::string, std::string> cases[] = {
        {"\xC3\xA9\xE0\xA0\x80\xED\x9F\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
         "\xC3\xA9\xE0\xA0\x80\xED\x9F\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
        {"\xC0\x80", R + R}, {"\xC1\xBF", R + R}, {"\xE0\x9F\x80", R + R + R},
        {"\xED\xA0\x80", R + R + R}, {"\xF0\x8F\xBF\xBF", R + R + R + R},
        {"\xF4\x90\x80\x80", R + R + R + R}, {"\xF5\x80", R + R}, {"a\xFF" "b", "a" + R + "b"},
        {"\x80", R}, {"\xE2\x82", R + R}, {"\xE2\x82" "A", R + R + "A"}, {"x\xF0\x9F\x98", "x" + R + R + R},
    };
    for (const auto &[in, out] : cases) EXPECT_EQ(decode(in), out) << in;
    EXPECT_EQ(decode("a\\\xFF", 1000, nullptr, false), "a\\" + R);
}

// The 8-byte fast path must hand over wherever the special byte falls.
TEST(Decode, SpecialBytesAtEveryAlignment) {
    for (size_t pre = 0; pre < 20; pre++) {
        for (size_t post = 0; post < 12; post++) {
            std::string a(pre, 'a'), b(post, 'b');
            ASSERT_EQ(decode(a + "\\n" + b), a + "\n" + b) << pre << "/" << post;
            ASSERT_EQ(decode(a + "\xC3\xA9" + b), a + "\xC3\xA9" + b) << pre << "/" << post;
        }
    }
}

TEST(Decode, BufferGetsWholeCharactersAndTheFullLength) {
    size_t total = 0;
    EXPECT_EQ(decode("caf\\u00e9", 5, &total), "caf");
    EXPECT_EQ(total, 5u);
    EXPECT_EQ(decode("a\xFF", 1000, &total), "a" + R);
    EXPECT_EQ(total, 4u);
    EXPECT_EQ(decode("abc", 0, &total), "");
    EXPECT_EQ(total, 3u);
    // Nothing may follow a character that did not fit, or a letter would be
    // lost from the middle of the copy.
    EXPECT_EQ(decode("\xC3\xA9" "a", 2), "");
    EXPECT_EQ(decode("x\\u00e9a", 3), "x");

    const std::string in = "k\\u00e9y \xF0\x9F\x98\x80 \\ud83d\\ude00\xFF ascii run\\t\\x41\xE2\x82\xAC end";
    size_t full_total = 0;
    std::string full = decode(in, 1000, &full_total);
    ASSERT_EQ(full.size(), full_total);
    for (size_t cap = 0; cap <= full.size() + 2; cap++) {
        std::string got = decode(in, cap, &total);
        size_t room = cap ? cap - 1 : 0;
        EXPECT_EQ(total, full_total) << cap;
        EXPECT_EQ(full.compare(0, got.size(), got), 0) << cap;
        EXPECT_EQ(decode(got), got) << cap;  // still valid UTF-8: no sequence was split
        EXPECT_LE(got.size(), room) << cap;
        EXPECT_GE(got.size() + 3, std::min(room, full.size())) << cap;  // pieces are at most 4 bytes
    }
}

TEST(Decode, SmallReaders) {
    auto scan = [](const std::string &s) {
        std::unique_ptr<char[]> p(new char[s.size() + !s.size()]);
        std::memcpy(p.get(), s.data(), s.size());
        return jx__scan_string_end(p.get(), p.get() + s.size());
    };
    EXPECT_EQ(scan(R"("a\"b",)"), 6u);
    EXPECT_EQ(scan("abc:"), 3u);
    EXPECT_EQ(scan("$x_1\xC3\xA9-"), 6u);
    EXPECT_EQ(scan("\\u0061b\\u0063:"), 13u);
    EXPECT_EQ(scan("a\\u00g1"), 1u);
    EXPECT_EQ(scan("a\\u004"), 1u);
    EXPECT_EQ(scan(R"('say "hi"' :)"), 10u);
    EXPECT_EQ(scan(R"("a\\")"), 5u);
    EXPECT_EQ(scan(R"("unterminated)"), 13u);
    EXPECT_EQ(scan("\"x\\"), 3u);
    EXPECT_EQ(scan(""), 0u);
    for (size_t n = 0; n < 20; n++) EXPECT_EQ(scan("\"" + std::string(n, 'x') + "\\\"\"tail"), n + 4) << n;

    uint16_t v = 7;
    EXPECT_TRUE(jx__hex4("DbFf", &v));
    EXPECT_EQ(v, 0xDBFF);
    for (const char *bad : {"g000", "000G", "12 4", "0x12"}) EXPECT_FALSE(jx__hex4(bad, &v)) << bad;
    EXPECT_EQ(v, 0xDBFF);
}

TEST(NodeText, KeysAndValuesOfEveryForm) {
    jxtest::Doc d("{name: \"caf\\u00e9\", 'it\\'s': 'x\\'y', \"a\\u0062c\": 0x1F, 'say \"hi\"': [true],"
                  " $x_1: -1.5e3, \"\": null, \"end\": \"\xE2\x82\"}");
    ASSERT_EQ(jx_doc_error_count(d), 0u);
    const char *keys[] = {"", "name", "it's", "abc", "say \"hi\"", "", "$x_1", "", "end"};
    const std::string vals[] = {"", "caf\xC3\xA9", "x'y", "0x1F", "", "true", "-1.5e3", "null", R + R};
    for (uint32_t i = 0; i < 9; i++) {
        EXPECT_EQ(text(jx_key_text, d, i), keys[i]) << i;
        EXPECT_EQ(text(jx_val_text, d, i), vals[i]) << i;
    }
    EXPECT_EQ(jx_key_text(d, 1, nullptr, 0), 4u);
    char buf[8] = "#######";
    EXPECT_EQ(jx_val_text(d, 1, buf, 5), 5u);
    EXPECT_STREQ(buf, "caf");
    EXPECT_EQ(buf[5], '#');
    EXPECT_EQ(jx_val_text(d, 99, buf, sizeof buf), 0u);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(jx_key_text(nullptr, 0, buf, sizeof buf), 0u);

    // A value that ends the text, and a JX_BAD record's raw text.
    jxtest::Doc end("\"ab\\u00e9\"");
    EXPECT_EQ(text(jx_val_text, end, 0), "ab\xC3\xA9");
    jxtest::Doc lines("{\"a\":1}\n{\"a\":\xFF}\n");
    ASSERT_EQ(jx_type(lines, 3), JX_BAD);
    EXPECT_EQ(text(jx_val_text, lines, 3), "{\"a\":" + R + "}");
}

TEST(KeyRepeats, CountsDirectSiblingsWithTheSameDecodedKey) {
    jxtest::Doc d(R"({"a":1,"a":2,"b":3})");
    EXPECT_EQ(jx_key_repeats(d, 1), 2u);
    EXPECT_EQ(jx_key_repeats(d, 3), 1u);
    jxtest::Doc q(R"({"\u0061":1,a:2,'a':3,'\x61':4,"ab":5,"":6,\u0061:7})");
    EXPECT_EQ(jx_key_repeats(q, 1), 5u);
    EXPECT_EQ(jx_key_repeats(q, 7), 5u);
    EXPECT_EQ(jx_key_repeats(q, 5), 1u);
    EXPECT_EQ(jx_key_repeats(q, 6), 1u);
    jxtest::Doc n(R"({"a":{"a":1,"a":[{"a":2}]},"b":{"a":3}})");
    EXPECT_EQ(jx_key_repeats(n, 1), 1u);
    EXPECT_EQ(jx_key_repeats(n, 2), 2u);
    EXPECT_EQ(jx_key_repeats(n, 5), 1u);
    jxtest::Doc a(R"([1,{"a":1}])");
    EXPECT_EQ(jx_key_repeats(a, 0), 0u);
    EXPECT_EQ(jx_key_repeats(a, 1), 0u);
    EXPECT_EQ(jx_key_repeats(a, 99), 0u);

    // Past the local buffers: keys that share a long prefix or differ only
    // in length stay apart.
    std::string k(300, 'k');
    jxtest::Doc l("{\"" + k + "\":1,\"" + k + "x\":2,\"" + k.substr(1) + "\":3,\"" + k.substr(1) + "\\u006b\":4}");
    EXPECT_EQ(jx_key_repeats(l, 1), 2u);
    EXPECT_EQ(jx_key_repeats(l, 2), 1u);
    EXPECT_EQ(jx_key_repeats(l, 3), 1u);
}

// Agrees with a naive model that decodes every key and counts equal ones.
TEST(KeyRepeats, AgreesWithAModelOnRandomObjects) {
    std::mt19937 rng(1234);
    const char *forms[] = {"\"a\"", "'a'", "a", "\"\\u0061\"", "'\\x61'", "\"ab\"", "ab", "'a\\u0062'",
                           "\"\\u00e9\"", "\"\xC3\xA9\"", "\xC3\xA9", "'\\b'", "\"\\b\"", "b"};
    for (int round = 0; round < 50; round++) {
        std::string src = "{";
        int n = 1 + static_cast<int>(rng() % 12);
        for (int i = 0; i < n; i++) src += (i ? "," : "") + std::string(forms[rng() % 14]) + ":0";
        jxtest::Doc d(src + "}");
        ASSERT_EQ(jx_child_count(d, 0), uint32_t(n)) << src;
        for (int i = 1; i <= n; i++) {
            uint32_t want = 0;
            for (int j = 1; j <= n; j++) want += text(jx_key_text, d, i) == text(jx_key_text, d, j);
            EXPECT_EQ(jx_key_repeats(d, i), want) << src << " member " << i;
        }
    }
}

}  // namespace
