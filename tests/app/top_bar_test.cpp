// The top bar and its crumbs: fitting the crumbs into the width, the search controls giving way
// as the bar narrows, and what each field and control reports to the window.
#include "crumb_bar.h"
#include "label.h"
#include "theme.h"
#include "top_bar.h"
#include "top_bar_owner.h"

#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <utility>

namespace {

const QString MARK = QStringLiteral("…");

// Records every call as one line, so that a test compares what the window was told, in order.
class FakeOwner : public OVTopBarOwner {
public:
    QStringList labels, calls;
    int reloads = 0;

    uint32_t crumbCount() override { return reloads++, uint32_t(labels.size()); }
    QString crumbLabel(uint32_t index) override { return labels.value(int(index)); }
    void crumbClicked(uint32_t index) override { calls << QStringLiteral("crumbClicked %1").arg(index); }
    void viewSwitched(int segment) override { calls << QStringLiteral("viewSwitched %1").arg(segment); }
    void pathEntered(const QString &text) override { calls << QStringLiteral("pathEntered ") + text; }
    void pathCancelled() override { calls << QStringLiteral("pathCancelled"); }
    void pathEdited() override { calls << QStringLiteral("pathEdited"); }
    void searchTextChanged() override { calls << QStringLiteral("searchTextChanged"); }
    void searchEntered(bool backward) override { calls << QStringLiteral("searchEntered %1").arg(backward); }
    void searchCancelled() override { calls << QStringLiteral("searchCancelled"); }
    void searchOptionsChanged() override { calls << QStringLiteral("searchOptionsChanged"); }
    void searchStep(bool backward) override { calls << QStringLiteral("searchStep %1").arg(backward); }
};

QStringList texts_of(const OVCrumbBar &bar) {
    QStringList texts;
    for (int slot = 0; slot < bar.slotCount(); slot++) texts << bar.slotText(slot);
    return texts;
}

void send_mouse(QWidget *w, QEvent::Type type, int x) {
    const QPointF at(x, w->height() / 2);
    const Qt::MouseButtons held = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, w->mapToGlobal(at), Qt::LeftButton, held, {});
    QCoreApplication::sendEvent(w, &event);
}

QRect in_bar(const OVTopBar &bar, QWidget *w) { return QRect(w->mapTo(&bar, QPoint()), w->size()); }

} // namespace

class TopBarTest : public QObject {
    Q_OBJECT
private slots:
    void init() { OVTheme::applyTheme(2); }
    void cleanupTestCase() { OVTheme::applyTheme(0); }

    void crumbsFitFromTheSelectedNode_data() {
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<int>("width");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<int>("selectedWidth"); // -1: the label's own width
        // 80 graphemes of one, two (a letter and a combining accent) and four UTF-16 units.
        const QString k80(80, 'k'), e80 = QStringLiteral("e\u0301").repeated(80);
        const QString f80 = QStringLiteral("🇫🇷").repeated(80);
        auto under = [](const QString &label) { return QStringList{"root", label}; };
        const QStringList three{"root", "a", "[3]"};
        QTest::newRow("all fit") << three << 400 << three << -1;
        QTest::newRow("narrower than the selected crumb")
            << QStringList{"root", "a", "a_long_key"} << 30 << QStringList{MARK, "a_long_key"} << 20;
        QTest::newRow("the root alone, narrower") << QStringList{"root"} << 5 << QStringList{"root"} << 20;
        QTest::newRow("ancestors elided")
            << QStringList{"root", QString(30, 'x'), "b", "c"} << 150 << QStringList{MARK, "b", "c"} << -1;
        QTest::newRow("100 characters") << under(QString(100, 'k')) << 1000 << under(k80 + MARK) << 260;
        QTest::newRow("80 characters, whole") << under(k80) << 1000 << under(k80) << 260;
        QTest::newRow("accents") << under(e80 + e80) << 2000 << under(e80 + MARK) << -1;
        QTest::newRow("flags") << under(f80 + "🇫🇷") << 2000 << under(f80 + MARK) << -1;
    }

