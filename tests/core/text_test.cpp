#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "test_util.h"
#include "text_int.h"

namespace {

const std::string kFFFD = "\xEF\xBF\xBD";

// Decodes from an allocation of exactly the span's size, so that the
// sanitizer build catches any read past the span.
std::string decode(const std::string &in, bool escapes = true, size_t cap = SIZE_MAX, size_t *total = nullptr) {
    std::unique_ptr<char[]> span(new char[in.size() ? in.size() : 1]);
    std::memcpy(span.get(), in.data(), in.size());
    if (cap == SIZE_MAX) cap = in.size() * 3 + 16;
    std::vector<char> out(cap ? cap : 1, '#');
    jx_cursor c = jx__cursor(cap ? out.data() : nullptr, cap);
    jx__decode(&c, span.get(), in.size(), escapes);
    size_t t = jx__cursor_end(&c);
    if (total) *total = t;
    return cap ? std::string(out.data(), c.written) : std::string();
}

bool valid_utf8(const std::string &s) {
    const auto *p = reinterpret_cast<const unsigned char *>(s.data());
    const auto *end = p + s.size();
    while (p < end) {
        if (*p < 0x80) {
            p++;
            continue;
        }
        size_t n = jx__utf8_len(p, end);
        if (!n) return false;
        p += n;
    }
    return true;
}

std::string key_text(const JxDoc *d, uint32_t id) {
    size_t n = jx_key_text(d, id, nullptr, 0);
    std::string s(n + 1, '#');
    EXPECT_EQ(jx_key_text(d, id, s.data(), s.size()), n);
    EXPECT_EQ(s[n], '\0');
    s.resize(n);
    return s;
}

std::string val_text(const JxDoc *d, uint32_t id) {
    size_t n = jx_val_text(d, id, nullptr, 0);
    std::string s(n + 1, '#');
    EXPECT_EQ(jx_val_text(d, id, s.data(), s.size()), n);
    EXPECT_EQ(s[n], '\0');
    s.resize(n);
    return s;
}

struct Case {
    const char *name;
    std::string in;
    std::string out;
};

// ---------------------------------------------------------------------------
// Escapes

TEST(DecodeEscapes, ResolveEveryForm) {
    const Case cases[] = {
        {"json escapes", R"(a\"b\\c\/d)", "a\"b\\c/d"},
        {"single quote", R"(it\'s)", "it's"},
        {"control letters", R"(\b\f\n\r\t\v)", "\x08\x0C\x0A\x0D\x09\x0B"},
        {"nul escape", R"(x\0y)", std::string("x\0y", 3)},
        {"u lower and upper", R"(\u00e9\u00E9)", "\xC3\xA9\xC3\xA9"},
        {"u nul", R"(\u0000)", std::string(1, '\0')},
        {"u three bytes", R"(\u20ac)", "\xE2\x82\xAC"},
        {"surrogate pair", R"(\ud83d\ude00)", "\xF0\x9F\x98\x80"},
        {"lone high", R"(\ud83d)", kFFFD},
        {"high then text", R"(\ud83dx)", kFFFD + "x"},
        {"lone low", R"(\ude00)", kFFFD},
        {"high then non-low", R"(\ud83d\u0041)", kFFFD + "A"},
        {"high high low", R"(\ud83d\ud83d\ude00)", kFFFD + "\xF0\x9F\x98\x80"},
        {"low high", R"(\ude00\ud83d)", kFFFD + kFFFD},
        {"u too short", R"(\u12)", kFFFD + "12"},
        {"u not hex", R"(\u12g4)", kFFFD + "12g4"},
        {"u at end", R"(\u)", kFFFD},
        {"x escape", R"(\x41\xe9)", "A\xC3\xA9"},
        {"x too short", R"(\x4)", kFFFD + "4"},
        {"x not hex", R"(\xg1)", kFFFD + "g1"},
        {"backslash at end", "ab\\", "ab"},
        {"continuation lf", "a\\\nb", "ab"},
        {"continuation crlf", "a\\\r\nb", "ab"},
        {"continuation cr", "a\\\rb", "ab"},
        {"continuation cr at end", "a\\\r", "a"},
        {"line separator", "a\\\xE2\x80\xA8" "b", "ab"},
        {"paragraph separator", "a\\\xE2\x80\xA9" "b", "ab"},
        {"backslash before letter", "\\\xC3\xA9", "\xC3\xA9"},
        {"backslash before cut separator", "\\\xE2\x80", kFFFD + kFFFD},
        {"other letter", R"(\q\%)", "q%"},
    };
    for (const Case &c : cases) EXPECT_EQ(decode(c.in), c.out) << c.name;
}

TEST(DecodeEscapes, OffLeavesBackslashes) {
    EXPECT_EQ(decode(R"(a\nb\u0041)", false), R"(a\nb\u0041)");
    EXPECT_EQ(decode("a\\\xFF", false), "a\\" + kFFFD);
}

// The 8-byte fast path must hand over to the escape reader wherever the
// backslash falls relative to an 8-byte step and to the span's end.
TEST(DecodeEscapes, FoundAtEveryAlignment) {
    for (size_t pre = 0; pre < 20; pre++) {
        for (size_t post = 0; post < 12; post++) {
            std::string in = std::string(pre, 'a') + "\\n" + std::string(post, 'b');
            std::string want = std::string(pre, 'a') + "\n" + std::string(post, 'b');
            ASSERT_EQ(decode(in), want) << pre << "/" << post;
            in = std::string(pre, 'a') + "\xC3\xA9" + std::string(post, 'b');
            ASSERT_EQ(decode(in), in) << pre << "/" << post;
        }
    }
}

// ---------------------------------------------------------------------------
// UTF-8 validation

TEST(DecodeUtf8, InvalidBytesBecomeReplacementOneAtATime) {
    const Case cases[] = {
        {"two bytes", "\xC3\xA9", "\xC3\xA9"},
        {"overlong two", "\xC0\x80", kFFFD + kFFFD},
        {"overlong C1", "\xC1\xBF", kFFFD + kFFFD},
        {"overlong three", "\xE0\x9F\x80", kFFFD + kFFFD + kFFFD},
        {"smallest three", "\xE0\xA0\x80", "\xE0\xA0\x80"},
        {"last before surrogates", "\xED\x9F\xBF", "\xED\x9F\xBF"},
        {"encoded surrogate", "\xED\xA0\x80", kFFFD + kFFFD + kFFFD},
        {"largest three", "\xEF\xBF\xBF", "\xEF\xBF\xBF"},
        {"overlong four", "\xF0\x8F\xBF\xBF", kFFFD + kFFFD + kFFFD + kFFFD},
        {"smallest four", "\xF0\x90\x80\x80", "\xF0\x90\x80\x80"},
        {"largest four", "\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", kFFFD + kFFFD + kFFFD + kFFFD},
        {"lead F5", "\xF5\x80\x80\x80", kFFFD + kFFFD + kFFFD + kFFFD},
        {"byte FF", "a\xFF" "b", "a" + kFFFD + "b"},
        {"stray continuation", "\x80", kFFFD},
        {"cut at span end", "\xE2\x82", kFFFD + kFFFD},
        {"cut by ascii", "\xE2\x82" "A", kFFFD + kFFFD + "A"},
        {"four cut at end", "x\xF0\x9F\x98", "x" + kFFFD + kFFFD + kFFFD},
    };
    for (const Case &c : cases) EXPECT_EQ(decode(c.in), c.out) << c.name;
}

TEST(DecodeUtf8, ReplacementGrowsTheTotal) {
    size_t total = 0;
    EXPECT_EQ(decode("a\xFF", true, SIZE_MAX, &total), "a" + kFFFD);
    EXPECT_EQ(total, 4u);
}

// ---------------------------------------------------------------------------
// The caller's buffer: full length always, whole characters only, NUL always

TEST(DecodeBuffer, CutsAtWholeCharacters) {
    size_t total = 0;
    EXPECT_EQ(decode("caf\\u00e9", true, 5, &total), "caf");
    EXPECT_EQ(total, 5u);
    EXPECT_EQ(decode("caf\\u00e9", true, 6, &total), "caf\xC3\xA9");
    EXPECT_EQ(decode("abcdef", true, 4, &total), "abc");
    EXPECT_EQ(total, 6u);
    EXPECT_EQ(decode("abc", true, 1, &total), "");
    EXPECT_EQ(total, 3u);
    EXPECT_EQ(decode("abc", true, 0, &total), "");
    EXPECT_EQ(total, 3u);
}

// Once a character is left out nothing after it may be written, or the copy
// would silently lose a letter from the middle.
TEST(DecodeBuffer, NothingFollowsAPieceThatDidNotFit) {
    EXPECT_EQ(decode("\xC3\xA9" "a", true, 2), "");
    EXPECT_EQ(decode("x\\u00e9a", true, 3), "x");
    EXPECT_EQ(decode("x" + kFFFD.substr(0, 1) + "ab", true, 4), "x");
}

TEST(DecodeBuffer, EveryCapacityGivesAPrefixOfWholeCharacters) {
    const std::string in = "k\\u00e9y \xF0\x9F\x98\x80 \\ud83d\\ude00\xFF plain ascii\\t\\x41\xE2\x82\xAC end";
    size_t full_total = 0;
    std::string full = decode(in, true, SIZE_MAX, &full_total);
    ASSERT_EQ(full.size(), full_total);
    for (size_t cap = 0; cap <= full.size() + 2; cap++) {
        size_t total = 0;
        std::string got = decode(in, true, cap, &total);
        EXPECT_EQ(total, full_total) << cap;
        EXPECT_EQ(full.compare(0, got.size(), got), 0) << cap;
        EXPECT_TRUE(valid_utf8(got)) << cap;
        size_t room = cap ? cap - 1 : 0;
        EXPECT_LE(got.size(), room) << cap;
        // The longest piece is 4 bytes, so at most 3 bytes of room stay unused.
        EXPECT_GE(got.size() + 3, std::min(room, full.size())) << cap;
    }
}

// ---------------------------------------------------------------------------
// Small readers

TEST(TextHelpers, ScanStringEnd) {
    auto scan = [](const std::string &s) {
        std::unique_ptr<char[]> p(new char[s.size() ? s.size() : 1]);
        std::memcpy(p.get(), s.data(), s.size());
        return jx__scan_string_end(p.get(), p.get() + s.size());
    };
    EXPECT_EQ(scan(R"("a\"b",)"), 6u);
    EXPECT_EQ(scan("abc:"), 3u);
    EXPECT_EQ(scan("$x_1\xC3\xA9-"), 6u);
    EXPECT_EQ(scan(R"('say "hi"' :)"), 10u);
    EXPECT_EQ(scan(R"("it's")"), 6u);
    EXPECT_EQ(scan(R"("a\\")"), 5u);
    EXPECT_EQ(scan(R"("unterminated)"), 13u);
    EXPECT_EQ(scan("\"ends in backslash\\"), 19u);
    EXPECT_EQ(scan(""), 0u);
    EXPECT_EQ(scan(":"), 0u);
    for (size_t n = 0; n < 20; n++) {
        EXPECT_EQ(scan("\"" + std::string(n, 'x') + "\"tail"), n + 2) << n;
        EXPECT_EQ(scan("\"" + std::string(n, 'x') + "\\\"\"tail"), n + 4) << n;
    }
}

TEST(TextHelpers, Hex4) {
    uint16_t v = 7;
    EXPECT_TRUE(jx__hex4("00e9", &v));
    EXPECT_EQ(v, 0xE9);
    EXPECT_TRUE(jx__hex4("DbFf", &v));
    EXPECT_EQ(v, 0xDBFF);
    for (const char *bad : {"g000", "000G", "12 4", "-123", "0x12"}) {
        v = 7;
        EXPECT_FALSE(jx__hex4(bad, &v)) << bad;
        EXPECT_EQ(v, 7);
    }
    const char nul[4] = {'1', '2', '\0', '3'};
    EXPECT_FALSE(jx__hex4(nul, &v));
}

TEST(TextHelpers, PutCodePointAtEncodingBoundaries) {
    const std::pair<uint32_t, std::string> cases[] = {
        {0x7F, "\x7F"},
        {0x80, "\xC2\x80"},
        {0x7FF, "\xDF\xBF"},
        {0x800, "\xE0\xA0\x80"},
        {0xFFFF, "\xEF\xBF\xBF"},
        {0x10000, "\xF0\x90\x80\x80"},
        {0x10FFFF, "\xF4\x8F\xBF\xBF"},
        {0x110000, kFFFD},
    };
    for (const auto &[cp, want] : cases) {
        char buf[8];
        jx_cursor c = jx__cursor(buf, sizeof buf);
        jx__put_cp(&c, cp);
        EXPECT_EQ(std::string(buf, c.written), want) << std::hex << cp;
    }
}

// ---------------------------------------------------------------------------
// Keys and values of documents

TEST(NodeText, ValuesDecodeByType) {
    jxtest::Doc d(R"(["caf\u00e9", 'it\'s', 0x1F, -1.5e3, true, null, {"k": []}, "a\nb", "plain"])");
    ASSERT_TRUE(d.doc);
    EXPECT_EQ(val_text(d, 1), "caf\xC3\xA9");
    EXPECT_EQ(val_text(d, 2), "it's");
    EXPECT_EQ(val_text(d, 3), "0x1F");
    EXPECT_EQ(val_text(d, 4), "-1.5e3");
    EXPECT_EQ(val_text(d, 5), "true");
    EXPECT_EQ(val_text(d, 6), "null");
    EXPECT_EQ(jx_type(d, 7), JX_OBJECT);
    EXPECT_EQ(val_text(d, 7), "");
    EXPECT_EQ(val_text(d, 0), "");
    EXPECT_EQ(val_text(d, 9), "a\nb");
    EXPECT_EQ(val_text(d, 10), "plain");
    EXPECT_EQ(jx_val_text(d, 99, nullptr, 0), 0u);
    EXPECT_EQ(jx_val_text(nullptr, 0, nullptr, 0), 0u);
    char buf[4] = "zz";
    EXPECT_EQ(jx_val_text(d, 99, buf, sizeof buf), 0u);
    EXPECT_EQ(buf[0], '\0');
}

TEST(NodeText, SnprintfContract) {
    jxtest::Doc d(R"(["caf\u00e9"])");
    char buf[8];
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(jx_val_text(d, 1, buf, 5), 5u);
    EXPECT_STREQ(buf, "caf");
    EXPECT_EQ(buf[5], '#');
    EXPECT_EQ(jx_val_text(d, 1, buf, 1), 5u);
    EXPECT_STREQ(buf, "");
    buf[0] = '#';
    EXPECT_EQ(jx_val_text(d, 1, buf, 0), 5u);
    EXPECT_EQ(buf[0], '#');
}

TEST(NodeText, KeysInEveryQuoting) {
    jxtest::Doc d("{name: 1, 'it\\'s': 2, \"a\\u0062c\": 3, $x_1: 4, 'say \"hi\"': 5, \"\": 6}");
    ASSERT_TRUE(d.doc);
    EXPECT_EQ(key_text(d, 1), "name");
    EXPECT_EQ(jx_key_text(d, 1, nullptr, 0), 4u);
    EXPECT_EQ(key_text(d, 2), "it's");
    EXPECT_EQ(key_text(d, 3), "abc");
    EXPECT_EQ(key_text(d, 4), "$x_1");
    EXPECT_EQ(key_text(d, 5), "say \"hi\"");
    EXPECT_EQ(key_text(d, 6), "");
    EXPECT_EQ(key_text(d, 0), "");

    jxtest::Doc a("[1, {\"k\": 2}]");
    EXPECT_EQ(jx_key_text(a, 1, nullptr, 0), 0u);
    EXPECT_EQ(key_text(a, 3), "k");
}

TEST(NodeText, BadRecordsGiveTheirRawText) {
    jxtest::Doc d("{\"a\":1}\n{\"a\":\xFF}\n[2]\n");
    ASSERT_TRUE(d.doc);
    ASSERT_EQ(jx_doc_format(d), JX_FORMAT_LINES);
    uint32_t bad = jx_child_at(d, 0, 1);
    ASSERT_EQ(jx_type(d, bad), JX_BAD);
    EXPECT_EQ(val_text(d, bad), "{\"a\":" + kFFFD + "}");
}

// Values that end exactly at the text's end: the decoder works inside the
// node's span, never in the padding after it.
TEST(NodeText, ValuesAtTheEndOfTheText) {
    jxtest::Doc d("\"ab\\u00e9\"");
    EXPECT_EQ(val_text(d, 0), "ab\xC3\xA9");
    jxtest::Doc n("12345");
    EXPECT_EQ(val_text(n, 0), "12345");
    jxtest::Doc u("[\"\xE2\x82\"]");
    EXPECT_EQ(val_text(u, 1), kFFFD + kFFFD);
}

// ---------------------------------------------------------------------------
// Duplicate keys

TEST(KeyRepeats, CountsSiblingsWithTheSameDecodedKey) {
    jxtest::Doc d(R"({"a":1,"a":2,"b":3})");
    EXPECT_EQ(jx_key_repeats(d, 1), 2u);
    EXPECT_EQ(jx_key_repeats(d, 2), 2u);
    EXPECT_EQ(jx_key_repeats(d, 3), 1u);

    jxtest::Doc e(R"({"\u0061":1,"a":2})");
    EXPECT_EQ(jx_key_repeats(e, 1), 2u);
    EXPECT_EQ(jx_key_repeats(e, 2), 2u);

    jxtest::Doc q(R"({a:1,'a':2,"a":3,'\x61':4,"ab":5,"":6})");
    for (uint32_t i = 1; i <= 4; i++) EXPECT_EQ(jx_key_repeats(q, i), 4u) << i;
    EXPECT_EQ(jx_key_repeats(q, 5), 1u);
    EXPECT_EQ(jx_key_repeats(q, 6), 1u);
}

TEST(KeyRepeats, OnlyDirectSiblingsCount) {
    jxtest::Doc d(R"({"a":{"a":1,"a":[{"a":2}]},"b":{"a":3}})");
    EXPECT_EQ(jx_key_repeats(d, 1), 1u);
    EXPECT_EQ(jx_key_repeats(d, 2), 2u);
    EXPECT_EQ(jx_key_repeats(d, 3), 2u);
    EXPECT_EQ(jx_key_repeats(d, 5), 1u);
}

TEST(KeyRepeats, ZeroWithoutKeyOrParent) {
    jxtest::Doc d(R"([1,{"a":1}])");
    EXPECT_EQ(jx_key_repeats(d, 0), 0u);
    EXPECT_EQ(jx_key_repeats(d, 1), 0u);
    EXPECT_EQ(jx_key_repeats(d, 3), 1u);
    EXPECT_EQ(jx_key_repeats(d, 99), 0u);
    EXPECT_EQ(jx_key_repeats(nullptr, 0), 0u);
}

// Keys longer than the local buffers, and keys that share a long prefix or
// differ only in length, must not be confused.
TEST(KeyRepeats, LongKeys) {
    std::string k(300, 'k');
    std::string text = "{\"" + k + "\":1,\"" + k + "\":2,\"" + k + "x\":3,\"" + k.substr(1) + "\":4,\"" +
                       k.substr(0, 299) + "\\u006b\":5}";
    jxtest::Doc d(text);
    ASSERT_EQ(jx_child_count(d, 0), 5u);
    EXPECT_EQ(jx_key_repeats(d, 1), 3u);
    EXPECT_EQ(jx_key_repeats(d, 5), 3u);
    EXPECT_EQ(jx_key_repeats(d, 3), 1u);
    EXPECT_EQ(jx_key_repeats(d, 4), 1u);
}

// Matches a naive model: decode every key, count equal ones.
TEST(KeyRepeats, AgreesWithDecodedComparisonOnRandomObjects) {
    std::mt19937 rng(1234);
    const char *forms[][3] = {{"\"a\"", "'a'", "a"},
                              {"\"\\u0061\"", "'\\x61'", "\"a\""},
                              {"\"ab\"", "ab", "'a\\u0062'"},
                              {"\"\\u00e9\"", "\"\xC3\xA9\"", "\xC3\xA9"},
                              {"\"b\"", "'\\b'", "\"\\b\""}};
    for (int round = 0; round < 50; round++) {
        std::string text = "{";
        int n = 1 + static_cast<int>(rng() % 12);
        for (int i = 0; i < n; i++) {
            if (i) text += ",";
            text += forms[rng() % 5][rng() % 3];
            text += ":" + std::to_string(i);
        }
        text += "}";
        jxtest::Doc d(text);
        ASSERT_EQ(jx_child_count(d, 0), uint32_t(n)) << text;
        for (int i = 1; i <= n; i++) {
            uint32_t want = 0;
            for (int j = 1; j <= n; j++) want += key_text(d, i) == key_text(d, j);
            EXPECT_EQ(jx_key_repeats(d, i), want) << text << " member " << i;
        }
    }
}

}  // namespace
