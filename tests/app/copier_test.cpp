// The copy commands: what reaches the clipboard and what the status bar says, the question above
// 256 MiB, failures that leave the clipboard alone, copies replaced or dropped, Text view lines
// whose model and view outlive the copy, and closing while copies, searches and builds run.
#include "parts_fixture.h"
#include "pasteboard.h"

#include <QRandomGenerator>
#include <QtTest>

#include <alloc.h>
#include <cstdlib>

#include <jx/json.h>
#include <jx/keys.h>
#include <jx/path.h>
#include <jx/text.h>

namespace {

const QString BEFORE = QStringLiteral("before");

// Puts a pretty Text view model in the view and selects lines from to to (JX_NONE: the last).
void showLines(JxView *view, uint32_t from, uint32_t to = JX_NONE) {
    jx_view_set_text(view, jx_text_new(jx_view_doc(view), JX_TEXT_PRETTY, nullptr, nullptr));
    jx_view_set_mode(view, JX_MODE_TEXT);
    if (to == JX_NONE) to = jx_view_count(view) - 1;
    jx_view_click(view, from, 0, 0);
    jx_view_click(view, to, 0, JX_MOD_SHIFT);
}

// The text a core copy function gives, freed.
template <class Copy> QString owned(Copy copy) {
    size_t length = 0;
    char *text = copy(&length);
    QString s = QString::fromUtf8(text, qsizetype(length));
    std::free(text);
    return s;
}

} // namespace

class CopierTest : public QObject {
    Q_OBJECT
    QStringList flashes, notes;

    void listen(PartsOwner &owner) {
        owner.copier->flash = [this](const QString &text) { flashes << text; };
        owner.copier->note = [this](const QString &line) { notes << line; };
    }
    static void copyAndWait(PartsOwner &owner, uint32_t what, int style = JX_PATH_JSONPATH) {
        owner.copier->copy(what, style);
        QTRY_VERIFY(!owner.copier->busy());
    }

private slots:
    void init() {
        flashes.clear();
        notes.clear();
        ov_pasteboard()->setText(BEFORE);
    }
    void cleanup() {
        jx__alloc_fail_at(0, false);
        drainWorkers();
    }

