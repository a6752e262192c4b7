#include "screenshot.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstring>

// Windows and dialogs; not menus, tool tips or other transient pop-ups.
static bool is_capturable(const QWidget *widget) {
    const Qt::WindowType type = widget->windowType();
    return widget->isWindow() && (type == Qt::Window || type == Qt::Dialog);
}

static QWidget *any_visible_window() {
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (widget->isVisible() && is_capturable(widget))
            return widget;
    return nullptr;
}

namespace {

// A document window may replace the start window, and a window lays out and paints over a few
// event-loop turns after it shows: capture once no window has shown for this long.
constexpr int SETTLE_MS = 500;
// Nothing shown by then means the program is stuck or chose not to open a window.
constexpr int GIVE_UP_MS = 20000;

class OVScreenshot : public QObject {
public:
    explicit OVScreenshot(const QString &path) : QObject(qApp), path_(path) {
        settle_.setSingleShot(true);
        connect(&settle_, &QTimer::timeout, this, &OVScreenshot::capture);
        giveUp_.setSingleShot(true);
        connect(&giveUp_, &QTimer::timeout, this, &OVScreenshot::giveUp);
        giveUp_.start(GIVE_UP_MS);
        settle_.start(SETTLE_MS); // a window shown before arming counts too
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *object, QEvent *event) override {
        if (event->type() == QEvent::Show && object->isWidgetType()) {
            auto *widget = static_cast<QWidget *>(object);
            if (is_capturable(widget)) {
                window_ = widget;
                settle_.start(SETTLE_MS);
            }
        }
        return false;
    }

private:
    void capture() {
        QWidget *window = window_;
        if (!window || !window->isVisible())
            window = any_visible_window();
        if (!window) {
            settle_.start(SETTLE_MS); // none yet, or closed before it settled: wait
            return;
        }
        giveUp_.stop();
        QDir().mkpath(QFileInfo(path_).absolutePath());
        if (!window->grab().save(path_, "PNG")) {
            std::fprintf(stderr, "orvel: cannot write the screenshot '%s'\n", qPrintable(path_));
            QCoreApplication::exit(1);
            return;
        }
        QCoreApplication::exit(0);
    }

    void giveUp() {
        std::fprintf(stderr, "orvel: no window showed within %d seconds; no screenshot taken\n",
                     GIVE_UP_MS / 1000);
        QCoreApplication::exit(1);
    }

    QString path_;
    QPointer<QWidget> window_;
    QTimer settle_;
    QTimer giveUp_;
};

} // namespace

bool ov_screenshot_take_option(int &argc, char **argv, QString *path) {
    path->clear();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break; // what follows are file names
        if (std::strcmp(argv[i], "--screenshot") != 0)
            continue;
        if (i + 1 >= argc || argv[i + 1][0] == '\0') {
            std::fprintf(stderr, "orvel: --screenshot needs the PNG file to write\n");
            return false;
        }
        *path = QFile::decodeName(argv[i + 1]);
        for (int j = i; j + 2 <= argc; ++j)
            argv[j] = argv[j + 2]; // argv[argc] is the terminating null and moves along
        argc -= 2;
        --i;
    }
    return true;
}

void ov_screenshot_arm(const QString &path) {
    if (!path.isEmpty())
        new OVScreenshot(path); // owned by the application
}
