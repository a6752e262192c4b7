#include "watch.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Change = OVWatch::Change;

bool write_file(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::Truncate) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | mode) && f.write(bytes) == bytes.size();
}

// Overwrites the first bytes without truncating: the inode and size stay, the time moves.
void write_in_place(const QString &path, const QByteArray &bytes) {
    const int fd = open(QFile::encodeName(path).constData(), O_WRONLY);
    QVERIFY(fd >= 0);
    QCOMPARE(write(fd, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    close(fd);
}

void set_mtime(const QString &path, timespec when) {
    const timespec times[2] = {{0, UTIME_OMIT}, when};
    QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

timespec mtime_of(const QString &path) {
    struct stat st {};
    stat(QFile::encodeName(path).constData(), &st);
    return st.st_mtim;
}

// Long enough for the 50 ms batch, the 120 ms debounce and a loaded machine.
constexpr int SETTLE_MS = 700;

enum Op {
    WriteInPlace,
    AtomicRename,
    AtomicRenameThenWriteInPlace,
    TruncateThenWrite,
    TwoSavesQuickly,
    DeleteAndRecreateQuickly,
    DeleteThenRecreateLater,
    MtimeOnly,
    TouchToTheSameTime,
    ChmodOnly,
    Neighbour,
    WriteThenResync,
    WriteAfterStop,
};

} // namespace

Q_DECLARE_METATYPE(QList<OVWatch::Change>)

class WatchTest : public QObject {
    Q_OBJECT

    void run(Op op, const QString &path, OVWatch &watch) {
        const QString dir = QFileInfo(path).path();
        switch (op) {
        case WriteInPlace: write_in_place(path, "[2]"); break;
        case AtomicRename:
            QVERIFY(write_file(dir + "/.doc.json.tmp", "[1]")); // same size: only the inode tells
            QVERIFY(rename(QFile::encodeName(dir + "/.doc.json.tmp").constData(), QFile::encodeName(path).constData()) == 0);
            break;
        case AtomicRenameThenWriteInPlace: // the file's watch must follow the new inode
            run(AtomicRename, path, watch);
            QTest::qWait(SETTLE_MS);
            write_in_place(path, "[3]");
            break;
        case TruncateThenWrite: {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.flush();
            QTest::qWait(20);
            f.write("[1, 2, 3]");
            break;
        }
        case TwoSavesQuickly:
            QVERIFY(write_file(path, "[1, 2]"));
            QTest::qWait(40);
            QVERIFY(write_file(path, "[1, 2, 3]"));
            break;
        case DeleteAndRecreateQuickly:
            QVERIFY(QFile::remove(path));
            QTest::qWait(30);
            QVERIFY(write_file(path, "[1]"));
            break;
        case DeleteThenRecreateLater:
            QVERIFY(QFile::remove(path));
            QTest::qWait(SETTLE_MS);
            QVERIFY(write_file(path, "[1]"));
            QTest::qWait(SETTLE_MS);
            write_in_place(path, "[2]");
            break;
        case MtimeOnly: set_mtime(path, {1000000000, 5}); break;
        case TouchToTheSameTime: set_mtime(path, mtime_of(path)); break;
        case ChmodOnly: QVERIFY(chmod(QFile::encodeName(path).constData(), 0600) == 0); break;
        case Neighbour: QVERIFY(write_file(dir + "/other.json", "{}")); break;
        case WriteThenResync:
            QVERIFY(write_file(path, "[1, 2]"));
            QTest::qWait(60); // the batch has fired; the comparison is pending
            watch.resync();
            break;
        case WriteAfterStop:
            watch.stop();
            QVERIFY(write_file(path, "[1, 2]"));
            break;
        }
    }

private slots:
    // Each operation reports once, after the debounce, or not at all.
    void reportsWhatChanged_data() {
        QTest::addColumn<int>("op");
        QTest::addColumn<QList<Change>>("expected");
        const QList<Change> one{OVWatch::Changed}, none{};
        QTest::newRow("write in place") << int(WriteInPlace) << one;
        QTest::newRow("atomic rename, new inode") << int(AtomicRename) << one;
        QTest::newRow("atomic rename, then write in place")
            << int(AtomicRenameThenWriteInPlace) << QList<Change>{OVWatch::Changed, OVWatch::Changed};
        QTest::newRow("truncate, then write") << int(TruncateThenWrite) << one;
        QTest::newRow("two saves within 120 ms") << int(TwoSavesQuickly) << one;
        QTest::newRow("delete and recreate within 120 ms") << int(DeleteAndRecreateQuickly) << one;
        QTest::newRow("delete, recreate later, write in place")
            << int(DeleteThenRecreateLater) << QList<Change>{OVWatch::Missing, OVWatch::Back, OVWatch::Changed};
        QTest::newRow("modification time only") << int(MtimeOnly) << one;
        QTest::newRow("touch to the same time") << int(TouchToTheSameTime) << none;
        QTest::newRow("chmod") << int(ChmodOnly) << none;
        QTest::newRow("a neighbour changes") << int(Neighbour) << none;
        QTest::newRow("write, then resync") << int(WriteThenResync) << none;
        QTest::newRow("write after stop") << int(WriteAfterStop) << none;
    }
    void reportsWhatChanged() {
        QFETCH(int, op);
        QFETCH(QList<Change>, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("doc.json"));
        QVERIFY(write_file(path, "[0]"));
        QVERIFY(write_file(dir.filePath(QStringLiteral("other.json")), "[]"));
        QList<Change> seen;
        OVWatch watch(path, [&](Change c) { seen << c; });
        QTest::qWait(50); // the creations above must not count
        run(Op(op), path, watch);
        QTest::qWait(SETTLE_MS);
        QCOMPARE(seen, expected);
    }

    // A log that grows: every append reports exactly once, no sooner than the debounce.
    void appendsToARecordsFileReportOnceEach() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("events.jsonl"));
        QVERIFY(write_file(path, "{\"n\":0}\n"));
        int reports = 0;
        QElapsedTimer since;
        qint64 delay = -1;
        OVWatch watch(path, [&](Change c) {
            QCOMPARE(c, OVWatch::Changed);
            reports++;
            delay = since.elapsed();
        });
        for (int n = 1; n <= 3; n++) {
            since.start();
            QVERIFY(write_file(path, QByteArray("{\"n\":") + QByteArray::number(n) + "}\n", QIODevice::Append));
            QTRY_COMPARE_WITH_TIMEOUT(reports, n, 2000);
            QVERIFY2(delay >= OVWatch::DEBOUNCE_MS, qPrintable(QString::number(delay)));
            QTest::qWait(SETTLE_MS);
            QCOMPARE(reports, n);
        }
    }
};

QTEST_MAIN(WatchTest)
#include "watch_test.moc"
