#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "chars_int.h"
#include "decode_int.h"
#include "line_int.h"

namespace {

std::string decoded(const std::string &s) {
    char buf[64];
    jx_cursor c = jx__cursor(buf, sizeof buf);
    jx__decode(&c, s.data(), s.size(), true);
    jx__cursor_end(&c);
    return std::string(buf, c.total);
}

/* The decoded text as a row line draws it: control characters as pictures. */
std::string pictured(const std::string &text) {
    std::string out;
    for (unsigned char b : text) {
        if (b >= 0x20 && b != 0x7F) {
            out.push_back(char(b));
            continue;
        }
        uint32_t cp = b == '\t' ? 0x21E5 : b == '\n' ? 0x23CE : b == 0x7F ? 0x2421 : 0x2400 + b;
        char enc[4];
        out.append(enc, jx__utf8_put(cp, enc));
    }
    return out;
}

std::string row_text(const std::string &s) {
    JxLine line;
    jx_line_init(&line);
    jx_piece pc = jx__piece(s.data(), uint32_t(s.size()), JX_STYLE_STRING);
    pc.decode = 1;
    jx__put_piece(&line, &pc, jx__count(&pc, UINT32_MAX));
    std::string out(line.text, line.len);
    jx_line_free(&line);
    return out;
}

/* Every escape and every broken byte pattern, as the texts between quotes. */
std::vector<std::string> cases() {
    std::vector<std::string> all;
    for (int b = 0; b < 256; b++) all.push_back(std::string("\\") + char(b) + "z");
    for (const char *u : {"\\u", "\\u0", "\\u00", "\\u004", "\\u0041", "\\u004G", "\\uD83D\\uDE00", "\\uD83D",
                          "\\uD83Dx", "\\uD83D\\u0041", "\\uDE00", "\\uDBFF\\uDFFF", "\\x", "\\x4", "\\x41",
                          "\\x4g", "\\xFF", "\\\r\n", "\\\xE2\x80\xA8", "\\\xE2\x80\xA9", "\\\xE2\x80", "\\",
                          "a\\", "\\\\"})
        all.push_back(u);
    for (int a = 0x80; a < 0x100; a++) {
        all.push_back(std::string(1, char(a)));
        for (int b = 0; b < 0x100; b += 0x10) all.push_back(std::string{char(a), char(b | (a & 1)), 'z'});
    }
    for (const char *s : {"\xE2\x82", "\xE2\x82\xAC", "\xED\xA0\x80", "\xF0\x9F\x98", "\xF0\x9F\x98\x80",
                          "\xF4\x90\x80\x80", "\xF0\x80\x80\x80", "\xE0\x80\x80", "\xC0\xAF"})
        all.push_back(s);
    return all;
}

TEST(Chars, RowLineReaderAndValueDecoderAgree) {
    for (const std::string &s : cases()) EXPECT_EQ(row_text(s), pictured(decoded(s))) << "input: " << s;
}

TEST(Chars, EscapesReadAsDocumented) {
    struct Case {
        const char *in, *out;
    } table[] = {
        {"\\b\\f\\n\\r\\t\\v\\0", "\b\f\n\r\t\v"},  // \0 last so that the literal ends before it
        {"\\x41\\u00e9\\uD83D\\uDE00", "A\xC3\xA9\xF0\x9F\x98\x80"},
        {"\\q\\'\\\"\\/", "q'\"/"},
        {"a\\\nb\\\r\nc\\\rd\\\xE2\x80\xA8" "e", "abcde"},
        {"\\uD83D-\\uDE00-\\u12", "\xEF\xBF\xBD-\xEF\xBF\xBD-\xEF\xBF\xBD" "12"},
        {"\\x4\\\xC3\xA9", "\xEF\xBF\xBD" "4\xC3\xA9"},
    };
    for (const Case &c : table) {
        std::string want(c.out);
        if (std::string(c.in).find("\\0") != std::string::npos) want.push_back('\0');
        EXPECT_EQ(decoded(c.in), want) << c.in;
        EXPECT_EQ(row_text(c.in), pictured(want)) << c.in;
    }
}

TEST(Chars, CountsAgreeWithTheDecoder) {
    for (const std::string &s : cases()) {
        if (s.find('\\') != std::string::npos) continue;
        auto p = reinterpret_cast<const unsigned char *>(s.data());
        std::string d = decoded(s);
        auto q = reinterpret_cast<const unsigned char *>(d.data());
        EXPECT_EQ(jx__count_chars(p, p + s.size(), p + s.size()), jx__count_chars(q, q + d.size(), q + d.size()))
            << s;
    }
    // A sequence that runs on past the stop is still one character.
    auto e = reinterpret_cast<const unsigned char *>("\xE2\x82\xAC");
    EXPECT_EQ(jx__count_chars(e, e + 1, e + 3), 1u);
    EXPECT_EQ(jx__count_chars(e, e + 1, e + 1), 1u);
    EXPECT_EQ(jx__count_chars(e, e + 2, e + 2), 2u);
}

}  // namespace
