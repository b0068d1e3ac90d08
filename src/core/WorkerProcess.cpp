#include "core/WorkerProcess.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <set>
#include <string_view>

extern char** environ;

namespace pictavo {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A report is one short line; anything longer is nonsense and not read further.
constexpr std::size_t kMaxLineBytes = 64 * 1024;

// A pid stays listed until just before it is reaped, so a listed pid is never
// another process's. Never destroyed: workers may end while the process exits.
struct LiveWorkers {
    std::mutex mutex;
    std::set<pid_t> pids;
    bool abandoned = false;
};

LiveWorkers& liveWorkers()
{
    static LiveWorkers* workers = new LiveWorkers;
    return *workers;
}

}  // namespace

WorkerProcess& WorkerProcess::operator=(WorkerProcess&& other) noexcept
{
    if (this != &other) {
        stop();
        pid_ = std::exchange(other.pid_, -1);
        socket_ = std::exchange(other.socket_, -1);
        path_ = std::exchange(other.path_, {});
        socketFile_ = other.socketFile_;
        stderrFile_ = other.stderrFile_;
    }
    return *this;
}

WorkerProcess::FileId WorkerProcess::idOf(int descriptor)
{
    struct stat file{};
    if (::fstat(descriptor, &file) != 0)
        return {};
    return {file.st_dev, file.st_ino};
}

void WorkerProcess::abandonAll()
{
    LiveWorkers& workers = liveWorkers();
    const std::lock_guard lock(workers.mutex);
    workers.abandoned = true;
    for (const pid_t pid : workers.pids)
        ::kill(pid, SIGKILL);
}

bool WorkerProcess::abandoned()
{
    LiveWorkers& workers = liveWorkers();
    const std::lock_guard lock(workers.mutex);
    return workers.abandoned;
}

void WorkerProcess::kill(pid_t pid)
{
    LiveWorkers& workers = liveWorkers();
    const std::lock_guard lock(workers.mutex);
    if (workers.pids.contains(pid))
        ::kill(pid, SIGKILL);
}

std::chrono::milliseconds WorkerProcess::timeLimitFor(const fs::path& source)
{
    // Two minutes, plus one second per MiB of input: a 200 MP photo of 60 MB
    // gets three minutes, many times what it needs on a slow machine.
    std::error_code error;
    const std::uintmax_t size = fs::file_size(source, error);
    const auto extra = error ? 0ms : std::chrono::milliseconds(std::min<std::uintmax_t>(size >> 20, 3600) * 1000);
    return 120s + extra;
}

bool WorkerProcess::start(const fs::path& worker)
{
    LiveWorkers& workers = liveWorkers();
    const std::lock_guard lock(workers.mutex);
    if (workers.abandoned)
        return false;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return false;
    socket_ = fds[0];
    socketFile_ = idOf(fds[1]);
    stderrFile_ = idOf(STDERR_FILENO);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    // Threads of the application may block signals; the worker starts clean.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string program = worker.string();
    char* argv[] = {program.data(), nullptr};
    const int status = ::posix_spawn(&pid_, worker.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    if (status != 0) {
        pid_ = -1;
        ::close(socket_);
        socket_ = -1;
        return false;
    }
    workers.pids.insert(pid_);
    path_ = worker;
    return true;
}

void WorkerProcess::stop()
{
    if (pid_ > 0) {
        {
            LiveWorkers& workers = liveWorkers();
            const std::lock_guard lock(workers.mutex);
            workers.pids.erase(pid_);
            ::kill(pid_, SIGKILL);
        }
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }
    if (socket_ >= 0)
        ::close(socket_);
    socket_ = -1;
    path_.clear();
}

bool WorkerProcess::exited() const
{
    siginfo_t info{};
    return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
}

bool WorkerProcess::hasUnreadOutput() const
{
    pollfd poller{socket_, POLLIN, 0};
    return ::poll(&poller, 1, 0) > 0;
}

bool WorkerProcess::holdsOnlyWhatItStartedWith() const
{
    // Its threads share one descriptor table (the filter lets it make no
    // other, nor a process), so /proc shows every descriptor it has. A table
    // that cannot be read (a worker that made itself undumpable, say) or
    // lacks the socket (its main thread ended, another holding the files)
    // is not believed.
    const std::string folder = "/proc/" + std::to_string(pid_) + "/fd";
    DIR* descriptors = ::opendir(folder.c_str());
    if (!descriptors)
        return false;
    bool onlyStarted = true;
    int socketSeen = 0;
    while (const dirent* entry = ::readdir(descriptors)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        const bool isSocket = name == "0" || name == "1";
        struct stat file{};
        if ((isSocket || name == "2") && ::fstatat(::dirfd(descriptors), entry->d_name, &file, 0) == 0 &&
            FileId{file.st_dev, file.st_ino} == (isSocket ? socketFile_ : stderrFile_))
            socketSeen += isSocket;
        else
            onlyStarted = false;
    }
    ::closedir(descriptors);
    return onlyStarted && socketSeen == 2;
}

std::optional<std::string> WorkerProcess::receiveLine(std::chrono::steady_clock::time_point deadline)
{
    std::string line;
    char byte = 0;
    while (line.size() <= kMaxLineBytes) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left <= 0ms)
            return std::nullopt;
        pollfd poller{socket_, POLLIN, 0};
        const int ready = ::poll(&poller, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
        if (ready < 0 && errno != EINTR)
            return std::nullopt;
        if (ready <= 0)
            continue;
        const ssize_t got = ::recv(socket_, &byte, 1, 0);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return std::nullopt;
        line.push_back(byte);
        if (byte == '\n')
            return line;
    }
    return std::nullopt;
}

}  // namespace pictavo
