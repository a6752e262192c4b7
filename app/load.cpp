#include "load.h"

#include "job.h"
#include "text.h"

#include <jx/parse.h>
#include <jx/status.h>
#include <jx/view.h>

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

static constexpr uint64_t CHUNK = 0x1000000;
static constexpr double READ_SHARE = 0.2;

OVLoaded::OVLoaded(OVLoaded &&other) noexcept
    : doc(std::exchange(other.doc, nullptr)), view(std::exchange(other.view, nullptr)), status(other.status),
      error(other.error), size(other.size), dev(other.dev), ino(other.ino), ms(other.ms), kind(other.kind) {}

OVLoaded &OVLoaded::operator=(OVLoaded &&other) noexcept {
    if (this != &other) {
        jx_view_free(view);
        jx_doc_release(doc);
        doc = std::exchange(other.doc, nullptr);
        view = std::exchange(other.view, nullptr);
        status = other.status;
        error = other.error;
        size = other.size;
        dev = other.dev;
        ino = other.ino;
        ms = other.ms;
        kind = other.kind;
    }
    return *this;
}

OVLoaded::~OVLoaded() {
    jx_view_free(view);
    jx_doc_release(doc);
}

JxDoc *OVLoaded::takeDoc() { return std::exchange(doc, nullptr); }

JxView *OVLoaded::takeView() { return std::exchange(view, nullptr); }

bool ov_records_name(const QString &path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    return ext == QLatin1String("jsonl") || ext == QLatin1String("ndjson");
}

void ov_parse_progress(void *job, uint64_t done, uint64_t total) {
    const double parsed = total ? double(std::min(done, total)) / double(total) : 1.0;
    static_cast<OVJob *>(job)->postProgress(READ_SHARE + (1.0 - READ_SHARE) * parsed);
}

static std::atomic<int> chunk_pause_ms{0};

void ov_load_set_chunk_pause(int ms) { chunk_pause_ms.store(ms, std::memory_order_relaxed); }

