// Dropping files on the start window and on document windows: what counts as a file, the outline
// while a drag hovers, and what opens. Drags go through each window's own event routing, which
// picks the widget under the pointer, as the desktop's drags do.
#include "delegate_fixture.h"
#include "file_fixture.h"
#include "drop_outline.h"
#include "root_view.h"
#include "start_view.h"
#include "status_bar.h"

#include <QMimeData>
#include <QPushButton>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QUrl>

namespace {
constexpr Qt::DropActions OFFERED = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

std::unique_ptr<QMimeData> urls(const QList<QUrl> &list) {
    auto data = std::make_unique<QMimeData>();
    data->setUrls(list);
    return data;
}

// A drag entering window at pos (window coordinates) and moving on; whether copy was offered.
bool enter(QWidget *window, QPoint pos, const QMimeData *data) {
    QDragEnterEvent enter(pos, OFFERED, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->windowHandle(), &enter);
    QDragMoveEvent move(pos + QPoint(1, 1), OFFERED, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->windowHandle(), &move);
    return enter.isAccepted() && enter.dropAction() == Qt::CopyAction && move.isAccepted() &&
           move.dropAction() == Qt::CopyAction;
}

bool drop(QWidget *window, QPoint pos, const QMimeData *data) {
    QDropEvent event(pos, OFFERED, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->windowHandle(), &event);
    return event.isAccepted();
}

void leave(QWidget *window) {
    QDragLeaveEvent event;
    QCoreApplication::sendEvent(window->windowHandle(), &event);
}
}  // namespace

class DropTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<OVAppDelegate> delegate;

    QString writeFile(const QString &name) {
        const QString path = dir.filePath(name);
        return write_file(path, "{\"a\": 1}") ? path : QString();
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
            << QList<QUrl>{QUrl("https://example.com/a.json"), QUrl::fromLocalFile("/tmp/c.json")}
            << QStringList{"/tmp/c.json"};
        QTest::newRow("escaped characters")
            << QList<QUrl>{QUrl("file:///tmp/a%20b%23c.json")} << QStringList{"/tmp/a b#c.json"};
        // Read naively these become "//localhost/tmp/d.json", the local /localhost/tmp/d.json.
        QTest::newRow("localhost") << QList<QUrl>{QUrl("file://localhost/tmp/d.json")}
                                   << QStringList{"/tmp/d.json"};
        if (!host.isEmpty())
            QTest::newRow("this machine")
                << QList<QUrl>{QUrl("file://" + host + "/tmp/e.json")} << QStringList{"/tmp/e.json"};
        // Another machine's /etc/x is not this machine's /etc/x, nor its /server/etc/x.
        QTest::newRow("another host")
            << QList<QUrl>{QUrl("file://fileserver.example/etc/passwd")} << QStringList{};
        // Relative to what? Not to this process's folder.
        QTest::newRow("a relative file URL") << QList<QUrl>{QUrl("file:a.json")} << QStringList{};
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
        OVDocWindow *doc = docWindow ? delegate->openPath(writeFile("open.json")) : nullptr;
        QWidget *window = doc ? static_cast<QWidget *>(doc) : startView()->window();
        OVDropOutline *outline = doc ? doc->rootView()->outline() : startView()->outline();
        const QPoint middle = window->rect().center();
        QMimeData text;
        text.setText(QStringLiteral("{\"a\": 1}"));
        const std::unique_ptr<QMimeData> web = urls({QUrl("https://example.com/data.json")});
        for (const QMimeData *data : std::initializer_list<const QMimeData *>{&text, web.get()}) {
            QVERIFY(!enter(window, middle, data));
            QVERIFY(!outline->isVisible());
            QVERIFY(!drop(window, middle, data));
        }
        QCOMPARE(delegate->windows().size(), docWindow ? 1 : 0);
        // A drag with a file shows the outline until it leaves, and opens nothing.
        const std::unique_ptr<QMimeData> file = urls({QUrl::fromLocalFile(writeFile("dragged.json"))});
        QVERIFY(enter(window, middle, file.get()));
        QVERIFY(outline->isVisible());
        leave(window);
        QVERIFY(!outline->isVisible());
        QCOMPARE(delegate->windows().size(), docWindow ? 1 : 0);
    }

    // Over a button: the buttons take no drops, the view under them does. Every file opens, in
    // order, and the start window goes.
    void droppingOnTheStartWindow() {
        const QStringList files = {writeFile("one.json"), writeFile("two.json"), writeFile("three.txt")};
        OVStartView *view = startView();
        const std::unique_ptr<QMimeData> data =
            urls({QUrl::fromLocalFile(files[0]), QUrl("https://example.com/x.json"),
                  QUrl::fromLocalFile(files[1]), QUrl::fromLocalFile(files[2])});
        const QPoint over = view->openButton()->geometry().center();
        QVERIFY(enter(view->window(), over, data.get()));
        QVERIFY(view->outline()->isVisible());
        QVERIFY(drop(view->window(), over, data.get()));
        QVERIFY(!view->outline()->isVisible());
        QCOMPARE(windowPaths(), files);
        QVERIFY(!delegate->startWindow());
    }

    // Over the status bar: its labels take no drops, the root under them does. An open file comes
    // forward, a new one opens beside it.
    void droppingOnADocumentWindow() {
        const QString open = writeFile("open.json"), other = writeFile("other.json");
        OVDocWindow *window = delegate->openPath(open);
        QTRY_VERIFY(!window->busy());
        OVDropOutline *outline = window->rootView()->outline();
        const QRect root = window->rootView()->rect();
        QCOMPARE(outline->geometry(),
                 QRect(0, 36, root.width(), root.height() - 36 - 22));  // between the bars
        const QPoint over = window->statusLine()->mapTo(window, QPoint(10, 10));
        const std::unique_ptr<QMimeData> data = urls({QUrl::fromLocalFile(other), QUrl::fromLocalFile(open)});
        QVERIFY(enter(window, over, data.get()));
        QVERIFY(outline->isVisible());
        QVERIFY(drop(window, over, data.get()));
        QVERIFY(!outline->isVisible());
        QCOMPARE(windowPaths(), (QStringList{open, other}));
        QVERIFY(logText().contains(QStringLiteral("focus ") + open + QLatin1Char('\n')));
    }

    // Widgets that take drops themselves (text fields, text views) would paste a file's URL as
    // text: only the views that open files may take them.
    void noOtherWidgetTakesDrops() {
        OVDocWindow *window = delegate->openPath(writeFile("w.json"));
        for (QWidget *top : {static_cast<QWidget *>(window), startView()->window()})
            for (QWidget *child : top->findChildren<QWidget *>())
                if (child->acceptDrops())
                    QVERIFY2(dynamic_cast<OVRootView *>(child) || dynamic_cast<OVStartView *>(child),
                             child->metaObject()->className());
    }
};

QTEST_MAIN(DropTest)
#include "drop_test.moc"
