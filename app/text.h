// text.h: texts from the core's UTF-8 bytes, and printf-style formatting into a QString.
#ifndef OV_TEXT_H
#define OV_TEXT_H

#include <QString>

#include <cstdarg>
#include <cstddef>

// Text from UTF-8 bytes; each byte that starts no valid sequence reads as U+FFFD.
QString ov_string(const char *bytes, size_t length);
// ov_string over a zero-terminated string; null gives the empty text.
QString ov_cstring(const char *text);
// Text from a printf format, of any length; a formatting failure gives the empty text.
QString ov_format(const char *format, ...) __attribute__((format(printf, 1, 2)));
QString ov_vformat(const char *format, va_list args) __attribute__((format(printf, 1, 0)));

#endif