    // Each command copies the selection's text, empty texts included, and says what it copied.
    void copiesTheSelection_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<uint32_t>("what");
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("flash");
        const uint32_t value = JX_CMD_COPY_VALUE, path = JX_CMD_COPY_PATH, key = JX_CMD_COPY_KEY;
        QTest::newRow("empty value") << QByteArray("{\"k\": \"\"}") << QByteArray("$.k") << value << 0 << "" << "Copied value";
        QTest::newRow("empty key") << QByteArray("{\"\": 1}") << QByteArray("$['']") << key << 0 << "" << "Copied key";
        QTest::newRow("path as JSON Pointer") << QByteArray("{\"a b\": [0]}") << QByteArray("$['a b'][0]") << path << 4
                                              << "/a b/0" << "Copied path";
        QTest::newRow("minified JSON") << QByteArray("{\"b\": [1, {\"c\": null}]}") << QByteArray("$.b")
                                       << uint32_t(JX_CMD_COPY_MINIFIED) << 0 << "[1,{\"c\":null}]" << "Copied minified JSON";
    }
    void copiesTheSelection() {
        QFETCH(QByteArray, json);
        QFETCH(QByteArray, path);
        QFETCH(uint32_t, what);
        QFETCH(int, style);
        QFETCH(QString, text);
        QFETCH(QString, flash);
        PartsOwner owner(viewOf(json));
        listen(owner);
        QVERIFY(selectPath(owner.view, path.constData()));
        copyAndWait(owner, what, style);
        QCOMPARE(ov_pasteboard()->text(), text);
        QCOMPARE(flashes, QStringList{flash});
        QVERIFY(notes.isEmpty());
    }

    // Copy as JSON gives the core's JSON, Copy Value in the Text view the core's lines.
    void copiesWhatTheCoreWrites() {
        PartsOwner owner(viewOf("{\"b\": [1, {\"c\": null, \"\\u00e9\": 'x'}], \"n\": 1.5e3}"));
        listen(owner);
        const QString json = owned([&](size_t *length) { return jx_copy_json(jx_view_doc(owner.view), 0, 1, length); });
        copyAndWait(owner, JX_CMD_COPY_JSON);
        QCOMPARE(ov_pasteboard()->text(), json);
        showLines(owner.view, 1, 3);
        const QString lines = owned([&](size_t *length) { return jx_text_copy(jx_view_text(owner.view), 1, 3, length); });
        copyAndWait(owner, JX_CMD_COPY_VALUE);
        QCOMPARE(ov_pasteboard()->text(), lines);
        QCOMPARE(flashes, (QStringList{"Copied JSON", "Copied lines"}));
    }

    // The root has no path in three styles: the user is told, and the clipboard keeps its text.
    void rootWithoutPath_data() {
        QTest::addColumn<int>("style");
        for (int style : {JX_PATH_JAVASCRIPT, JX_PATH_PYTHON, JX_PATH_POINTER}) QTest::newRow(QByteArray::number(style)) << style;
    }
    void rootWithoutPath() {
        QFETCH(int, style);
        PartsOwner owner(viewOf("{\"a\": 1}"));
        listen(owner);
        owner.copier->copy(JX_CMD_COPY_PATH, style);
        QVERIFY(!owner.copier->busy());
        QCOMPARE(ov_pasteboard()->text(), BEFORE);
        QCOMPARE(flashes, QStringList{"The root has no path in this style."});
        QCOMPARE(notes, QStringList{"message=The root has no path in this style."});
    }

    // Above 256 MiB the copy asks first and copies only on "Copy"; 256 MiB exactly does not ask.
    void asksAboveTheLimit_data() {
        QTest::addColumn<uint64_t>("size");
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("asks");
        QTest::addColumn<bool>("copies");
        QTest::newRow("one byte less") << OVCopier::ASK_ABOVE - 1 << -1 << false << true;
        QTest::newRow("exactly 256 MiB") << OVCopier::ASK_ABOVE << -1 << false << true;
        QTest::newRow("one byte more, Copy") << OVCopier::ASK_ABOVE + 1 << 0 << true << true;
        QTest::newRow("one byte more, Cancel") << OVCopier::ASK_ABOVE + 1 << 1 << true << false;
    }
    void asksAboveTheLimit() {
        QFETCH(uint64_t, size);
        QFETCH(int, answer);
        QFETCH(bool, asks);
        QFETCH(bool, copies);
        PartsOwner owner(viewOf("[\"v\"]"));
        listen(owner);
        QVERIFY(selectPath(owner.view, "$[0]"));
        owner.copier->sizeForTests = [size](uint64_t) { return size; };
        QStringList asked;
        owner.copier->alert = [&](const QString &message, const QStringList &buttons, std::function<void(int)> then) {
            asked << message << buttons;
            then(answer);
        };
        copyAndWait(owner, JX_CMD_COPY_VALUE);
        QCOMPARE(asked, asks ? (QStringList{"Copy 256.0 MB to the clipboard?", "Copy", "Cancel"}) : QStringList());
        QCOMPARE(ov_pasteboard()->text(), copies ? QStringLiteral("v") : BEFORE);
    }

    // A copy that fails for want of memory leaves the clipboard alone and claims nothing.
    void failureSaysNothing() {
        PartsOwner owner(viewOf("{\"b\": [1, 2]}"));
        listen(owner);
        jx__alloc_fail_at(1, true);
        copyAndWait(owner, JX_CMD_COPY_JSON);
        jx__alloc_fail_at(0, false);
        QCOMPARE(ov_pasteboard()->text(), BEFORE);
        QVERIFY(flashes.isEmpty());
    }

    // A new copy drops the running one: only the second reaches the clipboard.
    void newCopyDropsRunningOne() {
        PartsOwner owner(viewOf(bigArray(100000)));
        listen(owner);
        owner.copier->copy(JX_CMD_COPY_JSON, 0);
        const std::shared_ptr<OVJob> first = owner.copier->job();
        QVERIFY(selectPath(owner.view, "$[0]"));
        copyAndWait(owner, JX_CMD_COPY_VALUE);
        QVERIFY(first->cancelled());
        drainWorkers();
        QCOMPARE(ov_pasteboard()->text(), QString(40, QLatin1Char('q')));
        QCOMPARE(flashes, QStringList{"Copied value"});
    }

    // The Text view model a copy reads, while it runs or while its question is up, outlives a new
    // model (which waits) and a reload (which hands the copy the old view); the sanitizers see any
    // read of freed memory.
    void linesOutliveTheirModel_data() {
        QTest::addColumn<bool>("question");
        QTest::addColumn<bool>("reload");
        QTest::addColumn<int>("answer");
        QTest::newRow("running, new model") << false << false << 0;
        QTest::newRow("running, reload") << false << true << 0;
        QTest::newRow("question, new model, Copy") << true << false << 0;
        QTest::newRow("question, new model, Cancel") << true << false << 1;
        QTest::newRow("question, reload, Copy") << true << true << 0;
    }
    void linesOutliveTheirModel() {
        QFETCH(bool, question);
        QFETCH(bool, reload);
        QFETCH(int, answer);
        PartsOwner owner(viewOf(bigArray(200000)));
        listen(owner);
        std::function<void(int)> answerWith;
        owner.copier->alert = [&](const QString &, const QStringList &, std::function<void(int)> then) { answerWith = then; };
        if (question) owner.copier->sizeForTests = [](uint64_t) { return OVCopier::ASK_ABOVE + 1; };
        showLines(owner.view, 0);
        owner.copier->copy(JX_CMD_COPY_VALUE, 0);
        if (question) QTRY_VERIFY(answerWith);
        if (reload) owner.replaceView(viewOf("[1]"));
        else owner.text->build(JX_TEXT_FILE);
        QTRY_VERIFY(!owner.text->job());
        if (owner.copier->busy() && !reload) QCOMPARE(jx_text_mode(jx_view_text(owner.view)), int(JX_TEXT_PRETTY));
        if (question) answerWith(answer);
        QTRY_VERIFY(!owner.text->busy() && !owner.copier->busy());
        if (!reload) QCOMPARE(jx_text_mode(jx_view_text(owner.view)), int(JX_TEXT_FILE));
        QCOMPARE(flashes, answer ? QStringList() : QStringList{"Copied lines"});
        QCOMPARE(ov_pasteboard()->text().endsWith(QStringLiteral("0\n]")), answer == 0);
    }

    // Closing at random moments of copies, searches and builds frees everything they hold.
    void closingMidWork() {
        JxDoc *doc = parseText(bigArray(30000));
        QRandomGenerator random(42);
        for (int i = 0; i < 60; i++) {
            auto owner = std::make_unique<PartsOwner>(jx_view_new(doc));
            if (i % 2) showLines(owner->view, 0);
            owner->copier->copy(i % 3 ? JX_CMD_COPY_VALUE : JX_CMD_COPY_JSON, 0);
            owner->search->startSearch(QStringLiteral("q"), {});
            owner->text->build(i % 2 ? JX_TEXT_FILE : JX_TEXT_PRETTY);
            if (const int ms = int(random.bounded(12))) QTest::qWait(ms);
            owner.reset();
        }
        jx_doc_release(doc);
    }
};

QTEST_MAIN(CopierTest)
#include "copier_test.moc"
