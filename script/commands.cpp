// The script runner's commands, one function each, in the order of the command table.
#include "runner.h"

#include "keys.h"
#include "words.h"

#include "application.h"
#include "crumb_bar.h"
#include "doc_window.h"
#include "list_view.h"
#include "log.h"
#include "menus.h"
#include "pasteboard.h"
#include "settings_store.h"
#include "split_view.h"
#include "text_button.h"
#include "theme.h"
#include "top_bar.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QSplitter>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <climits>
#include <memory>
#include <time.h>

#include <jx/keys.h>
#include <jx/view.h>

namespace {
constexpr int TYPE_INTERVAL_MS = 10;
constexpr int CLICK_INSET = 6;
constexpr int CONTEXT_INSET = 4;
constexpr int MAX_LEVEL = 9;
constexpr uint32_t MAX_THEME = 2;
constexpr QPoint BUTTON_POINT(40, 10);
constexpr QPoint DROP_POINT(200, 200);
constexpr int TIMED_AFTER_MS = 250;
// Larger windows would ask for backing stores of gigabytes.
constexpr uint32_t MAX_SIDE = 100000;
// NSDragOperation's copy bit, the number the transcript shows for an accepted drag.
constexpr unsigned DRAG_COPY = 1;

} // namespace

static double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

static void sendMouse(QWidget *target, QEvent::Type type, QPoint at, Qt::MouseButton button,
                      Qt::KeyboardModifiers modifiers) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
    QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), button, held, modifiers);
    QCoreApplication::sendEvent(target, &event);
}

// The alert shown on window, if any: while it is up the window takes no keys and no window items.
static QMessageBox *sheetOf(QWidget *window) {
    for (QMessageBox *box : window->findChildren<QMessageBox *>())
        if (box->isVisible())
            return box;
    return nullptr;
}

// The widget keys go to: the window's alert, the focused widget inside window, else the window.
static QWidget *responder(QWidget *window) {
    if (QMessageBox *sheet = sheetOf(window))
        return sheet->focusWidget() ? sheet->focusWidget() : sheet;
    QWidget *focus = QApplication::focusWidget();
    if (focus && focus->window() == window)
        return focus;
    if (QWidget *child = window->focusWidget())
        return child;
    return window;
}

static bool matches(const QAction *action, QKeyCombination combination) {
    for (const QKeySequence &sequence : action->shortcuts())
        if (sequence.count() == 1 && sequence[0] == combination)
            return true;
    return false;
}

// The window's item whose shortcut is stroke, in either form of a shifted key.
static QAction *shortcutAction(QWidget *window, const OVKeyStroke &stroke) {
    QList<QKeyCombination> forms{QKeyCombination(stroke.modifiers, Qt::Key(stroke.key))};
    int twin = 0;
    Qt::KeyboardModifiers twinModifiers;
    if (ov_stroke_twin(stroke, &twin, &twinModifiers)) {
        forms.append(QKeyCombination(twinModifiers, Qt::Key(twin)));
        forms.append(QKeyCombination(twinModifiers & ~Qt::ShiftModifier, Qt::Key(stroke.key)));
    }
    for (QAction *action : window->findChildren<QAction *>(Qt::FindDirectChildrenOnly))
        for (QKeyCombination form : forms)
            if (matches(action, form))
                return action;
    return nullptr;
}

// The press may close what had the focus (Escape in a field, Return in the path field): the
// release goes only to a widget that is still there.
static void sendStroke(QWidget *target, const OVKeyStroke &stroke) {
    const QPointer<QWidget> alive(target);
    std::unique_ptr<QKeyEvent> press(ov_key_event(stroke, QEvent::KeyPress));
    QCoreApplication::sendEvent(target, press.get());
    std::unique_ptr<QKeyEvent> release(ov_key_event(stroke, QEvent::KeyRelease));
    if (alive)
        QCoreApplication::sendEvent(alive, release.get());
}

