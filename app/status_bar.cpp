#include "status_bar.h"

#include "label.h"
#include "theme.h"

#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QTimer>

#include <algorithm>

static constexpr int TONE = 5;
static constexpr int FLASH_TONE = 4;

OVStatusBar::OVStatusBar(QWidget *parent)
    : OVBar(parent), m_leftLabel(new OVLabel(this)), m_rightLabel(new OVLabel(this)),
      m_opacity(new QGraphicsOpacityEffect(m_rightLabel)), m_fade(new QPropertyAnimation(m_opacity, "opacity", this)) {
    setFill(1);
    setEdge(TopEdge);
    for (OVLabel *label : {m_leftLabel, m_rightLabel}) {
        label->setTone(TONE);
        label->setFont(OVTheme::uiFont(11));
    }
    m_rightLabel->setAlignment(OVLabel::Right);
    m_opacity->setOpacity(1.0);
    m_rightLabel->setGraphicsEffect(m_opacity);
    m_fade->setDuration(FADE_MS);
    m_fade->setStartValue(1.0);
    m_fade->setEndValue(0.0);
    layOut();
}

double OVStatusBar::rightOpacity() const { return m_opacity->opacity(); }

void OVStatusBar::setLeft(const QString &text) {
    m_left = text;
    m_leftLabel->setText(text);
    layOut();
}

void OVStatusBar::setRight(const QString &text) {
    m_right = text;
    if (!m_flashing) m_rightLabel->setText(text);
}

void OVStatusBar::flash(const QString &text) {
    const uint64_t gen = ++m_flashGen;
    m_flashing = true;
    m_fade->stop();
    m_opacity->setOpacity(1.0);
    m_rightLabel->setTone(FLASH_TONE);
    m_rightLabel->setText(text);
    // A coarse timer may fire up to 5 % early; the flash is promised its full 2 seconds.
    QTimer::singleShot(FLASH_MS, Qt::PreciseTimer, this, [this, gen] { fade(gen); });
}

// Each step checks the generation: a newer flash owns the label from the moment it is shown.
void OVStatusBar::fade(uint64_t gen) {
    if (gen != m_flashGen) return;
    m_fade->disconnect(this);
    connect(m_fade, &QPropertyAnimation::finished, this, [this, gen] { endFlash(gen); });
    m_fade->start();
}

void OVStatusBar::endFlash(uint64_t gen) {
    if (gen != m_flashGen) return;
    m_flashing = false;
    m_rightLabel->setTone(TONE);
    m_rightLabel->setText(m_right);
    m_opacity->setOpacity(1.0);
}

void OVStatusBar::resizeEvent(QResizeEvent *) { layOut(); }

// The left text takes what it needs up to 62 % of the bar; the right text has the rest.
void OVStatusBar::layOut() {
    const int w = width(), h = height();
    const int leftWidth = std::min(m_leftLabel->textWidth() + 4, std::max(int(w * 0.62 - 10), 0));
    m_leftLabel->setGeometry(10, 1, leftWidth, h - 1);
    const int rightX = leftWidth + 26;
    m_rightLabel->setGeometry(rightX, 1, std::max(w - 10 - rightX, 0), h - 1);
}
