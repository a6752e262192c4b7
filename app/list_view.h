// list_view.h: the document window's scrolling list of Tree view rows or Text view lines.
//
// The list knows nothing of JSON: it asks its model (list_model.h) for each visible row's styled
// line and paints it, and turns keys and clicks into the model's calls. Rows have one fixed height
// and the scroll position is a row, never a pixel offset: a list may hold 0xFFFFFFFF rows, far
// beyond what a pixel position in an int reaches, and above INT_MAX rows the scroll bar is scaled.
// Only the rows in sight are ever built or drawn. Main thread only.
#ifndef OV_LIST_VIEW_H
#define OV_LIST_VIEW_H

#include "line_text.h"
#include "theme.h"

#include <QAbstractScrollArea>
#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QTimer>

#include <cstdint>
#include <functional>

#include <jx/line.h>

class OVListModel;
class QPainter;

class OVListView : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr uint32_t NO_ROW = 0xFFFFFFFFu;
    // Text view lines are asked for this many characters and drawn whole.
    static constexpr uint32_t TEXT_CHARS = 2000;

    // The list shows model, which must outlive it (null shows nothing).
    explicit OVListView(OVListModel *model, QWidget *parent = nullptr);
    ~OVListView() override;

    // What the owner does for the list: redraw after the view changed (the owner reloads the
    // rows and reveals the selection), run a command the keyboard named (jx/keys.h), and show the
    // row menu at a global position.
    std::function<void()> onRefresh;
    std::function<void(uint32_t)> onCommand;
    std::function<void(const QPoint &)> onContextMenu;

    // The model's rows changed: lays out again for a new mode or row count, redraws the rows.
    void reloadRows();
    // The list font changed: new row height, the Text view's width measured again.
    void fontChanged();
    // The Text view model was replaced: its widths are measured from scratch.
    void resetText();

    uint32_t topRow() const { return top; }
    // Scrolls so that row is the first shown, or as near as the end of the list allows.
    void scrollRowToTop(uint32_t row);
    // Scrolls row into sight when it is not whole in sight (see ov_reveal_top).
    void revealRow(uint32_t row);
    // How far page keys move: one row fewer than fit.
    uint32_t pageRows() const;
    // The width tree rows are laid out in (the viewport's).
    int visibleWidth() const;
    bool rowIsSelected(uint32_t row) const;
    // The row at a viewport point, or NO_ROW past the rows.
    uint32_t rowAt(const QPoint &point) const;
    // The row's line depth, and its chevron and text boxes in viewport coordinates.
    uint32_t depthOfRow(uint32_t row) const;
    QRect chevronRectOfRow(uint32_t row) const;
    QRect textRectOfRow(uint32_t row) const;
    int rowHeight() const { return m_rowHeight; }
    bool textMode() const { return m_textMode; }
    double gutterWidth() const { return m_gutter; }
    double textWidthSoFar() const { return m_textWidth; }
    // Rows painted since the list was made: what the benchmarks wait for.
    uint64_t rowsPainted() const { return m_rowsPainted; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void layoutMode();
    void noteTextWidth(double width);
    void updateColumnWidth();
    void updateScrollBar();
    void setTop(uint32_t row);
    uint32_t maxTop() const;
    uint32_t barValueOf(uint32_t row) const;
    uint32_t rowOfBarValue(int value) const;
    void barAction(int action);
    void scrollByRows(int64_t delta);
    void press(QMouseEvent *event, bool again);
    void dragTo(const QPoint &point);
    void autoscroll();
    void refresh();
    void paintRow(QPainter &painter, uint32_t row, int y, int width);
    void paintTreeRow(QPainter &painter, uint32_t row, int y, int width);
    void paintTextLine(QPainter &painter, uint32_t row, int y, int width);
    void paintChevron(QPainter &painter, double cx, double cy, bool expanded);
    void drawText(QPainter &painter, double x, double textTop, double right, double clipRight = -1);

    OVListModel *model;
    mutable JxLine line; // one line reused for every row drawn and every geometry question
    OVLineText text;     // the line being drawn, as UTF-16
    QFont m_font;
    QFontMetricsF m_metrics{QFont()};
    QFont depthFont;
    QFontMetricsF depthMetrics{QFont()};
    QColor colors[OVTheme::ROLES]; // the palette of the paint under way
    uint32_t selFirst = NO_ROW, selLast = NO_ROW;
    int m_rowHeight = 0;
    int m_lineHeight = 0;
    double m_charWidth = 0;
    uint32_t top = 0;
    uint32_t rows = 0; // the count the Text view's gutter was laid out for
    bool m_textMode = false;
    double m_gutter = 0;
    double m_textWidth = 0;
    bool widthPending = false;
    int columnWidth = 0; // Text view: the width lines are laid out in, scrolled sideways
    int hOffset = 0;
    bool syncingBar = false;
    int wheelRest = 0; // wheel angle not yet worth a row
    uint32_t dragRow = NO_ROW;
    QPoint dragPoint;
    QTimer dragTimer;
    uint64_t m_rowsPainted = 0;
};

#endif
