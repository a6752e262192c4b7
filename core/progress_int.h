/* progress_int.h: reading a caller's progress record from a working thread. */
#ifndef JX_PROGRESS_INT_H
#define JX_PROGRESS_INT_H

#include <atomic>
#include <cstdint>

#include "jx/base.h"

/* Long operations over a text check the cancel flag and report progress once
 * per this many bytes. */
inline constexpr uint64_t JX_PROGRESS_STEP = 16u << 20;

/* Whether the caller has asked the operation to stop. The flag is written by
 * another thread, so it is only ever read with an atomic load. */
inline bool jx__cancel_requested(const jx_progress *pr) {
    return pr && pr->cancel && std::atomic_ref<uint32_t>(*pr->cancel).load(std::memory_order_relaxed) != 0;
}

/* Reports progress to the caller's callback, when there is one. */
inline void jx__report(const jx_progress *pr, uint64_t done, uint64_t total) {
    if (pr && pr->fn) pr->fn(pr->ctx, done, total);
}

#endif
