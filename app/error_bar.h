// error_bar.h: the bar that reports the document's problems (or a missing file) with buttons to
// step to the next problem, show it in the text, or hide the bar.
#ifndef OV_ERROR_BAR_H
#define OV_ERROR_BAR_H

#include "bar.h"

#include <functional>

class OVLabel;
class OVTextButton;

class OVErrorBar : public OVBar {
public:
    explicit OVErrorBar(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    // Shows "⚠  " and the text.
    void setText(const QString &text);
    bool showsNextProblem() const { return m_showsNextProblem; }
    void setShowsNextProblem(bool shows);
    bool showsShowInText() const { return m_showsShowInText; }
    void setShowsShowInText(bool shows);

    OVLabel *label() const { return m_label; }
    OVTextButton *nextButton() const { return m_next; }
    OVTextButton *showButton() const { return m_show; }
    OVTextButton *closeButton() const { return m_close; }

    std::function<void()> onNextProblem;
    std::function<void()> onShowInText;
    std::function<void()> onClose;

protected:
    void resizeEvent(QResizeEvent *) override;

private:
    void layOut();

    OVLabel *m_label;
    OVTextButton *m_next;
    OVTextButton *m_show;
    OVTextButton *m_close;
    bool m_showsNextProblem = false;
    bool m_showsShowInText = false;
    QString m_text;
};

#endif
