#include "doc_window.h"

#include "application.h"
#include "log.h"
#include "options.h"
#include "menus.h"
#include "settings_store.h"
#include "text.h"
#include "theme.h"

#include <QAction>
#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <jx/parse.h>
#include <jx/status.h>

namespace {
constexpr size_t CHUNK = 0x1000000; // reads of 16 MiB, so that a cancel is noticed soon
constexpr int STATUS_SIZE = 512;
constexpr int SIZE_TEXT = 48;
constexpr int FLASH_MS = 2000;
} // namespace

struct OVDocWindow::Job {
    uint32_t cancel = 0; // written with atomic stores; the parser reads it atomically
};

static bool cancelled(const uint32_t *cancel) {
    return cancel && std::atomic_ref<const uint32_t>(*cancel).load(std::memory_order_relaxed) != 0;
}

bool ov_records_name(const QString &path) {
    const QString ext = QFileInfo(path).suffix().toLower();
    return ext == QLatin1String("jsonl") || ext == QLatin1String("ndjson");
}

// Reads size bytes of fd into buf; returns the count read and sets *error on a read error.
static size_t readAll(int fd, char *buf, uint64_t size, const uint32_t *cancel, int *error) {
    size_t done = 0;
    while (done < size && !cancelled(cancel)) {
        const size_t want = std::min<uint64_t>(CHUNK, size - done);
        const ssize_t got = read(fd, buf + done, want);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *error = errno;
            break;
        }
        if (got == 0)
            break;
        done += size_t(got);
    }
    return done;
}

OVLoaded ov_load(const QString &path, const uint32_t *cancel) {
    OVLoaded result;
    const double started = ov_uptime();
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.error = errno;
        return result;
    }
    struct stat st;
    const bool statted = fstat(fd, &st) == 0;
    if (!statted || S_ISDIR(st.st_mode)) {
        result.error = statted ? EISDIR : errno;
        close(fd);
        return result;
    }
    result.size = uint64_t(st.st_size);
    if (result.size > JX_MAX_SIZE) {
        result.status = JX_TOO_BIG;
        close(fd);
        return result;
    }
    char *buf = jx_buf_alloc(size_t(result.size));
    if (!buf) {
        result.status = JX_NO_MEMORY;
        close(fd);
        return result;
    }
    int error = 0;
    const size_t got = readAll(fd, buf, result.size, cancel, &error);
    close(fd);
    if (cancelled(cancel) || got < result.size) {
        jx_buf_free(buf);
        if (cancelled(cancel))
            result.status = JX_CANCELLED;
        else
            result.error = error ? error : EIO;
        return result;
    }
    jx_parse_options options = {0, uint8_t(ov_records_name(path) ? 1 : 0)};
    jx_progress progress = {nullptr, nullptr, const_cast<uint32_t *>(cancel)};
    result.doc = jx_parse(buf, got, &options, &progress, &result.status);
    result.ms = uint32_t((ov_uptime() - started) * 1000);
    return result;
}

OVDocWindow::OVDocWindow(const QString &path) : file(path) {
    init(QFileInfo(path).fileName());
    struct stat st;
    if (stat(QFile::encodeName(path).constData(), &st) == 0) {
        dev = uint64_t(st.st_dev);
        ino = uint64_t(st.st_ino);
        fileSize = uint64_t(st.st_size);
        hasId = true;
    }
    setWindowFilePath(path);
}

OVDocWindow::OVDocWindow(JxDoc *document, const QString &title, int parseMs) {
    init(title);
    showDocument(document, parseMs);
}

void OVDocWindow::init(const QString &title) {
    name = title;
    setObjectName(QStringLiteral("docWindow"));
    setWindowTitle(title);
    resize(WIDTH, HEIGHT);
    setMinimumSize(MIN_WIDTH, MIN_HEIGHT);
    setMenuBar(ov_build_menu_bar(this));
    label = new QLabel(this);
    label->setObjectName(QStringLiteral("status"));
    label->setAlignment(Qt::AlignCenter);
    label->setFont(OVTheme::uiFont(OVTheme::DEFAULT_FONT_SIZE));
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, OVTheme::color(0));
    palette.setColor(QPalette::WindowText, OVTheme::color(5));
    label->setPalette(palette);
    setCentralWidget(label);
}

OVDocWindow::~OVDocWindow() {
    if (load)
        std::atomic_ref<uint32_t>(load->cancel).store(1);
    jx_doc_release(doc);
}

