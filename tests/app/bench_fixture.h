// Helpers for the shell's hand-run benchmarks: a large generated file, and the main thread's
// longest stall while the event loop runs.
#ifndef OV_BENCH_FIXTURE_H
#define OV_BENCH_FIXTURE_H

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

// Records of eight values each ("id", "name", "ok", "tags" and its two words, "score", and the
// record), the same bytes on every run.
inline bool write_records_json(const QString &path, qint64 size) {
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

inline double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Runs the event loop until done() holds, with a 1 ms timer noting the longest gap between two
// of its ticks: the longest the main thread was busy with something else. *cpu gets the main
// thread's own processor time within that gap: near 0 means the thread was not running (the
// system gave the processor to others), near the gap means it was working.
template <class Done> double longestGap(Done done, double *seconds, double *at, double *cpu) {
    QEventLoop loop;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QElapsedTimer total, since;
    double worst = 0, cpuSince = threadCpuMs();
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double gap = since.nsecsElapsed() / 1e6, cpuNow = threadCpuMs();
        if (gap > worst) {
            worst = gap;
            *at = total.elapsed() / 1000.0;
            *cpu = cpuNow - cpuSince;
        }
        cpuSince = cpuNow;
        since.restart();
        if (done()) loop.quit();
    });
    total.start();
    since.start();
    tick.start();
    loop.exec();
    *seconds = total.elapsed() / 1000.0;
    return worst;
}

// Headless, and never the user's settings or log: those live under home.
inline void bench_environment(const QString &home) {
    QDir().mkpath(home + QStringLiteral("/state"));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/config")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home + QStringLiteral("/state")));
}

// The records file of megabytes MB in folder, generated on first use and kept; empty when it
// cannot be written.
inline QString records_json(const QString &folder, qint64 megabytes) {
    const QString path = folder + QStringLiteral("/records-%1mb.json").arg(megabytes);
    if (QFile::exists(path)) return path;
    fprintf(stderr, "generating %s\n", qPrintable(path));
    return write_records_json(path, megabytes << 20) ? path : QString();
}

#endif
