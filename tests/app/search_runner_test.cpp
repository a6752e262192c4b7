// The window's search: the typing debounce, Return that steps or searches, a new query cancelling
// the running one, the single pending search, and views retired while their search runs.
#include "parts_fixture.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

#include <chrono>
#include <thread>

#include <jx/path.h>

namespace {

QString selected(JxView *view) {
    char path[256];
    jx_view_path(view, JX_PATH_JSONPATH, path, sizeof path);
    return QString::fromUtf8(path);
}

// Keeps every worker of the pool busy for ms, so that the next job waits in the queue.
void fillPool(int ms) {
    for (int i = 0; i < QThreadPool::globalInstance()->maxThreadCount(); i++)
        QThreadPool::globalInstance()->start([ms] { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
}

} // namespace

class SearchRunnerTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { drainWorkers(); }

    // Three quick changes make one search, for the last text, 250 ms after the last change.
    void typingDebounce() {
        PartsOwner owner(viewOf("[\"a\", \"abc\"]"));
        QStringList notes;
        owner.search->note = [&](const QString &line) { notes << line; };
        const JxSearchOptions regex = OVSearchRunner::unpack(1u << 8);
        QElapsedTimer sinceLast;
        for (const char *text : {"(", "((", "((("}) {
            owner.search->textChanged(QString::fromLatin1(text), regex);
            sinceLast.start();
            QCoreApplication::processEvents();
        }
        QVERIFY(!owner.search->idle());
        QTRY_COMPARE(notes.size(), 1);
        QVERIFY(sinceLast.elapsed() >= OVSearchRunner::DEBOUNCE_MS - 5);
        QVERIFY(notes[0].startsWith(QStringLiteral("search-error=")) && notes[0].size() > 13);
        for (const char *text : {"a", "ab", "abc"}) owner.search->textChanged(QString::fromLatin1(text), {});
        QTRY_VERIFY(owner.search->idle());
        QTest::qWait(OVSearchRunner::DEBOUNCE_MS + 50);
        QCOMPARE(notes.size(), 1);
        QCOMPARE(owner.search->query().value_or(""), QByteArray("abc"));
        QCOMPARE(jx_search_count(jx_view_search(owner.view)), 1u);
    }

    // Return with the installed text and options steps through the hits; anything else searches.
    void returnStepsOrSearches_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint32_t>("options");
        QTest::addColumn<bool>("backward");
        QTest::addColumn<bool>("searches");
        QTest::addColumn<QString>("selection");
        // Hits of "x": the key x and the elements 0, 2 and 3 (case ignored); the search starts
        // with element 0 selected.
        QTest::newRow("same: next") << "x" << 0u << false << false << "$.x[2]";
        QTest::newRow("same, Shift: previous") << "x" << 0u << true << false << "$.x";
        QTest::newRow("other text") << "y" << 0u << false << true << "$.x[1]";
        QTest::newRow("other case option") << "x" << 1u << false << true << "$.x[0]";
        QTest::newRow("other scope") << "x" << (2u << 16) << false << true << "$.x[0]";
    }
    void returnStepsOrSearches() {
        QFETCH(QString, text);
        QFETCH(uint32_t, options);
        QFETCH(bool, backward);
        QFETCH(bool, searches);
        QFETCH(QString, selection);
        PartsOwner owner(viewOf("{\"x\": [\"x\", \"y\", \"x\", \"X\"]}"));
        QVERIFY(selectPath(owner.view, "$.x"));
        int changes = 0;
        owner.search->changed = [&] { changes++; };
        owner.search->startSearch(QStringLiteral("x"), {});
        QTRY_VERIFY(owner.search->idle());
        QVERIFY(selectPath(owner.view, "$.x[0]"));
        const JxSearch *installed = jx_view_search(owner.view);
        changes = 0;
        owner.search->searchEntered(text, OVSearchRunner::unpack(options), backward);
        QTRY_VERIFY(owner.search->idle());
        QCOMPARE(jx_view_search(owner.view) != installed, searches);
        QCOMPARE(selected(owner.view), selection);
        QVERIFY(changes > 0);
    }

    // A new query cancels the running search at once; a third replaces the pending second.
    void newQueryCancelsRunningOne() {
        PartsOwner owner(viewOf(bigArray(100000)));
        owner.search->startSearch(QStringLiteral("q"), {});
        const std::shared_ptr<OVJob> first = owner.search->job();
        QVERIFY(first && !first->cancelled());
        owner.search->startSearch(QStringLiteral("qq"), {});
        QVERIFY(first->cancelled());
        QVERIFY(owner.search->hasPending());
        owner.search->startSearch(QStringLiteral("zz"), {});
        QTRY_VERIFY(owner.search->idle());
        QVERIFY(!owner.search->hasPending());
        QCOMPARE(owner.search->query().value_or(""), QByteArray("zz"));
        QCOMPARE(jx_search_count(jx_view_search(owner.view)), 0u);
        QVERIFY(jx_search_finished(jx_view_search(owner.view)));
    }

    // A reload hands the running search the old view; the query runs again over the new document.
    void reloadRetiresAndRuns() {
        PartsOwner owner(viewOf(bigArray(50000)));
        owner.search->startSearch(QStringLiteral("q"), {});
        const std::shared_ptr<OVJob> old = owner.search->job();
        owner.replaceView(viewOf("[\"q\", \"q\"]"));
        QVERIFY(old->cancelled());
        owner.search->rerun();
        QTRY_VERIFY(owner.search->idle());
        QCOMPARE(jx_search_count(jx_view_search(owner.view)), 2u);
    }

    // Views retired at random moments of their search, also before its job left the queue; the
    // sanitizers check that no run reads a freed search and nothing leaks.
    void retireWhileRunning() {
        JxDoc *doc = parseText(bigArray(20000));
        QRandomGenerator random(20240611);
        for (int i = 0; i < 60; i++) {
            PartsOwner owner(jx_view_new(doc));
            if (i % 3 == 0) fillPool(20);
            owner.search->startSearch(QStringLiteral("q"), {});
            if (const int ms = int(random.bounded(8))) QTest::qWait(ms);
            if (i % 2) owner.search->startSearch(QStringLiteral("qq"), {});
            const std::shared_ptr<OVJob> job = owner.search->job();
            owner.replaceView(i % 4 ? jx_view_new(doc) : nullptr);
            QVERIFY(!job || job->cancelled());
        }
        jx_doc_release(doc);
    }
};

QTEST_MAIN(SearchRunnerTest)
#include "search_runner_test.moc"
