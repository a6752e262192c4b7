// copier.h: the copy commands (value or Text view lines, path, JSON, key, minified JSON).
//
// A value can be gigabytes: building its text and converting it for the clipboard would freeze
// the window. The main thread only decides what to copy and asks before a copy above 256 MiB; a
// worker builds the text over the document (its own reference) or over the Text view model, and
// the main thread puts the finished text on the pasteboard. Measuring a value can take as long as
// copying it, so the worker measures too, and the question comes back from there.
//
// The Text view model belongs to the view, which frees it with itself or when a new model
// replaces it. While a worker copies lines from it, the view is handed to the copy when it goes
// (retireView) and a new model waits for the copy (whenModelFree). Main thread only.
#ifndef OV_COPIER_H
#define OV_COPIER_H

#include "job.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>

struct JxText;
struct JxView;

class OVCopier : public QObject {
    Q_OBJECT
public:
    // Copies larger than this ask first.
    static constexpr uint64_t ASK_ABOVE = uint64_t(256) << 20;

    explicit OVCopier(QObject *parent = nullptr);
    // A running copy is dropped; its worker finishes alone and its text is discarded.
    ~OVCopier() override;

    // The view copies come from (null for none). Retire the old view first when it is replaced.
    void setView(JxView *view) { m_view = view; }
    JxView *view() const { return m_view; }

    // A copy command (JX_CMD_COPY_VALUE to JX_CMD_COPY_MINIFIED; style is the path style) on the
    // view's selection, or its selected lines in the Text view. A worker measures the text; above
    // ASK_ABOVE the copy waits for the answer to a question first. A running copy is dropped.
    void copy(uint32_t what, int style);
    // Drops the running copy (the window closes, or the user moved on).
    void cancel();
    // The view is going: a worker still copying lines from its Text view model keeps it until done.
    void retireView(const OVViewHold &old);
    // Runs block once no copy reads model: at once, or when the last such copy ends. Blocks still
    // waiting when the copier goes are destroyed without running.
    void whenModelFree(const JxText *model, std::function<void()> block);

    // A copy runs or waits for its question's answer.
    bool busy() const { return bool(m_job); }
    const std::shared_ptr<OVJob> &job() const { return m_job; }

    // The window's alert: message, button titles, and what to do with the pressed button's index.
    // Without one, large copies go ahead without asking.
    std::function<void(const QString &, const QStringList &, std::function<void(int)>)> alert;
    // Flashes a text in the status bar ("Copied value").
    std::function<void(const QString &)> flash;
    // Lines for the script runner ("message=...").
    std::function<void(const QString &)> note;
    // The copy has ended (copied, failed, declined or dropped): the window's waiting blocks may run.
    std::function<void()> becameIdle;
    // Tests: the size the copier goes by, given the measured one. Called on a worker: set it before
    // copying.
    std::function<uint64_t(uint64_t)> sizeForTests;

private:
    struct Reader {
        std::shared_ptr<OVJob> job;
        const JxText *model;
    };
    struct Waiting {
        const JxText *model;
        std::function<void()> block;
    };
    void start(const std::shared_ptr<void> &request, bool confirmed, const QString &done);
    void ended(OVJob &job, bool ok, const QString &text, uint64_t askSize, const std::shared_ptr<void> &confirm,
               const QString &done);
    void ask(uint64_t size, const std::shared_ptr<void> &request, const QString &done);
    void drop();
    void released(OVJob &job);
    bool reads(const JxText *model) const;
    void emitIdle();

    JxView *m_view = nullptr;
    std::shared_ptr<OVJob> m_job;
    bool m_asking = false; // the current job's worker is done; it waits for the question's answer
    QList<Reader> m_readers;
    QList<Waiting> m_waiting;
};

#endif
