// details_view.h: the inspector pane (OVInspectorView): the selected node in full, read-only and
// selectable.
//
// An inspector text can be megabytes long, and laying it out takes longer than a keystroke. The
// pane shows the first 8 KiB at once and appends the rest a moment later, a slice per turn of the
// event loop, only while the selection stays; so stepping through rows only ever lays out short
// heads, and a long text never holds the window for more than a slice. The text of a value written
// in more than WORKER_BYTES is made on a worker. Main thread only.
#ifndef OV_DETAILS_VIEW_H
#define OV_DETAILS_VIEW_H

#include <QByteArray>
#include <QPlainTextEdit>
#include <QString>

#include <cstdint>
#include <memory>

struct JxView;
class OVJob;
class QTextDocument;

class OVInspectorView : public QPlainTextEdit {
    Q_OBJECT
public:
    // The head's size in bytes, cut back to a whole character.
    static constexpr int HEAD_BYTES = 8192;
    // How long the head stands alone before the rest joins it.
    static constexpr int REST_DELAY_MS = 300;
    static constexpr int INSET = 10;
    // Most bytes of the rest laid out in one turn of the event loop (a few milliseconds).
    static constexpr int REST_SLICE = 16384;
    // Values written in more bytes than this get their text on a worker: making it costs about
    // what writing the value as pretty JSON does, up to the text's cap.
    static constexpr uint32_t WORKER_BYTES = 65536;

    explicit OVInspectorView(QWidget *parent = nullptr);

    // Shows the selected node of view with its path in style; nothing happens when node, style and
    // view are those shown and nothing invalidated them. While the pane is hidden it only
    // remembers to rebuild when next asked.
    void inspect(JxView *view, int style);
    // The next inspect rebuilds (the font, the settings or the view changed).
    void invalidate();
    // Takes the list font at its current size and rebuilds on the next inspect.
    void fontChanged();

    // A text is being made on a worker; idle() follows when it is shown.
    bool busy() const { return m_job != nullptr; }

    // What is laid out: the head alone, or the head and the rest.
    bool restShown() const { return m_restShown; }
    bool hasRest() const { return !m_rest.isEmpty(); }
    // The text not yet shown, as UTF-8 (empty once shown).
    const QByteArray &rest() const { return m_rest; }
    // The UTF-8 bytes of the head as cut from the inspector text.
    const QByteArray &head() const { return m_head; }

signals:
    void idle();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void showText(char *text, size_t length);
    void stopJob();
    void showFreshDocument();
    void retireDocument();
    void emptyLater(QTextDocument *old);
    void showHead();
    void scheduleRest();
    void appendRest();
    void recolour();

    JxView *m_view = nullptr;
    uint32_t m_node = 0;
    int m_style = -1;
    bool m_stale = true;
    uint64_t m_gen = 0;
    QByteArray m_head;
    QByteArray m_rest;
    int m_titleLength = 0; // characters of the head's first line
    bool m_restShown = false;
    qsizetype m_restAt = 0; // bytes of the rest laid out so far
    std::shared_ptr<OVJob> m_job;
    QObject *m_documents = nullptr; // parent of the pane's documents
    bool m_recolouring = false;
};

#endif
