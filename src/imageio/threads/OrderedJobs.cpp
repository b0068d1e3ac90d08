#include "imageio/threads/OrderedJobs.h"

#include <algorithm>

namespace pictavo::imageio {

OrderedJobs::OrderedJobs(std::size_t count, unsigned threads, std::size_t ahead, Job job, WorkerDone workerDone)
    : count_(count), ahead_(std::max<std::size_t>(ahead, 1)), job_(std::move(job)), workerDone_(std::move(workerDone)),
      done_(count)
{
    for (unsigned worker = 0; worker < threads; ++worker) {
        try {
            threads_.emplace_back([this, worker] { work(worker); });
        } catch (...) {
            break;  // fewer threads; with none at all, awaitUpTo() runs the jobs
        }
    }
}

OrderedJobs::~OrderedJobs()
{
    stop();
    threads_.clear();
}

void OrderedJobs::stop()
{
    std::lock_guard lock(mutex_);
    stopping_ = true;
    changed_.notify_all();
}

void OrderedJobs::runNext(std::unique_lock<std::mutex>& lock, unsigned worker)
{
    const std::size_t index = next_++;
    lock.unlock();
    bool ok = false;
    try {
        ok = job_(index, worker);
    } catch (...) {
        // A job that throws has failed: nothing may leave a worker thread,
        // which would end the process.
    }
    lock.lock();
    done_[index] = true;
    while (doneBelow_ < count_ && done_[doneBelow_])
        ++doneBelow_;
    failed_ = failed_ || !ok;
    changed_.notify_all();
}

void OrderedJobs::work(unsigned worker)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return stopping_ || failed_ || next_ >= count_ || next_ < taken_ + ahead_; });
        if (stopping_ || failed_ || next_ >= count_)
            break;
        runNext(lock, worker);
    }
    lock.unlock();
    if (workerDone_)
        workerDone_(worker);
}

bool OrderedJobs::awaitUpTo(std::size_t end)
{
    std::unique_lock lock(mutex_);
    while (threads_.empty() && !failed_ && next_ < end)
        runNext(lock, 0);
    changed_.wait(lock, [&] { return failed_ || doneBelow_ >= end; });
    return !failed_;
}

void OrderedJobs::taken(std::size_t end)
{
    std::lock_guard lock(mutex_);
    taken_ = end;
    changed_.notify_all();
}

void OrderedJobs::setAhead(std::size_t ahead)
{
    std::lock_guard lock(mutex_);
    ahead_ = std::max<std::size_t>(ahead, 1);
    changed_.notify_all();
}

bool runJobs(std::size_t count, unsigned threads, const std::function<bool(std::size_t index)>& job)
{
    if (threads <= 1 || count <= 1) {
        for (std::size_t i = 0; i < count; ++i)
            if (!job(i))
                return false;
        return true;
    }
    OrderedJobs jobs(count, static_cast<unsigned>(std::min<std::size_t>(threads, count)), count,
                     [&job](std::size_t index, unsigned) { return job(index); });
    return jobs.awaitUpTo(count);
}

}  // namespace pictavo::imageio
