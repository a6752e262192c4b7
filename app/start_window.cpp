#include "start_window.h"

#include "application.h"
#include "menus.h"
#include "start_view.h"
#include "theme.h"

#include <QCloseEvent>

OVStartWindow::OVStartWindow() {
    setObjectName(QStringLiteral("startWindow"));
    setWindowTitle(QStringLiteral("Orvel"));
    resize(WIDTH, HEIGHT);
    setMinimumSize(MIN_WIDTH, MIN_HEIGHT);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, OVTheme::color(0));
    setPalette(palette);
    ov_add_app_actions(this);
    view = new OVStartView(this);
    view->setGeometry(rect());
}

void OVStartWindow::reload() { view->setRecent(OVAppDelegate::shared()->recentPaths()); }

void OVStartWindow::resizeEvent(QResizeEvent *) { view->setGeometry(rect()); }

void OVStartWindow::closeQuietly() {
    quiet = true;
    close();
}

void OVStartWindow::closeEvent(QCloseEvent *event) {
    event->accept();
    if (!quiet) OVAppDelegate::shared()->startWindowClosed(this);
    deleteLater();
}
