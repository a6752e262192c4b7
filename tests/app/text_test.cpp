#include "options.h"
#include "pasteboard.h"
#include "text.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QtTest>

class TextTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Script mode before the first ov_pasteboard(): the pasteboard is chosen once.
        ov_options().scriptPath = QStringLiteral("script.txt");
    }

    void bytesBecomeText() {
        const QString R(QChar(0xFFFD));
        const struct {
            QByteArray bytes;
            QString text;
        } cases[] = {
            {"", ""},
            {"plain", "plain"},
            {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", QString::fromUtf8("café € 😀")},
            {"A\xFF" "B", "A" + R + "B"},
            {"\x80", R},
            {"\xC3", R},                                   // cut off at the end
            {"\xE2\x82" "A", R + R + "A"},                 // cut off before the next character
            {"\xC0\xAF", R + R},                           // overlong
            {"\xED\xA0\x80", R + R + R},                   // an encoded surrogate
            {"\xF4\x90\x80\x80", R + R + R + R},           // above U+10FFFF
            {"x\xF0\x9F\x98\x80\xFFy", "x" + QString::fromUtf8("😀") + R + "y"},
            {QByteArray("a\0b", 3), QString::fromLatin1("a\0b", 3)},
        };
        for (const auto &c : cases)
            QCOMPARE(ov_string(c.bytes.constData(), size_t(c.bytes.size())), c.text);
        QCOMPARE(ov_string(nullptr, 3), QString());
        QCOMPARE(ov_cstring(nullptr), QString());
        QCOMPARE(ov_cstring("\xE2\x82\xAC!"), QString::fromUtf8("€!"));
    }

    void formatsTextsOfAnyLength() {
        QCOMPARE(ov_format("%s %d", "files", 3), QStringLiteral("files 3"));
        for (int length : {510, 511, 512, 513, 5000}) {
            QByteArray long_(length, 'x');
            QString text = ov_format("[%s]", long_.constData());
            QCOMPARE(text.size(), length + 2);
            QVERIFY(text.startsWith(u'[') && text.endsWith(u']'));
        }
        QCOMPARE(ov_format("%s", "bad \xFF byte"), QStringLiteral("bad \uFFFD byte"));
    }

    // A script must never read or change the user's clipboard.
    void scriptsHaveAPrivatePasteboard() {
        QGuiApplication::clipboard()->setText(QStringLiteral("the user's"));
        OVPasteboard *board = ov_pasteboard();
        QVERIFY(board->isPrivate());
        QCOMPARE(board, ov_pasteboard());
        QCOMPARE(board->text(), QString());
        board->setText(QStringLiteral("the script's"));
        QCOMPARE(board->text(), QStringLiteral("the script's"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("the user's"));
        board->clear();
        QCOMPARE(board->text(), QString());

        OVPasteboard desktop(false);
        desktop.setText(QStringLiteral("copied"));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("copied"));
        QCOMPARE(desktop.text(), QStringLiteral("copied"));
    }
};

QTEST_MAIN(TextTest)
#include "text_test.moc"
