#include "error_bar.h"

#include "label.h"
#include "text_button.h"

#include <algorithm>

static constexpr int TONE = 16;

OVErrorBar::OVErrorBar(QWidget *parent)
    : OVBar(parent), m_label(new OVLabel(this)), m_next(new OVTextButton(QStringLiteral("Next problem"), TONE, this)),
      m_show(new OVTextButton(QStringLiteral("Show in text"), TONE, this)),
      m_close(new OVTextButton(QStringLiteral("\u2715"), TONE, this)) {
    setFill(17);
    setEdge(BottomEdge);
    m_label->setTone(TONE);
    m_close->setToolTip(QStringLiteral("Hide until the file is read again"));
    // The blocks are read when the click comes, so that they can be set after construction.
    m_next->action = [this] {
        if (onNextProblem) onNextProblem();
    };
    m_show->action = [this] {
        if (onShowInText) onShowInText();
    };
    m_close->action = [this] {
        if (onClose) onClose();
    };
    m_next->hide();
    m_show->hide();
    layOut();
}

void OVErrorBar::setText(const QString &text) {
    m_text = text;
    m_label->setText(QStringLiteral("\u26A0  ") + text);
}

void OVErrorBar::setShowsNextProblem(bool shows) {
    m_showsNextProblem = shows;
    m_next->setVisible(shows);
    layOut();
}

void OVErrorBar::setShowsShowInText(bool shows) {
    m_showsShowInText = shows;
    m_show->setVisible(shows);
    layOut();
}

void OVErrorBar::resizeEvent(QResizeEvent *) { layOut(); }

// Right to left: the close button, then whichever of the two problem buttons are offered; the
// message takes what is left.
void OVErrorBar::layOut() {
    const int h = height() - 1;
    int x = width() - 10;
    const int closeWidth = m_close->fittingWidth() + 6;
    x -= closeWidth;
    m_close->setGeometry(x, 0, closeWidth, h);
    for (auto [button, shown] : {std::pair{m_next, m_showsNextProblem}, std::pair{m_show, m_showsShowInText}}) {
        if (!shown) continue;
        x -= button->fittingWidth() + 14;
        button->setGeometry(x, 0, button->fittingWidth(), h);
    }
    m_label->setGeometry(12, 0, std::max(x - 24, 0), h);
}
