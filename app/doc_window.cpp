#include "doc_window.h"

#include "application.h"
#include "bar.h"
#include "copier.h"
#include "crumb_bar.h"
#include "drop_outline.h"
#include "error_bar.h"
#include "details_view.h"
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
#include "search_runner.h"
#include "settings_store.h"
#include "split_view.h"
#include "status_bar.h"
#include "text.h"
#include "text_builder.h"
#include "theme.h"
#include "top_bar.h"
#include "watch.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
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
#include <jx/problem.h>
#include <jx/restore.h>
#include <jx/search.h>
#include <jx/status.h>
#include <jx/text.h>
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
constexpr int CRUMB_SIZE = 1024;
constexpr int LABEL_SIZE = 256;
constexpr int GOTO_ERROR_SIZE = 256;
constexpr int PATH_STYLES = 5;     // JSONPath, jq, JavaScript, Python, JSON Pointer
constexpr int MENU_PATH_STYLES = 4; // the View menu offers all but JSON Pointer
constexpr int LEVELS = 9;
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

// Above this many nodes a level command's rows are built on a worker: expanding a large document
// takes about 15 ns a node, so from here on it would hold the window for over a frame.
constexpr uint32_t LEVEL_WORKER_NODES = 1u << 20;

// Rows built for a level command, on their way to the main thread.
struct LevelRows {
    JxRows *rows = nullptr;
    LevelRows() = default;
    explicit LevelRows(JxRows *r) : rows(r) {}
    LevelRows(LevelRows &&other) noexcept : rows(std::exchange(other.rows, nullptr)) {}
    LevelRows &operator=(LevelRows &&) = delete;
    ~LevelRows();
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

// The rows of a large document hold its last reference once its window has closed.
static void freeRowsLater(JxRows *rows) {
    if (rows)
        QThreadPool::globalInstance()->start([rows] { jx_rows_free(rows); });
}

LevelRows::~LevelRows() { freeRowsLater(rows); }

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
    buildParts();
    buildViews();
}

// The search, copy and Text view workers, told of the window's view as it changes.
void OVDocWindow::buildParts() {
    search = new OVSearchRunner(this);
    search->changed = [this] { refresh(); };
    search->message = [this](const QString &text) {
        topBarView->setSearchBad(!text.isEmpty());
        setNote(text, NOTE_SEARCH);
    };
    search->note = [this](const QString &line) { noteLine(line); };
    search->becameIdle = [this] { fireIdle(); };
    copyRunner = new OVCopier(this);
    copyRunner->alert = [this](const QString &message, const QStringList &buttons, std::function<void(int)> then) {
        copyQuestion = OVAppDelegate::shared()->alertOn(this, message, buttons, std::move(then));
    };
    copyRunner->flash = [this](const QString &text) { flashStatus(text); };
    copyRunner->note = [this](const QString &line) { noteLine(line); };
    copyRunner->becameIdle = [this] { fireIdle(); };
    textRunner = new OVTextBuilder(this);
    textRunner->beginProgress = [this](const std::shared_ptr<OVJob> &job, const QString &label) { beginProgress(job, label); };
    textRunner->progress = [this](OVJob &job, double fraction) { jobProgress(job, fraction); };
    textRunner->endProgress = [this](const OVJob *job) { endProgress(job); };
    textRunner->installed = [this] { listView->resetText(); };
    textRunner->changed = [this] { refresh(); };
    textRunner->becameIdle = [this] { fireIdle(); };
    // A new Text view model frees the old one: not while a copy still reads it.
    textRunner->whenModelFree = [this](const JxText *model, std::function<void()> block) {
        copyRunner->whenModelFree(model, std::move(block));
    };
}

