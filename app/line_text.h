// line_text.h: a styled line of the core (JxLine) as text Qt can draw.
//
// The core's lines are UTF-8 with runs addressed in bytes; Qt draws UTF-16. One OVLineText is
// kept per list and rebuilt for every row drawn, so drawing a row allocates nothing once the
// buffers have grown to the longest line seen. Main thread only, like the list.
#ifndef OV_LINE_TEXT_H
#define OV_LINE_TEXT_H

#include <QString>

#include <cstdint>
#include <vector>

struct JxLine;

class OVLineText {
public:
    // A stretch of the text in one colour: UTF-16 offsets, the colour role of the run's style
    // and the background role of its search hit (-1 for none).
    struct Span {
        int start;
        int length;
        int role;
        int hitRole;
    };

    // Rebuilds from line (null gives the empty text). Each well-formed UTF-8 character becomes
    // its code point (a surrogate pair from U+10000); each byte that starts none becomes one
    // U+FFFD. The spans cover the text in order: runs outside it, or that cover no whole
    // character, give none, and text no run covers is default text.
    void set(const JxLine *line);

    const QString &text() const { return m_text; }
    const std::vector<Span> &spans() const { return m_spans; }
    // The UTF-16 offset of the character holding byte (the text's length for byte >= len).
    int offsetOfByte(uint32_t byte) const;

private:
    QString m_text;
    std::vector<int> m_map; // byte offset -> UTF-16 offset of its character; one more for the end
    std::vector<Span> m_spans;
};

#endif
