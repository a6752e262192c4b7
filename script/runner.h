// runner.h: the script runner (`orvel --test-script FILE --test-out OUT --settings FILE`).
//
// Reads a command file and runs its lines one after another against the real windows, menus,
// lists and fields, waiting after each until the application is idle, and writes the dumps the
// script asks for to a transcript that tests compare with an expected one. A failing line ends
// the process with status 2 and the line's number on standard error. Main thread only.
#ifndef OV_SCRIPT_RUNNER_H
#define OV_SCRIPT_RUNNER_H

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>

class OVDocWindow;
class QMimeData;
class QWidget;

class OVTestHook : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void()>;

    // Creates the runner once when the command line named a script, and begins it; the delegate
    // calls it at the end of launching.
    static void startIfNeeded();
    // Writes text and a line feed to the transcript of the running script, if any.
    static void note(const QString &text);
    ~OVTestHook() override;

private:
    // The words of one command line and what the table says about it.
    struct Line {
        QString text;
        QStringList words;
        QString rest;
    };
    using Handler = void (OVTestHook::*)(const Line &, Done);
    struct Command {
        const char *name;
        int minWords; // -1: any count
        int maxWords; // -1: no upper bound
        Handler run;
    };
    static const Command COMMANDS[];

    OVTestHook() = default;
    void begin();
    void step();
    void runLine(const QString &text, Done done);
    // Ends the run: no further line runs, and the event loop ends with status.
    void stop(int status);
    void fail(const QString &message);
    void badArguments();
    void write(const QByteArray &bytes);
    void writeLine(const QString &text);
    void quit();

    // Windows.
    OVDocWindow *currentDoc();
    QWidget *currentWindow();
    void remember(OVDocWindow *window);
    QString resolve(const QString &path) const;
    // Waits until the delegate's clipboard work and the current window's work are over.
    void whenIdle(Done done);
    void whenWindowIdle(OVDocWindow *window, Done done);
    // Runs done on a later turn, then waits until idle.
    void idleLater(Done done);
    bool number(const QString &word, uint32_t *out);
    // number, else the failure "unknown command or bad arguments" and false.
    bool numberOrFail(const QString &word, uint32_t *out);
    // The current document window when its view has that row, else null.
    OVDocWindow *windowWithRow(uint32_t row);

    // Commands (commands.cpp).
    void cmdOpen(const Line &, Done);
    void cmdOpenNowait(const Line &, Done);
    void cmdOpenClipboard(const Line &, Done);
    void cmdClip(const Line &, Done);
    void cmdKey(const Line &, Done);
    void cmdType(const Line &, Done);
    void cmdClick(const Line &, Done);
    void cmdSearch(const Line &, Done);
    void cmdFindNext(const Line &, Done);
    void cmdFindPrev(const Line &, Done);
    void cmdNextProblem(const Line &, Done);
    void cmdGoto(const Line &, Done);
    void cmdCrumb(const Line &, Done);
    void cmdView(const Line &, Done);
    void cmdLevel(const Line &, Done);
    void cmdExpandAll(const Line &, Done);
    void cmdCollapseAll(const Line &, Done);
    void cmdBack(const Line &, Done);
    void cmdForward(const Line &, Done);
    void cmdCopy(const Line &, Done);
    void cmdDump(const Line &, Done);
    void cmdWrite(const Line &, Done);
    void cmdRemove(const Line &, Done);
    void cmdReload(const Line &, Done);
    void cmdWait(const Line &, Done);
    void cmdSleep(const Line &, Done);
    void cmdScreenshot(const Line &, Done);
    void cmdResize(const Line &, Done);
    void cmdAnswer(const Line &, Done);
    void cmdQuit(const Line &, Done);
    void cmdDrop(const Line &, Done);
    void cmdPress(const Line &, Done);
    void cmdContext(const Line &, Done);
    void cmdButton(const Line &, Done);
    void cmdMenu(const Line &, Done);
    void cmdDivider(const Line &, Done);
    void cmdStall(const Line &, Done);
    void cmdTimed(const Line &, Done);
    void cmdTheme(const Line &, Done);
    void viewCommand(uint32_t command, Done done);
    void typeFrom(QWidget *window, QList<uint> characters, int index, Done done);

    // Dumps (dumps.cpp).
    void dumpRows(OVDocWindow *window, uint32_t first, uint32_t count);
    void dumpState(OVDocWindow *window);
    void dumpInspector(OVDocWindow *window);
    void dumpShell(OVDocWindow *window);
    void dumpWindows();
    void dumpMenus();

    QStringList lines;
    int next = 0;
    unsigned long lineNumber = 0;
    FILE *transcript = nullptr;
    bool ownsTranscript = false;
    bool ended = false;
    QString root;
    QString scriptPath;
    QPointer<OVDocWindow> remembered;
    std::shared_ptr<QMimeData> heldDrag; // a drag left over a window by "drop PATH hold"
};

#endif
