// watch.h: tells a document window when its file changed on disk.
//
// Watches the file's folder and the file itself. Events are gathered for 50 ms, then settle for
// 120 ms after the last batch (a burst of writes reports once); only then is the file's status
// compared with the one last seen (link count, device, inode, size, modification time), so events
// that changed none of them (a chmod, a neighbour's change) report nothing. Main thread only.
#ifndef OV_WATCH_H
#define OV_WATCH_H

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>

class QFileSystemWatcher;

class OVWatch : public QObject {
public:
    static constexpr int COALESCE_MS = 50;
    static constexpr int DEBOUNCE_MS = 120;

    enum Change {
        Changed, // the file is there and differs from when it was last seen
        Missing, // the file was there and is gone (or cannot be examined)
        Back     // the file was missing and is there again
    };

    // Takes the file's status now and starts watching; onChange runs on the main thread.
    OVWatch(const QString &path, std::function<void(Change)> onChange, QObject *parent = nullptr);
    ~OVWatch() override;

    // Whether an event's path is the watched file: same name in the same folder, regardless of case.
    bool matches(const QString &path) const;
    // Starts the debounce: 120 ms after the last fire, the status is compared.
    void fire();
    // Takes the status now as the one last seen and drops a pending comparison (the caller is
    // about to read the file anyway).
    void resync();
    // Stops watching for good.
    void stop();
    bool stopped() const { return m_stopped; }
    QString dir() const { return m_dir; }

private:
    struct Status {
        bool exists = false;
        uint64_t links = 0, dev = 0, ino = 0, size = 0;
        int64_t mtimeSec = 0, mtimeNsec = 0;
        bool operator==(const Status &) const = default;
    };
    Status statusNow() const;
    void eventArrived();
    void rewatchFile();
    void compare(uint64_t gen);

    QFileSystemWatcher *m_watcher;
    QTimer m_coalesce;
    std::function<void(Change)> m_onChange;
    QString m_path;
    QString m_dir;
    QString m_name;
    Status m_last;
    uint64_t m_gen = 0;
    bool m_stopped = false;
};

#endif
