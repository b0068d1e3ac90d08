#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace pictavo::imageio {

// Runs jobs 0, 1, 2, ... on worker threads, handed out in order and never
// more than `ahead` past the first job the owner has not taken yet, so that
// only a few results are held at a time. The owner waits for the jobs in
// order and says when it is done with them. A job that fails (returns false
// or throws) stops the rest. When no thread can be started, the owner's
// waits run the jobs on its own thread.
class OrderedJobs {
public:
    // Runs job `index` on worker `worker`: a number below the threads asked
    // for (0 on the owner's thread), whose jobs never run at the same time.
    using Job = std::function<bool(std::size_t index, unsigned worker)>;

    // Called on a worker thread once it has no more jobs to run, to let go
    // of what that worker kept between jobs.
    using WorkerDone = std::function<void(unsigned worker)>;

    OrderedJobs(std::size_t count, unsigned threads, std::size_t ahead, Job job, WorkerDone workerDone = {});
    // Hands out no more jobs and waits for the running ones.
    ~OrderedJobs();
    OrderedJobs(const OrderedJobs&) = delete;
    OrderedJobs& operator=(const OrderedJobs&) = delete;

    // Waits until jobs 0 .. end-1 are done; false once a job has failed.
    bool awaitUpTo(std::size_t end);
    // The owner is done with jobs 0 .. end-1, so jobs up to end-1+ahead may run.
    void taken(std::size_t end);
    // From now on, jobs may run up to `ahead` past the first one not taken.
    void setAhead(std::size_t ahead);

private:
    void work(unsigned worker);
    // Runs the next job with the lock released.
    void runNext(std::unique_lock<std::mutex>& lock, unsigned worker);
    void stop();

    const std::size_t count_;
    std::size_t ahead_;
    const Job job_;
    const WorkerDone workerDone_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t next_ = 0;
    std::vector<bool> done_;
    std::size_t doneBelow_ = 0;  // jobs below it are all done
    std::size_t taken_ = 0;
    bool failed_ = false;
    bool stopping_ = false;
    // Last, so that they are joined before anything they use goes.
    std::vector<std::jthread> threads_;
};

// Runs job(i) for i in 0 .. count-1 on up to `threads` threads (on this one
// when `threads` is 1); false when a job failed.
bool runJobs(std::size_t count, unsigned threads, const std::function<bool(std::size_t index)>& job);

}  // namespace pictavo::imageio
