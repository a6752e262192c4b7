#include "log.h"

#include "options.h"
#include "text.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

// Local time as "yyyy-MM-dd HH:mm:ss.SSS", the same whatever the user's locale.
static QByteArray time_stamp() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const time_t seconds = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    tm local{};
    localtime_r(&seconds, &local);
    char buf[40];
    int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900,
                          local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, int(ms));
    return QByteArray(buf, n);
}

static QString default_log_path() {
#ifdef Q_OS_MACOS
    return QDir::homePath() + QStringLiteral("/Library/Logs/Orvel/orvel.log");
#else
    return ov_xdg_dir("XDG_STATE_HOME", ".local/state") + QStringLiteral("/orvel/orvel.log");
#endif
}

QString ov_log_path() {
    const QString &given = ov_options().logPath;
    if (!given.isEmpty()) return given;
    QString env = qEnvironmentVariable("OV_LOG");
    if (!env.isEmpty()) return env;
    return ov_test_mode() ? QString() : default_log_path();
}

// One write on a descriptor opened for appending: lines of concurrent callers never mix.
static void append_line(const QString &path, const QByteArray &line) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const char *p = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        p += n;
        left -= n;
    }
    ::close(fd);
}

void ov_log(const char *format, ...) {
    va_list args;
    va_start(args, format);
    QString message = ov_vformat(format, args);
    va_end(args);
    QByteArray line = time_stamp() + ' ' + message.toUtf8() + '\n';
    QString path = ov_log_path();
    if (!path.isEmpty()) append_line(path, line);
    if (ov_test_mode()) {
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
    }
}
