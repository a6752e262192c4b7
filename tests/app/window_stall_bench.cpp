// The search as a user sees it in a real document window over the 512 MB benchmark file: when
// the first hits are drawn while the search still runs, how the count grows, and the longest
// time the main thread goes without turning its event loop. Run by hand:
//   build/release/tests/app/app_window_stall_bench [mixed.json] [query]
#include "application.h"
#include "doc_window.h"
#include "label.h"
#include "list_view.h"
#include "search_runner.h"
#include "settings_store.h"
#include "stall_fixture.h"
#include "top_bar.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cstdio>

#include <jx/search.h>
#include <jx/view.h>

int main(int argc, char **argv) {
    benchEnvironment(QStringLiteral(ORVEL_STALL_DATA));
    QApplication app(argc, argv);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(ORVEL_MIXED_DATA);
    const QString query = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("lattice");
    OVAppDelegate delegate;
    delegate.applicationWillFinishLaunching();
    JxSettings &values = OVSettings::shared()->values();
    values.win_x = 0, values.win_y = 0, values.win_w = OVDocWindow::WIDTH, values.win_h = OVDocWindow::HEIGHT;
    values.inspector = 1;

    QElapsedTimer clock;
    clock.start();
    OVDocWindow *window = delegate.openPath(path);
    double seconds = 0, at = 0, cpu = 0;
    longestGap([&] { return !window->busy() && window->view(); }, &seconds, &at, &cpu);
    if (!window->view()) {
        fprintf(stderr, "app_window_stall_bench: cannot open %s\n", qPrintable(path));
        return 1;
    }
    printf("%s: %u nodes, opened in %.2f s; query \"%s\", inspector shown\n", qPrintable(QFileInfo(path).fileName()),
           jx_doc_count(window->document()), clock.elapsed() / 1000.0, qPrintable(query));

    // Samples of the count as drawn, and the first paint of the list once hits exist.
    QList<QPair<double, uint32_t>> samples;
    double firstDrawn = -1;
    uint64_t paintedAtHits = 0;
    QElapsedTimer since;
    window->searchFor(query, 0);
    since.start();
    const double gap = longestGap(
        [&] {
            const JxSearch *search = jx_view_search(window->view());
            const uint32_t count = search ? jx_search_count(search) : 0;
            const bool running = !window->searchRunner()->idle();
            if (count && !paintedAtHits)
                paintedAtHits = window->list()->rowsPainted() + 1;
            if (firstDrawn < 0 && paintedAtHits && running && window->list()->rowsPainted() >= paintedAtHits)
                firstDrawn = since.elapsed() / 1000.0;
            if (samples.isEmpty() || samples.last().second != count)
                samples.append({since.elapsed() / 1000.0, count});
            return !running;
        },
        &seconds, &at, &cpu);
    printf("search: %.2f s, %s; longest main-thread gap %.2f ms at %.2f s (main thread ran %.2f ms of it)\n", seconds,
           qPrintable(window->topBar()->count()->text()), gap, at, cpu);
    printf("first hits drawn while running: %s\n",
           firstDrawn < 0 ? "never" : qPrintable(QString::number(firstDrawn, 'f', 2) + QStringLiteral(" s")));
    printf("count as it grew (%lld steps):", static_cast<long long>(samples.size()));
    for (qsizetype i = 0; i < samples.size(); i += std::max<qsizetype>(samples.size() / 8, 1))
        printf(" %.2f s: %u;", samples[i].first, samples[i].second);
    printf(" %.2f s: %u\n", samples.last().first, samples.last().second);
    window->close();
    QCoreApplication::processEvents();
    return 0;
}
