// Opening the clipboard as a document: its three outcomes, and overlapping opens.
#include "delegate_fixture.h"
#include "pasteboard.h"

#include <QSignalSpy>

#include <alloc.h>
#include <jx/problem.h>

class ClipboardTest : public QObject {
    Q_OBJECT
    std::unique_ptr<OVAppDelegate> delegate;

    // Opens text from the clipboard and waits; answers the window the block got.
    OVDocWindow *open(const QByteArray &text) {
        ov_pasteboard()->setText(QString::fromUtf8(text));
        bool called = false;
        OVDocWindow *got = nullptr;
        delegate->openClipboardThen([&](OVDocWindow *window) {
            called = true;
            got = window;
        });
        [&] { QTRY_VERIFY(called); }();
        return got;
    }

private slots:
    void init() {
        delegate = std::make_unique<OVAppDelegate>();
        delegate->applicationWillFinishLaunching();
    }
    void cleanup() {
        jx__alloc_fail_at(0, false);
        closeEverything(*delegate);
        delegate.reset();
    }

    void opensJSON_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("object") << QByteArray("{\"a\": [1, 2]}");
        QTest::newRow("scalar") << QByteArray("42");
        // Records with a bad line still open: the good records are worth showing.
        QTest::newRow("JSON Lines with a bad line") << QByteArray("{\"a\": 1}\n{bad\n{\"b\": 2}\n");
    }
    void opensJSON() {
        QFETCH(QByteArray, text);
        QSignalSpy noted(delegate.get(), &OVAppDelegate::noted);
        OVDocWindow *window = open(text);
        QVERIFY(window);
        QCOMPARE(window->windowTitle(), QStringLiteral("Clipboard 1"));
        QCOMPARE(window->path(), QString());
        QVERIFY(!window->statusText().isEmpty());
        QCOMPARE(delegate->windows(), QList<OVDocWindow *>{window});
        QVERIFY(alerts().isEmpty());
        QCOMPARE(noted.size(), 0);
        QVERIFY(logText().contains(QStringLiteral("opened the clipboard as Clipboard 1\n")));
        QVERIFY(!delegate->clipboardBusy());
    }

    void refusesWhatIsNotJSON_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("blank") << QByteArray(" \n\t");
        QTest::newRow("broken value") << QByteArray("{\"a\": [1, 2}");
        QTest::newRow("bad literal") << QByteArray("tru");
    }
    void refusesWhatIsNotJSON() {
        QFETCH(QByteArray, text);
        // The message names the first problem the core finds, or that there is nothing.
        JxDoc *doc = parseText(text);
        const jx_problem *problem = jx_doc_error(doc, 0);
        const QString expected = problem
            ? QStringLiteral("The clipboard does not hold JSON: %1 (line %2, column %3).").arg(QString::fromUtf8(problem->message)).arg(problem->line).arg(problem->column)
            : QStringLiteral("The clipboard does not hold JSON: it is empty (line 1, column 1).");
        jx_doc_release(doc);
        if (text.trimmed().isEmpty())
            QVERIFY(expected.contains(QStringLiteral("it is empty")));
        QSignalSpy noted(delegate.get(), &OVAppDelegate::noted);
        QCOMPARE(open(text), nullptr);
        QVERIFY(delegate->windows().isEmpty());
        QCOMPARE(noted.size(), 1);
        QCOMPARE(noted[0][0].toString(), QStringLiteral("message=") + expected);
        QVERIFY(logText().contains(QStringLiteral("clipboard: ") + expected + QLatin1Char('\n')));
    }

    void reportsShortMemory() {
        delegate->showStartWindow(); // the alert needs a window to sit on
        jx__alloc_fail_at(1, true);
        QSignalSpy noted(delegate.get(), &OVAppDelegate::noted);
        QCOMPARE(open("[1]"), nullptr);
        jx__alloc_fail_at(0, false);
        const QString message = QStringLiteral("Could not open \"Clipboard\": there is not enough memory.");
        QCOMPARE(noted.size(), 1);
        QCOMPARE(noted[0][0].toString(), QStringLiteral("open-error=") + message);
        QCOMPARE(alerts().size(), 1);
        QCOMPARE(alerts()[0]->text(), message);
        QVERIFY(delegate->startWindow()); // nothing opened, so it stays
    }

    // Several opens in flight: the idle work waits for the last one, and numbers count up.
    void overlappingOpens() {
        QStringList events;
        const QByteArray texts[] = {"[1]", "{oops", "{\"c\": 3}"};
        for (const QByteArray &text : texts) {
            ov_pasteboard()->setText(QString::fromUtf8(text));
            delegate->openClipboardThen([&events](OVDocWindow *window) {
                events.append(window ? window->windowTitle() : QStringLiteral("refused"));
            });
        }
        QVERIFY(delegate->clipboardBusy());
        delegate->whenClipboardIdle([&] {
            events.append(QStringLiteral("idle"));
            QVERIFY(!delegate->clipboardBusy());
        });
        QTRY_VERIFY(events.contains(QStringLiteral("idle")));
        QCOMPARE(events.size(), 4);
        QCOMPARE(events.last(), QStringLiteral("idle"));
        events.removeLast();
        events.sort();
        QCOMPARE(events, QStringList({"Clipboard 1", "Clipboard 2", "refused"}));
        // When idle, the work runs at once.
        bool ran = false;
        delegate->whenClipboardIdle([&ran] { ran = true; });
        QVERIFY(ran);
    }
};

QTEST_MAIN(ClipboardTest)
#include "clipboard_test.moc"