void OVDocWindow::startLoading() {
    if (file.isEmpty() || load || doc)
        return;
    load = std::make_shared<Job>();
    ov_log("open %s", qUtf8Printable(file));
    char text[SIZE_TEXT];
    jx_fmt_bytes(fileSize, text, sizeof text);
    label->setText(QStringLiteral("Reading ") + ov_cstring(text) + QStringLiteral("…"));
    auto result = std::make_shared<OVLoaded>();
    const QString path = file;
    const std::shared_ptr<Job> job = load;
    const QPointer<OVDocWindow> self(this);
    OVAppDelegate::shared()->runInBackground([=] {
        *result = ov_load(path, &job->cancel);
        OVAppDelegate::shared()->post([=] {
            if (self)
                self->loaded(*result, job);
            else
                jx_doc_release(result->doc);
        });
    });
}

void OVDocWindow::loaded(const OVLoaded &result, const std::shared_ptr<Job> &job) {
    if (job != load) {
        jx_doc_release(result.doc);
        return;
    }
    load.reset();
    if (result.doc) {
        fileSize = result.size;
        showDocument(result.doc, int(result.ms));
        jx_doc_release(result.doc);
        OVAppDelegate::shared()->noteRecent(file);
        ov_log("opened %s in %d ms", qUtf8Printable(file), int(result.ms));
        return;
    }
    const QByteArray base = QFileInfo(file).fileName().toUtf8();
    QString message;
    QString noted;
    if (result.status == JX_NO_MEMORY)
        message = ov_format("Could not open \"%s\": %s.", base.constData(), "there is not enough memory");
    else if (result.status == JX_TOO_BIG) {
        char text[SIZE_TEXT];
        jx_fmt_bytes(result.size, text, sizeof text);
        message = ov_format("\"%s\" is %s. Orvel opens files up to 4 GB.", base.constData(), text);
    } else {
        QByteArray reason = strerror(result.error ? result.error : EIO);
        if (!reason.isEmpty())
            reason[0] = char(tolower(reason[0]));
        message = ov_format("Could not open \"%s\": %s.", base.constData(), reason.constData());
        noted = ov_format("Could not open \"%s\": %s.", base.constData(), "it could not be read");
    }
    ov_log("open failed %s: status %d, errno %d", qUtf8Printable(file), result.status, result.error);
    fail(message, noted.isEmpty() ? message : noted);
}

void OVDocWindow::showDocument(JxDoc *document, int parseMs) {
    doc = jx_doc_retain(document);
    char text[STATUS_SIZE];
    jx_status_text(doc, parseMs, text, sizeof text);
    status = ov_cstring(text);
    label->setText(status);
}

void OVDocWindow::fail(const QString &message, const QString &note) {
    hasFailed = true;
    label->clear();
    OVAppDelegate *delegate = OVAppDelegate::shared();
    emit delegate->noted(QStringLiteral("open-error=") + note);
    const QPointer<OVDocWindow> self(this);
    delegate->alertOn(this, message, [self] {
        if (self)
            self->close();
    });
}

bool OVDocWindow::showsFile(const QString &other) const {
    if (file.isEmpty() || hasFailed)
        return false;
    struct stat st;
    if (hasId && stat(QFile::encodeName(other).constData(), &st) == 0)
        return uint64_t(st.st_dev) == dev && uint64_t(st.st_ino) == ino;
    return other == file;
}

bool OVDocWindow::busy() const {
    return load != nullptr;
}

bool OVDocWindow::validate(const QAction *action, bool *checked) const {
    const QString name = ov_action_name(action);
    *checked = false;
    return name == QLatin1String("performClose") || name == QLatin1String("performMiniaturize") ||
           name == QLatin1String("performZoom");
}

void OVDocWindow::perform(QAction *action) {
    const QString name = ov_action_name(action);
    if (name == QLatin1String("performClose"))
        close();
    else if (name == QLatin1String("performMiniaturize"))
        showMinimized();
    else if (name == QLatin1String("performZoom"))
        isMaximized() ? showNormal() : showMaximized();
}

void OVDocWindow::fontChanged() {
    label->setFont(OVTheme::uiFont(OVTheme::fontSize()));
}

void OVDocWindow::flashStatus(const QString &text) {
    statusBar()->showMessage(text, FLASH_MS);
}

void OVDocWindow::closeEvent(QCloseEvent *event) {
    event->accept();
    // The next window opens where this one was.
    const QRect frame = geometry();
    JxSettings &values = OVSettings::shared()->values();
    values.win_x = frame.x();
    values.win_y = frame.y();
    values.win_w = frame.width();
    values.win_h = frame.height();
    OVSettings::shared()->changed();
    if (load)
        std::atomic_ref<uint32_t>(load->cancel).store(1);
    OVAppDelegate::shared()->windowClosed(this);
    deleteLater();
}
