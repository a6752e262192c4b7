// The document window driven as a user drives it: through its menu items, keys, fields and
// buttons, checking the view, the bars, the settings and the clipboard afterwards.
#include "copier.h"
#include "crumb_bar.h"
#include "delegate_fixture.h"
#include "error_bar.h"
#include "file_fixture.h"
#include "details_view.h"
#include "label.h"
#include "list_view.h"
#include "menus.h"
#include "pasteboard.h"
#include "progress_line.h"
#include "root_view.h"
#include "search_runner.h"
#include "split_view.h"
#include "status_bar.h"
#include "text_builder.h"
#include "text_button.h"
#include "theme.h"
#include "top_bar.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSplitterHandle>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QToolButton>

#include <functional>

#include <jx/path.h>
#include <jx/problem.h>
#include <jx/search.h>
#include <jx/text.h>
#include <jx/view.h>

namespace {

const QByteArray SAMPLE = R"({"name": "Orvel", "empty": [], "tags": ["x1", "x2", "x3"], "size": {"w": 3, "h": 4}})";

bool selectPath(JxView *view, const char *path) {
    char err[256];
    return jx_view_goto(view, path, strlen(path), err, sizeof err) == 1;
}

QString selectedPath(JxView *view) {
    char buf[256];
    jx_view_path(view, JX_PATH_JSONPATH, buf, sizeof buf);
    return QString::fromUtf8(buf);
}

QStringList titles(const QMenu *menu) {
    QStringList list;
    for (const QAction *a : menu->actions())
        list.append(a->isSeparator() ? QStringLiteral("-") : a->text());
    return list;
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    std::unique_ptr<OVAppDelegate> delegate;

    QString file(const QString &name) const { return dir.filePath(name); }

    // A shown, active window over text, loaded.
    OVDocWindow *open(const QByteArray &text, const QString &name = QStringLiteral("sample.json")) {
        if (!write_file(file(name), text))
            return nullptr;
        OVDocWindow *window = delegate->openPath(file(name));
        if (!QTest::qWaitFor([&] { return !window->busy() && window->view(); }, 60000))
            return nullptr;
        window->activateWindow();
        (void)QTest::qWaitForWindowActive(window);
        return window;
    }
    static bool trigger(OVDocWindow *window, const char *name) {
        QAction *action = ov_find_action(window, QString::fromLatin1(name));
        if (!action || !ov_validate_action(action))
            return false;
        action->trigger();
        return true;
    }
    static bool enabled(OVDocWindow *window, const char *name) {
        return ov_validate_action(ov_find_action(window, QString::fromLatin1(name)));
    }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }
    void init() {
        delegate = std::make_unique<OVAppDelegate>();
        delegate->applicationWillFinishLaunching();
        jx_settings_default(&OVSettings::shared()->values());
        ov_pasteboard()->clear();
    }
    void cleanup() {
        closeEverything(*delegate);
        QThreadPool::globalInstance()->waitForDone();
        settle();
        delegate.reset();
    }

    // The bars stack from the top; the split takes what is left above the status bar.
    void layout() {
        OVDocWindow *window = open("[1, 2,, 3]");
        QVERIFY(window);
        const int w = window->rootView()->width(), h = window->rootView()->height();
        QCOMPARE(window->topBar()->geometry(), QRect(0, 0, w, 36));
        QCOMPARE(window->errorBar()->geometry(), QRect(0, 36, w, 30));
        QCOMPARE(window->split()->geometry(), QRect(0, 66, w, h - 22 - 66));
        window->setNote(QStringLiteral("note"));
        QCOMPARE(window->split()->geometry(), QRect(0, 90, w, h - 22 - 90));
        QCOMPARE(window->statusLine()->geometry(), QRect(0, h - 22, w, 22));
        QCOMPARE(window->progressLine()->geometry(), QRect(0, 34, w, 2));
        window->errorBar()->closeButton()->action();
        window->setNote(QString());
        QCOMPARE(window->split()->geometry(), QRect(0, 36, w, h - 22 - 36));
    }

