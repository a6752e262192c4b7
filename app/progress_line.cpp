#include "progress_line.h"

#include "theme.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

OVProgressLine::OVProgressLine(QWidget *parent) : QWidget(parent) {
    // It lies over the top bar's edge: clicks go to whatever is below.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void OVProgressLine::setFraction(double fraction) {
    m_fraction = fraction > 0 ? std::min(fraction, 1.0) : 0.0;
    update();
}

void OVProgressLine::paintEvent(QPaintEvent *) {
    QPainter p(this);
    p.fillRect(0, 0, int(std::floor(width() * m_fraction)), height(), OVTheme::color(7));
}
