// Dropping files on the start window and on document windows: what counts as a file, the outline
// while a drag hovers, and what opens. Drags go through each window's own event routing, which
// picks the widget under the pointer, as the desktop's drags do.
#include "delegate_fixture.h"
#include "drop_outline.h"
#include "root_view.h"
#include "start_view.h"
#include "status_bar.h"
#include "theme.h"

#include <QDir>
#include <QMimeData>
#include <QPushButton>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QUrl>

namespace {
constexpr Qt::DropActions OFFERED = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

QMimeData *urls(const QList<QUrl> &list) {
    auto *data = new QMimeData;
    data->setUrls(list);
    return data;
}
}  // namespace

class DropTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<OVAppDelegate> delegate;

    QString writeFile(const QString &name, const QByteArray &text = "{\"a\": 1}") {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return file.fileName();
    }
    // A drag entering window at pos (window coordinates); answers whether it was offered a copy.
    static bool enter(QWidget *window, QPoint pos, const QMimeData *data) {
        QDragEnterEvent event(pos, OFFERED, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window->windowHandle(), &event);
        QDragMoveEvent move(pos + QPoint(1, 1), OFFERED, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window->windowHandle(), &move);
        return event.isAccepted() && event.dropAction() == Qt::CopyAction && move.isAccepted() &&
               move.dropAction() == Qt::CopyAction;
    }
    static bool drop(QWidget *window, QPoint pos, const QMimeData *data) {
        QDropEvent event(pos, OFFERED, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window->windowHandle(), &event);
        return event.isAccepted();
    }
    static void leave(QWidget *window) {
        QDragLeaveEvent event;
        QCoreApplication::sendEvent(window->windowHandle(), &event);
    }
    OVStartView *startView() {
        delegate->showStartWindow();
        return static_cast<OVStartWindow *>(delegate->startWindow())->startView();
    }
    QStringList windowPaths() const {
        QStringList paths;
        for (OVDocWindow *window : delegate->windows()) paths.append(window->path());
        return paths;
    }

