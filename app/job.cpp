#include "job.h"

#include <jx/view.h>

#include <QCoreApplication>
#include <QThreadPool>

std::shared_ptr<OVJob> OVJob::create(QObject *owner) { return std::shared_ptr<OVJob>(new OVJob(owner)); }

OVJob::OVJob(QObject *owner) : m_owner(owner) {}

// The last reference can go on either thread; a view nobody else holds may be freed on any.
OVJob::~OVJob() { retire(); }

void OVJob::cancel() { std::atomic_ref<uint32_t>(m_cancel).store(1, std::memory_order_relaxed); }

bool OVJob::cancelled() const {
    return std::atomic_ref<uint32_t>(m_cancel).load(std::memory_order_relaxed) != 0;
}

void OVJob::retire() {
    jx_view_free(retireView);
    retireView = nullptr;
}

void OVJob::postProgress(double fraction) {
    if (fraction <= m_posted) return;
    m_posted = fraction;
    post([job = shared_from_this(), fraction] {
        if (job->owner() && job->onProgress) job->onProgress(*job, fraction);
    });
}

// The application object lives until the pool's workers are done (QCoreApplication waits for the
// global pool when it goes), so a post from a worker always has a live receiver.
void OVJob::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

void OVJob::run(std::function<void()> fn) { QThreadPool::globalInstance()->start(std::move(fn)); }
