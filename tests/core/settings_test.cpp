#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "jx.h"

namespace {

JxSettings defaults() {
    JxSettings s;
    std::memset(&s, 0xAB, sizeof s);  // the defaults must not depend on what was there
    jx_settings_default(&s);
    return s;
}

JxSettings parse(const std::string &text) {
    JxSettings s;
    std::memset(&s, 0xAB, sizeof s);
    jx_settings_parse(&s, text.data(), text.size());
    return s;
}

std::string format(const JxSettings &s) {
    std::string t(jx_settings_format(&s, nullptr, 0), 'x');
    EXPECT_EQ(jx_settings_format(&s, t.data(), t.size() + 1), t.size());
    return t;
}

std::vector<std::string> recents(const JxSettings &s) {
    std::vector<std::string> r;
    for (int i = 0; i < s.nrecent && i < JX_RECENT_MAX; i++) r.emplace_back(s.recent[i]);
    return r;
}

// Every field, recent paths as strings, in an order gtest can compare and print.
auto fields(const JxSettings &s) {
    return std::tuple(s.theme, s.font_size, s.path_style, int(s.inspector), s.inspector_width,
                      int(s.search_case), int(s.search_regex), s.search_scope, int(s.indent_guides), s.win_x,
                      s.win_y, s.win_w, s.win_h, s.nrecent, recents(s));
}

void expect_same(const JxSettings &a, const JxSettings &b, const std::string &what = "") {
    EXPECT_EQ(fields(a), fields(b)) << what;
}

// What every record the parser gives must hold, whatever it read.
void expect_valid(const JxSettings &s, const std::string &what) {
    SCOPED_TRACE(what);
    EXPECT_LE(uint32_t(s.theme), 2u);
    EXPECT_TRUE(s.font_size == 0 || (s.font_size >= 9 && s.font_size <= 24));
    EXPECT_LE(uint32_t(s.path_style), 4u);
    EXPECT_LE(uint32_t(s.search_scope), 2u);
    EXPECT_TRUE(s.inspector_width >= 200 && s.inspector_width <= 1200);
    for (uint8_t f : {s.inspector, s.search_case, s.search_regex, s.indent_guides}) EXPECT_LE(f, 1);
    EXPECT_TRUE(s.win_w >= 0 && s.win_h >= 0);
    ASSERT_TRUE(s.nrecent >= 0 && s.nrecent <= JX_RECENT_MAX);
    std::set<std::string> seen;
    for (const std::string &p : recents(s)) {
        EXPECT_TRUE(jx_settings_path_ok(p.data(), p.size())) << p;
        EXPECT_TRUE(seen.insert(p).second) << "listed twice: " << p;
    }
}

const std::string SAMPLE =
    "theme=2\nfont_size=14\npath_style=pointer\ninspector=1\ninspector_width=420\nsearch_case=1\n"
    "search_regex=1\nsearch_scope=values\nindent_guides=0\nwindow=-10 20 800 600\n"
    "recent=/home/\xC3\xA9t\xC3\xA9/a=b.json\nrecent=/\xF0\x9F\x98\x80.json\nrecent=/x\n";

TEST(Settings, EachLineTakesOnlyUsableValues) {
    struct Case {
        std::string text;
        std::function<void(JxSettings &)> change;  // applied to the defaults
    };
    const Case cases[] = {
        {"", [](JxSettings &) {}},
        {"font_size=5", [](JxSettings &s) { s.font_size = 9; }},
        {"font_size=0", [](JxSettings &) {}},
        {"font_size=-0", [](JxSettings &) {}},
        {"font_size=-30", [](JxSettings &s) { s.font_size = 9; }},
        {"font_size=99999999999999999999", [](JxSettings &s) { s.font_size = 24; }},
        {"inspector_width=5000", [](JxSettings &s) { s.inspector_width = 1200; }},
        {"inspector_width=-99999999999", [](JxSettings &s) { s.inspector_width = 200; }},
        {"theme=3", [](JxSettings &) {}},
        {"theme=2\ntheme=-1\ntheme=1x\ntheme=+1\ntheme=\ntheme=-\ntheme= 1",
         [](JxSettings &s) { s.theme = 2; }},
        {"Theme=1\ntheme =1\ntheme\n=1\n", [](JxSettings &) {}},
        {"path_style=python\npath_style=JQ\npath_style=jq ", [](JxSettings &s) { s.path_style = 3; }},
        {"search_scope=keys\nsearch_scope=value", [](JxSettings &s) { s.search_scope = 1; }},
        {"inspector=1\nsearch_case=1\nsearch_regex=1\nindent_guides=0",
         [](JxSettings &s) { s.inspector = s.search_case = s.search_regex = 1, s.indent_guides = 0; }},
        {"inspector=2\nsearch_case=01\nsearch_regex=true\nindent_guides=", [](JxSettings &) {}},
        {"window=10 20 800 600",
         [](JxSettings &s) { s.win_x = 10, s.win_y = 20, s.win_w = 800, s.win_h = 600; }},
        {"window=-10 -20 800 600",
         [](JxSettings &s) { s.win_x = -10, s.win_y = -20, s.win_w = 800, s.win_h = 600; }},
        {"window=99999999999 -99999999999 0 5",
         [](JxSettings &s) { s.win_x = 1000000000, s.win_y = -1000000000, s.win_h = 5; }},
        {"window=10 20 800\nwindow=10 20 -800 600\nwindow=1 2 3 -4\nwindow=1  2 3 4\nwindow= 1 2 3 4\n"
         "window=1 2 3 4 \nwindow=1 2 3 4 5\nwindow=1 2 3 x\nwindow=",
         [](JxSettings &) {}},
        {"theme=1\r\nfont_size=12\r", [](JxSettings &s) { s.theme = 1, s.font_size = 12; }},
        {"theme=1\r\r\n", [](JxSettings &) {}},
        {std::string("theme=1\0\ntheme=2", 16), [](JxSettings &s) { s.theme = 2; }},
    };
    for (const Case &c : cases) {
        JxSettings want = defaults();
        c.change(want);
        expect_same(parse(c.text), want, c.text);
    }
}

TEST(Settings, EmptyOrMissingTextGivesTheDefaults) {
    JxSettings d = defaults(), want{};
    want.inspector_width = 360, want.indent_guides = 1;
    expect_same(d, want);
    JxSettings s = parse(SAMPLE);
    jx_settings_parse(&s, nullptr, 5);
    expect_same(s, d);
    s = parse(SAMPLE);
    jx_settings_parse(&s, SAMPLE.data(), 0);
    expect_same(s, d);
    jx_settings_parse(nullptr, SAMPLE.data(), SAMPLE.size());
    jx_settings_default(nullptr);
}

TEST(Settings, CarriageReturnsBeforeLineFeedsAreIgnored) {
    std::string crlf;
    for (char c : SAMPLE) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    JxSettings s = parse(SAMPLE);
    expect_same(parse(crlf), s);
    expect_same(parse(SAMPLE.substr(0, SAMPLE.size() - 1)), s);  // no line feed after the last line
    EXPECT_EQ(recents(s),
              (std::vector<std::string>{"/home/\xC3\xA9t\xC3\xA9/a=b.json", "/\xF0\x9F\x98\x80.json", "/x"}));
}

TEST(Settings, RecentPathsMustBeValidAndNew) {
    const std::string long_ok(JX_RECENT_SIZE - 1, 'p');
    const std::string good[] = {"/a", long_ok, "\xC3\xA9\xE2\x82\xAC", "\xF4\x8F\xBF\xBF"};
    // too long, empty, control characters, overlong forms, a surrogate, above U+10FFFF, cut sequences
    const std::string bad[] = {"",
                               "a\tb",
                               "a\x7f",
                               "\xC0\xAF",
                               "\xE0\x80\xAF",
                               "\xED\xA0\x80",
                               "\xF4\x90\x80\x80",
                               "\xC3",
                               "a\x80",
                               std::string("a\0b", 3),
                               long_ok + "p"};
    std::string file;
    for (const std::string &p : good) EXPECT_TRUE(jx_settings_path_ok(p.data(), p.size())) << p;
    for (const std::string &p : bad) EXPECT_FALSE(jx_settings_path_ok(p.data(), p.size())) << p;
    for (size_t i = 0; i < std::size(bad); i++) file += "recent=" + bad[i] + "\nrecent=" + good[i % 4] + "\n";
    EXPECT_EQ(jx_settings_path_ok(nullptr, 1), 0);
    JxSettings s = parse(file);
    EXPECT_EQ(recents(s), std::vector<std::string>(std::begin(good), std::end(good)));
    // An 11th path and a repeated one are ignored.
    file.clear();
    for (int i = 0; i < 11; i++) file += "recent=/f" + std::to_string(i) + "\nrecent=/f0\n";
    s = parse(file);
    ASSERT_EQ(s.nrecent, JX_RECENT_MAX);
    EXPECT_STREQ(s.recent[9], "/f9");
    EXPECT_EQ(jx_settings_find_recent(&s, "/f9", 3), 9);
    EXPECT_EQ(jx_settings_find_recent(&s, "/f10", 4), -1);
    EXPECT_EQ(jx_settings_find_recent(&s, "/f", 2), -1);
}

TEST(Settings, AddingAPathMovesOrInsertsItAtTheFront) {
    JxSettings s = parse("recent=/a\nrecent=/b\nrecent=/c\nrecent=/d\n");
    jx_settings_add_recent(&s, "/c");
    EXPECT_EQ(recents(s), (std::vector<std::string>{"/c", "/a", "/b", "/d"}));
    jx_settings_add_recent(&s, s.recent[3]);  // one of the record's own slots
    EXPECT_EQ(recents(s), (std::vector<std::string>{"/d", "/c", "/a", "/b"}));
    for (const char *bad : {"", "a\nb", "\xFF", static_cast<const char *>(nullptr)})
        jx_settings_add_recent(&s, bad);
    jx_settings_add_recent(nullptr, "/x");
    EXPECT_EQ(s.nrecent, 4);

    for (int i = 0; i < 7; i++) jx_settings_add_recent(&s, ("/n" + std::to_string(i)).c_str());
    ASSERT_EQ(s.nrecent, JX_RECENT_MAX);
    EXPECT_STREQ(s.recent[0], "/n6");
    EXPECT_STREQ(s.recent[9], "/a");  // "/b", the oldest, was dropped
    jx_settings_add_recent(&s, s.recent[9]);
    EXPECT_STREQ(s.recent[0], "/a");
    EXPECT_STREQ(s.recent[9], "/c");

    s.nrecent = 25;  // a damaged count is brought into range first
    jx_settings_add_recent(&s, "/z");
    EXPECT_EQ(s.nrecent, JX_RECENT_MAX);
    EXPECT_STREQ(s.recent[0], "/z");
    s.nrecent = -3;
    jx_settings_add_recent(&s, "/y");
    EXPECT_EQ(recents(s), std::vector<std::string>{"/y"});
}

TEST(Settings, FormatWritesTheFileAndRepairsValues) {
    JxSettings s = defaults();
    jx_settings_add_recent(&s, "/path/of/the/file.json");
    EXPECT_EQ(format(s),
              "theme=0\nfont_size=0\npath_style=jsonpath\ninspector=0\ninspector_width=360\n"
              "search_case=0\nsearch_regex=0\nsearch_scope=all\nindent_guides=1\nwindow=0 0 0 0\n"
              "recent=/path/of/the/file.json\n");
    s.theme = 3, s.font_size = 3, s.path_style = -1, s.inspector = 7, s.inspector_width = 9000;
    s.search_scope = 3, s.indent_guides = 0, s.win_x = -5, s.win_w = -1, s.win_h = 7;
    std::memset(s.recent[1], 'q', JX_RECENT_SIZE);  // no zero byte in the slot: never read past it
    std::strcpy(s.recent[2], "bad\x01");
    std::strcpy(s.recent[3], "/ok");
    s.nrecent = 40;
    EXPECT_EQ(format(s),
              "theme=0\nfont_size=9\npath_style=jsonpath\ninspector=1\ninspector_width=1200\n"
              "search_case=0\nsearch_regex=0\nsearch_scope=all\nindent_guides=0\nwindow=-5 0 0 7\n"
              "recent=/path/of/the/file.json\nrecent=/ok\n");
    s.font_size = 30, s.inspector_width = -4;
    EXPECT_NE(format(s).find("\nfont_size=24\n"), std::string::npos);
    EXPECT_NE(format(s).find("\ninspector_width=200\n"), std::string::npos);
    EXPECT_EQ(jx_settings_format(nullptr, nullptr, 0), 0u);
}

TEST(Settings, FormatCutsOnCharacterBoundaries) {
    JxSettings s = defaults();
    jx_settings_add_recent(&s, "/\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    const std::string whole = format(s);
    for (size_t size = 0; size <= whole.size() + 2; size++) {
        std::string buf(size + 1, '#');
        ASSERT_EQ(jx_settings_format(&s, size ? buf.data() : nullptr, size), whole.size());
        if (size == 0) continue;
        const size_t n = std::strlen(buf.c_str());
        const size_t want = std::min(size - 1, whole.size());
        // a cut inside the last line's characters drops the whole character
        EXPECT_TRUE(n == want || (n < want && n + 4 > want && (uint8_t(whole[n]) & 0xC0) == 0xC0)) << size;
        EXPECT_EQ(buf.substr(0, n), whole.substr(0, n));
        EXPECT_EQ(buf[size], '#');
    }
}

// A random record that is valid, with awkward values and paths near every limit.
JxSettings random_valid(std::mt19937 &rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    JxSettings s = defaults();
    s.theme = pick(0, 2);
    s.font_size = pick(0, 1) ? 0 : pick(9, 24);
    s.path_style = pick(0, 4);
    s.inspector = uint8_t(pick(0, 1)), s.search_case = uint8_t(pick(0, 1));
    s.search_regex = uint8_t(pick(0, 1)), s.indent_guides = uint8_t(pick(0, 1));
    s.inspector_width = pick(200, 1200);
    s.search_scope = pick(0, 2);
    s.win_x = pick(-1000000000, 1000000000), s.win_y = pick(-1000000000, 1000000000);
    s.win_w = pick(0, 1000000000), s.win_h = pick(0, 1000000000);
    const std::string pieces[] = {
        "/", "a", "=", " ", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xEF\xBF\xBF"};
    for (int i = pick(0, 14); i > 0; i--) {
        std::string p;
        for (int n = pick(1, 3) == 1 ? 400 : pick(1, 12); n > 0; n--) p += pieces[pick(0, 7)];
        if (p.size() >= JX_RECENT_SIZE) p.resize(JX_RECENT_SIZE - 1 - pick(0, 2));
        while (!jx_settings_path_ok(p.data(), p.size()) && !p.empty()) p.pop_back();
        jx_settings_add_recent(&s, p.c_str());
    }
    return s;
}

TEST(Settings, FormatThenParseGivesBackEveryValidRecord) {
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; i++) {
        JxSettings s = random_valid(rng);
        expect_valid(s, "generated");
        expect_same(parse(format(s)), s, "round " + std::to_string(i));
        if (HasFailure()) break;
    }
}

TEST(Settings, AnyBytesGiveAValidRecord) {
    JxSettings s = parse(SAMPLE);
    for (int i = 0; i < 10; i++) jx_settings_add_recent(&s, ("/r" + std::to_string(i)).c_str());
    const std::string file = format(s) + "recent=/r0\nwindow=1 2 3 4\n";
    for (size_t n = 0; n <= file.size(); n++)
        expect_valid(parse(file.substr(0, n)), "cut at " + std::to_string(n));
    for (size_t at = 0; at < file.size() && !HasFailure(); at++)
        for (int b = 0; b < 256; b++) {
            std::string t = file;
            t[at] = char(b);
            expect_valid(parse(t), "byte " + std::to_string(at) + " = " + std::to_string(b));
        }
    std::mt19937 rng(11);
    const std::string alphabet =
        "recent=window theme font_size-0123456789 \r\n\x01\x7f\x80\xC3\xA9\xED\xA0\xF4\x90";
    for (int i = 0; i < 3000; i++) {
        std::string t(std::uniform_int_distribution<size_t>(0, 300)(rng), '\0');
        for (char &c : t) c = i % 2 ? char(rng()) : alphabet[rng() % alphabet.size()];
        expect_valid(parse(t), "random " + std::to_string(i));
    }
}

}  // namespace
