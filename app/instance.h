// instance.h: one running Orvel per user and display.
//
// A file opened from a file manager while Orvel runs must reach the running process, so the
// first process listens on a local socket in the user's runtime folder and every later one
// hands it its files and exits. Main thread only.
#ifndef OV_INSTANCE_H
#define OV_INSTANCE_H

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

class OVInstance : public QObject {
    Q_OBJECT
public:
    enum Role {
        ALONE,     // script mode: neither listens nor forwards
        PRIMARY,   // listens; later processes forward to this one
        FORWARDED, // another process runs and took the paths: exit now
    };

    explicit OVInstance(QObject *parent = nullptr);
    ~OVInstance() override;

    // The socket's path: $XDG_RUNTIME_DIR (Qt's runtime location) and the display's name.
    static QString socketPath();

    // Hands paths (absolute) to a running process when there is one, else starts listening.
    // Script mode never does either. An empty list asks the running process to come forward.
    Role start(const QStringList &paths);

signals:
    // Paths another process was started with; empty when it named none.
    void openRequested(const QStringList &paths);

private:
    bool forward(const QString &name, const QStringList &paths);
    bool listen(const QString &name);
    void accept();
    void read(QLocalSocket *socket);

    QLocalServer *server = nullptr;
};

#endif
