// doc_window.h: a document window: one file, or one clipboard text, with its menu bar and bars.
//
// The window reads and parses its file on a worker (ov_load), shows the view the worker built,
// watches the file and reloads it when it changes, keeping the view. The main thread only swaps
// finished results in: it never reads, parses, builds or restores a view. Main thread only.
#ifndef OV_DOC_WINDOW_H
#define OV_DOC_WINDOW_H

#include <QMainWindow>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

#include <jx/doc.h>
#include <jx/rows.h>
#include <jx/search.h>

#include "top_bar_owner.h"

class QAction;
class QMenu;
class QMessageBox;
class OVCopier;
class OVErrorBar;
class OVInspectorView;
class OVSearchRunner;
class OVSplitView;
class OVTextBuilder;
class OVTopBar;
class OVJob;
class OVLabel;
class OVListView;
class OVNoteBar;
class OVProgressLine;
class OVRootView;
class OVStatusBar;
class OVWatch;
class OVViewListModel;
struct JxView;
struct OVLoaded;

class OVDocWindow : public QMainWindow, private OVTopBarOwner {
    Q_OBJECT
public:
    static constexpr int WIDTH = 1100;
    static constexpr int HEIGHT = 760;
    static constexpr int MIN_WIDTH = 320;
    static constexpr int MIN_HEIGHT = 200;
    // Work that ends sooner never shows the progress line.
    static constexpr int PROGRESS_DELAY_MS = 150;
    // Note bar owners.
    static constexpr int NOTE_GOTO = 1;
    static constexpr int NOTE_SEARCH = 2;

    // A window for the file at path (standardized); load it with startLoading.
    explicit OVDocWindow(const QString &path);
    // A window for a parsed document (the clipboard's): no path, no watcher, no reload. The
    // first takes its own reference to doc and builds the view here; the second takes view,
    // built on a worker (null reads as a memory failure).
    OVDocWindow(JxDoc *doc, const QString &title, int parseMs);
    OVDocWindow(JxView *view, const QString &title, int parseMs);
    ~OVDocWindow() override;

    // Reads and parses the file on a worker, after the memory question when the file looks too
    // big for this computer; does nothing without a path, while loading, or once loaded.
    void startLoading();
    // Reads the file again and swaps the result in with the view kept; a missing or unreadable
    // file keeps the last version on screen and says why in the error bar.
    void reload();
    // Whether this window shows the file at path: the same device and inode when known.
    bool showsFile(const QString &path) const;
    // A load, reload, search, Text view build, copy, level command or the inspector's text is
    // running (or a search waits for typing to pause).
    bool busy() const;
    // Runs block now when not busy, else when the running work has ended (in order).
    void whenIdle(std::function<void()> block);

    bool failed() const { return hasFailed; }
    QString path() const { return file; }
    QString displayName() const { return name; }
    QString statusText() const { return status; }
    JxView *view() const { return m_view; }
    JxDoc *document() const;
    bool fileGone() const { return gone; }
    // The first row shown, kept across reloads.
    uint32_t topRow() const;

    // The window's parts, for tests and the script runner.
    OVStatusBar *statusLine() const { return statusBarView; }
    OVErrorBar *errorBar() const { return errorBarView; }
    OVProgressLine *progressLine() const { return progressView; }
    OVLabel *emptyLabel() const { return emptyView; }
    OVListView *list() const { return listView; }
    OVWatch *watcher() const { return watch; }
    bool progressShown() const { return progressShowing; }

    OVTopBar *topBar() const { return topBarView; }
    OVSplitView *split() const { return splitView; }
    OVInspectorView *inspector() const { return inspectorView; }
    OVSearchRunner *searchRunner() const { return search; }
    OVCopier *copier() const { return copyRunner; }
    OVTextBuilder *textBuilder() const { return textRunner; }
    QString noteText() const;
    int noteKind() const { return noteOwner; }

    bool validate(const QAction *action, bool *checked) const;
    void perform(QAction *action);
    // Runs a command of jx/keys.h: the window's own (1 to 17) or the view's.
    void runCommand(uint32_t command);
    // Copies what (a copy command, JX_CMD_COPY_*) of the selection, a path in style; whatever
    // has the keyboard focus (the script runner's copies).
    void copy(uint32_t what, int style);
    // The path style, the indent guides or the inspector's settings may have changed.
    void settingsChanged();
    void fontChanged();
    void flashStatus(const QString &text);

