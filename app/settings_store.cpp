#include "settings_store.h"

#include "job.h"
#include "log.h"
#include "options.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QSessionManager>

#include <atomic>
#include <mutex>
#include <string>

// Shared with the workers that write the file: one write at a time, and a write that a newer save
// has overtaken is skipped, since that one writes what is newer.
struct OVSettings::Writer {
    std::mutex lock;
    std::atomic<uint64_t> latest{0};
    // False when the file could not be written.
    bool write(const QString &file, const std::string &text, uint64_t generation);
};

// QSaveFile writes beside the file and renames over it: a crash or a full disk never leaves a
// half-written settings file behind. Its commit waits for the disk, which can take seconds while
// the disk is busy: the delayed saves run on a worker.
bool OVSettings::Writer::write(const QString &file, const std::string &text, uint64_t generation) {
    const std::lock_guard<std::mutex> hold(lock);
    if (generation < latest.load()) return true;
    if (!QDir().mkpath(QFileInfo(file).absolutePath())) return false;
    QSaveFile out(file);
    return out.open(QIODevice::WriteOnly) && out.write(text.data(), qint64(text.size())) == qint64(text.size()) &&
           out.commit();
}

OVSettings *OVSettings::shared() {
    // Lives as long as the process: its last save runs from aboutToQuit.
    static OVSettings *store = new OVSettings(defaultPath());
    return store;
}

QString OVSettings::defaultPath() {
    const QString &given = ov_options().settingsPath;
    if (!given.isEmpty()) return given;
#ifdef Q_OS_MACOS
    return QDir::homePath() + QStringLiteral("/Library/Application Support/Orvel/settings.txt");
#else
    return ov_xdg_dir("XDG_CONFIG_HOME", ".config") + QStringLiteral("/orvel/settings.txt");
#endif
}

OVSettings::OVSettings(const QString &path, QObject *parent)
    : QObject(parent), file(path), writer(std::make_shared<Writer>()) {
    jx_settings_default(&record);
    // One restartable timer: every change pushes the save back, so a burst is written once.
    delay.setSingleShot(true);
    delay.setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5% (50 ms) early
    delay.setInterval(SAVE_DELAY_MS);
    connect(&delay, &QTimer::timeout, this, [this] { saveLater(); });
    if (auto *app = QCoreApplication::instance())
        connect(app, &QCoreApplication::aboutToQuit, this, [this] { saveNow(); });
#ifndef QT_NO_SESSIONMANAGER
    if (auto *gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        connect(gui, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &) { saveNow(); });
#endif
}

OVSettings::~OVSettings() = default;

void OVSettings::load() {
    QByteArray data;
    QFile in(file);
    if (in.open(QIODevice::ReadOnly)) {
        data = in.readAll();
        if (in.error() != QFileDevice::NoError) data.clear(); // a part of a file is no better than none
    }
    jx_settings_default(&record);
    if (!data.isEmpty()) jx_settings_parse(&record, data.constData(), size_t(data.size()));
    dirty = false;
    delay.stop();
    ov_log("settings %s (%lu bytes)", qUtf8Printable(file), static_cast<unsigned long>(data.size()));
}

void OVSettings::changed() {
    dirty = true;
    ++changes;
    delay.start();
}

std::string OVSettings::text() const {
    std::string out(jx_settings_format(&record, nullptr, 0), '\0');
    jx_settings_format(&record, out.data(), out.size() + 1);
    return out;
}

bool OVSettings::saveNow() {
    delay.stop();
    if (!dirty) return true;
    const uint64_t generation = ++generations, seen = changes;
    writer->latest = generation;
    const bool ok = writer->write(file, text(), generation);
    finish(generation, seen, ok);
    return ok;
}

void OVSettings::saveLater() {
    if (!dirty) return;
    const uint64_t generation = ++generations, seen = changes;
    writer->latest = generation;
    auto job = OVJob::create(this);
    OVJob::start<bool>(
        job, [writer = writer, file = file, text = text(), generation](OVJob &) { return writer->write(file, text, generation); },
        [this, generation, seen](OVJob &, bool &ok) { finish(generation, seen, ok); });
}

// A save's outcome, unless a newer save has overtaken it. Changes made while it was written keep
// the store dirty.
void OVSettings::finish(uint64_t generation, uint64_t seen, bool ok) {
    if (generation != generations) return;
    if (!ok)
        ov_log("settings: could not write %s", qUtf8Printable(file));
    else if (changes == seen)
        dirty = false;
    emit saved(ok);
}
