// --screenshot: the option leaves the command line whole (the file list must not lose or gain an
// argument), and the capture waits for the window that shows last.
#include "screenshot.h"

#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>
#include <QtTest>

#include <vector>

class ScreenshotTest : public QObject {
    Q_OBJECT
private slots:
    void takesOption_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("rest");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("ok");
        const QStringList none{"orvel"};
        QTest::newRow("absent") << QStringList{"orvel", "a.json"} << QStringList{"orvel", "a.json"} << "" << true;
        QTest::newRow("first") << QStringList{"orvel", "--screenshot", "s.png", "a.json"}
                               << QStringList{"orvel", "a.json"} << "s.png" << true;
        QTest::newRow("last") << QStringList{"orvel", "a.json", "--screenshot", "s.png"}
                              << QStringList{"orvel", "a.json"} << "s.png" << true;
        QTest::newRow("twice, the last wins")
            << QStringList{"orvel", "--screenshot", "a.png", "--screenshot", "b.png", "c.json"}
            << QStringList{"orvel", "c.json"} << "b.png" << true;
        QTest::newRow("after --, a file name")
            << QStringList{"orvel", "--", "--screenshot", "x"} << QStringList{"orvel", "--", "--screenshot", "x"}
            << "" << true;
        QTest::newRow("no path") << QStringList{"orvel", "--screenshot"} << none << "" << false;
        QTest::newRow("empty path") << QStringList{"orvel", "--screenshot", ""} << none << "" << false;
    }

    void takesOption() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, rest);
        QFETCH(QString, path);
        QFETCH(bool, ok);
        std::vector<QByteArray> storage;
        for (const QString &arg : args)
            storage.push_back(arg.toLocal8Bit());
        std::vector<char *> argv;
        for (QByteArray &arg : storage)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        int argc = int(args.size());
        QString taken;
        QCOMPARE(ov_screenshot_take_option(argc, argv.data(), &taken), ok);
        if (!ok)
            return;
        QCOMPARE(taken, path);
        QStringList left;
        for (int i = 0; i < argc; ++i)
            left << QString::fromLocal8Bit(argv[size_t(i)]);
        QCOMPARE(left, rest);
        QCOMPARE(argv[size_t(argc)], nullptr);
    }

    // A second window shows a moment after the first (a document window over the start window):
    // the picture is of the second, taken once it has painted.
    void capturesLastWindow() {
        QTemporaryDir dir;
        const QString path = dir.filePath("screens/shot.png");
        QWidget first;
        first.resize(300, 200);
        first.show();
        QWidget second;
        second.resize(420, 260);
        auto *layout = new QVBoxLayout(&second);
        layout->addWidget(new QLabel(QStringLiteral("Orvel"), &second));
        QTimer::singleShot(150, &second, [&] { second.show(); });
        ov_screenshot_arm(path);
        QCOMPARE(QApplication::exec(), 0);
        const QImage shot(path);
        QCOMPARE(shot.size(), QSize(420, 260));
    }
};

QTEST_MAIN(ScreenshotTest)
#include "screenshot_test.moc"
