#include "runner.h"

#include "words.h"

#include "application.h"
#include "doc_window.h"
#include "log.h"
#include "options.h"
#include "text.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <jx/view.h>

namespace {
OVTestHook *running = nullptr;
} // namespace

const OVTestHook::Command OVTestHook::COMMANDS[] = {
    {"open", 2, -1, &OVTestHook::cmdOpen},
    {"open-nowait", 2, -1, &OVTestHook::cmdOpenNowait},
    {"open-clipboard", 1, 1, &OVTestHook::cmdOpenClipboard},
    {"clip", -1, -1, &OVTestHook::cmdClip},
    {"key", 2, 2, &OVTestHook::cmdKey},
    {"type", 2, -1, &OVTestHook::cmdType},
    {"click", 2, -1, &OVTestHook::cmdClick},
    {"search", -1, -1, &OVTestHook::cmdSearch},
    {"find-next", 1, 1, &OVTestHook::cmdFindNext},
    {"find-prev", 1, 1, &OVTestHook::cmdFindPrev},
    {"next-problem", 1, 1, &OVTestHook::cmdNextProblem},
    {"goto", 2, -1, &OVTestHook::cmdGoto},
    {"crumb", 2, 2, &OVTestHook::cmdCrumb},
    {"view", 2, 2, &OVTestHook::cmdView},
    {"level", 2, 2, &OVTestHook::cmdLevel},
    {"expand-all", 1, 1, &OVTestHook::cmdExpandAll},
    {"collapse-all", 1, 1, &OVTestHook::cmdCollapseAll},
    {"back", 1, 1, &OVTestHook::cmdBack},
    {"forward", 1, 1, &OVTestHook::cmdForward},
    {"copy", 2, 2, &OVTestHook::cmdCopy},
    {"dump", -1, -1, &OVTestHook::cmdDump},
    {"write", 3, 3, &OVTestHook::cmdWrite},
    {"remove", 2, 2, &OVTestHook::cmdRemove},
    {"reload", 1, 1, &OVTestHook::cmdReload},
    {"wait", 2, 2, &OVTestHook::cmdWait},
    {"sleep", 2, 2, &OVTestHook::cmdSleep},
    {"screenshot", -1, -1, &OVTestHook::cmdScreenshot},
    {"resize", 3, 3, &OVTestHook::cmdResize},
    {"answer", -1, -1, &OVTestHook::cmdAnswer},
    {"quit", 1, 1, &OVTestHook::cmdQuit},
    {"drop", 2, -1, &OVTestHook::cmdDrop},
    {"press", 2, -1, &OVTestHook::cmdPress},
    {"context", 2, -1, &OVTestHook::cmdContext},
    {"button", 2, 2, &OVTestHook::cmdButton},
    {"menu", 2, -1, &OVTestHook::cmdMenu},
    {"divider", 2, 2, &OVTestHook::cmdDivider},
    {"stall", 2, 2, &OVTestHook::cmdStall},
    {"timed", 2, -1, &OVTestHook::cmdTimed},
    {"theme", 2, 2, &OVTestHook::cmdTheme},
};

void OVTestHook::startIfNeeded() {
    if (running || !ov_test_mode())
        return;
    // A child of the delegate: it goes when the application's windows go.
    running = new OVTestHook;
    running->setParent(OVAppDelegate::shared());
    running->begin();
}

void OVTestHook::note(const QString &text) {
    if (running && running->transcript && !running->ended)
        running->writeLine(text);
}

OVTestHook::~OVTestHook() {
    if (transcript)
        ownsTranscript ? fclose(transcript) : fflush(transcript);
    if (running == this)
        running = nullptr;
}

void OVTestHook::stop(int status) {
    ended = true;
    if (transcript)
        fflush(transcript);
    QCoreApplication::exit(status);
}

void OVTestHook::begin() {
    const OVOptions &options = ov_options();
    scriptPath = options.scriptPath;
    if (options.settingsPath.isEmpty()) {
        fputs("orvel: --test-script needs --settings <file>\n", stderr);
        stop(2);
        return;
    }
    QFile file(scriptPath);
    if (!file.open(QIODevice::ReadOnly)) {
        fprintf(stderr, "orvel: cannot read %s\n", qUtf8Printable(scriptPath));
        stop(2);
        return;
    }
    const QByteArray bytes = file.readAll();
    lines = ov_string(bytes.constData(), size_t(bytes.size())).split(QLatin1Char('\n'));
    if (options.transcriptPath.isEmpty()) {
        transcript = stdout;
    } else {
        transcript = fopen(QFile::encodeName(options.transcriptPath).constData(), "wb");
        if (!transcript) {
            fprintf(stderr, "orvel: cannot write %s\n", qUtf8Printable(options.transcriptPath));
            stop(2);
            return;
        }
        ownsTranscript = true;
    }
    // Relative paths in commands name files of the source tree: the first folder above the
    // script that holds tests/samples, else the working folder.
    root = QDir::currentPath();
    QString folder = QDir::cleanPath(QFileInfo(QDir::current().absoluteFilePath(scriptPath)).absolutePath());
    while (folder.size() > 1) {
        if (QFileInfo(folder + QStringLiteral("/tests/samples")).isDir()) {
            root = folder;
            break;
        }
        folder = QFileInfo(folder).absolutePath();
    }
    connect(OVAppDelegate::shared(), &OVAppDelegate::noted, this, [](const QString &line) { note(line); });
    ov_log("test script %s (root %s)", qUtf8Printable(scriptPath), qUtf8Printable(root));
    QMetaObject::invokeMethod(this, &OVTestHook::step, Qt::QueuedConnection);
}

