#include "application.h"

#include "arguments.h"
#include "doc_window.h"
#include "instance.h"
#include "log.h"
#include "menus.h"
#include "options.h"
#include "pasteboard.h"
#include "screenshot.h"
#include "settings_store.h"
#include "start_window.h"
#include "text.h"
#include "theme.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QStyle>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <memory>
#include <utility>

#include <jx/parse.h>
#include <jx/problem.h>
#include <jx/view.h>

namespace {
constexpr int MIN_SAVED_WIDTH = 320;
constexpr int MIN_SAVED_HEIGHT = 200;
constexpr int SCREEN_INSET = 40; // a saved frame this close to every screen's edge is lost
constexpr int ALERT_FIRST_BUTTON = 1000;
const char *const JSON_EXTENSIONS[] = {"json", "jsonl", "ndjson", "jsonc", "json5", "geojson"};
// Items the delegate answers whatever window they come from.
const char *const APP_ITEMS[] = {"openDocument", "ovOpenClipboard", "ovOpenRecent", "ovClearRecent",
                                 "ovMakeDefault", "terminate", "orderFrontStandardAboutPanel"};
// Items a focused text field answers (its slots carry the same names).
const char *const EDIT_ITEMS[] = {"undo", "redo", "cut", "copy", "paste", "selectAll"};

OVAppDelegate *sharedDelegate = nullptr;
} // namespace

template <size_t N> static bool listed(const char *const (&names)[N], const QString &name) {
    for (const char *item : names)
        if (name == QLatin1String(item))
            return true;
    return false;
}

OVApplication::OVApplication(int &argc, char **argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Orvel"));
    setApplicationVersion(QStringLiteral("0.1"));
    setDesktopFileName(QStringLiteral("orvel"));
}

OVAppDelegate::OVAppDelegate() {
    sharedDelegate = this;
    // Quitting follows the document and start windows, not every top-level widget.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    workers.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
}

OVAppDelegate::~OVAppDelegate() {
    const QList<OVDocWindow *> left = docs;
    docs.clear();
    qDeleteAll(left);
    delete start.data();
    delete openPanel.data();
    for (const QPointer<QWidget> &alert : loneAlerts)
        delete alert.data();
    ending = true;
    workers.waitForDone();
    // Windows closed on the last turns wait for a deferred delete that will not come.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The workers' last results are queued here: they free what they carry.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    if (sharedDelegate == this)
        sharedDelegate = nullptr;
}

OVAppDelegate *OVAppDelegate::shared() {
    return sharedDelegate;
}

void OVAppDelegate::applicationWillFinishLaunching() {
    OVSettings *settings = OVSettings::shared();
    settings->load();
    OVTheme::applyTheme(settings->values().theme);
    OVTheme::setFontSize(settings->values().font_size);
}

void OVAppDelegate::applicationDidFinishLaunching() {
    for (const QString &path : launchFiles)
        openPath(path);
    post([this] {
        if (docs.isEmpty())
            showStartWindow();
    });
    if (launched)
        launched();
}

void OVAppDelegate::openPaths(const QStringList &paths) {
    if (paths.isEmpty())
        applicationShouldHandleReopen();
    for (const QString &path : paths)
        openPath(path);
}

void OVAppDelegate::applicationShouldHandleReopen() {
    if (docs.isEmpty())
        showStartWindow();
    else
        show(docs.last()); // a second launch without files brings Orvel forward
}

void OVAppDelegate::applicationWillTerminate() {
    OVSettings::shared()->saveNow();
}

OVDocWindow *OVAppDelegate::openPath(const QString &path) {
    const QString standard = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    for (OVDocWindow *window : docs) {
        if (window->showsFile(standard)) {
            ov_log("focus %s", qUtf8Printable(standard));
            show(window);
            return window;
        }
    }
    auto *window = new OVDocWindow(standard);
    addWindow(window);
    window->startLoading();
    return window;
}

void OVAppDelegate::addWindow(OVDocWindow *window) {
    docs.append(window);
    place(window);
    show(window);
    closeStartWindow();
}

