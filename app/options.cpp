#include "options.h"

#include <QDir>

#include <chrono>

OVOptions &ov_options() {
    static OVOptions options;
    return options;
}

bool ov_test_mode() { return !ov_options().scriptPath.isEmpty(); }

double ov_uptime() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

QString ov_xdg_dir(const char *variable, const char *homeFallback) {
    // The XDG rules ignore a relative value: it would depend on the working directory.
    QString dir = qEnvironmentVariable(variable);
    if (!dir.isEmpty() && QDir::isAbsolutePath(dir)) return QDir::cleanPath(dir);
    return QDir::homePath() + u'/' + QString::fromUtf8(homeFallback);
}
