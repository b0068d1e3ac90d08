#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace pictavo {

// A worker process talking over one socket, which is its stdin and stdout;
// stderr is shared (sanitizer reports stay visible), nothing else is inherited.
// Every worker alive in this process is listed, so that a quitting process
// can end them all from any thread. It ends when killed by this process, or
// when the thread that started it ends.
class WorkerProcess {
public:
    WorkerProcess() = default;
    WorkerProcess(WorkerProcess&& other) noexcept { *this = std::move(other); }
    WorkerProcess& operator=(WorkerProcess&& other) noexcept;
    ~WorkerProcess() { stop(); }

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
    // True when the worker holds nothing but what it was started with: the
    // socket as descriptors 0 and 1, and this process's stderr as 2 (or no
    // 2), as after a file when it has let go of the photo and the output.
    // False too when its descriptors cannot be listed.
    bool holdsOnlyWhatItStartedWith() const;
    // The next line the worker writes, newline included; none when it ends,
    // closes its output, overruns the deadline or writes too much first.
    std::optional<std::string> receiveLine(std::chrono::steady_clock::time_point deadline);

private:
    struct FileId {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const FileId&) const = default;
    };
    // The file open as `descriptor`; one that matches no file when none is.
    static FileId idOf(int descriptor);

    pid_t pid_ = -1;
    int socket_ = -1;
    std::filesystem::path path_;
    // What the worker's descriptors 0 and 1, and 2, were started as.
    FileId socketFile_;
    FileId stderrFile_;
};

}  // namespace pictavo
