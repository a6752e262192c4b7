#include "settings_store.h"

#include "log.h"
#include "options.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QSessionManager>

#include <vector>

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

OVSettings::OVSettings(const QString &path, QObject *parent) : QObject(parent), file(path) {
    jx_settings_default(&record);
    // One restartable timer: every change pushes the save back, so a burst is written once.
    delay.setSingleShot(true);
    delay.setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5% (50 ms) early
    delay.setInterval(SAVE_DELAY_MS);
    connect(&delay, &QTimer::timeout, this, [this] { saveNow(); });
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
    delay.start();
}

bool OVSettings::saveNow() {
    delay.stop();
    if (!dirty) return true;
    size_t length = jx_settings_format(&record, nullptr, 0);
    std::vector<char> text(length + 1);
    jx_settings_format(&record, text.data(), text.size());
    // QSaveFile writes beside the file and renames over it: a crash or a full disk never leaves a
    // half-written settings file behind.
    bool ok = QDir().mkpath(QFileInfo(file).absolutePath());
    if (ok) {
        QSaveFile out(file);
        ok = out.open(QIODevice::WriteOnly) && out.write(text.data(), qint64(length)) == qint64(length) && out.commit();
    }
    if (!ok) {
        ov_log("settings: could not write %s", qUtf8Printable(file));
    } else {
        dirty = false;
    }
    emit saved(ok);
    return ok;
}