    // Three quick keys make one search, 250 ms after the last; Return with the same text and
    // options steps instead of searching again, Shift+Return steps back.
    void searchTyping() {
        OVDocWindow *window = open(SAMPLE);
        QLineEdit *field = window->topBar()->searchField();
        QTest::keyClicks(field, "x");
        QTest::qWait(100);
        QElapsedTimer clock;
        QTest::keyClicks(field, "2");
        clock.start();
        QTest::qWait(100);
        QTest::keyClicks(field, "3");
        clock.start();
        QTRY_VERIFY(jx_view_search(window->view()));
        QVERIFY(clock.elapsed() >= OVSearchRunner::DEBOUNCE_MS);
        QCOMPARE(*window->searchRunner()->query(), QByteArray("x23"));
        QTRY_VERIFY(window->searchRunner()->idle());
        QCOMPARE(jx_search_count(jx_view_search(window->view())), 0u);
        QVERIFY(!window->topBar()->searchStepsEnabled());

        field->setText(QString());
        QTest::keyClicks(field, "x");
        QTRY_VERIFY(window->searchRunner()->idle() && jx_view_search(window->view()));
        // The first hit is selected as it arrives.
        QCOMPARE(window->topBar()->count()->text(), QStringLiteral("1 of 3"));
        QVERIFY(window->topBar()->searchStepsEnabled() && enabled(window, "ovFindNext"));
        const JxSearch *search = jx_view_search(window->view());
        const struct {
            Qt::KeyboardModifiers mods;
            const char *path;
        } steps[] = {{Qt::NoModifier, "$.tags[1]"}, {Qt::NoModifier, "$.tags[2]"}, {Qt::ShiftModifier, "$.tags[1]"}};
        for (const auto &step : steps) {
            QTest::keyClick(field, Qt::Key_Return, step.mods);
            QCOMPARE(selectedPath(window->view()), QString::fromLatin1(step.path));
            QCOMPARE(jx_view_search(window->view()), search); // stepped, not searched again
        }
        QVERIFY(trigger(window, "ovFindNext"));
        QCOMPARE(selectedPath(window->view()), QStringLiteral("$.tags[2]"));
        window->topBar()->prevButton()->click();
        QCOMPARE(selectedPath(window->view()), QStringLiteral("$.tags[1]"));
    }

    // Options live in the settings; with an empty field changing one searches nothing. A window
    // opened later starts with them.
    void searchOptions() {
        OVDocWindow *window = open(SAMPLE);
        window->topBar()->caseButton()->click();
        QCOMPARE(OVSettings::shared()->values().search_case, uint8_t(1));
        QVERIFY(window->searchRunner()->idle() && !jx_view_search(window->view()));
        window->topBar()->regexButton()->click();
        QCOMPARE(OVSettings::shared()->values().search_regex, uint8_t(1));
        window->searchFor(QStringLiteral("X\\d"), window->topBar()->searchOptions());
        QTRY_VERIFY(window->searchRunner()->idle());
        QCOMPARE(jx_search_count(jx_view_search(window->view())), 0u); // match case holds
        window->topBar()->caseButton()->click();
        QTRY_VERIFY(window->searchRunner()->idle());
        QCOMPARE(jx_search_count(jx_view_search(window->view())), 3u);
        OVSettings::shared()->values().search_scope = 2;
        OVDocWindow *other = open("[]", QStringLiteral("other.json"));
        QCOMPARE(other->topBar()->searchOptions(), OVTopBar::REGEX | 2u << OVTopBar::SCOPE_SHIFT);
    }

