#include "bar.h"
#include "error_bar.h"
#include "label.h"
#include "note_bar.h"
#include "progress_line.h"
#include "status_bar.h"
#include "text_button.h"
#include "theme.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QFontMetricsF>
#include <QtTest>

#include <cmath>

namespace {

QImage image_of(QWidget *w) { return w->grab().toImage(); }

QRgb role(int r) { return OVTheme::color(r).rgb(); }

class CountingBar : public OVBar {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *e) override {
        paints++;
        OVBar::paintEvent(e);
    }
};

// Every bar as the document window stacks them, with texts long enough to show truncation, for
// the screenshots.
class Stack : public QWidget {
public:
    Stack() {
        resize(640, 36 + 24 + 30 + 30 + 70 + 22 + 22);
        int y = 0;
        auto *top = new OVBar(this);
        top->setGeometry(0, y, width(), 36);
        auto *title = new OVLabel(top);
        title->setText(QStringLiteral("A plain bar: fill 1, edge at the bottom; the progress line lies on the edge"));
        title->setGeometry(12, 0, width() - 24, 35);
        progress = new OVProgressLine(this);
        progress->setGeometry(0, 34, width(), 2);
        progress->setFraction(0.45);
        y += 36;
        note = new OVNoteBar(this);
        note->setGeometry(0, y, width(), 24);
        note->setText(QStringLiteral("Invalid regular expression: missing closing parenthesis at offset 7"));
        y += 24;
        records = new OVErrorBar(this);
        records->setGeometry(0, y, width(), 30);
        records->setText(QStringLiteral("3 problems. Record 12: unexpected character 'x'"));
        records->setShowsNextProblem(true);
        y += 30;
        text = new OVErrorBar(this);
        text->setGeometry(0, y, width(), 30);
        text->setText(QStringLiteral("1 problem. Line 48,213: expected ',' or '}' after a value in an object, "
                                     "and this message goes on until it has to be cut"));
        text->setShowsShowInText(true);
        QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
        QCoreApplication::sendEvent(text->showButton(), &enter); // hovered: underlined
        y += 30;
        auto *content = new OVBar(this);
        content->setFill(0);
        content->setEdge(OVBar::NoEdge);
        content->setGeometry(0, y, width(), 70);
        auto *empty = new OVLabel(content);
        empty->setText(QStringLiteral("This file is empty."));
        empty->setTone(5);
        empty->setFont(OVTheme::uiFont(15));
        empty->setAlignment(OVLabel::Centre);
        empty->setGeometry(0, 0, width(), 70);
        y += 70;
        status = new OVStatusBar(this);
        status->setGeometry(0, y, width(), 22);
        status->setLeft(QString::fromUtf8("12.4 MB \xC2\xB7 120,000 values \xC2\xB7 JSON \xC2\xB7 84 ms"));
        status->setRight(QString::fromUtf8("$.items[3].name \xC2\xB7 string \xC2\xB7 12 characters"));
        y += 22;
        flashing = new OVStatusBar(this);
        flashing->setGeometry(0, y, width(), 22);
        flashing->setLeft(QStringLiteral("Reading 1.2 GB\u2026 37%"));
        flashing->flash(QStringLiteral("Reloaded 12:34:56"));
    }
    OVProgressLine *progress;
    OVNoteBar *note;
    OVErrorBar *records, *text;
    OVStatusBar *status, *flashing;
};

} // namespace

class BarsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { OVTheme::applyTheme(2); }
    void cleanupTestCase() { OVTheme::applyTheme(0); }

    void barsFillAndDrawTheirEdge_data() {
        QTest::addColumn<int>("edge");
        QTest::addColumn<bool>("dark");
        for (bool dark : {false, true}) {
            QTest::addRow("none %d", dark) << 0 << dark;
            QTest::addRow("top %d", dark) << 1 << dark;
            QTest::addRow("bottom %d", dark) << 2 << dark;
        }
    }
    void barsFillAndDrawTheirEdge() {
        QFETCH(int, edge);
        QFETCH(bool, dark);
        OVTheme::applyTheme(dark ? 1 : 2);
        OVBar bar;
        bar.setFill(17);
        bar.setEdge(edge);
        bar.resize(50, 10);
        const QImage img = image_of(&bar);
        for (int y = 0; y < 10; y++) {
            const bool line = (edge == 1 && y == 0) || (edge == 2 && y == 9);
            for (int x : {0, 25, 49}) QCOMPARE(img.pixel(x, y), role(line ? 2 : 17));
        }
    }

    // A palette change alone (the desktop switching appearance) must redraw in the new colours.
    void barsFollowTheAppearance() {
        CountingBar bar;
        bar.resize(100, 22);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QTRY_VERIFY(bar.paints > 0);
        const int before = bar.paints;
        OVTheme::applyTheme(1);
        QTRY_VERIFY(bar.paints > before);
        QCOMPARE(image_of(&bar).pixel(50, 10), OVTheme::color(1, true).rgb());
    }

    void progressLineClampsAndFillsFromTheLeft_data() {
        QTest::addColumn<double>("given");
        QTest::addColumn<double>("fraction");
        QTest::addColumn<int>("filled");
        QTest::newRow("below 0") << -0.5 << 0.0 << 0;
        QTest::newRow("not a number") << std::nan("") << 0.0 << 0;
        QTest::newRow("part, rounded down") << 0.337 << 0.337 << 33;
        QTest::newRow("above 1") << 7.0 << 1.0 << 100;
    }
    void progressLineClampsAndFillsFromTheLeft() {
        QFETCH(double, given);
        QFETCH(double, fraction);
        QFETCH(int, filled);
        OVBar back; // the line draws only its filled part over what is below
        back.resize(100, 2);
        OVProgressLine line(&back);
        line.resize(100, 2);
        line.setFraction(given);
        QCOMPARE(line.fraction(), fraction);
        const QImage img = image_of(&back);
        for (int x = 0; x < 100; x++) QCOMPARE(img.pixel(x, 1) == role(7), x < filled);
        QVERIFY(line.testAttribute(Qt::WA_TransparentForMouseEvents));
    }

    void textButtonActsOnReleaseInside() {
        OVTextButton button(QStringLiteral("Next problem"), 16);
        button.resize(button.fittingWidth(), 29);
        QCOMPARE(button.fittingWidth(),
                 int(std::ceil(QFontMetricsF(button.textFont()).horizontalAdvance(button.title()))) + 4);
        int clicks = 0;
        button.action = [&] { clicks++; };
        const QPoint inside(5, 10), outside(button.width() + 20, 10);
        QTest::mousePress(&button, Qt::LeftButton, {}, inside);
        QCOMPARE(clicks, 0);
        QTest::mouseRelease(&button, Qt::LeftButton, {}, inside);
        QCOMPARE(clicks, 1);
        QTest::mousePress(&button, Qt::LeftButton, {}, inside);
        QTest::mouseRelease(&button, Qt::LeftButton, {}, outside);
        QCOMPARE(clicks, 1);
        QCOMPARE(button.cursor().shape(), Qt::PointingHandCursor);
        QCOMPARE(button.focusPolicy(), Qt::NoFocus);
    }

    // Right to left from 10 points before the edge: the close button, then the offered problem
    // buttons 14 points apart; the message gets the rest less 12 points each side.
    void errorBarLaysOutItsButtons_data() {
        QTest::addColumn<bool>("next");
        QTest::addColumn<bool>("show");
        QTest::newRow("neither") << false << false;
        QTest::newRow("next problem") << true << false;
        QTest::newRow("show in text") << false << true;
        QTest::newRow("both") << true << true;
    }
    void errorBarLaysOutItsButtons() {
        QFETCH(bool, next);
        QFETCH(bool, show);
        OVErrorBar bar;
        bar.resize(600, 30);
        bar.show(); // hidden widgets get their resize events only when shown
        bar.setShowsNextProblem(next);
        bar.setShowsShowInText(show);
        OVTextButton *close = bar.closeButton();
        int x = 600 - 10 - (close->fittingWidth() + 6);
        QCOMPARE(close->geometry(), QRect(x, 0, close->fittingWidth() + 6, 29));
        for (auto [button, shown] : {std::pair{bar.nextButton(), next}, std::pair{bar.showButton(), show}}) {
            QCOMPARE(button->isVisibleTo(&bar), shown);
            if (!shown) continue;
            x -= button->fittingWidth() + 14;
            QCOMPARE(button->geometry(), QRect(x, 0, button->fittingWidth(), 29));
        }
        QCOMPARE(bar.label()->geometry(), QRect(12, 0, x - 24, 29));
        bar.resize(20, 30); // narrower than the buttons: the message shrinks to nothing, not below
        QCOMPARE(bar.label()->width(), 0);
    }

    void errorBarShowsTheWarningAndCallsItsBlocks() {
        OVErrorBar bar;
        bar.resize(600, 30);
        QCOMPARE(bar.fill(), 17);
        QCOMPARE(bar.edge(), 2);
        bar.setText(QStringLiteral("2 problems"));
        QCOMPARE(bar.text(), QStringLiteral("2 problems"));
        QCOMPARE(bar.label()->text(), QStringLiteral("⚠  2 problems"));
        QCOMPARE(bar.nextButton()->title(), QStringLiteral("Next problem"));
        QCOMPARE(bar.showButton()->title(), QStringLiteral("Show in text"));
        QCOMPARE(bar.closeButton()->title(), QStringLiteral("✕"));
        QCOMPARE(bar.closeButton()->toolTip(), QStringLiteral("Hide until the file is read again"));
        QStringList calls;
        bar.setShowsNextProblem(true);
        bar.setShowsShowInText(true);
        // Blocks set after the buttons were made are the ones called; unset ones do nothing.
        for (OVTextButton *b : {bar.nextButton(), bar.showButton(), bar.closeButton()})
            QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(3, 10));
        bar.onNextProblem = [&] { calls << QStringLiteral("next"); };
        bar.onShowInText = [&] { calls << QStringLiteral("show"); };
        bar.onClose = [&] { calls << QStringLiteral("close"); };
        for (OVTextButton *b : {bar.nextButton(), bar.showButton(), bar.closeButton()})
            QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(3, 10));
        QCOMPARE(calls, QStringList({"next", "show", "close"}));
        for (OVTextButton *b : {bar.nextButton(), bar.showButton(), bar.closeButton()}) QCOMPARE(b->tone(), 16);
    }

    void noteBarKeepsItsMargins() {
        OVNoteBar bar;
        bar.show();
        bar.setText(QStringLiteral("No match"));
        for (auto [width, labelWidth] : {std::pair{400, 376}, std::pair{24, 0}, std::pair{10, 0}}) {
            bar.resize(width, 24);
            QCOMPARE(bar.label()->geometry(), QRect(12, 0, labelWidth, 24));
        }
        QCOMPARE(bar.label()->tone(), 16);
    }

    // The left text takes what it needs up to 62 % of the bar less 10; the right one starts 26
    // points after the left one's width and ends 10 points before the edge.
    void statusBarLaysOutItsTexts_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("left");
        QTest::newRow("short") << 600 << QStringLiteral("1 KB");
        QTest::newRow("long") << 300 << QStringLiteral("a status line far too long for the bar it is shown in");
        QTest::newRow("narrow") << 10 << QStringLiteral("1 KB");
    }
    void statusBarLaysOutItsTexts() {
        QFETCH(int, width);
        QFETCH(QString, left);
        OVStatusBar bar;
        bar.show();
        bar.resize(width, 22);
        bar.setLeft(left);
        const int lw = std::min(bar.leftLabel()->textWidth() + 4, std::max(int(width * 0.62 - 10), 0));
        QCOMPARE(bar.leftLabel()->geometry(), QRect(10, 1, lw, 21));
        QCOMPARE(bar.rightLabel()->geometry(), QRect(lw + 26, 1, std::max(width - 10 - (lw + 26), 0), 21));
        QCOMPARE(bar.rightLabel()->alignment(), int(OVLabel::Right));
    }

    // Two flashes a second apart: the second stays its full 2 seconds (the first one's fade never
    // runs), then fades and gives the right side back to the selection text set meanwhile.
    void flashesRestartAndNeverLoseTheRightText() {
        OVStatusBar bar;
        bar.resize(500, 22);
        bar.setRight(QStringLiteral("selection"));
        QElapsedTimer clock;
        clock.start();
        bar.flash(QStringLiteral("first"));
        QCOMPARE(bar.rightLabel()->tone(), 4);
        QTest::qWait(1000);
        bar.flash(QStringLiteral("second"));
        const qint64 second = clock.elapsed();
        bar.setRight(QStringLiteral("new selection"));
        QCOMPARE(bar.rightLabel()->text(), QStringLiteral("second"));
        // Until 2 s after the second flash it shows at full opacity.
        while (clock.elapsed() < second + OVStatusBar::FLASH_MS - 100) {
            QTest::qWait(50);
            QCOMPARE(bar.rightOpacity(), 1.0);
            QCOMPARE(bar.rightLabel()->text(), QStringLiteral("second"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(bar.rightOpacity() < 1.0, 1000);
        QTRY_VERIFY_WITH_TIMEOUT(!bar.flashing(), 2000);
        QVERIFY2(clock.elapsed() >= second + OVStatusBar::FLASH_MS + OVStatusBar::FADE_MS - 20,
                 qPrintable(QStringLiteral("%1 %2").arg(second).arg(clock.elapsed())));
        QCOMPARE(bar.rightLabel()->text(), QStringLiteral("new selection"));
        QCOMPARE(bar.rightLabel()->tone(), 5);
        QCOMPARE(bar.rightOpacity(), 1.0);
    }

    // A flash during a fade takes the label back at full opacity.
    void flashDuringAFadeShowsAtOnce() {
        OVStatusBar bar;
        bar.resize(500, 22);
        bar.flash(QStringLiteral("one"));
        QTRY_VERIFY_WITH_TIMEOUT(bar.rightOpacity() < 0.9, 3000);
        bar.flash(QStringLiteral("two"));
        QCOMPARE(bar.rightOpacity(), 1.0);
        QTest::qWait(OVStatusBar::FADE_MS + 100); // the old fade's end must not end the new flash
        QVERIFY(bar.flashing());
        QCOMPARE(bar.rightLabel()->text(), QStringLiteral("two"));
        QCOMPARE(bar.rightOpacity(), 1.0);
    }

    void screenshots() {
        QDir().mkpath(QStringLiteral(ORVEL_SCREENS));
        for (int theme : {2, 1}) {
            OVTheme::applyTheme(theme);
            Stack stack;
            const QImage img = image_of(&stack);
            // Spot checks of the 1-point edges: under the note bar, above the status bar.
            QCOMPARE(img.pixel(300, 36 + 23), role(2));
            QCOMPARE(img.pixel(300, stack.status->y()), role(2));
            QCOMPARE(img.pixel(10, 35), role(7));
            const QString name = theme == 1 ? "dark" : "light";
            QVERIFY(img.save(QStringLiteral(ORVEL_SCREENS "/linux-bars-%1.png").arg(name)));
        }
    }
};

QTEST_MAIN(BarsTest)
#include "bars_test.moc"
