#include "job.h"

#include <jx/view.h>

#include <QCoreApplication>
#include <QThread>
#include <QThreadPool>

#include <algorithm>
#include <chrono>

// Fewer posts would make progress and live search hits look stuck; more would flood the main
// thread with reports nobody can see.
static constexpr uint64_t POST_INTERVAL_MS = 100;

OVViewHold ov_hold_view(JxView *view, void (*dispose)(JxView *)) {
    if (!view) return nullptr;
    if (!dispose) dispose = jx_view_free;
    return OVViewHold(view, [dispose](JxView *v) {
        // A view belongs to the main thread: a worker that lets go last sends it back there.
        QCoreApplication *app = QCoreApplication::instance();
        if (app && QThread::currentThread() != app->thread())
            QMetaObject::invokeMethod(app, [dispose, v] { dispose(v); }, Qt::QueuedConnection);
        else
            dispose(v);
    });
}

std::shared_ptr<OVJob> OVJob::create(QObject *owner) { return std::shared_ptr<OVJob>(new OVJob(owner)); }

OVJob::OVJob(QObject *owner) : m_owner(owner) {}

// The last reference can go on either thread; a held view finds its way back to the main thread.
OVJob::~OVJob() { retire(); }

void OVJob::cancel() { std::atomic_ref<uint32_t>(m_cancel).store(1, std::memory_order_relaxed); }

bool OVJob::cancelled() const {
    return std::atomic_ref<uint32_t>(m_cancel).load(std::memory_order_relaxed) != 0;
}

void OVJob::retire() { retireView.reset(); }

void OVJob::postProgress(double fraction) {
    if (fraction <= m_posted) return;
    m_posted = fraction;
    post([job = shared_from_this(), fraction] {
        if (job->owner() && job->onProgress) job->onProgress(*job, fraction);
    });
}

void OVJob::rateProgress(void *ctx, uint64_t done, uint64_t total) {
    auto *job = static_cast<OVJob *>(ctx);
    const uint64_t now = uint64_t(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now().time_since_epoch())
                                      .count());
    if (job->lastPost && now - job->lastPost < POST_INTERVAL_MS) return;
    job->lastPost = now;
    job->postProgress(total ? double(std::min(done, total)) / double(total) : 1.0);
}

// The application object lives until the pool's workers are done (QCoreApplication waits for the
// global pool when it goes), so a post from a worker always has a live receiver.
void OVJob::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

void OVJob::run(std::function<void()> fn) { QThreadPool::globalInstance()->start(std::move(fn)); }