// Fresh memory is zeroed by the kernel on first touch, which on a large file costs about as much as
// copying the text into it. A helper touches the buffer ahead of the reads so that the zeroing runs on
// another core; whichever touches a page first takes its fault, so the reader never waits for it.
class Prefaulter {
public:
    Prefaulter(char *buf, uint64_t size) {
#ifdef MADV_POPULATE_WRITE
        if (size >= MIN_SIZE) m_thread = std::thread([this, buf, size] { run(buf, size); });
#else
        (void)buf;
        (void)size;
#endif
    }
    ~Prefaulter() {
        m_stop.store(true, std::memory_order_relaxed);
        if (m_thread.joinable()) m_thread.join();
    }

private:
    static constexpr uint64_t MIN_SIZE = 64u << 20;
    // A huge page a step: at the idle class on a busy machine the helper may wait long for each one,
    // and the reader's end waits for the step under way.
    static constexpr uint64_t STEP = 2u << 20;

#ifdef MADV_POPULATE_WRITE
    void run(char *buf, uint64_t size) {
        // Only spare processor time: with the reader busy on one core, the window must keep the other.
        const sched_param idle{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &idle);
        const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
        // Whole pages inside the buffer only: the advice must not reach memory other allocations share.
        const uintptr_t first = (uintptr_t(buf) + page - 1) & ~(page - 1), last = (uintptr_t(buf) + size) & ~(page - 1);
        for (uintptr_t a = first; a < last && !m_stop.load(std::memory_order_relaxed); a += STEP)
            madvise(reinterpret_cast<void *>(a), size_t(std::min<uintptr_t>(STEP, last - a)), MADV_POPULATE_WRITE);
    }
#endif

    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

uint64_t ov_read_fd(int fd, char *buf, uint64_t size, OVJob &job, int *error) {
    *error = 0;
    uint64_t got = 0;
    const Prefaulter prefaulter(buf, size);
    while (got < size && !job.cancelled()) {
        const ssize_t n = read(fd, buf + got, size_t(std::min(CHUNK, size - got)));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *error = errno;
            break;
        }
        if (n == 0) break;
        got += uint64_t(n);
        job.postProgress(READ_SHARE * (double(got) / double(size)));
        if (const int pause = chunk_pause_ms.load(std::memory_order_relaxed))
            std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
    return got;
}

static uint32_t kind_of(mode_t mode) {
    switch (mode & S_IFMT) {
    case S_IFREG: return OVLoaded::File;
    case S_IFDIR: return OVLoaded::Directory;
    case S_IFIFO: return OVLoaded::Fifo;
    case S_IFCHR: return OVLoaded::CharDevice;
    case S_IFBLK: return OVLoaded::BlockDevice;
    case S_IFSOCK: return OVLoaded::Socket;
    default: return OVLoaded::Other;
    }
}

// Refuses what is not a regular file; a folder keeps the system's own error for it.
static bool refuse_kind(const struct stat &st, OVLoaded &r) {
    r.kind = kind_of(st.st_mode);
    if (r.kind == OVLoaded::File) return false;
    r.error = r.kind == OVLoaded::Directory ? EISDIR : 0;
    return true;
}

// Opens path for reading only when it is a regular file. The type is checked before the open (a
// named pipe would block it, opening some devices has effects) and again on the open descriptor,
// which is opened without blocking in case the path was replaced in between. Returns -1 with r
// filled when the file cannot be read.
static int open_regular(const QByteArray &path, OVLoaded &r) {
    struct stat st;
    if (stat(path.constData(), &st) != 0) {
        r.error = uint32_t(errno);
        return -1;
    }
    if (refuse_kind(st, r)) return -1;
    const int fd = open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        r.error = uint32_t(errno);
        return -1;
    }
    if (fstat(fd, &st) != 0) r.error = uint32_t(errno);
    if (r.error || refuse_kind(st, r)) {
        close(fd);
        return -1;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    r.size = uint64_t(st.st_size);
    r.dev = uint64_t(st.st_dev);
    r.ino = uint64_t(st.st_ino);
    return fd;
}

static uint32_t ms_since(std::chrono::steady_clock::time_point start) {
    return uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

OVLoaded ov_load(const QString &path, OVJob &job, bool buildView) {
    OVLoaded r;
    const auto start = std::chrono::steady_clock::now();
    const int fd = open_regular(QFile::encodeName(path), r);
    if (fd < 0) return r;
    if (r.size > JX_MAX_SIZE) {
        close(fd);
        r.status = JX_TOO_BIG;
        return r;
    }
    char *buf = jx_buf_alloc(size_t(r.size));
    if (!buf) {
        close(fd);
        r.status = JX_NO_MEMORY;
        return r;
    }
    int readError = 0;
    const uint64_t got = ov_read_fd(fd, buf, r.size, job, &readError);
    close(fd);
    if (job.cancelled()) {
        jx_buf_free(buf);
        r.status = JX_CANCELLED;
        return r;
    }
    if (got < r.size) {
        jx_buf_free(buf);
        r.error = uint32_t(readError ? readError : EIO);
        return r;
    }
    const jx_parse_options options{0, uint8_t(ov_records_name(path) ? 1 : 0)};
    const jx_progress progress{ov_parse_progress, &job, job.cancelFlag()};
    int status = JX_OK;
    r.doc = jx_parse(buf, size_t(r.size), &options, &progress, &status);
    r.status = uint32_t(status);
    r.ms = ms_since(start);
    // A cancel that came after the last checkpoint still counts: nobody wants this result.
    if (r.doc && job.cancelled()) {
        jx_doc_release(r.takeDoc());
        r.status = JX_CANCELLED;
    }
    // Built here rather than on the main thread: the default expansion walks the document.
    if (r.doc && buildView) r.view = jx_view_new(r.doc);
    return r;
}

static const char *kind_text(uint32_t kind) {
    switch (kind) {
    case OVLoaded::Fifo: return "is a named pipe";
    case OVLoaded::CharDevice: return "is a character device";
    case OVLoaded::BlockDevice: return "is a block device";
    case OVLoaded::Socket: return "is a socket";
    default: return "is not a regular file";
    }
}

// The system's text for an error number with its first letter lower-cased, to follow a colon.
static QString error_text(uint32_t error) {
    QString text = QString::fromLocal8Bit(std::strerror(int(error ? error : EIO)));
    if (!text.isEmpty()) text[0] = text[0].toLower();
    return text;
}

QString ov_load_message(const OVLoaded &loaded, const QString &name, bool forScript) {
    if (loaded.doc && loaded.view) return QString();
    const QByteArray n = name.toUtf8();
    if (loaded.doc || loaded.status == JX_NO_MEMORY)
        return ov_format("Could not open \"%s\": %s.", n.constData(), "there is not enough memory");
    if (loaded.status == JX_TOO_BIG) {
        char size[48];
        jx_fmt_bytes(loaded.size, size, sizeof size);
        return ov_format("\"%s\" is %s. Orvel opens files up to 4 GB.", n.constData(), size);
    }
    if (forScript) return ov_format("Could not open \"%s\": %s.", n.constData(), "it could not be read");
    const QString reason = loaded.kind != OVLoaded::File && loaded.kind != OVLoaded::Directory
                               ? QString::fromLatin1(kind_text(loaded.kind))
                               : error_text(loaded.error);
    return ov_format("Could not open \"%s\": %s.", n.constData(), reason.toUtf8().constData());
}
