// How the document list paints and scrolls over large documents. Run by hand (not a CTest test:
// the files are large and the figures depend on the machine):
//   build/release/tests/app/app_list_bench [--data DIR] [--load-mb N] [--no-load]
// DIR holds the generated 512 MiB file (mixed-512mb-v1.json, written there when missing); the
// records file for the load (1024 MB unless --load-mb says otherwise) is generated under the
// build folder on first use, as the stall benchmark does. It checks that:
//   - a paint costs the rows in sight only: a list of 10 rows over the 512 MiB file's expanded
//     tree repaints within 1.5 times the time the same list takes over a 10-row document;
//   - no scrolling frame (scroll and repaint) of the expanded tree in a full window takes over
//     16 ms: the first and the last 1,000 pages, 1,000 random jumps, and the scroll bar dragged
//     from top to bottom in 1,000 steps; it also reports the main thread's longest gap (1 ms
//     precise timer) while they run;
//   - 60 rows at the bottom of a document 99,990 levels deep paint within 16 ms (Tree view and
//     both Text views);
// and reports the time from the start of the load to the first painted rows beside the parse time.
#include "application.h"
#include "bench_fixture.h"
#include "doc_window.h"
#include "list_model.h"
#include "list_view.h"
#include "log.h"
#include "options.h"
#include "settings_store.h"
#include "theme.h"

#include "bench_generate.h"
#include "bench_util.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScrollBar>
#include <QWindow>

#include <algorithm>
#include <functional>
#include <vector>

#include <jx/keys.h>
#include <jx/text.h>
#include <jx/view.h>

namespace {

constexpr double FRAME_MS = 16;
constexpr double PAINT_RATIO = 1.5;
constexpr int PAINTS = 200;
constexpr int STEPS = 1000;
constexpr uint32_t DEEP = 99990;
const char *const PROGRAM = "app_list_bench";

struct Stat {
    double best = 0, median = 0, worst = 0;
};

Stat stat_of(std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    return {ms.front(), ms[ms.size() / 2], ms.back()};
}

double elapsed_ms(const std::function<void()> &fn) {
    QElapsedTimer t;
    t.start();
    fn();
    return double(t.nsecsElapsed()) / 1e6;
}

// A shown list over a view of its own (the window's lists are sized by their windows).
struct LoneList {
    JxView *view;
    OVViewListModel model{&view};
    OVListView list{&model};
    LoneList(JxView *v, int width, int rows) : view(v) {
        list.resize(width, rows * OVTheme::rowHeight());
        list.show();
        waitExposed();
        list.reloadRows();
    }
    void waitExposed() {
        QElapsedTimer t;
        t.start();
        while (!list.windowHandle() || !list.windowHandle()->isExposed()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            if (t.elapsed() > 5000) break;
        }
    }
};

// The list drew rows, not only its background: a hidden or unexposed list paints nothing and
// would time nothing.
bool shows_rows(OVListView *list) {
    const QImage image = list->viewport()->grab().toImage();
    const QRgb background = OVTheme::color(0).rgb();
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x++)
            if (image.pixel(x, y) != background) return true;
    return false;
}

// n repaints, each of which must have drawn rows (a paint that drew none timed nothing).
Stat repaints(OVListView *list, int n, bool *painted) {
    std::vector<double> ms;
    for (int i = 0; i < n; i++) {
        const uint64_t before = list->rowsPainted();
        ms.push_back(elapsed_ms([&] { list->viewport()->repaint(); }));
        *painted &= list->rowsPainted() > before;
    }
    return stat_of(ms);
}

// Steps run one per turn of the event loop, each a scroll and a repaint: the longest of them
// with the main thread's own processor time within it (near the frame: the thread was working;
// near 0: the system ran something else), the longest processor time of any, and the longest gap
// between two ticks of a 1 ms timer.
struct Frames {
    double longest = 0, longestCpu = 0, maxCpu = 0, gap = 0;
};

Frames scroll_frames(OVListView *list, const std::function<void(int)> &step) {
    Frames f;
    int i = 0;
    double seconds = 0, at = 0, cpu = 0;
    f.gap = longestGap([&] {
        if (i == STEPS) return true;
        const double cpuBefore = threadCpuMs();
        const double ms = elapsed_ms([&] {
            step(i++);
            list->viewport()->repaint();
        });
        const double used = threadCpuMs() - cpuBefore;
        if (ms > f.longest) {
            f.longest = ms;
            f.longestCpu = used;
        }
        f.maxCpu = std::max(f.maxCpu, used);
        return false;
    }, &seconds, &at, &cpu);
    return f;
}

JxDoc *parse(const std::string &text) {
    int status = 0;
    return bench::parse_copy(text.data(), text.size(), &status);
}

JxView *expanded_view(JxDoc *doc) {
    JxView *view = jx_view_new(doc);
    jx_view_command(view, JX_CMD_EXPAND_ALL);
    return view;
}

bool verdict(const char *what, bool ok) {
    printf("%-4s %s\n", ok ? "ok" : "OVER", what);
    return ok;
}

