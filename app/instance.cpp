#include "instance.h"

#include "options.h"

#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

namespace {
constexpr quint32 MAGIC = 0x4f56310a; // "OV1\n": the message format, in case it ever changes
constexpr int CONNECT_MS = 1000;
constexpr int ACK_MS = 5000;
constexpr int LOCK_MS = 5000;
constexpr qint64 MAX_MESSAGE = 1 << 20; // a message from a confused peer must not eat memory
constexpr char ACK = 1;
} // namespace

OVInstance::OVInstance(QObject *parent) : QObject(parent) {}

OVInstance::~OVInstance() {
    if (server)
        server->close(); // removes the socket file, so the next start need not find it stale
}

QString OVInstance::socketPath() {
    QByteArray display = qgetenv("WAYLAND_DISPLAY");
    if (display.isEmpty())
        display = qgetenv("DISPLAY");
    if (display.isEmpty())
        display = "none";
    for (char &c : display)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'))
            c = '_';
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir(dir).filePath(QStringLiteral("orvel-") + QString::fromLatin1(display) + QStringLiteral(".sock"));
}

OVInstance::Role OVInstance::start(const QStringList &paths) {
    if (ov_test_mode())
        return ALONE;
    const QString name = socketPath();
    // Two processes started at once must not both find no server and both listen.
    QLockFile lock(name + QStringLiteral(".lock"));
    lock.tryLock(LOCK_MS);
    if (forward(name, paths))
        return FORWARDED;
    // Without a socket this process still runs, as one of several.
    return listen(name) ? PRIMARY : ALONE;
}

bool OVInstance::forward(const QString &name, const QStringList &paths) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(CONNECT_MS))
        return false;
    QByteArray message;
    QDataStream out(&message, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << MAGIC << paths;
    socket.write(message);
    // Only the server's answer proves the paths arrived; without it this process opens them.
    while (socket.bytesAvailable() < 1)
        if (!socket.waitForReadyRead(ACK_MS))
            return false;
    char ack = 0;
    return socket.getChar(&ack) && ack == ACK;
}

bool OVInstance::listen(const QString &name) {
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server, &QLocalServer::newConnection, this, &OVInstance::accept);
    if (server->listen(name))
        return true;
    // No server answered above, so a socket file left there is from a process that died.
    QLocalServer::removeServer(name);
    if (server->listen(name))
        return true;
    delete server;
    server = nullptr;
    return false;
}

void OVInstance::accept() {
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        read(socket);
    }
}

void OVInstance::read(QLocalSocket *socket) {
    if (socket->bytesAvailable() > MAX_MESSAGE) {
        socket->abort();
        return;
    }
    QDataStream in(socket);
    in.setVersion(QDataStream::Qt_6_0);
    in.startTransaction();
    quint32 magic = 0;
    QStringList paths;
    in >> magic >> paths;
    if (!in.commitTransaction())
        return; // more to come
    if (magic != MAGIC) {
        socket->abort();
        return;
    }
    QStringList files;
    for (const QString &path : paths)
        if (QDir::isAbsolutePath(path))
            files.append(QDir::cleanPath(path));
    socket->write(&ACK, 1);
    socket->flush();
    emit openRequested(files);
}
