// crumb_bar.h: the breadcrumbs of the selected node, from the root down, fitted into the bar's
// width from the selected node upwards; the crumbs that do not fit become one "…" at the left.
#ifndef OV_CRUMB_BAR_H
#define OV_CRUMB_BAR_H

#include <QFont>
#include <QList>
#include <QRect>
#include <QString>
#include <QWidget>

#include <cstdint>

class OVTopBarOwner;

class OVCrumbBar : public QWidget {
public:
    // The index of the "…" slot that stands for the crumbs left out: it is no crumb.
    static constexpr int64_t ELIDED = 0x7FFFFFFFFFFFFFFF;
    // A longer label shows its first 80 characters (as the user sees them) and "…".
    static constexpr int MAX_CHARS = 80;
    // No crumb is wider, so that one long key never pushes all its ancestors out.
    static constexpr int MAX_WIDTH = 260;
    // The selected crumb always shows, at least this wide, however narrow the bar.
    static constexpr int MIN_WIDTH = 20;

    // owner may be null (no crumbs); otherwise it must stay valid while the bar can call it.
    explicit OVCrumbBar(OVTopBarOwner *owner, QWidget *parent = nullptr);

    void setOwner(OVTopBarOwner *owner) { m_owner = owner; }

    // Asks the owner for the crumbs again and fits them into the current width; clears the hover.
    void reload();

    int slotCount() const { return int(m_index.size()); }
    // The crumb index of slot (ELIDED for the "…" slot), its shown text and its rectangle.
    int64_t slotIndex(int slot) const { return m_index.value(slot, -1); }
    QString slotText(int slot) const { return m_text.value(slot); }
    QRect slotRect(int slot) const { return m_rects.value(slot); }
    // The slot under x, or -1 over a separator, past the end or without slots.
    int slotAt(int x) const;

    // -1 for none. The "…" slot and the selected node's crumb never take the hover.
    int hoverSlot() const { return m_hover; }
    void setHoverSlot(int slot);
    // Tells the owner that the crumb in slot was pressed; nothing for "…" or a slot out of range.
    void clickCrumb(int slot);

    // The width of text in the crumb font, rounded up.
    int widthOf(const QString &text) const;
    // The application font at 12 pixels, taken at each reload so that a new application font shows.
    QFont crumbFont() const { return m_font; }

protected:
    void paintEvent(QPaintEvent *) override;
    void resizeEvent(QResizeEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *) override;

private:
    bool hoverable(int slot) const;
    void layOutSlots(const QList<int> &widths);

    QList<int64_t> m_index;
    QList<QString> m_text;
    QList<QRect> m_rects;
    int m_hover = -1;
    OVTopBarOwner *m_owner;
    QFont m_font;
};

#endif
