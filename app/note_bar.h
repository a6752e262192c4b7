// note_bar.h: a bar with one message, such as a search error.
#ifndef OV_NOTE_BAR_H
#define OV_NOTE_BAR_H

#include "bar.h"

class OVLabel;

class OVNoteBar : public OVBar {
public:
    explicit OVNoteBar(QWidget *parent = nullptr);

    QString text() const;
    void setText(const QString &text);
    OVLabel *label() const { return m_label; }

protected:
    void resizeEvent(QResizeEvent *) override;

private:
    OVLabel *m_label;
};

#endif
