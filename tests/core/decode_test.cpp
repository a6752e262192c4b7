#include <gtest/gtest.h>

#include <cstring>
#include <memory>
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

}  // namespace

// chars_test holds the common forms; these are the code point boundaries, surrogate and cut-short
// cases, and invalid UTF-8, which becomes U+FFFD one byte at a time with or without escapes.
TEST(Decode, EscapesAndInvalidUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {R"(a\"b\\c\/d\'e\q)", "a\"b\\c/d'eq"}, {R"(x\0y\u0000)", std::string("x\0y\0", 4)},
        {R"(\u007f\u0080\u07ff\u0800\uffff)", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {R"(\ud83d\ude00\udbff\udfff)", "\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF"},
        {R"(\ud83d)", R}, {R"(\ude00\ud83d)", R + R}, {R"(\ud83d\u0041)", R + "A"},
        {R"(\ud83d\ud83d\ude00)", R + "\xF0\x9F\x98\x80"},
        {R"(\u12g4)", R + "12g4"}, {R"(\u)", R}, {R"(\xg1)", R + "g1"},
        {"ab\\", "ab"}, {"c\\\rd\\\r", "cd"}, {"a\\\xE2\x80\xA9" "b", "ab"}, {"\\\xE2\x80", R + R},
        {"\xC3\xA9\xE0\xA0\x80\xED\x9F\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
         "\xC3\xA9\xE0\xA0\x80\xED\x9F\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
        {"\xC0\x80", R + R}, {"\xC1\xBF", R + R}, {"\xE0\x9F\x80", R + R + R},
        {"\xED\xA0\x80", R + R + R}, {"\xF0\x8F\xBF\xBF", R + R + R + R},
        {"\xF4\x90\x80\x80", R + R + R + R}, {"\xF5\x80", R + R}, {"a\xFF" "b", "a" + R + "b"},
        {"\x80", R}, {"\xE2\x82", R + R}, {"\xE2\x82" "A", R + R + "A"}, {"x\xF0\x9F\x98", "x" + R + R + R},
    };
    for (const auto &[in, out] : cases) EXPECT_EQ(decode(in), out) << in;
    EXPECT_EQ(decode(R"(a\nb\u0041)", 1000, nullptr, false), R"(a\nb\u0041)");
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

TEST(Decode, TokenScannerStopsAtTheClosingQuoteOrTheIdentifierEnd) {
    const std::pair<std::string, size_t> cases[] = {
        {R"("a\"b",)", 6}, {"abc:", 3}, {"$x_1\xC3\xA9-", 6}, {"\\u0061b\\u0063:", 13}, {"a\\u00g1", 1},
        {"a\\u004", 1}, {R"('say "hi"' :)", 10}, {R"("a\\")", 5}, {R"("unterminated)", 13}, {"\"x\\", 3},
        {"", 0},
    };
    for (size_t n = 0; n < 20; n++) {  // the quote at every alignment of the 8-byte steps
        std::string s = "\"" + std::string(n, 'x') + "\\\"\"tail";
        std::unique_ptr<char[]> p(new char[s.size()]);
        std::memcpy(p.get(), s.data(), s.size());
        EXPECT_EQ(jx__scan_string_end(p.get(), p.get() + s.size()), n + 4) << n;
    }
    for (const auto &[s, want] : cases) {
        std::unique_ptr<char[]> p(new char[s.size() + !s.size()]);
        std::memcpy(p.get(), s.data(), s.size());
        EXPECT_EQ(jx__scan_string_end(p.get(), p.get() + s.size()), want) << s;
    }
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
        EXPECT_EQ(jxtest::node_text(jx_key_text, d, i), keys[i]) << i;
        EXPECT_EQ(jxtest::node_text(jx_val_text, d, i), vals[i]) << i;
    }
    char buf[8] = "#######";
    EXPECT_EQ(jx_val_text(d, 1, buf, 5), 5u);
    EXPECT_STREQ(buf, "caf");
    EXPECT_EQ(buf[5], '#');
    EXPECT_EQ(jx_val_text(d, 99, buf, sizeof buf), 0u);
    EXPECT_EQ(buf[0], '\0');
    EXPECT_EQ(jx_key_text(nullptr, 0, buf, sizeof buf), 0u);

    // A value that ends the text, and a JX_BAD record's raw text.
    jxtest::Doc end("\"ab\\u00e9\"");
    EXPECT_EQ(jxtest::node_text(jx_val_text, end, 0), "ab\xC3\xA9");
    jxtest::Doc lines("{\"a\":1}\n{\"a\":\xFF}\n");
    ASSERT_EQ(jx_type(lines, 3), JX_BAD);
    EXPECT_EQ(jxtest::node_text(jx_val_text, lines, 3), "{\"a\":" + R + "}");
}
