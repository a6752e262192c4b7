#include "doc_window.h"

#include "application.h"
#include "bar.h"
#include "drop_outline.h"
#include "error_bar.h"
#include "job.h"
#include "label.h"
#include "list_model.h"
#include "list_view.h"
#include "load.h"
#include "log.h"
#include "menus.h"
#include "note_bar.h"
#include "options.h"
#include "progress_line.h"
#include "root_view.h"
#include "settings_store.h"
#include "status_bar.h"
#include "text.h"
#include "theme.h"
#include "watch.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QThreadPool>
#include <QTime>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

#include <jx/details.h>
#include <jx/keys.h>
#include <jx/parse.h>
#include <jx/restore.h>
#include <jx/status.h>
#include <jx/view.h>

namespace {
constexpr int STATUS_SIZE = 512;
constexpr int SELECT_SIZE = 256;
constexpr int SIZE_TEXT = 48;
constexpr int TOP_HEIGHT = 36;
constexpr int NOTE_HEIGHT = 24;
constexpr int ERROR_HEIGHT = 30;
constexpr int STATUS_HEIGHT = 22;
constexpr int PROGRESS_Y = 34;
constexpr int PROGRESS_HEIGHT = 2;
constexpr int EMPTY_HEIGHT = 40;
const char *const GONE_TEXT = "The file was deleted or moved. Showing the last version.";

// A view a reload restored, on its way to the main thread; freed unless the window takes it.
struct Restored {
    JxView *view = nullptr;
    uint32_t top = 0;
    Restored() = default;
    Restored(JxView *v, uint32_t t) : view(v), top(t) {}
    Restored(Restored &&other) noexcept : view(std::exchange(other.view, nullptr)), top(other.top) {}
    Restored &operator=(Restored &&) = delete;
    ~Restored() { jx_view_free(view); }
};
} // namespace

static void note(const QString &line) {
    if (OVAppDelegate *delegate = OVAppDelegate::shared())
        emit delegate->noted(line);
}

static QString formatBytes(uint64_t n) {
    char text[SIZE_TEXT];
    jx_fmt_bytes(n, text, sizeof text);
    return ov_cstring(text);
}

// Freeing a view of a large document returns gigabytes to the system, which takes long enough to
// stall the window: it goes to a worker. Nothing else holds the view by then.
static void freeLater(JxView *view) {
    if (view)
        QThreadPool::globalInstance()->start([view] { jx_view_free(view); });
}

// A reload that finds no file, or no folder on the way to it, shows the last version as such.
static bool fileMissing(const OVLoaded &result) {
    return result.status == JX_OK && (result.error == ENOENT || result.error == ENOTDIR);
}

OVDocWindow::OVDocWindow(const QString &path) : file(path) {
    init(QFileInfo(path).fileName());
    struct stat st;
    if (stat(QFile::encodeName(path).constData(), &st) == 0) {
        dev = uint64_t(st.st_dev);
        ino = uint64_t(st.st_ino);
        fileSize = uint64_t(st.st_size);
        hasId = true;
    }
    setWindowFilePath(path);
}

OVDocWindow::OVDocWindow(JxDoc *doc, const QString &title, int ms) {
    init(title);
    showDocument(jx_view_new(doc), ms);
}

OVDocWindow::OVDocWindow(JxView *view, const QString &title, int ms) {
    init(title);
    showDocument(view, ms);
}

void OVDocWindow::init(const QString &title) {
    name = title;
    setObjectName(QStringLiteral("docWindow"));
    setWindowTitle(title);
    resize(WIDTH, HEIGHT);
    setMinimumSize(MIN_WIDTH, MIN_HEIGHT);
    setMenuBar(ov_build_menu_bar(this));
    buildViews();
}

