#include "list_view.h"

#include "list_geometry.h"
#include "list_keys.h"
#include "list_model.h"
#include "theme.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>

#include <jx/keys.h>

namespace {
constexpr int INITIAL_WIDTH = 600;
constexpr int INITIAL_HEIGHT = 400;
// Above INT_MAX rows the bar runs from 0 to this and each of its steps stands for several rows.
constexpr int SCALED_BAR_MAX = 1 << 30;
constexpr int SELECTION_ROLE = 13;
constexpr int GUIDE_ROLE = 3;
constexpr int CHEVRON_ROLE = 5;
constexpr int FAINT_ROLE = 6;
constexpr int BACKGROUND_ROLE = 0;
constexpr double DEPTH_FONT_SCALE = 0.75;
constexpr int MIN_DEPTH_FONT = 8;
// The chevron triangle: its long side and how far its tip reaches from the box's centre.
constexpr double CHEVRON_HALF = 4.5;
constexpr double CHEVRON_BACK = 2.79;
constexpr double CHEVRON_TIP = 3.69;
constexpr double TEXT_WIDTH_SLACK = 2.2; // how much wider than its estimate a line may measure
constexpr double COLUMN_PAD = 16;
constexpr int AUTOSCROLL_MS = 40;
constexpr int WHEEL_NOTCH = 120;
} // namespace

static uint64_t now_ms() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Rows from the top edge to y, rounding towards minus infinity so that a point above the list
// is a row above the top one.
static int64_t rows_down(int y, int rowHeight) {
    return y >= 0 ? y / rowHeight : -((-int64_t(y) + rowHeight - 1) / rowHeight);
}

OVListView::OVListView(OVListModel *m, QWidget *parent) : QAbstractScrollArea(parent), model(m) {
    jx_line_init(&line);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    resize(INITIAL_WIDTH, INITIAL_HEIGHT);
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, this, &OVListView::barAction);
    // The bar's own wheel steps would be bar units, which are not rows once it is scaled.
    verticalScrollBar()->installEventFilter(this);
    dragTimer.setInterval(AUTOSCROLL_MS);
    connect(&dragTimer, &QTimer::timeout, this, &OVListView::autoscroll);
    fontChanged();
}

OVListView::~OVListView() { jx_line_free(&line); }

// ---- layout ----

void OVListView::fontChanged() {
    m_textWidth = 0;
    m_rowHeight = OVTheme::rowHeight();
    m_lineHeight = OVTheme::lineHeight();
    m_charWidth = OVTheme::charWidth();
    m_font = OVTheme::listFont();
    m_metrics = QFontMetricsF(m_font);
    depthFont = m_font;
    depthFont.setPixelSize(std::max(int(std::lround(OVTheme::fontSize() * DEPTH_FONT_SCALE)), MIN_DEPTH_FONT));
    depthMetrics = QFontMetricsF(depthFont);
    layoutMode();
    updateScrollBar();
    viewport()->update();
}

void OVListView::resetText() {
    m_textWidth = 0;
    m_textMode = false;
    layoutMode();
}