OVDocWindow *open_and_wait(OVAppDelegate &delegate, const QString &path) {
    OVDocWindow *window = delegate.openPath(path);
    while (window->busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return window->view() ? window : nullptr;
}

// ---- the measurements ----

bool paint_ratio(JxView *big, int width) {
    std::string ten = "[";
    for (int i = 0; i < 8; i++) ten += "{\"id\": " + std::to_string(i) + ", \"name\": \"record\"},";
    ten += "null]";
    JxDoc *doc = parse(ten);
    JxView *small = jx_view_new(doc);
    jx_doc_release(doc);
    const uint32_t smallRows = jx_view_count(small);
    LoneList a(big, width, 10), b(small, width, 10);
    a.list.scrollRowToTop(jx_view_count(big) / 2);
    bool rows = shows_rows(&a.list) && shows_rows(&b.list);
    const Stat sa = repaints(&a.list, PAINTS, &rows), sb = repaints(&b.list, PAINTS, &rows);
    printf("\nrepaint of a list showing 10 rows (%d wide), %d times\n", width, PAINTS);
    printf("  512 MiB expanded tree, %10u rows: best %.3f ms, median %.3f ms\n", jx_view_count(big), sa.best, sa.median);
    printf("  10-row document, %16u rows: best %.3f ms, median %.3f ms\n", smallRows, sb.best, sb.median);
    // The best times are the paints' own cost; the medians also hold what else ran meanwhile.
    const double ratio = sa.best / sb.best;
    printf("  ratio of the best times %.2f (at most %.1f), of the medians %.2f\n", ratio, PAINT_RATIO, sa.median / sb.median);
    jx_view_free(small);
    return verdict("the lists painted rows, and their images hold them", rows) & verdict("a paint costs only the rows in sight", ratio <= PAINT_RATIO);
}

bool scrolling(OVDocWindow *window) {
    OVListView *list = window->list();
    const uint32_t count = jx_view_count(window->view()), page = list->pageRows();
    printf("\nscrolling the expanded tree in a %dx%d list (%u rows, %u a page): frame = scroll + repaint\n",
           list->viewport()->width(), list->viewport()->height(), count, page);
    bool painted = shows_rows(list);
    const Stat paint = repaints(list, PAINTS, &painted);
    printf("  repaint in the middle:      best %.2f ms, median %.2f ms, longest %.2f ms\n", paint.best, paint.median, paint.worst);
    bench::Rng rng{42};
    QScrollBar *bar = list->verticalScrollBar();
    const uint32_t endStart = count - std::min<uint32_t>(count, STEPS * page);
    struct Run {
        const char *name;
        std::function<void(int)> step;
    } runs[] = {
        {"first 1,000 pages", [&](int i) { list->scrollRowToTop(uint32_t(i) * page); }},
        {"last 1,000 pages", [&](int i) { list->scrollRowToTop(endStart + uint32_t(i) * page); }},
        {"1,000 random jumps", [&](int) { list->scrollRowToTop(rng.below(count)); }},
        {"bar dragged in 1,000 steps", [&](int i) { bar->setValue(int(int64_t(bar->maximum()) * (i + 1) / STEPS)); }},
    };
    double longest = paint.worst, gap = 0, maxCpu = 0;
    for (const Run &run : runs) {
        list->scrollRowToTop(0);
        const Frames f = scroll_frames(list, run.step);
        printf("  %-27s longest frame %6.2f ms (the thread ran %5.2f ms of it), most processor time %5.2f ms, "
               "longest main-thread gap %6.2f ms\n", run.name, f.longest, f.longestCpu, f.maxCpu, f.gap);
        longest = std::max(longest, f.longest);
        gap = std::max(gap, f.gap);
        maxCpu = std::max(maxCpu, f.maxCpu);
    }
    printf("  longest paint %.2f ms, longest main-thread gap %.2f ms, most processor time in a frame %.2f ms\n", longest, gap, maxCpu);
    return verdict("the window's list painted rows", painted) & verdict("no scrolling frame over 16 ms", longest <= FRAME_MS) &
           verdict("no main-thread gap over 16 ms", gap <= FRAME_MS);
}

bool deep(int width) {
    std::string text;
    for (uint32_t i = 0; i < DEEP; i++) text += "{\"key\":\n";
    text += "1\n";
    for (uint32_t i = 0; i < DEEP; i++) text += "}\n";
    JxDoc *doc = parse(text);
    if (!doc) {
        fprintf(stderr, "%s: the deep document did not parse\n", PROGRAM);
        return false;
    }
    printf("\n60 rows at the bottom of a document %u levels deep (%d wide)\n", DEEP, width);
    bool ok = true;
    for (int mode : {-1, int(JX_TEXT_PRETTY), int(JX_TEXT_FILE)}) {
        JxView *view = expanded_view(doc);
        if (mode >= 0) {
            jx_view_set_text(view, jx_text_new(doc, mode, nullptr, nullptr));
            jx_view_set_mode(view, JX_MODE_TEXT);
        }
        {
            LoneList lone(view, width, 60);
            lone.list.scrollRowToTop(jx_view_count(view) - 1);
            bool rows = shows_rows(&lone.list);
            const Stat s = repaints(&lone.list, 50, &rows);
            const char *name = mode < 0 ? "Tree view" : mode == JX_TEXT_PRETTY ? "Text view, pretty" : "Text view, as in the file";
            printf("  %-26s rows %u: best %.2f ms, median %.2f ms, longest %.2f ms\n", name, jx_view_count(view), s.best, s.median, s.worst);
            ok &= rows && s.worst <= FRAME_MS;
        }
        jx_view_free(view);
    }
    jx_doc_release(doc);
    return verdict("60 deep rows within a frame", ok);
}

// From the start of the load to the first painted rows, beside the parse time the window logs.
bool first_rows(OVAppDelegate &delegate, const QString &path) {
    double seconds = 0, at = 0, cpu = 0;
    QElapsedTimer t;
    t.start();
    OVDocWindow *window = delegate.openPath(path);
    double firstRows = -1;
    const double gap = longestGap([&] {
        if (window->list()->rowsPainted() > 0 && firstRows < 0) firstRows = t.elapsed() / 1000.0;
        return firstRows >= 0 || (!window->busy() && !window->view());
    }, &seconds, &at, &cpu);
    QFile log(ov_log_path());
    log.open(QIODevice::ReadOnly);
    const QRegularExpression opened(QStringLiteral("opened ") + QRegularExpression::escape(path) + QStringLiteral(" in (\\d+) ms"));
    QRegularExpressionMatch m; // the last: the log keeps earlier runs
    for (QRegularExpressionMatchIterator it = opened.globalMatch(QString::fromUtf8(log.readAll())); it.hasNext();) m = it.next();
    printf("\nloading %s (%.0f MB)\n", qPrintable(QFileInfo(path).fileName()), QFileInfo(path).size() / 1048576.0);
    printf("  read and parse %.2f s, first painted rows %.2f s after the load started (longest main-thread gap %.2f ms)\n",
           m.hasMatch() ? m.captured(1).toDouble() / 1000 : -1.0, firstRows, gap);
    window->close();
    return verdict("the window painted its rows", firstRows >= 0);
}

QString load_average() {
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2) : QString();
}

} // namespace