// The bars in their stacking order; the top bar is a plain bar until its controls exist.
void OVDocWindow::buildViews() {
    root = new OVRootView(this);
    root->installEventFilter(this);
    setCentralWidget(root);
    topBar = new OVBar(root);
    noteBar = new OVNoteBar(root);
    noteBar->hide();
    errorBarView = new OVErrorBar(root);
    errorBarView->hide();
    const QPointer<OVDocWindow> self(this);
    errorBarView->onClose = [self] {
        if (!self)
            return;
        self->errorBarClosed = true;
        self->errorBarView->hide();
        self->layoutContent();
    };
    listModel = std::make_unique<OVViewListModel>(&m_view);
    listView = new OVListView(listModel.get(), root);
    listView->setObjectName(QStringLiteral("list"));
    listView->onRefresh = [this] { refresh(); };
    listView->onCommand = [this](uint32_t command) { runCommand(command); };
    listView->setFocus();
    statusBarView = new OVStatusBar(root);
    emptyView = new OVLabel(root);
    emptyView->setText(QStringLiteral("This file is empty."));
    emptyView->setTone(5);
    emptyView->setFont(OVTheme::uiFont(15));
    emptyView->setAlignment(OVLabel::Centre);
    emptyView->hide();
    progressView = new OVProgressLine(root);
    progressView->hide();
    layoutContent();
}

bool OVDocWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == root && event->type() == QEvent::Resize)
        layoutContent();
    return QMainWindow::eventFilter(watched, event);
}

void OVDocWindow::layoutContent() {
    const int w = root->width(), h = root->height();
    topBar->setGeometry(0, 0, w, TOP_HEIGHT);
    int y = TOP_HEIGHT;
    if (noteBar->isVisible()) {
        noteBar->setGeometry(0, y, w, NOTE_HEIGHT);
        y += NOTE_HEIGHT;
    }
    if (errorBarView->isVisible()) {
        errorBarView->setGeometry(0, y, w, ERROR_HEIGHT);
        y += ERROR_HEIGHT;
    }
    const int split = std::max(h - STATUS_HEIGHT - y, 0);
    listView->setGeometry(0, y, w, split);
    emptyView->setGeometry(0, y + int(std::floor(split * 0.38)) - EMPTY_HEIGHT / 2, w, EMPTY_HEIGHT);
    statusBarView->setGeometry(0, h - STATUS_HEIGHT, w, STATUS_HEIGHT);
    progressView->setGeometry(0, PROGRESS_Y, w, PROGRESS_HEIGHT);
    root->outline()->setGeometry(0, y, w, split);
}

OVDocWindow::~OVDocWindow() {
    for (const std::shared_ptr<OVJob> &job : {load, reloadJob})
        if (job)
            job->cancel();
    freeLater(m_view);
}

JxDoc *OVDocWindow::document() const { return jx_view_doc(m_view); }

uint64_t OVDocWindow::memoryLimit() const {
    if (ov_options().memoryOverride)
        return ov_options().memoryOverride;
    return uint64_t(sysconf(_SC_PHYS_PAGES)) * uint64_t(sysconf(_SC_PAGE_SIZE));
}

void OVDocWindow::startLoading() {
    if (file.isEmpty() || load || m_view || closing)
        return;
    const uint64_t limit = memoryLimit();
    uint64_t need = 0;
    if (!memoryAsked && jx_memory_warning(int64_t(fileSize), limit, &need)) {
        memoryAsked = true;
        const QString message = ov_format("This file may need about %s of memory and this computer has %s.",
                                          qUtf8Printable(formatBytes(need)), qUtf8Printable(formatBytes(limit)));
        ov_log("memory warning %s: %s", qUtf8Printable(file), qUtf8Printable(message));
        // The box belongs to the window and its answer runs only while the window exists;
        // closing the window dismisses it without an answer.
        const QPointer<OVDocWindow> self(this);
        question = OVAppDelegate::shared()->alertOn(this, message, {QStringLiteral("Open Anyway"), QStringLiteral("Cancel")},
                                                    [self](int button) {
                                                        if (!self || self->closing)
                                                            return;
                                                        if (button == 0) {
                                                            self->startLoading();
                                                            return;
                                                        }
                                                        self->hasFailed = true;
                                                        self->close();
                                                    });
        return;
    }
    ov_log("open %s", qUtf8Printable(file));
    load = startRead(true, &OVDocWindow::loaded);
}

// Queues ov_load for the window's file under a new job whose progress the window shows; done
// gets the result on the main thread while the window exists.
std::shared_ptr<OVJob> OVDocWindow::startRead(bool buildView, void (OVDocWindow::*done)(OVJob &, OVLoaded &)) {
    std::shared_ptr<OVJob> job = OVJob::create(this);
    job->onProgress = [this](OVJob &j, double fraction) { jobProgress(j, fraction); };
    struct stat st;
    const uint64_t shown = stat(QFile::encodeName(file).constData(), &st) == 0 ? uint64_t(st.st_size) : fileSize;
    beginProgress(job, QStringLiteral("Reading ") + formatBytes(shown));
    const QString path = file;
    OVJob::start<OVLoaded>(job, [path, buildView](OVJob &j) { return ov_load(path, j, buildView); },
                           [this, done](OVJob &j, OVLoaded &result) { (this->*done)(j, result); });
    return job;
}

