#include "text_builder.h"

#include <QPointer>

#include <utility>

#include <jx/text.h>
#include <jx/view.h>

// A model on its way to the view, with the document it was built for; freed unless taken.
struct OVTextBuilder::Built {
    JxText *model = nullptr;
    const JxDoc *doc = nullptr; // identity only: the model holds the document's reference
    Built() = default;
    Built(JxText *m, const JxDoc *d) : model(m), doc(d) {}
    Built(Built &&other) noexcept : model(std::exchange(other.model, nullptr)), doc(other.doc) {}
    Built &operator=(Built &&) = delete;
    ~Built() { jx_text_free(model); }
};

OVTextBuilder::OVTextBuilder(QObject *parent) : QObject(parent) {}

OVTextBuilder::~OVTextBuilder() {
    if (m_job) m_job->cancel();
}

void OVTextBuilder::build(int mode, std::function<void()> then) {
    if (!m_view) return;
    if (m_job) m_job->cancel();
    ++m_gen;
    m_waiting = false;
    m_job = OVJob::create(this);
    m_job->onProgress = [this](OVJob &job, double fraction) {
        if (&job == m_job.get() && progress) progress(job, fraction);
    };
    if (beginProgress) beginProgress(m_job, QStringLiteral("Preparing the Text view"));
    JxDoc *doc = jx_doc_retain(jx_view_doc(m_view));
    OVJob::start<Built>(m_job,
                        [doc, mode](OVJob &job) {
                            const jx_progress progress{OVJob::rateProgress, &job, job.cancelFlag()};
                            JxText *model = jx_text_new(doc, mode, &progress, nullptr);
                            jx_doc_release(doc);
                            return Built(model, doc);
                        },
                        [this, then = std::move(then)](OVJob &job, Built &result) { built(job, result, then); });
}

void OVTextBuilder::cancel() {
    ++m_gen;
    m_waiting = false;
    if (!m_job) return;
    m_job->cancel();
    if (endProgress) endProgress(m_job.get());
    m_job.reset();
    emitIdle();
}

void OVTextBuilder::built(OVJob &job, Built &result, const std::function<void()> &then) {
    if (&job != m_job.get()) return;
    m_job.reset();
    if (endProgress) endProgress(&job);
    if (!m_view) {
        emitIdle();
        return;
    }
    if (!result.model) {
        if (changed) changed();
        emitIdle();
        return;
    }
    // The view frees the model it holds when it takes the new one: wait for a copy still reading it.
    auto model = std::make_shared<Built>(std::move(result));
    const QPointer<OVTextBuilder> self(this);
    const uint64_t gen = m_gen;
    m_waiting = true;
    auto install = [self, gen, model, then] {
        if (!self || gen != self->m_gen || !self->m_view) return;
        self->m_waiting = false;
        // A view of another document (a reload came first) must not take this model.
        if (jx_view_doc(self->m_view) == model->doc) {
            jx_view_set_text(self->m_view, std::exchange(model->model, nullptr));
            jx_view_set_mode(self->m_view, JX_MODE_TEXT);
            if (self->installed) self->installed();
            if (then) then();
        }
        if (self->changed) self->changed();
        self->emitIdle();
    };
    if (whenModelFree)
        whenModelFree(jx_view_text(m_view), install);
    else
        install();
}

void OVTextBuilder::emitIdle() {
    if (!busy() && becameIdle) becameIdle();
}
