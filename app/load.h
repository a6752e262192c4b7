// load.h: reading and parsing a document's file on a worker.
#ifndef OV_LOAD_H
#define OV_LOAD_H

#include <QString>

#include <cstdint>

class OVJob;
struct JxDoc;
struct JxView;

// What a load gives the window: the document and the view over it (both built on the worker), or
// the reason there is none. Move-only; whatever it still holds is freed when it goes.
struct OVLoaded {
    // What the path was when it was refused for not being a regular file.
    enum Kind : uint32_t { File = 0, Directory, Fifo, CharDevice, BlockDevice, Socket, Other };

    JxDoc *doc = nullptr;
    JxView *view = nullptr; // null with a document only when memory ran out
    uint32_t status = 0;    // JX_OK, JX_CANCELLED, JX_NO_MEMORY or JX_TOO_BIG
    uint32_t error = 0;     // the system error number; 0 for none
    uint64_t size = 0;      // the file's size when it was opened
    uint64_t dev = 0;       // the identity of the file that was opened (0 when none was)
    uint64_t ino = 0;
    uint32_t ms = 0;        // time to read and parse
    uint32_t kind = File;

    OVLoaded() = default;
    OVLoaded(OVLoaded &&other) noexcept;
    OVLoaded &operator=(OVLoaded &&other) noexcept;
    ~OVLoaded();
    // Hand the document or the view over to the caller (who then releases or frees it).
    JxDoc *takeDoc();
    JxView *takeView();
};

// Worker. Reads the file at path in chunks of 16 MiB (progress 0 to 0.2), parses it (0.2 to 1),
// then (with buildView) builds the view with its default expansion, all on the calling thread;
// progress goes to the job's owner through job.postProgress. A reload passes false: it makes its
// view by restoring the old one's state instead. Paths that are not regular files are refused before they
// are opened for reading (a named pipe would block, a device could be endless). A file that
// shrinks while it is read fails with EIO; one that grows is read up to the size it had.
OVLoaded ov_load(const QString &path, OVJob &job, bool buildView = true);

// Worker. Reads up to size bytes of fd into buf (never more, even when the file has grown), in
// chunks of 16 MiB; checks the job's cancel flag before each chunk and posts the read's share of
// the progress after it. Returns the bytes read; *error gets the read error (0 for none).
uint64_t ov_read_fd(int fd, char *buf, uint64_t size, OVJob &job, int *error);

// Tests: sleep this long after each chunk read, so that a load lasts long enough to be watched on
// a machine of any speed. 0 (the default) never sleeps.
void ov_load_set_chunk_pause(int ms);

// Whether the path names a records file (".jsonl" or ".ndjson", in any case).
bool ov_records_name(const QString &path);

// The parser's progress callback (ctx is the OVJob): posts 0.2 + 0.8 × done / total.
void ov_parse_progress(void *job, uint64_t done, uint64_t total);

// Main thread. What the window tells the user when a load gave no document or no view (empty when
// it gave both); name is the file's last path component. forScript gives the script runner's note, which
// does not depend on the system's error texts.
QString ov_load_message(const OVLoaded &loaded, const QString &name, bool forScript = false);

#endif
