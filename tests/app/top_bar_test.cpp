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

namespace {

const QString MARK = QStringLiteral("\u2026");

// Records every call as one line, so that a test compares what the window was told, in order.
class FakeOwner : public OVTopBarOwner {
public:
    QStringList labels;
    QStringList calls;
    int reloads = 0;

    uint32_t crumbCount() override {
        reloads++;
        return uint32_t(labels.size());
    }
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
    QMouseEvent event(type, at, w->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, {});
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
        const QString k80(80, QLatin1Char('k')), accent = QStringLiteral("e\u0301"), flag = QStringLiteral("🇫🇷");
        QTest::newRow("all fit") << QStringList{"root", "items", "[3]"} << 400 << QStringList{"root", "items", "[3]"} << -1;
        QTest::newRow("narrower than the selected crumb")
            << QStringList{"root", "items", "a_rather_long_key"} << 30 << QStringList{MARK, "a_rather_long_key"} << 20;
        QTest::newRow("only the root, narrower") << QStringList{"records"} << 5 << QStringList{"records"} << 20;
        QTest::newRow("ancestors elided")
            << QStringList{"root", QString(30, QLatin1Char('x')), "b", "c"} << 150 << QStringList{MARK, "b", "c"} << -1;
        QTest::newRow("100 characters") << QStringList{"root", QString(100, QLatin1Char('k'))} << 1000
                                        << QStringList{"root", k80 + MARK} << 260;
        QTest::newRow("80 characters, kept whole") << QStringList{"root", k80} << 1000 << QStringList{"root", k80} << 260;
        QTest::newRow("accents are one character")
            << QStringList{"root", accent.repeated(100)} << 2000 << QStringList{"root", accent.repeated(80) + MARK} << -1;
        QTest::newRow("flags are one character")
            << QStringList{"root", flag.repeated(81)} << 2000 << QStringList{"root", flag.repeated(80) + MARK} << -1;
        QTest::newRow("no crumbs") << QStringList{} << 400 << QStringList{} << -1;
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
            QCOMPARE(r.top(), 0);
            QCOMPARE(r.height(), 35);
            QCOMPARE(r.left(), slot == 0 ? 0 : bar.slotRect(slot - 1).right() + 1 + sep);
            QVERIFY(r.width() <= 260);
            // Crumb indexes run up to the selected node; "…" is first and stands for no crumb.
            QCOMPARE(bar.slotIndex(slot), shown[slot] == MARK && slot == 0 ? OVCrumbBar::ELIDED
                                                                            : labels.size() - n + slot);
            if (slot < n - 1 || selectedWidth < 0) QCOMPARE(r.width(), std::min(bar.widthOf(shown[slot]), 260));
        }
        if (selectedWidth >= 0) QCOMPARE(bar.slotRect(n - 1).width(), selectedWidth);
        // Placing one more crumb (with its separator) would not have fitted, and what was placed did.
        if (n > 1 && selectedWidth < 0)
            QVERIFY(bar.slotRect(n - 1).right() < width);
    }

    // Hover and clicks: never on "…" (it is no crumb), no hover on the selected node's own crumb
    // but a click on it still reports; a width change asks the owner again, a height change not.
    void crumbsHoverAndClick() {
        FakeOwner owner;
        owner.labels = QStringList{"root", QString(30, QLatin1Char('x')), "b", "c"};
        OVCrumbBar bar(&owner);
        bar.resize(150, 35);
        bar.show();
        QVERIFY(QTest::qWaitForWindowExposed(&bar));
        QCOMPARE(texts_of(bar), QStringList({MARK, "b", "c"}));
        const int middle[] = {bar.slotRect(0).center().x(), bar.slotRect(1).center().x(), bar.slotRect(2).center().x()};
        const int gap = bar.slotRect(1).right() + 2;
        QCOMPARE(bar.slotAt(gap), -1);
        struct {
            int x;
            int hover;
            QStringList calls;
        } cases[] = {{middle[0], -1, {}}, {middle[1], 1, {"crumbClicked 2"}}, {middle[2], -1, {"crumbClicked 3"}},
                     {gap, -1, {}}};
        for (const auto &c : cases) {
            owner.calls.clear();
            send_mouse(&bar, QEvent::MouseMove, c.x);
            QCOMPARE(bar.hoverSlot(), c.hover);
            QCOMPARE(bar.cursor().shape(), c.hover >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
            send_mouse(&bar, QEvent::MouseButtonPress, c.x);
            QCOMPARE(owner.calls, c.calls);
        }
        bar.setHoverSlot(1);
        // The hovered crumb is underlined: a row of its rectangle in the text colour end to end.
        const QImage img = bar.grab().toImage();
        const QRect r = bar.slotRect(1);
        bool underline = false;
        for (int y = 0; y < img.height() && !underline; y++) {
            int strong = 0;
            for (int x = r.left(); x <= r.right(); x++) strong += img.pixel(x, y) == OVTheme::color(4).rgb();
            underline = strong >= r.width() - 2;
        }
        QVERIFY(underline);
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(&bar, &leave);
        QCOMPARE(bar.hoverSlot(), -1);
        const int reloads = owner.reloads;
        bar.resize(150, 30);
        QCOMPARE(owner.reloads, reloads);
        QCOMPARE(bar.slotRect(1).height(), 30);
        bar.resize(400, 30);
        QCOMPARE(owner.reloads, reloads + 1);
        QCOMPARE(texts_of(bar), owner.labels);
    }

    // Swept from wide to narrow: the scope goes first, then the two toggles, each for good; the
    // field stays 90 to 210 wide; the gaps are fixed, and the crumbs keep 100 points while the
    // field is between its limits.
    void searchControlsGiveWayAsTheBarNarrows() {
        FakeOwner owner;
        OVTopBar bar(&owner);
        bar.show();
        bool scopeSeen = true, togglesSeen = true;
        QSet<QString> states;
        for (int w = 1400; w >= 200; w--) {
            bar.resize(w, 36);
            const QRect next = in_bar(bar, bar.nextButton()), prev = in_bar(bar, bar.prevButton());
            const QRect count = in_bar(bar, bar.count()), field = in_bar(bar, bar.searchField());
            const QRect scope = in_bar(bar, bar.scope()), regex = in_bar(bar, bar.regexButton());
            const QRect cases = in_bar(bar, bar.caseButton()), crumbs = in_bar(bar, bar.crumbs());
            const bool scopeShown = bar.scope()->isVisibleTo(&bar), togglesShown = bar.caseButton()->isVisibleTo(&bar);
            QVERIFY2(!(scopeShown && !scopeSeen) && !(togglesShown && !togglesSeen), qPrintable(QString::number(w)));
            QVERIFY(togglesShown || !scopeShown);
            QCOMPARE(bar.regexButton()->isVisibleTo(&bar), togglesShown);
            scopeSeen = scopeShown;
            togglesSeen = togglesShown;
            QVERIFY(field.width() >= 90 && field.width() <= 210);
            QCOMPARE(next.right(), w - 8 - 1);
            QCOMPARE(prev.right() + 1, next.left());
            QCOMPARE(QSize(next.width(), next.height()), QSize(22, 22));
            QCOMPARE(count.right() + 1 + 4, prev.left());
            QCOMPARE(count.width(), bar.countWidth());
            QCOMPARE(field.right() + 1 + 6, count.left());
            QCOMPARE(field.height(), 22);
            QCOMPARE(field.top(), 6); // (35 − 22) / 2, rounded down
            int leftmost = field.left();
            if (scopeShown) {
                QCOMPARE(scope.right() + 1 + 4, field.left());
                leftmost = scope.left();
            }
            if (togglesShown) {
                QCOMPARE(regex.right() + 1 + 6, leftmost);
                QCOMPARE(cases.right() + 1 + 2, regex.left());
                QVERIFY(cases.width() >= 28 && regex.width() >= 28);
                leftmost = cases.left();
            }
            // The toggles show only while they leave the crumbs' start clear; without them the
            // crumbs shrink to nothing.
            QCOMPARE(crumbs.right() + 1, togglesShown ? leftmost - 12 : std::max(leftmost - 12, crumbs.left()));
            if (field.width() > 90 && field.width() < 210) QCOMPARE(crumbs.width(), 100);
            QCOMPARE(in_bar(bar, bar.pathField()), QRect(crumbs.left() - 2, 6, crumbs.width() + 2, 22));
            states << QStringLiteral("%1%2%3").arg(scopeShown).arg(togglesShown).arg(field.width());
        }
        // Every stage was passed through: all shown at 210, the scope gone, the toggles gone at 90.
        QVERIFY(states.contains("11210") && states.contains("0190") && states.contains("0090"));
    }

    void optionsPackAndUnpack_data() {
        QTest::addColumn<uint>("given");
        QTest::addColumn<uint>("read");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<bool>("regex");
        QTest::addColumn<QString>("scope");
        QTest::newRow("none") << 0u << 0u << false << false << "Keys and values";
        QTest::newRow("match case") << 0x1u << 0x1u << true << false << "Keys and values";
        QTest::newRow("regex, keys") << 0x10100u << 0x10100u << false << true << "Keys";
        QTest::newRow("all, values") << 0x20101u << 0x20101u << true << true << "Values";
        QTest::newRow("other bits ignored") << 0xFF02FEFEu << 0x20000u << false << false << "Values";
        QTest::newRow("unknown scope") << 0x30001u << 0x1u << true << false << "Keys and values";
        QTest::newRow("scope 255") << 0xFF0100u << 0x100u << false << true << "Keys and values";
    }
    void optionsPackAndUnpack() {
        QFETCH(uint, given);
        QFETCH(uint, read);
        QFETCH(bool, matchCase);
        QFETCH(bool, regex);
        QFETCH(QString, scope);
        FakeOwner owner;
        OVTopBar bar(&owner);
        bar.setSearchOptions(0x20101u); // set from something else first
        bar.setSearchOptions(given);
        QCOMPARE(bar.searchOptions(), read);
        QCOMPARE(bar.caseButton()->isChecked(), matchCase);
        QCOMPARE(bar.regexButton()->isChecked(), regex);
        QCOMPARE(bar.scope()->currentText(), scope);
        QCOMPARE(owner.calls, QStringList()); // set from code: nothing to report
    }

    // What each thing the user does in the bar tells the owner, and that code setting the same
    // controls tells it nothing.
    void userActionsReachTheOwner() {
        FakeOwner owner;
        OVTopBar bar(&owner);
        bar.show();
        QLineEdit *search = bar.searchField(), *path = bar.pathField();
        struct Case {
            const char *name;
            std::function<void()> act;
            QStringList calls;
        };
        const Case cases[] = {
            {"Return", [&] { QTest::keyClick(search, Qt::Key_Return); }, {"searchEntered 0"}},
            {"Shift+Return", [&] { QTest::keyClick(search, Qt::Key_Return, Qt::ShiftModifier); }, {"searchEntered 1"}},
            {"keypad Enter", [&] { QTest::keyClick(search, Qt::Key_Enter, Qt::KeypadModifier); }, {"searchEntered 0"}},
            {"Escape", [&] { QTest::keyClick(search, Qt::Key_Escape); }, {"searchCancelled"}},
            {"typing", [&] { QTest::keyClicks(search, "ab"); }, {"searchTextChanged", "searchTextChanged"}},
            {"set from code", [&] { bar.setSearchText("abc"); }, {}},
            {"backspace to empty",
             [&] {
                 bar.setSearchText("a");
                 QTest::keyClick(search, Qt::Key_Backspace);
             },
             {"searchTextChanged"}},
            {"clear button",
             [&] {
                 bar.setSearchText("abc");
                 QVERIFY(bar.clearAction()->isVisible());
                 bar.clearAction()->trigger();
                 QCOMPARE(search->text(), QString());
                 QVERIFY(!bar.clearAction()->isVisible());
             },
             {"searchCancelled"}},
            {"path Return",
             [&] {
                 bar.beginPathEditing("$.a");
                 QTest::keyClick(path, Qt::Key_Return, Qt::ControlModifier);
             },
             {"pathEntered $.a"}},
            {"path typing", [&] { QTest::keyClicks(path, "b"); }, {"pathEdited"}},
            {"path Escape", [&] { QTest::keyClick(path, Qt::Key_Escape); }, {"pathCancelled"}},
            {"path ended from code", [&] { bar.endPathEditing(); }, {}},
            {"match case", [&] { bar.caseButton()->click(); }, {"searchOptionsChanged"}},
            {"regular expression", [&] { bar.regexButton()->click(); }, {"searchOptionsChanged"}},
            {"scope", [&] { QTest::keyClick(bar.scope(), Qt::Key_Down); }, {"searchOptionsChanged"}},
            {"steps disabled",
             [&] {
                 bar.prevButton()->click();
                 bar.nextButton()->click();
             },
             {}},
            {"steps",
             [&] {
                 bar.setSearchStepsEnabled(true);
                 bar.prevButton()->click();
                 bar.nextButton()->click();
             },
             {"searchStep 1", "searchStep 0"}},
            {"view switch",
             [&] {
                 bar.viewSwitch()->button(1)->click();
                 bar.viewSwitch()->button(1)->click(); // again: the other text mode
                 bar.viewSwitch()->button(0)->click();
             },
             {"viewSwitched 1", "viewSwitched 1", "viewSwitched 0"}},
            {"view switch from code", [&] { bar.setSelectedSegment(1); }, {}},
        };
        for (const Case &c : cases) {
            owner.calls.clear();
            c.act();
            QVERIFY2(owner.calls == c.calls, qPrintable(QStringLiteral("%1: %2").arg(c.name, owner.calls.join(", "))));
        }
        QCOMPARE(bar.selectedSegment(), 1);
        QCOMPARE(bar.searchOptions(), OVTopBar::MATCH_CASE | OVTopBar::REGEX | (1u << OVTopBar::SCOPE_SHIFT));
    }

    // Going to a path: the field takes the crumbs' place and the focus; losing the focus to
    // something the user clicked cancels, losing it to another window or a context menu does not,
    // and ending on purpose never does.
    void pathEditingBeginsEndsAndCancels() {
        FakeOwner owner;
        owner.labels = QStringList{"root", "a"};
        OVTopBar bar(&owner);
        bar.show();
        bar.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&bar));
        bar.beginPathEditing("$.a");
        QVERIFY(bar.editingPath() && bar.pathField()->isVisible() && !bar.crumbs()->isVisible());
        QTRY_VERIFY(bar.pathField()->hasFocus());
        QCOMPARE(bar.pathField()->selectedText(), QStringLiteral("$.a"));
        bar.beginPathEditing("$.b"); // again while typing: only the text changes
        QCOMPARE(bar.pathField()->selectedText(), QStringLiteral("$.b"));
        for (auto reason : {Qt::ActiveWindowFocusReason, Qt::PopupFocusReason}) {
            QFocusEvent out(QEvent::FocusOut, reason);
            QCoreApplication::sendEvent(bar.pathField(), &out);
        }
        QCOMPARE(owner.calls, QStringList());
        // A window shortcut on the same keys does not take them from the field.
        QAction stealer;
        stealer.setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_Return)});
        bar.addAction(&stealer);
        QSignalSpy stolen(&stealer, &QAction::triggered);
        QTest::keyClick(bar.pathField(), Qt::Key_Return);
        QTest::keyClick(bar.pathField(), Qt::Key_Escape);
        QCOMPARE(stolen.count(), 0);
        QCOMPARE(owner.calls, QStringList({"pathEntered $.b", "pathCancelled"}));
        owner.calls.clear();
        bar.searchField()->setFocus(Qt::MouseFocusReason);
        QCOMPARE(owner.calls, QStringList({"pathCancelled"}));
        bar.beginPathEditing("$"); // hidden or not, the field comes back focused
        QTRY_VERIFY(bar.pathField()->hasFocus());
        const int reloads = owner.reloads;
        owner.calls.clear();
        bar.endPathEditing();
        QVERIFY(!bar.editingPath() && !bar.pathField()->isVisible() && bar.crumbs()->isVisible());
        QCOMPARE(owner.calls, QStringList());
        QCOMPARE(owner.reloads, reloads + 1);
        QCOMPARE(texts_of(*bar.crumbs()), owner.labels);
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
        QCOMPARE(text(), QApplication::palette().color(QPalette::Text).rgb());
        OVTheme::applyTheme(2);
        QTRY_COMPARE(text(), OVTheme::color(4, false).rgb());
    }

    // Only the fields take the focus or dropped text.
    void onlyTheFieldsTakeTheFocus() {
        OVTopBar bar(nullptr);
        for (QWidget *w : bar.findChildren<QWidget *>()) {
            if (w->window() != &bar) continue; // the scope's pop-up list: a window of its own
            const bool field = w == bar.searchField() || w == bar.pathField();
            QVERIFY2((w->focusPolicy() == Qt::NoFocus) != field, qPrintable(w->metaObject()->className()));
            QVERIFY(!w->acceptDrops());
        }
    }

    // The window owns the bar and is the owner: Qt deletes the bar after the window's own part is
    // gone, so a focused path field must not report its focus loss then.
    void closingTheOwningWindowReportsNothing() {
        static QStringList reported;
        struct OwnerWindow : QWidget, FakeOwner {
            OVTopBar *bar = new OVTopBar(this, this);
            ~OwnerWindow() override { reported = calls; }
        };
        for (bool close : {false, true}) {
            auto *window = new OwnerWindow;
            window->show();
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            window->bar->beginPathEditing("$.x");
            QTRY_VERIFY(window->bar->pathField()->hasFocus());
            if (close) window->close();
            delete window; // a call after its destructor ran would be a pure virtual call
            QCOMPARE(reported, QStringList());
        }
    }

    void screenshots() {
        QDir().mkpath(QStringLiteral(ORVEL_SCREENS));
        FakeOwner owner;
        owner.labels = QStringList{"root", "catalogue", "products", "[1204]", "variants", "[3]", "pricing",
                                   "a_much_longer_key_name_for_the_selected_value"};
        for (int theme : {2, 1}) {
            OVTheme::applyTheme(theme);
            for (auto [width, size] : {std::pair{1100, "wide"}, std::pair{560, "narrow"}}) {
                QWidget stack;
                stack.resize(width, 3 * 36);
                OVTopBar *found = new OVTopBar(&owner, &stack), *going = new OVTopBar(&owner, &stack),
                         *bad = new OVTopBar(&owner, &stack);
                for (OVTopBar *b : {found, going, bad}) b->setGeometry(0, int(b == going) * 36 + int(b == bad) * 72, width, 36);
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
                QVERIFY(img.save(QStringLiteral(ORVEL_SCREENS "/linux-topbar-%1-%2.png")
                                     .arg(theme == 1 ? "dark" : "light", size)));
            }
        }
    }
};

QTEST_MAIN(TopBarTest)
#include "top_bar_test.moc"