    void crumbsFitFromTheSelectedNode() {
        QFETCH(QStringList, labels);
        QFETCH(int, width);
        QFETCH(QStringList, shown);
        QFETCH(int, selectedWidth);
        FakeOwner owner;
        owner.labels = labels;
        OVCrumbBar bar(&owner);
        bar.resize(width, 35);
        bar.reload();
        QCOMPARE(texts_of(bar), shown);
        const int sep = bar.widthOf(QStringLiteral(" > ")), n = bar.slotCount();
        for (int slot = 0; slot < n; slot++) {
            const QRect r = bar.slotRect(slot);
            QCOMPARE(r.left(), slot == 0 ? 0 : bar.slotRect(slot - 1).right() + 1 + sep);
            // Crumb indexes run up to the selected node; "…" is first and stands for no crumb.
            const bool mark = slot == 0 && shown[0] == MARK;
            QCOMPARE(bar.slotIndex(slot), mark ? OVCrumbBar::ELIDED : labels.size() - n + slot);
            if (slot < n - 1 || selectedWidth < 0)
                QCOMPARE(r.width(), std::min(bar.widthOf(shown[slot]), 260));
        }
        if (selectedWidth >= 0) QCOMPARE(bar.slotRect(n - 1).width(), selectedWidth);
        if (selectedWidth < 0) QVERIFY(bar.slotRect(n - 1).right() < width);
    }

    // Hover and clicks: never on "…" (it is no crumb), no hover on the selected node's own crumb
    // but a click on it still reports; a width change asks the owner again, a height change not.
    void crumbsHoverAndClick() {
        FakeOwner owner;
        owner.labels = QStringList{"root", QString(30, 'x'), "b", "c"};
        OVCrumbBar bar(&owner);
        bar.resize(150, 35);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QCOMPARE(texts_of(bar), QStringList({MARK, "b", "c"}));
        const int gap = bar.slotRect(1).right() + 2;
        const struct {
            int x, hover;
            QStringList calls;
        } cases[] = {{bar.slotRect(0).center().x(), -1, {}},
                     {bar.slotRect(1).center().x(), 1, {"crumbClicked 2"}},
                     {bar.slotRect(2).center().x(), -1, {"crumbClicked 3"}},
                     {gap, -1, {}}};
        for (const auto &c : cases) {
            owner.calls.clear();
            send_mouse(&bar, QEvent::MouseMove, c.x);
            QCOMPARE(bar.hoverSlot(), c.hover);
            QCOMPARE(bar.cursor().shape(), c.hover >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
            send_mouse(&bar, QEvent::MouseButtonPress, c.x);
            QCOMPARE(owner.calls, c.calls);
        }
        // The hovered crumb is underlined: a row of its rectangle in the text colour end to end.
        bar.setHoverSlot(1);
        const QImage img = bar.grab().toImage();
        const QRect r = bar.slotRect(1);
        int longest = 0;
        for (int y = 0; y < img.height(); y++) {
            int strong = 0;
            for (int x = r.left(); x <= r.right(); x++) strong += img.pixel(x, y) == OVTheme::color(4).rgb();
            longest = std::max(longest, strong);
        }
        QVERIFY(longest >= r.width() - 2);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&bar, &leave);
        QCOMPARE(bar.hoverSlot(), -1);
        bar.resize(400, 30);
        QCOMPARE(texts_of(bar), owner.labels);
    }

    // Swept from wide to narrow: the scope goes first, then the two toggles, each for good; the
    // field stays 90 to 210 wide; the gaps are fixed, and the crumbs keep 100 points while the
    // field is between its limits.
    void searchControlsGiveWayAsTheBarNarrows() {
        OVTopBar bar(nullptr);
        bar.show();
        bool scopeWas = true, togglesWere = true;
        QSet<QString> stages;
        for (int w = 1400; w >= 200; w--) {
            bar.resize(w, 36);
            const QRect next = in_bar(bar, bar.nextButton()), prev = in_bar(bar, bar.prevButton());
            const QRect count = in_bar(bar, bar.count()), field = in_bar(bar, bar.searchField());
            const QRect scope = in_bar(bar, bar.scope()), regex = in_bar(bar, bar.regexButton());
            const QRect matchCase = in_bar(bar, bar.caseButton()), crumbs = in_bar(bar, bar.crumbs());
            const bool scopeIs = bar.scope()->isVisibleTo(&bar);
            const bool togglesAre = bar.caseButton()->isVisibleTo(&bar);
            QVERIFY2((scopeWas || !scopeIs) && (togglesWere || !togglesAre) && (togglesAre || !scopeIs),
                     qPrintable(QString::number(w)));
            QCOMPARE(bar.regexButton()->isVisibleTo(&bar), togglesAre);
            scopeWas = scopeIs;
            togglesWere = togglesAre;
            QVERIFY(field.width() >= 90 && field.width() <= 210);
            QCOMPARE(next, QRect(w - 8 - 22, 6, 22, 22)); // (35 − 22) / 2, rounded down
            QCOMPARE(prev.right() + 1, next.left());
            QCOMPARE(count.right() + 1 + 4, prev.left());
            QCOMPARE(count.width(), bar.countWidth());
            QCOMPARE(field.right() + 1 + 6, count.left());
            QCOMPARE(field.top(), 6);
            int leftmost = field.left();
            if (scopeIs) QCOMPARE(scope.right() + 1 + 4, field.left());
            if (scopeIs) leftmost = scope.left();
            if (togglesAre) {
                QCOMPARE(regex.right() + 1 + 6, leftmost);
                QCOMPARE(matchCase.right() + 1 + 2, regex.left());
                QVERIFY(matchCase.width() >= 28 && regex.width() >= 28);
                leftmost = matchCase.left();
            }
            // The toggles show only while they leave the crumbs' start clear; without them the
            // crumbs shrink to nothing.
            const int crumbsEnd = togglesAre ? leftmost - 12 : std::max(leftmost - 12, crumbs.left());
            QCOMPARE(crumbs.right() + 1, crumbsEnd);
            if (field.width() > 90 && field.width() < 210) QCOMPARE(crumbs.width(), 100);
            QCOMPARE(in_bar(bar, bar.pathField()), QRect(crumbs.left() - 2, 6, crumbs.width() + 2, 22));
            stages << QStringLiteral("%1%2%3").arg(scopeIs).arg(togglesAre).arg(field.width());
        }
        // Every stage was passed through: all shown at 210, the scope gone, the toggles gone at 90.
        QVERIFY(stages.contains("11210") && stages.contains("0190") && stages.contains("0090"));
    }