// The bars in their stacking order, then the split, the status bar and what lies over them.
void OVDocWindow::buildViews() {
    root = new OVRootView(this);
    root->installEventFilter(this);
    setCentralWidget(root);
    topBarView = new OVTopBar(this, root);
    topBarView->setObjectName(QStringLiteral("topBar"));
    const JxSettings &values = OVSettings::shared()->values();
    const uint32_t scope = values.search_scope >= 0 && values.search_scope < OVTopBar::SCOPES ? uint32_t(values.search_scope) : 0;
    topBarView->setSearchOptions((values.search_case ? OVTopBar::MATCH_CASE : 0) | (values.search_regex ? OVTopBar::REGEX : 0) |
                                 scope << OVTopBar::SCOPE_SHIFT);
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
    errorBarView->onNextProblem = [self] {
        if (self && self->m_view && jx_view_command(self->m_view, JX_CMD_NEXT_PROBLEM))
            self->refresh();
    };
    errorBarView->onShowInText = [self] {
        if (self)
            self->showInText();
    };
    splitView = new OVSplitView(root);
    listModel = std::make_unique<OVViewListModel>(&m_view);
    listView = new OVListView(listModel.get());
    listView->setObjectName(QStringLiteral("list"));
    listView->onRefresh = [this] { refresh(); };
    listView->onCommand = [this](uint32_t command) { runCommand(command); };
    listView->onContextMenu = [this](const QPoint &at) {
        if (m_view)
            contextMenu()->popup(at);
    };
    inspectorView = new OVInspectorView;
    connect(inspectorView, &OVInspectorView::idle, this, &OVDocWindow::fireIdle);
    splitView->setPanes(listView, inspectorView);
    // Fires on the user's drags only: a window resize never changes the saved width.
    connect(splitView, &QSplitter::splitterMoved, this, [this] { splitterMoved(); });
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
    root->outline()->raise();
    if (values.inspector)
        setInspectorShown(true, false);
    layoutContent();
}

bool OVDocWindow::eventFilter(QObject *watched, QEvent *event) {
    if (watched == root && event->type() == QEvent::Resize)
        layoutContent();
    return QMainWindow::eventFilter(watched, event);
}

// Bars that are hidden take no room; "hidden" rather than "not visible", so that a window not
// shown yet lays out as it will look.
void OVDocWindow::layoutContent() {
    const int w = root->width(), h = root->height();
    topBarView->setGeometry(0, 0, w, TOP_HEIGHT);
    int y = TOP_HEIGHT;
    if (!noteBar->isHidden()) {
        noteBar->setGeometry(0, y, w, NOTE_HEIGHT);
        y += NOTE_HEIGHT;
    }
    if (!errorBarView->isHidden()) {
        errorBarView->setGeometry(0, y, w, ERROR_HEIGHT);
        y += ERROR_HEIGHT;
    }
    const int split = std::max(h - STATUS_HEIGHT - y, 0);
    splitView->setGeometry(0, y, w, split);
    emptyView->setGeometry(0, y + int(std::floor(split * 0.38)) - EMPTY_HEIGHT / 2, splitView->listWidth(), EMPTY_HEIGHT);
    statusBarView->setGeometry(0, h - STATUS_HEIGHT, w, STATUS_HEIGHT);
    progressView->setGeometry(0, PROGRESS_Y, w, PROGRESS_HEIGHT);
    root->outline()->setGeometry(0, y, w, split);
}

