// A large file in a real document window, phase by phase: the longest main-thread gap while
// loading, searching, building the Text view, expanding and collapsing everything, scrolling to the
// end and reloading, and the resident memory once loaded against what the document must hold.
// Run by hand (bench/window_big.sh runs it on generated files):
//   build/release/tests/app/app_window_phases_bench FILE [query]
#include "application.h"
#include "doc_window.h"
#include "list_view.h"
#include "search_runner.h"
#include "settings_store.h"
#include "stall_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

#include <jx/keys.h>
#include <jx/problem.h>
#include <jx/view.h>

namespace {

double residentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

// Starts a phase and runs the event loop until the window is idle again, printing how long that
// took and the longest gap on the main thread meanwhile.
// Work deferred past the end of a phase (the inspector's rest, say) counts in the second after it.
template <class Start> void phase(OVDocWindow *&window, const char *name, Start start) {
    double seconds = 0, at = 0, cpu = 0;
    start();
    QElapsedTimer idle;
    const double gap = longestGap(
        [&] {
            if (window->busy()) idle.invalidate();
            else if (!idle.isValid()) idle.start();
            return idle.isValid() && idle.elapsed() >= 1000;
        },
        &seconds, &at, &cpu);
    std::printf("%-22s %8.2f s   longest gap %7.2f ms at %.2f s (main thread ran %.2f ms of it)%s\n", name, seconds, gap,
                at, cpu, gap > 16 ? "   OVER 16 ms" : "");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv) {
    benchEnvironment(QStringLiteral(ORVEL_STALL_DATA));
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: app_window_phases_bench FILE [query]\n");
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const QString query = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("lattice");
    OVAppDelegate delegate;
    delegate.applicationWillFinishLaunching();
    JxSettings &values = OVSettings::shared()->values();
    values.win_x = 0, values.win_y = 0, values.win_w = OVDocWindow::WIDTH, values.win_h = OVDocWindow::HEIGHT;
    // The inspector shown, the harder case: it lays out the selection's text (BENCH_INSPECTOR=0 hides it).
    values.inspector = qEnvironmentVariableIsSet("BENCH_INSPECTOR") ? qEnvironmentVariableIntValue("BENCH_INSPECTOR") : 1;
    // A first window pays once for fonts, styles and plugins; that is not the file's loading.
    QTemporaryDir warm;
    QFile tiny(warm.filePath(QStringLiteral("warm.json")));
    if (tiny.open(QIODevice::WriteOnly)) tiny.write("{\"warm\": [1, 2]}\n");
    tiny.close();
    if (OVDocWindow *first = delegate.openPath(tiny.fileName())) {
        double seconds = 0, at = 0, cpu = 0;
        longestGap([&] { return !first->busy(); }, &seconds, &at, &cpu);
        first->close();
        QCoreApplication::processEvents();
    }
    const double baseMb = residentMb();

    // The time to the first painted rows is the script runner's `timed open` (bench/window_big.sh).
    OVDocWindow *window = nullptr;
    phase(window, "load", [&] { window = delegate.openPath(path); });
    if (!window || !window->view()) {
        std::fprintf(stderr, "app_window_phases_bench: cannot open %s\n", qPrintable(path));
        return 1;
    }
    JxDoc *doc = window->document();
    const double size = double(QFileInfo(path).size());
    const double nodes = jx_doc_count(doc), lines = jx_doc_line_count(doc), problems = jx_doc_error_count(doc);
    const bool jsonLines = jx_doc_format(doc) == JX_FORMAT_LINES;
    const double wantMb = (size + 20 * nodes + 4 * lines + (jsonLines ? 12 * problems : 0)) / (1 << 20);
    const double rss = residentMb(), ownMb = rss - baseMb;
    std::printf("%s: %.0f MB, %.0f nodes, %.0f lines, %.0f problems\n", qPrintable(QFileInfo(path).fileName()), size / 1e6,
                nodes, lines, problems);
    std::printf("resident memory        %8.0f MiB (%.0f MiB before opening); document's own %.0f MiB, "
                "text + 20 B/node + 4 B/line%s = %.0f MiB: %+.1f %%\n",
                rss, baseMb, ownMb, jsonLines ? " + 12 B/problem" : "", wantMb, (ownMb / wantMb - 1) * 100);

    phase(window, "search", [&] { window->searchFor(query, 0); });
    phase(window, "clear search", [&] { window->searchFor(QString(), 0); });
    phase(window, "Text view", [&] { window->showMode(1); });
    phase(window, "Tree view", [&] { window->showMode(0); });
    phase(window, "expand all", [&] { window->runCommand(JX_CMD_EXPAND_ALL); });
    phase(window, "scroll to the end", [&] {
        QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::NoModifier);
        QCoreApplication::sendEvent(window->list(), &end);
    });
    phase(window, "collapse all", [&] { window->runCommand(JX_CMD_COLLAPSE_ALL); });
    phase(window, "reload", [&] { window->reload(); });
    std::printf("resident memory after  %8.0f MiB\n", residentMb());
    window->close();
    QCoreApplication::processEvents();
    return 0;
}
