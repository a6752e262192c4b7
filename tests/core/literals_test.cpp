#include <gtest/gtest.h>
// GoogleTest pulls in <regex.h>, whose GNU part declares a struct of the same name.
#define re_registers onig_re_registers
#include <oniguruma.h>
#undef re_registers

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "literals_int.h"
#include "test_util.h"

namespace {

using Strings = std::vector<std::string>;

Strings literals(const std::string &pattern, bool match_case) {
    jx_literals l;
    jx__regex_literals(reinterpret_cast<const uint8_t *>(pattern.data()), pattern.size(), match_case, &l);
    Strings out;
    for (uint32_t i = 0; i < l.count; ++i)
        out.emplace_back(reinterpret_cast<const char *>(l.text[i]), l.len[i]);
    return out;
}

TEST(Literals, WhatEveryMatchHolds) {
    const struct {
        const char *pattern;
        Strings want;
    } cases[] = {
        {"meri[a-z]+ orbit", {" orbit"}},
        {"abc", {"abc"}},
        {"^abc$", {"abc"}},
        {"(foo|bar)baz", {"foobaz", "barbaz"}},
        {"foo|(?:bar)", {"foo", "bar"}},
        {"(|ab)cd", {"cd"}},  // one string beats two longer ones
        {"(|ab)c\\d(xy|zw)", {"xy", "zw"}},
        {"colou?r", {"colo"}},
        {"x(abc)+y", {"xabc"}},         // the first repetition joins what comes before
        {"[0-9]+(abc)+yz", {"abcyz"}},  // and the last what comes after
        {"a{2}bc", {"abc"}},
        {"a{0,2}bc", {"bc"}},
        {"zab{,2}cd", {"za"}},
        {"ab+?c", {"ab"}},
        {"(a|b|c|d|e)xyz", {"xyz"}},  // too many joined strings: the single ones after them
        {"(ab[0-9]x|y[0-9]defg)", {"ab", "defg"}},
        {"[abc]def\\d", {"def"}},
        {"[]x]yz", {}},  // a ']' first in a class is read differently by different syntaxes
        {"[[:alpha:]\\]]+\\.json", {".json"}},
        {"a\\tb\\nc", {"a\tb\nc"}},
        {"é+xyz", {"éxyz"}},
        {"\\bword\\b", {"word"}},
        // Too short, or nothing every match must hold.
        {"a|bcd", {}},
        {"ab*c", {}},
        {"(abc)*", {}},
        {"(abc)?", {}},
        {"x*", {}},
        {"a{0}bc", {"bc"}},
        // What it does not read gives up rather than guess.
        {"(?i)abc", {}},
        {"(?x)a b c", {}},
        {"(?i:ab)cd", {}},
        {"(?=abc)abc", {}},
        {"(?<n>abc)", {}},
        {"(abc)\\1", {}},
        {"\\x41bc", {}},  // not "41bc"
        {"\\u0041bc", {}},
        {"\\p{Alpha}bc", {}},
        {"\\k<n>abc", {}},
        {"ab{x}", {}},
        {"ab\\<cd", {}},
        {"abc)", {}},
        {"(((((((((((((abc)))))))))))))", {}},  // deeper than it keeps track of
    };
    for (const auto &c : cases) EXPECT_EQ(literals(c.pattern, true), c.want) << c.pattern;
}

TEST(Literals, IgnoringCaseOnlyAsciiFoldedToLowerCase) {
    EXPECT_EQ(literals("ABC", false), Strings{"abc"});
    EXPECT_EQ(literals("(Foo|FOO)x", false), Strings{"foox"});
    EXPECT_EQ(literals("aßcd", false), Strings{"cd"});  // ß may be "ss"
    EXPECT_EQ(literals("StraßE", false), Strings{"stra"});
    EXPECT_EQ(literals("éxyz", false), Strings{"xyz"});
    EXPECT_EQ(literals("\xE2\x84\xAA"
                       "ab",
                       false),
              Strings{"ab"});
    EXPECT_EQ(literals("éxyz", true), Strings{"éxyz"});
}

// ---- soundness on random patterns: every text Oniguruma matches holds a literal ----

const char *const TEXT_PIECES[] = {
    "ab", "AB", "c",  "C",         "k",  "K", "\xE2\x84\xAA", "ß", "ss", "SS", "S",  "s", "ſ", "İ",
    "i",  "I",  "st", "ﬅ",         "fi", "ﬁ", "FI",           "é", "É",  ".",  "\n", "5", " ", "x",
    "#",  "y",  "ẞ",  "i\xCC\x87", "x Y"};

bool holds(const std::string &text, const Strings &lits, bool match_case) {
    if (!match_case && std::any_of(text.begin(), text.end(), [](char c) { return uint8_t(c) >= 0x80; }))
        return true;  // the engine folds characters outside ASCII onto ASCII
    std::string t = text;
    if (!match_case)
        std::transform(t.begin(), t.end(), t.begin(), [](char c) { return char(std::tolower(c)); });
    return std::any_of(lits.begin(), lits.end(), [&](const std::string &l) { return t.find(l) != t.npos; });
}

TEST(Literals, EveryMatchOfRandomPatternsHoldsOne) {
    OnigEncoding enc[1] = {ONIG_ENCODING_UTF8};
    onig_initialize(enc, 1);
    std::mt19937 rng(5);
    int with_literals = 0, checked = 0;
    for (int round = 0; round < 3000; ++round) {
        const std::string pattern = jxtest::random_pattern(rng);
        for (bool match_case : {true, false}) {
            OnigRegex re;
            OnigErrorInfo info;
            auto *p = reinterpret_cast<const OnigUChar *>(pattern.data());
            if (onig_new(&re, p, p + pattern.size(), match_case ? ONIG_OPTION_NONE : ONIG_OPTION_IGNORECASE,
                         ONIG_ENCODING_UTF8, ONIG_SYNTAX_ONIGURUMA, &info) != ONIG_NORMAL)
                continue;
            const Strings lits = literals(pattern, match_case);
            with_literals += !lits.empty();
            for (const std::string &l : lits) {
                EXPECT_GE(l.size(), JX_LITERAL_MIN);
                if (!match_case) {
                    EXPECT_TRUE(std::none_of(l.begin(), l.end(), [](char c) {
                        return uint8_t(c) >= 0x80 || (c >= 'A' && c <= 'Z');
                    })) << pattern;
                }
            }
            for (int t = 0; t < 200 && !lits.empty(); ++t) {
                std::string text;
                for (size_t i = rng() % 7; i-- > 0;) text += TEXT_PIECES[rng() % std::size(TEXT_PIECES)];
                auto *b = reinterpret_cast<const OnigUChar *>(text.data()), *e = b + text.size();
                if (onig_search(re, b, e, b, e, nullptr, ONIG_OPTION_NONE) < 0) continue;
                ++checked;
                EXPECT_TRUE(holds(text, lits, match_case))
                    << "pattern '" << pattern << "' case " << match_case << " text '" << text << "'";
            }
            onig_free(re);
        }
    }
    EXPECT_GT(with_literals, 500);
    EXPECT_GT(checked, 4000);
}

}  // namespace