void OVAppDelegate::windowClosed(OVDocWindow *window) {
    docs.removeAll(window);
    if (window->failed() && docs.isEmpty())
        showStartWindow();
    else
        quitIfNoWindow();
}

void OVAppDelegate::quitIfNoWindow() {
    if (!ov_test_mode() && docs.isEmpty() && !start)
        emit quitRequested();
}

void OVAppDelegate::show(QWidget *window) {
    if (window->isMinimized())
        window->showNormal();
    if (ov_test_mode()) {
        // Scripts run beside the user's work and must not take the keyboard from it.
        window->setAttribute(Qt::WA_ShowWithoutActivating);
        window->show();
        window->raise();
        return;
    }
    window->show();
    window->raise();
    window->activateWindow();
}

static QScreen *mainScreen() {
    if (QScreen *screen = QGuiApplication::primaryScreen())
        return screen;
    const QList<QScreen *> screens = QGuiApplication::screens();
    return screens.isEmpty() ? nullptr : screens.first();
}

static void moveToBottomRight(QWidget *window, const QRect &area) {
    window->setGeometry(QRect(QPoint(area.x() + area.width() - window->width(), area.y() + area.height() - window->height()),
                              window->size()));
}

static void centre(QWidget *window, const QRect &area) {
    QRect frame(QPoint(0, 0), window->size());
    frame.moveCenter(area.center());
    window->setGeometry(frame);
}

void OVAppDelegate::place(QWidget *window) {
    const JxSettings &values = OVSettings::shared()->values();
    QScreen *screen = mainScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    if (values.win_w >= MIN_SAVED_WIDTH && values.win_h >= MIN_SAVED_HEIGHT)
        window->resize(values.win_w, values.win_h);
    if (ov_test_mode()) {
        moveToBottomRight(window, area);
        return;
    }
    if (placedOne) {
        cascade = cascadeTopLeft(window, &cascade);
        return;
    }
    placedOne = true;
    const QRect saved(values.win_x, values.win_y, values.win_w, values.win_h);
    bool visible = false;
    for (QScreen *each : QGuiApplication::screens())
        if (values.win_w >= 1 && saved.intersects(each->availableGeometry().adjusted(SCREEN_INSET, SCREEN_INSET, -SCREEN_INSET, -SCREEN_INSET)))
            visible = true;
    if (visible)
        window->setGeometry(saved);
    else
        centre(window, area);
    cascade = cascadeTopLeft(window, nullptr);
}

// Moves the window's top-left corner to *from (when given) and answers the point for the next
// window, one title bar's height right and down. A window that would cross the screen's right
// or bottom edge starts again at its left or top edge; one larger than the screen stays there.
QPoint OVAppDelegate::cascadeTopLeft(QWidget *window, const QPoint *from) const {
    const int step = window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, window);
    QRect frame = window->geometry();
    if (from) {
        QPoint corner = *from;
        if (QScreen *screen = mainScreen()) {
            const QRect area = screen->availableGeometry();
            if (corner.x() + frame.width() > area.x() + area.width() && corner.x() != area.x())
                corner.setX(area.x());
            if (corner.y() + frame.height() > area.y() + area.height() && corner.y() != area.y())
                corner.setY(area.y());
        }
        frame.moveTopLeft(corner);
        window->setGeometry(frame);
    }
    return frame.topLeft() + QPoint(step, step);
}

QWidget *OVAppDelegate::startWindow() const {
    return start.data();
}

void OVAppDelegate::showStartWindow() {
    if (!start) {
        start = new OVStartWindow;
        if (QScreen *screen = mainScreen()) {
            if (ov_test_mode())
                moveToBottomRight(start, screen->availableGeometry());
            else
                centre(start, screen->availableGeometry());
        }
    }
    start->reload();
    show(start);
}

void OVAppDelegate::closeStartWindow() {
    if (OVStartWindow *window = start.data()) {
        start = nullptr;
        window->closeQuietly();
    }
}

void OVAppDelegate::startWindowClosed(OVStartWindow *window) {
    if (start == window)
        start = nullptr;
    quitIfNoWindow();
}

