#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

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
    {"[1,\f2]", true, 3, "expected a value"},
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

// Short texts keep what they hold: an unclosed container its children, a
// blank text its lines and no nodes.
TEST(ParseErrors, UnclosedAndBlankTexts) {
    Doc doc("[1,2");
    ASSERT_EQ(jx_doc_count(doc), 3u);
    EXPECT_EQ(jx_flags(doc, 0) & JX_F_UNCLOSED, JX_F_UNCLOSED);
    EXPECT_EQ(jx_child_count(doc, 0), 2u);
    EXPECT_EQ(jx_end(doc, 0), 3u);
    EXPECT_EQ(jx_val_len(doc, 0), 4u);

    Doc blank(" \n\t ");
    EXPECT_EQ(jx_doc_format(blank), uint32_t(JX_FORMAT_EMPTY));
    EXPECT_EQ(jx_doc_count(blank), 0u);
    EXPECT_EQ(jx_doc_error_count(blank), 0u);
    EXPECT_EQ(jx_doc_line_count(blank), 2u);
    EXPECT_EQ(jx_doc_line_count(Doc("")), 0u);
}

TEST(ParseNesting, HundredThousandLevelsOpenAndTheNextFails) {
    Doc doc(std::string(100000, '[') + std::string(100000, ']'));
    EXPECT_EQ(jx_doc_error_count(doc), 0u);
    EXPECT_EQ(jx_doc_count(doc), 100000u);
    EXPECT_EQ(jx_depth(doc, 99999), 99999u);

    Doc bad(std::string(100001, '['));
    ASSERT_EQ(jx_doc_error_count(bad), 1u);
    EXPECT_EQ(jxtest::problem_message(bad, 0), "nesting deeper than 100,000 levels");
    EXPECT_EQ(jx_doc_error(bad, 0)->offset, 100000u);
    EXPECT_EQ(jx_doc_count(bad), 100000u);
}

struct LenientCase {
    const char *text;
    uint32_t syntax, syntax_offset;
    int flags;  // of node 1
};

// Lenient forms read without a problem; each sets its syntax bit, the first
// one's offset and the flags of the node it is in.
const LenientCase kLenient[] = {
    {"{a: 1,}", JX_SYNTAX_JSON5 | JX_SYNTAX_TRAILING_COMMA, 1, JX_F_NONSTANDARD},
    {"{'b': 2}", JX_SYNTAX_JSON5, 1, JX_F_NONSTANDARD},
    {"['it\\'s']", JX_SYNTAX_JSON5, 1, JX_F_ESCAPED | JX_F_NONSTANDARD},
    {"[+.5e1]", JX_SYNTAX_JSON5, 1, JX_F_NONSTANDARD},
    {"[0x1F]", JX_SYNTAX_JSON5, 1, JX_F_NONSTANDARD},
    {"[-Infinity]", JX_SYNTAX_JSON5, 1, JX_F_NONSTANDARD},
    {"[NaN]", JX_SYNTAX_JSON5, 1, JX_F_NONSTANDARD},
    {"[\"\\0\"]", JX_SYNTAX_JSON5, 2, JX_F_ESCAPED | JX_F_NONSTANDARD},
    {"[\"\\\n\"]", JX_SYNTAX_JSON5, 2, JX_F_ESCAPED | JX_F_NONSTANDARD},
    {"[\"\\n\"]", 0, JX_NONE, JX_F_ESCAPED},
    {"[\"plain\"]", 0, JX_NONE, 0},
    {"[1,\f\v\xC2\xA0 2]", JX_SYNTAX_JSON5, 3, 0},
    {"// note\n[1]", JX_SYNTAX_COMMENTS, 0, 0},
    {"[\r// only a CR ends this\r1\r]", JX_SYNTAX_COMMENTS, 2, 0},
    {"[\"a\tb\"]", JX_SYNTAX_CONTROL, 3, 0},
    {"{sig\\u03A3ma: 1}", JX_SYNTAX_JSON5, 1, JX_F_KEY_ESCAPED | JX_F_NONSTANDARD},
};

