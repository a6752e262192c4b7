// Builds the row line of every row of a document at several widths, with and
// without a search marking matches, and checks that every line is sound.
//
// Input: one byte of flags, one byte of query length, the query, the document.
// Flags: bit 0 strict JSON, bit 1 JSON Lines, bit 2 regular expression, bit 3
// match case, bits 4-5 scope (3 reads as all), bit 6 default expansion instead
// of every node expanded.
#include <algorithm>
#include <cstring>

#include "jx.h"
#include "line_check.h"

namespace {

using fuzz::check;

constexpr uint32_t WIDTHS[] = {0, 1, 2, 3, 4, 7, 16, 41, 200};
constexpr uint64_t MAX_ROWS = 3000;

// Sound as every styled line is, within the width, and a row's own fields.
void check_line(const JxLine &l, uint32_t width, bool searched, uint32_t current) {
    fuzz::check_line(l, width, searched, true, current);
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
