#include "job.h"
#include "file_fixture.h"
#include "load.h"

#include <jx/base.h>
#include <jx/doc.h>
#include <jx/view.h>

#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// Loads on another thread so that a load that blocks fails the test instead of hanging it.
OVLoaded load_within(const QString &path, OVJob &job, bool unprivileged = false) {
    auto future = std::async(std::launch::async, [&] {
        if (unprivileged && !drop_file_capabilities()) return OVLoaded{};
        return ov_load(path, job);
    });
    if (future.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        // Let a reader stuck on a named pipe go before failing.
        const int fd = open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) close(fd);
        qFatal("ov_load blocked on %s", qPrintable(path));
    }
    return future.get();
}

struct Tracked {
    static inline int alive = 0;
    Tracked() { alive++; }
    Tracked(Tracked &&) noexcept { alive++; }
    ~Tracked() { alive--; }
};

} // namespace

class LoadTest : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QObject owner;

    QString file(const char *name) const { return tmp.filePath(QString::fromLatin1(name)); }

private slots:
    // What each kind of unreadable path tells the user; none of them is read, none blocks.
    void failuresSayWhatThePathIs_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<uint>("status");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("unprivileged");
        QVERIFY(tmp.isValid());
        QDir(tmp.path()).mkdir(QStringLiteral("folder.json"));
        QTest::newRow("folder") << file("folder.json") << 0u
                                << "Could not open \"folder.json\": is a directory." << false;
        QTest::newRow("missing") << file("gone.json") << 0u
                                 << "Could not open \"gone.json\": no such file or directory." << false;
        QVERIFY(mkfifo(QFile::encodeName(file("pipe.json")).constData(), 0644) == 0);
        QTest::newRow("named pipe") << file("pipe.json") << 0u << "Could not open \"pipe.json\": is a named pipe."
                                    << false;
        QTest::newRow("device") << "/dev/zero" << 0u << "Could not open \"zero\": is a character device." << false;
        QVERIFY(write_file(file("secret.json"), "{}"));
        QVERIFY(QFile::setPermissions(file("secret.json"), {}));
        QTest::newRow("no permission") << file("secret.json") << 0u
                                       << "Could not open \"secret.json\": permission denied." << true;
        // A sparse file past the limit: refused from its size, never read.
        QFile big(file("huge.json"));
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(0x100000000LL));
        QTest::newRow("over the limit") << file("huge.json") << 3u
                                        << "\"huge.json\" is 4.0 GB. Orvel opens files up to 4 GB." << false;
        // sysfs files claim 4,096 bytes and hold fewer: a file that shrank while it was read.
        if (QFileInfo(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled")).size() == 4096)
            QTest::newRow("shorter than its size")
                << "/sys/kernel/mm/transparent_hugepage/enabled" << 0u
                << "Could not open \"enabled\": input/output error." << false;
    }
    void failuresSayWhatThePathIs() {
        QFETCH(QString, path);
        QFETCH(uint, status);
        QFETCH(QString, message);
        QFETCH(bool, unprivileged);
        auto job = OVJob::create(&owner);
        QElapsedTimer clock;
        clock.start();
        OVLoaded r = load_within(path, *job, unprivileged);
        QVERIFY2(clock.elapsed() < 2000, "refused paths are not read");
        QVERIFY(!r.doc && !r.view);
        QCOMPARE(r.status, status);
        const QString name = QFileInfo(path).fileName();
        QCOMPARE(ov_load_message(r, name), message);
        // The script runner's note never depends on the system's wording.
        const QString note = ov_load_message(r, name, true);
        QCOMPARE(note, status ? message : QStringLiteral("Could not open \"%1\": it could not be read.").arg(name));
    }

    void documentsLoadWithTheirView_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint>("nodes");
        QTest::addColumn<bool>("problems");
        QTest::newRow("empty") << QByteArray() << "empty.json" << 0u << false;
        QTest::newRow("value") << QByteArray("{\"a\": [1, 2]}") << "value.json" << 4u << false;
        QTest::newRow("records") << QByteArray("{\"a\":1}\n{\"a\":2}\n") << "log.JSONL" << 5u << false;
        QByteArray binary;
        for (int i = 0; i < 4096; i++) binary += char((i * 37 + 11) & 0xFF);
        QTest::newRow("binary") << binary << "image.json" << 0u << true;
    }
    void documentsLoadWithTheirView() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        QFETCH(uint, nodes);
        QFETCH(bool, problems);
        const QString path = tmp.filePath(name);
        QVERIFY(write_file(path, bytes));
        auto job = OVJob::create(&owner);
        OVLoaded r = load_within(path, *job);
        QVERIFY(r.doc && r.view);
        QCOMPARE(r.status, 0u);
        QCOMPARE(r.size, uint64_t(bytes.size()));
        if (!problems) QCOMPARE(jx_doc_count(r.doc), nodes);
        QCOMPARE(jx_doc_error_count(r.doc) > 0, problems);
        QCOMPARE(jx_view_doc(r.view), r.doc);
        QCOMPARE(ov_load_message(r, name), QString());
        // A view that could not be built is a memory failure.
        jx_view_free(r.takeView());
        QCOMPARE(ov_load_message(r, name), QStringLiteral("Could not open \"%1\": there is not enough memory.").arg(name));
    }

    void messagesOfTheStatus() {
        OVLoaded r;
        r.status = 2;
        QCOMPARE(ov_load_message(r, "a.json"), QStringLiteral("Could not open \"a.json\": there is not enough memory."));
        QCOMPARE(ov_load_message(r, "a.json", true), ov_load_message(r, "a.json"));
        r.status = 0;
        r.error = 0; // no error number: reads as an input/output error
        QCOMPARE(ov_load_message(r, "a.json"), QStringLiteral("Could not open \"a.json\": input/output error."));
    }

    void recordsNames() {
        for (auto [name, records] : {std::pair{"a.jsonl", true}, {"/x/B.NDJSON", true}, {"a.json", false},
                                     {"jsonl", false}, {"a.jsonl.bak", false}, {"a.ndjson5", false}})
            QVERIFY2(ov_records_name(QString::fromLatin1(name)) == records, name);
    }

    // Never past the size asked for (the buffer ends there), and short when the file ended first.
    void readingStopsAtTheSizeOrTheEnd() {
        QVERIFY(write_file(file("hundred"), QByteArray(100, 'x')));
        auto job = OVJob::create(&owner);
        for (auto [size, got] : {std::pair{60, 60}, {100, 100}, {150, 100}}) {
            const int fd = open(QFile::encodeName(file("hundred")).constData(), O_RDONLY);
            std::vector<char> buf(static_cast<size_t>(size));
            int error = -1;
            QCOMPARE(ov_read_fd(fd, buf.data(), uint64_t(size), *job, &error), uint64_t(got));
            QCOMPARE(error, 0);
            close(fd);
        }
    }

    // A file large enough for the buffer to be faulted in ahead of the reads arrives byte for byte, into
    // a buffer whose start is not page-aligned, and a cancelled read stops early.
    void largeReadsKeepEveryByte() {
        QByteArray text(70 << 20, Qt::Uninitialized);
        for (qsizetype i = 0; i < text.size(); i++) text[i] = char('a' + (i * 7 + i / 4099) % 26);
        QVERIFY(write_file(file("large"), text));
        const size_t size = size_t(text.size());
        char *buf = jx_buf_alloc(size + 1);
        QVERIFY(buf);
        for (bool cancel : {false, true}) {
            auto job = OVJob::create(&owner);
            if (cancel) job->cancel();
            const int fd = open(QFile::encodeName(file("large")).constData(), O_RDONLY);
            int error = -1;
            const uint64_t got = ov_read_fd(fd, buf + 1, size, *job, &error);
            close(fd);
            QCOMPARE(error, 0);
            if (cancel) {
                QCOMPARE(got, uint64_t(0));
            } else {
                QCOMPARE(got, uint64_t(size));
                QVERIFY(std::memcmp(buf + 1, text.constData(), size) == 0);
            }
        }
        jx_buf_free(buf);
    }

    // Reading posts 0 to 0.2, parsing 0.2 to 1; every post is above the one before.
    void progressOnlyGoesForward() {
        const QString path = file("big.json");
        QVERIFY(write_big_json(path, 40 << 20));
        auto job = OVJob::create(&owner);
        QList<double> seen;
        job->onProgress = [&](OVJob &, double f) { seen << f; };
        std::optional<OVLoaded> result;
        OVJob::start<OVLoaded>(job, [path](OVJob &j) { return ov_load(path, j); },
                               [&](OVJob &, OVLoaded &r) { result = std::move(r); });
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 60000);
        QVERIFY(result->doc && result->view);
        QVERIFY2(seen.size() >= 4, qPrintable(QString::number(seen.size())));
        for (qsizetype i = 1; i < seen.size(); i++) QVERIFY(seen[i] > seen[i - 1]);
        QCOMPARE(std::count_if(seen.begin(), seen.end(), [](double f) { return f <= 0.2; }), 3);
        QCOMPARE(seen[2], 0.2);
        QCOMPARE(seen.last(), 1.0);
    }

    void cancelledLoadsGiveNoDocument() {
        QVERIFY(write_file(file("small.json"), "[1]"));
        auto job = OVJob::create(&owner);
        job->cancel();
        OVLoaded r = load_within(file("small.json"), *job);
        QVERIFY(!r.doc && !r.view);
        QCOMPARE(r.status, 1u);
        // Cancelled at the first post, while most of the file is still to be read and parsed.
        const QString path = file("big.json");
        QVERIFY(write_big_json(path, 48 << 20));
        job = OVJob::create(&owner);
        job->onProgress = [](OVJob &j, double) { j.cancel(); };
        std::optional<OVLoaded> result;
        OVJob::start<OVLoaded>(job, [path](OVJob &j) { return ov_load(path, j); },
                               [&](OVJob &, OVLoaded &loaded) { result = std::move(loaded); });
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 60000);
        QVERIFY(!result->doc && !result->view);
        QCOMPARE(result->status, 1u);
    }

    // The worker finishes after its owner is gone: neither its progress nor its result reach the
    // owner, and the result is freed (the leak checker would see a document that was not).
    void resultsOfAGoneOwnerAreDiscarded() {
        QVERIFY(write_file(file("late.json"), "{\"late\": true}"));
        for (bool ownerStays : {true, false}) {
            auto *target = new QObject;
            auto job = OVJob::create(target);
            std::promise<void> go;
            std::shared_future<void> started = go.get_future().share();
            int progress = 0, delivered = 0;
            job->onProgress = [&](OVJob &, double) { progress++; };
            const QString path = file("late.json");
            OVJob::start<OVLoaded>(
                job,
                [path, started](OVJob &j) {
                    started.wait();
                    j.postProgress(0.5);
                    return ov_load(path, j);
                },
                [&](OVJob &j, OVLoaded &r) {
                    QCOMPARE(j.owner(), target);
                    QVERIFY(r.doc);
                    delivered++;
                });
            if (!ownerStays) delete target;
            go.set_value();
            QThreadPool::globalInstance()->waitForDone();
            QCoreApplication::sendPostedEvents();
            QCOMPARE(delivered, ownerStays ? 1 : 0);
            QCOMPARE(progress > 0, ownerStays);
            if (ownerStays) delete target;
        }
        // The same with a result that counts its copies.
        auto *target = new QObject;
        auto job = OVJob::create(target);
        std::promise<void> go;
        std::shared_future<void> started = go.get_future().share();
        OVJob::start<Tracked>(job, [started](OVJob &) { started.wait(); return Tracked(); },
                              [](OVJob &, Tracked &) { QFAIL("delivered to a deleted owner"); });
        delete target;
        go.set_value();
        QThreadPool::globalInstance()->waitForDone();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(Tracked::alive, 0);
    }
};

QTEST_MAIN(LoadTest)
#include "load_test.moc"
