// text_builder.h: builds the Text view model of the window's document on a worker and hands it
// to the view, with the progress line's "Preparing the Text view" while it runs.
//
// The window owns the builder and the view; it sets the current view and cancels the build when
// the view is replaced or the window closes. Main thread only.
#ifndef OV_TEXT_BUILDER_H
#define OV_TEXT_BUILDER_H

#include "job.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

struct JxText;
struct JxView;

class OVTextBuilder : public QObject {
    Q_OBJECT
public:
    explicit OVTextBuilder(QObject *parent = nullptr);
    // A running build is cancelled; its model is freed when its worker returns.
    ~OVTextBuilder() override;

    void setView(JxView *view) { m_view = view; }
    JxView *view() const { return m_view; }

    // Builds the model in mode (JX_TEXT_PRETTY or JX_TEXT_FILE) over the view's document, cancelling
    // a running build. Once built, and only if this is still the build wanted and the view shows
    // the same document, the view takes the model and switches to the Text view, then `then` runs.
    void build(int mode, std::function<void()> then = nullptr);
    // Stops the build (the user went back to the Tree view, the view is being replaced).
    void cancel();
    // A build runs or its model waits to be installed.
    bool busy() const { return m_job || m_waiting; }
    const std::shared_ptr<OVJob> &job() const { return m_job; }

    // The window's progress line: begins with a label, moves to a fraction (0 to 1), ends.
    std::function<void(const std::shared_ptr<OVJob> &, const QString &)> beginProgress;
    std::function<void(OVJob &, double)> progress;
    std::function<void(const OVJob *)> endProgress;
    // The view took a new model: the list drops what it kept of the old Text view.
    std::function<void()> installed;
    // The view changed: refresh.
    std::function<void()> changed;
    // The builder became idle (the window's waiting blocks may run).
    std::function<void()> becameIdle;
    // Runs install once nothing reads the model the view holds now (it is freed when replaced):
    // the window passes OVCopier::whenModelFree. Without it the model is replaced at once.
    std::function<void(const JxText *, std::function<void()>)> whenModelFree;

private:
    struct Built;
    void built(OVJob &job, Built &result, const std::function<void()> &then);
    void emitIdle();

    JxView *m_view = nullptr;
    std::shared_ptr<OVJob> m_job;
    uint64_t m_gen = 0;     // each build and cancel: an install for an older one is void
    bool m_waiting = false; // a built model waits for whenModelFree
};

#endif
