// The command line: which words are options, values and files, and the exit status 2 line.
#include "arguments.h"
#include "options.h"

#include <QProcess>
#include <QtTest>

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void readsArguments_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QStringList>("texts"); // script, transcript, settings, log
        QTest::addColumn<quint64>("ram");
        const QStringList none = {"", "", "", ""};
        QTest::newRow("relative file") << QStringList{"a.json"} << QStringList{"/base/dir/a.json"} << none << quint64(0);
        QTest::newRow("dot and dot-dot removed")
            << QStringList{"./x/../b.json", "../c.json", "/tmp//d/./e.json"}
            << QStringList{"/base/dir/b.json", "/base/c.json", "/tmp/d/e.json"} << none << quint64(0);
        // The word after a desktop flag is a file on Linux: skipping it would lose that file.
        QTest::newRow("-NS flag skips only itself")
            << QStringList{"-NSDocumentRevisionsDebugMode", "YES"} << QStringList{"/base/dir/YES"} << none << quint64(0);
        QTest::newRow("-Apple flag skips only itself")
            << QStringList{"-AppleLanguages", "f.json"} << QStringList{"/base/dir/f.json"} << none << quint64(0);
        QTest::newRow("lone dash words skipped")
            << QStringList{"-x", "--unknown", "g.json", "-"} << QStringList{"/base/dir/g.json"} << none << quint64(0);
        QTest::newRow("every option")
            << QStringList{"--test-script", "s.txt", "--test-out", "o.txt", "--settings", "st.txt",
                           "--test-log", "l.txt", "--test-ram", "1048576", "h.json"}
            << QStringList{"/base/dir/h.json"} << QStringList{"s.txt", "o.txt", "st.txt", "l.txt"} << quint64(1048576);
        QTest::newRow("ram 0 and not a number") << QStringList{"--test-ram", "0", "--test-ram", "12abc"}
                                                << QStringList{} << none << quint64(0);
        QTest::newRow("value that looks like an option")
            << QStringList{"--settings", "--test-out", "-NSx"} << QStringList{} << QStringList{"", "", "--test-out", ""}
            << quint64(0);
        QTest::newRow("option word last is ignored")
            << QStringList{"i.json", "--settings"} << QStringList{"/base/dir/i.json"} << none << quint64(0);
        QTest::newRow("option values are taken as given, files in order")
            << QStringList{"z.json", "--test-log", "../log.txt", "y.json"}
            << QStringList{"/base/dir/z.json", "/base/dir/y.json"} << QStringList{"", "", "", "../log.txt"} << quint64(0);
    }
    void readsArguments() {
        QFETCH(QStringList, args);
        QFETCH(QStringList, files);
        QFETCH(QStringList, texts);
        QFETCH(quint64, ram);
        OVOptions options;
        args.prepend(QStringLiteral("orvel"));
        QCOMPARE(ov_read_arguments(args, QStringLiteral("/base/dir"), options), files);
        QCOMPARE(QStringList({options.scriptPath, options.transcriptPath, options.settingsPath, options.logPath}), texts);
        QCOMPARE(quint64(options.memoryOverride), ram);
    }

    void scriptNeedsSettings() {
        OVOptions options;
        QVERIFY(ov_arguments_error(options).isEmpty());
        options.settingsPath = QStringLiteral("st.txt");
        QVERIFY(ov_arguments_error(options).isEmpty());
        options.scriptPath = QStringLiteral("s.txt");
        QVERIFY(ov_arguments_error(options).isEmpty());
        options.settingsPath.clear();
        QCOMPARE(ov_arguments_error(options), QStringLiteral("orvel: --test-script needs --settings <file>\n"));
    }

    // The program itself refuses before it needs a display: no platform is set here.
    void exitsWithStatus2_data() {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no settings") << QStringList{"--test-script", "s.txt", "a.json"};
        QTest::newRow("settings word last") << QStringList{"--test-script", "s.txt", "--settings"};
    }
    void exitsWithStatus2() {
        QFETCH(QStringList, args);
        QProcess orvel;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        orvel.setProcessEnvironment(env);
        orvel.start(QStringLiteral(ORVEL_BIN), args);
        QVERIFY(orvel.waitForFinished(20000));
        QCOMPARE(orvel.exitStatus(), QProcess::NormalExit);
        QCOMPARE(orvel.exitCode(), 2);
        QCOMPARE(orvel.readAllStandardError(), QByteArray("orvel: --test-script needs --settings <file>\n"));
        QCOMPARE(orvel.readAllStandardOutput(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "startup_test.moc"
