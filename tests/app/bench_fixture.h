// The large generated files of the shell's hand-run benchmarks; the stall meter and the headless
// set-up come with stall_fixture.h.
#ifndef OV_BENCH_FIXTURE_H
#define OV_BENCH_FIXTURE_H

#include "stall_fixture.h"

#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <string>

// Records of eight values each ("id", "name", "ok", "tags" and its two words, "score", and the
// record), the same bytes on every run.
inline bool write_records_json(const QString &path, qint64 size) {
    QFile out(path + QStringLiteral(".part"));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const char *const words[] = {"alpha", "bravo", "delta", "echo", "harbour", "lattice", "meridian", "orbit"};
    std::string chunk = "[";
    qint64 written = 0;
    for (uint64_t id = 0; written + qint64(chunk.size()) < size; id++) {
        if (id) chunk += ',';
        chunk += "{\"id\":" + std::to_string(id) + ",\"name\":\"record-" + std::to_string(id * 7919 % 1000003) +
                 "\",\"ok\":" + (id % 3 ? "true" : "false") + ",\"tags\":[\"" + words[id % 8] + "\",\"" +
                 words[(id / 8) % 8] + "\"],\"score\":" + std::to_string(id % 10000) + "." + std::to_string(id % 100) + "}";
        if (chunk.size() > (1 << 22)) {
            written += out.write(chunk.data(), qint64(chunk.size()));
            chunk.clear();
        }
    }
    chunk += "]";
    out.write(chunk.data(), qint64(chunk.size()));
    out.close();
    return QFile::rename(out.fileName(), path);
}

// The records file of megabytes MB in folder, generated on first use and kept; empty when it
// cannot be written.
inline QString records_json(const QString &folder, qint64 megabytes) {
    const QString path = folder + QStringLiteral("/records-%1mb.json").arg(megabytes);
    if (QFile::exists(path)) return path;
    fprintf(stderr, "generating %s\n", qPrintable(path));
    return write_records_json(path, megabytes << 20) ? path : QString();
}

#endif
