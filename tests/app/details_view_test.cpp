// The inspector pane: the head at once and the rest later, only for the selection still shown;
// rebuilding only when something changed; the head alone while the width changes; colours.
#include "doc_fixture.h"
#include "details_view.h"
#include "theme.h"

#include <QDir>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextCursor>
#include <QtTest>

#include <cstdlib>

#include <jx/path.h>
#include <jx/view.h>

namespace {

struct Inspected {
    JxView *view = nullptr;
    explicit Inspected(const QByteArray &json) {
        JxDoc *doc = parseText(json);
        view = jx_view_new(doc);
        jx_doc_release(doc);
    }
    ~Inspected() { jx_view_free(view); }
    void select(const QByteArray &path) {
        char err[256];
        QVERIFY(jx_view_goto(view, path.constData(), size_t(path.size()), err, sizeof err));
    }
    // The whole inspector text of the selection, as the core gives it.
    QByteArray full(int style = JX_PATH_JSONPATH) const {
        size_t length = 0;
        char *text = jx_view_inspect(view, style, &length);
        QByteArray bytes(text, qsizetype(length));
        std::free(text);
        return bytes;
    }
};

bool continues(const QByteArray &bytes, qsizetype at) {
    return at < bytes.size() && (uchar(bytes[at]) & 0xC0) == 0x80;
}

} // namespace

class InspectorTest : public QObject {
    Q_OBJECT
    std::unique_ptr<OVInspectorView> pane;

private slots:
    void init() {
        OVTheme::applyTheme(2);
        pane = std::make_unique<OVInspectorView>();
        pane->resize(420, 300);
        pane->show();
    }
    void cleanup() { pane.reset(); }

