#include "watch.h"

#include "log.h"

#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>

#include <climits>
#include <cstdlib>
#include <sys/stat.h>

// The folder with symbolic links resolved, so that it compares with the paths events carry; the
// folder as given when that fails.
static QString real_folder(const QString &folder) {
    char resolved[PATH_MAX];
    if (!realpath(QFile::encodeName(folder).constData(), resolved)) return folder;
    return QFile::decodeName(resolved);
}

OVWatch::OVWatch(const QString &path, std::function<void(Change)> onChange, QObject *parent)
    : QObject(parent), m_watcher(new QFileSystemWatcher(this)), m_onChange(std::move(onChange)), m_path(path) {
    const QFileInfo info(path);
    m_dir = real_folder(info.path());
    m_name = info.fileName();
    m_last = statusNow();
    m_coalesce.setSingleShot(true);
    m_coalesce.setTimerType(Qt::PreciseTimer);
    m_coalesce.setInterval(COALESCE_MS);
    connect(&m_coalesce, &QTimer::timeout, this, &OVWatch::fire);
    // Folder events come for any entry and name none, so every one is a candidate; the status
    // comparison tells the file's own changes from its neighbours'.
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] { eventArrived(); });
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this](const QString &changed) {
        if (matches(changed)) eventArrived();
    });
    if (!m_watcher->addPath(m_dir)) ov_log("watch: cannot watch %s", qUtf8Printable(m_dir));
    rewatchFile();
}

OVWatch::~OVWatch() { stop(); }

bool OVWatch::matches(const QString &path) const {
    const QFileInfo info(path);
    if (info.fileName().compare(m_name, Qt::CaseInsensitive) != 0) return false;
    const QString folder = info.path();
    return folder.compare(m_dir, Qt::CaseInsensitive) == 0 ||
           real_folder(folder).compare(m_dir, Qt::CaseInsensitive) == 0;
}

OVWatch::Status OVWatch::statusNow() const {
    struct stat st;
    if (stat(QFile::encodeName(m_path).constData(), &st) != 0) return Status{};
    return Status{true, uint64_t(st.st_nlink), uint64_t(st.st_dev), uint64_t(st.st_ino), uint64_t(st.st_size),
                  int64_t(st.st_mtim.tv_sec), int64_t(st.st_mtim.tv_nsec)};
}

// The file's own watch follows an inode: an atomic save replaces it and a deletion drops it, so it
// is set up again on the current file after every event (and fails quietly while there is none).
void OVWatch::rewatchFile() {
    if (m_watcher->files().contains(m_path)) m_watcher->removePath(m_path);
    if (QFileInfo::exists(m_path)) m_watcher->addPath(m_path);
}

// Events within 50 ms of the first one make one batch, as a stream with that latency delivers them.
void OVWatch::eventArrived() {
    if (m_stopped) return;
    rewatchFile();
    if (!m_coalesce.isActive()) m_coalesce.start();
}

void OVWatch::fire() {
    if (m_stopped) return;
    const uint64_t gen = ++m_gen;
    QTimer::singleShot(DEBOUNCE_MS, Qt::PreciseTimer, this, [this, gen] { compare(gen); });
}

void OVWatch::compare(uint64_t gen) {
    if (m_stopped || gen != m_gen) return;
    const Status now = statusNow();
    if (now == m_last) return;
    const Change change = !now.exists ? Missing : !m_last.exists ? Back : Changed;
    m_last = now;
    if (m_onChange) m_onChange(change);
}

void OVWatch::resync() {
    m_gen++;
    m_last = statusNow();
}

void OVWatch::stop() {
    if (m_stopped) return;
    m_stopped = true;
    m_coalesce.stop();
    const QStringList watched = m_watcher->files() + m_watcher->directories();
    if (!watched.isEmpty()) m_watcher->removePaths(watched);
}