void OVTestHook::step() {
    if (ended)
        return;
    while (next < lines.size()) {
        const QString line = ov_script_trim(lines[next]);
        lineNumber = ++next;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        runLine(line, [this] {
            if (ended)
                return;
            if (transcript)
                fflush(transcript);
            QMetaObject::invokeMethod(this, &OVTestHook::step, Qt::QueuedConnection);
        });
        return;
    }
    quit();
}

void OVTestHook::runLine(const QString &text, Done done) {
    Line line;
    line.text = text;
    line.words = ov_script_words(text);
    line.rest = ov_script_rest(text);
    const int count = int(line.words.size());
    for (const Command &command : COMMANDS) {
        if (line.words.value(0) != QLatin1String(command.name))
            continue;
        if ((command.minWords >= 0 && count < command.minWords) || (command.maxWords >= 0 && count > command.maxWords))
            break;
        (this->*command.run)(line, std::move(done));
        return;
    }
    badArguments();
}

void OVTestHook::fail(const QString &message) {
    if (ended)
        return;
    fprintf(stderr, "orvel: %s:%lu: %s\n", qUtf8Printable(scriptPath), lineNumber, qUtf8Printable(message));
    stop(2);
}

void OVTestHook::badArguments() { fail(QStringLiteral("unknown command or bad arguments")); }

bool OVTestHook::number(const QString &word, uint32_t *out) { return ov_script_number(word, out); }

bool OVTestHook::numberOrFail(const QString &word, uint32_t *out) {
    if (number(word, out))
        return true;
    badArguments();
    return false;
}

OVDocWindow *OVTestHook::windowWithRow(uint32_t row) {
    OVDocWindow *window = currentDoc();
    return window && window->view() && row < jx_view_count(window->view()) ? window : nullptr;
}

void OVTestHook::write(const QByteArray &bytes) {
    if (transcript && !bytes.isEmpty())
        fwrite(bytes.constData(), 1, size_t(bytes.size()), transcript);
}

void OVTestHook::writeLine(const QString &text) {
    write(text.toUtf8() + '\n');
    fflush(transcript);
}

void OVTestHook::quit() {
    if (ended)
        return;
    ended = true;
    if (transcript) {
        if (ownsTranscript)
            fclose(transcript);
        else
            fflush(transcript);
        transcript = nullptr;
    }
    QCoreApplication::exit(0);
}

OVDocWindow *OVTestHook::currentDoc() {
    const QList<OVDocWindow *> &docs = OVAppDelegate::shared()->windows();
    if (remembered && docs.contains(remembered.data()))
        return remembered;
    remembered = docs.isEmpty() ? nullptr : docs.last();
    return remembered;
}

QWidget *OVTestHook::currentWindow() {
    if (OVDocWindow *doc = currentDoc())
        return doc;
    return OVAppDelegate::shared()->startWindow();
}

void OVTestHook::remember(OVDocWindow *window) { remembered = window; }

QString OVTestHook::resolve(const QString &path) const {
    return QDir::cleanPath(QDir(root).absoluteFilePath(path));
}

void OVTestHook::whenIdle(Done done) {
    if (ended)
        return;
    OVAppDelegate *delegate = OVAppDelegate::shared();
    if (delegate->clipboardBusy()) {
        delegate->whenClipboardIdle([this, done] { whenIdle(done); });
        return;
    }
    OVDocWindow *window = currentDoc();
    if (window && window->busy()) {
        whenWindowIdle(window, [this, done] { whenIdle(done); });
        return;
    }
    done();
}

// A window closed while it works never reports idle: its going counts as idle too. The check runs
// on a later turn, so that the window's own idle callbacks finish before the next command.
void OVTestHook::whenWindowIdle(OVDocWindow *window, Done done) {
    auto fired = std::make_shared<bool>(false);
    auto gone = std::make_shared<QMetaObject::Connection>();
    QPointer<OVTestHook> self(this);
    auto once = [fired, gone, self, done] {
        if (*fired || !self)
            return;
        *fired = true;
        // A long script waits on one window many times: no watch outlives its wait.
        QObject::disconnect(*gone);
        QMetaObject::invokeMethod(self, [self, done] { if (self && !self->ended) done(); }, Qt::QueuedConnection);
    };
    *gone = connect(window, &QObject::destroyed, this, once);
    window->whenIdle(once);
}

void OVTestHook::idleLater(Done done) {
    QMetaObject::invokeMethod(this, [this, done] { whenIdle(done); }, Qt::QueuedConnection);
}
