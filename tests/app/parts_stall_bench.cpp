// How long the main thread goes without turning its event loop while a search with live updates
// runs over the 512 MB benchmark file, and while a 1 GB value is copied to the clipboard; checks
// that the clipboard then holds what `orvel-cli json FILE PATH` writes. Run by hand:
//   build/release/tests/app/app_parts_stall_bench [mixed.json] [query]
// The 1 GB file (one object holding one string) is generated under the build folder on first use.
#include "copier.h"
#include "pasteboard.h"
#include "search_runner.h"
#include "stall_fixture.h"
#include "text.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <jx/keys.h>
#include <jx/parse.h>
#include <jx/view.h>

namespace {

constexpr qint64 VALUE_SIZE = qint64(1) << 30;
constexpr uint32_t SHOWN_ROWS = 60; // what a refresh draws of the list, about a window's worth

// {"big": "..."} with a string of about VALUE_SIZE bytes: plain text with escapes and characters
// beyond ASCII, so that the copy decodes nothing but checks everything.
bool generateValue(const QString &path) {
    QFile out(path + QStringLiteral(".part"));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    std::string block;
    for (int i = 0; block.size() < (1u << 20); i++)
        block += "lattice " + std::to_string(i) + " caf\xC3\xA9 \\n \\u00e9t\\u00e9 \\\"q\\\" \xE6\x9D\xB1\xE4\xBA\xAC ";
    out.write("{\"big\": \"");
    for (qint64 written = 0; written < VALUE_SIZE; written += qint64(block.size()))
        if (out.write(block.data(), qint64(block.size())) != qint64(block.size())) return false;
    out.write("\"}\n");
    out.close();
    return QFile::rename(out.fileName(), path);
}

// The file's view with the root selected, parsed on this thread before anything is measured.
JxView *loadView(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return nullptr;
    const qint64 size = file.size();
    char *buf = jx_buf_alloc(size_t(size));
    if (!buf || file.read(buf, size) != size) {
        jx_buf_free(buf);
        return nullptr;
    }
    JxDoc *doc = jx_parse(buf, size_t(size), nullptr, nullptr, nullptr);
    JxView *view = jx_view_new(doc);
    jx_doc_release(doc);
    return view;
}

void report(const char *what, double gap, double seconds, double at, double cpu) {
    printf("%-7s %6.2f s, longest main-thread gap %7.2f ms at %.2f s (main thread ran %.2f ms of it)\n", what, seconds,
           gap, at, cpu);
}

double loadAverage() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

} // namespace

int main(int argc, char **argv) {
    const QString home = QStringLiteral(ORVEL_STALL_DATA);
    benchEnvironment(home);
    QApplication app(argc, argv);
    const QString mixed = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(ORVEL_MIXED_DATA);
    const QString query = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("lattice");
    printf("load average %.2f at the start\n", loadAverage());
    double seconds = 0, at = 0, cpu = 0, worst = 0;

    // The search: the refresh after each batch of hits draws a window's worth of rows.
    if (JxView *view = loadView(mixed)) {
        printf("search: %s, %u nodes, query \"%s\"\n", qPrintable(QFileInfo(mixed).fileName()),
               jx_doc_count(jx_view_doc(view)), qPrintable(query));
        OVSearchRunner runner;
        runner.setView(view);
        int refreshes = 0;
        JxLine line;
        jx_line_init(&line);
        runner.changed = [&] {
            refreshes++;
            char label[256];
            jx_view_search_label(view, label, sizeof label);
            const uint32_t top = jx_view_selected(view);
            for (uint32_t row = 0; row < SHOWN_ROWS; row++) jx_view_line(view, top + row, 160, &line);
        };
        runner.startSearch(query, {});
        const double gap = longestGap([&] { return runner.idle(); }, &seconds, &at, &cpu);
        char label[256];
        jx_view_search_label(view, label, sizeof label);
        report("search:", gap, seconds, at, cpu);
        printf("        %s, %d refreshes\n", label, refreshes);
        worst = std::max(worst, gap);
        jx_line_free(&line);
        runner.retireView(ov_hold_view(view));
        QCoreApplication::processEvents();
    } else {
        fprintf(stderr, "app_parts_stall_bench: cannot read %s\n", qPrintable(mixed));
    }

    // The copy: from the answer to the question until the clipboard holds the text.
    const QString valuePath = home + QStringLiteral("/value-1gb.json");
    if (!QFile::exists(valuePath)) {
        fprintf(stderr, "generating %s\n", qPrintable(valuePath));
        if (!generateValue(valuePath)) {
            fprintf(stderr, "app_parts_stall_bench: cannot write %s\n", qPrintable(valuePath));
            return 1;
        }
    }
    JxView *view = loadView(valuePath);
    char err[256];
    if (!view || !jx_view_goto(view, "$.big", 5, err, sizeof err)) {
        fprintf(stderr, "app_parts_stall_bench: cannot read %s\n", qPrintable(valuePath));
        return 1;
    }
    // The worker measures the value and comes back with the question; the answer starts the copy.
    OVCopier copier;
    copier.setView(view);
    QString asked;
    std::function<void(int)> answer;
    copier.alert = [&](const QString &message, const QStringList &, std::function<void(int)> then) {
        asked = message;
        answer = std::move(then);
    };
    copier.copy(JX_CMD_COPY_JSON, 0);
    double gap = longestGap([&] { return bool(answer); }, &seconds, &at, &cpu);
    report("ask:", gap, seconds, at, cpu);
    printf("        \"%s\"\n", qPrintable(asked));
    worst = std::max(worst, gap);
    if (!answer) return 1;
    answer(0);
    gap = longestGap([&] { return !copier.busy(); }, &seconds, &at, &cpu);
    report("copy:", gap, seconds, at, cpu);
    worst = std::max(worst, gap);

    const QByteArray copied = ov_pasteboard()->text().toUtf8();
    QProcess cli;
    cli.start(QStringLiteral(ORVEL_CLI), {QStringLiteral("json"), valuePath, QStringLiteral("$.big")});
    cli.waitForFinished(-1);
    QByteArray written = cli.readAllStandardOutput();
    if (written.endsWith('\n') && !copied.endsWith('\n')) written.chop(1);
    const QByteArray mine = QCryptographicHash::hash(copied, QCryptographicHash::Sha256).toHex().left(16);
    const QByteArray theirs = QCryptographicHash::hash(written, QCryptographicHash::Sha256).toHex().left(16);
    printf("clipboard %lld bytes sha256 %s; orvel-cli json %lld bytes sha256 %s: %s\n", qlonglong(copied.size()),
           mine.constData(), qlonglong(written.size()), theirs.constData(), copied == written ? "same" : "DIFFERENT");
    copier.retireView(ov_hold_view(view));
    QCoreApplication::processEvents();
    printf("load average %.2f at the end\n", loadAverage());
    printf("%s: longest gap %.2f ms (target 16 ms)\n", worst <= 16 ? "ok" : "over", worst);
    return copied == written && !asked.isEmpty() ? 0 : 1;
}