QWidget *OVAppDelegate::frontWindow() const {
    if (QWidget *active = QApplication::activeWindow())
        return active;
    for (qsizetype i = docs.size() - 1; i >= 0; i--)
        if (docs[i]->isVisible())
            return docs[i];
    if (start && start->isVisible())
        return start;
    return nullptr;
}

void OVAppDelegate::alert(const QString &message) {
    if (QWidget *front = frontWindow()) {
        alertOn(front, message, nullptr);
        return;
    }
    if (ov_test_mode())
        return;
    auto *box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("Orvel"), message);
    box->setObjectName(QStringLiteral("alert"));
    box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    loneAlerts.append(box);
    box->show();
}

void OVAppDelegate::alertOn(QWidget *window, const QString &message, std::function<void()> then) {
    alertOn(window, message, {QStringLiteral("OK")}, [then](int) {
        if (then)
            then();
    });
}

QMessageBox *OVAppDelegate::alertOn(QWidget *window, const QString &message, const QStringList &buttons,
                                    std::function<void(int)> then) {
    auto *box = new QMessageBox(window);
    box->setObjectName(QStringLiteral("alert"));
    box->setText(message);
    QList<QAbstractButton *> added;
    for (const QString &title : buttons)
        added.append(static_cast<QAbstractButton *>(box->addButton(title, added.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole)));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    // Custom buttons give an opaque result: the button clicked tells, else the code done() got.
    connect(box, &QMessageBox::finished, window, [box, added, then](int code) {
        qsizetype index = added.indexOf(box->clickedButton());
        if (index < 0)
            index = code >= ALERT_FIRST_BUTTON && code - ALERT_FIRST_BUTTON < added.size() ? code - ALERT_FIRST_BUTTON
                                                                                         : added.size() - 1;
        if (then)
            then(int(index));
    });
    box->open();
    if (ov_test_mode() && buttons.size() == 1) {
        // Nobody answers in a script run: the only button is taken on the next turn.
        const QPointer<QMessageBox> up(box);
        post([up] {
            if (up)
                up->done(ALERT_FIRST_BUTTON);
        });
    }
    return box;
}

QStringList OVAppDelegate::recentPaths() const {
    const JxSettings &values = OVSettings::shared()->values();
    QStringList paths;
    for (int i = 0; i < values.nrecent && i < JX_RECENT_MAX; i++)
        paths.append(QString::fromUtf8(values.recent[i]));
    return paths;
}

void OVAppDelegate::noteRecent(const QString &path) {
    jx_settings_add_recent(&OVSettings::shared()->values(), path.toUtf8().constData());
    OVSettings::shared()->changed();
}

void OVAppDelegate::clearRecent() {
    OVSettings::shared()->values().nrecent = 0;
    OVSettings::shared()->changed();
    if (start)
        start->reload();
}

void OVAppDelegate::whenClipboardIdle(std::function<void()> block) {
    if (clipsInFlight == 0)
        block();
    else
        clipIdle.append(std::move(block));
}

void OVAppDelegate::openClipboardThen(std::function<void(OVDocWindow *)> block) {
    const QByteArray bytes = ov_pasteboard()->text().toUtf8();
    clipsInFlight++;
    runInBackground([this, bytes, block] {
        const double started = ov_uptime();
        // A text the core cannot take at all is too big, not a shortage of memory.
        int status = size_t(bytes.size()) > JX_MAX_SIZE ? JX_TOO_BIG : JX_NO_MEMORY;
        JxDoc *doc = nullptr;
        if (char *buf = status == JX_NO_MEMORY ? jx_buf_alloc(size_t(bytes.size())) : nullptr) {
            memcpy(buf, bytes.constData(), size_t(bytes.size()));
            doc = jx_parse(buf, size_t(bytes.size()), nullptr, nullptr, &status);
        }
        const int ms = int((ov_uptime() - started) * 1000);
        // Built here, like a file's: the default expansion walks the whole document.
        JxView *view = doc ? jx_view_new(doc) : nullptr;
        post([this, doc, view, status, ms, block] { clipboardParsed(doc, view, status, ms, block); });
    });
}