void OVListView::layoutMode() {
    m_textMode = model && model->mode() == JX_MODE_TEXT;
    rows = model ? model->count() : 0;
    m_gutter = m_textMode ? ov_gutter_width(rows, m_charWidth) : 0;
    setHorizontalScrollBarPolicy(m_textMode ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    updateColumnWidth();
}

void OVListView::reloadRows() {
    const bool text = model && model->mode() == JX_MODE_TEXT;
    const uint32_t n = model ? model->count() : 0;
    if (text != m_textMode || (text && n != rows)) layoutMode();
    updateScrollBar();
    viewport()->update();
}

void OVListView::resizeEvent(QResizeEvent *) {
    updateScrollBar();
    updateColumnWidth();
}

// Lines are never wrapped or cut in the Text view: the column grows to the widest line seen, and
// the list scrolls sideways to reach it.
void OVListView::noteTextWidth(double width) {
    if (width <= m_textWidth) return;
    m_textWidth = width;
    if (widthPending) return;
    // Never while painting: changing the bar's range can resize the viewport under the painter.
    widthPending = true;
    QMetaObject::invokeMethod(this, [this] { updateColumnWidth(); }, Qt::QueuedConnection);
}

void OVListView::updateColumnWidth() {
    widthPending = false;
    const int visible = viewport()->width();
    columnWidth = visible;
    if (m_textMode) columnWidth = std::max(visible, int(std::ceil(m_gutter + m_textWidth + COLUMN_PAD)));
    QScrollBar *bar = horizontalScrollBar();
    bar->setRange(0, columnWidth - visible);
    bar->setPageStep(std::max(visible, 1));
    bar->setSingleStep(std::max(int(std::lround(m_charWidth * 2)), 1));
    hOffset = bar->value();
    viewport()->update();
}

// ---- scrolling, in rows ----

uint32_t OVListView::maxTop() const {
    return ov_max_top(model ? model->count() : 0, viewport()->height(), m_rowHeight);
}

uint32_t OVListView::barValueOf(uint32_t row) const {
    const uint32_t last = maxTop();
    if (last <= uint32_t(INT_MAX)) return row;
    return uint32_t((uint64_t(row) * SCALED_BAR_MAX + last / 2) / last);
}

uint32_t OVListView::rowOfBarValue(int value) const {
    const uint32_t last = maxTop();
    const uint64_t v = uint64_t(std::max(value, 0));
    if (last <= uint32_t(INT_MAX)) return uint32_t(std::min<uint64_t>(v, last));
    if (v >= uint64_t(SCALED_BAR_MAX)) return last;
    return uint32_t((v * last + SCALED_BAR_MAX / 2) / SCALED_BAR_MAX);
}

void OVListView::updateScrollBar() {
    const uint32_t last = maxTop();
    top = std::min(top, last);
    const bool scaled = last > uint32_t(INT_MAX);
    const uint32_t full = ov_full_rows(viewport()->height(), m_rowHeight);
    QScrollBar *bar = verticalScrollBar();
    syncingBar = true;
    bar->setRange(0, scaled ? SCALED_BAR_MAX : int(last));
    // The page step sizes the knob: the share of the rows in sight.
    bar->setPageStep(scaled ? std::max(int(double(full) * SCALED_BAR_MAX / last), 1) : int(std::min<uint32_t>(full, INT_MAX)));
    bar->setSingleStep(1);
    bar->setValue(int(barValueOf(top)));
    syncingBar = false;
}

void OVListView::setTop(uint32_t row) {
    row = std::min(row, maxTop());
    if (row == top && verticalScrollBar()->value() == int(barValueOf(row))) return;
    top = row;
    syncingBar = true;
    verticalScrollBar()->setValue(int(barValueOf(top)));
    syncingBar = false;
    viewport()->update();
}

void OVListView::scrollByRows(int64_t delta) {
    setTop(uint32_t(std::clamp<int64_t>(int64_t(top) + delta, 0, maxTop())));
}

// Qt moves the bar, and so calls this, for drags of the knob and the bar's own steps; the rows
// follow the bar, and nothing is scrolled as pixels.
void OVListView::scrollContentsBy(int dx, int dy) {
    if (syncingBar) return;
    if (dy) top = rowOfBarValue(verticalScrollBar()->value());
    if (dx) hOffset = horizontalScrollBar()->value();
    viewport()->update();
}

// Arrow and trough clicks on the bar step by rows, whatever a bar unit stands for.
void OVListView::barAction(int action) {
    int64_t delta;
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: delta = 1; break;
    case QAbstractSlider::SliderSingleStepSub: delta = -1; break;
    case QAbstractSlider::SliderPageStepAdd: delta = pageRows(); break;
    case QAbstractSlider::SliderPageStepSub: delta = -int64_t(pageRows()); break;
    default: return;
    }
    scrollByRows(delta);
    // The action then sets the bar to this position, which is where the rows put it.
    verticalScrollBar()->setSliderPosition(verticalScrollBar()->value());
}

void OVListView::wheelEvent(QWheelEvent *event) {
    const QPoint angle = event->angleDelta();
    if (std::abs(angle.x()) > std::abs(angle.y())) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    wheelRest += angle.y() * QApplication::wheelScrollLines();
    const int notches = wheelRest / WHEEL_NOTCH;
    wheelRest -= notches * WHEEL_NOTCH;
    scrollByRows(-int64_t(notches));
    event->accept();
}