    // The note bar belongs to whoever wrote it last: a search error never hides a Go to path
    // message, nor the reverse.
    void noteOwnership() {
        OVDocWindow *window = open(SAMPLE);
        QSignalSpy noted(window, &OVDocWindow::noted);
        window->topBar()->setSearchOptions(OVTopBar::REGEX);
        QTest::keyClicks(window->topBar()->searchField(), "(");
        QTRY_COMPARE(window->noteKind(), int(OVDocWindow::NOTE_SEARCH));
        QVERIFY(window->topBar()->searchBad() && !window->noteText().isEmpty());
        QVERIFY(!jx_view_search(window->view()));

        QVERIFY(trigger(window, "ovGoto"));
        QCOMPARE(window->topBar()->pathField()->text(), QStringLiteral("$"));
        window->topBar()->pathField()->setText(QStringLiteral("$.nope"));
        QTest::keyClick(window->topBar()->pathField(), Qt::Key_Return);
        QCOMPARE(window->noteKind(), int(OVDocWindow::NOTE_GOTO));
        const QString gotoMessage = window->noteText();
        QVERIFY(window->topBar()->editingPath() && !gotoMessage.isEmpty());

        // The clear button, pressed while the path field stays open.
        window->topBar()->clearAction()->trigger();
        QVERIFY(!window->topBar()->searchBad() && window->topBar()->searchText().isEmpty());
        QCOMPARE(window->noteText(), gotoMessage);

        QStringList lines;
        for (const QList<QVariant> &args : noted)
            lines.append(args[0].toString().section(QLatin1Char('='), 0, 0));
        QCOMPARE(lines, QStringList({"search-error", "goto-error"}));

        // A good path ends the editing, clears the message and selects the node.
        QVERIFY(trigger(window, "ovGoto"));
        window->topBar()->pathField()->setText(QStringLiteral("$.size.h"));
        QTest::keyClick(window->topBar()->pathField(), Qt::Key_Return);
        QCOMPARE(window->noteKind(), 0);
        QVERIFY(!window->topBar()->editingPath() && window->list()->hasFocus());
        QCOMPARE(selectedPath(window->view()), QStringLiteral("$.size.h"));
        QCOMPARE(window->topBar()->crumbs()->slotCount(), 3);
        QCOMPARE(window->statusLine()->right().isEmpty(), false);
    }

