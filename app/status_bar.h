// status_bar.h: the bar at the foot of a document window: the document's status on the left, the
// selection's text on the right, and short flash messages that take the right side for 2 seconds
// and then fade out.
#ifndef OV_STATUS_BAR_H
#define OV_STATUS_BAR_H

#include "bar.h"

#include <cstdint>

class OVLabel;
class QGraphicsOpacityEffect;
class QPropertyAnimation;

class OVStatusBar : public OVBar {
public:
    static constexpr int FLASH_MS = 2000;
    static constexpr int FADE_MS = 350;

    explicit OVStatusBar(QWidget *parent = nullptr);

    QString left() const { return m_left; }
    // Shown at once.
    void setLeft(const QString &text);
    QString right() const { return m_right; }
    // Kept, and shown unless a flash is on (then shown when the flash is over).
    void setRight(const QString &text);
    // Shows text on the right in the text colour; after 2 s it fades out over 0.35 s and the
    // right text comes back. A newer flash starts the cycle again.
    void flash(const QString &text);
    bool flashing() const { return m_flashing; }

    OVLabel *leftLabel() const { return m_leftLabel; }
    OVLabel *rightLabel() const { return m_rightLabel; }
    double rightOpacity() const;

protected:
    void resizeEvent(QResizeEvent *) override;

private:
    void layOut();
    void fade(uint64_t gen);
    void endFlash(uint64_t gen);

    OVLabel *m_leftLabel;
    OVLabel *m_rightLabel;
    QGraphicsOpacityEffect *m_opacity;
    QPropertyAnimation *m_fade;
    uint64_t m_flashGen = 0;
    bool m_flashing = false;
    QString m_left;
    QString m_right;
};

#endif
