// Checks shared by the fuzz targets that build styled lines (tree rows, the
// Text view) and texts for the caller.
#ifndef ORVEL_FUZZ_LINE_CHECK_H
#define ORVEL_FUZZ_LINE_CHECK_H

#include <cstddef>
#include <cstdint>

#include "chars_int.h"
#include "jx.h"

namespace fuzz {

inline void check(bool ok) {
    if (!ok) __builtin_trap();
}

inline bool valid_utf8(const char *s, size_t len) {
    const auto *p = reinterpret_cast<const unsigned char *>(s), *end = p + len;
    while (p < end) {
        const size_t n = *p < 0x80 ? 1 : jx__utf8_len(p, end);
        if (n == 0) return false;
        p += n;
    }
    return true;
}

// The text is valid UTF-8 ended by a zero byte, the runs cover it in order
// without gaps and start on characters, and it has at most max_chars
// characters. Hits appear only with a search; with one_node every token on
// the line belongs to the line's node, so the current hit is there or nowhere.
inline void check_line(const JxLine &l, uint64_t max_chars, bool searched, bool one_node, uint32_t current) {
    check(l.text && l.text[l.len] == 0 && valid_utf8(l.text, l.len));
    const auto *t = reinterpret_cast<const unsigned char *>(l.text);
    uint32_t at = 0;
    for (uint32_t i = 0; i < l.nruns; at += l.runs[i++].length) {
        const JxRun &r = l.runs[i];
        check(r.start == at && r.length > 0 && r.length <= l.len - at && !jx__is_cont(t[at]));
        check(r.style <= JX_STYLE_ERROR && r.hit <= JX_HIT_CURRENT);
        check(searched || r.hit == JX_HIT_NONE);
        if (r.hit && one_node) check((r.hit == JX_HIT_CURRENT) == (l.node == current));
    }
    check(at == l.len);
    check(jx_line_chars(&l) <= max_chars);
}

}  // namespace fuzz

#endif
