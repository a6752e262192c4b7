#include "crumb_bar.h"

#include "label.h"
#include "theme.h"
#include "top_bar_owner.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>

static const QString SEPARATOR = QStringLiteral(" > ");
static const QString ELLIPSIS = QStringLiteral("\u2026");

static constexpr int FONT_SIZE = 12;
static constexpr int TEXT_ROLE = 5;
static constexpr int STRONG_ROLE = 4; // the selected node's crumb and the hovered one
static constexpr int FAINT_ROLE = 6;  // the "…" slot and the separators

// Counted in graphemes, so that a cut never splits an accented letter, a flag or an emoji
// sequence, and 80 means what the user sees.
static QString cut_label(const QString &label) {
    if (label.size() <= OVCrumbBar::MAX_CHARS) return label;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, label);
    int count = 0;
    qsizetype end = 0;
    while (graphemes.toNextBoundary() != -1) {
        if (++count == OVCrumbBar::MAX_CHARS)
            end = graphemes.position();
        else if (count > OVCrumbBar::MAX_CHARS)
            return label.left(end) + ELLIPSIS;
    }
    return label;
}

OVCrumbBar::OVCrumbBar(OVTopBarOwner *owner, QWidget *parent)
    : QWidget(parent), m_owner(owner), m_font(OVTheme::uiFont(FONT_SIZE)) {
    setMouseTracking(true);
}

int OVCrumbBar::widthOf(const QString &text) const {
    return int(std::ceil(QFontMetricsF(m_font).horizontalAdvance(text)));
}

// Walks from the selected node towards the root and stops at the first crumb that no longer fits,
// keeping room for "… > " while crumbs remain above the ones placed.
void OVCrumbBar::reload() {
    m_font = OVTheme::uiFont(FONT_SIZE);
    m_index.clear();
    m_text.clear();
    m_hover = -1;
    unsetCursor();
    const uint32_t count = m_owner ? m_owner->crumbCount() : 0;
    const int bar = width(), sep = widthOf(SEPARATOR), mark = widthOf(ELLIPSIS);
    QList<int> widths;
    int used = 0;
    for (uint32_t i = count; i-- > 0;) {
        const QString label = cut_label(m_owner->crumbLabel(i));
        int w = std::min(widthOf(label), MAX_WIDTH);
        const int reserve = i > 0 ? sep + mark : 0;
        if (!widths.isEmpty() && used + sep + w + reserve > bar) break;
        if (widths.isEmpty() && reserve + w > bar) w = std::max(bar - reserve, MIN_WIDTH);
        used += w + (widths.isEmpty() ? 0 : sep);
        m_index.prepend(i);
        m_text.prepend(label);
        widths.prepend(w);
    }
    if (!m_index.isEmpty() && m_index.first() > 0) {
        m_index.prepend(ELIDED);
        m_text.prepend(ELLIPSIS);
        widths.prepend(mark);
    }
    layOutSlots(widths);
}

void OVCrumbBar::layOutSlots(const QList<int> &widths) {
    const int sep = widthOf(SEPARATOR);
    m_rects.clear();
    int x = 0;
    for (int w : widths) {
        m_rects.append(QRect(x, 0, w, height()));
        x += w + sep;
    }
    update();
}

int OVCrumbBar::slotAt(int x) const {
    for (int slot = 0; slot < m_rects.size(); slot++)
        if (x >= m_rects[slot].left() && x <= m_rects[slot].right()) return slot;
    return -1;
}

// The selected node's crumb is where the user already is: it is drawn strong but offers no link.
bool OVCrumbBar::hoverable(int slot) const {
    return slot >= 0 && slot < slotCount() - 1 && m_index[slot] != ELIDED;
}

void OVCrumbBar::setHoverSlot(int slot) {
    if (!hoverable(slot)) slot = -1;
    if (slot == m_hover) return;
    m_hover = slot;
    if (slot >= 0)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
    update();
}

void OVCrumbBar::clickCrumb(int slot) {
    if (slot < 0 || slot >= slotCount() || m_index[slot] == ELIDED || !m_owner) return;
    m_owner->crumbClicked(uint32_t(m_index[slot]));
}

void OVCrumbBar::paintEvent(QPaintEvent *) {
    QPainter p(this);
    const int last = slotCount() - 1, sep = widthOf(SEPARATOR);
    for (int slot = 0; slot <= last; slot++) {
        const QRect &r = m_rects[slot];
        const bool strong = slot == last || slot == m_hover;
        p.setPen(OVTheme::color(m_index[slot] == ELIDED ? FAINT_ROLE : strong ? STRONG_ROLE : TEXT_ROLE));
        QFont font = m_font;
        font.setUnderline(slot == m_hover);
        OVLabel::drawLine(p, r, m_text[slot], font, OVLabel::Left);
        if (slot == last) break;
        p.setPen(OVTheme::color(FAINT_ROLE));
        OVLabel::drawLine(p, QRect(r.right() + 1, 0, sep, height()), SEPARATOR, m_font, OVLabel::Left);
    }
}

void OVCrumbBar::resizeEvent(QResizeEvent *event) {
    if (event->size().width() != event->oldSize().width()) {
        reload();
        return;
    }
    QList<int> widths;
    for (const QRect &r : m_rects) widths.append(r.width());
    layOutSlots(widths);
}

void OVCrumbBar::mouseMoveEvent(QMouseEvent *event) { setHoverSlot(slotAt(event->position().toPoint().x())); }

void OVCrumbBar::mousePressEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton) clickCrumb(slotAt(event->position().toPoint().x()));
}

void OVCrumbBar::leaveEvent(QEvent *) { setHoverSlot(-1); }