TEST(ParseLenient, FormsSetSyntaxBitsOffsetsAndFlags) {
    for (const LenientCase &c : kLenient) {
        SCOPED_TRACE(c.text);
        Doc doc(c.text);
        EXPECT_EQ(jx_doc_error_count(doc), 0u);
        EXPECT_EQ(jx_doc_syntax(doc), c.syntax);
        EXPECT_EQ(jx_doc_syntax_offset(doc), c.syntax_offset);
        EXPECT_EQ(jx_flags(doc, 1), c.flags);
    }
    EXPECT_EQ(jx_doc_line_count(Doc("[\"\\\n\"]")), 2u);  // a line continuation is a line
    EXPECT_EQ(jx_doc_syntax(Doc("[1] /* open")), 0u);  // a comment that never closes is a problem
}

// An escape in an unquoted key may spell any character the key could hold
// written raw; the key's length and text follow from the same rule.
TEST(ParseLenient, UnquotedKeysTakeEscapesOfIdentifierCharacters) {
    struct {
        const char *text, *key;
    } cases[] = {
        {"{sig\\u03A3ma: 1}", "sig\xCE\xA3ma"},
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
        EXPECT_EQ(jx_key_text(doc, 1, key, sizeof key), std::strlen(c.key));
        EXPECT_STREQ(key, c.key);
    }
    // where the parser refuses an escape, the key scanner ends the key before it
    for (const char *t : {"a\\u0020b", "a\\u003A", "\\u0031a"})
        EXPECT_EQ(jx__scan_string_end(t, t + std::strlen(t)), t[0] == 'a' ? 1u : 0u) << t;
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

struct RecordsCase {
    const char *text;
    uint32_t format, records;
};

// A second value makes the text records: JSON Lines when the first value
// held one line and nothing but comments followed it there.
const RecordsCase kRecords[] = {
    {"{\"a\":1}\n{\"a\":2}\n", JX_FORMAT_LINES, 2},
    {"[1] // one\n[2] /* two */\n[3]", JX_FORMAT_LINES, 3},
    {"1 2 3", JX_FORMAT_VALUES, 3},
    {"[1] /* spans\n */ [2]", JX_FORMAT_VALUES, 2},
    {"{\n \"a\": 1\n}\n{\"b\": 2}\n", JX_FORMAT_VALUES, 2},
};

TEST(ParseRecords, FormatAndRecordCount) {
    for (const RecordsCase &c : kRecords) {
        SCOPED_TRACE(c.text);
        Doc doc(c.text);
        EXPECT_EQ(jx_doc_error_count(doc), 0u);
        EXPECT_EQ(jx_doc_format(doc), c.format);
        EXPECT_EQ(jx_child_count(doc, 0), c.records);
        bool container = c.text[0] == '{' || c.text[0] == '[';
        EXPECT_EQ(jx_parent(doc, 2), container ? 1u : 0u);  // ids shifted under the new root
    }
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

char *buffer_of(const std::string &text) {
    char *buf = jx_buf_alloc(text.size());
    if (buf) std::memcpy(buf, text.data(), text.size());
    return buf;
}

// Progress comes every 16 MiB and at the end. A text this large has its node
// storage faulted in on a helper thread, which must not change the result;
// cancelling must not leave that thread touching freed memory.
TEST(ParseProgress, ReportsEvery16MiBAndCancelsALargeText) {
    std::string text = "[";
    while (text.size() < (130u << 20)) text += "\"abcdefghijklmnopqrstuvwxyz\",";
    text += "0]";
    uint32_t expected = uint32_t((text.size() - 3) / 29) + 2;
    struct Ctx {
        std::vector<uint64_t> calls;
        size_t cancel_at;
        uint32_t cancel;
    } ctx{{}, 0, 0};
    jx_progress pr{[](void *c, uint64_t done, uint64_t) {
                       auto *x = static_cast<Ctx *>(c);
                       x->calls.push_back(done);
                       if (x->calls.size() == x->cancel_at) x->cancel = 1;
                   },
                   &ctx, &ctx.cancel};
    int st = -1;
    Doc doc(jx_parse(buffer_of(text), text.size(), nullptr, &pr, &st));
    EXPECT_EQ(st, JX_OK);
    EXPECT_EQ(jx_doc_count(doc), expected);
    EXPECT_EQ(jx_child_at(doc, 0, expected - 2), expected - 1);
    ASSERT_EQ(ctx.calls.size(), 9u);
    // Inside a string the scan notices the mark within a word and a 64-byte block, and each
    // report sets the next mark from where it was made.
    for (size_t i = 0; i < 8; i++) EXPECT_NEAR(double(ctx.calls[i]), double((i + 1) << 24), 72.0 * (i + 1)) << i;
    EXPECT_EQ(ctx.calls[8], text.size());

    for (size_t at : {1, 3}) {
        ctx = {{}, at, 0};
        EXPECT_EQ(jx_parse(buffer_of(text), text.size(), nullptr, &pr, &st), nullptr);
        EXPECT_EQ(st, JX_CANCELLED);
        EXPECT_EQ(ctx.calls.size(), at);
    }
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

std::string errorbar(const JxDoc *doc) {
    char bar[160];
    jx_errorbar_text(doc, bar, sizeof bar);
    return bar;
}

// Allocation failure at every point, once and from then on: either a clean
// JX_NO_MEMORY, or a document that is still a tree and whose every problem
// can be read once memory is back; when anything was lost it has an "out of
// memory" problem, readable even while memory is still short. The sanitizer
// build checks for leaks.
TEST(ParseOutOfMemory, EveryAllocationPoint) {
    std::string text;
    for (int i = 0; i < 5000; i++)
        text += i % 3 == 1 ? "{\"a\":[1,}\r\n" : "{\"k\": [1, \"" + std::string(i % 40, 'x') + "\"]}\r\n";
    text += std::string(20000000 / 4, ' ') + "\"" + std::string(17000000, 'y') + "\"\n";
    uint32_t nodes = jx_doc_count(Doc(text));
    ASSERT_GT(nodes, 12000u);
    jxtest::each_failure([&](uint64_t n, bool persistent) {
        jxtest::fail_at(n, persistent);
        int st = -1;
        Doc doc(jxtest::parse(text, false, false, &st));
        bool failed = jxtest::disarm();
        EXPECT_LT(n, 200u);
        if (!doc.doc) {
            EXPECT_TRUE(failed && (st == JX_NO_MEMORY || st == -1)) << n;  // -1: the test could not copy its text
            return failed;
        }
        uint32_t count = jx_doc_error_count(doc), oom = doc.doc->oom_problem;
        if (!failed) {
            EXPECT_EQ(count, 1667u);
            return false;
        }
        expect_tree(doc);
        if (oom != JX_NONE) {
            jxtest::fail_at(1, true);
            const jx_problem *p = jx_doc_error(doc, oom);
            jxtest::disarm();
            EXPECT_TRUE(p && std::strcmp(p->message, "out of memory") == 0) << n;
        } else {  // the failure cost nothing visible (a shrink, the skip index)
            EXPECT_EQ(jx_doc_count(doc), nodes) << n;
            EXPECT_EQ(errorbar(doc), "1,667 lines could not be read (first: line 2).") << n;
        }
        for (uint32_t i = 0; i < count; i++) {
            const jx_problem *p = jx_doc_error(doc, i);
            EXPECT_TRUE(p && (i == oom || p->line == 3 * i + 2)) << n << " " << i;
        }
        return true;
    });

    // A record that could not be built for lack of memory is built by a later call.
    Doc doc(text);
    jxtest::fail_at(1, true);
    EXPECT_EQ(jx_doc_error(doc, 1500), nullptr);
    jxtest::disarm();
    ASSERT_NE(jx_doc_error(doc, 1500), nullptr);
    EXPECT_EQ(jx_doc_error(doc, 1500)->line, 4502u);
}

TEST(ParseThreads, ProblemBlocksFromSeveralThreads) {
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
