#include "label.h"

#include "theme.h"

#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

OVLabel::OVLabel(QWidget *parent) : QWidget(parent), m_font(OVTheme::uiFont(12)) {
    // Bar texts are never the target of a click: the bar or the button under them is.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void OVLabel::setText(const QString &text) {
    if (text == m_text) return;
    m_text = text;
    update();
}

void OVLabel::setTone(int role) {
    m_tone = role;
    update();
}

void OVLabel::setFont(const QFont &font) {
    m_font = font;
    update();
}

void OVLabel::setAlignment(int alignment) {
    m_alignment = alignment;
    update();
}

int OVLabel::textWidth() const { return int(std::ceil(QFontMetricsF(m_font).horizontalAdvance(m_text))); }

int OVLabel::lineHeight(const QFont &font) {
    QFontMetricsF m(font);
    return int(std::ceil(m.ascent() + m.descent() + m.leading()));
}

void OVLabel::drawLine(QPainter &painter, const QRect &box, const QString &text, const QFont &font, int alignment) {
    if (text.isEmpty() || box.width() <= 0) return;
    const int line = lineHeight(font);
    const QRect row(box.left(), box.top() + int(std::floor((box.height() - line) / 2.0)), box.width(), line);
    const QString shown = QFontMetricsF(font).elidedText(text, Qt::ElideRight, row.width());
    const Qt::Alignment h = alignment == Centre ? Qt::AlignHCenter : alignment == Right ? Qt::AlignRight : Qt::AlignLeft;
    painter.setFont(font);
    painter.drawText(row, int(h | Qt::AlignVCenter | Qt::TextSingleLine), shown);
}

void OVLabel::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setPen(OVTheme::color(m_tone));
    drawLine(p, rect(), m_text, m_font, m_alignment);
}