// Asks menu to update itself as opening it would; closeMenu undoes what opening changes.
static void openMenu(QMenu *menu) { emit menu->aboutToShow(); }
static void closeMenu(QMenu *menu) { emit menu->aboutToHide(); }

static QAction *itemTitled(const QList<QAction *> &items, const QString &title) {
    for (QAction *action : items)
        if (!action->isSeparator() && action->isVisible() && action->text() == title)
            return action;
    return nullptr;
}

void OVTestHook::cmdOpen(const Line &line, Done done) {
    OVDocWindow *window = OVAppDelegate::shared()->openPath(resolve(line.rest));
    if (!window) {
        done();
        return;
    }
    QPointer<OVDocWindow> opened(window);
    whenWindowIdle(window, [this, opened, done] {
        if (opened && !opened->failed() && opened->view())
            remember(opened);
        done();
    });
}

void OVTestHook::cmdOpenNowait(const Line &line, Done done) {
    remember(OVAppDelegate::shared()->openPath(resolve(line.rest)));
    done();
}

void OVTestHook::cmdOpenClipboard(const Line &, Done done) {
    QPointer<OVTestHook> self(this);
    OVAppDelegate::shared()->openClipboardThen([self](OVDocWindow *window) {
        if (self && window)
            self->remember(window);
    });
    idleLater(done);
}

void OVTestHook::cmdClip(const Line &line, Done done) {
    ov_pasteboard()->setText(ov_clip_unescape(line.rest));
    done();
}

void OVTestHook::cmdKey(const Line &line, Done done) {
    OVKeyStroke stroke;
    if (!ov_stroke_of_combo(line.words[1], &stroke)) {
        fail(QStringLiteral("not a key combo"));
        return;
    }
    QWidget *window = currentWindow();
    if (!window) {
        done();
        return;
    }
    window->activateWindow();
    // Qt offers a key to the shortcuts before the focused widget; a synthetic event skips that
    // step, so the runner looks the combination up among the window's items itself.
    if (stroke.modifiers & Qt::ControlModifier) {
        QAction *action = shortcutAction(window, stroke);
        if (action && (!sheetOf(window) || OVAppDelegate::isAppAction(action)) && ov_validate_action(action)) {
            ov_log("key %s: %s", qUtf8Printable(line.words[1]), "the menu");
            action->trigger();
            idleLater(done);
            return;
        }
    }
    QWidget *target = responder(window);
    ov_log("key %s: keyDown: of %s", qUtf8Printable(line.words[1]), target->metaObject()->className());
    sendStroke(target, stroke);
    idleLater(done);
}

void OVTestHook::cmdType(const Line &line, Done done) {
    QWidget *window = currentWindow();
    if (!window) {
        done();
        return;
    }
    window->activateWindow();
    typeFrom(window, line.rest.toUcs4(), 0, std::move(done));
}

// One character now, the next one TYPE_INTERVAL_MS later, to whatever has the focus then.
void OVTestHook::typeFrom(QWidget *window, QList<uint> characters, int index, Done done) {
    if (ended)
        return;
    QPointer<QWidget> alive(window);
    if (!alive || index >= characters.size()) {
        whenIdle(done);
        return;
    }
    sendStroke(responder(window), ov_stroke_of_character(char32_t(characters[index])));
    QTimer::singleShot(TYPE_INTERVAL_MS, this, [this, alive, characters, index, done] {
        if (alive)
            typeFrom(alive, characters, index + 1, done);
        else
            whenIdle(done);
    });
}