    // At most 8192 bytes at once, never half a character; the rest 300 ms later.
    void headThenRest_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<bool>("split");
        QTest::newRow("ASCII") << QByteArray(9900, 'a') << false;
        QByteArray euros;
        for (int i = 0; i < 3300; i++) euros += "\xE2\x82\xAC";
        QTest::newRow("three-byte character across the cut") << euros << true;
        QTest::newRow("short") << QByteArray(100, 'a') << false;
    }
    void headThenRest() {
        QFETCH(QByteArray, value);
        QFETCH(bool, split);
        QByteArray full;
        std::unique_ptr<Inspected> doc;
        // A prefix of 0 to 2 bytes moves a character across byte 8192 when the test asks for one.
        for (int prefix = 0; prefix < 3; prefix++) {
            doc = std::make_unique<Inspected>("[\"" + QByteArray(prefix, 'x') + value + "\"]");
            doc->select("$[0]");
            full = doc->full();
            if (continues(full, OVInspectorView::HEAD_BYTES) == split) break;
        }
        QCOMPARE(continues(full, OVInspectorView::HEAD_BYTES), split);
        QElapsedTimer clock;
        clock.start();
        pane->inspect(doc->view, JX_PATH_JSONPATH);
        const QByteArray head = pane->head();
        QVERIFY(full.startsWith(head));
        QVERIFY(head.size() <= OVInspectorView::HEAD_BYTES);
        QCOMPARE(head.size() == OVInspectorView::HEAD_BYTES, full.size() > OVInspectorView::HEAD_BYTES && !split);
        QVERIFY(head.size() == full.size() || (head.size() > OVInspectorView::HEAD_BYTES - 4 && !continues(full, head.size())));
        QCOMPARE(pane->toPlainText(), QString::fromUtf8(head));
        if (head.size() == full.size()) return;
        QTRY_VERIFY(pane->restShown());
        QVERIFY(clock.elapsed() >= OVInspectorView::REST_DELAY_MS - 5);
        QCOMPARE(pane->toPlainText(), QString::fromUtf8(full));
    }

    // A value written in more than WORKER_BYTES gets its text on a worker, and a long rest joins a
    // slice at a time, whole characters each; a newer selection drops the text being made and
    // leaves the long text's document to be emptied later.
    void largeValuesOnAWorker() {
        QByteArray json = "{\"big\": [";
        for (int i = 0; json.size() < 300000; i++) json += (i ? ",\"" : "\"") + QByteArray::number(i) + " \xE2\x82\xAC\"";
        Inspected doc(json + "], \"small\": 1}");
        doc.select("$.big");
        QCOMPARE(pane->cursorWidth(), 0); // read-only: no insertion point drawn
        QSignalSpy idle(pane.get(), &OVInspectorView::idle);
        pane->inspect(doc.view, JX_PATH_JSONPATH);
        QVERIFY(pane->busy());
        QTRY_VERIFY(!pane->busy());
        QCOMPARE(idle.size(), 1);
        const QByteArray full = doc.full();
        QVERIFY(full.size() > 4 * OVInspectorView::REST_SLICE);
        QCOMPARE(pane->head() + pane->rest(), full);
        int slices = 0;
        connect(pane->document(), &QTextDocument::contentsChange, this, [&] { slices++; });
        QTRY_VERIFY(pane->restShown());
        QVERIFY(slices >= (full.size() - OVInspectorView::HEAD_BYTES) / OVInspectorView::REST_SLICE);
        QCOMPARE(pane->toPlainText(), QString::fromUtf8(full));

        // Leaving it swaps in a fresh document with the same wrapping; the old one empties later.
        const QPointer<QTextDocument> old = pane->document();
        const QTextOption::WrapMode wrap = pane->wordWrapMode();
        pane->invalidate();
        pane->inspect(doc.view, JX_PATH_JSONPATH);
        QVERIFY(pane->busy());
        doc.select("$.small");
        pane->inspect(doc.view, JX_PATH_JSONPATH);
        QVERIFY(!pane->busy());
        QCOMPARE(pane->head(), doc.full());
        QVERIFY(pane->document() != old);
        QCOMPARE(pane->wordWrapMode(), wrap);
        QCOMPARE(pane->cursorWidth(), 0);
        QCOMPARE(pane->toPlainText(), QString::fromUtf8(doc.full()));
        QTRY_VERIFY(old.isNull());
        QTRY_COMPARE(idle.size(), 2);
        QTest::qWait(50);
        QCOMPARE(pane->head(), doc.full());
    }

    // Moving faster than the delay never lays out a rest, not even the one of an earlier row.
    void quickMovesOnlyLayOutHeads() {
        QByteArray json = "[";
        for (char c = 'a'; c < 'f'; c++) json += "\"" + QByteArray(20000, c) + "\",";
        Inspected doc(json + "0]");
        QElapsedTimer since;
        for (int i = 0; i < 5; i++) {
            doc.select("$[" + QByteArray::number(i) + "]");
            pane->inspect(doc.view, JX_PATH_JSONPATH);
            since.start();
            QTest::qWait(60);
            if (since.elapsed() < OVInspectorView::REST_DELAY_MS)
                QCOMPARE(pane->toPlainText(), QString::fromUtf8(pane->head()));
        }
        QTRY_VERIFY(pane->restShown());
        QCOMPARE(pane->toPlainText(), QString::fromUtf8(doc.full()));
    }

    // Only a new node, style, view or an invalidation rebuilds; a hidden pane only remembers.
    void rebuildsOnlyOnChange() {
        Inspected doc("{\"a\": 1, \"b\": [2]}");
        Inspected other("[3]");
        QSignalSpy laidOut(pane->document(), &QTextDocument::contentsChanged);
        struct Step {
            const char *what;
            std::function<void()> change;
            JxView *view;
            int style;
            bool rebuilds;
        };
        const Step steps[] = {
            {"first", [] {}, doc.view, JX_PATH_JSONPATH, true},
            {"same", [] {}, doc.view, JX_PATH_JSONPATH, false},
            {"other node", [&] { doc.select("$.b"); }, doc.view, JX_PATH_JSONPATH, true},
            {"other style", [] {}, doc.view, JX_PATH_POINTER, true},
            {"other view", [] {}, other.view, JX_PATH_POINTER, true},
            {"invalidated", [&] { pane->invalidate(); }, other.view, JX_PATH_POINTER, true},
            {"font", [&] { pane->fontChanged(); }, other.view, JX_PATH_POINTER, true},
            {"hidden", [&] { pane->hide(); }, doc.view, JX_PATH_JSONPATH, false},
            {"shown again", [&] { pane->show(); }, doc.view, JX_PATH_JSONPATH, true},
        };
        for (const Step &step : steps) {
            laidOut.clear();
            step.change();
            pane->inspect(step.view, step.style);
            QVERIFY2(laidOut.isEmpty() != step.rebuilds, step.what);
        }
        QVERIFY(pane->toPlainText().contains(QStringLiteral("$.b")));
    }

    // A new width puts back the head alone and the rest 300 ms later; a new height changes nothing.
    void widthChangeLaysOutHeadOnly() {
        Inspected doc("[\"" + QByteArray(30000, 'w') + "\"]");
        doc.select("$[0]");
        pane->inspect(doc.view, JX_PATH_JSONPATH);
        QTRY_VERIFY(pane->restShown());
        const QString full = QString::fromUtf8(doc.full());
        pane->resize(pane->width(), pane->height() + 40);
        QCOMPARE(pane->toPlainText(), full);
        pane->resize(pane->width() + 40, pane->height());
        QCOMPARE(pane->toPlainText(), QString::fromUtf8(pane->head()));
        QTRY_VERIFY(pane->restShown());
        QCOMPARE(pane->toPlainText(), full);
    }

    // The first line in role 5, the rest in role 4, in both appearances, as drawn.
    void colours() {
        Inspected doc("{\"key\": [1, 2, {\"deep\": \"text\"}]}");
        doc.select("$.key");
        pane->inspect(doc.view, JX_PATH_JSONPATH);
        for (int theme : {2, 1}) {
            OVTheme::applyTheme(theme);
            QCoreApplication::processEvents();
            QTextCursor at(pane->document()->firstBlock());
            at.movePosition(QTextCursor::NextCharacter);
            QCOMPARE(at.charFormat().foreground().color(), OVTheme::color(5));
            at.setPosition(pane->document()->findBlockByNumber(1).position() + 1);
            QCOMPARE(at.charFormat().foreground().style(), Qt::NoBrush);
            QCOMPARE(pane->palette().color(QPalette::Text), OVTheme::color(4));
            QCOMPARE(pane->palette().color(QPalette::Base), OVTheme::color(0));
            QDir().mkpath(QStringLiteral(ORVEL_SCREENS));
            pane->grab().save(QStringLiteral(ORVEL_SCREENS "/linux-details-%1.png").arg(theme == 1 ? "dark" : "light"));
        }
    }
};

QTEST_MAIN(InspectorTest)
#include "details_view_test.moc"
