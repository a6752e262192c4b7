// job.h: one background operation (a load, a reload, a search, a Text view build).
//
// A job is shared between the main thread and one worker of the application's thread pool
// (std::shared_ptr). The worker reads the cancel flag and posts progress and its result; the main
// thread owns everything else. Posts go to the application object, which outlives every worker
// (the application waits for its pool before it goes), and reach the job's owner only if the owner
// still exists then: a worker never touches a window, and a result that comes back after its
// window closed is destroyed on arrival.
#ifndef OV_JOB_H
#define OV_JOB_H

#include <QObject>
#include <QPointer>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

struct JxView;

// A view the window no longer shows that a worker may still read (the search the view owns, its
// Text view model). Every job that reads it keeps a copy; the last one to let go hands the view back
// to the main thread, which frees it with the function given to ov_hold_view. Any thread may drop a
// copy.
using OVViewHold = std::shared_ptr<JxView>;
// Main thread. Null for a null view. dispose runs on the main thread once nobody holds the view.
OVViewHold ov_hold_view(JxView *view, void (*dispose)(JxView *) = nullptr);

class OVJob : public std::enable_shared_from_this<OVJob> {
public:
    // owner: the object results and progress are for (main thread).
    static std::shared_ptr<OVJob> create(QObject *owner);
    ~OVJob();
    OVJob(const OVJob &) = delete;
    OVJob &operator=(const OVJob &) = delete;

    // Any thread. Asks the worker to stop; the parser and the search notice it at their next
    // checkpoint.
    void cancel();
    bool cancelled() const;
    // The flag itself, for the core's jx_progress (read there with atomic loads).
    uint32_t *cancelFlag() { return &m_cancel; }

    // Main thread: the owner, or null once it is gone.
    QObject *owner() const { return m_owner.data(); }
    // Main thread: receives each progress fraction the worker posts, while the owner exists.
    std::function<void(OVJob &job, double fraction)> onProgress;
    // Main thread: a view the job keeps until it ends (the window hands over a view that a running
    // search or copy still reads); retire() lets it go, and so does the job's end when nobody did.
    OVViewHold retireView;
    void retire();

    // Worker: time (steady clock, ms) of the last progress post, for work that limits its rate.
    uint64_t lastPost = 0;
    // Worker: posts fraction (0 to 1) for onProgress. A fraction not above the last one posted is
    // dropped, so that the line never goes back.
    void postProgress(double fraction);
    // Worker: a jx_progress callback (ctx: the OVJob) that posts done / total (1 when total is 0),
    // at most once every 100 ms.
    static void rateProgress(void *job, uint64_t done, uint64_t total);

    // Main thread: runs work on a worker and hands its result to deliver on the main thread when
    // the owner still exists; otherwise the result is only destroyed (its destructor frees what it
    // holds). Result must be movable.
    template <class Result>
    static void start(const std::shared_ptr<OVJob> &job, std::function<Result(OVJob &)> work,
                      std::function<void(OVJob &, Result &)> deliver);

private:
    explicit OVJob(QObject *owner);
    // Any thread: runs fn on the main thread, on the application object.
    static void post(std::function<void()> fn);
    static void run(std::function<void()> fn);

    mutable uint32_t m_cancel = 0; // only through std::atomic_ref
    QPointer<QObject> m_owner;
    double m_posted = -1;
};

template <class Result>
void OVJob::start(const std::shared_ptr<OVJob> &job, std::function<Result(OVJob &)> work,
                  std::function<void(OVJob &, Result &)> deliver) {
    run([job, work = std::move(work), deliver = std::move(deliver)] {
        auto result = std::make_shared<Result>(work(*job));
        post([job, deliver, result] {
            if (job->owner()) deliver(*job, *result);
        });
    });
}

#endif
