#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "alloc.h"
#include "decode_int.h"
#include "doc_int.h"
#include "test_util.h"

using jxtest::Doc;

namespace {

struct ErrorCase {
    const char *text;
    bool strict;
    uint32_t offset;
    const char *message;
    bool lines = false;
};

// Every malformed construct gets its own message at its own offset.
const ErrorCase kErrors[] = {
    {"[1,2", false, 4, "unexpected end of file"},
    {"{\"a\" 1}", false, 5, "expected : after the key"},
    {"[01]", false, 1, "invalid number"},
    {"[01]", true, 1, "invalid number"},
    {"[tru]", false, 1, "invalid literal"},
    {"[nullx]", false, 1, "invalid literal"},
    {"[1 2]", false, 3, "expected , or ] after a value"},
    {"{\"a\":1 \"b\"}", false, 7, "expected , or } after a value"},
    {"{1:2}", false, 1, "expected a key in double quotes"},
    {"{a:1}", true, 1, "expected a key in double quotes"},
    // an escape in an unquoted key must spell a character the key may hold raw
    {"{\\u0031: 1}", false, 1, "expected a key in double quotes"},
    {"{\\u0020x: 1}", false, 1, "expected a key in double quotes"},
    {"{a\\u0020: 1}", false, 2, "expected a key in double quotes"},
    {"{a\\u003A 1}", false, 2, "expected a key in double quotes"},
    {"{a\\u12: 1}", false, 2, "expected a key in double quotes"},
    {"{\\u0031: 1}", false, 1, "expected a key in double quotes", true},
    {"[1,]", true, 2, "trailing comma"},
    {"[1] // c", true, 4, "comments are not allowed"},
    {"[/* c */ 1]", true, 1, "comments are not allowed"},
    {"[1] 2", true, 4, "unexpected text after the JSON value"},
    {"[1] }", false, 4, "unexpected text after the JSON value"},
    {"", true, 0, "expected a value"},
    {"  ", true, 2, "expected a value"},
    {"[\"a\x01\"]", true, 3, "control character in string"},
    {"[\"\\x41\"]", true, 2, "invalid escape"},
    {"[\"\\x4\"]", false, 2, "invalid escape"},
    {"[\"\\01\"]", false, 2, "invalid escape"},
    {"[\"\\q\"]", false, 2, "invalid escape"},
    {"[\"\\u12G4\"]", false, 2, "invalid escape"},
    {"[\"\\u12", false, 1, "unterminated string"},
    // \u digits are read in order: a non-digit makes the escape invalid, only
    // the text end (in line mode a line end) before the last digit is unterminated
    {"[\"\\u\"]", false, 2, "invalid escape"},
    {"[\"\\u\"]", true, 2, "invalid escape"},
    {"[\"\\u0\"]", false, 2, "invalid escape"},
    {"[\"\\u0\"]", true, 2, "invalid escape"},
    {"['\\u0']", false, 2, "invalid escape"},
    {"[\"\\u00", true, 1, "unterminated string"},
    {"[\"\\u", false, 1, "unterminated string"},
    {"[\"\\x4", false, 1, "unterminated string"},
    {"[\"\\u0\"]", false, 2, "invalid escape", true},
    {"[\"\\u012", false, 7, "unexpected end of line", true},
    {"[\"\\u012\r\n1", false, 7, "unexpected end of line", true},
    {"[\"abc", false, 1, "unterminated string"},
    {"[\"abc\\", false, 1, "unterminated string"},
    {"['abc", false, 1, "unterminated string"},
    {"[+]", false, 1, "invalid number"},
    {"[.]", false, 1, "invalid number"},
    {"[-]", false, 1, "invalid number"},
    {"[NaNx]", false, 1, "invalid literal"},
    {"[Infinity]", true, 1, "expected a value"},
    {"[@]", false, 1, "expected a value"},
    {"[1] /* open", false, 11, "unexpected end of file"},
    {"{\"a\":}", false, 5, "expected a value"},
};

TEST(ParseErrors, MessageAndOffsetOfEachMalformedConstruct) {
    for (const ErrorCase &c : kErrors) {
        SCOPED_TRACE(c.text);
        Doc doc(c.text, c.strict, c.lines);
        const jx_problem *p = jx_doc_error(doc, 0);
        if (!p) {
            ADD_FAILURE() << "no problem";
            continue;
        }
        EXPECT_EQ(p->offset, c.offset);
        EXPECT_STREQ(p->message, c.message);
    }
}

TEST(ParseErrors, UnclosedContainersKeepWhatWasRead) {
    Doc doc("[1,2");
    ASSERT_EQ(jx_doc_count(doc), 3u);
    EXPECT_EQ(jx_flags(doc, 0) & JX_F_UNCLOSED, JX_F_UNCLOSED);
    EXPECT_EQ(jx_child_count(doc, 0), 2u);
    EXPECT_EQ(jx_end(doc, 0), 3u);
    EXPECT_EQ(jx_val_len(doc, 0), 4u);
}

TEST(ParseEmpty, WhitespaceOnlyHasNoNodes) {
    Doc doc(" \n\t ");
    EXPECT_EQ(jx_doc_format(doc), uint32_t(JX_FORMAT_EMPTY));
    EXPECT_EQ(jx_doc_count(doc), 0u);
    EXPECT_EQ(jx_doc_error_count(doc), 0u);
    EXPECT_EQ(jx_doc_line_count(doc), 2u);
    Doc empty("");
    EXPECT_EQ(jx_doc_line_count(empty), 0u);
}

TEST(ParseNesting, HundredThousandLevelsOpenAndTheNextFails) {
    std::string ok(100000, '[');
    ok += std::string(100000, ']');
    Doc doc(ok);
    EXPECT_EQ(jx_doc_error_count(doc), 0u);
    EXPECT_EQ(jx_doc_count(doc), 100000u);
    EXPECT_EQ(jx_depth(doc, 99999), 99999u);

    std::string deep(100001, '[');
    Doc bad(deep);
    ASSERT_EQ(jx_doc_error_count(bad), 1u);
    EXPECT_EQ(jxtest::problem_message(bad, 0), "nesting deeper than 100,000 levels");
    EXPECT_EQ(jx_doc_error(bad, 0)->offset, 100000u);
    EXPECT_EQ(jx_doc_count(bad), 100000u);
}

TEST(ParseLenient, Json5FormsSetBitsAndOffsets) {
    Doc doc("{a: 1, 'b': 'x', c: +.5e1, d: 0x1F, e: -Infinity, f: NaN,}");
    EXPECT_EQ(jx_doc_error_count(doc), 0u);
    EXPECT_EQ(jx_doc_syntax(doc), uint32_t(JX_SYNTAX_JSON5 | JX_SYNTAX_TRAILING_COMMA));
    EXPECT_EQ(jx_doc_syntax_offset(doc), 1u);
    EXPECT_EQ(jx_child_count(doc, 0), 6u);
    for (uint32_t i = 1; i < 7; i++) EXPECT_TRUE(jx_flags(doc, i) & JX_F_NONSTANDARD) << i;
    EXPECT_EQ(jx_key_len(doc, 1), 1u);

    Doc comment("// note\n[1]");
    EXPECT_EQ(jx_doc_syntax(comment), uint32_t(JX_SYNTAX_COMMENTS));
    EXPECT_EQ(jx_doc_syntax_offset(comment), 0u);

    Doc control("[\"a\tb\"]");
    EXPECT_EQ(jx_doc_syntax(control), uint32_t(JX_SYNTAX_CONTROL));
    EXPECT_EQ(jx_doc_syntax_offset(control), 3u);

    Doc open("[1] /* open");
    EXPECT_EQ(jx_doc_syntax(open), 0u);
}

TEST(ParseLenient, Json5SpacesCrCommentsAndEscapedIdentifiers) {
    Doc spaces("[1,\f\v\xC2\xA0 2]");
    EXPECT_EQ(jx_doc_error_count(spaces), 0u);
    EXPECT_EQ(jx_doc_syntax(spaces), uint32_t(JX_SYNTAX_JSON5));
    EXPECT_EQ(jx_doc_syntax_offset(spaces), 3u);
    Doc strict("[1,\f2]", true);
    EXPECT_EQ(jxtest::problem_message(strict, 0), "expected a value");

    Doc cr("{\r// only a CR ends this\r\"a\": 1\r}");
    EXPECT_EQ(jx_doc_error_count(cr), 0u);
    EXPECT_EQ(jx_child_count(cr, 0), 1u);

    Doc key("{sig\\u03A3ma: 1}");
    EXPECT_EQ(jx_doc_error_count(key), 0u);
    EXPECT_EQ(jx_flags(key, 1), JX_F_KEY_ESCAPED | JX_F_NONSTANDARD);
    EXPECT_EQ(jx_key_len(key, 1), 11u);
    char text[16];
    EXPECT_EQ(jx_key_text(key, 1, text, sizeof text), 7u);
    EXPECT_STREQ(text, "sig\xCE\xA3ma");
}

TEST(ParseLenient, UnquotedKeysTakeEscapesOfIdentifierCharacters) {
    struct {
        const char *text, *key;
    } cases[] = {
        {"{a\\u0031: 1}", "a1"},
        {"{\\u0024\\u005F: 1}", "$_"},
        {"{\\u00e9t\\u00E9: 1}", "\xC3\xA9t\xC3\xA9"},
        {"{\\uD83D\\uDE00: 1}", "\xF0\x9F\x98\x80"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        Doc doc(c.text);
        EXPECT_EQ(jx_doc_error_count(doc), 0u);
        uint32_t written = uint32_t(std::strlen(c.text)) - 5;  // without { and : 1}
        EXPECT_EQ(jx_key_len(doc, 1), written);
        EXPECT_EQ(jx__scan_string_end(c.text + 1, c.text + std::strlen(c.text)), written);
        char key[16];
        jx_key_text(doc, 1, key, sizeof key);
        EXPECT_STREQ(key, c.key);
    }
    // where the parser refuses an escape, the key scanner ends the key before it
    for (const char *t : {"a\\u0020b", "a\\u003A", "\\u0031a"})
        EXPECT_EQ(jx__scan_string_end(t, t + std::strlen(t)), t[0] == 'a' ? 1u : 0u) << t;
}

TEST(ParseLenient, EscapesAndStringsFlagTheNode) {
    Doc doc("[\"\\n\", \"\\0\", \"\\\n\", 'it\\'s', \"plain\"]");
    EXPECT_EQ(jx_doc_error_count(doc), 0u);
    EXPECT_EQ(jx_flags(doc, 1), JX_F_ESCAPED);
    EXPECT_EQ(jx_flags(doc, 2), JX_F_ESCAPED | JX_F_NONSTANDARD);
    EXPECT_EQ(jx_flags(doc, 3), JX_F_ESCAPED | JX_F_NONSTANDARD);
    EXPECT_EQ(jx_flags(doc, 4), JX_F_ESCAPED | JX_F_NONSTANDARD);
    EXPECT_EQ(jx_flags(doc, 5), 0);
    EXPECT_EQ(jx_doc_line_count(doc), 2u);  // the line continuation is a line
}

TEST(ParseEncoding, ByteOrderMarks) {
    Doc bom("\xEF\xBB\xBF[1]");
    EXPECT_STREQ(jx_doc_encoding(bom), "UTF-8 with BOM");
    EXPECT_EQ(jx_doc_size(bom), 3u);
    EXPECT_EQ(jx_val_offset(bom, 0), 0u);

    // UTF-16 LE: ["é😀"] with a surrogate pair
    std::string le("\xFF\xFE[\0\"\0\xE9\0\x3D\xD8\x00\xDE\"\0]\0", 16);
    Doc d16(le);
    EXPECT_STREQ(jx_doc_encoding(d16), "UTF-16 LE");
    EXPECT_EQ(std::string(jx_doc_text(d16), jx_doc_size(d16)), "[\"\xC3\xA9\xF0\x9F\x98\x80\"]");

    // UTF-16 BE with a lone high surrogate and an odd final byte
    std::string be("\xFE\xFF\0[\xD8\x3D\0]\0", 9);
    Doc lone(be);
    EXPECT_STREQ(jx_doc_encoding(lone), "UTF-16 BE");
    EXPECT_EQ(std::string(jx_doc_text(lone), jx_doc_size(lone)), "[\xEF\xBF\xBD]\xEF\xBF\xBD");
}

TEST(ParseRecords, JsonLinesAndSeveralValues) {
    Doc lines("{\"a\":1}\n{\"a\":2}\n");
    EXPECT_EQ(jx_doc_format(lines), uint32_t(JX_FORMAT_LINES));
    EXPECT_EQ(jx_child_count(lines, 0), 2u);
    EXPECT_EQ(jx_record_line(lines, 1), 1u);
    EXPECT_EQ(jx_record_line(lines, 3), 2u);
    EXPECT_EQ(jx_record_line(lines, 2), 0u);  // nested
    EXPECT_EQ(jx_doc_records(lines), 1);

    Doc values("1 2 3");
    EXPECT_EQ(jx_doc_format(values), uint32_t(JX_FORMAT_VALUES));
    EXPECT_EQ(jx_child_count(values, 0), 3u);

    Doc pretty("{\n \"a\": 1\n}\n{\"b\": 2}\n");
    EXPECT_EQ(jx_doc_format(pretty), uint32_t(JX_FORMAT_VALUES));
    EXPECT_EQ(jx_child_count(pretty, 0), 2u);
    EXPECT_EQ(jx_parent(pretty, 2), 1u);
}

TEST(ParseRecords, BadLinesCostOnlyTheirLine) {
    Doc doc("{\"a\":1}\r\n{\"a\":}\r\n\r\n// note\r\n[2]");
    EXPECT_EQ(jx_doc_format(doc), uint32_t(JX_FORMAT_LINES));
    ASSERT_EQ(jx_child_count(doc, 0), 3u);
    uint32_t bad = jx_child_at(doc, 0, 1);
    EXPECT_EQ(jx_type(doc, bad), JX_BAD);
    EXPECT_EQ(jx_val_offset(doc, bad), 9u);
    EXPECT_EQ(jx_val_len(doc, bad), 6u);  // the CR is not part of the record
    ASSERT_EQ(jx_doc_error_count(doc), 1u);
    EXPECT_EQ(jx_doc_error(doc, 0)->offset, 14u);
    EXPECT_EQ(jx_doc_error(doc, 0)->node, bad);
    EXPECT_EQ(jxtest::problem_message(doc, 0), "expected a value");
    EXPECT_STREQ(jx__row_message(doc, bad), "expected a value");
    EXPECT_EQ(jx__row_message(doc, 1), nullptr);
    EXPECT_EQ(jx_doc_syntax(doc), uint32_t(JX_SYNTAX_COMMENTS));
}

TEST(ParseRecords, LineModeBreaksAtLineEnds) {
    Doc doc("{\"a\":\r\n1}\n\"x\ny\"", false, true);
    EXPECT_EQ(jx_doc_format(doc), uint32_t(JX_FORMAT_LINES));
    ASSERT_EQ(jx_doc_error_count(doc), 4u);
    EXPECT_EQ(jxtest::problem_message(doc, 0), "unexpected end of line");
    EXPECT_EQ(jx_doc_error(doc, 0)->offset, 5u);  // at the CR
    EXPECT_EQ(jxtest::problem_message(doc, 1), "expected the end of the line");
    EXPECT_EQ(jx_doc_error(doc, 2)->offset, 12u);  // the string's LF
    EXPECT_EQ(jxtest::problem_message(doc, 3), "expected a value");  // the line y"
    for (uint32_t i = 1; i < jx_doc_count(doc); i++) EXPECT_EQ(jx_type(doc, i), JX_BAD);

    Doc blank("\n\n\n", false, true);
    EXPECT_EQ(jx_doc_count(blank), 0u);
    EXPECT_EQ(jx_doc_format(blank), uint32_t(JX_FORMAT_EMPTY));
}

TEST(ParseRecords, SeveralValuesResumeAfterTheBadLine) {
    Doc doc("[1,\n 2] {\"a\" 1}\n[3]\n");
    EXPECT_EQ(jx_doc_format(doc), uint32_t(JX_FORMAT_VALUES));
    ASSERT_EQ(jx_child_count(doc, 0), 3u);
    EXPECT_EQ(jx_type(doc, jx_child_at(doc, 0, 1)), JX_BAD);
    EXPECT_EQ(jx_type(doc, jx_child_at(doc, 0, 2)), JX_ARRAY);
    EXPECT_EQ(jx_doc_line_count(doc), 4u);
    EXPECT_EQ(jx_record_line(doc, jx_child_at(doc, 0, 2)), 3u);
}

TEST(ParseLines, LineIndexAndMinified) {
    Doc doc("[\n  1,\n  2\n]\n");
    ASSERT_EQ(jx_doc_line_count(doc), 5u);
    EXPECT_EQ(jx_doc_line_start(doc, 4), 13u);
    EXPECT_EQ(jx_doc_line_start(doc, 5), 13u);
    EXPECT_EQ(jx_doc_line_of(doc, 7), 2u);
    EXPECT_EQ(jx_doc_minified(doc), 0);

    std::string longline = "[\"" + std::string(10001, 'x') + "\"]";
    Doc min(longline);
    EXPECT_EQ(jx_doc_minified(min), 1);
    Doc crlf("[\"" + std::string(9996, 'x') + "\"]\r\n1");
    EXPECT_EQ(jx_doc_minified(crlf), 0);
}

TEST(ParseProgress, CallbackEvery16MiBAndCancellation) {
    std::string text = "[";
    while (text.size() < (40u << 20)) text += "\"abcdefghijklmnopqrstuvwxyz0123456789\",";
    text += "0]";
    std::vector<uint64_t> calls;
    jx_progress pr{[](void *ctx, uint64_t done, uint64_t) { static_cast<std::vector<uint64_t> *>(ctx)->push_back(done); },
                   &calls, nullptr};
    char *buf = jx_buf_alloc(text.size());
    std::memcpy(buf, text.data(), text.size());
    int st = -1;
    JxDoc *doc = jx_parse(buf, text.size(), nullptr, &pr, &st);
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_NEAR(double(calls[0]), 16 << 20, 64);
    EXPECT_NEAR(double(calls[1]), 32 << 20, 64);
    EXPECT_EQ(calls[2], text.size());
    jx_doc_release(doc);

    uint32_t cancel = 0;
    struct Ctx {
        uint32_t *cancel;
    } ctx{&cancel};
    jx_progress stop{[](void *c, uint64_t, uint64_t) { *static_cast<Ctx *>(c)->cancel = 1; }, &ctx, &cancel};
    buf = jx_buf_alloc(text.size());
    std::memcpy(buf, text.data(), text.size());
    EXPECT_EQ(jx_parse(buf, text.size(), nullptr, &stop, &st), nullptr);
    EXPECT_EQ(st, JX_CANCELLED);
}

// Large texts fault node storage in on a helper thread; the result must not
// depend on it, and cancelling must not leave the thread touching freed memory.
TEST(ParseProgress, LargeTextWithStorageFaultedAhead) {
    std::string text = "[";
    while (text.size() < (130u << 20)) text += "\"abcdefghijklmnopqrstuvwxyz\",";
    text += "0]";
    uint32_t expected = uint32_t((text.size() - 3) / 29) + 2;
    Doc doc(text);
    EXPECT_EQ(jx_doc_count(doc), expected);
    EXPECT_EQ(jx_child_at(doc, 0, expected - 2), expected - 1);

    int calls = 0;
    uint32_t cancel = 0;
    struct Ctx {
        int *calls;
        uint32_t *cancel;
    } ctx{&calls, &cancel};
    jx_progress stop{[](void *c, uint64_t, uint64_t) {
                         auto *x = static_cast<Ctx *>(c);
                         if (++*x->calls == 3) *x->cancel = 1;
                     },
                     &ctx, &cancel};
    char *buf = jx_buf_alloc(text.size());
    std::memcpy(buf, text.data(), text.size());
    int st = -1;
    EXPECT_EQ(jx_parse(buf, text.size(), nullptr, &stop, &st), nullptr);
    EXPECT_EQ(st, JX_CANCELLED);
}

TEST(ParseLimits, RefusesOversizeAndNull) {
    int st = -1;
    EXPECT_EQ(jx_parse(nullptr, 0, nullptr, nullptr, &st), nullptr);
    EXPECT_EQ(st, JX_NO_MEMORY);
    char *buf = jx_buf_alloc(1);
    EXPECT_EQ(jx_parse(buf, size_t(JX_MAX_SIZE) + 1, nullptr, nullptr, &st), nullptr);
    EXPECT_EQ(st, JX_TOO_BIG);
    EXPECT_EQ(jx_buf_alloc(size_t(JX_MAX_SIZE) + 1), nullptr);
}

// Every prefix of a valid file yields a document with a problem unless the
// prefix already holds the complete value, and never reads outside the buffer.
TEST(ParseRobustness, EveryPrefixOfASample) {
    std::string text = jxtest::read_file(jxtest::sample_path("sample.json"));
    if (text.empty()) text = "{\"a\": [1, 2.5e3, \"x\\u00e9\\n\", true, null, {\"b\": []}], \"c\": \"d\"}";
    size_t first = text.find_first_not_of(" \t\r\n"), last = text.find_last_not_of(" \t\r\n");
    ASSERT_EQ(text[first], '{');
    for (bool strict : {false, true}) {
        for (size_t n = 0; n <= text.size(); n++) {
            JxDoc *doc = jxtest::parse(std::string_view(text).substr(0, n), strict);
            ASSERT_NE(doc, nullptr) << n;
            bool blank = n <= first;
            bool clean = n > last || (blank && !strict);
            EXPECT_EQ(jx_doc_error_count(doc) == 0, clean) << "prefix " << n;
            jx_doc_release(doc);
        }
    }
}

// Links of a document that survived a failure still form a tree.
void expect_tree(const JxDoc *doc) {
    uint32_t count = jx_doc_count(doc);
    for (uint32_t i = 0; i < count; i++) {
        ASSERT_GT(jx_end(doc, i), i);
        ASSERT_LE(jx_end(doc, i), count);
        uint32_t parent = jx_parent(doc, i);
        ASSERT_TRUE(i == 0 ? parent == JX_NONE : parent < i);
        if (i > 0) {
            ASSERT_LE(jx_end(doc, i), jx_end(doc, parent));
        }
    }
}

// Allocation failure at every point: either a clean JX_NO_MEMORY or a document
// carrying an "out of memory" problem; the sanitizer build checks for leaks.
TEST(ParseOutOfMemory, EveryAllocationPoint) {
    std::string text;
    for (int i = 0; i < 3000; i++) text += "{\"k\": [1, \"" + std::string(i % 40, 'x') + "\"]}\n";
    text += std::string(20000000 / 4, ' ') + "\"" + std::string(17000000, 'y') + "\"\n";
    uint32_t nodes = jx_doc_count(Doc(text));
    ASSERT_GT(nodes, 12000u);
    for (bool persistent : {false, true}) {
        for (uint64_t n = 1;; n++) {
            jx__alloc_fail_at(n, persistent);
            int st = -1;
            JxDoc *doc = jxtest::parse(text, false, false, &st);
            bool failed = jx__alloc_failed();
            jx__alloc_fail_at(0, false);
            if (!doc) {
                EXPECT_TRUE(st == JX_NO_MEMORY || st == -1) << n;  // -1: the test could not copy its text
                continue;
            }
            if (!failed) {
                EXPECT_EQ(jx_doc_error_count(doc), 0u);
                jx_doc_release(doc);
                break;
            }
            expect_tree(doc);
            // a failure either cost nothing visible (a shrink, the skip index)
            // or is reported as the document's out-of-memory problem
            uint32_t oom = doc->oom_problem;
            if (oom != JX_NONE) {
                EXPECT_EQ(jxtest::problem_message(doc, oom), "out of memory");
            } else {
                EXPECT_EQ(jx_doc_count(doc), nodes) << n;
            }
            jx_doc_release(doc);
            ASSERT_LT(n, 200u);
        }
    }
}

std::string errorbar(const JxDoc *doc) {
    char bar[160];
    jx_errorbar_text(doc, bar, sizeof bar);
    return bar;
}

// Whatever allocation fails while parsing, every problem the document counts
// can be read once memory is back, and an out-of-memory problem can be read
// even while it is not.
TEST(ParseOutOfMemory, ProblemRecordsOutliveAFailedAllocation) {
    std::string text;
    for (int i = 0; i < 5000; i++) text += i % 3 == 1 ? "{\"a\":[1,}\r\n" : "{\"a\":[1]}\r\n";
    jx__alloc_fail_at(UINT64_MAX, false);
    jx_doc_release(jxtest::parse(text));
    uint64_t allocations = jx__alloc_count();
    jx__alloc_fail_at(0, false);
    for (uint64_t n = 1; n <= allocations + 1; n++) {
        jx__alloc_fail_at(n, false);
        Doc doc(jxtest::parse(text));
        jx__alloc_fail_at(0, false);
        if (!doc.doc) continue;
        uint32_t count = jx_doc_error_count(doc), oom = doc.doc->oom_problem;
        if (oom == JX_NONE) {
            ASSERT_EQ(count, 1667u) << n;
            EXPECT_EQ(errorbar(doc), "1,667 lines could not be read (first: line 2).") << n;
        } else {
            jx__alloc_fail_at(1, true);
            const jx_problem *p = jx_doc_error(doc, oom);
            jx__alloc_fail_at(0, false);
            ASSERT_NE(p, nullptr) << n;
            EXPECT_STREQ(p->message, "out of memory");
        }
        for (uint32_t i = 0; i < count; i++) {
            const jx_problem *p = jx_doc_error(doc, i);
            ASSERT_NE(p, nullptr) << n << " " << i;
            if (i != oom) {
                EXPECT_EQ(p->line, 3 * i + 2) << n << " " << i;
            }
        }
    }

    // A record that could not be built is built on a later call.
    Doc doc(text);
    jx__alloc_fail_at(1, true);
    EXPECT_EQ(jx_doc_error(doc, 1500), nullptr);
    jx__alloc_fail_at(0, false);
    ASSERT_NE(jx_doc_error(doc, 1500), nullptr);
    EXPECT_EQ(jx_doc_error(doc, 1500)->line, 4502u);
}

TEST(ParseConcurrency, ProblemBlocksFromSeveralThreads) {
    std::string text;
    for (int i = 0; i < 5000; i++) text += (i % 2) ? "{\"a\":}\n" : "[1]\n";
    Doc doc(text);
    ASSERT_EQ(jx_doc_error_count(doc), 2500u);
    std::vector<std::thread> threads;
    std::atomic<int> bad{0};
    for (int t = 0; t < 4; t++) {
        threads.emplace_back([&, t] {
            for (uint32_t i = 0; i < 2500; i++) {
                uint32_t k = (i * 7 + uint32_t(t) * 13) % 2500;
                const jx_problem *p = jx_doc_error(doc, k);
                if (!p || p->line != 2 * k + 2 || std::strcmp(p->message, "expected a value") != 0) bad++;
            }
        });
    }
    for (auto &th : threads) th.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_EQ(jx_doc_error(doc, 2500), nullptr);
}

}  // namespace
