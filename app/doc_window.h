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

class QAction;
class QMessageBox;
class OVBar;
class OVErrorBar;
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

class OVDocWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int WIDTH = 1100;
    static constexpr int HEIGHT = 760;
    static constexpr int MIN_WIDTH = 320;
    static constexpr int MIN_HEIGHT = 200;
    // Work that ends sooner never shows the progress line.
    static constexpr int PROGRESS_DELAY_MS = 150;

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
    // A load or reload is running.
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

    bool validate(const QAction *action, bool *checked) const;
    void perform(QAction *action);
    // The indent guides setting may have changed.
    void settingsChanged();
    void fontChanged();
    void flashStatus(const QString &text);
    // Files dropped on the window: each opens (or comes forward) in a window of its own.
    void openDropped(const QStringList &paths);
    OVRootView *rootView() const { return root; }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void init(const QString &title);
    void buildViews();
    void layoutContent();
    void refresh();
    void runCommand(uint32_t command);
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
    std::shared_ptr<OVJob> load, reloadJob, progressJob;
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
    QPointer<QMessageBox> question; // the memory question while it is up

    OVRootView *root = nullptr;
    OVBar *topBar = nullptr;
    OVNoteBar *noteBar = nullptr;
    OVErrorBar *errorBarView = nullptr;
    std::unique_ptr<OVViewListModel> listModel; // the list's window onto m_view
    OVListView *listView = nullptr;
    OVStatusBar *statusBarView = nullptr;
    OVLabel *emptyView = nullptr;
    OVProgressLine *progressView = nullptr;
};

#endif
