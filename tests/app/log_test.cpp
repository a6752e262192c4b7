#include "log.h"
#include "options.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>
#include <unistd.h>

namespace {

QStringList read_lines(const QString &path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

// Captures what the process writes to standard error while it lives.
class StderrCapture {
public:
    explicit StderrCapture(const QString &path) {
        std::fflush(stderr);
        saved = dup(2);
        FILE *f = std::fopen(QFile::encodeName(path).constData(), "w");
        dup2(fileno(f), 2);
        std::fclose(f);
    }
    ~StderrCapture() {
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
    }

private:
    int saved;
};

const QRegularExpression LINE(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} (.*)$"));

} // namespace

class LogTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    QString at(const char *name) const { return dir.filePath(QString::fromUtf8(name)); }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        // Never the user's own folders, even when run outside CTest.
        qputenv("XDG_STATE_HOME", QFile::encodeName(at("state")));
        qputenv("HOME", QFile::encodeName(at("home")));
        qunsetenv("OV_LOG");
    }

    void init() {
        ov_options() = OVOptions();
        qunsetenv("OV_LOG");
    }

    void linesAreTimeStamped() {
        ov_options().logPath = at("a/b/stamped.log");
        ov_log("opened %s in %d ms", "x.json", 12);
        ov_log("%s", "caf\xC3\xA9");
        QStringList lines = read_lines(at("a/b/stamped.log"));
        QCOMPARE(lines.size(), 2);
        auto first = LINE.match(lines[0]);
        QVERIFY2(first.hasMatch(), qPrintable(lines[0]));
        QCOMPARE(first.captured(1), QStringLiteral("opened x.json in 12 ms"));
        QCOMPARE(LINE.match(lines[1]).captured(1), QStringLiteral("café"));
        QDateTime stamp = QDateTime::fromString(lines[0].left(23), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        QVERIFY(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 60);
    }

    void longMessagesArriveWhole() {
        ov_options().logPath = at("long.log");
        QByteArray message(3000, 'm');
        ov_log("%s|", message.constData());
        QStringList lines = read_lines(at("long.log"));
        QCOMPARE(lines.size(), 1);
        QCOMPARE(LINE.match(lines[0]).captured(1), QString::fromLatin1(message + '|'));
    }

    void destinationIsChosenOnEveryCall() {
        const QString state = at("state/orvel/orvel.log");
        QCOMPARE(ov_log_path(), state);
        ov_log("to the state folder");
        qputenv("OV_LOG", QFile::encodeName(at("env.log")));
        QCOMPARE(ov_log_path(), at("env.log"));
        ov_log("to OV_LOG");
        ov_options().logPath = at("given.log");
        ov_log("to --test-log");
        QCOMPARE(read_lines(state).size(), 1);
        QCOMPARE(read_lines(at("env.log")).size(), 1);
        QCOMPARE(read_lines(at("given.log")).size(), 1);

        // A relative XDG_STATE_HOME does not count: the home folder's .local/state does.
        qunsetenv("OV_LOG");
        ov_options().logPath.clear();
        qputenv("XDG_STATE_HOME", "relative/state");
        QCOMPARE(ov_log_path(), at("home/.local/state/orvel/orvel.log"));
        qputenv("XDG_STATE_HOME", QFile::encodeName(at("state")));
    }

    void scriptModeLogsToStandardError() {
        const qsizetype stateLines = read_lines(at("state/orvel/orvel.log")).size();
        ov_options().scriptPath = QStringLiteral("script.txt");
        QCOMPARE(ov_log_path(), QString());
        {
            StderrCapture capture(at("stderr-only.txt"));
            ov_log("only on stderr");
        }
        QCOMPARE(LINE.match(read_lines(at("stderr-only.txt")).value(0)).captured(1), QStringLiteral("only on stderr"));
        QCOMPARE(read_lines(at("state/orvel/orvel.log")).size(), stateLines);

        ov_options().logPath = at("script.log");
        {
            StderrCapture capture(at("stderr-both.txt"));
            ov_log("on both");
        }
        QCOMPARE(read_lines(at("stderr-both.txt")).size(), 1);
        QCOMPARE(read_lines(at("script.log")).size(), 1);
    }

    void unwritableLogIsSkipped() {
        QDir().mkpath(at("a-folder.log"));
        ov_options().logPath = at("a-folder.log");
        ov_log("nowhere to go");
        ov_options().logPath = at("blocked/x.log");
        QFile blocker(at("blocked"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        ov_log("nowhere either");
        QVERIFY(!QFile::exists(at("blocked/x.log")));
    }

    void threadsNeverMixLines() {
        ov_options().logPath = at("threads.log");
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; t++)
            threads.emplace_back([t] {
                QByteArray pad(200 + t * 50, char('a' + t));
                for (int i = 0; i < 250; i++) ov_log("thread %d line %d %s", t, i, pad.constData());
            });
        for (auto &t : threads) t.join();
        QStringList lines = read_lines(at("threads.log"));
        QCOMPARE(lines.size(), 1000);
        const QRegularExpression body(QStringLiteral("^thread (\\d) line \\d+ ([a-d])\\2*$"));
        for (const QString &line : lines) {
            auto m = body.match(LINE.match(line).captured(1));
            QVERIFY2(m.hasMatch(), qPrintable(line.left(80)));
            QCOMPARE(m.captured(2).at(0).unicode() - 'a', m.captured(1).toInt());
        }
    }
};

QTEST_GUILESS_MAIN(LogTest)
#include "log_test.moc"
