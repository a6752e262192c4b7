// root_view.h: a document window's content: filled with the window colour, it holds the bars
// and the split, and takes the files dropped anywhere on them (its children take none).
#ifndef OV_ROOT_VIEW_H
#define OV_ROOT_VIEW_H

#include "bar.h"

#include <QPointer>

class OVDocWindow;
class OVDropOutline;

class OVRootView : public OVBar {
public:
    explicit OVRootView(OVDocWindow *owner);

    OVDocWindow *owner() const { return m_owner; }
    // Hidden but while files are dragged over the window; the owner places it.
    OVDropOutline *outline() const { return m_outline; }

protected:
    bool event(QEvent *event) override;

private:
    QPointer<OVDocWindow> m_owner;
    OVDropOutline *m_outline = nullptr;
};

#endif