bool OVListView::eventFilter(QObject *watched, QEvent *event) {
    if (watched == verticalScrollBar() && event->type() == QEvent::Wheel) {
        auto *wheel = static_cast<QWheelEvent *>(event);
        if (std::abs(wheel->angleDelta().y()) >= std::abs(wheel->angleDelta().x())) {
            wheelEvent(wheel);
            return true;
        }
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

void OVListView::scrollRowToTop(uint32_t row) {
    if (model && row < model->count()) setTop(row);
}

void OVListView::revealRow(uint32_t row) {
    if (!model) return;
    setTop(ov_reveal_top(row, top, model->count(), viewport()->height(), m_rowHeight));
}

uint32_t OVListView::pageRows() const { return ov_page_rows(viewport()->height(), m_rowHeight); }

int OVListView::visibleWidth() const { return viewport()->width(); }

// ---- rows and their boxes ----

bool OVListView::rowIsSelected(uint32_t row) const {
    if (!model) return false;
    const uint32_t selected = model->selected();
    if (selected == NO_ROW) return false;
    if (!m_textMode) return row == selected;
    uint32_t anchor = model->anchor();
    if (anchor == NO_ROW) anchor = selected;
    return row >= std::min(anchor, selected) && row <= std::max(anchor, selected);
}

uint32_t OVListView::rowAt(const QPoint &point) const {
    if (!model || point.y() < 0) return NO_ROW;
    const uint64_t row = uint64_t(top) + uint64_t(point.y() / m_rowHeight);
    return row < model->count() ? uint32_t(row) : NO_ROW;
}

uint32_t OVListView::depthOfRow(uint32_t row) const {
    if (!model) return 0;
    model->line(row, 0, &line);
    return line.depth;
}

// The y of row's top edge in the viewport, kept within int for rows far out of sight.
static int row_y(uint32_t row, uint32_t top, int rowHeight) {
    return int(std::clamp<int64_t>((int64_t(row) - int64_t(top)) * rowHeight, INT_MIN / 2, INT_MAX / 2));
}

QRect OVListView::chevronRectOfRow(uint32_t row) const {
    if (m_textMode) return QRect();
    const OVRowGeometry g = ov_row_geometry(depthOfRow(row), true, visibleWidth(), m_charWidth);
    return QRect(int(g.chevronX), row_y(row, top, m_rowHeight), int(OV_INDENT), m_rowHeight);
}

QRect OVListView::textRectOfRow(uint32_t row) const {
    const double x = m_textMode ? m_gutter - hOffset : ov_row_geometry(depthOfRow(row), true, visibleWidth(), m_charWidth).textX;
    const int width = int(std::max(visibleWidth() - x - OV_MARGIN, 0.0));
    return QRect(int(x), row_y(row, top, m_rowHeight), width, m_rowHeight);
}

// ---- painting ----

void OVListView::paintEvent(QPaintEvent *event) {
    QPainter p(viewport());
    for (int role = 0; role < OVTheme::ROLES; role++) colors[role] = OVTheme::color(role);
    const QRect area = event->rect();
    p.fillRect(area, colors[BACKGROUND_ROLE]);
    const uint32_t n = model ? model->count() : 0;
    if (!n || area.bottom() < 0) return;
    // The selection once per paint: asking the view for each row would cost a lookup each.
    selFirst = selLast = NO_ROW;
    if (const uint32_t selected = model->selected(); selected != NO_ROW) {
        uint32_t anchor = m_textMode ? model->anchor() : NO_ROW;
        if (anchor == NO_ROW) anchor = selected;
        selFirst = std::min(anchor, selected);
        selLast = std::max(anchor, selected);
    }
    p.setFont(m_font);
    const int width = viewport()->width();
    const uint64_t first = uint64_t(top) + uint64_t(std::max(area.top(), 0) / m_rowHeight);
    const uint64_t end = std::min<uint64_t>(n, uint64_t(top) + uint64_t(area.bottom() / m_rowHeight) + 1);
    for (uint64_t row = first; row < end; row++) paintRow(p, uint32_t(row), int(row - top) * m_rowHeight, width);
}

void OVListView::paintRow(QPainter &p, uint32_t row, int y, int width) {
    if (selFirst != NO_ROW && row >= selFirst && row <= selLast) p.fillRect(0, y, width, m_rowHeight, colors[SELECTION_ROLE]);
    if (m_textMode)
        paintTextLine(p, row, y, width);
    else
        paintTreeRow(p, row, y, width);
    m_rowsPainted++;
}

void OVListView::paintTreeRow(QPainter &p, uint32_t row, int y, int width) {
    model->line(row, 0, &line);
    const uint32_t depth = line.depth;
    const OVRowGeometry g = ov_row_geometry(depth, true, width, m_charWidth);
    model->line(row, ov_row_chars(g.textX, width, m_charWidth), &line);
    if (model->indentGuides())
        for (uint32_t i = 0; i < g.levels; i++)
            p.fillRect(QRectF(std::floor(OV_INDENT * i + OV_INDENT), y, 1, m_rowHeight), colors[GUIDE_ROLE]);
    if (g.depthX >= 0) {
        const double box = std::ceil(depthMetrics.ascent() + depthMetrics.descent());
        const double baseline = y + std::floor((m_rowHeight - box) / 2) + depthMetrics.ascent();
        p.setFont(depthFont);
        p.setPen(colors[FAINT_ROLE]);
        p.drawText(QPointF(g.depthX, baseline), QString::number(depth));
        p.setFont(m_font);
    }
    if (line.chevron) paintChevron(p, g.chevronX + OV_INDENT / 2, y + std::floor(m_rowHeight / 2.0) + 0.5, line.chevron == 2);
    text.set(&line);
    drawText(p, g.textX, y + std::floor((m_rowHeight - m_lineHeight) / 2.0), width - OV_MARGIN);
}

void OVListView::paintChevron(QPainter &p, double cx, double cy, bool expanded) {
    QPointF corners[3];
    if (expanded) {
        corners[0] = {cx - CHEVRON_HALF, cy - CHEVRON_BACK};
        corners[1] = {cx + CHEVRON_HALF, cy - CHEVRON_BACK};
        corners[2] = {cx, cy + CHEVRON_TIP};
    } else {
        corners[0] = {cx - CHEVRON_BACK, cy - CHEVRON_HALF};
        corners[1] = {cx - CHEVRON_BACK, cy + CHEVRON_HALF};
        corners[2] = {cx + CHEVRON_TIP, cy};
    }
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(colors[CHEVRON_ROLE]);
    p.drawPolygon(corners, 3);
    p.restore();
}

void OVListView::paintTextLine(QPainter &p, uint32_t row, int y, int width) {
    model->line(row, TEXT_CHARS, &line);
    const double x = -hOffset;
    const double textTop = y + std::floor((m_rowHeight - m_lineHeight) / 2.0);
    if (line.number) {
        const QString number = QString::number(line.number);
        p.setPen(colors[FAINT_ROLE]);
        p.drawText(QPointF(x + m_gutter - OV_GUTTER_GAP - m_metrics.horizontalAdvance(number), textTop + m_metrics.ascent()), number);
    }
    text.set(&line);
    // The estimate is exact for most text; only a line that could widen the column is measured.
    double estimate = m_charWidth * jx_line_chars(&line);
    if (TEXT_WIDTH_SLACK * estimate > m_textWidth) estimate = std::max(estimate, m_metrics.horizontalAdvance(text.text()));
    noteTextWidth(estimate);
    drawText(p, x + m_gutter, textTop, -1, width);
}

// Draws the converted line from x, span by span in their colours and hit backgrounds. With a
// right edge (>= 0) the text is cut there with an ellipsis; spans past clipRight are not drawn.
void OVListView::drawText(QPainter &p, double x, double textTop, double right, double clipRight) {
    const QString &s = text.text();
    const double baseline = textTop + m_metrics.ascent();
    if (clipRight < 0) clipRight = right;
    for (const OVLineText::Span &span : text.spans()) {
        if (x >= clipRight) break;
        QString part = QString::fromRawData(s.constData() + span.start, span.length);
        double advance = m_metrics.horizontalAdvance(part);
        const bool cut = right >= 0 && x + advance > right;
        if (cut) {
            part = m_metrics.elidedText(part, Qt::ElideRight, std::max(right - x, 0.0));
            advance = m_metrics.horizontalAdvance(part);
        }
        if (x + advance > 0) { // a Text view line scrolled sideways starts out of sight
            if (span.hitRole >= 0) p.fillRect(QRectF(x, textTop, advance, m_lineHeight), colors[span.hitRole]);
            p.setPen(colors[span.role]);
            p.drawText(QPointF(x, baseline), part);
        }
        x += advance;
        if (cut) break;
    }
}

void OVListView::changeEvent(QEvent *event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::StyleChange) viewport()->update();
    QAbstractScrollArea::changeEvent(event);
}

// ---- keys ----

void OVListView::refresh() {
    if (onRefresh)
        onRefresh();
    else
        reloadRows();
}

void OVListView::keyPressEvent(QKeyEvent *event) {
    if (!model) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const uint64_t ms = now_ms();
    uint32_t key = 0, mods = 0;
    if (ov_key_of_event(event, &key, &mods)) {
        if (model->key(key, mods, pageRows())) {
            refresh();
            return;
        }
        if (const uint32_t command = jx_shortcut(key, mods)) {
            if (onCommand) onCommand(command);
            return;
        }
    }
    const std::vector<uint32_t> typed = ov_typed_characters(event);
    bool selected = false;
    for (uint32_t cp : typed) selected |= model->type(cp, ms);
    if (selected) refresh();
    if (!typed.empty()) return;
    if (event->key() == Qt::Key_Tab || event->key() == Qt::Key_Backtab) {
        focusNextPrevChild(event->key() == Qt::Key_Tab && !(event->modifiers() & Qt::ShiftModifier));
        return;
    }
    event->ignore();
}

// ---- mouse ----

void OVListView::press(QMouseEvent *event, bool again) {
    setFocus(Qt::MouseFocusReason);
    const QPoint point = event->position().toPoint();
    const uint32_t row = rowAt(point);
    if (row == NO_ROW) return;
    const bool onChevron = !m_textMode && chevronRectOfRow(row).contains(point);
    if (!again || onChevron)
        model->click(row, onChevron, ov_mods_of(event->modifiers()) & (JX_MOD_SHIFT | JX_MOD_OPTION));
    else
        model->doubleClick(row);
    dragRow = m_textMode ? row : NO_ROW;
    refresh();
}

void OVListView::mousePressEvent(QMouseEvent *event) {
    switch (event->button()) {
    case Qt::LeftButton: press(event, false); return;
    case Qt::BackButton:
        if (onCommand) onCommand(JX_CMD_BACK);
        return;
    case Qt::ForwardButton:
        if (onCommand) onCommand(JX_CMD_FORWARD);
        return;
    case Qt::RightButton: {
        // The row menu acts on the row under the pointer, so that row is selected first; a
        // Text view selection the pointer is in stays whole, so that its lines are what the
        // menu copies.
        setFocus(Qt::MouseFocusReason);
        const uint32_t row = rowAt(event->position().toPoint());
        if (row != NO_ROW && !(m_textMode && rowIsSelected(row))) {
            model->click(row, false, 0);
            refresh();
        }
        if (onContextMenu) onContextMenu(event->globalPosition().toPoint());
        return;
    }
    default: QAbstractScrollArea::mousePressEvent(event);
    }
}

void OVListView::mouseDoubleClickEvent(QMouseEvent *event) {
    if (event->button() == Qt::LeftButton)
        press(event, true);
    else
        mousePressEvent(event);
}

void OVListView::mouseMoveEvent(QMouseEvent *event) {
    if (!m_textMode || dragRow == NO_ROW || !(event->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    dragPoint = event->position().toPoint();
    const bool outside = dragPoint.y() < 0 || dragPoint.y() >= viewport()->height();
    if (outside && !dragTimer.isActive())
        dragTimer.start();
    else if (!outside)
        dragTimer.stop();
    dragTo(dragPoint);
}

void OVListView::mouseReleaseEvent(QMouseEvent *event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    dragRow = NO_ROW;
    dragTimer.stop();
}

// The row under point extends the Text view's selection; above the first row that is row 0 and
// below the last, the last.
void OVListView::dragTo(const QPoint &point) {
    const uint32_t n = model ? model->count() : 0;
    if (!n || dragRow == NO_ROW) return;
    const int64_t at = int64_t(top) + rows_down(point.y(), m_rowHeight);
    const uint32_t row = at < 0 ? 0 : at >= int64_t(n) ? n - 1 : uint32_t(at);
    if (row == dragRow) return;
    dragRow = row;
    model->click(row, false, JX_MOD_SHIFT);
    refresh();
}

// While a drag holds the pointer above or below the list, the list scrolls towards it, faster
// the further away it is.
void OVListView::autoscroll() {
    const int y = dragPoint.y(), height = viewport()->height();
    if (dragRow == NO_ROW || (y >= 0 && y < height)) {
        dragTimer.stop();
        return;
    }
    const int64_t beyond = y < 0 ? -int64_t(y) : int64_t(y) - height + 1;
    const int64_t step = 1 + beyond / m_rowHeight;
    scrollByRows(y < 0 ? -step : step);
    dragTo(dragPoint);
}

void OVListView::contextMenuEvent(QContextMenuEvent *event) {
    event->accept();
    // A mouse's menu was shown on the press; the menu key shows it by the selected row.
    if (event->reason() == QContextMenuEvent::Mouse || !onContextMenu) return;
    const uint32_t selected = model ? model->selected() : NO_ROW;
    QPoint at(int(OV_MARGIN), 0);
    if (selected != NO_ROW && selected >= top && selected - top < ov_full_rows(viewport()->height(), m_rowHeight))
        at.setY(int(selected - top + 1) * m_rowHeight);
    onContextMenu(viewport()->mapToGlobal(at));
}
