#include "bar.h"

#include "theme.h"

#include <QPainter>

OVBar::OVBar(QWidget *parent) : QWidget(parent) { setAttribute(Qt::WA_OpaquePaintEvent); }

void OVBar::setFill(int role) {
    m_fill = role;
    update();
}

void OVBar::setEdge(int edge) {
    m_edge = edge;
    update();
}

void OVBar::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(rect(), OVTheme::color(m_fill));
    if (m_edge == TopEdge || m_edge == BottomEdge)
        p.fillRect(0, m_edge == TopEdge ? 0 : height() - 1, width(), 1, OVTheme::color(2));
}