void OVAppDelegate::clipboardParsed(JxDoc *doc, JxView *view, int status, int ms,
                                    const std::function<void(OVDocWindow *)> &then) {
    clipsInFlight--;
    if (ending) {
        jx_view_free(view);
        jx_doc_release(doc);
        return;
    }
    OVDocWindow *window = nullptr;
    const uint32_t format = jx_doc_format(doc);
    if (!doc) {
        const char *reason = status == JX_TOO_BIG ? "it is too big" : "there is not enough memory";
        const QString message = ov_format("Could not open \"%s\": %s.", "Clipboard", reason);
        ov_log("clipboard: %s", qUtf8Printable(message));
        note(QStringLiteral("open-error=") + message);
        alert(message);
    } else if (format != JX_FORMAT_EMPTY && (format != JX_FORMAT_VALUE || jx_doc_error_count(doc) == 0)) {
        clipCount++;
        const QString title = ov_format("Clipboard %u", clipCount);
        // Without a view (no memory left for it) the window says so and closes.
        window = new OVDocWindow(std::exchange(view, nullptr), title, ms);
        addWindow(window);
        ov_log("opened the clipboard as %s", qUtf8Printable(title));
        jx_doc_release(doc);
    } else {
        const jx_problem *problem = jx_doc_error(doc, 0);
        const QString message =
            problem ? ov_format("The clipboard does not hold JSON: %s (line %u, column %u).", problem->message, problem->line, problem->column)
                    : ov_format("The clipboard does not hold JSON: %s (line %u, column %u).", "it is empty", 1u, 1u);
        jx_doc_release(doc);
        ov_log("clipboard: %s", qUtf8Printable(message));
        note(QStringLiteral("message=") + message);
        alert(message);
    }
    jx_view_free(view);
    if (then)
        then(window);
    if (clipsInFlight > 0)
        return;
    const QList<std::function<void()>> blocks = std::move(clipIdle);
    clipIdle.clear();
    for (const std::function<void()> &block : blocks)
        block();
}

QStringList OVAppDelegate::jsonTypes() {
    QMimeDatabase db;
    QStringList types;
    // A type the database only guesses (octet-stream) would make Orvel open every unknown file.
    const auto add = [&types](const QMimeType &type) {
        if (type.isValid() && !type.isDefault() && type.name() != QLatin1String("application/octet-stream") &&
            !types.contains(type.name()))
            types.append(type.name());
    };
    add(db.mimeTypeForName(QStringLiteral("application/json")));
    for (const char *ext : JSON_EXTENSIONS)
        add(db.mimeTypeForFile(QStringLiteral("x.") + QLatin1String(ext), QMimeDatabase::MatchExtension));
    return types;
}

void OVAppDelegate::makeDefault() {
    if (ov_test_mode()) {
        ov_log("make default: not in a test run");
        return;
    }
    const QStringList types = jsonTypes();
    if (types.isEmpty()) {
        finishMakeDefault(0);
        return;
    }
    struct Request {
        int pending;
        int failed = 0;
    };
    auto request = std::make_shared<Request>(Request{int(types.size())});
    for (const QString &type : types) {
        auto *process = new QProcess(this);
        const auto done = [this, request, process, type](const QString &failure) {
            process->disconnect(this);
            process->deleteLater();
            if (!failure.isEmpty()) {
                ov_log("make default %s: %s", qUtf8Printable(type), qUtf8Printable(failure));
                request->failed++;
            }
            if (--request->pending == 0)
                finishMakeDefault(request->failed);
        };
        connect(process, &QProcess::errorOccurred, this, [process, done](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                done(process->errorString());
        });
        connect(process, &QProcess::finished, this, [process, done](int code, QProcess::ExitStatus how) {
            if (how != QProcess::NormalExit)
                done(QStringLiteral("xdg-mime crashed"));
            else if (code != 0) {
                const QString said = QString::fromLocal8Bit(process->readAllStandardError()).trimmed();
                done(said.isEmpty() ? QStringLiteral("xdg-mime exited with status %1").arg(code) : said);
            } else
                done(QString());
        });
        process->start(QStringLiteral("xdg-mime"), {QStringLiteral("default"), QStringLiteral("orvel.desktop"), type});
    }
}