void OVDocWindow::loaded(OVJob &job, OVLoaded &result) {
    if (&job != load.get())
        return;
    load.reset();
    endProgress(&job);
    if (result.doc && result.view) {
        fileSize = result.size;
        dev = result.dev;
        ino = result.ino;
        hasId = true;
        showDocument(result.takeView(), int(result.ms));
        OVAppDelegate::shared()->noteRecent(file);
        ov_log("opened %s in %d ms", qUtf8Printable(file), int(result.ms));
        const QPointer<OVDocWindow> self(this);
        watch = new OVWatch(file, [self](OVWatch::Change) {
            if (self)
                self->reload();
        }, this);
    } else {
        const QString base = QFileInfo(file).fileName();
        ov_log("open failed %s: status %u, errno %u", qUtf8Printable(file), result.status, result.error);
        status.clear();
        statusBarView->setLeft(QString());
        failWith(ov_load_message(result, base), ov_load_message(result, base, true));
    }
    fireIdle();
}

void OVDocWindow::showDocument(JxView *view, int ms) {
    parseMs = ms;
    if (!view) {
        failWith(ov_format("Could not open \"%s\": %s.", qUtf8Printable(name), "there is not enough memory"), QString());
        return;
    }
    m_view = view;
    setStatusText(ms);
    updateErrorBar();
    updateEmptyLabel();
    refresh();
}

// Marks the window failed and tells the user; the answer closes the window.
void OVDocWindow::failWith(const QString &message, const QString &scriptNote) {
    hasFailed = true;
    note(QStringLiteral("open-error=") + (scriptNote.isEmpty() ? message : scriptNote));
    const QPointer<OVDocWindow> self(this);
    OVAppDelegate::shared()->alertOn(this, message, [self] {
        if (self)
            self->close();
    });
}

bool OVDocWindow::showsFile(const QString &other) const {
    if (file.isEmpty() || hasFailed)
        return false;
    struct stat st;
    if (hasId && stat(QFile::encodeName(other).constData(), &st) == 0)
        return uint64_t(st.st_dev) == dev && uint64_t(st.st_ino) == ino;
    return other == file;
}

void OVDocWindow::reload() {
    if (file.isEmpty() || !m_view || hasFailed || closing)
        return;
    if (watch)
        watch->resync();
    if (reloadJob)
        reloadJob->cancel();
    ov_log("reload %s", qUtf8Printable(file));
    reloadJob = startRead(false, &OVDocWindow::reloadRead);
}

// The file is read: the view's state is taken now (so that what the user did meanwhile counts)
// and restored over the new document on a worker.
void OVDocWindow::reloadRead(OVJob &job, OVLoaded &result) {
    if (&job != reloadJob.get() || !m_view)
        return;
    if (!result.doc) {
        reloadJob.reset();
        endProgress(&job);
        if (result.status != JX_CANCELLED)
            reloadFailed(result);
        fireIdle();
        return;
    }
    JxState *state = jx_view_save(m_view, topRow());
    JxDoc *doc = result.takeDoc();
    const uint64_t newSize = result.size, newDev = result.dev, newIno = result.ino;
    const uint32_t ms = result.ms;
    OVJob::start<Restored>(reloadJob,
                           [doc, state](OVJob &) {
                               uint32_t first = 0;
                               JxView *view = jx_view_restore(doc, state, &first);
                               jx_state_free(state);
                               jx_doc_release(doc);
                               return Restored(view, first);
                           },
                           [this, newSize, ms, newDev, newIno](OVJob &j, Restored &restored) {
                               reloaded(j, std::exchange(restored.view, nullptr), restored.top, newSize, ms, newDev, newIno);
                           });
}