void OVTestHook::cmdClick(const Line &line, Done done) {
    uint32_t row = 0;
    if (!numberOrFail(line.words[1], &row))
        return;
    bool chevron = false, alt = false, shift = false, twice = false;
    for (qsizetype i = 2; i < line.words.size(); i++) {
        const QString &word = line.words[i];
        bool *flag = word == QLatin1String("chevron") ? &chevron
                     : word == QLatin1String("alt")   ? &alt
                     : word == QLatin1String("shift") ? &shift
                     : word == QLatin1String("double") ? &twice
                                                       : nullptr;
        if (!flag) {
            fail(QStringLiteral("click <row> [chevron] [alt] [shift]"));
            return;
        }
        *flag = true;
    }
    OVDocWindow *window = windowWithRow(row);
    if (!window) {
        done();
        return;
    }
    OVListView *list = window->list();
    QPoint at;
    if (chevron) {
        at = list->chevronRectOfRow(row).center();
    } else {
        const QRect text = list->textRectOfRow(row);
        at = QPoint(text.left() + std::min(CLICK_INSET, text.width() / 2), text.center().y());
    }
    Qt::KeyboardModifiers modifiers;
    if (alt) modifiers |= Qt::AltModifier;
    if (shift) modifiers |= Qt::ShiftModifier;
    QWidget *viewport = list->viewport();
    sendMouse(viewport, QEvent::MouseButtonPress, at, Qt::LeftButton, modifiers);
    sendMouse(viewport, QEvent::MouseButtonRelease, at, Qt::LeftButton, modifiers);
    if (twice) {
        sendMouse(viewport, QEvent::MouseButtonDblClick, at, Qt::LeftButton, modifiers);
        sendMouse(viewport, QEvent::MouseButtonRelease, at, Qt::LeftButton, modifiers);
    }
    idleLater(done);
}

void OVTestHook::cmdSearch(const Line &line, Done done) {
    uint32_t options = 0;
    const QString query = ov_peel_search(line.rest, &options);
    if (OVDocWindow *window = currentDoc())
        window->searchFor(query, options);
    idleLater(done);
}

void OVTestHook::viewCommand(uint32_t command, Done done) {
    if (OVDocWindow *window = currentDoc())
        window->runCommand(command);
    idleLater(done);
}

void OVTestHook::cmdFindNext(const Line &, Done done) { viewCommand(JX_CMD_FIND_NEXT, done); }
void OVTestHook::cmdFindPrev(const Line &, Done done) { viewCommand(JX_CMD_FIND_PREVIOUS, done); }
void OVTestHook::cmdNextProblem(const Line &, Done done) { viewCommand(JX_CMD_NEXT_PROBLEM, done); }
void OVTestHook::cmdExpandAll(const Line &, Done done) { viewCommand(JX_CMD_EXPAND_ALL, done); }
void OVTestHook::cmdCollapseAll(const Line &, Done done) { viewCommand(JX_CMD_COLLAPSE_ALL, done); }
void OVTestHook::cmdBack(const Line &, Done done) { viewCommand(JX_CMD_BACK, done); }
void OVTestHook::cmdForward(const Line &, Done done) { viewCommand(JX_CMD_FORWARD, done); }

void OVTestHook::cmdLevel(const Line &line, Done done) {
    uint32_t level = 0;
    if (!number(line.words[1], &level) || level < 1 || level > MAX_LEVEL) {
        badArguments();
        return;
    }
    viewCommand(JX_CMD_LEVEL_1 + level - 1, done);
}

// The path field takes the text and a Return, as if typed and confirmed.
void OVTestHook::cmdGoto(const Line &line, Done done) {
    OVDocWindow *window = currentDoc();
    if (!window || !window->view()) {
        done();
        return;
    }
    window->beginGoto();
    QLineEdit *field = window->topBar()->pathField();
    if (!field->isVisible()) {
        ov_log("goto: the path field has no editor");
        done();
        return;
    }
    field->setText(line.rest);
    OVKeyStroke enter;
    enter.key = Qt::Key_Return;
    enter.text = QStringLiteral("\r");
    sendStroke(field, enter);
    idleLater(done);
}

