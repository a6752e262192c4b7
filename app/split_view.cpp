#include "split_view.h"

#include "theme.h"

#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

namespace {
constexpr int DIVIDER_ROLE = 2;

class Handle : public QSplitterHandle {
public:
    Handle(Qt::Orientation orientation, QSplitter *parent) : QSplitterHandle(orientation, parent) {}

protected:
    void paintEvent(QPaintEvent *) override {
        QPainter painter(this);
        painter.fillRect(rect(), OVTheme::color(DIVIDER_ROLE));
    }
};
} // namespace

OVSplitView::OVSplitView(QWidget *parent) : QSplitter(Qt::Horizontal, parent) {
    setObjectName(QStringLiteral("split"));
    setHandleWidth(HANDLE);
    setChildrenCollapsible(false);
    setOpaqueResize(true);
    connect(this, &QSplitter::splitterMoved, this, [this] { m_width = sizes().value(1); });
}

void OVSplitView::setPanes(QWidget *list, QWidget *inspector) {
    m_list = list;
    m_inspector = inspector;
    addWidget(list);
    addWidget(inspector);
    list->setMinimumWidth(MIN_SIDE);
    inspector->setMinimumWidth(MIN_SIDE);
    inspector->setMaximumWidth(MAX_INSPECTOR);
    setStretchFactor(0, 1);
    setStretchFactor(1, 0);
    inspector->hide();
}

QSplitterHandle *OVSplitView::createHandle() { return new Handle(orientation(), this); }

void OVSplitView::showInspector(int width) {
    m_width = std::clamp(width, MIN_SIDE, MAX_INSPECTOR);
    m_inspector->show();
    place();
}

// The inspector at its width, the list taking the rest but never less than its least width.
void OVSplitView::place() {
    const int list = std::max(width() - m_width - HANDLE, MIN_SIDE);
    setSizes({list, std::max(width() - list - HANDLE, 0)});
}

void OVSplitView::hideInspector() { m_inspector->hide(); }

int OVSplitView::inspectorWidth() const { return m_inspector->isHidden() ? 0 : sizes().value(1); }

int OVSplitView::listWidth() const { return m_inspector->isHidden() ? width() : sizes().value(0); }

// QSplitter spreads a change of size by stretch factors and minimum sizes, and a split shown
// before it had a size would squeeze the inspector to its least width: the inspector keeps the
// width it was shown or dragged at, whatever the split went through meanwhile.
void OVSplitView::resizeEvent(QResizeEvent *event) {
    QSplitter::resizeEvent(event);
    if (!m_inspector->isHidden())
        place();
}
