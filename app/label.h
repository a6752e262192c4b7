// label.h: a one-line text in a colour role, drawn the way every bar draws its text.
#ifndef OV_LABEL_H
#define OV_LABEL_H

#include <QFont>
#include <QWidget>

class QPainter;

class OVLabel : public QWidget {
public:
    enum Alignment { Left = 0, Centre = 1, Right = 2 };

    explicit OVLabel(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    // Redraws only when the text changed.
    void setText(const QString &text);
    int tone() const { return m_tone; }
    void setTone(int role);
    QFont font() const { return m_font; }
    void setFont(const QFont &font);
    int alignment() const { return m_alignment; }
    void setAlignment(int alignment);
    // The text's width in the label's font, rounded up.
    int textWidth() const;

    // ceil(ascent + descent + leading): the height of the one line every bar text sits in.
    static int lineHeight(const QFont &font);
    // Draws text on one line in box with the bars' rules: the line centred vertically (rounded
    // down), "…" at the end when it does not fit, aligned as asked (0 left, 1 centre, 2 right).
    static void drawLine(QPainter &painter, const QRect &box, const QString &text, const QFont &font, int alignment);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QString m_text;
    int m_tone = 4;
    QFont m_font;
    int m_alignment = Left;
};

#endif