    bool inspectorShown() const { return inspectorOn; }
    // Shows or hides the inspector; with save the setting remembers it.
    void setInspectorShown(bool shown, bool save);
    // 0 Tree, 1 Text (building the Text view first when needed; Text in the Text view switches
    // between pretty and as in the file).
    void showMode(int text);
    void showInText();
    void beginGoto();
    void beginFind();
    // The script runner's search: the field takes text and options, and the search starts now.
    void searchFor(const QString &text, uint32_t options);
    // Takes the note bar for kind with text; an empty text clears it only for its own kind.
    void setNote(const QString &text, int kind = NOTE_GOTO);
    // The row menu ("Row"), built on first use; the list shows it on a right click.
    QMenu *contextMenu();
    // The path style of the settings (0 to 4).
    static int pathStyle();
    // Files dropped on the window: each opens (or comes forward) in a window of its own.
    void openDropped(const QStringList &paths);
    OVRootView *rootView() const { return root; }

signals:
    // Lines for the script runner: "goto-error=...", "search-error=...", "message=...".
    void noted(const QString &line);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void init(const QString &title);
    void buildViews();
    void layoutContent();
    void buildParts();
    void refresh();
    void setView(JxView *view);
    void retireView();
    void noteLine(const QString &line);
    void saveFrame();
    void splitterMoved();
    QString pathText(int style) const;
    void doCommand(uint32_t command);
    void expandSubtree(bool expand);
    bool validateView(const QString &item, int tag, bool *checked) const;
    JxSearchOptions searchOptions() const;

    // OVTopBarOwner
    uint32_t crumbCount() override;
    QString crumbLabel(uint32_t index) override;
    void crumbClicked(uint32_t index) override;
    void viewSwitched(int segment) override;
    void pathEntered(const QString &text) override;
    void pathCancelled() override;
    void pathEdited() override;
    void searchTextChanged() override;
    void searchEntered(bool backward) override;
    void searchCancelled() override;
    void searchOptionsChanged() override;
    void searchStep(bool backward) override;
    void loaded(OVJob &job, OVLoaded &result);
    void showDocument(JxView *view, int parseMs);
    void failWith(const QString &message, const QString &note);
    void reloadRead(OVJob &job, OVLoaded &result);
    void reloadFailed(const OVLoaded &result);
    void reloaded(OVJob &job, JxView *view, uint32_t topRow, uint64_t size, uint32_t ms, uint64_t dev, uint64_t ino);
    void setStatusText(int parseMs);
    void updateErrorBar();
    void updateEmptyLabel();
    void fireIdle();
    bool levelInBackground(uint32_t command);
    void levelsBuilt(OVJob &job, JxRows *&rows);
    void beginProgress(const std::shared_ptr<OVJob> &job, const QString &label);
    void jobProgress(OVJob &job, double fraction);
    void endProgress(const OVJob *job);
    void updateProgressText();
    std::shared_ptr<OVJob> startRead(bool buildView, void (OVDocWindow::*done)(OVJob &, OVLoaded &));
    uint64_t memoryLimit() const;

    QString file;
    QString name;
    QString status;
    JxView *m_view = nullptr;
    uint64_t dev = 0, ino = 0, fileSize = 0;
    bool hasId = false;
    int parseMs = 0;
    std::shared_ptr<OVJob> load, reloadJob, levelJob, progressJob;
    QString progressLabel;
    double progressFraction = 0;
    bool progressShowing = false;
    bool memoryAsked = false;
    bool gone = false;          // the last reload could not read the file
    QString goneText;           // what the error bar says about it
    bool errorBarClosed = false;
    bool hasFailed = false;
    bool closing = false;
    OVWatch *watch = nullptr;
    QList<std::function<void()>> idle;
    QPointer<QMessageBox> question;     // the memory question while it is up
    QPointer<QMessageBox> copyQuestion; // a large copy's question while it is up

    int noteOwner = 0;
    uint32_t crumbNode = 0xFFFFFFFFu;
    bool inspectorOn = false;
    QMenu *context = nullptr;

    OVSearchRunner *search = nullptr;
    OVCopier *copyRunner = nullptr;
    OVTextBuilder *textRunner = nullptr;
    OVRootView *root = nullptr;
    OVTopBar *topBarView = nullptr;
    OVSplitView *splitView = nullptr;
    OVInspectorView *inspectorView = nullptr;
    OVNoteBar *noteBar = nullptr;
    OVErrorBar *errorBarView = nullptr;
    std::unique_ptr<OVViewListModel> listModel; // the list's window onto m_view
    OVListView *listView = nullptr;
    OVStatusBar *statusBarView = nullptr;
    OVLabel *emptyView = nullptr;
    OVProgressLine *progressView = nullptr;
};

#endif
