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
    width = std::clamp(width, MIN_SIDE, MAX_INSPECTOR);
    const int list = std::max(this->width() - width - HANDLE, MIN_SIDE);
    m_inspector->show();
    setSizes({list, std::max(this->width() - list - HANDLE, 0)});
}

void OVSplitView::hideInspector() { m_inspector->hide(); }

int OVSplitView::inspectorWidth() const { return m_inspector->isHidden() ? 0 : sizes().value(1); }

int OVSplitView::listWidth() const { return m_inspector->isHidden() ? width() : sizes().value(0); }

// QSplitter spreads a change of size by stretch factor, but a hidden widget's stale size can
// leak into the sums: keep the inspector's width whole and give the list the rest.
void OVSplitView::resizeEvent(QResizeEvent *event) {
    const int keep = inspectorWidth();
    QSplitter::resizeEvent(event);
    if (keep && event->oldSize().width() > 0) {
        const int list = std::max(width() - keep - HANDLE, MIN_SIDE);
        setSizes({list, std::max(width() - list - HANDLE, 0)});
    }
}
