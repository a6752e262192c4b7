#include <gtest/gtest.h>

#include <random>
#include <string>

#include "test_util.h"

using jxtest::node_text;

TEST(KeyRepeats, CountsDirectSiblingsWithTheSameDecodedKey) {
    jxtest::Doc d(R"({"a":1,"a":2,"b":3})");
    EXPECT_EQ(jx_key_repeats(d, 1), 2u);
    EXPECT_EQ(jx_key_repeats(d, 3), 1u);
    // Escaped unquoted keys too.
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
    EXPECT_EQ(jx_key_repeats(nullptr, 0), 0u);

    // Past the local buffers: keys that share a long prefix or differ only in length stay apart.
    std::string k(300, 'k');
    jxtest::Doc l("{\"" + k + "\":1,\"" + k + "x\":2,\"" + k.substr(1) + "\":3,\"" + k.substr(1) + "\\u006b\":4}");
    EXPECT_EQ(jx_key_repeats(l, 1), 2u);
    EXPECT_EQ(jx_key_repeats(l, 2), 1u);
    EXPECT_EQ(jx_key_repeats(l, 3), 1u);
    jxtest::fail_at(1, true);  // no memory to decode a long key: 0
    uint32_t short_of_memory = jx_key_repeats(l, 1);
    jxtest::disarm();
    EXPECT_EQ(short_of_memory, 0u);
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
            for (int j = 1; j <= n; j++) want += node_text(jx_key_text, d, i) == node_text(jx_key_text, d, j);
            EXPECT_EQ(jx_key_repeats(d, i), want) << src << " member " << i;
        }
    }
}