    // The validation table for the selection, the mode and the search.
    void validation_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("text");
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("want");
        QTest::newRow("copy key on the root") << "$" << false << "ovCopyKey" << false;
        QTest::newRow("copy key on a member") << "$.name" << false << "ovCopyKey" << true;
        QTest::newRow("copy value on the root") << "$" << false << "copy" << true;
        QTest::newRow("expand an empty array") << "$.empty" << false << "ovExpandSubtree" << false;
        QTest::newRow("expand a scalar") << "$.name" << false << "ovCollapseSubtree" << false;
        QTest::newRow("expand an object") << "$.size" << false << "ovExpandSubtree" << true;
        QTest::newRow("expand in Text view") << "$.size" << true << "ovExpandSubtree" << false;
        QTest::newRow("level in Text view") << "$.size" << true << "ovExpandLevel3" << false;
        QTest::newRow("level in Tree view") << "$.size" << false << "ovExpandLevel3" << true;
        QTest::newRow("find next without search") << "$" << false << "ovFindNext" << false;
        QTest::newRow("undo has no target here") << "$" << false << "undo" << false;
        QTest::newRow("inspector") << "$" << false << "ovInspector" << true;
    }
    void validation() {
        QFETCH(QString, path);
        QFETCH(bool, text);
        QFETCH(QString, action);
        QFETCH(bool, want);
        OVDocWindow *window = open(SAMPLE);
        QVERIFY(selectPath(window->view(), qPrintable(path)));
        if (text) {
            QVERIFY(trigger(window, "ovViewText"));
            QTRY_COMPARE(jx_view_mode(window->view()), uint32_t(JX_MODE_TEXT));
            QVERIFY(enabled(window, "ovViewText") && ov_find_action(window, QStringLiteral("ovViewText"))->isChecked());
        }
        // The subtree items live in the row menu only.
        QAction *item = ov_find_action(window, action);
        if (!item)
            item = window->contextMenu()->findChild<QAction *>(action);
        QVERIFY(item);
        bool checked = false;
        QCOMPARE(window->validate(item, &checked), want);
    }

    // Ctrl+2 builds the Text view, again switches the text mode; Ctrl+1 while it is prepared
    // cancels the build and nothing is installed later.
    void textView() {
        OVDocWindow *window = open(SAMPLE);
        QTest::keyClick(window, Qt::Key_2, Qt::ControlModifier);
        QTRY_VERIFY(jx_view_text(window->view()) && !window->busy());
        QCOMPARE(jx_view_mode(window->view()), uint32_t(JX_MODE_TEXT));
        QCOMPARE(jx_text_mode(jx_view_text(window->view())), int(JX_TEXT_FILE));
        QCOMPARE(window->topBar()->selectedSegment(), 1);
        QTest::keyClick(window, Qt::Key_2, Qt::ControlModifier);
        QTRY_COMPARE(jx_text_mode(jx_view_text(window->view())), int(JX_TEXT_PRETTY));
        QTest::keyClick(window, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(jx_view_mode(window->view()), uint32_t(JX_MODE_TREE));
        QCOMPARE(window->topBar()->selectedSegment(), 0);
        // Back to Text: the model built stays.
        QVERIFY(trigger(window, "ovViewText"));
        QCOMPARE(jx_view_mode(window->view()), uint32_t(JX_MODE_TEXT));

        QByteArray big = "[";
        for (int i = 0; i < 400000; i++)
            big += "\"abcdefghijklmnopqrstuvwxyz\",";
        big += "0]";
        OVDocWindow *large = open(big, QStringLiteral("large.json"));
        QTest::keyClick(large, Qt::Key_2, Qt::ControlModifier);
        QVERIFY(large->textBuilder()->busy());
        QTest::keyClick(large, Qt::Key_1, Qt::ControlModifier);
        QVERIFY(!large->textBuilder()->busy() && !large->busy());
        QThreadPool::globalInstance()->waitForDone();
        QTest::qWait(50);
        QVERIFY(!jx_view_text(large->view()));
        QCOMPARE(jx_view_mode(large->view()), uint32_t(JX_MODE_TREE));
    }

    // The error bar's buttons: "Show in text" selects the first problem's line in the file's own
    // lines; "Next problem" selects a JSON Lines file's unreadable record.
    void errorBar() {
        OVDocWindow *window = open("[\n  1,\n  2,,\n  3\n]\n", QStringLiteral("broken.json"));
        QVERIFY(window->errorBar()->showsShowInText());
        window->errorBar()->onShowInText();
        QTRY_COMPARE(jx_view_mode(window->view()), uint32_t(JX_MODE_TEXT));
        QCOMPARE(jx_text_mode(jx_view_text(window->view())), int(JX_TEXT_FILE));
        const uint32_t line = jx_doc_error(window->document(), 0)->line;
        QCOMPARE(line, 3u);
        QVERIFY(window->list()->rowIsSelected(line - 1) && !window->list()->rowIsSelected(line - 2));
        QVERIFY(window->list()->hasFocus());

        OVDocWindow *lines = open("{\"a\": 1}\n{\"b\": \n{\"c\": 3}\n", QStringLiteral("broken.jsonl"));
        QVERIFY(lines->errorBar()->showsNextProblem());
        lines->errorBar()->onNextProblem();
        QCOMPARE(jx_view_selected_node(lines->view()), jx_doc_error(lines->document(), 0)->node);
    }

    // The inspector shows and hides with its setting; a drag of the divider stores its width,
    // never beyond 200 to 1200, and the window's resizing never does.
    void inspector() {
        OVSettings::shared()->values().inspector_width = 5000;
        OVDocWindow *window = open(SAMPLE);
        window->resize(1700, 600);
        QVERIFY(trigger(window, "ovInspector"));
        QVERIFY(window->inspectorShown() && OVSettings::shared()->values().inspector == 1);
        QCOMPARE(window->split()->inspectorWidth(), 1200);
        QCOMPARE(window->inspector()->head().split('\n').value(1), QByteArray("$"));
        window->resize(1500, 600);
        QCOMPARE(window->split()->inspectorWidth(), 1200);
        QCOMPARE(OVSettings::shared()->values().inspector_width, 5000);

        QSplitterHandle *handle = window->split()->handle(1);
        const struct {
            int to;      // x in the split
            int width;   // the inspector's width afterwards
        } drags[] = {{0, 1200}, {window->split()->width() - 10, 200}, {window->split()->width() - 700, 700}};
        for (const auto &drag : drags) {
            const QPoint from = handle->rect().center();
            QTest::mousePress(handle, Qt::LeftButton, {}, from);
            QTest::mouseMove(handle, handle->mapFrom(window->split(), QPoint(drag.to, from.y())));
            QTest::mouseRelease(handle, Qt::LeftButton, {}, handle->mapFrom(window->split(), QPoint(drag.to, from.y())));
            QCOMPARE(window->split()->inspectorWidth(), drag.width);
            QCOMPARE(OVSettings::shared()->values().inspector_width, drag.width);
        }
        window->inspector()->setFocus();
        QVERIFY(trigger(window, "ovInspector"));
        QVERIFY(!window->inspectorShown() && window->list()->hasFocus());
        QCOMPARE(OVSettings::shared()->values().inspector, uint8_t(0));
        // The path style shows in the inspector at once.
        QVERIFY(trigger(window, "ovInspector"));
        QVERIFY(selectPath(window->view(), "$.size.w"));
        QVERIFY(trigger(window, "ovPathStyle1"));
        QCOMPARE(window->inspector()->head().split('\n').value(1), QByteArray(".size.w"));
        QVERIFY(enabled(window, "ovPathStyle1") && ov_find_action(window, QStringLiteral("ovPathStyle1"))->isChecked());
        // A window opened with the inspector on shows it at the saved width, not squeezed.
        OVSettings::shared()->values().inspector_width = 450;
        OVDocWindow *other = open("[]", QStringLiteral("other.json"));
        QVERIFY(other->inspectorShown());
        QCOMPARE(other->split()->inspectorWidth(), 450);
    }

    // Every copy lands on the clipboard with its flash; the row menu's items do the same.
    void copies_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("fromRowMenu");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("flash");
        QTest::newRow("value") << "copy" << false << "{\n  \"w\": 3,\n  \"h\": 4\n}" << "Copied value";
        QTest::newRow("key") << "ovCopyKey" << false << "size" << "Copied key";
        QTest::newRow("path") << "ovCopyPath" << false << "$.size" << "Copied path";
        QTest::newRow("path as pointer") << "ovCopyPathAs4" << false << "/size" << "Copied path";
        QTest::newRow("JSON") << "ovCopyJSON" << false << "{\n  \"w\": 3,\n  \"h\": 4\n}" << "Copied JSON";
        QTest::newRow("minified") << "ovCopyMinified" << false << "{\"w\":3,\"h\":4}" << "Copied minified JSON";
        QTest::newRow("row menu: key") << "ovCopyKey" << true << "size" << "Copied key";
        QTest::newRow("row menu: python") << "ovCopyPathAs3" << true << "[\"size\"]" << "Copied path";
    }
    void copies() {
        QFETCH(QString, action);
        QFETCH(bool, fromRowMenu);
        QFETCH(QString, text);
        QFETCH(QString, flash);
        OVDocWindow *window = open(SAMPLE);
        QVERIFY(selectPath(window->view(), "$.size"));
        QAction *item = fromRowMenu ? window->contextMenu()->findChild<QAction *>(action) : ov_find_action(window, action);
        QVERIFY(item && ov_validate_action(item));
        item->trigger();
        QTRY_COMPARE(ov_pasteboard()->text(), text);
        QCOMPARE(window->statusLine()->rightLabel()->text(), flash);
    }

    // A copy above 256 MiB asks in a window-modal alert: "Cancel" copies nothing, "Copy" copies.
    void largeCopyAsks() {
        OVDocWindow *window = open(SAMPLE);
        window->copier()->sizeForTests = [](uint64_t) { return OVCopier::ASK_ABOVE + 1; };
        for (const int button : {1, 0}) {
            QVERIFY(trigger(window, "ovCopyMinified"));
            QTRY_COMPARE(alerts().size(), 1);
            QMessageBox *box = alerts().first();
            QCOMPARE(box->windowModality(), Qt::WindowModal);
            QCOMPARE(box->parentWidget(), window);
            QCOMPARE(box->buttons().size(), 2);
            QVERIFY(window->busy());
            box->done(1000 + button);
            QTRY_VERIFY(!window->busy());
            QCOMPARE(ov_pasteboard()->text(), button ? QString() : QStringLiteral("{\"name\":\"Orvel\",\"empty\":[],\"tags\":[\"x1\",\"x2\",\"x3\"],\"size\":{\"w\":3,\"h\":4}}"));
        }
    }

    // The row menu: its items in order, validated as it opens, acting on the selection.
    void rowMenu() {
        OVDocWindow *window = open(SAMPLE);
        QMenu *menu = window->contextMenu();
        QCOMPARE(menu->title(), QStringLiteral("Row"));
        QCOMPARE(titles(menu), QStringList({"Copy Value", "Copy Key", "Copy Path", "Copy Path As", "Copy as JSON",
                                            "Copy as Minified JSON", "-", "Expand Subtree", "Collapse Subtree",
                                            "Expand to Level"}));
        QCOMPARE(titles(menu->actions()[3]->menu()),
                 QStringList({"JSONPath", "jq", "JavaScript", "Python", "JSON Pointer"}));
        QCOMPARE(titles(menu->actions()[9]->menu()),
                 QStringList({"1", "2", "3", "4", "5", "6", "7", "8", "9"}));
        emit menu->aboutToShow();
        QVERIFY(!menu->actions()[1]->isEnabled()); // no key on the root
        QVERIFY(selectPath(window->view(), "$.size"));
        emit menu->aboutToShow();
        QVERIFY(menu->actions()[1]->isEnabled());
        menu->actions()[8]->trigger(); // collapse the subtree
        const uint32_t collapsed = jx_view_count(window->view());
        menu->actions()[7]->trigger();
        QCOMPARE(jx_view_count(window->view()), collapsed + 2);
        QCOMPARE(window->contextMenu(), menu);
        // The row menu's keys never make the menu bar's ambiguous.
        QVERIFY(selectPath(window->view(), "$.name"));
        QTest::keyClick(window->list(), Qt::Key_C, Qt::ControlModifier);
        QTRY_COMPARE(ov_pasteboard()->text(), QStringLiteral("Orvel"));
    }

    // Bigger Text reaches the list, the inspector and the crumbs of every window at once.
    void zoom() {
        OVDocWindow *window = open(SAMPLE);
        QVERIFY(trigger(window, "ovInspector"));
        const int rowHeight = window->list()->rowHeight();
        QVERIFY(trigger(window, "ovBigger"));
        QVERIFY(window->list()->rowHeight() > rowHeight);
        QCOMPARE(window->inspector()->font(), OVTheme::listFont());
        QVERIFY(trigger(window, "ovActualSize"));
        QCOMPARE(window->list()->rowHeight(), rowHeight);
        QCOMPARE(window->inspector()->font(), OVTheme::listFont());
    }

    // Moving or resizing a shown window stores its frame; the last one wins.
    void frame() {
        OVDocWindow *window = open(SAMPLE);
        window->move(40, 50);
        window->resize(700, 500);
        QTRY_COMPARE(OVSettings::shared()->values().win_w, 700);
        const JxSettings &values = OVSettings::shared()->values();
        QCOMPARE(QRect(values.win_x, values.win_y, values.win_w, values.win_h), window->geometry());
    }

    // Closing at random moments of a search, a Text view build, a copy or a reload frees
    // everything (the sanitizers check) and leaves no window behind.
    void closeDuringWork() {
        QByteArray big = "[";
        for (int i = 0; i < 200000; i++)
            big += "{\"k\": \"abcdefghijklmnopqrstuvwxyz\"},";
        big += "0]";
        QVERIFY(write_file(file("work.json"), big));
        const std::function<void(OVDocWindow *)> starts[] = {
            [](OVDocWindow *w) { w->searchFor(QStringLiteral("xyz"), 0); },
            [](OVDocWindow *w) { QVERIFY(trigger(w, "ovViewText")); },
            [](OVDocWindow *w) { QVERIFY(trigger(w, "copy")); },
            [](OVDocWindow *w) { QVERIFY(trigger(w, "ovReload")); },
            [](OVDocWindow *w) {
                QTest::keyClicks(w->topBar()->searchField(), "ab");
                QVERIFY(trigger(w, "ovCopyMinified"));
            },
        };
        closeAtRandomMoments(*delegate, file("work.json"), 20, 120, [&](OVDocWindow *window, int i) {
            QTRY_VERIFY_WITH_TIMEOUT(!window->busy() && window->view(), 60000);
            starts[i % 5](window);
        });
    }

    // Search hits with the inspector; Go to path with its error; a broken JSON Lines file; the
    // Text view with a selection: light and dark.
    void screenshots() {
        QDir().mkpath(QStringLiteral(ORVEL_SCREENS));
        QByteArray lines;
        for (int i = 0; i < 30; i++)
            lines += QByteArray("{\"id\": ") + QByteArray::number(i) + ", \"name\": \"item " + QByteArray::number(i) +
                     "\", \"tags\": [\"red\", \"green\"]}\n";
        const QByteArray broken = lines.left(200) + "{\"id\": 99, \"name\": \n" + lines.mid(200);
        for (int theme : {2, 1}) {
            OVTheme::applyTheme(theme);
            const QString suffix = theme == 1 ? QStringLiteral("dark.png") : QStringLiteral("light.png");
            const auto save = [&](OVDocWindow *w, const char *name) {
                QVERIFY(w->grab().save(QStringLiteral(ORVEL_SCREENS "/linux-window-") + QLatin1String(name) + suffix));
            };
            JxSettings &values = OVSettings::shared()->values();
            values.win_x = 0, values.win_y = 0, values.win_w = 900, values.win_h = 480;
            values.inspector_width = 300;
            OVDocWindow *hits = open(lines, QStringLiteral("shot.jsonl"));
            QVERIFY(trigger(hits, "ovInspector"));
            QVERIFY(trigger(hits, "ovExpandAll"));
            hits->searchFor(QStringLiteral("green"), 0);
            QTRY_VERIFY(hits->searchRunner()->idle());
            QVERIFY(trigger(hits, "ovFindNext"));
            save(hits, "search-");
            QVERIFY(trigger(hits, "ovInspector"));

            QVERIFY(trigger(hits, "ovGoto"));
            hits->topBar()->pathField()->setText(QStringLiteral("$[3].colour"));
            QTest::keyClick(hits->topBar()->pathField(), Qt::Key_Return);
            save(hits, "goto-error-");

            OVDocWindow *bad = open(broken, QStringLiteral("shot-broken.jsonl"));
            save(bad, "broken-");

            QTest::keyClick(hits->topBar()->pathField(), Qt::Key_Escape);
            QVERIFY(trigger(hits, "ovViewText"));
            QTRY_COMPARE(jx_view_mode(hits->view()), uint32_t(JX_MODE_TEXT));
            QWidget *rows = hits->list()->viewport();
            QTest::mouseClick(rows, Qt::LeftButton, {}, hits->list()->textRectOfRow(2).center());
            QTest::mouseClick(rows, Qt::LeftButton, Qt::ShiftModifier, hits->list()->textRectOfRow(5).center());
            QVERIFY(hits->list()->rowIsSelected(3));
            save(hits, "text-");
            closeEverything(*delegate);
        }
        OVTheme::applyTheme(0);
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
