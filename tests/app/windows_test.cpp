// Opening and focusing files, placing windows, and when the application quits.
#include "delegate_fixture.h"
#include "options.h"
#include "theme.h"

#include <QDir>
#include <QLabel>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>

class WindowsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<OVAppDelegate> delegate;

    QString writeFile(const QString &name, const QByteArray &text) {
        QFile file(dir.filePath(name));
        file.open(QIODevice::WriteOnly);
        file.write(text);
        return file.fileName();
    }
    static void setSavedFrame(int x, int y, int w, int h) {
        JxSettings &values = OVSettings::shared()->values();
        values.win_x = x, values.win_y = y, values.win_w = w, values.win_h = h;
    }
    static int step() { return QApplication::style()->pixelMetric(QStyle::PM_TitleBarHeight); }
    static QRect area() { return QGuiApplication::primaryScreen()->availableGeometry(); }
    static QRect centred(QSize size) {
        QRect frame(QPoint(0, 0), size);
        frame.moveCenter(area().center());
        return frame;
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

    void focusesAnOpenFile() {
        const QString path = writeFile(QStringLiteral("a.json"), "{\"a\": [1, 2]}");
        OVDocWindow *first = delegate->openPath(path);
        QTRY_VERIFY(!first->statusText().isEmpty());
        QCOMPARE(first->windowTitle(), QStringLiteral("a.json"));
        QCOMPARE(first->windowFilePath(), path);
        QVERIFY(QDir::setCurrent(dir.path()));
        QCOMPARE(delegate->openPath(QStringLiteral("./sub/../a.json")), first);
        QCOMPARE(delegate->openPath(path), first);
        QCOMPARE(delegate->windows().size(), 1);
        QCOMPARE(logText().count(QStringLiteral("focus ") + path + QLatin1Char('\n')), 2);
        QVERIFY(delegate->recentPaths().contains(path));
    }

    void cascadesFromTheSavedFrame() {
        // Windows of 320 by 250 cascade down until the next would cross the bottom edge, then
        // start again at the top.
        const int s = step();
        QVERIFY(s > 10);
        const int y = area().bottom() + 1 - 250 - s - 10;
        setSavedFrame(100, y, 320, 250);
        QList<QPoint> corners;
        for (int i = 0; i < 3; i++)
            corners.append(delegate->openPath(writeFile(QStringLiteral("c%1.json").arg(i), "1"))->geometry().topLeft());
        QCOMPARE(corners[0], QPoint(100, y));
        QCOMPARE(corners[1], QPoint(100 + s, y + s));
        QCOMPARE(corners[2], QPoint(100 + 2 * s, area().top()));
        QCOMPARE(delegate->windows()[2]->size(), QSize(320, 250));
    }

    void centresALostFrame_data() {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("off every screen") << QRect(5000, 5000, 400, 300) << centred(QSize(400, 300));
        QTest::newRow("within 40 of the edge") << QRect(-360, 0, 400, 300) << centred(QSize(400, 300));
        // Larger than the screen: centred all the same, never clamped to it.
        QTest::newRow("nothing saved") << QRect(0, 0, 0, 0) << centred(QSize(1100, 760));
        QTest::newRow("no width") << QRect(100, 100, 0, 300) << centred(QSize(1100, 760));
        QTest::newRow("visible is kept") << QRect(-300, 500, 400, 300) << QRect(-300, 500, 400, 300);
        // Visible but too small to take as a size: the frame still holds, within the minimum.
        QTest::newRow("too small") << QRect(10, 10, 300, 100) << QRect(10, 10, 320, 200);
    }
    void centresALostFrame() {
        QFETCH(QRect, saved);
        QFETCH(QRect, expected);
        setSavedFrame(saved.x(), saved.y(), saved.width(), saved.height());
        QCOMPARE(delegate->openPath(writeFile(QStringLiteral("d.json"), "1"))->geometry(), expected);
    }

    void quitsWhenNoWindowIsLeft() {
        QSignalSpy quit(delegate.get(), &OVAppDelegate::quitRequested);
        OVDocWindow *a = delegate->openPath(writeFile(QStringLiteral("q1.json"), "[]"));
        OVDocWindow *b = delegate->openPath(writeFile(QStringLiteral("q2.json"), "{}"));
        QTRY_VERIFY(!a->busy() && !b->busy());
        a->close();
        settle();
        QCOMPARE(quit.size(), 0);
        b->close();
        settle();
        QCOMPARE(quit.size(), 1);
        QVERIFY(!delegate->startWindow());
    }

    void failedLoadBringsBackTheStartWindow() {
        QSignalSpy quit(delegate.get(), &OVAppDelegate::quitRequested);
        QSignalSpy noted(delegate.get(), &OVAppDelegate::noted);
        delegate->showStartWindow();
        const QString missing = dir.filePath(QStringLiteral("missing.json"));
        OVDocWindow *window = delegate->openPath(missing);
        QVERIFY(!delegate->startWindow()); // every open closes it
        QTRY_COMPARE(alerts().size(), 1);
        QCOMPARE(alerts()[0]->text(), QStringLiteral("Could not open \"missing.json\": no such file or directory."));
        QCOMPARE(noted.size(), 1);
        QCOMPARE(noted[0][0].toString(), QStringLiteral("open-error=Could not open \"missing.json\": it could not be read."));
        QVERIFY(window->failed());
        QVERIFY(logText().contains(QStringLiteral("open failed ") + missing + QStringLiteral(": status 0, errno 2")));
        alerts()[0]->done(1000); // answering closes the window
        settle();
        QVERIFY(delegate->windows().isEmpty());
        QVERIFY(delegate->startWindow() && delegate->startWindow()->isVisible());
        QCOMPARE(quit.size(), 0);
        delegate->startWindow()->close(); // the user closes it: nothing is left
        settle();
        QCOMPARE(quit.size(), 1);
    }

    void scriptModeNeverQuitsOnItsOwn() {
        ov_options().scriptPath = QStringLiteral("script.txt");
        QSignalSpy quit(delegate.get(), &OVAppDelegate::quitRequested);
        OVDocWindow *window = delegate->openPath(writeFile(QStringLiteral("s.json"), "1"));
        // Script windows sit at the bottom right of the screen, without cascading.
        QCOMPARE(window->geometry().bottomRight(), area().bottomRight());
        QCOMPARE(window->size(), QSize(1100, 760));
        window->close();
        settle();
        ov_options().scriptPath.clear();
        QCOMPARE(quit.size(), 0);
    }

    void writesTheSettingsOnQuit() {
        delegate->noteRecent(QStringLiteral("/some/file.json"));
        QVERIFY(OVSettings::shared()->isDirty());
        delegate->applicationWillTerminate();
        QFile file(OVSettings::shared()->path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("recent=/some/file.json\n"));
    }

    void screenshots() {
        QDir().mkpath(QStringLiteral(ORVEL_SCREENS));
        for (int theme : {2, 1}) {
            OVTheme::applyTheme(theme);
            const QString suffix = theme == 1 ? QStringLiteral("dark") : QStringLiteral("light");
            setSavedFrame(0, 0, 720, 400);
            OVDocWindow *window = delegate->openPath(writeFile(QStringLiteral("shot.json"), "{\"name\": \"Orvel\", \"sizes\": [1, 2, 3]}"));
            QTRY_VERIFY(!window->statusText().isEmpty());
            QVERIFY(window->grab().save(QStringLiteral(ORVEL_SCREENS "/linux-startup-doc-") + suffix + QStringLiteral(".png")));
            window->close();
            settle();
            // The same two files every run, whatever the other tests left on the list.
            JxSettings &values = OVSettings::shared()->values();
            values.nrecent = 0;
            jx_settings_add_recent(&values, "/home/user/data/orders.json");
            jx_settings_add_recent(&values, qPrintable(QDir::homePath() + QStringLiteral("/projects/config.jsonl")));
            delegate->showStartWindow();
            QVERIFY(delegate->startWindow()->grab().save(QStringLiteral(ORVEL_SCREENS "/linux-startup-start-") + suffix + QStringLiteral(".png")));
            closeEverything(*delegate);
        }
        OVTheme::applyTheme(0);
    }
};

QTEST_MAIN(WindowsTest)
#include "windows_test.moc"