void OVAppDelegate::finishMakeDefault(int failed) {
    const QString text = failed ? QStringLiteral("The system did not make Orvel the default: see the log")
                                : QStringLiteral("Orvel now opens JSON files");
    if (auto *window = qobject_cast<OVDocWindow *>(QApplication::activeWindow()))
        window->flashStatus(text);
    else
        alert(text);
}

void OVAppDelegate::settingsChanged() {
    for (OVDocWindow *window : docs)
        window->settingsChanged();
}

void OVAppDelegate::zoom(int delta) {
    const int size = delta ? OVTheme::fontSize() + delta : OVTheme::DEFAULT_FONT_SIZE;
    if (size < OVTheme::MIN_FONT_SIZE || size > OVTheme::MAX_FONT_SIZE)
        return;
    OVTheme::setFontSize(size);
    OVSettings::shared()->values().font_size = size == OVTheme::DEFAULT_FONT_SIZE ? 0 : size;
    OVSettings::shared()->changed();
    for (OVDocWindow *window : docs)
        window->fontChanged();
}

// The focused text field of the action's window, which answers the Edit items before the window.
static QWidget *textTarget(const QAction *action) {
    QWidget *window = ov_action_window(action);
    QWidget *focus = QApplication::focusWidget();
    // A script's windows may never become active (X11 without a window manager): there the
    // window's own focus child is the one the item is for.
    if (ov_test_mode() && window && (!focus || focus->window() != window))
        focus = window->focusWidget();
    if (!focus || focus->window() != window)
        return nullptr;
    if (qobject_cast<QLineEdit *>(focus) || qobject_cast<QPlainTextEdit *>(focus) || qobject_cast<QTextEdit *>(focus))
        return focus;
    return nullptr;
}

// Cut, copy and paste in a text field go through the process's pasteboard rather than Qt's
// clipboard: in script mode that pasteboard is private, so a field's copy must neither reach the
// user's clipboard nor be missing from the one the script reads. False for other items.
static bool pasteboardEdit(QWidget *target, const QString &name) {
    const bool copy = name == QLatin1String("copy"), cut = name == QLatin1String("cut"), paste = name == QLatin1String("paste");
    if (!copy && !cut && !paste)
        return false;
    auto *line = qobject_cast<QLineEdit *>(target);
    auto *plain = qobject_cast<QPlainTextEdit *>(target);
    auto *rich = qobject_cast<QTextEdit *>(target);
    if (!line && !plain && !rich)
        return false;
    const bool readOnly = line ? line->isReadOnly() : plain ? plain->isReadOnly() : rich->isReadOnly();
    if (paste) {
        const QString text = ov_pasteboard()->text();
        if (readOnly)
            return true;
        if (line)
            line->insert(text);
        else if (plain)
            plain->insertPlainText(text);
        else
            rich->insertPlainText(text);
        return true;
    }
    QString selected = line ? line->selectedText() : plain ? plain->textCursor().selectedText() : rich->textCursor().selectedText();
    if (selected.isEmpty())
        return true;
    // Text cursors end paragraphs with U+2029.
    selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    ov_pasteboard()->setText(selected);
    if (cut && !readOnly) {
        if (line)
            line->del();
        else if (plain)
            plain->textCursor().removeSelectedText();
        else
            rich->textCursor().removeSelectedText();
    }
    return true;
}

static bool validateText(QWidget *target, const QString &name) {
    if (auto *line = qobject_cast<QLineEdit *>(target)) {
        if (name == QLatin1String("undo"))
            return line->isUndoAvailable();
        if (name == QLatin1String("redo"))
            return line->isRedoAvailable();
        if (name == QLatin1String("cut"))
            return line->hasSelectedText() && !line->isReadOnly();
        if (name == QLatin1String("copy"))
            return line->hasSelectedText();
        if (name == QLatin1String("paste"))
            return !line->isReadOnly();
        return !line->text().isEmpty();
    }
    auto *plain = qobject_cast<QPlainTextEdit *>(target);
    auto *rich = qobject_cast<QTextEdit *>(target);
    const bool readOnly = plain ? plain->isReadOnly() : rich->isReadOnly();
    const bool selected = plain ? plain->textCursor().hasSelection() : rich->textCursor().hasSelection();
    const QTextDocument *document = plain ? plain->document() : rich->document();
    if (name == QLatin1String("undo"))
        return !readOnly && document->isUndoAvailable();
    if (name == QLatin1String("redo"))
        return !readOnly && document->isRedoAvailable();
    if (name == QLatin1String("cut"))
        return selected && !readOnly;
    if (name == QLatin1String("copy"))
        return selected;
    if (name == QLatin1String("paste"))
        return !readOnly;
    return !document->isEmpty();
}

