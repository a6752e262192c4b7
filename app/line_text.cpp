#include "line_text.h"

#include "theme.h"

#include <chars_int.h>

#include <jx/line.h>

#include <algorithm>

#include <algorithm>

void OVLineText::set(const JxLine *line) {
    m_spans.clear();
    const uint32_t len = line && line->text ? line->len : 0;
    m_map.resize(size_t(len) + 1);
    // At most one UTF-16 unit per byte: a pair comes from four bytes.
    m_text.resize(qsizetype(len));
    QChar *out = m_text.data();
    int n = 0;
    if (len) {
        const auto *begin = reinterpret_cast<const unsigned char *>(line->text);
        const auto *end = begin + len;
        for (const unsigned char *p = begin; p < end;) {
            const unsigned char *start = p;
            const char32_t cp = jx__utf8_read(&p, end);
            for (const unsigned char *b = start; b < p; b++) m_map[size_t(b - begin)] = n;
            if (QChar::requiresSurrogates(cp)) {
                out[n++] = QChar(QChar::highSurrogate(cp));
                out[n++] = QChar(QChar::lowSurrogate(cp));
            } else {
                out[n++] = QChar(char16_t(cp));
            }
        }
    }
    m_map[len] = n;
    m_text.truncate(n);
    // The spans cover the text in order; anything no run claims is default text.
    int at = 0;
    for (uint32_t i = 0; len && i < line->nruns; i++) {
        const JxRun &run = line->runs[i];
        if (run.start > len || run.length > len - run.start) continue;
        const int from = std::max(m_map[run.start], at), to = m_map[run.start + run.length];
        if (to <= from) continue;
        if (from > at) m_spans.push_back({at, from - at, OVTheme::DEFAULT_TEXT, -1});
        m_spans.push_back({from, to - from, OVTheme::toneOfStyle(run.style), OVTheme::hitRole(run.hit)});
        at = to;
    }
    if (at < n) m_spans.push_back({at, n - at, OVTheme::DEFAULT_TEXT, -1});
}

int OVLineText::offsetOfByte(uint32_t byte) const {
    if (m_map.empty()) return 0;
    return m_map[std::min<size_t>(byte, m_map.size() - 1)];
}
