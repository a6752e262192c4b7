#include "root_view.h"

#include "doc_window.h"
#include "drop_outline.h"

OVRootView::OVRootView(OVDocWindow *owner) : OVBar(owner), m_owner(owner) {
    setObjectName(QStringLiteral("rootView"));
    setFill(0);
    setEdge(NoEdge);
    setAcceptDrops(true);
    m_outline = new OVDropOutline(this);
}

bool OVRootView::event(QEvent *event) {
    const QPointer<OVDocWindow> owner = m_owner;
    const auto openFiles = [owner](const QStringList &files) {
        if (owner) owner->openDropped(files);
    };
    // Events arrive while the constructor still builds the outline.
    return (m_outline && m_outline->follow(event, openFiles)) || OVBar::event(event);
}