bool OVAppDelegate::isAppAction(const QAction *action) {
    const QString name = ov_action_name(action);
    return listed(APP_ITEMS, name) || name == QLatin1String("ovBigger") || name == QLatin1String("ovSmaller") ||
           name == QLatin1String("ovActualSize");
}

bool OVAppDelegate::validate(const QAction *action, bool *checked) {
    const QString name = ov_action_name(action);
    *checked = false;
    if (name == QLatin1String("ovBigger"))
        return OVTheme::fontSize() < OVTheme::MAX_FONT_SIZE;
    if (name == QLatin1String("ovSmaller"))
        return OVTheme::fontSize() > OVTheme::MIN_FONT_SIZE;
    if (name == QLatin1String("ovActualSize"))
        return OVTheme::fontSize() != OVTheme::DEFAULT_FONT_SIZE;
    if (listed(APP_ITEMS, name))
        return true;
    if (listed(EDIT_ITEMS, name))
        if (QWidget *target = textTarget(action))
            return validateText(target, name);
    if (auto *window = qobject_cast<OVDocWindow *>(ov_action_window(action)))
        return window->validate(action, checked);
    return false;
}

void OVAppDelegate::perform(QAction *action) {
    const QString name = ov_action_name(action);
    if (name == QLatin1String("openDocument"))
        openDocument();
    else if (name == QLatin1String("ovOpenClipboard"))
        openClipboardThen(nullptr);
    else if (name == QLatin1String("ovOpenRecent"))
        openPath(action->data().toString());
    else if (name == QLatin1String("ovClearRecent"))
        clearRecent();
    else if (name == QLatin1String("ovMakeDefault"))
        makeDefault();
    else if (name == QLatin1String("ovBigger"))
        zoom(1);
    else if (name == QLatin1String("ovSmaller"))
        zoom(-1);
    else if (name == QLatin1String("ovActualSize"))
        zoom(0);
    else if (name == QLatin1String("terminate"))
        emit quitRequested();
    else if (name == QLatin1String("orderFrontStandardAboutPanel"))
        about();
    else if (QWidget *target = listed(EDIT_ITEMS, name) ? textTarget(action) : nullptr) {
        if (!pasteboardEdit(target, name))
            QMetaObject::invokeMethod(target, name.toLatin1().constData());
    }
    else if (auto *window = qobject_cast<OVDocWindow *>(ov_action_window(action)))
        window->perform(action);
}

void OVAppDelegate::menuNeedsUpdate(QMenu *menu) {
    const QString name = menu->objectName();
    if (name == QLatin1String("menuOpenRecent")) {
        ov_fill_recent_menu(menu, recentPaths());
    } else if (name == QLatin1String("menuEdit")) {
        QWidget *front = frontWindow();
        QWidget *focus = front ? front->focusWidget() : nullptr;
        const bool text = qobject_cast<QLineEdit *>(focus) || qobject_cast<QPlainTextEdit *>(focus) || qobject_cast<QTextEdit *>(focus);
        for (QAction *action : menu->actions())
            if (action->objectName() == QLatin1String("copy"))
                action->setText(text ? QStringLiteral("Copy") : QStringLiteral("Copy Value"));
    }
}

void OVAppDelegate::menuWillOpen(QMenu *menu) {
    if (menu->objectName() != QLatin1String("menuExpandToLevel"))
        return;
    // The list handles these keys; the menu only shows them while it is open.
    for (QAction *action : menu->actions())
        action->setShortcut(QKeySequence(QKeyCombination(Qt::AltModifier, Qt::Key(Qt::Key_0 + ov_action_tag(action)))));
}