void OVTestHook::cmdCrumb(const Line &line, Done done) {
    uint32_t index = 0;
    if (!numberOrFail(line.words[1], &index))
        return;
    OVDocWindow *window = currentDoc();
    if (window && window->view()) {
        OVCrumbBar *crumbs = window->topBar()->crumbs();
        for (int slot = 0; slot < crumbs->slotCount(); slot++) {
            if (crumbs->slotIndex(slot) != int64_t(index))
                continue;
            const QPoint at = crumbs->slotRect(slot).center();
            sendMouse(crumbs, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::NoModifier);
            sendMouse(crumbs, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoModifier);
            break;
        }
    }
    idleLater(done);
}

void OVTestHook::cmdView(const Line &line, Done done) {
    const QString &mode = line.words[1];
    if (mode != QLatin1String("tree") && mode != QLatin1String("text")) {
        badArguments();
        return;
    }
    if (OVDocWindow *window = currentDoc())
        window->showMode(mode == QLatin1String("text") ? 1 : 0);
    idleLater(done);
}

void OVTestHook::cmdCopy(const Line &line, Done done) {
    const QByteArray word = line.words[1].toUtf8();
    uint32_t what = 0;
    int style = 0;
    if (!jx_copy_word(word.constData(), size_t(word.size()), &what, &style)) {
        fail(QStringLiteral("copy what?"));
        return;
    }
    if (OVDocWindow *window = currentDoc())
        window->copy(what, style);
    idleLater(done);
}

void OVTestHook::cmdWrite(const Line &line, Done done) {
    QString target, source;
    if (!ov_script_path_allowed(root, line.words[1], &target) || !ov_script_path_allowed(root, line.words[2], &source)) {
        fail(ov_write_usage());
        return;
    }
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly)) {
        fail(QStringLiteral("write: the source could not be read"));
        return;
    }
    const QByteArray bytes = in.readAll();
    QFile out(target);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size() || !out.flush()) {
        fail(QStringLiteral("write: the file could not be written"));
        return;
    }
    done();
}

void OVTestHook::cmdRemove(const Line &line, Done done) {
    QString target;
    if (!ov_script_path_allowed(root, line.words[1], &target)) {
        fail(ov_remove_usage());
        return;
    }
    if (!QFile::remove(target)) {
        fail(QStringLiteral("remove: the file could not be removed"));
        return;
    }
    done();
}

void OVTestHook::cmdReload(const Line &, Done done) {
    if (OVDocWindow *window = currentDoc())
        window->reload();
    idleLater(done);
}

void OVTestHook::cmdWait(const Line &line, Done done) {
    uint32_t ms = 0;
    if (!numberOrFail(line.words[1], &ms))
        return;
    // Qt's timers count in int: a longer wait would never fire.
    QTimer::singleShot(std::chrono::milliseconds(std::min<uint32_t>(ms, INT_MAX)), this, [this, done] { whenIdle(done); });
}

void OVTestHook::cmdSleep(const Line &line, Done done) {
    uint32_t ms = 0;
    if (!numberOrFail(line.words[1], &ms))
        return;
    QThread::msleep(ms);
    done();
}

static void logShot(bool ok, const QString &path, const QPixmap &pixmap) {
    ov_log("screenshot %s %s (%dx%d)", ok ? "ok" : "failed", qUtf8Printable(path), pixmap.width(), pixmap.height());
}

void OVTestHook::cmdScreenshot(const Line &line, Done done) {
    const QString name = line.words.size() > 1 ? line.words[1] : QStringLiteral("shot");
    // The name becomes part of a path: it must not reach outside the screenshots folder.
    if (line.words.size() > 2 || name.contains(QLatin1Char('/')) || name.contains(QLatin1String(".."))) {
        fail(QStringLiteral("screenshot <name>, without \"/\" or \"..\""));
        return;
    }
    QWidget *window = currentWindow();
    if (window) {
        const QString folder = root + QStringLiteral("/build/screens");
        QDir().mkpath(folder);
        const QPixmap pixmap = window->grab();
        const QString path = folder + QStringLiteral("/linux-") + name + QStringLiteral(".png");
        logShot(pixmap.save(path, "PNG"), path, pixmap);
        if (QMessageBox *box = sheetOf(window)) {
            const QPixmap sheet = box->grab();
            const QString sheetPath = folder + QStringLiteral("/linux-") + name + QStringLiteral("-sheet.png");
            logShot(sheet.save(sheetPath, "PNG"), sheetPath, sheet);
        }
    }
    done();
}

