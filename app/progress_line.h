// progress_line.h: the thin line that fills from the left as a long read or parse goes on.
#ifndef OV_PROGRESS_LINE_H
#define OV_PROGRESS_LINE_H

#include <QWidget>

class OVProgressLine : public QWidget {
public:
    explicit OVProgressLine(QWidget *parent = nullptr);

    double fraction() const { return m_fraction; }
    // Clamped to 0 to 1 (anything not a number reads as 0).
    void setFraction(double fraction);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    double m_fraction = 0;
};

#endif
