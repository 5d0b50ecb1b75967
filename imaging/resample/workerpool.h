// SPDX-License-Identifier: MIT
// The imaging layer's pool of worker threads: resampling bands run on it while the
// calling thread waits.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace imaging::detail {

class WorkerPool {
public:
    using Job = std::function<std::uint32_t()>;

    static WorkerPool& instance();

    /// Starts `count` workers unless some are running already.
    bool start(unsigned count);
    /// Finishes the queued jobs and joins the workers.
    void stop();
    unsigned workers() const;
    /// True on one of the pool's own threads.
    static bool onWorkerThread();

    /// Runs the jobs on the pool and waits for all of them. Returns the first non-zero
    /// code a job returned (a job that throws counts as IS5_ERR_MEMORY for bad_alloc,
    /// IS5_ERR_JOB_FAILED for anything else), 0 when all succeeded, IS5_ERR_NO_POOL
    /// without workers or jobs.
    /// With `timeoutSeconds` > 0 a wait longer than that sets `cancel` (which the jobs
    /// watch), waits for them to stop, and returns IS5_ERR_TIMEOUT.
    std::uint32_t run(std::vector<Job>& jobs, double timeoutSeconds, std::atomic<bool>& cancel);

    ~WorkerPool();

private:
    struct Batch {
        std::mutex mutex;
        std::condition_variable done;
        std::size_t remaining = 0;
        std::uint32_t code = 0;
    };
    struct Task {
        Job* job;
        Batch* batch;
    };
    void workerLoop();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Task> m_queue;
    std::vector<std::thread> m_threads;
    bool m_stopping = false;
};

} // namespace imaging::detail
