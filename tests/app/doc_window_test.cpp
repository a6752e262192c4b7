// Document windows over real files: loading and its failures, progress, the memory question,
// reloads after real file operations, the idle queue, and closing while work runs.
#include "delegate_fixture.h"
#include "error_bar.h"
#include "file_fixture.h"
#include "label.h"
#include "list_view.h"
#include "load.h"
#include "options.h"
#include "progress_line.h"
#include "status_bar.h"
#include "text_button.h"
#include "theme.h"
#include "watch.h"

#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>

#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jx/keys.h>
#include <jx/view.h>

namespace {

constexpr const char *GONE = "The file was deleted or moved. Showing the last version.";
// Long enough for the 50 ms batch, the 120 ms debounce, a reload and a loaded machine.
constexpr int SETTLE_MS = 800;

QString selectedPath(JxView *view) {
    char buf[256];
    jx_view_path(view, 0, buf, sizeof buf);
    return QString::fromUtf8(buf);
}

enum Op { WriteInPlace, AtomicRename, TruncateThenWrite, Append, DeleteAndRecreateQuickly, MtimeOnly, ChmodOnly };

} // namespace

class DocWindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<OVAppDelegate> delegate;

    QString file(const QString &name) const { return dir.filePath(name); }
    int count(const QString &line) const { return int(logText().count(line)); }
    // Opens path and waits for the load to end.
    OVDocWindow *openLoaded(const QString &path) {
        OVDocWindow *window = delegate->openPath(path);
        [&] { QTRY_VERIFY_WITH_TIMEOUT(!window->busy(), 60000); }();
        return window;
    }
    static void waitIdle(OVDocWindow *window) {
        QTest::qWait(SETTLE_MS);
        QTRY_VERIFY_WITH_TIMEOUT(!window->busy(), 60000);
    }

    void run(Op op, const QString &path) {
        switch (op) {
        case WriteInPlace: {
            const int fd = open(QFile::encodeName(path).constData(), O_WRONLY);
            QVERIFY(fd >= 0);
            QCOMPARE(write(fd, "{\"a\": [7", 8), ssize_t(8));
            close(fd);
            break;
        }
        case AtomicRename:
            QVERIFY(write_file(path + ".tmp", "{\"a\": [1, 2], \"b\": {\"c\": 3}}\n"));
            QCOMPARE(rename(QFile::encodeName(path + ".tmp").constData(), QFile::encodeName(path).constData()), 0);
            break;
        case TruncateThenWrite: {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.flush();
            QTest::qWait(20);
            f.write("{\"a\": [1, 2, 3], \"b\": {\"c\": 4}}");
            break;
        }
        case Append: QVERIFY(write_file(path, "{\"a\": 9}\n", QIODevice::Append)); break;
        case DeleteAndRecreateQuickly:
            QVERIFY(QFile::remove(path));
            QTest::qWait(30);
            QVERIFY(write_file(path, "{\"a\": [5], \"b\": {\"c\": 6}}"));
            break;
        case MtimeOnly: {
            const timespec times[2] = {{0, UTIME_OMIT}, {1000000000, 5}};
            QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
            break;
        }
        case ChmodOnly: QCOMPARE(chmod(QFile::encodeName(path).constData(), 0600), 0); break;
        }
    }

