#include "details_view.h"

#include "job.h"
#include "text.h"
#include "theme.h"

#include <QPlainTextDocumentLayout>
#include <QResizeEvent>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <chars_int.h>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include <jx/details.h>
#include <jx/view.h>

namespace {
constexpr int BACKGROUND_ROLE = 0;
constexpr int TEXT_ROLE = 4;
constexpr int TITLE_ROLE = 5;
constexpr int SELECTION_ROLE = 13;

// An inspector text made on a worker, on its way to the pane; freed unless the pane takes it.
struct MadeText {
    char *text = nullptr;
    size_t length = 0;
    MadeText() = default;
    MadeText(char *t, size_t n) : text(t), length(n) {}
    MadeText(MadeText &&other) noexcept : text(std::exchange(other.text, nullptr)), length(other.length) {}
    MadeText &operator=(MadeText &&) = delete;
    ~MadeText() { std::free(text); }
};
} // namespace

OVInspectorView::OVInspectorView(QWidget *parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("inspector"));
    setReadOnly(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setUndoRedoEnabled(false);
    // Text views insert dropped file URLs as text; a drop belongs to the window.
    setAcceptDrops(false);
    viewport()->setAcceptDrops(false);
    setFrameShape(QFrame::NoFrame);
    setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Documents of the pane's own, so that replacing one never deletes it on the spot.
    m_documents = new QObject(this);
    showFreshDocument();
    setFont(OVTheme::listFont());
    recolour();
}

// Shows an empty document of the pane's own; the caller disposes of the one shown before.
void OVInspectorView::showFreshDocument() {
    auto *fresh = new QTextDocument(m_documents);
    fresh->setDocumentLayout(new QPlainTextDocumentLayout(fresh));
    fresh->setDocumentMargin(INSET);
    fresh->setDefaultFont(font());
    fresh->setUndoRedoEnabled(false);
    // The wrapping is the document's, set through the pane: the fresh one takes it over.
    if (document())
        fresh->setDefaultTextOption(document()->defaultTextOption());
    setDocument(fresh);
    // Not editable: no insertion point, as in a read-only text view. Its width belongs to the
    // document's layout, so each fresh document needs it again.
    setCursorWidth(0);
}

// Clearing megabytes of laid-out text takes tens of milliseconds. A large text's document is
// replaced by a fresh one and emptied from its end, a slice per turn, before it goes.
void OVInspectorView::retireDocument() {
    if (document()->characterCount() <= REST_SLICE) return;
    QTextDocument *old = document();
    showFreshDocument();
    emptyLater(old);
}

void OVInspectorView::emptyLater(QTextDocument *old) {
    QTextCursor cut(old);
    cut.movePosition(QTextCursor::End);
    const int keep = std::max(0, cut.position() - 2 * REST_SLICE);
    cut.setPosition(keep, QTextCursor::KeepAnchor);
    cut.removeSelectedText();
    if (keep == 0) {
        delete old;
        return;
    }
    QTimer::singleShot(0, old, [this, old] { emptyLater(old); });
}

void OVInspectorView::inspect(JxView *view, int style) {
    const uint32_t node = jx_view_selected_node(view);
    if (!view || (!m_stale && node == m_node && style == m_style && view == m_view)) return;
    ++m_gen;
    if (!isVisibleTo(window())) {
        m_stale = true;
        return;
    }
    m_view = view;
    m_node = node;
    m_style = style;
    m_stale = false;
    stopJob();
    JxDoc *doc = jx_view_doc(view);
    if (node == JX_NONE || jx_val_len(doc, node) <= WORKER_BYTES) {
        size_t length = 0;
        char *text = jx_view_inspect(view, style, &length);
        showText(text, length);
        return;
    }
    m_job = OVJob::create(this);
    jx_doc_retain(doc);
    OVJob::start<MadeText>(
        m_job,
        [doc, node, style](OVJob &) {
            size_t length = 0;
            char *text = jx_inspect_text(doc, node, style, &length);
            jx_doc_release(doc);
            return MadeText(text, length);
        },
        [this](OVJob &job, MadeText &made) {
            if (&job != m_job.get()) return;
            m_job.reset();
            showText(std::exchange(made.text, nullptr), made.length);
            emit idle();
        });
}

