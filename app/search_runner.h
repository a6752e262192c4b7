// search_runner.h: the document window's search: the typing debounce, making the search, running
// it on a worker with live updates, one pending search while a run winds down, and handing a
// replaced view to the run that still reads it.
//
// The window owns the runner and the view; it tells the runner which view is current (setView)
// and, before a view goes (reload, close), hands it over with retireView. Main thread only.
#ifndef OV_SEARCH_RUNNER_H
#define OV_SEARCH_RUNNER_H

#include "job.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <jx/search.h>

struct JxView;

class OVSearchRunner : public QObject {
    Q_OBJECT
public:
    // Typing waits this long after the last change before it searches.
    static constexpr int DEBOUNCE_MS = 250;
    // Room for the search's error message.
    static constexpr int MESSAGE_SIZE = 256;

    explicit OVSearchRunner(QObject *parent = nullptr);
    // Cancels the running search and frees a pending one. The view is the window's: retire it first.
    ~OVSearchRunner() override;

    // The top bar's packed options: bit 0 match case, bit 8 regular expression, bits 16 to 23 scope.
    static JxSearchOptions unpack(uint32_t packed);

    // The view searches go to (null for none). Retire the old view first when it is replaced.
    void setView(JxView *view) { m_view = view; }
    JxView *view() const { return m_view; }

    // The field's text changed: searches for it DEBOUNCE_MS after the last change, unless something
    // else started or cancelled a search meanwhile.
    void textChanged(const QString &text, const JxSearchOptions &options);
    // Makes a search for text over the view's document and installs it (an empty text installs
    // none). A bad query installs none and reports its message.
    void startSearch(const QString &text, const JxSearchOptions &options);
    // Return in the field: with the installed query and options and nothing pending, steps to the
    // next (or previous) match; otherwise searches for text.
    void searchEntered(const QString &text, const JxSearchOptions &options, bool backward);
    // Forgets the query and removes the search.
    void cancelSearch();
    // After a reload: the installed query again, over the current view's document; forgotten
    // silently when it cannot be made there.
    void rerun();
    // Installs search (or none, null): at once when no run is under way, else once the running one,
    // cancelled now, has returned; an older pending search is freed.
    void installSearch(JxSearch *search);
    // The view is going (reload, close): a pending search is freed; a running search is cancelled
    // and keeps the view (and the search it owns) until its thread is done with it. The view is
    // disposed of once nothing holds it.
    void retireView(const OVViewHold &old);

    // The query of the installed search (UTF-8), if any, and its options.
    const std::optional<QByteArray> &query() const { return m_query; }
    const JxSearchOptions &options() const { return m_options; }
    bool hasPending() const { return m_hasPending; }
    // The running search's job, for tests and the window's progress.
    const std::shared_ptr<OVJob> &job() const { return m_job; }
    // No search runs and none waits for the debounce.
    bool idle() const { return !m_job && !m_typing; }

    // The view's search state changed (hits arrived, a step moved the selection): refresh.
    std::function<void()> changed;
    // The text for the note bar's search message: a message, or empty to clear it (and the field's
    // bad state).
    std::function<void(const QString &)> message;
    // Lines for the script runner ("search-error=...").
    std::function<void(const QString &)> note;
    // The runner became idle (the window's waiting blocks may run).
    std::function<void()> becameIdle;

private:
    void install(JxSearch *search);
    void returned(OVJob &job);
    void emitChanged();
    void emitIdle();

    JxView *m_view = nullptr;
    std::shared_ptr<OVJob> m_job;
    JxSearch *m_pending = nullptr;
    bool m_hasPending = false;
    std::optional<QByteArray> m_query;
    JxSearchOptions m_options{};
    uint64_t m_typeGen = 0;
    bool m_typing = false;
    QString m_typedText;
    JxSearchOptions m_typedOptions{};
};

#endif
