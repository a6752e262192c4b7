// How long the main thread goes without turning its event loop while a document window loads,
// reloads and closes a 1 GB file. Run by hand (it is not a CTest test: the file takes a while to
// make and the figure depends on the machine):
//   build/release/tests/app/app_stall_bench [size-in-MB]
// The file, compact JSON records, is generated under the build folder on first use and kept.
#include "application.h"
#include "bench_fixture.h"
#include "doc_window.h"
#include "options.h"

#include <QFileInfo>

#include <algorithm>
#include <cstdio>

#include <jx/doc.h>

int main(int argc, char **argv) {
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const QString home = QStringLiteral(ORVEL_STALL_DATA);
    benchEnvironment(home);
    OVApplication app(argc, argv);
    const QString path = records_json(home, megabytes);
    if (path.isEmpty()) {
        fprintf(stderr, "app_stall_bench: cannot write the records file in %s\n", qPrintable(home));
        return 1;
    }
    OVAppDelegate delegate;
    delegate.applicationWillFinishLaunching();
    ov_options().memoryOverride = UINT64_MAX / 4; // measure the load, not the question

    double seconds = 0, at = 0, cpu = 0;
    OVDocWindow *window = delegate.openPath(path);
    const double load = longestGap([&] { return !window->busy(); }, &seconds, &at, &cpu);
    if (!window->view()) {
        fprintf(stderr, "app_stall_bench: %s did not load\n", qPrintable(path));
        return 1;
    }
    const uint32_t nodes = jx_doc_count(window->document());
    printf("file %.0f MB, %u nodes\n", QFileInfo(path).size() / 1048576.0, nodes);
    printf("load:   %6.2f s, longest main-thread gap %6.2f ms at %.2f s (main thread ran %.2f ms of it)\n", seconds, load, at, cpu);
    window->reload();
    const double reload = longestGap([&] { return !window->busy(); }, &seconds, &at, &cpu);
    printf("reload: %6.2f s, longest main-thread gap %6.2f ms at %.2f s (main thread ran %.2f ms of it)\n", seconds, reload, at, cpu);
    window->close();
    const double close = longestGap([&] {
        static int ticks = 0;
        return ++ticks > 200;
    }, &seconds, &at, &cpu);
    printf("close:  %6.2f s, longest main-thread gap %6.2f ms at %.2f s (main thread ran %.2f ms of it)\n", seconds, close, at, cpu);
    const double worst = std::max({load, reload, close});
    printf("%s: longest gap %.2f ms (target 16 ms)\n", worst <= 16 ? "ok" : "over", worst);
    return 0;
}
