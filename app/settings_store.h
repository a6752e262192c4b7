// settings_store.h: the settings file of the running shell.
//
// Holds the core's JxSettings record, loads it at start-up and writes it back one second after the
// last change, on a worker (and at once when the application quits). Main thread only.
#ifndef OV_SETTINGS_STORE_H
#define OV_SETTINGS_STORE_H

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>

#include <jx/settings.h>

class OVSettings : public QObject {
    Q_OBJECT
public:
    static constexpr int SAVE_DELAY_MS = 1000;

    // The process's store on defaultPath(), created on first use.
    static OVSettings *shared();
    // --settings when given, else $XDG_CONFIG_HOME/orvel/settings.txt (~/.config when unset).
    static QString defaultPath();

    explicit OVSettings(const QString &path, QObject *parent = nullptr);
    ~OVSettings() override;

    // Reads the file; a missing or unreadable one gives the defaults. Never fails.
    void load();
    // The record, read and changed in place; call changed() after changing it.
    JxSettings &values() { return record; }
    // Marks the record dirty and saves it on a worker SAVE_DELAY_MS after the last of a burst of
    // calls; on failure logs and stays dirty, so the next change retries.
    void changed();
    // Writes the file now when dirty, after any write still running; on failure as above.
    bool saveNow();
    bool isDirty() const { return dirty; }
    QString path() const { return file; }

signals:
    // After every save that no newer one overtook, with its outcome.
    void saved(bool ok);

private:
    struct Writer;
    std::string text() const;
    void saveLater();
    void finish(uint64_t generation, uint64_t seen, bool ok);

    QString file;
    JxSettings record;
    bool dirty = false;
    uint64_t changes = 0;     // calls of changed(), to tell whether a save wrote the latest ones
    uint64_t generations = 0; // saves started; only the newest one's outcome counts
    std::shared_ptr<Writer> writer;
    QTimer delay;
};

#endif
