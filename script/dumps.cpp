// The script runner's dumps: what a window shows, written to the transcript as text.
#include "runner.h"

#include "words.h"

#include "application.h"
#include "doc_window.h"
#include "error_bar.h"
#include "details_view.h"
#include "label.h"
#include "list_view.h"
#include "pasteboard.h"
#include "split_view.h"
#include "text.h"
#include "top_bar.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

#include <cmath>
#include <cstdlib>

#include <jx/view.h>

// The text a core dump allocated, as bytes; the core's copy is freed. The length is read only
// after the call that sets it.
template <typename Make> static QByteArray take(Make make) {
    size_t length = 0;
    char *text = make(&length);
    QByteArray bytes(text ? text : "", text ? qsizetype(length) : 0);
    free(text);
    return bytes;
}

void OVTestHook::cmdDump(const Line &line, Done done) {
    QString header = QStringLiteral("---");
    for (const QString &word : line.words.mid(1))
        header += QLatin1Char(' ') + word;
    const QString what = line.words.value(1);
    OVDocWindow *window = currentDoc();
    uint32_t first = 0, count = 0;
    if (what == QLatin1String("rows")) {
        if (line.words.size() != 4 || !number(line.words[2], &first) || !number(line.words[3], &count)) {
            fail(QStringLiteral("dump what?"));
            return;
        }
    } else if (what != QLatin1String("state") && what != QLatin1String("clipboard") && what != QLatin1String("inspector") &&
               what != QLatin1String("shell") && what != QLatin1String("windows") && what != QLatin1String("menus")) {
        fail(QStringLiteral("dump what?"));
        return;
    }
    writeLine(header);
    if (what == QLatin1String("rows"))
        dumpRows(window, first, count);
    else if (what == QLatin1String("state"))
        dumpState(window);
    else if (what == QLatin1String("clipboard"))
        write(ov_pasteboard()->text().toUtf8() + '\n');
    else if (what == QLatin1String("inspector"))
        dumpInspector(window);
    else if (what == QLatin1String("shell"))
        dumpShell(window);
    else if (what == QLatin1String("windows"))
        dumpWindows();
    else
        dumpMenus();
    done();
}

void OVTestHook::dumpRows(OVDocWindow *window, uint32_t first, uint32_t count) {
    if (!window || !window->view())
        return;
    write(take([&](size_t *length) { return jx_view_dump_rows(window->view(), first, count, length); }));
}

void OVTestHook::dumpState(OVDocWindow *window) {
    if (!window || !window->view())
        return;
    write(take([&](size_t *length) { return jx_view_dump_state(window->view(), length); }));
}

void OVTestHook::dumpInspector(OVDocWindow *window) {
    if (!window || !window->view())
        return;
    write(take([&](size_t *length) { return jx_view_inspect(window->view(), OVDocWindow::pathStyle(), length); }) + '\n');
}

static QString orDash(const QString &text) { return text.isEmpty() ? QStringLiteral("-") : text; }

void OVTestHook::dumpShell(OVDocWindow *window) {
    if (!window)
        return;
    OVTopBar *top = window->topBar();
    OVErrorBar *error = window->errorBar();
    QString text;
    text += QStringLiteral("errorbar=") + orDash(error->isVisible() ? error->text() : QString()) + QLatin1Char('\n');
    text += QStringLiteral("note=") + orDash(window->noteText()) + QLatin1Char('\n');
    text += QStringLiteral("path-field=") + orDash(top->editingPath() ? top->pathField()->text() : QString()) + QLatin1Char('\n');
    text += QStringLiteral("search-field=") + orDash(top->searchText()) + (top->searchBad() ? QStringLiteral(" [red]") : QString()) +
            QStringLiteral(" (") + orDash(top->count()->text()) + QStringLiteral(")\n");
    OVListView *list = window->list();
    // The Text view's column is at least as wide as its longest line measured so far.
    const double column = list->textMode() ? std::max(std::ceil(list->gutterWidth() + list->textWidthSoFar() + 16), double(list->visibleWidth()))
                                           : double(list->visibleWidth());
    text += ov_format("list=%.0f wide, %.0f shown\n", column, double(list->visibleWidth()));
    if (window->inspectorShown()) {
        OVInspectorView *inspector = window->inspector();
        const QString shown = inspector->toPlainText();
        text += ov_format("inspector=%lld of %lld UTF-16 units\n", (long long)shown.size(),
                          (long long)(shown.size() + (inspector->restShown() ? 0 : QString::fromUtf8(inspector->rest()).size())));
    } else {
        text += QStringLiteral("inspector=-\n");
    }
    write(text.toUtf8());
}

void OVTestHook::dumpWindows() {
    OVDocWindow *current = currentDoc();
    QString text;
    for (OVDocWindow *window : OVAppDelegate::shared()->windows())
        text += (window == current ? QStringLiteral("* ") : QStringLiteral("  ")) + window->windowTitle() + QLatin1Char('\n');
    QWidget *start = OVAppDelegate::shared()->startWindow();
    if (start && start->isVisible())
        text += QStringLiteral("  (start window)\n");
    write(text.toUtf8());
}

// The menu listing's shortcut: ctrl, opt, shift in that order, then the key as it types: a letter
// in lower case without Shift.
static QString shortcutText(const QAction *action) {
    const QList<QKeySequence> keys = action->shortcuts();
    if (keys.isEmpty() || keys[0].isEmpty())
        return QString();
    const QKeyCombination combination = keys[0][0];
    const Qt::KeyboardModifiers m = combination.keyboardModifiers();
    QString text = QStringLiteral(" [");
    if (m & Qt::ControlModifier) text += QStringLiteral("ctrl+");
    if (m & Qt::AltModifier) text += QStringLiteral("opt+");
    if (m & Qt::ShiftModifier) text += QStringLiteral("shift+");
    QString key = QKeySequence(combination.key()).toString(QKeySequence::PortableText);
    // Shifted brackets are registered by their key ("]" with Shift) and listed by what they type.
    if (m & Qt::ShiftModifier && combination.key() == Qt::Key_BracketRight)
        key = QStringLiteral("}");
    else if (m & Qt::ShiftModifier && combination.key() == Qt::Key_BracketLeft)
        key = QStringLiteral("{");
    else if (!(m & Qt::ShiftModifier))
        key = key.toLower();
    return text + key + QLatin1Char(']');
}

static QString listMenu(QMenu *menu) {
    QString text;
    for (QAction *action : menu->actions()) {
        if (action->isSeparator() || !action->isVisible())
            continue;
        text += menu->title() + QStringLiteral(" > ") + action->text() + shortcutText(action) + QLatin1Char('\n');
        if (action->menu())
            text += listMenu(action->menu());
    }
    return text;
}

static void updateMenus(QMenu *menu) {
    OVAppDelegate::shared()->menuNeedsUpdate(menu);
    for (QAction *action : menu->actions())
        if (action->menu())
            updateMenus(action->menu());
}

void OVTestHook::dumpMenus() {
    QWidget *window = currentWindow();
    auto *bar = window ? window->findChild<QMenuBar *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    if (!bar)
        return;
    QString text;
    for (QAction *top : bar->actions()) {
        if (!top->menu())
            continue;
        updateMenus(top->menu());
        text += listMenu(top->menu());
    }
    write(text.toUtf8());
}