private slots:
    void initTestCase() {
        QVERIFY(dir.isValid());
        QVERIFY(drop_file_capabilities());
    }
    void init() {
        delegate = std::make_unique<OVAppDelegate>();
        delegate->applicationWillFinishLaunching();
    }
    void cleanup() {
        ov_options().memoryOverride = 0;
        closeEverything(*delegate);
        delegate.reset();
    }

    // Bad input costs a window, never the process: each says why, as the first load would.
    void badInput_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("scriptNote");
        const QString unread = QStringLiteral("it could not be read");
        QDir(dir.path()).mkdir(QStringLiteral("folder.json"));
        QTest::newRow("folder") << file("folder.json") << "is a directory" << unread;
        QTest::newRow("missing") << file("missing.json") << "no such file or directory" << unread;
        QVERIFY(write_file(file("secret.json"), "{}"));
        QVERIFY(QFile::setPermissions(file("secret.json"), {}));
        QTest::newRow("no permission") << file("secret.json") << "permission denied" << unread;
        QVERIFY(mkfifo(QFile::encodeName(file("pipe.json")).constData(), 0644) == 0);
        QTest::newRow("named pipe") << file("pipe.json") << "is a named pipe" << unread;
        QFile huge(file("huge.json"));
        QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(0x100000000LL));
        QTest::newRow("over the limit") << file("huge.json") << "" << "";
    }
    void badInput() {
        QFETCH(QString, path);
        QFETCH(QString, message);
        QFETCH(QString, scriptNote);
        QSignalSpy noted(delegate.get(), &OVAppDelegate::noted);
        const QString name = QFileInfo(path).fileName();
        const QString shown = message.isEmpty() ? QStringLiteral("\"huge.json\" is 4.0 GB. Orvel opens files up to 4 GB.")
                                                : QStringLiteral("Could not open \"%1\": %2.").arg(name, message);
        const QString forScript = scriptNote.isEmpty() ? shown : QStringLiteral("Could not open \"%1\": %2.").arg(name, scriptNote);
        OVDocWindow *window = delegate->openPath(path);
        QTRY_COMPARE_WITH_TIMEOUT(alerts().size(), 1, 10000);
        QCOMPARE(alerts()[0]->text(), shown);
        QCOMPARE(buttonTitles(alerts()[0]), QStringList{"OK"});
        QVERIFY(window->failed() && !window->view());
        QCOMPARE(noted.size(), 1);
        QCOMPARE(noted[0][0].toString(), QStringLiteral("open-error=") + forScript);
        QCOMPARE(window->statusLine()->left(), QString());
        alerts()[0]->done(1000);
        settle();
        QVERIFY(delegate->windows().isEmpty());
    }

    // Files that parse, however odd: an empty one shows the empty label, a binary one its problem.
    void oddFilesStillOpen() {
        QVERIFY(write_file(file("empty.json"), QByteArray()));
        OVDocWindow *empty = openLoaded(file("empty.json"));
        QVERIFY(empty->view() && !empty->failed());
        QVERIFY(empty->emptyLabel()->isVisible());
        QCOMPARE(empty->emptyLabel()->text(), QStringLiteral("This file is empty."));
        QVERIFY(!empty->errorBar()->isVisible());
        QByteArray binary;
        for (int i = 0; i < 4096; i++) binary += char((i * 37 + 11) & 0xFF);
        QVERIFY(write_file(file("binary.json"), binary));
        OVDocWindow *window = openLoaded(file("binary.json"));
        QVERIFY(window->view() && alerts().isEmpty());
        QVERIFY(window->errorBar()->isVisible());
        QVERIFY(!window->errorBar()->text().isEmpty());
        QVERIFY(window->errorBar()->showButton()->isVisible());
        QVERIFY(!window->errorBar()->nextButton()->isVisible());
        QVERIFY(!window->emptyLabel()->isVisible());
        QCOMPARE(window->statusLine()->left(), window->statusText());
        // Closing the bar keeps it closed until the file is read again.
        window->errorBar()->closeButton()->action();
        QVERIFY(!window->errorBar()->isVisible());
    }

    // A quick load never shows the line; a long one shows it after the delay, only ever forward,
    // with the label and the percentage on the left, then the status text again.
    void progress() {
        QVERIFY(write_file(file("small.json"), "[1, 2, 3]"));
        OVDocWindow *small = delegate->openPath(file("small.json"));
        bool shown = false;
        QTimer poll;
        poll.setTimerType(Qt::PreciseTimer);
        connect(&poll, &QTimer::timeout, [&] { shown |= small->progressShown(); });
        poll.start(1);
        QTRY_VERIFY(!small->busy());
        poll.stop();
        QVERIFY(!shown);

        // Paused chunks make the read last about half a second however fast the machine is.
        QVERIFY(write_big_json(file("big.json"), 96 << 20));
        ov_load_set_chunk_pause(80);
        const auto unpause = qScopeGuard([] { ov_load_set_chunk_pause(0); });
        OVDocWindow *big = delegate->openPath(file("big.json"));
        QList<double> fractions;
        QStringList texts;
        poll.disconnect();
        connect(&poll, &QTimer::timeout, [&] {
            if (!big->progressShown()) return;
            fractions << big->progressLine()->fraction();
            texts << big->statusLine()->left();
        });
        poll.start(1);
        QTRY_VERIFY_WITH_TIMEOUT(!big->busy(), 60000);
        poll.stop();
        QVERIFY(big->view());
        QVERIFY2(fractions.size() > 2, "the line showed");
        QVERIFY(std::is_sorted(fractions.begin(), fractions.end()));
        const QRegularExpression text(QStringLiteral("^Reading \\d+\\.\\d MB… \\d+%$"));
        for (const QString &t : texts) QVERIFY2(text.match(t).hasMatch(), qPrintable(t));
        QVERIFY(!big->progressShown() && !big->progressLine()->isVisible());
        QCOMPARE(big->statusLine()->left(), big->statusText());
    }

    // The question comes once per window; its answers, and a close while it is up.
    void memoryQuestion_data() {
        QTest::addColumn<int>("answer"); // 0 Open Anyway, 1 Cancel, 2 close the window instead
        QTest::newRow("open anyway") << 0;
        QTest::newRow("cancel") << 1;
        QTest::newRow("close while asked") << 2;
    }
    void memoryQuestion() {
        QFETCH(int, answer);
        const QString path = file(QStringLiteral("mem%1.json").arg(answer));
        QVERIFY(write_file(path, QByteArray(1000, ' ') + "[1]"));
        ov_options().memoryOverride = 2000; // 2 × 1003 bytes are over 60 % of it
        OVDocWindow *window = delegate->openPath(path);
        QCOMPARE(alerts().size(), 1);
        QCOMPARE(alerts()[0]->text(), QStringLiteral("This file may need about 2.0 KB of memory and this computer has 2.0 KB."));
        QCOMPARE(buttonTitles(alerts()[0]), QStringList({"Open Anyway", "Cancel"}));
        QVERIFY(logText().contains(QStringLiteral("memory warning ") + path + QStringLiteral(": This file may need")));
        const QPointer<OVDocWindow> alive(window);
        if (answer == 2) {
            window->close();
            settle();
            QTest::qWait(200);
            QVERIFY(alerts().isEmpty());
        } else {
            alerts()[0]->done(1000 + answer);
            settle();
        }
        if (answer == 0) {
            QTRY_VERIFY(window->view());
            QVERIFY(alerts().isEmpty());
            window->startLoading(); // loaded: nothing more, and never asked again
            QCOMPARE(count(QStringLiteral("memory warning ") + path), 1);
        } else {
            QVERIFY(!alive);
            QVERIFY(delegate->windows().isEmpty());
            QCOMPARE(count(QStringLiteral("open ") + path + QLatin1Char('\n')), 0);
        }
    }

    // Each real file operation reloads exactly once and keeps the selection; chmod does not.
    void reloadsOnRealChanges_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<int>("reloads");
        QTest::newRow("write in place") << int(WriteInPlace) << 1;
        QTest::newRow("atomic rename") << int(AtomicRename) << 1;
        QTest::newRow("truncate, then write") << int(TruncateThenWrite) << 1;
        QTest::newRow("append to a log") << int(Append) << 1;
        QTest::newRow("delete and recreate within 120 ms") << int(DeleteAndRecreateQuickly) << 1;
        QTest::newRow("modification time only") << int(MtimeOnly) << 1;
        QTest::newRow("chmod only") << int(ChmodOnly) << 0;
    }
    void reloadsOnRealChanges() {
        QFETCH(int, op);
        QFETCH(int, reloads);
        const bool log = op == Append;
        const QString path = file(QStringLiteral("r%1.%2").arg(op).arg(log ? "jsonl" : "json"));
        QVERIFY(write_file(path, log ? "{\"a\": 1}\n{\"b\": {\"c\": 2}}\n" : "{\"a\": [1, 2], \"b\": {\"c\": 3}}"));
        OVDocWindow *window = openLoaded(path);
        QVERIFY(window->watcher());
        const uint32_t node = jx_doc_count(window->document()) - 1; // the last value, deepest
        jx_view_select_node(window->view(), node);
        const QString selected = selectedPath(window->view());
        QVERIFY(!selected.isEmpty());
        const JxView *before = window->view();
        QTest::qWait(100);
        run(Op(op), path);
        waitIdle(window);
        QCOMPARE(count(QStringLiteral("reloaded ") + path + QStringLiteral(" in ")), reloads);
        if (!reloads) {
            QCOMPARE(window->view(), before);
            return;
        }
        QVERIFY(window->view() != before);
        QCOMPARE(selectedPath(window->view()), selected);
        QVERIFY(!window->fileGone() && !window->errorBar()->isVisible());
        QVERIFY(window->statusLine()->flashing());
        QVERIFY(QRegularExpression(QStringLiteral("^Reloaded \\d\\d:\\d\\d:\\d\\d$")).match(window->statusLine()->rightLabel()->text()).hasMatch());
        // Opening the path again finds this window, whatever inode the file has now.
        QCOMPARE(delegate->openPath(path), window);
    }

    // The rows in sight stay in sight: the top row shows the same key after keys came before it.
    void reloadKeepsTheScroll() {
        auto keys = [](const char *prefix, int n) {
            QByteArray text;
            for (int i = 0; i < n; i++) text += "\"" + QByteArray(prefix) + QByteArray::number(i) + "\": " + QByteArray::number(i) + ", ";
            return text;
        };
        const QString path = file(QStringLiteral("scroll.json"));
        QVERIFY(write_file(path, "{" + keys("k", 300) + "\"end\": 0}"));
        OVDocWindow *window = openLoaded(path);
        window->show();
        window->list()->scrollRowToTop(121); // row 0 is the root: "k120"
        QCOMPARE(window->topRow(), 121u);
        QTest::qWait(100);
        QVERIFY(write_file(path, "{" + keys("a", 50) + keys("k", 300) + "\"end\": 0}"));
        QTRY_VERIFY_WITH_TIMEOUT(jx_doc_count(window->document()) == 352, 5000);
        QTRY_VERIFY(!window->busy());
        QCOMPARE(window->topRow(), 171u);
    }

    // Deleted for longer than the debounce: the last version stays with the bar, until it is back.
    void missingFileAndItsReturn() {
        const QString path = file(QStringLiteral("away.json"));
        QVERIFY(write_file(path, "{\"a\": 1}"));
        OVDocWindow *window = openLoaded(path);
        QSignalSpy noted(delegate.get(), &OVAppDelegate::noted);
        QVERIFY(QFile::remove(path));
        QTRY_VERIFY_WITH_TIMEOUT(window->fileGone(), 5000);
        QTRY_VERIFY(!window->busy());
        QVERIFY(window->view());
        QVERIFY(window->errorBar()->isVisible());
        QCOMPARE(window->errorBar()->text(), QString::fromUtf8(GONE));
        QVERIFY(!window->errorBar()->showButton()->isVisible());
        QCOMPARE(noted.size(), 1);
        QCOMPARE(noted[0][0].toString(), QStringLiteral("reload-error=") + QString::fromUtf8(GONE));
        QVERIFY(logText().contains(QStringLiteral("reload ") + path + QStringLiteral(": the file is gone (status 0, errno 2)")));
        QVERIFY(write_file(path, "{\"a\": 2, \"b\": 3}"));
        QTRY_VERIFY_WITH_TIMEOUT(!window->fileGone(), 5000);
        QTRY_VERIFY(!window->busy());
        QVERIFY(!window->errorBar()->isVisible());
        QCOMPARE(jx_doc_count(window->document()), 3u);
    }

    // A reload that finds the file but cannot take it says why, as the first load would; it does
    // not claim that the file is gone.
    void reloadFailuresSayWhy_data() {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("bar");
        QTest::addColumn<QString>("scriptNote");
        QTest::newRow("over the limit") << "big" << "\"why.json\" is 4.0 GB. Orvel opens files up to 4 GB."
                                        << "\"why.json\" is 4.0 GB. Orvel opens files up to 4 GB.";
        QTest::newRow("no permission") << "mode" << "Could not open \"why.json\": permission denied."
                                       << "Could not open \"why.json\": it could not be read.";
        QTest::newRow("now a folder") << "folder" << "Could not open \"why.json\": is a directory."
                                      << "Could not open \"why.json\": it could not be read.";
    }
    void reloadFailuresSayWhy() {
        QFETCH(QString, cause);
        QFETCH(QString, bar);
        QFETCH(QString, scriptNote);
        QTemporaryDir own;
        const QString path = own.filePath(QStringLiteral("why.json"));
        QVERIFY(write_file(path, "[1]"));
        OVDocWindow *window = openLoaded(path);
        QSignalSpy noted(delegate.get(), &OVAppDelegate::noted);
        if (cause == QLatin1String("big")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.resize(0x100000000LL));
        } else if (cause == QLatin1String("mode")) {
            QVERIFY(write_file(path, "[1, 2]"));
            QVERIFY(QFile::setPermissions(path, {}));
        } else {
            QVERIFY(QFile::remove(path));
            QVERIFY(QDir().mkdir(path));
        }
        QTRY_VERIFY_WITH_TIMEOUT(window->fileGone(), 5000);
        QTRY_VERIFY(!window->busy());
        QCOMPARE(window->errorBar()->text(), bar);
        QVERIFY(window->errorBar()->isVisible());
        QCOMPARE(noted.size(), 1);
        QCOMPARE(noted[0][0].toString(), QStringLiteral("reload-error=") + scriptNote);
        QCOMPARE(jx_doc_count(window->document()), 2u); // the last version stays
    }

    // A file that changes size while it is read never gives a broken document, and the change
    // that came during the read reloads it once more.
    void changesDuringTheRead_data() {
        QTest::addColumn<bool>("shrink");
        QTest::newRow("shrinks") << true;
        QTest::newRow("grows") << false;
    }
    void changesDuringTheRead() {
        QFETCH(bool, shrink);
        const QString path = file(QStringLiteral("moving.json"));
        QVERIFY(write_file(path, "[0]"));
        OVDocWindow *window = openLoaded(path);
        QVERIFY(write_big_json(path, 96 << 20));
        QTRY_VERIFY_WITH_TIMEOUT(window->busy(), 5000); // the watcher started a reload
        QTest::qWait(20);
        if (shrink)
            QVERIFY(write_file(path, "[1, 2, 3]"));
        else
            QVERIFY(write_file(path, QByteArray(100, ' '), QIODevice::Append));
        // The result of the interrupted read, then the reload the change causes, settle on the
        // file as it is now.
        QTRY_VERIFY_WITH_TIMEOUT(!window->busy() && !window->fileGone(), 60000);
        QTest::qWait(SETTLE_MS);
        QTRY_VERIFY_WITH_TIMEOUT(!window->busy(), 60000);
        QVERIFY(!window->fileGone());
        QVERIFY(jx_doc_error_count(window->document()) == 0);
        QCOMPARE(window->statusLine()->left(), window->statusText());
        if (shrink) QCOMPARE(jx_doc_count(window->document()), 4u);
    }

    // Work waits for the window to be idle, in order; an idle window runs it at once.
    void idleQueue() {
        QVERIFY(write_big_json(file("idle.json"), 24 << 20));
        OVDocWindow *window = delegate->openPath(file("idle.json"));
        QStringList ran;
        QVERIFY(window->busy());
        window->whenIdle([&] { ran << QStringLiteral("1") << (window->view() ? "view" : "none"); });
        window->whenIdle([&] { ran << QStringLiteral("2"); });
        QVERIFY(ran.isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(!window->busy(), 60000);
        QCOMPARE(ran, QStringList({"1", "view", "2"}));
        window->whenIdle([&] { ran << QStringLiteral("3"); });
        QCOMPARE(ran.last(), QStringLiteral("3"));
        // A window that closes is idle: what waited runs.
        window->reload();
        window->whenIdle([&] { ran << QStringLiteral("4"); });
        window->close();
        QCOMPARE(ran.last(), QStringLiteral("4"));
    }

    // Expanding or collapsing a document of a million nodes or more builds its rows on a worker:
    // the window is busy meanwhile, and the newest command wins.
    void levelsOnAWorker() {
        QByteArray text("[");
        for (int i = 0; i < 400000; i++) text += i ? ",[0,0]" : "[0,0]";
        QVERIFY(write_file(file("wide.json"), text + "]"));
        OVDocWindow *window = openLoaded(file("wide.json"));
        JxView *view = window->view();
        QVERIFY(view && jx_doc_count(window->document()) == 1200001);
        QCOMPARE(jx_view_count(view), 400001u);

        window->runCommand(JX_CMD_EXPAND_ALL);
        QVERIFY(window->busy());
        QCOMPARE(jx_view_count(view), 400001u);
        QTRY_VERIFY_WITH_TIMEOUT(!window->busy(), 60000);
        QCOMPARE(jx_view_count(view), 1200001u);

        window->runCommand(JX_CMD_LEVEL_1 + 8);
        window->runCommand(JX_CMD_COLLAPSE_ALL);
        QTRY_VERIFY_WITH_TIMEOUT(!window->busy(), 60000);
        QCOMPARE(jx_view_count(view), 400001u);
    }

    // A clipboard document has no file: nothing to watch, reload or compare.
    void clipboardWindow() {
        JxDoc *doc = parseText("{\"a\": 1}");
        auto *window = new OVDocWindow(doc, QStringLiteral("Clipboard 1"), 3);
        jx_doc_release(doc);
        QVERIFY(window->view() && !window->watcher());
        const JxView *view = window->view();
        window->reload();
        QVERIFY(!window->busy());
        QCOMPARE(window->view(), view);
        QVERIFY(!window->showsFile(QString()));
        QVERIFY(!window->showsFile(QStringLiteral("Clipboard 1")));
        delete window;
    }

    // A hard link is the same file: opening it focuses the window.
    void showsFileByIdentity() {
        const QString path = file(QStringLiteral("linked.json"));
        QVERIFY(write_file(path, "[1]"));
        OVDocWindow *window = openLoaded(path);
        QCOMPARE(link(QFile::encodeName(path).constData(), QFile::encodeName(file("alias.json")).constData()), 0);
        QCOMPARE(delegate->openPath(file("alias.json")), window);
        QVERIFY(!window->showsFile(file("missing.json")));
    }

    // Closing at any moment of a load or a reload frees everything and touches nothing of the
    // window (the sanitizer build checks both).
    void closeAtRandomMoments() {
        const QString path = file(QStringLiteral("closing.json"));
        QVERIFY(write_big_json(path, 48 << 20));
        ::closeAtRandomMoments(*delegate, path, 24, 400, [](OVDocWindow *window, int i) {
            if (i % 2) {
                QTRY_VERIFY_WITH_TIMEOUT(!window->busy(), 60000);
                window->reload();
            }
        });
    }

    // The window mid-load (the progress line) and after a load with problems (the error bar).
    void screenshots() {
        QDir().mkpath(QStringLiteral(ORVEL_SCREENS));
        QVERIFY(write_big_json(file("shot-big.json"), 160 << 20));
        QVERIFY(write_file(file("shot-bad.json"), "{\"name\": \"Orvel\", \"sizes\": [1, 2,, 3]}"));
        for (int theme : {2, 1}) {
            OVTheme::applyTheme(theme);
            const QString suffix = theme == 1 ? QStringLiteral("dark") : QStringLiteral("light");
            JxSettings &values = OVSettings::shared()->values();
            values.win_x = 0, values.win_y = 0, values.win_w = 720, values.win_h = 400;
            OVDocWindow *loading = delegate->openPath(file("shot-big.json"));
            QTRY_VERIFY_WITH_TIMEOUT(loading->progressShown() && loading->progressLine()->fraction() > 0.3, 60000);
            QVERIFY(loading->grab().save(QStringLiteral(ORVEL_SCREENS "/linux-doc-loading-") + suffix + QStringLiteral(".png")));
            loading->close();
            settle();
            OVDocWindow *bad = openLoaded(file("shot-bad.json"));
            QVERIFY(bad->errorBar()->isVisible());
            QVERIFY(bad->grab().save(QStringLiteral(ORVEL_SCREENS "/linux-doc-problems-") + suffix + QStringLiteral(".png")));
            closeEverything(*delegate);
        }
        OVTheme::applyTheme(0);
    }
};

QTEST_MAIN(DocWindowTest)
#include "doc_window_test.moc"
