#include "search_runner.h"

#include "text.h"

#include <QTimer>

#include <jx/keys.h>
#include <jx/view.h>

// The worker's result: the run's status. The search itself stays with the view.
namespace {
struct Ran {
    int status = 0;
};
} // namespace

OVSearchRunner::OVSearchRunner(QObject *parent) : QObject(parent) {}

OVSearchRunner::~OVSearchRunner() {
    if (m_job) m_job->cancel();
    jx_search_free(m_pending);
}

JxSearchOptions OVSearchRunner::unpack(uint32_t packed) {
    JxSearchOptions options{};
    options.match_case = uint8_t(packed & 1);
    options.regex = uint8_t((packed >> 8) & 1);
    options.scope = uint8_t((packed >> 16) & 0xFF);
    return options;
}

static bool sameOptions(const JxSearchOptions &a, const JxSearchOptions &b) {
    return a.match_case == b.match_case && a.regex == b.regex && a.scope == b.scope;
}

void OVSearchRunner::textChanged(const QString &text, const JxSearchOptions &options) {
    if (message) message(QString());
    const uint64_t gen = ++m_typeGen;
    m_typing = true;
    m_typedText = text;
    m_typedOptions = options;
    QTimer::singleShot(DEBOUNCE_MS, this, [this, gen] {
        if (gen == m_typeGen) startSearch(m_typedText, m_typedOptions);
    });
}

void OVSearchRunner::startSearch(const QString &text, const JxSearchOptions &options) {
    ++m_typeGen;
    m_typing = false;
    if (!m_view) {
        emitIdle();
        return;
    }
    const QByteArray bytes = text.toUtf8();
    char err[MESSAGE_SIZE] = "";
    JxSearch *search = nullptr;
    if (!bytes.isEmpty())
        search = jx_search_new(jx_view_doc(m_view), bytes.constData(), size_t(bytes.size()), &options, err, sizeof err);
    m_query = search ? std::optional<QByteArray>(bytes) : std::nullopt;
    m_options = options;
    const QString why = ov_cstring(err);
    if (message) message(why);
    if (!why.isEmpty() && note) note(QStringLiteral("search-error=") + why);
    installSearch(search);
}

void OVSearchRunner::searchEntered(const QString &text, const JxSearchOptions &options, bool backward) {
    if (m_view && m_query && text.toUtf8() == *m_query && sameOptions(options, m_options) &&
        jx_view_search(m_view) && !m_hasPending) {
        if (jx_view_command(m_view, backward ? JX_CMD_FIND_PREVIOUS : JX_CMD_FIND_NEXT)) emitChanged();
        return;
    }
    startSearch(text, options);
}

void OVSearchRunner::cancelSearch() {
    ++m_typeGen;
    m_typing = false;
    m_query.reset();
    if (message) message(QString());
    if (m_view)
        installSearch(nullptr);
    else
        emitIdle();
}

void OVSearchRunner::rerun() {
    if (!m_query || !m_view) return;
    JxSearch *search = jx_search_new(jx_view_doc(m_view), m_query->constData(), size_t(m_query->size()), &m_options,
                                     nullptr, 0);
    if (!search) m_query.reset();
    installSearch(search);
}

void OVSearchRunner::installSearch(JxSearch *search) {
    if (m_job) {
        // The running search stops at its next checkpoint; this one waits for it to return.
        m_job->cancel();
        if (m_pending != search) jx_search_free(m_pending);
        m_pending = search;
        m_hasPending = true;
        return;
    }
    install(search);
    emitChanged();
    if (!m_job) emitIdle();
}

// The view takes the search (freeing the one it had, whose run has returned) and, with a search,
// a worker runs it.
void OVSearchRunner::install(JxSearch *search) {
    jx_view_set_search(m_view, search);
    if (!search || !m_view) return;
    m_job = OVJob::create(this);
    m_job->onProgress = [this](OVJob &job, double) {
        // Hits of a search that is about to be replaced would only flicker.
        if (&job != m_job.get() || m_hasPending) return;
        jx_view_search_update(m_view);
        emitChanged();
    };
    OVJob::start<Ran>(m_job,
                      [search](OVJob &job) {
                          const jx_progress progress{OVJob::rateProgress, &job, job.cancelFlag()};
                          return Ran{jx_search_run(search, &progress)};
                      },
                      [this](OVJob &job, Ran &) { returned(job); });
}

void OVSearchRunner::returned(OVJob &job) {
    job.retire();
    if (&job != m_job.get()) return;
    m_job.reset();
    if (!m_hasPending) {
        jx_view_search_update(m_view);
        emitChanged();
    } else {
        JxSearch *next = std::exchange(m_pending, nullptr);
        m_hasPending = false;
        if (m_view) {
            install(next);
            emitChanged();
        } else {
            jx_search_free(next);
        }
    }
    if (!m_job) emitIdle();
}

void OVSearchRunner::retireView(const OVViewHold &old) {
    jx_search_free(std::exchange(m_pending, nullptr));
    m_hasPending = false;
    if (m_job) {
        m_job->cancel();
        m_job->retireView = old;
        m_job.reset();
    }
    if (old && old.get() == m_view) m_view = nullptr;
    emitIdle();
}

void OVSearchRunner::emitChanged() {
    if (changed) changed();
}

void OVSearchRunner::emitIdle() {
    if (idle() && becameIdle) becameIdle();
}
