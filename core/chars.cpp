#include "chars_int.h"

#include <cstring>

#include "doc_int.h"

uint64_t jx__count_chars(const unsigned char *p, const unsigned char *stop, const unsigned char *end) {
    uint64_t chars = 0;
    while (p < stop) {
        if (stop - p >= 8 && !(jx__load8(p) & 0x8080808080808080ull)) {
            p += 8;
            chars += 8;
            continue;
        }
        p += jx__char_len(p, end);
        ++chars;
    }
    return chars;
}

size_t jx__utf8_cut(const char *text, size_t n, size_t max) {
    if (n <= max) return n;
    /* The first byte left out may continue a sequence that began before the
     * cut; drop that whole sequence. Stray continuation bytes (more than
     * three back) belong to no sequence and are kept. */
    const auto *u = reinterpret_cast<const unsigned char *>(text);
    size_t s = max;
    for (int k = 0; k < 3 && s > 0 && jx__is_cont(u[s]); ++k) --s;
    if (s < max && u[s] >= 0xC0 && s + jx__char_len(u + s, u + n) > max) return s;
    return max;
}

size_t jx__copy_text(const char *text, size_t n, char *buf, size_t size) {
    if (!buf || size == 0) return n;
    const size_t cut = jx__utf8_cut(text, n, size - 1);
    if (cut) std::memcpy(buf, text, cut);
    buf[cut] = 0;
    return n;
}