void OVTestHook::cmdResize(const Line &line, Done done) {
    uint32_t width = 0, height = 0;
    if (!number(line.words[1], &width) || !number(line.words[2], &height) || width > MAX_SIDE || height > MAX_SIDE) {
        fail(QStringLiteral("resize <width> <height>"));
        return;
    }
    if (QWidget *window = currentWindow())
        window->resize(int(width), int(height));
    idleLater(done);
}

void OVTestHook::cmdAnswer(const Line &line, Done done) {
    QWidget *window = currentWindow();
    QMessageBox *sheet = window ? sheetOf(window) : nullptr;
    QAbstractButton *button = nullptr;
    if (sheet)
        for (QAbstractButton *each : sheet->buttons())
            if (each->text() == line.rest)
                button = each;
    if (button)
        button->click();
    else
        ov_log("answer: no button \"%s\"", qUtf8Printable(line.rest));
    idleLater(done);
}

void OVTestHook::cmdQuit(const Line &, Done) { quit(); }

void OVTestHook::cmdDrop(const Line &line, Done done) {
    const bool hold = line.words.size() > 2 && line.words[2] == QLatin1String("hold");
    QWidget *window = currentWindow();
    if (!window || !window->windowHandle()) {
        done();
        return;
    }
    const QString path = resolve(line.words[1]);
    auto data = std::make_shared<QMimeData>();
    data->setUrls({QUrl::fromLocalFile(path)});
    const Qt::DropActions offered = Qt::CopyAction | Qt::LinkAction;
    QDragEnterEvent enter(DROP_POINT, offered, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window->windowHandle(), &enter);
    const bool entered = enter.isAccepted() && enter.dropAction() == Qt::CopyAction;
    ov_log("drop %s: entered %u", qUtf8Printable(line.words[1]), entered ? DRAG_COPY : 0u);
    if (hold) {
        // The drag stays over the window, as a person holding it there: its data must live on.
        heldDrag = data;
        done();
        return;
    }
    bool performed = false;
    if (entered) {
        QDropEvent drop(DROP_POINT, offered, data.get(), Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window->windowHandle(), &drop);
        performed = drop.isAccepted();
    } else {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(window->windowHandle(), &leave);
    }
    ov_log("drop %s: performed %d", qUtf8Printable(line.words[1]), performed ? 1 : 0);
    const QList<OVDocWindow *> &docs = OVAppDelegate::shared()->windows();
    if (!performed || docs.isEmpty()) {
        done();
        return;
    }
    QPointer<OVDocWindow> last(docs.last());
    whenWindowIdle(last, [this, last, done] {
        if (last && last->view())
            remember(last);
        done();
    });
}

// A visible push button or text button titled title, depth first.
static QWidget *buttonTitled(QWidget *under, const QString &title) {
    for (QObject *child : under->children()) {
        auto *widget = qobject_cast<QWidget *>(child);
        if (!widget || !widget->isVisible() || widget->isWindow())
            continue;
        auto *push = qobject_cast<QPushButton *>(widget);
        auto *text = dynamic_cast<OVTextButton *>(widget);
        if ((push && push->text() == title) || (text && text->title() == title))
            return widget;
        if (QWidget *found = buttonTitled(widget, title))
            return found;
    }
    return nullptr;
}

