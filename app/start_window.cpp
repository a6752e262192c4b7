#include "start_window.h"

#include "application.h"
#include "menus.h"
#include "theme.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int MIN_WIDTH = 420;
constexpr int MIN_HEIGHT = 320;
} // namespace

static QLabel *makeLabel(const QString &text, int size, int role, QWidget *parent) {
    auto *label = new QLabel(text, parent);
    label->setFont(OVTheme::uiFont(size));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, OVTheme::color(role));
    label->setPalette(palette);
    return label;
}

// The button runs the same item as the menu, so that validation and routing are the menus'.
static QPushButton *makeButton(const QString &text, const QString &action, QWidget *window) {
    auto *button = new QPushButton(text, window);
    button->setObjectName(action + QStringLiteral("Button"));
    QObject::connect(button, &QPushButton::clicked, window, [window, action] {
        if (QAction *item = ov_find_action(window, action))
            item->trigger();
    });
    return button;
}

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

    auto *drop = makeLabel(QStringLiteral("Drop a JSON file here"), 24, 5, this);
    drop->setAlignment(Qt::AlignCenter);
    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(12);
    buttons->addStretch();
    buttons->addWidget(makeButton(QStringLiteral("Open…"), QStringLiteral("openDocument"), this));
    buttons->addWidget(makeButton(QStringLiteral("Open from Clipboard"), QStringLiteral("ovOpenClipboard"), this));
    buttons->addStretch();
    recentTitle = makeLabel(QStringLiteral("Recent"), 11, 6, this);
    rows = new QVBoxLayout;
    rows->setSpacing(0);

    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(drop);
    layout->addSpacing(18);
    layout->addLayout(buttons);
    layout->addSpacing(34);
    layout->addWidget(recentTitle, 0, Qt::AlignHCenter);
    layout->addLayout(rows);
    layout->addStretch();
}

void OVStartWindow::reload() {
    while (QLayoutItem *item = rows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QStringList paths = OVAppDelegate::shared()->recentPaths();
    const QString home = QDir::homePath();
    for (const QString &path : paths) {
        QString folder = QFileInfo(path).path();
        if (folder == home || folder.startsWith(home + QLatin1Char('/')))
            folder = QLatin1Char('~') + folder.mid(home.size());
        auto *row = new QPushButton(QFileInfo(path).fileName() + QStringLiteral("   ") + folder, this);
        row->setFlat(true);
        row->setToolTip(path);
        row->setCursor(Qt::PointingHandCursor);
        connect(row, &QPushButton::clicked, this, [path] { OVAppDelegate::shared()->openPath(path); });
        rows->addWidget(row, 0, Qt::AlignHCenter);
    }
    recentTitle->setVisible(!paths.isEmpty());
}

void OVStartWindow::closeQuietly() {
    quiet = true;
    close();
}

void OVStartWindow::closeEvent(QCloseEvent *event) {
    event->accept();
    if (!quiet)
        OVAppDelegate::shared()->startWindowClosed(this);
    deleteLater();
}
