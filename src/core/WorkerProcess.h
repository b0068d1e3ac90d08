#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

namespace pictavo {

// A worker process talking over one socket, which is its stdin and stdout;
// stderr is shared (sanitizer reports stay visible), nothing else is inherited.
// Every worker alive in this process is listed, so that a quitting process
// can end them all from any thread.
class WorkerProcess {
public:
    WorkerProcess() = default;
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;
    ~WorkerProcess() { stop(); }

    // The worker of the calling thread: a run converts its files on one
    // thread, so they share one warm worker, which ends with the thread.
    static WorkerProcess& ofThisThread();
    // Kills every worker at once and lets no other start from then on.
    static void abandonAll();
    static bool abandoned();
    // Kills the worker `pid` if it is still listed (not yet reaped, so the
    // pid is still that worker's); callable from any thread.
    static void kill(pid_t pid);

    // Time allowed for one file: generous for the largest real photos, yet
    // bounded for a file that makes the decoder loop.
    static std::chrono::milliseconds timeLimitFor(const std::filesystem::path& source);

    // False when the worker could not be started, or the process is quitting.
    bool start(const std::filesystem::path& worker);
    // Kills the worker, whatever it is doing, and reaps it.
    void stop();

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    int socket() const { return socket_; }
    const std::filesystem::path& path() const { return path_; }

    // True when the worker has ended on its own (it stays a zombie until stop()).
    bool exited() const;
    // True when the worker has written more than was asked for.
    bool hasUnreadOutput() const;
    // True when the worker holds no descriptor but its standard ones, as
    // after a file when it has let go of the photo and the output.
    bool holdsNoFiles() const;
    // The next line the worker writes, newline included; none when it ends,
    // closes its output, overruns the deadline or writes too much first.
    std::optional<std::string> receiveLine(std::chrono::steady_clock::time_point deadline);

private:
    pid_t pid_ = -1;
    int socket_ = -1;
    std::filesystem::path path_;
};

}  // namespace pictavo