void OVTestHook::cmdPress(const Line &line, Done done) {
    QWidget *window = currentWindow();
    QWidget *button = window ? buttonTitled(window, line.rest) : nullptr;
    if (auto *push = qobject_cast<QPushButton *>(button))
        push->click();
    else if (auto *text = dynamic_cast<OVTextButton *>(button); text && text->action)
        text->action();
    else if (!button)
        ov_log("press: no button \"%s\"", qUtf8Printable(line.rest));
    idleLater(done);
}

void OVTestHook::cmdContext(const Line &line, Done done) {
    uint32_t row = 0;
    if (!numberOrFail(line.words[1], &row))
        return;
    OVDocWindow *window = windowWithRow(row);
    if (!window) {
        done();
        return;
    }
    // The right click selects the row as a person's does; the menu is taken instead of shown, since
    // a shown menu would wait for a person.
    OVListView *list = window->list();
    const std::function<void(const QPoint &)> show = list->onContextMenu;
    list->onContextMenu = nullptr;
    const QRect text = list->textRectOfRow(row);
    const QPoint at(text.left() + CONTEXT_INSET, text.center().y());
    sendMouse(list->viewport(), QEvent::MouseButtonPress, at, Qt::RightButton, Qt::NoModifier);
    sendMouse(list->viewport(), QEvent::MouseButtonRelease, at, Qt::RightButton, Qt::NoModifier);
    list->onContextMenu = show;
    QMenu *menu = window->contextMenu();
    openMenu(menu);
    write(QStringLiteral("--- context %1\n").arg(row).toUtf8());
    for (QAction *action : menu->actions())
        if (!action->isSeparator() && action->isVisible())
            write((action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (disabled)")) + QLatin1Char('\n')).toUtf8());
    const qsizetype space = line.rest.indexOf(QLatin1Char(' '));
    if (space >= 0) {
        const QStringList titles = line.rest.mid(space + 1).split(QStringLiteral(" > "));
        QMenu *current = menu;
        for (qsizetype i = 0; i < titles.size(); i++) {
            QAction *item = itemTitled(current->actions(), titles[i]);
            if (!item || (i + 1 < titles.size() && !item->menu())) {
                closeMenu(menu);
                fail(QStringLiteral("context: no such item"));
                return;
            }
            if (i + 1 < titles.size()) {
                current = item->menu();
                openMenu(current);
                continue;
            }
            if (item->isEnabled())
                item->trigger();
            else
                ov_log("context: %s is disabled", qUtf8Printable(titles[i]));
        }
    }
    closeMenu(menu);
    idleLater(done);
}

void OVTestHook::cmdButton(const Line &line, Done done) {
    uint32_t number = 0;
    if (!numberOrFail(line.words[1], &number))
        return;
    // The desktop numbers the middle button 2, back 3 and forward 4.
    const Qt::MouseButton button = number == 2   ? Qt::MiddleButton
                                   : number == 3 ? Qt::BackButton
                                   : number == 4 ? Qt::ForwardButton
                                   : number < 24 ? Qt::MouseButton(1u << number)
                                                 : Qt::NoButton;
    OVDocWindow *window = currentDoc();
    if (window && button != Qt::NoButton) {
        QWidget *viewport = window->list()->viewport();
        sendMouse(viewport, QEvent::MouseButtonPress, BUTTON_POINT, button, Qt::NoModifier);
        sendMouse(viewport, QEvent::MouseButtonRelease, BUTTON_POINT, button, Qt::NoModifier);
    }
    idleLater(done);
}

void OVTestHook::cmdMenu(const Line &line, Done done) {
    const QStringList titles = line.rest.split(QStringLiteral(" > "));
    QWidget *window = currentWindow();
    auto *bar = window ? window->findChild<QMenuBar *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
    // A window without a menu bar (the start window) answers its own few items under any menu.
    QList<QAction *> items;
    if (bar)
        items = bar->actions();
    else if (window)
        items = window->findChildren<QAction *>(Qt::FindDirectChildrenOnly);
    QList<QMenu *> opened;
    QAction *item = nullptr;
    for (qsizetype i = 0; i < titles.size(); i++) {
        item = itemTitled(items, titles[i]);
        if (!item && !bar && i + 1 < titles.size())
            continue;
        if (!item) {
            for (QMenu *menu : opened) closeMenu(menu);
            fail(QStringLiteral("menu: no item ") + titles[i]);
            return;
        }
        if (i + 1 == titles.size())
            break;
        if (!item->menu()) {
            for (QMenu *menu : opened) closeMenu(menu);
            fail(QStringLiteral("menu: not a submenu"));
            return;
        }
        openMenu(item->menu());
        opened.append(item->menu());
        items = item->menu()->actions();
    }
    // A trigger would pass by the alert's modality: the window's own items wait for its answer.
    const bool enabled = (bar ? item->isEnabled() : ov_validate_action(item)) && (!sheetOf(window) || OVAppDelegate::isAppAction(item));
    for (QMenu *menu : opened) closeMenu(menu);
    if (enabled)
        item->trigger();
    else
        ov_log("menu: %s is disabled", qUtf8Printable(titles.last()));
    idleLater(done);
}

void OVTestHook::cmdDivider(const Line &line, Done done) {
    uint32_t position = 0;
    if (!numberOrFail(line.words[1], &position))
        return;
    QWidget *window = currentWindow();
    if (auto *split = window ? window->findChild<QSplitter *>() : nullptr; split && split->count() >= 2) {
        const int total = split->orientation() == Qt::Horizontal ? split->width() : split->height();
        const int first = std::min(int(std::min<uint32_t>(position, 1u << 30)), total);
        split->setSizes({first, std::max(0, total - first - split->handleWidth())});
        emit split->splitterMoved(first, 1);
    }
    idleLater(done);
}

void OVTestHook::cmdStall(const Line &line, Done done) {
    uint32_t ms = 0;
    if (!numberOrFail(line.words[1], &ms))
        return;
    auto *timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(1);
    auto clock = std::make_shared<QElapsedTimer>();
    auto last = std::make_shared<qint64>(0);
    auto longest = std::make_shared<qint64>(0);
    clock->start();
    connect(timer, &QTimer::timeout, this, [this, timer, clock, last, longest, ms, done] {
        const qint64 now = clock->nsecsElapsed();
        *longest = std::max(*longest, now - *last);
        *last = now;
        if (now < qint64(ms) * 1000000)
            return;
        timer->stop();
        timer->deleteLater();
        ov_log("stall %u: the longest main-thread gap was %.1f ms", ms, double(*longest) / 1e6);
        done();
    });
    timer->start();
}

void OVTestHook::cmdTimed(const Line &line, Done done) {
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    const QString nested = line.rest;
    runLine(nested, [this, clock, nested, done] {
        const double toReturn = double(clock->nsecsElapsed()) / 1e6;
        QElapsedTimer draw;
        draw.start();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        if (QWidget *window = currentWindow())
            window->repaint();
        const double drawMs = double(draw.nsecsElapsed()) / 1e6;
        const double cpuBefore = threadCpuMs();
        QTimer::singleShot(TIMED_AFTER_MS, this, [nested, toReturn, drawMs, cpuBefore, done] {
            ov_log("timed %s: %.1f ms to return, %.1f ms to lay out and draw, %.1f ms of main-thread CPU in the 250 ms after",
                   qUtf8Printable(nested), toReturn, drawMs, threadCpuMs() - cpuBefore);
            done();
        });
    });
}

void OVTestHook::cmdTheme(const Line &line, Done done) {
    uint32_t theme = 0;
    if (!number(line.words[1], &theme) || theme > MAX_THEME) {
        badArguments();
        return;
    }
    OVSettings *settings = OVSettings::shared();
    settings->values().theme = int(theme);
    settings->changed();
    settings->saveNow();
    OVTheme::applyTheme(int(theme));
    QMetaObject::invokeMethod(this, [done] { done(); }, Qt::QueuedConnection);
}