void OVAppDelegate::menuDidClose(QMenu *menu) {
    if (menu->objectName() != QLatin1String("menuExpandToLevel"))
        return;
    for (QAction *action : menu->actions())
        action->setShortcut(QKeySequence());
}

void OVAppDelegate::openDocument() {
    if (openPanel) {
        show(openPanel.data());
        return;
    }
    QStringList patterns;
    QMimeDatabase db;
    for (const QString &type : jsonTypes())
        for (const QString &glob : db.mimeTypeForName(type).globPatterns())
            if (!patterns.contains(glob))
                patterns.append(glob);
    auto *panel = new QFileDialog;
    panel->setObjectName(QStringLiteral("openPanel"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setFileMode(QFileDialog::ExistingFiles);
    panel->setNameFilters({QStringLiteral("JSON files (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')'),
                           QStringLiteral("All files (*)")});
    panel->setLabelText(QFileDialog::FileType, QStringLiteral("Show:"));
    if (auto *window = qobject_cast<OVDocWindow *>(QApplication::activeWindow()))
        if (!window->path().isEmpty())
            panel->setDirectory(QFileInfo(window->path()).path());
    connect(panel, &QFileDialog::filesSelected, this, [this](const QStringList &files) {
        for (const QString &file : files)
            openPath(file);
    });
    openPanel = panel;
    show(panel);
}

void OVAppDelegate::about() {
    alert(QStringLiteral("Orvel ") + QCoreApplication::applicationVersion() + QStringLiteral("\nA viewer for JSON files."));
}

void OVAppDelegate::note(const QString &line) {
    emit noted(line);
}

void OVAppDelegate::runInBackground(std::function<void()> work) {
    workers.start(std::move(work));
}

void OVAppDelegate::post(std::function<void()> block) {
    QMetaObject::invokeMethod(this, std::move(block), Qt::QueuedConnection);
}

int ov_main(int argc, char **argv, std::function<void()> launched) {
    const double started = ov_uptime();
    QString screenshot;
    if (!ov_screenshot_take_option(argc, argv, &screenshot))
        return 2;
    {
        // Checked before the application exists, so that misuse never needs a display.
        QStringList words;
        for (int i = 0; i < argc; i++)
            words.append(QString::fromLocal8Bit(argv[i]));
        OVOptions probe;
        ov_read_arguments(words, QDir::currentPath(), probe);
        const QString error = ov_arguments_error(probe);
        if (!error.isEmpty()) {
            fputs(error.toLocal8Bit().constData(), stderr);
            return 2;
        }
    }
    OVApplication app(argc, argv);
    // Ties the windows to orvel.desktop (its icon and name on Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral("orvel"));
    // Read again without the arguments Qt took for itself (-platform, -style, ...).
    OVOptions &options = ov_options();
    options.startTime = started;
    const QStringList files = ov_read_arguments(QCoreApplication::arguments(), QDir::currentPath(), options);
    // A screenshot run draws its own window: handing the files to a running Orvel would leave it
    // nothing to capture.
    OVInstance instance;
    if (screenshot.isEmpty() && instance.start(files) == OVInstance::FORWARDED)
        return 0;
    ov_screenshot_arm(screenshot);
    OVAppDelegate delegate;
    delegate.setLaunchFiles(files);
    delegate.setLaunchedHook(std::move(launched));
    QObject::connect(&instance, &OVInstance::openRequested, &delegate, &OVAppDelegate::openPaths);
    QObject::connect(&delegate, &OVAppDelegate::quitRequested, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &delegate, &OVAppDelegate::applicationWillTerminate);
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &delegate, [&delegate] { delegate.applicationWillTerminate(); });
    delegate.applicationWillFinishLaunching();
    QMetaObject::invokeMethod(&delegate, &OVAppDelegate::applicationDidFinishLaunching, Qt::QueuedConnection);
    // 0 when the run loop ends; a screenshot run ends with 1 when it could not save its picture.
    return app.exec();
}
