#include "copier.h"

#include "pasteboard.h"
#include "text.h"

#include <QPointer>

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
// document the request holds a reference to.
struct Request {
    uint32_t what = 0;
    int style = 0;
    JxDoc *doc = nullptr;
    uint32_t node = JX_NONE;
    const JxText *model = nullptr;
    uint32_t from = JX_NONE, to = JX_NONE;
};

// The worker's result; a null text (ok false) is a failure, an empty one a copy of nothing.
struct Copied {
    bool ok = false;
    QString text;
};
} // namespace

// Only the root has an empty path: an empty one for another node means jx_path failed.
static char *copy_path(const JxDoc *doc, uint32_t node, int style, size_t *length) {
    const size_t len = jx_path(doc, node, style, nullptr, 0);
    if (len == 0 && jx_parent(doc, node) != JX_NONE) return nullptr;
    auto *text = static_cast<char *>(std::malloc(len + 1));
    if (text && jx_path(doc, node, style, text, len + 1) != len) {
        std::free(text);
        return nullptr;
    }
    if (text) *length = len;
    return text;
}

static char *build(const Request &r, size_t *length) {
    if (r.model) return jx_text_copy(r.model, r.from, r.to, length);
    switch (r.what) {
    case JX_CMD_COPY_VALUE: return jx_copy_value(r.doc, r.node, length);
    case JX_CMD_COPY_PATH: return copy_path(r.doc, r.node, r.style, length);
    case JX_CMD_COPY_JSON: return jx_copy_json(r.doc, r.node, 1, length);
    case JX_CMD_COPY_KEY: return jx_copy_key(r.doc, r.node, length);
    case JX_CMD_COPY_MINIFIED: return jx_copy_json(r.doc, r.node, 0, length);
    default: return nullptr;
    }
}

// Worker: the text, converted for the clipboard unless the copy was dropped meanwhile.
static Copied run(OVJob &job, const Request &r) {
    Copied result;
    size_t length = 0;
    char *text = build(r, &length);
    jx_doc_release(r.doc);
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

OVCopier::OVCopier(QObject *parent) : QObject(parent), sizeOf(jx_view_copy_size) {}

OVCopier::~OVCopier() {
    if (m_job) m_job->cancel();
}

void OVCopier::copy(uint32_t what, int style) {
    const uint64_t gen = ++m_asked;
    if (!m_view || what < JX_CMD_COPY_VALUE || what > JX_CMD_COPY_MINIFIED) return;
    const uint64_t size = sizeOf(m_view, what);
    if (size <= ASK_ABOVE || !alert) {
        copyNow(what, style);
        return;
    }
    char shown[SIZE_TEXT];
    jx_fmt_bytes(size, shown, sizeof shown);
    const QPointer<OVCopier> self(this);
    alert(ov_format("Copy %s to the clipboard?", shown), {QStringLiteral("Copy"), QStringLiteral("Cancel")},
          [self, gen, what, style](int button) {
              if (self && button == 0 && gen == self->m_asked) self->copyNow(what, style);
          });
}

void OVCopier::copyNow(uint32_t what, int style) {
    cancel();
    const JxView *view = m_view;
    Request r;
    r.what = what;
    r.style = style;
    const bool lines = what == JX_CMD_COPY_VALUE && jx_view_mode(view) == JX_MODE_TEXT &&
                       jx_view_selected(view) != JX_NONE && jx_view_text(view);
    if (lines) {
        r.model = jx_view_text(view);
        r.from = jx_view_anchor(view);
        r.to = jx_view_selected(view);
    } else {
        JxDoc *doc = jx_view_doc(view);
        r.node = jx_view_selected_node(view);
        if (r.node == JX_NONE) return;
        // Some path styles write nothing for the root; an empty clipboard would look like a copy.
        if (what == JX_CMD_COPY_PATH && jx_parent(doc, r.node) == JX_NONE && jx_path(doc, r.node, style, nullptr, 0) == 0) {
            const QString why = QString::fromUtf8(ROOT_HAS_NO_PATH);
            if (flash) flash(why);
            if (note) note(QStringLiteral("message=") + why);
            return;
        }
        r.doc = jx_doc_retain(doc);
    }
    m_job = OVJob::create(this);
    if (r.model) m_readers.append({m_job, r.model});
    const QString done = doneText(what, lines);
    OVJob::start<Copied>(m_job, [r](OVJob &job) { return run(job, r); },
                         [this, done](OVJob &job, Copied &c) { ended(job, c.ok, c.text, done); });
}

void OVCopier::cancel() {
    if (!m_job) return;
    m_job->cancel();
    m_job.reset();
    emitIdle();
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

// Every copy that ends comes here, dropped or not: its worker no longer reads the model.
void OVCopier::ended(OVJob &job, bool ok, const QString &text, const QString &done) {
    m_readers.removeIf([&job](const Reader &reader) { return reader.job.get() == &job; });
    job.retire();
    QList<Waiting> ready;
    for (qsizetype i = 0; i < m_waiting.size();) {
        if (reads(m_waiting[i].model)) {
            i++;
            continue;
        }
        ready.append(m_waiting.takeAt(i));
    }
    for (const Waiting &w : std::as_const(ready)) w.block();
    if (&job != m_job.get()) return;
    m_job.reset();
    // A failure leaves the clipboard as it was and says nothing.
    if (ok) {
        ov_pasteboard()->clear();
        ov_pasteboard()->setText(text);
        if (flash) flash(done);
    }
    emitIdle();
}

void OVCopier::emitIdle() {
    if (!m_job && becameIdle) becameIdle();
}
