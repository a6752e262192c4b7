// split_view.h: the document window's split between the list and the inspector, with a divider
// one point thick in the separator colour.
//
// Only the list grows and shrinks with the window: the inspector keeps its width until the user
// drags the divider, and neither side collapses. Main thread only.
#ifndef OV_SPLIT_VIEW_H
#define OV_SPLIT_VIEW_H

#include <QSplitter>

class OVSplitView : public QSplitter {
public:
    static constexpr int HANDLE = 1;
    // The inspector's width range and the list's least width.
    static constexpr int MIN_SIDE = 200;
    static constexpr int MAX_INSPECTOR = 1200;

    explicit OVSplitView(QWidget *parent = nullptr);
    // The list first (it takes every change of size), then the inspector.
    void setPanes(QWidget *list, QWidget *inspector);
    // Shows or hides the inspector at width (clamped), the list taking the rest (at least
    // MIN_SIDE, the inspector giving way when the split is narrower).
    void showInspector(int width);
    void hideInspector();
    int inspectorWidth() const;
    int listWidth() const;

protected:
    QSplitterHandle *createHandle() override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void place();

    int m_width = MIN_SIDE; // the inspector's width as last shown or dragged
    QWidget *m_list = nullptr;
    QWidget *m_inspector = nullptr;
};

#endif
