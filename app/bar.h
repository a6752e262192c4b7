// bar.h: an opaque strip filled with a colour role, with a 1-point edge line at its top or bottom.
#ifndef OV_BAR_H
#define OV_BAR_H

#include <QWidget>

class OVBar : public QWidget {
public:
    enum Edge { NoEdge = 0, TopEdge = 1, BottomEdge = 2 };

    explicit OVBar(QWidget *parent = nullptr);

    int fill() const { return m_fill; }
    void setFill(int role);
    int edge() const { return m_edge; }
    void setEdge(int edge);

protected:
    void paintEvent(QPaintEvent *) override;

private:
    int m_fill = 1;
    int m_edge = BottomEdge;
};

#endif