int main(int argc, char **argv) {
    QString data = QStringLiteral(ORVEL_BENCH_DATA);
    qint64 loadMb = 1024;
    bool load = true;
    for (int i = 1; i < argc; i++) {
        const QByteArray arg(argv[i]);
        if (arg == "--data" && i + 1 < argc)
            data = QString::fromLocal8Bit(argv[++i]);
        else if (arg == "--load-mb" && i + 1 < argc)
            loadMb = QByteArray(argv[++i]).toLongLong();
        else if (arg == "--no-load")
            load = false;
        else {
            fprintf(stderr, "usage: %s [--data DIR] [--load-mb N] [--no-load]\n", PROGRAM);
            return 2;
        }
    }
    const QString home = QStringLiteral(ORVEL_STALL_DATA);
    benchEnvironment(home);
    OVApplication app(argc, argv);
    bench::print_banner("app_list_bench: painting and scrolling the document list");
    printf("load average at the start: %s\n", qPrintable(load_average()));
    const std::string big = bench::ensure_generated(data.toStdString(), PROGRAM);
    const QString records = load ? records_json(home, loadMb) : QString();
    if (big.empty() || (load && records.isEmpty())) return 1;

    OVAppDelegate delegate;
    delegate.applicationWillFinishLaunching();
    ov_options().memoryOverride = UINT64_MAX / 4; // measure the work, not the question
    JxSettings &values = OVSettings::shared()->values();
    values.win_x = 0, values.win_y = 0, values.win_w = OVDocWindow::WIDTH, values.win_h = OVDocWindow::HEIGHT;

    bool ok = true;
    OVDocWindow *window = open_and_wait(delegate, QString::fromStdString(big));
    if (!window) {
        fprintf(stderr, "%s: %s did not load\n", PROGRAM, big.c_str());
        return 1;
    }
    const double expand = elapsed_ms([&] { jx_view_command(window->view(), JX_CMD_EXPAND_ALL); });
    window->list()->reloadRows();
    printf("\n%s: %u nodes, expand all %.0f ms, %u rows\n", big.c_str(), jx_doc_count(window->document()), expand,
           jx_view_count(window->view()));
    ok &= paint_ratio(window->view(), window->list()->visibleWidth());
    ok &= scrolling(window);
    ok &= deep(window->list()->visibleWidth());
    window->close();
    if (load) ok &= first_rows(delegate, records);
    printf("\nload average at the end: %s\n", qPrintable(load_average()));
    printf("%s\n", ok ? "all within their limits" : "SOME OVER THEIR LIMITS");
    return ok ? 0 : 1;
}
