#include "copier.h"

#include "pasteboard.h"
#include "text.h"

#include <QPointer>
#include <QThreadPool>

#include <cstdlib>
#include <utility>

#include <jx/json.h>
#include <jx/keys.h>
#include <jx/path.h>
#include <jx/status.h>
#include <jx/view.h>

namespace {
constexpr int SIZE_TEXT = 48;
const char *const ROOT_HAS_NO_PATH = "The root has no path in this style.";

// What the worker copies, decided on the main thread: lines of a Text view model, or a node of a
// document the request holds a reference to until it goes.
struct Request {
    uint32_t what = 0;
    int style = 0;
    JxDoc *doc = nullptr;
    uint32_t node = JX_NONE;
    const JxText *model = nullptr;
    uint32_t from = JX_NONE, to = JX_NONE;
    Request() = default;
    Request(const Request &) = delete;
    Request &operator=(const Request &) = delete;
    ~Request() { jx_doc_release(doc); }
};
using RequestPtr = std::shared_ptr<Request>;

// The worker's result: the text (ok false for a failure; an empty text is a copy of nothing), or
// the size of a copy to be confirmed first, with the request to carry out once it is.
struct Copied {
    bool ok = false;
    QString text;
    uint64_t askSize = 0;
    RequestPtr confirm;
};
} // namespace

// Worker: measures unless the user already agreed, then builds the text and converts it for the
// clipboard, unless the copy was dropped meanwhile.
static Copied run(OVJob &job, const RequestPtr &r, bool confirmed, const std::function<uint64_t(uint64_t)> &sizeFor) {
    Copied result;
    if (!confirmed) {
        uint64_t size = r->model ? jx_text_copy_size(r->model, r->from, r->to)
                                 : jx_copy_node_size(r->doc, r->node, r->what, r->style);
        if (sizeFor) size = sizeFor(size);
        if (size > OVCopier::ASK_ABOVE) {
            result.askSize = size;
            result.confirm = r;
            return result;
        }
    }
    size_t length = 0;
    char *text = r->model ? jx_text_copy(r->model, r->from, r->to, &length)
                          : jx_copy_node(r->doc, r->node, r->what, r->style, &length);
    if (text && !job.cancelled()) {
        result.ok = true;
        result.text = ov_string(text, length);
    }
    std::free(text);
    return result;
}

static QString doneText(uint32_t what, bool lines) {
    switch (what) {
    case JX_CMD_COPY_VALUE: return lines ? QStringLiteral("Copied lines") : QStringLiteral("Copied value");
    case JX_CMD_COPY_PATH: return QStringLiteral("Copied path");
    case JX_CMD_COPY_JSON: return QStringLiteral("Copied JSON");
    case JX_CMD_COPY_KEY: return QStringLiteral("Copied key");
    default: return QStringLiteral("Copied minified JSON");
    }
}

OVCopier::OVCopier(QObject *parent) : QObject(parent) {}

OVCopier::~OVCopier() {
    if (m_job) m_job->cancel();
}

void OVCopier::copy(uint32_t what, int style) {
    drop();
    const JxView *view = m_view;
    if (!view || what < JX_CMD_COPY_VALUE || what > JX_CMD_COPY_MINIFIED) {
        emitIdle();
        return;
    }
    auto r = std::make_shared<Request>();
    r->what = what;
    r->style = style;
    const bool lines = what == JX_CMD_COPY_VALUE && jx_view_mode(view) == JX_MODE_TEXT &&
                       jx_view_selected(view) != JX_NONE && jx_view_text(view);
    if (lines) {
        r->model = jx_view_text(view);
        r->from = jx_view_anchor(view);
        r->to = jx_view_selected(view);
    } else {
        JxDoc *doc = jx_view_doc(view);
        r->node = jx_view_selected_node(view);
        // Some path styles write nothing for the root; an empty clipboard would look like a copy.
        const bool rootWithoutPath = what == JX_CMD_COPY_PATH && r->node != JX_NONE &&
                                     jx_parent(doc, r->node) == JX_NONE && jx_path(doc, r->node, style, nullptr, 0) == 0;
        if (rootWithoutPath) {
            const QString why = QString::fromUtf8(ROOT_HAS_NO_PATH);
            if (flash) flash(why);
            if (note) note(QStringLiteral("message=") + why);
        }
        if (r->node == JX_NONE || rootWithoutPath) {
            emitIdle();
            return;
        }
        r->doc = jx_doc_retain(doc);
    }
    start(r, false, doneText(what, lines));
}