// A window closed by the user went through closeEvent; one the delegate deletes at exit did not,
// and its workers may still read the view.
OVDocWindow::~OVDocWindow() {
    topBarView->setOwner(nullptr);
    idle.clear();
    for (const std::shared_ptr<OVJob> &job : {load, reloadJob})
        if (job)
            job->cancel();
    textRunner->becameIdle = nullptr;
    copyRunner->becameIdle = nullptr;
    search->becameIdle = nullptr;
    textRunner->cancel();
    copyRunner->cancel();
    retireView();
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
    setView(view);
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
    // Workers still reading the old view keep it; the search runs again over the new one.
    textRunner->cancel();
    retireView();
    setView(view);
    search->rerun();
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

// Copies the view's state onto the list, the bars and the inspector.
void OVDocWindow::refresh() {
    if (!m_view)
        return;
    listView->reloadRows();
    if (const uint32_t reveal = jx_view_take_reveal(m_view); reveal != OVListView::NO_ROW)
        listView->revealRow(reveal);
    if (const uint32_t node = jx_view_selected_node(m_view); node != crumbNode) {
        crumbNode = node;
        topBarView->crumbs()->reload();
    }
    topBarView->setSelectedSegment(jx_view_mode(m_view) == JX_MODE_TEXT ? 1 : 0);
    inspectorView->inspect(m_view, pathStyle());
    char text[SELECT_SIZE];
    jx_view_select_text(m_view, text, sizeof text);
    statusBarView->setRight(ov_cstring(text));
    char label[LABEL_SIZE];
    jx_view_search_label(m_view, label, sizeof label);
    topBarView->setSearchCount(ov_cstring(label));
    const JxSearch *installed = jx_view_search(m_view);
    topBarView->setSearchStepsEnabled(installed && jx_search_count(installed) != 0);
}

void OVDocWindow::setView(JxView *view) {
    m_view = view;
    search->setView(view);
    copyRunner->setView(view);
    textRunner->setView(view);
    crumbNode = JX_NONE;
    inspectorView->invalidate();
}

// The window lets go of its view: a search or copy still reading it keeps it until done, and
// the last to let go frees it on a worker.
void OVDocWindow::retireView() {
    const OVViewHold old = ov_hold_view(std::exchange(m_view, nullptr), freeLater);
    search->retireView(old);
    copyRunner->retireView(old);
    setView(nullptr);
}

void OVDocWindow::noteLine(const QString &line) {
    emit noted(line);
    note(line);
}

bool OVDocWindow::busy() const {
    return load || reloadJob || levelJob || inspectorView->busy() || !search->idle() || textRunner->busy() || copyRunner->busy();
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

namespace {
// The window's own actions and the command each one runs; the view's commands are run by the view.
struct ActionCommand {
    const char *name;
    uint32_t command;
};
const ActionCommand ACTION_COMMANDS[] = {
    {"ovReload", JX_CMD_RELOAD},          {"ovFind", JX_CMD_FIND},
    {"ovGoto", JX_CMD_GOTO},              {"ovInspector", JX_CMD_INSPECTOR},
    {"ovViewTree", JX_CMD_TREE},          {"ovViewText", JX_CMD_TEXT},
    {"copy", JX_CMD_COPY_VALUE},          {"ovCopyPath", JX_CMD_COPY_PATH},
    {"ovCopyJSON", JX_CMD_COPY_JSON},     {"ovCopyKey", JX_CMD_COPY_KEY},
    {"ovCopyMinified", JX_CMD_COPY_MINIFIED}, {"ovFindNext", JX_CMD_FIND_NEXT},
    {"ovFindPrevious", JX_CMD_FIND_PREVIOUS}, {"ovExpandAll", JX_CMD_EXPAND_ALL},
    {"ovCollapseAll", JX_CMD_COLLAPSE_ALL},   {"ovBack", JX_CMD_BACK},
    {"ovForward", JX_CMD_FORWARD},        {"ovNextProblem", JX_CMD_NEXT_PROBLEM},
};
// Actions the window answers besides those: enabled by the table in validateView.
const char *const WINDOW_ACTIONS[] = {"ovCopyPathAs", "ovExpandLevel", "ovExpandSubtree", "ovCollapseSubtree",
                                      "ovPathStyle", "performClose", "performMiniaturize", "performZoom"};
} // namespace

static uint32_t commandOf(const QString &item) {
    for (const ActionCommand &entry : ACTION_COMMANDS)
        if (item == QLatin1String(entry.name))
            return entry.command;
    return 0;
}

static bool windowAction(const QString &item) {
    if (commandOf(item))
        return true;
    for (const char *name : WINDOW_ACTIONS)
        if (item == QLatin1String(name))
            return true;
    return false;
}

bool OVDocWindow::validate(const QAction *action, bool *checked) const {
    *checked = false;
    const QString item = ov_action_name(action);
    // Edit items reach the window only when no text field takes them: nothing here does them.
    if (!windowAction(item))
        return false;
    return validateView(item, ov_action_tag(action), checked);
}

bool OVDocWindow::validateView(const QString &item, int tag, bool *checked) const {
    const bool text = m_view && jx_view_mode(m_view) == JX_MODE_TEXT;
    if (item == QLatin1String("ovViewTree")) {
        *checked = !text;
        return m_view;
    }
    if (item == QLatin1String("ovViewText")) {
        *checked = text;
        return m_view;
    }
    if (item == QLatin1String("ovReload"))
        return m_view && !file.isEmpty() && !hasFailed;
    if (item == QLatin1String("ovFind"))
        return m_view;
    if (item == QLatin1String("ovInspector")) {
        *checked = inspectorOn;
        return true;
    }
    if (item == QLatin1String("ovPathStyle")) {
        *checked = tag == pathStyle();
        return true;
    }
    if (item.startsWith(QLatin1String("perform")))
        return true;
    if (!m_view)
        return false;
    const JxDoc *doc = document();
    const uint32_t node = jx_view_selected_node(m_view);
    const bool selected = node != JX_NONE && node < jx_doc_count(doc);
    if (item == QLatin1String("ovCopyKey"))
        return selected && jx_parent(doc, node) != JX_NONE;
    if (item == QLatin1String("copy") || item == QLatin1String("ovCopyPath") || item == QLatin1String("ovCopyJSON") ||
        item == QLatin1String("ovCopyMinified") || item == QLatin1String("ovCopyPathAs"))
        return selected;
    if (item == QLatin1String("ovFindNext") || item == QLatin1String("ovFindPrevious")) {
        const JxSearch *installed = jx_view_search(m_view);
        return installed && jx_search_count(installed) > 0;
    }
    if (item == QLatin1String("ovExpandSubtree") || item == QLatin1String("ovCollapseSubtree")) {
        const int type = jx_type(doc, node);
        return !text && selected && (type == JX_OBJECT || type == JX_ARRAY) && jx_child_count(doc, node) > 0;
    }
    if (item == QLatin1String("ovExpandLevel") || item == QLatin1String("ovExpandAll") || item == QLatin1String("ovCollapseAll"))
        return !text && selected;
    if (item == QLatin1String("ovNextProblem"))
        return jx_doc_error_count(doc) > 0;
    return true;
}

void OVDocWindow::perform(QAction *action) {
    const QString item = ov_action_name(action);
    const int tag = ov_action_tag(action);
    if (item == QLatin1String("performClose"))
        close();
    else if (item == QLatin1String("performMiniaturize"))
        showMinimized();
    else if (item == QLatin1String("performZoom"))
        isMaximized() ? showNormal() : showMaximized();
    else if (item == QLatin1String("ovCopyPathAs"))
        copy(JX_CMD_COPY_PATH, std::clamp(tag, 0, PATH_STYLES - 1));
    else if (item == QLatin1String("ovExpandLevel"))
        runCommand(JX_CMD_COLLAPSE_ALL + uint32_t(std::clamp(tag, 1, LEVELS)));
    else if (item == QLatin1String("ovExpandSubtree") || item == QLatin1String("ovCollapseSubtree"))
        expandSubtree(item == QLatin1String("ovExpandSubtree"));
    else if (item == QLatin1String("ovPathStyle")) {
        OVSettings::shared()->values().path_style = std::clamp(tag, 0, MENU_PATH_STYLES - 1);
        OVSettings::shared()->changed();
        OVAppDelegate::shared()->settingsChanged();
    } else if (const uint32_t command = commandOf(item))
        doCommand(command);
}

// The commands the window carries out itself (1 to 17 of jx/keys.h); the delegate's (open,
// zoom) never reach it.
void OVDocWindow::doCommand(uint32_t command) {
    switch (command) {
    case JX_CMD_CLOSE: close(); break;
    case JX_CMD_RELOAD: reload(); break;
    case JX_CMD_FIND: beginFind(); break;
    case JX_CMD_GOTO: beginGoto(); break;
    case JX_CMD_INSPECTOR: setInspectorShown(!inspectorOn, true); break;
    case JX_CMD_TREE: showMode(0); break;
    case JX_CMD_TEXT: showMode(1); break;
    case JX_CMD_COPY_PATH: copy(command, pathStyle()); break;
    case JX_CMD_COPY_VALUE:
    case JX_CMD_COPY_JSON:
    case JX_CMD_COPY_KEY:
    case JX_CMD_COPY_MINIFIED: copy(command, 0); break;
    default: runCommand(command); break;
    }
}

uint32_t OVDocWindow::topRow() const { return listView->topRow(); }

// The menu item of each of the window's commands (1 to 17).
static const char *const COMMAND_ACTIONS[JX_CMD_FIND_NEXT] = {
    nullptr,        "openDocument", "ovOpenClipboard", "performClose", "ovReload",   "ovFind",
    "ovGoto",       "ovInspector",  "ovBigger",        "ovSmaller",    "ovActualSize", "ovViewTree",
    "ovViewText",   "copy",         "ovCopyPath",      "ovCopyJSON",   "ovCopyKey",  "ovCopyMinified",
};

// A key the list does not handle itself acts exactly as the menu item would, with its validation.
void OVDocWindow::runCommand(uint32_t command) {
    if (command >= JX_CMD_FIND_NEXT) {
        if (levelInBackground(command))
            return;
        if (m_view && jx_view_command(m_view, command))
            refresh();
        return;
    }
    if (!COMMAND_ACTIONS[command])
        return;
    if (QAction *action = ov_find_action(this, QString::fromLatin1(COMMAND_ACTIONS[command])))
        action->trigger();
}

// Expanding or collapsing a large document: its new rows are built on a worker with the progress
// line, and swapped in when ready. A newer level command supersedes a running one.
bool OVDocWindow::levelInBackground(uint32_t command) {
    const int level = jx_command_level(command);
    JxDoc *doc = document();
    if (level < 0 || !m_view || jx_view_mode(m_view) != JX_MODE_TREE || jx_doc_count(doc) < LEVEL_WORKER_NODES)
        return false;
    if (levelJob)
        levelJob->cancel();
    levelJob = OVJob::create(this);
    levelJob->onProgress = [this](OVJob &j, double fraction) { jobProgress(j, fraction); };
    beginProgress(levelJob, QString::fromLatin1(level == JX_ROWS_ALL ? "Expanding" : "Collapsing"));
    jx_doc_retain(doc);
    OVJob::start<LevelRows>(levelJob,
                            [doc, level](OVJob &job) {
                                const jx_progress progress{OVJob::rateProgress, &job, job.cancelFlag()};
                                LevelRows built(jx_rows_at_level(doc, level, &progress));
                                jx_doc_release(doc);
                                return built;
                            },
                            [this](OVJob &job, LevelRows &built) { levelsBuilt(job, built.rows); });
    return true;
}

// rows: what the worker built; the window swaps in what it takes, leaving its old rows there to
// be freed with the job's result.
void OVDocWindow::levelsBuilt(OVJob &job, JxRows *&rows) {
    if (&job != levelJob.get())
        return;
    levelJob.reset();
    endProgress(&job);
    JxRows *old = nullptr;
    if (rows && jx_view_set_rows(m_view, rows, &old)) {
        rows = old;
        refresh();
    } else if (!rows) {
        ov_log("levels %s: the rows could not be built", qUtf8Printable(file));
    }
    fireIdle();
}

// The path style or the indent guides may have changed: the inspector shows the path too.
void OVDocWindow::settingsChanged() {
    inspectorView->invalidate();
    listView->reloadRows();
    refresh();
}

void OVDocWindow::fontChanged() {
    listView->fontChanged();
    inspectorView->fontChanged();
    topBarView->fontChanged();
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
    saveFrame();
    for (QMessageBox *box : {question.data(), copyQuestion.data()})
        if (box) {
            box->disconnect(this);
            box->close();
        }
    delete std::exchange(watch, nullptr);
    // Late results find no current job and are freed on arrival.
    for (const std::shared_ptr<OVJob> &job : {load, reloadJob})
        if (job)
            job->cancel();
    load.reset();
    reloadJob.reset();
    progressJob.reset();
    textRunner->cancel();
    copyRunner->cancel();
    retireView();
    // A search the debounce still holds back never starts.
    search->cancelSearch();
    fireIdle();
    OVAppDelegate::shared()->windowClosed(this);
    deleteLater();
}

void OVDocWindow::moveEvent(QMoveEvent *event) {
    QMainWindow::moveEvent(event);
    saveFrame();
}

void OVDocWindow::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    saveFrame();
}

// Every document window writes the same four values: the last moved or resized wins.
void OVDocWindow::saveFrame() {
    if (!isVisible())
        return;
    const QRect frame = geometry();
    JxSettings &values = OVSettings::shared()->values();
    if (values.win_x == frame.x() && values.win_y == frame.y() && values.win_w == frame.width() &&
        values.win_h == frame.height())
        return;
    values.win_x = frame.x();
    values.win_y = frame.y();
    values.win_w = frame.width();
    values.win_h = frame.height();
    OVSettings::shared()->changed();
}

// ---- inspector ----

int OVDocWindow::pathStyle() {
    const int style = OVSettings::shared()->values().path_style;
    return style >= 0 && style < PATH_STYLES ? style : 0;
}

void OVDocWindow::setInspectorShown(bool shown, bool save) {
    if (shown == inspectorOn)
        return;
    inspectorOn = shown;
    if (shown) {
        splitView->showInspector(OVSettings::shared()->values().inspector_width);
        inspectorView->invalidate();
        inspectorView->inspect(m_view, pathStyle());
    } else {
        if (inspectorView->hasFocus())
            listView->setFocus();
        splitView->hideInspector();
    }
    layoutContent();
    if (save) {
        OVSettings::shared()->values().inspector = shown ? 1 : 0;
        OVSettings::shared()->changed();
    }
}

// Only a drag of the divider stores the width; the splitter keeps it within its limits.
void OVDocWindow::splitterMoved() {
    const int width = splitView->inspectorWidth();
    JxSettings &values = OVSettings::shared()->values();
    if (!inspectorOn || width < OVSplitView::MIN_SIDE || width > OVSplitView::MAX_INSPECTOR || width == values.inspector_width)
        return;
    values.inspector_width = width;
    OVSettings::shared()->changed();
    layoutContent();
}

// ---- breadcrumbs and the view switch ----

uint32_t OVDocWindow::crumbCount() { return m_view ? jx_view_crumb_count(m_view) : 0; }

QString OVDocWindow::crumbLabel(uint32_t index) {
    char text[CRUMB_SIZE];
    const size_t length = jx_view_crumb(m_view, index, text, sizeof text);
    return length < sizeof text ? ov_string(text, length) : ov_cstring(text);
}

void OVDocWindow::crumbClicked(uint32_t index) {
    if (!m_view)
        return;
    jx_view_crumb_click(m_view, index);
    refresh();
}

void OVDocWindow::viewSwitched(int segment) { showMode(segment == 1 ? 1 : 0); }

void OVDocWindow::showMode(int text) {
    if (!m_view)
        return;
    if (!text) {
        textRunner->cancel();
        jx_view_set_mode(m_view, JX_MODE_TREE);
        refresh();
        return;
    }
    const JxText *model = jx_view_text(m_view);
    if (model && jx_view_mode(m_view) == JX_MODE_TREE) {
        jx_view_set_mode(m_view, JX_MODE_TEXT);
        refresh();
        return;
    }
    if (textRunner->job()) {
        refresh();
        return;
    }
    // Text again in the Text view switches between pretty and as in the file; a first build
    // keeps the file's own lines unless they are too long to read.
    int mode = jx_doc_minified(document()) ? JX_TEXT_PRETTY : JX_TEXT_FILE;
    if (model)
        mode = jx_text_mode(model) == JX_TEXT_FILE ? JX_TEXT_PRETTY : JX_TEXT_FILE;
    textRunner->build(mode);
    // The switch shows the mode the view is in until the build is done.
    refresh();
}

// The error bar's "Show in text": the first problem's line, in the file's own lines.
void OVDocWindow::showInText() {
    JxDoc *doc = document();
    if (!m_view || !jx_doc_error_count(doc))
        return;
    const jx_problem *problem = jx_doc_error(doc, 0);
    const uint32_t line = problem ? problem->line : 0;
    const QPointer<OVDocWindow> self(this);
    const auto step = [self, line] {
        if (!self || !self->m_view || jx_view_mode(self->m_view) != JX_MODE_TEXT)
            return;
        const uint32_t count = jx_view_count(self->m_view);
        if (!count)
            return;
        jx_view_click(self->m_view, std::min(line ? line - 1 : 0, count - 1), 0, 0);
        self->listView->setFocus();
        self->refresh();
    };
    const JxText *model = jx_view_text(m_view);
    if (model && jx_text_mode(model) == JX_TEXT_FILE) {
        jx_view_set_mode(m_view, JX_MODE_TEXT);
        step();
        return;
    }
    textRunner->build(JX_TEXT_FILE, step);
}

// ---- Go to path and the note bar ----

QString OVDocWindow::pathText(int style) const {
    const size_t length = jx_view_path(m_view, style, nullptr, 0);
    QByteArray text(qsizetype(length) + 1, '\0');
    const size_t written = jx_view_path(m_view, style, text.data(), size_t(text.size()));
    return ov_string(text.constData(), std::min(written, length));
}

void OVDocWindow::beginGoto() {
    if (m_view)
        topBarView->beginPathEditing(pathText(pathStyle()));
}

void OVDocWindow::pathEntered(const QString &text) {
    if (!m_view)
        return;
    const QByteArray bytes = text.toUtf8();
    char err[GOTO_ERROR_SIZE] = "";
    if (!jx_view_goto(m_view, bytes.constData(), size_t(bytes.size()), err, sizeof err)) {
        const QString message = ov_cstring(err);
        setNote(message, NOTE_GOTO);
        noteLine(QStringLiteral("goto-error=") + message);
        return;
    }
    pathCancelled();
    refresh();
}

// Ends path editing and its message; the list takes the focus when the path field had it.
void OVDocWindow::pathCancelled() {
    setNote(QString(), NOTE_GOTO);
    const bool focused = topBarView->pathField()->hasFocus();
    topBarView->endPathEditing();
    if (focused)
        listView->setFocus();
}

void OVDocWindow::pathEdited() { setNote(QString(), NOTE_GOTO); }

QString OVDocWindow::noteText() const { return noteOwner ? noteBar->text() : QString(); }

void OVDocWindow::setNote(const QString &text, int kind) {
    if (!text.isEmpty()) {
        noteOwner = kind;
        noteBar->setText(text);
        if (noteBar->isHidden()) {
            noteBar->show();
            layoutContent();
        }
        return;
    }
    if (noteOwner != kind)
        return;
    noteOwner = 0;
    noteBar->hide();
    layoutContent();
}

// ---- search ----

JxSearchOptions OVDocWindow::searchOptions() const { return OVSearchRunner::unpack(topBarView->searchOptions()); }

void OVDocWindow::beginFind() {
    if (topBarView->editingPath())
        pathCancelled();
    topBarView->searchField()->setFocus(Qt::ShortcutFocusReason);
    topBarView->searchField()->selectAll();
}

void OVDocWindow::searchFor(const QString &text, uint32_t options) {
    topBarView->setSearchText(text);
    topBarView->setSearchOptions(options);
    search->startSearch(text, searchOptions());
}

void OVDocWindow::searchTextChanged() { search->textChanged(topBarView->searchText(), searchOptions()); }

void OVDocWindow::searchEntered(bool backward) {
    search->searchEntered(topBarView->searchText(), searchOptions(), backward);
}

// The list takes the focus only from the search field: clearing the search while the path field
// is open must not end the path editing (and with it its message).
void OVDocWindow::searchCancelled() {
    const bool focused = topBarView->searchFieldHasFocus();
    topBarView->setSearchText(QString());
    search->cancelSearch();
    if (focused)
        listView->setFocus();
}

void OVDocWindow::searchOptionsChanged() {
    const uint32_t packed = topBarView->searchOptions();
    JxSettings &values = OVSettings::shared()->values();
    values.search_case = uint8_t(packed & OVTopBar::MATCH_CASE ? 1 : 0);
    values.search_regex = uint8_t(packed & OVTopBar::REGEX ? 1 : 0);
    values.search_scope = int32_t((packed >> OVTopBar::SCOPE_SHIFT) & 0xFF);
    OVSettings::shared()->changed();
    if (!topBarView->searchText().isEmpty())
        search->startSearch(topBarView->searchText(), searchOptions());
}

void OVDocWindow::searchStep(bool backward) { runCommand(backward ? JX_CMD_FIND_PREVIOUS : JX_CMD_FIND_NEXT); }

// ---- copies and the row menu ----

void OVDocWindow::copy(uint32_t what, int style) {
    if (m_view)
        copyRunner->copy(what, style);
}

// Option with the right or left arrow: the selected node's whole subtree.
void OVDocWindow::expandSubtree(bool expand) {
    if (m_view && jx_view_key(m_view, expand ? JX_KEY_RIGHT : JX_KEY_LEFT, JX_MOD_OPTION, listView->pageRows()))
        refresh();
}

namespace {
struct RowItem {
    int depth; // 0 the menu, 1 the submenu opened by the row before
    const char *title;
    const char *action; // "" for a separator, "menu..." for a submenu
    int tag;
    QKeyCombination key;
};
const RowItem ROW_ITEMS[] = {
    {0, "Copy Value", "copy", -1, Qt::CTRL | Qt::Key_C},
    {0, "Copy Key", "ovCopyKey", -1, {}},
    {0, "Copy Path", "ovCopyPath", -1, Qt::CTRL | Qt::SHIFT | Qt::Key_C},
    {0, "Copy Path As", "menuCopyPathAs", -1, {}},
    {1, "JSONPath", "ovCopyPathAs", 0, {}},
    {1, "jq", "ovCopyPathAs", 1, {}},
    {1, "JavaScript", "ovCopyPathAs", 2, {}},
    {1, "Python", "ovCopyPathAs", 3, {}},
    {1, "JSON Pointer", "ovCopyPathAs", 4, {}},
    {0, "Copy as JSON", "ovCopyJSON", -1, Qt::CTRL | Qt::ALT | Qt::Key_C},
    {0, "Copy as Minified JSON", "ovCopyMinified", -1, {}},
    {0, nullptr, "", -1, {}},
    {0, "Expand Subtree", "ovExpandSubtree", -1, Qt::ALT | Qt::Key_Right},
    {0, "Collapse Subtree", "ovCollapseSubtree", -1, Qt::ALT | Qt::Key_Left},
    {0, "Expand to Level", "menuExpandToLevel", -1, {}},
};
} // namespace

// Built once; the items act on the window's selection, validated as the menu opens and again
// before they act. Their keys are shown and work while the menu is open only: the menu bar's
// items own them otherwise.
QMenu *OVDocWindow::contextMenu() {
    if (context)
        return context;
    context = new QMenu(QStringLiteral("Row"), this);
    context->setObjectName(QStringLiteral("rowMenu"));
    const auto validateMenu = [this](QMenu *menu) {
        for (QAction *action : menu->actions()) {
            if (action->isSeparator() || action->menu())
                continue;
            bool checked = false;
            action->setEnabled(validate(action, &checked));
        }
    };
    const auto addItem = [this](QMenu *menu, const QString &title, const char *name, int tag, QKeyCombination key) {
        QAction *action = menu->addAction(title);
        action->setObjectName(QString::fromLatin1(name) + (tag >= 0 ? QString::number(tag) : QString()));
        action->setProperty("ovTag", tag);
        if (key.key() != Qt::Key_unknown) {
            action->setShortcut(QKeySequence(key));
            action->setShortcutContext(Qt::WidgetShortcut);
        }
        connect(action, &QAction::triggered, this, [this, action] {
            bool checked = false;
            if (validate(action, &checked))
                perform(action);
        });
    };
    QMenu *sub = nullptr;
    for (const RowItem &row : ROW_ITEMS) {
        QMenu *menu = row.depth ? sub : context;
        if (!row.title) {
            menu->addSeparator();
        } else if (qstrncmp(row.action, "menu", 4) == 0) {
            sub = menu->addMenu(QString::fromUtf8(row.title));
            sub->setObjectName(QStringLiteral("row") + QString::fromLatin1(row.action + 4));
            connect(sub, &QMenu::aboutToShow, sub, [validateMenu, sub] { validateMenu(sub); });
        } else {
            addItem(menu, QString::fromUtf8(row.title), row.action, row.tag, row.key);
        }
    }
    QMenu *levels = context->findChild<QMenu *>(QStringLiteral("rowExpandToLevel"));
    for (int level = 1; level <= LEVELS; level++)
        addItem(levels, QString::number(level), "ovExpandLevel", level, Qt::ALT | Qt::Key(Qt::Key_0 + level));
    connect(context, &QMenu::aboutToShow, context, [validateMenu, this] { validateMenu(context); });
    return context;
}
