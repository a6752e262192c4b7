// Measuring how long the main thread goes without turning its event loop, for the hand-run stall
// benchmarks.
#ifndef OV_STALL_FIXTURE_H
#define OV_STALL_FIXTURE_H

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <ctime>

// Before the application object: headless, and never the user's settings or log (they go under
// home, the benchmarks' folder in the build tree).
inline void benchEnvironment(const QString &home) {
    QDir().mkpath(home + QStringLiteral("/state"));
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/config")));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home + QStringLiteral("/state")));
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

#endif