// Runs request r on a worker as the current copy. A copy that was waiting for its question hands
// its place as the model's reader (and any view it keeps) to the new job.
void OVCopier::start(const std::shared_ptr<void> &request, bool confirmed, const QString &done) {
    const RequestPtr r = std::static_pointer_cast<Request>(request);
    const std::shared_ptr<OVJob> asking = std::exchange(m_job, OVJob::create(this));
    m_asking = false;
    if (r->model) m_readers.append({m_job, r->model});
    if (asking) {
        m_job->retireView = std::move(asking->retireView);
        released(*asking);
    }
    OVJob::start<Copied>(m_job, [r, confirmed, sizeFor = sizeForTests](OVJob &job) { return run(job, r, confirmed, sizeFor); },
                         [this, done](OVJob &job, Copied &c) { ended(job, c.ok, c.text, c.askSize, c.confirm, done); });
}

// Back on the main thread, current or not.
void OVCopier::ended(OVJob &job, bool ok, const QString &text, uint64_t askSize, const std::shared_ptr<void> &confirm,
                     const QString &done) {
    const bool current = &job == m_job.get();
    if (current && confirm) {
        if (alert)
            ask(askSize, confirm, done);
        else
            start(confirm, true, done); // nobody to ask
        return;
    }
    released(job);
    if (!current) return;
    m_job.reset();
    // A failure leaves the clipboard as it was and says nothing.
    if (ok) {
        ov_pasteboard()->clear();
        ov_pasteboard()->setText(text);
        if (flash) flash(done);
    }
    emitIdle();
}

// The current job stays in place while the question is up: it still counts as reading the model.
void OVCopier::ask(uint64_t size, const std::shared_ptr<void> &request, const QString &done) {
    char shown[SIZE_TEXT];
    jx_fmt_bytes(size, shown, sizeof shown);
    m_asking = true;
    const QPointer<OVCopier> self(this);
    const std::weak_ptr<OVJob> asking = m_job;
    alert(ov_format("Copy %s to the clipboard?", shown), {QStringLiteral("Copy"), QStringLiteral("Cancel")},
          [self, asking, request, done](int button) {
              if (!self || !self->m_job || self->m_job != asking.lock()) return;
              if (button == 0)
                  self->start(request, true, done);
              else
                  self->drop();
          });
}

// Drops the current copy, whether its worker still runs or it waits for an answer.
void OVCopier::drop() {
    const std::shared_ptr<OVJob> job = std::exchange(m_job, nullptr);
    if (!job) return;
    job->cancel();
    // A copy waiting for an answer has no worker left to report its end.
    if (std::exchange(m_asking, false)) released(*job);
}

void OVCopier::cancel() {
    const bool was = busy();
    drop();
    if (was) emitIdle();
}

void OVCopier::retireView(const OVViewHold &old) {
    if (!old) return;
    const JxText *model = jx_view_text(old.get());
    for (const Reader &reader : std::as_const(m_readers))
        if (model && reader.model == model) reader.job->retireView = old;
    if (old.get() == m_view) m_view = nullptr;
}

bool OVCopier::reads(const JxText *model) const {
    for (const Reader &reader : m_readers)
        if (reader.model == model) return true;
    return false;
}

void OVCopier::whenModelFree(const JxText *model, std::function<void()> block) {
    if (!model || !reads(model))
        block();
    else
        m_waiting.append({model, std::move(block)});
}

// job no longer reads a model: the view it kept goes, and blocks waiting for the model run.
void OVCopier::released(OVJob &job) {
    m_readers.removeIf([&job](const Reader &reader) { return reader.job.get() == &job; });
    job.retire();
    QList<Waiting> ready;
    for (qsizetype i = 0; i < m_waiting.size();) {
        if (reads(m_waiting[i].model))
            i++;
        else
            ready.append(m_waiting.takeAt(i));
    }
    for (const Waiting &w : std::as_const(ready)) w.block();
}

void OVCopier::emitIdle() {
    if (!m_job && becameIdle) becameIdle();
}
