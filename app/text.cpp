#include "text.h"

#include <chars_int.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

static bool is_utf8(const unsigned char *p, const unsigned char *end) {
    while (p < end) {
        if (*p < 0x80) {
            p++;
            continue;
        }
        size_t n = jx__utf8_len(p, end);
        if (!n) return false;
        p += n;
    }
    return true;
}

QString ov_string(const char *bytes, size_t length) {
    if (!bytes || !length) return QString();
    const auto *p = reinterpret_cast<const unsigned char *>(bytes);
    const auto *end = p + length;
    if (is_utf8(p, end)) return QString::fromUtf8(bytes, qsizetype(length));
    // One character at a time, so that each byte that starts no character becomes one U+FFFD
    // and the text around it survives.
    QString text;
    text.reserve(qsizetype(length));
    while (p < end) {
        char32_t cp = jx__utf8_read(&p, end);
        if (QChar::requiresSurrogates(cp)) {
            text += QChar(QChar::highSurrogate(cp));
            text += QChar(QChar::lowSurrogate(cp));
        } else {
            text += QChar(char16_t(cp));
        }
    }
    return text;
}

QString ov_cstring(const char *text) { return text ? ov_string(text, std::strlen(text)) : QString(); }

QString ov_vformat(const char *format, va_list args) {
    // Most texts fit the stack buffer; longer ones are formatted again at their exact size.
    char small[512];
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(small, sizeof small, format, args);
    QString text;
    if (n >= 0 && size_t(n) < sizeof small) {
        text = ov_string(small, size_t(n));
    } else if (n >= 0) {
        std::unique_ptr<char[]> big(new (std::nothrow) char[size_t(n) + 1]);
        if (big && std::vsnprintf(big.get(), size_t(n) + 1, format, again) == n) text = ov_string(big.get(), size_t(n));
    }
    va_end(again);
    return text;
}

QString ov_format(const char *format, ...) {
    va_list args;
    va_start(args, format);
    QString text = ov_vformat(format, args);
    va_end(args);
    return text;
}