    // What the bar shows before anything is typed, tool tips included.
    void controlsShowTheirTexts() {
        FakeOwner owner;
        OVTopBar bar(&owner);
        QAbstractButton *tree = bar.viewSwitch()->button(0), *text = bar.viewSwitch()->button(1);
        QCOMPARE(QStringList({tree->text(), text->text()}), QStringList({"Tree", "Text"}));
        QCOMPARE(tree->toolTip(), QStringLiteral("Tree (Ctrl+1)"));
        QCOMPARE(text->toolTip(), QStringLiteral("Text (Ctrl+2; again: Pretty or As in file)"));
        QCOMPARE(bar.pathField()->placeholderText(),
                 QStringLiteral(R"(Go to path: $.a.b[3], .a.b[3], a.b[3], ["a"]["b"][3] or /a/b/3)"));
        QCOMPARE(bar.caseButton()->text(), QStringLiteral("Aa"));
        QCOMPARE(bar.caseButton()->toolTip(), QStringLiteral("Match case"));
        QCOMPARE(bar.regexButton()->text(), QStringLiteral(".*"));
        QCOMPARE(bar.regexButton()->toolTip(), QStringLiteral("Regular expression"));
        QStringList scopes;
        for (int i = 0; i < bar.scope()->count(); i++) scopes << bar.scope()->itemText(i);
        QCOMPARE(scopes, QStringList({"Keys and values", "Keys", "Values"}));
        QCOMPARE(bar.scope()->toolTip(), QStringLiteral("Search in"));
        QCOMPARE(bar.searchField()->placeholderText(), QStringLiteral("Search keys and values"));
        // The same shortcuts as the Edit menu shows for Find Previous and Find Next.
        QCOMPARE(bar.prevButton()->toolTip(), QStringLiteral("Previous match (Ctrl+Shift+G)"));
        QCOMPARE(bar.nextButton()->toolTip(), QStringLiteral("Next match (Ctrl+G)"));
    }

    // Bit 0 match case, bit 8 regular expression, bits 16 to 23 the scope; the rest is ignored and
    // an unknown scope reads as keys and values.
    void optionsPackAndUnpack() {
        FakeOwner owner;
        OVTopBar bar(&owner);
        const struct {
            uint32_t given, read;
            const char *scope;
        } cases[] = {{0, 0, "Keys and values"}, {0x10100, 0x10100, "Keys"}, {0x20101, 0x20101, "Values"},
                     {0xFF02FEFE, 0x20000, "Values"}, {0x30001, 0x1, "Keys and values"},
                     {0xFF0100, 0x100, "Keys and values"}};
        for (const auto &c : cases) {
            bar.setSearchOptions(0x20101u); // from something else first
            bar.setSearchOptions(c.given);
            QCOMPARE(bar.searchOptions(), c.read);
            QCOMPARE(bar.caseButton()->isChecked(), bool(c.read & 1));
            QCOMPARE(bar.regexButton()->isChecked(), bool(c.read & 0x100));
            QCOMPARE(bar.scope()->currentText(), QString(c.scope));
        }
        QCOMPARE(owner.calls, QStringList());
    }