// The last version stays on screen; the bar says why the new one is not there. Only a file that
// is not there reads as deleted or moved: a file that is there but too big or unreadable says so,
// as the first load would have.
void OVDocWindow::reloadFailed(const OVLoaded &result) {
    gone = true;
    errorBarClosed = false;
    if (fileMissing(result)) {
        ov_log("reload %s: the file is gone (status %u, errno %u)", qUtf8Printable(file), result.status, result.error);
        goneText = QString::fromUtf8(GONE_TEXT);
        note(QStringLiteral("reload-error=") + goneText);
    } else {
        ov_log("reload %s: the file cannot be read (status %u, errno %u)", qUtf8Printable(file), result.status, result.error);
        const QString base = QFileInfo(file).fileName();
        goneText = ov_load_message(result, base);
        note(QStringLiteral("reload-error=") + ov_load_message(result, base, true));
    }
    updateErrorBar();
}

void OVDocWindow::reloaded(OVJob &job, JxView *view, uint32_t topRow, uint64_t newSize, uint32_t ms, uint64_t newDev,
                           uint64_t newIno) {
    if (&job != reloadJob.get() || !m_view) {
        jx_view_free(view);
        return;
    }
    reloadJob.reset();
    endProgress(&job);
    if (!view) {
        ov_log("reload %s: could not restore the view", qUtf8Printable(file));
        fireIdle();
        return;
    }
    freeLater(std::exchange(m_view, view));
    fileSize = newSize;
    parseMs = int(ms);
    // An atomic save gave the path a new inode: the window shows that file now.
    dev = newDev;
    ino = newIno;
    hasId = true;
    gone = false;
    goneText.clear();
    errorBarClosed = false;
    setStatusText(int(ms));
    updateErrorBar();
    updateEmptyLabel();
    // The restored view shows the rows that were in sight, not its selection.
    jx_view_take_reveal(m_view);
    listView->reloadRows();
    listView->scrollRowToTop(topRow);
    refresh();
    statusBarView->flash(QStringLiteral("Reloaded ") + QTime::currentTime().toString(QStringLiteral("HH:mm:ss")));
    ov_log("reloaded %s in %d ms", qUtf8Printable(file), int(ms));
    fireIdle();
}

void OVDocWindow::setStatusText(int ms) {
    char text[STATUS_SIZE];
    jx_status_text(document(), ms, text, sizeof text);
    status = ov_cstring(text);
    if (!progressShowing)
        statusBarView->setLeft(status);
}

void OVDocWindow::updateErrorBar() {
    JxDoc *doc = document();
    QString text = goneText;
    if (!gone) {
        char buf[STATUS_SIZE];
        jx_errorbar_text(doc, buf, sizeof buf);
        text = ov_cstring(buf);
    }
    const bool visible = !text.isEmpty() && !errorBarClosed;
    const bool problems = !gone && jx_doc_error_count(doc) > 0;
    errorBarView->setText(text);
    errorBarView->setShowsNextProblem(problems && jx_doc_records(doc));
    errorBarView->setShowsShowInText(problems && !jx_doc_records(doc));
    if (visible != errorBarView->isVisible()) {
        errorBarView->setVisible(visible);
        layoutContent();
    }
}

void OVDocWindow::updateEmptyLabel() {
    JxDoc *doc = document();
    emptyView->setVisible(jx_doc_count(doc) == 0 && jx_doc_error_count(doc) == 0);
}

// Copies the view's state onto the list and the bars; the top bar will join.
void OVDocWindow::refresh() {
    if (!m_view)
        return;
    listView->reloadRows();
    if (const uint32_t reveal = jx_view_take_reveal(m_view); reveal != OVListView::NO_ROW)
        listView->revealRow(reveal);
    char text[SELECT_SIZE];
    jx_view_select_text(m_view, text, sizeof text);
    statusBarView->setRight(ov_cstring(text));
}

bool OVDocWindow::busy() const {
    return load || reloadJob;
}

void OVDocWindow::whenIdle(std::function<void()> block) {
    if (!busy())
        block();
    else
        idle.append(std::move(block));
}

void OVDocWindow::fireIdle() {
    if (busy() || idle.isEmpty())
        return;
    const QList<std::function<void()>> blocks = std::move(idle);
    idle.clear();
    for (const std::function<void()> &block : blocks)
        block();
}

