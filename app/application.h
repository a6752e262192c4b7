// application.h: the application object and its delegate, which owns everything application-wide:
// the open document windows and their placement, opening files and the clipboard, Open Recent,
// the default-application request, the text size, the shared alert and quitting.
// Main thread only, except where a function says otherwise.
#ifndef OV_APPLICATION_H
#define OV_APPLICATION_H

#include <QApplication>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QThreadPool>

#include <functional>

#include <jx/doc.h>

class QAction;
class QFileDialog;
class QMenu;
class QMessageBox;
class OVDocWindow;
class OVStartWindow;
struct JxView;

class OVApplication : public QApplication {
    Q_OBJECT
public:
    OVApplication(int &argc, char **argv);
};

class OVAppDelegate : public QObject {
    Q_OBJECT
public:
    OVAppDelegate();
    // Closes what is left without the close steps (the process is ending): waits for the
    // workers, frees their late results, deletes the windows.
    ~OVAppDelegate() override;
    // The instance made last, or null.
    static OVAppDelegate *shared();

    // Launch.
    void setLaunchFiles(const QStringList &paths) { launchFiles = paths; }
    // Runs once launching is over (the script runner starts there).
    void setLaunchedHook(std::function<void()> hook) { launched = std::move(hook); }
    // Before the event loop: settings, theme, font size.
    void applicationWillFinishLaunching();
    // First turn of the event loop: the launch files, then (a turn later) the start window.
    void applicationDidFinishLaunching();
    // The desktop asks to open files (another process forwarded them); none is a reopen.
    void openPaths(const QStringList &paths);
    void applicationShouldHandleReopen();
    // Writes the settings; connected to aboutToQuit and commitDataRequest.
    void applicationWillTerminate();

    // Windows.
    const QList<OVDocWindow *> &windows() const { return docs; }
    OVDocWindow *openPath(const QString &path);
    void windowClosed(OVDocWindow *window);
    void show(QWidget *window);
    void place(QWidget *window);
    QWidget *startWindow() const;
    void showStartWindow();
    void closeStartWindow();
    // The start window closed by the user (not by an open).
    void startWindowClosed(OVStartWindow *window);
    QWidget *frontWindow() const;

    // The shared alert: "OK" only, a sheet on the front window when there is one.
    void alert(const QString &message);
    // An alert with one "OK" button on window; then runs when it is answered.
    void alertOn(QWidget *window, const QString &message, std::function<void()> then);
    // A window-modal alert on window with one button per title, in order; then gets the index of
    // the button pressed (0 for the first) and never runs once window is gone. In script mode a
    // one-button alert answers itself on the next turn. The box deletes itself when answered.
    QMessageBox *alertOn(QWidget *window, const QString &message, const QStringList &buttons,
                         std::function<void(int)> then);

    // Recent files, from the settings' list.
    QStringList recentPaths() const;
    void noteRecent(const QString &path);
    void clearRecent();

    // Clipboard.
    bool clipboardBusy() const { return clipsInFlight > 0; }
    void whenClipboardIdle(std::function<void()> block);
    void openClipboardThen(std::function<void(OVDocWindow *)> block);

    // The JSON MIME types the desktop knows, application/json first.
    static QStringList jsonTypes();
    void makeDefault();
    void settingsChanged();
    // +1, -1, or 0 for the actual size; sizes outside 9 to 24 do nothing.
    void zoom(int delta);

    // Whether the delegate itself answers action, whatever window it comes from (Open, Quit, the
    // text size, ...): such items stay usable while a window shows an alert.
    static bool isAppAction(const QAction *action);
    // Menu items (see menus.h): enabled state (and *checked), and the action itself.
    bool validate(const QAction *action, bool *checked);
    void perform(QAction *action);
    void menuNeedsUpdate(QMenu *menu);
    void menuWillOpen(QMenu *menu);
    void menuDidClose(QMenu *menu);

    // Runs work on a worker thread; done runs afterwards on the main thread, unless the delegate
    // is gone by then (the destructor waits for the work and runs the pending done blocks).
    void runInBackground(std::function<void()> work);
    void post(std::function<void()> block);

signals:
    // No window is left (outside script mode), or Quit was chosen; main ends the event loop.
    void quitRequested();
    // A line for the script runner ("open-error=...", "message=...").
    void noted(const QString &line);

private:
    void note(const QString &line);
    void openDocument();
    void clipboardParsed(JxDoc *doc, JxView *view, int status, int ms, const std::function<void(OVDocWindow *)> &then);
    void addWindow(OVDocWindow *window);
    void quitIfNoWindow();
    QPoint cascadeTopLeft(QWidget *window, const QPoint *from) const;
    void fillRecentMenu(QMenu *menu);
    void finishMakeDefault(int failed);
    void about();

    QList<OVDocWindow *> docs;
    QPoint cascade;
    bool placedOne = false;
    unsigned clipCount = 0;
    QList<std::function<void()>> clipIdle;
    // Several clipboard opens may overlap: idle only when none is in flight.
    int clipsInFlight = 0;
    QStringList launchFiles;
    std::function<void()> launched;
    QPointer<OVStartWindow> start;
    QPointer<QFileDialog> openPanel;
    QList<QPointer<QWidget>> loneAlerts; // alerts without a window, freed with the delegate
    bool ending = false;                 // being destroyed: late clipboard results are dropped
    QThreadPool workers;
};

// The whole program: reads the command line, forwards to a running Orvel or runs the
// application; returns the exit status. launched runs at the end of launching (the program's
// script runner; the shell library knows nothing of it).
int ov_main(int argc, char **argv, std::function<void()> launched = nullptr);

#endif