    // What each thing the user does in the bar tells the owner, in order (each step starts where
    // the one before left the bar); setting the same controls from code tells it nothing. Only
    // the fields take the focus or dropped text.
    void userActionsReachTheOwner() {
        FakeOwner owner;
        OVTopBar bar(&owner);
        bar.show();
        QLineEdit *search = bar.searchField(), *path = bar.pathField();
        QAbstractButton *tree = bar.viewSwitch()->button(0), *text = bar.viewSwitch()->button(1);
        const std::pair<std::function<void()>, QStringList> steps[] = {
            {[&] { QTest::keyClicks(search, "ab"); }, {"searchTextChanged", "searchTextChanged"}},
            {[&] { QTest::keyClick(search, Qt::Key_Return); }, {"searchEntered 0"}},
            {[&] { QTest::keyClick(search, Qt::Key_Return, Qt::ShiftModifier); }, {"searchEntered 1"}},
            {[&] { QTest::keyClick(search, Qt::Key_Enter, Qt::KeypadModifier); }, {"searchEntered 0"}},
            {[&] { QTest::keyClick(search, Qt::Key_Escape); }, {"searchCancelled"}},
            {[&] { bar.clearAction()->trigger(); }, {"searchCancelled"}}, // and empties the field
            {[&] { bar.setSearchText("a"); }, {}},
            {[&] { QTest::keyClick(search, Qt::Key_Backspace); }, {"searchTextChanged"}}, // no cancel
            {[&] { bar.beginPathEditing("$.a"); }, {}},
            {[&] { QTest::keyClicks(path, "b"); }, {"pathEdited"}},
            {[&] { QTest::keyClick(path, Qt::Key_Return, Qt::ControlModifier); }, {"pathEntered b"}},
            {[&] { QTest::keyClick(path, Qt::Key_Escape); }, {"pathCancelled"}},
            {[&] { bar.endPathEditing(); }, {}},
            {[&] { bar.caseButton()->click(); }, {"searchOptionsChanged"}},
            {[&] { bar.regexButton()->click(); }, {"searchOptionsChanged"}},
            {[&] { QTest::keyClick(bar.scope(), Qt::Key_Down); }, {"searchOptionsChanged"}},
            {[&] { bar.prevButton()->click(); }, {}}, // disabled until there are matches
            {[&] { bar.setSearchStepsEnabled(true); }, {}},
            {[&] { bar.prevButton()->click(); }, {"searchStep 1"}},
            {[&] { bar.nextButton()->click(); }, {"searchStep 0"}},
            {[&] { text->click(); }, {"viewSwitched 1"}},
            {[&] { text->click(); }, {"viewSwitched 1"}}, // again: the other text mode
            {[&] { tree->click(); }, {"viewSwitched 0"}},
            {[&] { bar.setSelectedSegment(1); }, {}},
        };
        for (const auto &[act, calls] : steps) {
            owner.calls.clear();
            act();
            QCOMPARE(owner.calls, calls);
        }
        QCOMPARE(search->text(), QString());
        QVERIFY(!bar.clearAction()->isVisible());
        QCOMPARE(bar.selectedSegment(), 1);
        QCOMPARE(bar.searchOptions(), 0x10101u); // both toggles on, scope "Keys"
        for (QWidget *w : bar.findChildren<QWidget *>()) {
            if (w->window() != &bar) continue; // the scope's pop-up list: a window of its own
            const bool field = w == search || w == path;
            QVERIFY2((w->focusPolicy() == Qt::NoFocus) != field, w->metaObject()->className());
            QVERIFY(!w->acceptDrops());
        }
    }

