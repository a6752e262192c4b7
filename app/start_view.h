// start_view.h: what the start window shows: the drop prompt, the Open and Open from Clipboard
// buttons, and the recent files, laid out around the window's middle. Files dropped on it open.
#ifndef OV_START_VIEW_H
#define OV_START_VIEW_H

#include "bar.h"

#include <QList>
#include <QStringList>

class QPushButton;
class OVDropOutline;
class OVLabel;
class OVRecentRow;

class OVStartView : public OVBar {
public:
    explicit OVStartView(QWidget *parent = nullptr);

    // One row per path, in order; the "Recent" title only with rows.
    void setRecent(const QStringList &paths);

    // The parts, for tests and the script runner.
    OVLabel *prompt() const { return drop; }
    QPushButton *openButton() const { return open; }
    QPushButton *clipboardButton() const { return clipboard; }
    OVLabel *recentTitle() const { return title; }
    const QList<OVRecentRow *> &recentRows() const { return rows; }
    OVDropOutline *outline() const { return dropOutline; }

protected:
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *) override;

private:
    void layoutContent();

    OVLabel *drop = nullptr;
    QPushButton *open = nullptr;
    QPushButton *clipboard = nullptr;
    OVLabel *title = nullptr;
    QList<OVRecentRow *> rows;
    OVDropOutline *dropOutline = nullptr;
};

#endif
