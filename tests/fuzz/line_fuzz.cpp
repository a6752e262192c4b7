// Builds the row line of every row of a document at several widths, with and
// without a search marking matches, and checks that every line is sound.
//
// Input: one byte of flags, one byte of query length, the query, the document.
// Flags: bit 0 strict JSON, bit 1 JSON Lines, bit 2 regular expression, bit 3
// match case, bits 4-5 scope (3 reads as all), bit 6 default expansion instead
// of every node expanded.
#include <algorithm>
#include <cstring>

#include "chars_int.h"
#include "jx.h"

namespace {

void check(bool ok) {
    if (!ok) __builtin_trap();
}

constexpr uint32_t WIDTHS[] = {0, 1, 2, 3, 4, 7, 16, 41, 200};
constexpr uint64_t MAX_ROWS = 3000;

// The text is valid UTF-8 ended by a zero byte, the runs cover it in order
// without gaps and start on characters, and it fits the width.
void check_line(const JxLine &l, uint32_t width, bool searched, uint32_t current) {
    check(l.text && l.text[l.len] == 0);
    const auto *t = reinterpret_cast<const unsigned char *>(l.text);
    for (const unsigned char *p = t; p < t + l.len;) {
        size_t n = *p < 0x80 ? 1 : jx__utf8_len(p, t + l.len);
        check(n != 0);
        p += n;
    }
    uint32_t at = 0;
    for (uint32_t i = 0; i < l.nruns; at += l.runs[i++].length) {
        const JxRun &r = l.runs[i];
        check(r.start == at && r.length > 0 && r.length <= l.len - at && (t[at] & 0xC0) != 0x80);
        check(r.style <= JX_STYLE_ERROR && r.hit <= JX_HIT_CURRENT);
        check(searched || r.hit == JX_HIT_NONE);
        if (r.hit) check((r.hit == JX_HIT_CURRENT) == (l.node == current));
    }
    check(at == l.len);
    check(jx_line_chars(&l) <= width);
    check(l.number == 0 && l.closing == 0 && l.chevron <= 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 || size > 65536) return 0;
    const uint8_t flags = data[0];
    const size_t qlen = std::min<size_t>(data[1], size - 2);
    const size_t dlen = size - 2 - qlen;

    char *buf = jx_buf_alloc(dlen);
    if (!buf) return 0;
    if (dlen) std::memcpy(buf, data + 2 + qlen, dlen);
    jx_parse_options po{uint8_t(flags & 1), uint8_t(flags >> 1 & 1)};
    JxDoc *doc = jx_parse(buf, dlen, &po, nullptr, nullptr);
    if (!doc) return 0;
    JxRows *rows = jx_rows_new(doc);
    if (flags & 0x40)
        jx_rows_default(rows);
    else
        jx_rows_expand_all(rows);

    JxSearchOptions o{};
    o.regex = flags >> 2 & 1;
    o.match_case = flags >> 3 & 1;
    o.scope = uint8_t(flags >> 4 & 3) % 3;  // 3 reads as 0, all
    JxSearch *s = jx_search_new(doc, reinterpret_cast<const char *>(data + 2), qlen, &o, nullptr, 0);
    if (s) jx_search_run(s, nullptr);
    const uint32_t current = s ? jx_search_hit(s, 0) : JX_NONE;

    JxLine line;
    jx_line_init(&line);
    const uint64_t n = jx_rows_count(rows);
    for (uint64_t row = 0; row < n && row < MAX_ROWS; row++) {
        for (uint32_t width : WIDTHS) {
            for (const JxSearch *with :
                 {static_cast<const JxSearch *>(nullptr), static_cast<const JxSearch *>(s)}) {
                jx_row_line(rows, row, width, with, current, &line);
                check(line.node == jx_rows_node(rows, row));
                check_line(line, width, with != nullptr, current);
                if (!s) break;
            }
        }
    }
    jx_row_line(rows, n, 80, s, current, &line);  // past the last row: an empty line
    check(line.len == 0 && line.nruns == 0 && line.node == JX_NONE);
    jx_line_free(&line);

    jx_search_free(s);
    jx_rows_free(rows);
    jx_doc_release(doc);
    return 0;
}
