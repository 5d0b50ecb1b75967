// SPDX-License-Identifier: MIT
// The worker pool, is5_Initialize and the per-thread progress callback.
#include "imaging/resample/workerpool.h"

#include "imaging/detail/lasterror.h"
#include "imaging/is5.h"

#include <chrono>
#include <new>

namespace imaging::detail {

namespace {
thread_local bool t_onWorker = false;
constexpr unsigned kResampleWorkers = 4;
} // namespace

WorkerPool& WorkerPool::instance() {
    static WorkerPool pool;
    return pool;
}

WorkerPool::~WorkerPool() { stop(); }

bool WorkerPool::start(unsigned count) {
    std::lock_guard lock(m_mutex);
    if (!m_threads.empty()) return true;
    m_stopping = false;
    try {
        for (unsigned i = 0; i < count; ++i) m_threads.emplace_back([this] { workerLoop(); });
    } catch (const std::system_error&) {
        // Whatever started keeps running; fewer workers still work.
    }
    return !m_threads.empty();
}

void WorkerPool::stop() {
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        threads.swap(m_threads);
    }
    m_wake.notify_all();
    for (auto& t : threads) t.join();
}

unsigned WorkerPool::workers() const {
    std::lock_guard lock(m_mutex);
    return static_cast<unsigned>(m_threads.size());
}

bool WorkerPool::onWorkerThread() { return t_onWorker; }

void WorkerPool::workerLoop() {
    t_onWorker = true;
    for (;;) {
        Task task{};
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_queue.empty()) return; // stopping with nothing left to do
            task = m_queue.front();
            m_queue.pop_front();
        }
        // A job that throws fails its batch, never the program: the bands grow per-thread
        // buffers, and an exception leaving this thread would end the process.
        std::uint32_t code;
        try {
            code = (*task.job)();
        } catch (const std::bad_alloc&) {
            code = IS5_ERR_MEMORY;
        } catch (...) {
            code = IS5_ERR_JOB_FAILED;
        }
        std::lock_guard lock(task.batch->mutex);
        if (code && !task.batch->code) task.batch->code = code;
        if (--task.batch->remaining == 0) task.batch->done.notify_all();
    }
}

std::uint32_t WorkerPool::run(std::vector<Job>& jobs, double timeoutSeconds, std::atomic<bool>& cancel) {
    if (jobs.empty()) return IS5_ERR_NO_POOL;
    Batch batch;
    batch.remaining = jobs.size();
    {
        std::lock_guard lock(m_mutex);
        if (m_threads.empty() || m_stopping) return IS5_ERR_NO_POOL;
        for (auto& job : jobs) m_queue.push_back(Task{&job, &batch});
    }
    m_wake.notify_all();

    std::unique_lock lock(batch.mutex);
    bool timedOut = false;
    if (timeoutSeconds > 0) {
        auto limit = std::chrono::duration<double>(timeoutSeconds);
        if (!batch.done.wait_for(lock, limit, [&] { return batch.remaining == 0; })) {
            timedOut = true;
            cancel.store(true);
        }
    }
    // The jobs write into the caller's buffers: never return before every one has ended.
    batch.done.wait(lock, [&] { return batch.remaining == 0; });
    return timedOut ? IS5_ERR_TIMEOUT : batch.code;
}

} // namespace imaging::detail

BOOL is5_Initialize(std::uint32_t) {
    bool ok = imaging::detail::WorkerPool::instance().start(imaging::detail::kResampleWorkers);
    if (!ok) return imaging::detail::failBool(IS5_ERR_NO_POOL, "is5_Initialize");
    return imaging::detail::succeed<BOOL>("is5_Initialize", TRUE);
}

void is5_Shutdown() { imaging::detail::WorkerPool::instance().stop(); }

std::uint32_t is5_GetWorkerCount() { return imaging::detail::WorkerPool::instance().workers(); }
