#include "note_bar.h"

#include "label.h"

#include <algorithm>

OVNoteBar::OVNoteBar(QWidget *parent) : OVBar(parent), m_label(new OVLabel(this)) {
    setFill(1);
    setEdge(BottomEdge);
    m_label->setTone(16);
}

QString OVNoteBar::text() const { return m_label->text(); }

void OVNoteBar::setText(const QString &text) { m_label->setText(text); }

void OVNoteBar::resizeEvent(QResizeEvent *) { m_label->setGeometry(12, 0, std::max(width() - 24, 0), height()); }
