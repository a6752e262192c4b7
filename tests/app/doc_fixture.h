// Documents for tests, parsed from text in memory.
#ifndef OV_DOC_FIXTURE_H
#define OV_DOC_FIXTURE_H

#include <QByteArray>

#include <cstring>

#include <jx/parse.h>

// A document parsed from text; the caller releases it.
inline JxDoc *parseText(const QByteArray &text) {
    char *buf = jx_buf_alloc(size_t(text.size()));
    memcpy(buf, text.constData(), size_t(text.size()));
    return jx_parse(buf, size_t(text.size()), nullptr, nullptr, nullptr);
}

#endif