// A newer selection makes the text being made on a worker useless; the window may be waiting
// for it, so it hears that the pane is idle (on the next turn, not inside the caller).
void OVInspectorView::stopJob() {
    if (!m_job) return;
    m_job->cancel();
    m_job.reset();
    QTimer::singleShot(0, this, [this] {
        if (!busy()) emit idle();
    });
}

// Takes text (freed here). Without one (no selection, or no memory for it) the pane shows nothing
// rather than an earlier node's text.
void OVInspectorView::showText(char *text, size_t length) {
    const size_t cut = text ? jx__utf8_cut(text, length, HEAD_BYTES) : 0;
    m_head = QByteArray(text, qsizetype(cut));
    m_rest = text ? QByteArray(text + cut, qsizetype(length - cut)) : QByteArray();
    std::free(text);
    showHead();
    scheduleRest();
}

void OVInspectorView::invalidate() {
    m_stale = true;
    ++m_gen;
    stopJob();
}

void OVInspectorView::fontChanged() {
    setFont(OVTheme::listFont());
    invalidate();
}

// Replaces the content with the head, its first line in the title colour, scrolled to the top.
void OVInspectorView::showHead() {
    const QString head = ov_string(m_head.constData(), size_t(m_head.size()));
    const qsizetype feed = head.indexOf(QLatin1Char('\n'));
    m_titleLength = int(feed < 0 ? head.size() : feed);
    retireDocument();
    setPlainText(head);
    m_restShown = false;
    m_restAt = 0;
    recolour();
}

void OVInspectorView::scheduleRest() {
    if (m_rest.isEmpty()) return;
    const uint64_t gen = m_gen;
    QTimer::singleShot(REST_DELAY_MS, this, [this, gen] {
        if (gen == m_gen) appendRest();
    });
}

void OVInspectorView::appendRest() {
    if (m_restShown || m_rest.isEmpty()) return;
    const size_t left = size_t(m_rest.size() - m_restAt);
    size_t slice = jx__utf8_cut(m_rest.constData() + m_restAt, left, REST_SLICE);
    if (slice == 0) slice = left; // no character boundary in reach: bad bytes, shown as they come
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    // A plain format: the rest is body text even where it continues the first line.
    end.insertText(ov_string(m_rest.constData() + m_restAt, slice), QTextCharFormat());
    m_restAt += qsizetype(slice);
    if (m_restAt >= m_rest.size()) {
        m_restShown = true;
        return;
    }
    const uint64_t gen = m_gen;
    QTimer::singleShot(0, this, [this, gen] {
        if (gen == m_gen) appendRest();
    });
}

// A new width lays the whole text out again: only the head is laid out while the width keeps
// changing (a divider drag, a window resize), and the rest joins once it has settled.
void OVInspectorView::resizeEvent(QResizeEvent *event) {
    QPlainTextEdit::resizeEvent(event);
    if (event->size().width() == event->oldSize().width() || m_rest.isEmpty()) return;
    ++m_gen;
    if (m_restShown || m_restAt) showHead();
    scheduleRest();
}

void OVInspectorView::changeEvent(QEvent *event) {
    QPlainTextEdit::changeEvent(event);
    const QEvent::Type type = event->type();
    if (type == QEvent::PaletteChange || type == QEvent::ApplicationPaletteChange || type == QEvent::ThemeChange ||
        type == QEvent::StyleChange)
        recolour();
}

// The roles' colours in the current appearance: the body through the palette, the first line
// through its own format. Setting the palette sends a palette change of its own, hence the guard.
void OVInspectorView::recolour() {
    if (m_recolouring) return;
    m_recolouring = true;
    QPalette p = palette();
    p.setColor(QPalette::Base, OVTheme::color(BACKGROUND_ROLE));
    p.setColor(QPalette::Window, OVTheme::color(BACKGROUND_ROLE));
    p.setColor(QPalette::Text, OVTheme::color(TEXT_ROLE));
    p.setColor(QPalette::Highlight, OVTheme::color(SELECTION_ROLE));
    p.setColor(QPalette::HighlightedText, OVTheme::color(TEXT_ROLE));
    setPalette(p);
    if (m_titleLength > 0 && !document()->isEmpty()) {
        QTextCursor line(document());
        line.setPosition(m_titleLength, QTextCursor::KeepAnchor);
        QTextCharFormat title;
        title.setForeground(OVTheme::color(TITLE_ROLE));
        line.mergeCharFormat(title);
    }
    m_recolouring = false;
}
