// Status line, error bar, selection summary, count and byte formats, and the
// text builder beneath them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "doc_int.h"
#include "test_util.h"
#include "status_int.h"

namespace {

using jxtest::Doc;

// Measures (null buffer), then writes into a roomy buffer: both lengths and
// what was written must agree.
template <class F>
std::string take(F f) {
    char buf[1024];
    std::memset(buf, 'x', sizeof buf);
    size_t measured = f(nullptr, 0), n = f(buf, sizeof buf);
    EXPECT_EQ(measured, n);
    EXPECT_EQ(std::strlen(buf), n);
    return buf;
}
std::string bytes(uint64_t n) { return take([&](char *b, size_t s) { return jx_fmt_bytes(n, b, s); }); }
std::string status(const JxDoc *d, int32_t ms = -1) {
    return take([&](char *b, size_t s) { return jx_status_text(d, ms, b, s); });
}
std::string errorbar(const JxDoc *d) { return take([&](char *b, size_t s) { return jx_errorbar_text(d, b, s); }); }
std::string select(const JxDoc *d, uint32_t id) {
    return take([&](char *b, size_t s) { return jx_select_text(d, id, b, s); });
}
// Texts are written with "|" for the separator, a middle dot between spaces.
std::string dots(std::string s) {
    for (size_t i; (i = s.find('|')) != std::string::npos;) s.replace(i, 1, " \xC2\xB7 ");
    return s;
}

TEST(Formats, CountsAndBytesAtTheirBoundaries) {
    const std::pair<uint64_t, const char *> counts[] = {
        {0, "0"}, {999, "999"}, {1000, "1,000"}, {999999, "999,999"}, {UINT64_MAX, "18,446,744,073,709,551,615"}};
    for (auto [n, want] : counts) {
        uint64_t v = n;
        EXPECT_EQ(take([&](char *b, size_t s) { return jx_fmt_count(v, b, s); }), want);
    }
    const std::pair<uint64_t, const char *> sizes[] = {
        {0, "0 bytes"}, {1, "1 byte"}, {1023, "1,023 bytes"}, {1024, "1.0 KB"}, {1536, "1.5 KB"},
        {1075, "1.0 KB"}, {1076, "1.1 KB"},  // half a tenth of a KB is 51.2 bytes
        {1048524, "1,023.9 KB"}, {1048525, "1.0 MB"}, {1048575, "1.0 MB"}, {(1ull << 30) - 1, "1.0 GB"},
        {1ull << 40, "1,024.0 GB"}, {UINT64_MAX, "17,179,869,184.0 GB"}};
    for (auto [n, want] : sizes) EXPECT_EQ(bytes(n), want) << n;
}

TEST(CallerBuffer, CutsWholeSequencesAndReturnsTheFullLength) {
    const std::string text = "a\xC3\xA9" "b\xE2\x82\xAC" "c\xF0\x9F\x98\x80";
    const size_t kept[] = {0, 1, 1, 3, 4, 4, 4, 7, 8, 8, 8, 8, 12};
    char buf[32];
    for (size_t room = 0; room <= text.size(); ++room) {
        EXPECT_EQ(jx__copy_text(text.data(), text.size(), buf, room + 1), text.size());
        EXPECT_EQ(std::string(buf), text.substr(0, kept[room])) << room;
    }
    // Bytes that form no sequence are not held back with it.
    jx__copy_text("a\x80\x80\x80\x80\x80z", 7, buf, 6);
    EXPECT_STREQ(buf, "a\x80\x80\x80\x80");
    jx__copy_text("ab\xE2\x82z", 5, buf, 4);
    EXPECT_STREQ(buf, "ab\xE2");
    EXPECT_EQ(jx_fmt_count(1234567, buf, 1), 9u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(jx_fmt_count(1234567, buf, 0), 9u);
}

// The status texts are built in fixed buffers (core only uses str_fixed): a piece that does not fit
// fails the text, and later pieces must not slip into the room that is left.
TEST(TextBuilder, AFailureInAFixedBufferIsFinal) {
    char small[8];
    jx_str f = str_fixed(small, sizeof small);
    str_put(&f, "1234567");
    EXPECT_FALSE(f.failed);
    str_put(&f, "8");
    str_put(&f, "");
    EXPECT_TRUE(f.failed);
    EXPECT_STREQ(small, "1234567");
}

struct Case {
    const char *text;
    bool lines;
    uint32_t node;  // selection cases only
    const char *want;
};

TEST(StatusText, SizeValuesFormatDialectAndEncoding) {
    const Case cases[] = {
        {"1", 0, 0, "1 byte|1 value|JSON"},
        {"1\n2\n3\n", 0, 0, "6 bytes|3 values|JSON Lines (3 records)"},
        {"{}\n", 1, 0, "3 bytes|1 value|JSON Lines (1 record)"},
        {"1 2 3", 0, 0, "5 bytes|3 values|Several JSON values (3 records)"},
        {"{a:1, /* c */ b:[2,]}", 0, 0, "21 bytes|4 values|JSON5"},
        {"// c\n[1]", 0, 0, "8 bytes|2 values|JSON with comments"},
        {"[1,]", 0, 0, "4 bytes|2 values|JSON with comments"},
        {"[\"a\tb\"]", 0, 0, "7 bytes|2 values|JSON with raw control characters"},
        {"\"a\tb\"\n'c'\n", 0, 0, "10 bytes|2 values|JSON Lines (2 records) with raw control characters"},
        {"\xEF\xBB\xBF[1]", 0, 0, "3 bytes|2 values|JSON|UTF-8 with BOM"},
        {" \n\t\n", 1, 0, "4 bytes|empty"},
        {"\xEF\xBB\xBF", 0, 0, "0 bytes|empty"},
    };
    for (const Case &c : cases) EXPECT_EQ(status(Doc(c.text, false, c.lines)), dots(c.want)) << c.text;
    EXPECT_EQ(status(Doc(""), 500), dots("0 bytes|empty"));  // and nothing more, not even the time
    Doc le(std::string("\xFF\xFE[\0" "1\0]\0", 8)), be(std::string("\xFE\xFF\0[\0" "1\0]", 8));
    EXPECT_EQ(status(le), dots("3 bytes|2 values|JSON|UTF-16 LE"));
    EXPECT_EQ(status(be), dots("3 bytes|2 values|JSON|UTF-16 BE"));
    EXPECT_EQ(status(Doc("[" + std::string(2046, ' ') + "]")), dots("2.0 KB|1 value|JSON"));
}

TEST(StatusText, ParseTimeRoundsToTenths) {
    Doc d("[]");
    const std::pair<int32_t, const char *> times[] = {
        {0, "< 0.1 s"}, {99, "< 0.1 s"}, {100, "0.1 s"}, {1949, "1.9 s"}, {1950, "2.0 s"},
        {1234567, "1,234.6 s"}, {INT32_MAX, "2,147,483.6 s"}};
    for (auto [ms, want] : times) EXPECT_EQ(status(d, ms), dots("2 bytes|1 value|JSON|parsed in ") + want);
    EXPECT_EQ(status(d, INT32_MIN), dots("2 bytes|1 value|JSON"));
}

TEST(ErrorBar, FirstProblemOrRecordSummary) {
    std::string many;
    for (int i = 0; i < 2500; ++i) many += i % 2 ? "[\n" : "1\n";
    const Case cases[] = {
        {"[1]", 0, 0, ""},
        {"[1,\n  2 3]", 0, 0, "Line 2, column 5: expected , or ] after a value. Showing everything before it."},
        {"{\"\xC3\xA9\":}", 0, 0, "Line 1, column 6: expected a value. Showing everything before it."},
        {"{\"a\":1}\n{\"a\":}\n{\"a\":3}\n", 0, 0, "Line 2 could not be read: expected a value."},
        {"1\n[\n2\n{\n3\n", 0, 0, "2 lines could not be read (first: line 2)."},
        {many.c_str(), 0, 0, "1,250 lines could not be read (first: line 2)."},
    };
    for (const Case &c : cases) EXPECT_EQ(errorbar(Doc(c.text)), c.want) << c.text;
}

// Makes problem i the out-of-memory problem at offset, as a parse that ran
// out of memory there would have left it.
void mark_oom(JxDoc *d, uint32_t i, uint32_t offset) {
    d->problems[i] = {offset, JX_NONE, JX_MSG_OOM};
    d->oom_problem = i;
    if (i == 0) d->first_problem.offset = offset;
}

TEST(ErrorBar, OutOfMemorySaysHowFarReadingGot) {
    Doc single("[" + std::string(198, ' ') + "x"), empty("", true);
    mark_oom(single, 0, 150);
    EXPECT_EQ(errorbar(single), "Ran out of memory at 75%. Showing what was read.");
    mark_oom(single, 0, 199);
    EXPECT_EQ(errorbar(single), "Ran out of memory at 99%. Showing what was read.");
    mark_oom(empty, 0, 0);
    EXPECT_EQ(errorbar(empty), "Ran out of memory at 0%. Showing what was read.");

    // Records: any index counts, and the text needs no memory of its own.
    Doc lines("1\n[\n[\n" + std::string(93, '1') + "\n");
    ASSERT_EQ(jx_doc_error_count(lines), 2u);
    mark_oom(lines, 1, 40);
    jxtest::fail_at(1, true);
    std::string got = errorbar(lines);
    jxtest::disarm();
    EXPECT_EQ(got, "Ran out of memory at 40%. Showing what was read.");
}

TEST(SelectText, KindsCountsAndSingulars) {
    const char *obj = "{\"a\":{\"k\":1},\"b\":[],\"c\":[true],\"d\":[1,2,false,null],\"e\":{}}";
    const char *recs = "1\n{\"a\":}\n3\n";
    const Case cases[] = {
        {obj, 0, 0, "object|5 keys"}, {obj, 0, 1, "object|1 key"}, {obj, 0, 11, "object|0 keys"},
        {obj, 0, 3, "array|0 items"}, {obj, 0, 4, "array|1 item"}, {obj, 0, 6, "array|4 items"},
        {obj, 0, 2, "number"}, {obj, 0, 5, "boolean"}, {obj, 0, 9, "boolean"}, {obj, 0, 10, "null"},
        {recs, 0, 0, "records|3 records"}, {recs, 0, 2, "error"}, {"[1]\n", 1, 0, "records|1 record"},
        {obj, 0, 12, ""}, {obj, 0, JX_NONE, ""},
    };
    for (const Case &c : cases) EXPECT_EQ(select(Doc(c.text, false, c.lines), c.node), dots(c.want)) << c.node;
    EXPECT_EQ(select(nullptr, 0), "");
    EXPECT_EQ(status(nullptr, 5), "");
    EXPECT_EQ(errorbar(nullptr), "");
}

TEST(SelectText, StringsCountDecodedCharacters) {
    const std::pair<const char *, int> strings[] = {
        {"", 0}, {"x", 1}, {"a\xC3\xA9" "b", 3}, {"\xF0\x9F\x98\x80", 1},
        {"abcdefg\xE2\x82\xAC" "hijklmnopqrstuvwxyz", 27},  // a character across an 8-byte step
        // Each byte that starts no well-formed sequence is one character, as the decoder shows it
        // (chars_test holds the counter to the decoder over every broken pattern).
        {"\x80", 1}, {"\xED\xA0\x80", 3}, {"\xE2\x82", 2},  // stray, surrogate, cut short by the quote
        {"a\\u00e9b", 3}, {"\\ud83d\\ude00", 1}, {"\\u0000x", 2}, {"\\\"\xED\xA0\x80", 4},
    };
    for (auto [inner, n] : strings) {
        std::string want = dots("string|" + std::to_string(n) + (n == 1 ? " character" : " characters"));
        EXPECT_EQ(select(Doc("[\"" + std::string(inner) + "\"]"), 1), want) << inner;
    }
    Doc d("[\"a\\u00e9b\"]");  // no memory for the decoded copy: 0 characters
    jxtest::fail_at(1, true);
    std::string got = select(d, 1);
    jxtest::disarm();
    EXPECT_EQ(got, dots("string|0 characters"));
}

TEST(FixedBuffers, AnOverlongTextIsEmptyNotCut) {
    Doc d("[1]");
    const char *saved = d.doc->encoding;
    std::string name(511 - dots("3 bytes|2 values|JSON|").size(), 'E');
    d.doc->encoding = name.c_str();
    EXPECT_EQ(jx_status_text(d, -1, nullptr, 0), 511u);
    name += 'E';
    d.doc->encoding = name.c_str();
    char buf[16] = "xyz";
    EXPECT_EQ(jx_status_text(d, -1, buf, sizeof buf), 0u);
    EXPECT_STREQ(buf, "");
    d.doc->encoding = saved;
}

}  // namespace
