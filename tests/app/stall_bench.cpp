// How long the main thread goes without turning its event loop while a document window loads,
// reloads and closes a 1 GB file. Run by hand (it is not a CTest test: the file takes a while to
// make and the figure depends on the machine):
//   build/release/tests/app/app_stall_bench [size-in-MB]
// The file, compact JSON records, is generated under the build folder on first use and kept.
#include "application.h"
#include "doc_window.h"
#include "options.h"
#include "stall_fixture.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include <jx/doc.h>

namespace {

// Records of eight values each ("id", "name", "ok", "tags" and its two words, "score", and the
// record), the same bytes on every run.
bool generate(const QString &path, qint64 size) {
    QFile out(path + QStringLiteral(".part"));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const char *const words[] = {"alpha", "bravo", "delta", "echo", "harbour", "lattice", "meridian", "orbit"};
    std::string chunk = "[";
    qint64 written = 0;
    for (uint64_t id = 0; written + qint64(chunk.size()) < size; id++) {
        if (id) chunk += ',';
        chunk += "{\"id\":" + std::to_string(id) + ",\"name\":\"record-" + std::to_string(id * 7919 % 1000003) +
                 "\",\"ok\":" + (id % 3 ? "true" : "false") + ",\"tags\":[\"" + words[id % 8] + "\",\"" +
                 words[(id / 8) % 8] + "\"],\"score\":" + std::to_string(id % 10000) + "." + std::to_string(id % 100) + "}";
        if (chunk.size() > (1 << 22)) {
            written += out.write(chunk.data(), qint64(chunk.size()));
            chunk.clear();
        }
    }
    chunk += "]";
    out.write(chunk.data(), qint64(chunk.size()));
    out.close();
    return QFile::rename(out.fileName(), path);
}

} // namespace

int main(int argc, char **argv) {
    const qint64 megabytes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const QString home = QStringLiteral(ORVEL_STALL_DATA);
    benchEnvironment(home);
    OVApplication app(argc, argv);
    const QString path = home + QStringLiteral("/records-%1mb.json").arg(megabytes);
    if (!QFile::exists(path)) {
        fprintf(stderr, "generating %s\n", qPrintable(path));
        if (!generate(path, megabytes << 20)) {
            fprintf(stderr, "app_stall_bench: cannot write %s\n", qPrintable(path));
            return 1;
        }
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
