// text_button.h: a button that is only its title, underlined while the pointer is over it.
#ifndef OV_TEXT_BUTTON_H
#define OV_TEXT_BUTTON_H

#include <QFont>
#include <QWidget>

#include <functional>

class OVTextButton : public QWidget {
public:
    OVTextButton(const QString &title, int tone, QWidget *parent = nullptr);

    QString title() const { return m_title; }
    int tone() const { return m_tone; }
    QFont textFont() const { return m_font; }
    bool hover() const { return m_hover; }
    // The title's width rounded up, plus 4 (2 points each side).
    int fittingWidth() const;

    // Runs on a mouse-up inside the button; the mouse-down does nothing.
    std::function<void()> action;

protected:
    void paintEvent(QPaintEvent *) override;
    void enterEvent(QEnterEvent *) override;
    void leaveEvent(QEvent *) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void setHover(bool hover);

    bool m_hover = false;
    QString m_title;
    int m_tone;
    QFont m_font;
};

#endif
