#include "text_button.h"

#include "label.h"
#include "theme.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>

#include <cmath>

OVTextButton::OVTextButton(const QString &title, int tone, QWidget *parent)
    : QWidget(parent), m_title(title), m_tone(tone), m_font(OVTheme::uiFont(12)) {
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

int OVTextButton::fittingWidth() const { return int(std::ceil(QFontMetricsF(m_font).horizontalAdvance(m_title))) + 4; }

void OVTextButton::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.setPen(OVTheme::color(m_tone));
    QFont font = m_font;
    font.setUnderline(m_hover);
    OVLabel::drawLine(p, rect().adjusted(2, 0, 0, 0), m_title, font, OVLabel::Left);
}

void OVTextButton::setHover(bool hover) {
    if (hover == m_hover) return;
    m_hover = hover;
    update();
}

void OVTextButton::enterEvent(QEnterEvent *) { setHover(true); }

void OVTextButton::leaveEvent(QEvent *) { setHover(false); }

void OVTextButton::mousePressEvent(QMouseEvent *event) { event->accept(); }

void OVTextButton::mouseReleaseEvent(QMouseEvent *event) {
    event->accept();
    // A press that is dragged out of the button and released elsewhere is no click.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && action) action();
}