private slots:
    void init() {
        delegate = std::make_unique<OVAppDelegate>();
        delegate->applicationWillFinishLaunching();
    }
    void cleanup() {
        closeEverything(*delegate);
        delegate.reset();
    }

    void draggedFiles_data() {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QStringList>("files");
        const QString host = QSysInfo::machineHostName();
        QTest::newRow("files in order, any extension")
            << QList<QUrl>{QUrl::fromLocalFile("/tmp/b.json"), QUrl::fromLocalFile("/tmp/a.txt"),
                           QUrl::fromLocalFile("/tmp/noext")}
            << QStringList{"/tmp/b.json", "/tmp/a.txt", "/tmp/noext"};
        QTest::newRow("web addresses are no files")
            << QList<QUrl>{QUrl("https://example.com/a.json"), QUrl::fromLocalFile("/tmp/c.json"),
                           QUrl("ftp://h/x.json")}
            << QStringList{"/tmp/c.json"};
        QTest::newRow("escaped characters")
            << QList<QUrl>{QUrl("file:///tmp/a%20b%23c.json")} << QStringList{"/tmp/a b#c.json"};
        QTest::newRow("localhost") << QList<QUrl>{QUrl("file://localhost/tmp/d.json")}
                                   << QStringList{"/tmp/d.json"};
        if (!host.isEmpty())
            QTest::newRow("this machine")
                << QList<QUrl>{QUrl("file://" + host + "/tmp/e.json")} << QStringList{"/tmp/e.json"};
        // Another machine's /etc/x is not this machine's /etc/x, nor "//server/etc/x" read locally.
        QTest::newRow("another host")
            << QList<QUrl>{QUrl("file://fileserver.example/etc/passwd")} << QStringList{};
        QTest::newRow("a relative file URL") << QList<QUrl>{QUrl("file:a.json")} << QStringList{};
        QTest::newRow("nothing") << QList<QUrl>{} << QStringList{};
    }
    void draggedFiles() {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QStringList, files);
        QMimeData data;
        data.setUrls(urls);
        QCOMPARE(ov_dragged_files(&data), files);
    }

    void onlyFilesAreTaken_data() {
        QTest::addColumn<bool>("docWindow");
        QTest::newRow("start window") << false;
        QTest::newRow("document window") << true;
    }
    void onlyFilesAreTaken() {
        QFETCH(bool, docWindow);
        QWidget *window = docWindow ? static_cast<QWidget *>(delegate->openPath(writeFile("open.json")))
                                    : startView()->window();
        OVDropOutline *outline = docWindow ? static_cast<OVDocWindow *>(window)->rootView()->outline()
                                           : static_cast<OVStartWindow *>(window)->startView()->outline();
        const QPoint middle = window->rect().center();

        QMimeData text;
        text.setText(QStringLiteral("{\"a\": 1}"));
        std::unique_ptr<QMimeData> web(urls({QUrl("https://example.com/data.json")}));
        for (const QMimeData *data :
             {static_cast<const QMimeData *>(&text), static_cast<const QMimeData *>(web.get())}) {
            QVERIFY(!enter(window, middle, data));
            QVERIFY(!outline->isVisible());
            QVERIFY(!drop(window, middle, data));
            leave(window);
        }
        QCOMPARE(delegate->windows().size(), docWindow ? 1 : 0);

        // A drag with a file shows the outline until it leaves.
        std::unique_ptr<QMimeData> file(urls({QUrl::fromLocalFile(writeFile("dragged.json"))}));
        QVERIFY(enter(window, middle, file.get()));
        QVERIFY(outline->isVisible());
        leave(window);
        QVERIFY(!outline->isVisible());
        QCOMPARE(delegate->windows().size(), docWindow ? 1 : 0);
    }

    void droppingOnTheStartWindow() {
        const QStringList files = {writeFile("one.json"), writeFile("two.json", "[1]"),
                                   writeFile("three.txt", "3")};
        OVStartView *view = startView();
        QWidget *window = view->window();
        std::unique_ptr<QMimeData> data(
            urls({QUrl::fromLocalFile(files[0]), QUrl("https://example.com/x.json"),
                  QUrl::fromLocalFile(files[1]), QUrl::fromLocalFile(files[2])}));
        // Over a button: the buttons take no drops, the view under them does.
        const QPoint over = view->openButton()->geometry().center();
        QVERIFY(enter(window, over, data.get()));
        QVERIFY(view->outline()->isVisible());
        QVERIFY(drop(window, over, data.get()));
        QVERIFY(!view->outline()->isVisible());
        QCOMPARE(windowPaths(), files);
        QVERIFY(!delegate->startWindow());
    }

    void droppingOnADocumentWindow() {
        const QString open = writeFile("open.json"), other = writeFile("other.json", "[]");
        OVDocWindow *window = delegate->openPath(open);
        QTRY_VERIFY(!window->busy());
        // The outline covers what lies between the bars.
        const QRect root = window->rootView()->rect();
        QCOMPARE(window->rootView()->outline()->geometry(),
                 QRect(0, 36, root.width(), root.height() - 36 - 22));
        // Over the status bar: its labels take no drops, the root under them does. An open file
        // comes forward, a new one opens beside it.
        const QPoint over = window->statusLine()->mapTo(window, QPoint(10, 10));
        std::unique_ptr<QMimeData> data(urls({QUrl::fromLocalFile(other), QUrl::fromLocalFile(open)}));
        QVERIFY(enter(window, over, data.get()));
        QVERIFY(window->rootView()->outline()->isVisible());
        QVERIFY(drop(window, over, data.get()));
        QVERIFY(!window->rootView()->outline()->isVisible());
        QCOMPARE(windowPaths(), (QStringList{open, other}));
        QVERIFY(logText().contains(QStringLiteral("focus ") + open + QLatin1Char('\n')));
    }

    // Widgets that take drops themselves (text fields, text views) would paste a file's URL as
    // text: only the views that open files may take them.
    void noOtherWidgetTakesDrops() {
        OVDocWindow *window = delegate->openPath(writeFile("w.json"));
        QWidget *start = startView()->window();
        for (QWidget *top : {static_cast<QWidget *>(window), start})
            for (QWidget *child : top->findChildren<QWidget *>())
                if (child->acceptDrops())
                    QVERIFY2(dynamic_cast<OVRootView *>(child) || dynamic_cast<OVStartView *>(child),
                             qPrintable(child->metaObject()->className() + QStringLiteral(" ") +
                                        child->objectName()));
    }

    void screenshots() {
        QDir().mkpath(QStringLiteral(ORVEL_SCREENS));
        const QString path = writeFile("shot.json", "{\"name\": \"Orvel\", \"sizes\": [1, 2, 3]}");
        std::unique_ptr<QMimeData> data(urls({QUrl::fromLocalFile(path)}));
        for (int theme : {2, 1}) {
            OVTheme::applyTheme(theme);
            JxSettings &values = OVSettings::shared()->values();
            values.win_x = 0, values.win_y = 0, values.win_w = 720, values.win_h = 400;
            OVDocWindow *window = delegate->openPath(path);
            QTRY_VERIFY(!window->busy());
            QVERIFY(enter(window, window->rect().center(), data.get()));
            QVERIFY(window->grab().save(QStringLiteral(ORVEL_SCREENS "/linux-start-docdrop-") +
                                        (theme == 1 ? QStringLiteral("dark") : QStringLiteral("light")) +
                                        QStringLiteral(".png")));
            leave(window);
            closeEverything(*delegate);
        }
        OVTheme::applyTheme(0);
    }
};

QTEST_MAIN(DropTest)
#include "drop_test.moc"