void OVDocWindow::beginProgress(const std::shared_ptr<OVJob> &job, const QString &label) {
    progressJob = job;
    progressLabel = label;
    progressFraction = 0;
    const std::weak_ptr<OVJob> weak = job;
    QTimer::singleShot(PROGRESS_DELAY_MS, this, [this, weak] {
        const std::shared_ptr<OVJob> current = weak.lock();
        if (!current || current != progressJob)
            return;
        progressShowing = true;
        progressView->setFraction(progressFraction);
        progressView->show();
        progressView->raise();
        updateProgressText();
    });
}

// Reports come in order from one worker but the line only ever moves forward.
void OVDocWindow::jobProgress(OVJob &job, double fraction) {
    if (&job != progressJob.get())
        return;
    progressFraction = std::max(progressFraction, fraction);
    if (!progressShowing)
        return;
    progressView->setFraction(progressFraction);
    updateProgressText();
}

void OVDocWindow::updateProgressText() {
    if (progressShowing)
        statusBarView->setLeft(ov_format("%s\u2026 %d%%", qUtf8Printable(progressLabel), int(std::floor(progressFraction * 100))));
}

void OVDocWindow::endProgress(const OVJob *job) {
    if (!job || job != progressJob.get())
        return;
    progressJob.reset();
    if (!progressShowing)
        return;
    progressShowing = false;
    progressView->hide();
    statusBarView->setLeft(status);
}

bool OVDocWindow::validate(const QAction *action, bool *checked) const {
    const QString item = ov_action_name(action);
    *checked = false;
    if (item == QLatin1String("ovReload"))
        return m_view && !file.isEmpty() && !hasFailed;
    return item == QLatin1String("performClose") || item == QLatin1String("performMiniaturize") ||
           item == QLatin1String("performZoom");
}

void OVDocWindow::perform(QAction *action) {
    const QString item = ov_action_name(action);
    if (item == QLatin1String("performClose"))
        close();
    else if (item == QLatin1String("performMiniaturize"))
        showMinimized();
    else if (item == QLatin1String("performZoom"))
        isMaximized() ? showNormal() : showMaximized();
    else if (item == QLatin1String("ovReload"))
        reload();
}

uint32_t OVDocWindow::topRow() const { return listView->topRow(); }

// The menu item of each of the window's commands (1 to 17): a key the list does not handle
// itself acts exactly as the item would, with its validation.
static const char *const COMMAND_ACTIONS[JX_CMD_FIND_NEXT] = {
    nullptr,        "openDocument", "ovOpenClipboard", "performClose", "ovReload",   "ovFind",
    "ovGoto",       "ovInspector",  "ovBigger",        "ovSmaller",    "ovActualSize", "ovViewTree",
    "ovViewText",   "copy",         "ovCopyPath",      "ovCopyJSON",   "ovCopyKey",  "ovCopyMinified",
};

void OVDocWindow::runCommand(uint32_t command) {
    if (command >= JX_CMD_FIND_NEXT) {
        if (jx_view_command(m_view, command))
            refresh();
        return;
    }
    if (!COMMAND_ACTIONS[command])
        return;
    if (QAction *action = ov_find_action(this, QString::fromLatin1(COMMAND_ACTIONS[command])))
        action->trigger();
}

void OVDocWindow::settingsChanged() {
    listView->reloadRows();
}

void OVDocWindow::fontChanged() {
    listView->fontChanged();
    refresh();
}

void OVDocWindow::flashStatus(const QString &text) {
    statusBarView->flash(text);
}

void OVDocWindow::openDropped(const QStringList &paths) {
    for (const QString &path : paths)
        OVAppDelegate::shared()->openPath(path);
}

void OVDocWindow::closeEvent(QCloseEvent *event) {
    event->accept();
    if (closing)
        return;
    closing = true;
    // The next window opens where this one was.
    const QRect frame = geometry();
    JxSettings &values = OVSettings::shared()->values();
    values.win_x = frame.x();
    values.win_y = frame.y();
    values.win_w = frame.width();
    values.win_h = frame.height();
    OVSettings::shared()->changed();
    if (question) {
        question->disconnect(this);
        question->close();
    }
    delete std::exchange(watch, nullptr);
    // Late results find no current job and are freed on arrival.
    for (const std::shared_ptr<OVJob> &job : {load, reloadJob})
        if (job)
            job->cancel();
    load.reset();
    reloadJob.reset();
    progressJob.reset();
    freeLater(std::exchange(m_view, nullptr));
    fireIdle();
    OVAppDelegate::shared()->windowClosed(this);
    deleteLater();
}
