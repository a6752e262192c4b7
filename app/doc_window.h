// doc_window.h: a document window: one file, or one clipboard text, with the menu bar.
// For now it shows the document's status line only.
#ifndef OV_DOC_WINDOW_H
#define OV_DOC_WINDOW_H

#include <QMainWindow>
#include <QString>

#include <cstdint>
#include <memory>

#include <jx/doc.h>

class QAction;
class QLabel;

// A file read and parsed, or why not.
struct OVLoaded {
    JxDoc *doc = nullptr; // one reference, the receiver's
    int status = 0;       // JX_OK, JX_CANCELLED, JX_NO_MEMORY or JX_TOO_BIG
    int error = 0;        // errno of the failed open or read, 0 when none
    uint64_t size = 0;    // the file's size
    uint32_t ms = 0;      // time to read and parse
};

class OVDocWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int WIDTH = 1100;
    static constexpr int HEIGHT = 760;
    static constexpr int MIN_WIDTH = 320;
    static constexpr int MIN_HEIGHT = 200;

    // A window for the file at path (standardized); load it with startLoading.
    explicit OVDocWindow(const QString &path);
    // A window for a parsed document (the clipboard's); takes its own reference to doc.
    OVDocWindow(JxDoc *doc, const QString &title, int parseMs);
    ~OVDocWindow() override;

    // Reads and parses the file on a worker; does nothing without a path or once loaded.
    void startLoading();
    // Whether this window shows the file at path: the same device and inode when known.
    bool showsFile(const QString &path) const;
    bool failed() const { return hasFailed; }
    QString path() const { return file; }
    QString displayName() const { return name; }
    QString statusText() const { return status; }
    JxDoc *document() const { return doc; }
    bool busy() const;

    bool validate(const QAction *action, bool *checked) const;
    void perform(QAction *action);
    void settingsChanged() {}
    void fontChanged();
    void flashStatus(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    struct Job;
    void init(const QString &title);
    void loaded(const OVLoaded &result, const std::shared_ptr<Job> &job);
    void showDocument(JxDoc *document, int parseMs);
    void fail(const QString &message, const QString &note);

    QString file;
    QString name;
    QString status;
    JxDoc *doc = nullptr;
    QLabel *label = nullptr;
    uint64_t dev = 0, ino = 0, fileSize = 0;
    bool hasId = false;
    bool hasFailed = false;
    std::shared_ptr<Job> load;
};

// Reads the file at path and parses it; stops early once *cancel (read atomically) is non-zero.
// Any thread.
OVLoaded ov_load(const QString &path, const uint32_t *cancel);
// True when the path's extension, in any case, is jsonl or ndjson: such files are read as
// JSON Lines from the start. Any thread.
bool ov_records_name(const QString &path);

#endif
