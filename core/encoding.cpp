#include "encoding_int.h"

#include <cstring>

#include "chars_int.h"
#include "progress_int.h"

uint64_t jx__utf16(const unsigned char *in, uint64_t length, bool be, char *out,
                   const jx_progress *progress) {
    auto unit = [&](uint64_t i) -> uint32_t {
        return be ? (uint32_t(in[i]) << 8 | in[i + 1]) : (uint32_t(in[i + 1]) << 8 | in[i]);
    };
    auto put = [&](uint64_t &n, const char *bytes, int k) {
        if (out) std::memcpy(out + n, bytes, size_t(k));
        n += uint64_t(k);
    };
    uint64_t i = 0, n = 0, next_poll = JX_PROGRESS_STEP;
    while (i + 1 < length) {
        if (i >= next_poll) {
            if (jx__cancel_requested(progress)) return UINT64_MAX;
            next_poll += JX_PROGRESS_STEP;
        }
        if (i + 8 <= length) {
            uint64_t w = jx__load8(in + i);
            uint64_t high = be ? 0x00FF00FF00FF00FFull : 0xFF00FF00FF00FF00ull;
            if (!(w & (high | 0x8080808080808080ull))) {
                char four[4];
                for (int k = 0; k < 4; k++) four[k] = char(in[i + 2 * k + (be ? 1 : 0)]);
                put(n, four, 4);
                i += 8;
                continue;
            }
        }
        uint32_t u = unit(i);
        i += 2;
        uint32_t cp = u;
        if (u >= 0xD800 && u <= 0xDFFF) {
            cp = JX_REPLACEMENT;
            if (u <= 0xDBFF && i + 1 < length) {
                uint32_t lo = unit(i);
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    cp = 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00);
                    i += 2;
                }
            }
        }
        char buf[4];
        put(n, buf, int(jx__utf8_put(cp, buf)));
    }
    if (i < length) put(n, "\xEF\xBF\xBD", 3);
    return n;
}

int jx__decode_bom(JxDoc *d, const jx_progress *progress) {
    const unsigned char *b = reinterpret_cast<const unsigned char *>(d->buffer);
    if (d->size >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
        d->text += 3;
        d->size -= 3;
        d->encoding = "UTF-8 with BOM";
        return JX_OK;
    }
    if (d->size < 2 || !((b[0] == 0xFE && b[1] == 0xFF) || (b[0] == 0xFF && b[1] == 0xFE))) return JX_OK;
    bool be = b[0] == 0xFE;
    uint64_t n = jx__utf16(b + 2, d->size - 2, be, nullptr, progress);
    if (n == UINT64_MAX) return JX_CANCELLED;
    if (n > JX_MAX_SIZE) return JX_TOO_BIG;
    char *out = jx_buf_alloc(n);
    if (!out) return JX_NO_MEMORY;
    if (jx__utf16(b + 2, d->size - 2, be, out, progress) == UINT64_MAX) {
        jx_buf_free(out);
        return JX_CANCELLED;
    }
    jx_buf_free(d->buffer);
    d->buffer = out;
    d->text = out;
    d->size = uint32_t(n);
    d->encoding = be ? "UTF-16 BE" : "UTF-16 LE";
    return JX_OK;
}