    // Going to a path: the field takes the crumbs' place and the focus; losing the focus to
    // something the user clicked cancels, losing it to another window or a context menu does not,
    // and ending on purpose never does. Window shortcuts on Return or Escape do not take them.
    void pathEditingBeginsEndsAndCancels() {
        FakeOwner owner;
        owner.labels = QStringList{"root", "a"};
        OVTopBar bar(&owner);
        QAction stealer;
        stealer.setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_Return)});
        bar.addAction(&stealer);
        QSignalSpy stolen(&stealer, &QAction::triggered);
        bar.show();
        bar.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&bar));
        bar.beginPathEditing("$.a");
        QVERIFY(bar.editingPath() && bar.pathField()->isVisible() && !bar.crumbs()->isVisible());
        QTRY_VERIFY(bar.pathField()->hasFocus());
        bar.beginPathEditing("$.b"); // again while typing: only the text changes
        QCOMPARE(bar.pathField()->selectedText(), QStringLiteral("$.b"));
        for (auto reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
            QFocusEvent out(QEvent::FocusOut, reason);
            QCoreApplication::sendEvent(bar.pathField(), &out);
        }
        QTest::keyClick(bar.pathField(), Qt::Key_Return);
        QTest::keyClick(bar.pathField(), Qt::Key_Escape);
        bar.searchField()->setFocus(Qt::MouseFocusReason);
        QCOMPARE(owner.calls, QStringList({"pathEntered $.b", "pathCancelled", "pathCancelled"}));
        QCOMPARE(stolen.count(), 0);
        bar.beginPathEditing("$"); // hidden or not, the field comes back focused
        QTRY_VERIFY(bar.pathField()->hasFocus());
        const int reloads = owner.reloads;
        owner.calls.clear();
        bar.endPathEditing();
        QVERIFY(!bar.editingPath() && !bar.pathField()->isVisible() && bar.crumbs()->isVisible());
        QCOMPARE(owner.calls, QStringList());
        QCOMPARE(owner.reloads, reloads + 1);
    }

    // The window owns the bar and is the owner: Qt deletes the bar after the window's own part is
    // gone, so a focused path field must report nothing while the window closes or goes.
    void closingTheOwningWindowReportsNothing() {
        static QStringList reported;
        struct OwnerWindow : QWidget, FakeOwner {
            OVTopBar *bar = new OVTopBar(this, this);
            ~OwnerWindow() override { reported = calls; }
        };
        auto *window = new OwnerWindow;
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        window->bar->beginPathEditing("$.x");
        QTRY_VERIFY(window->bar->pathField()->hasFocus());
        window->close();
        delete window; // a call after its destructor ran would be a pure virtual call
        QCOMPARE(reported, QStringList());
    }

    // The bad colour is the error role of whichever theme is on, and goes when the search is good.
    void badSearchTextFollowsTheTheme() {
        OVTopBar bar(nullptr);
        bar.show();
        bar.setSearchBad(true);
        auto text = [&] { return bar.searchField()->palette().color(QPalette::Text).rgb(); };
        QCOMPARE(text(), OVTheme::color(16, false).rgb());
        OVTheme::applyTheme(1);
        QTRY_COMPARE(text(), OVTheme::color(16, true).rgb());
        bar.setSearchBad(false);
        OVTheme::applyTheme(2);
        QTRY_COMPARE(text(), OVTheme::color(4, false).rgb());
    }

    void screenshots() {
        QDir().mkpath(QStringLiteral(ORVEL_SCREENS));
        FakeOwner owner;
        owner.labels = QStringList{"root", "catalogue", "products", "[1204]", "variants", "[3]", "pricing",
                                   "a_much_longer_key_name_for_the_selected_value"};
        for (int theme : {2, 1}) {
            OVTheme::applyTheme(theme);
            for (auto [width, size] : {std::pair{1100, "wide"}, std::pair{560, "narrow"}}) {
                // One bar with matches, one going to a path, one with a bad regular expression.
                QWidget stack;
                stack.resize(width, 3 * 36);
                OVTopBar *found = new OVTopBar(&owner, &stack), *going = new OVTopBar(&owner, &stack);
                OVTopBar *bad = new OVTopBar(&owner, &stack);
                for (OVTopBar *b : {found, going, bad})
                    b->setGeometry(0, 36 * (b == going) + 72 * (b == bad), width, 36);
                stack.show();
                stack.activateWindow();
                QVERIFY(QTest::qWaitForWindowActive(&stack));
                found->crumbs()->setHoverSlot(2);
                found->setSearchText("price");
                found->setSearchCount("3 of 10 matches");
                found->setSearchStepsEnabled(true);
                found->setSearchOptions(OVTopBar::MATCH_CASE | (1u << OVTopBar::SCOPE_SHIFT));
                going->beginPathEditing("$.catalogue.products[1204].variants[3].pricing");
                bad->setSelectedSegment(1);
                bad->setSearchOptions(OVTopBar::REGEX);
                bad->setSearchText("price (");
                bad->setSearchBad(true);
                const QImage img = stack.grab().toImage();
                QCOMPARE(img.pixel(width / 2, 35), OVTheme::color(2).rgb());
                QCOMPARE(found->crumbs()->slotText(0), MARK);
                const QString name = QStringLiteral(ORVEL_SCREENS "/linux-topbar-%1-%2.png");
                QVERIFY(img.save(name.arg(theme == 1 ? "dark" : "light", size)));
            }
        }
    }
};

QTEST_MAIN(TopBarTest)
#include "top_bar_test.moc"
