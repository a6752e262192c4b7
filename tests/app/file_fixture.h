// Helpers for tests that read real files: writing them, large generated JSON, and reading
// without root's right to read everything.
#ifndef OV_FILE_FIXTURE_H
#define OV_FILE_FIXTURE_H

#include <QByteArray>
#include <QFile>
#include <QString>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

inline bool write_file(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::Truncate) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | mode) && f.write(bytes) == bytes.size();
}

// A JSON array of short strings at path, about size bytes: several reading chunks and a parse
// that takes a while. False when it cannot be written.
inline bool write_big_json(const QString &path, qint64 size) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    QByteArray block;
    while (block.size() < (1 << 20)) block += "\"abcdefghijklmn\",";
    f.write("[");
    for (qint64 written = 1; written + block.size() + 3 < size;) written += f.write(block);
    return f.write("0]") == 2;
}

// Root reads any file whatever its mode; without these two capabilities the calling thread
// cannot. Capabilities belong to a thread and the threads it starts inherit them.
inline bool drop_file_capabilities() {
    __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &head, data) != 0) return false;
    for (int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) data[cap / 32].effective &= ~(1u << (cap % 32));
    return syscall(SYS_capset, &head, data) == 0;
}

#endif
