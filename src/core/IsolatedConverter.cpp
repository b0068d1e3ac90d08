#include "core/IsolatedConverter.h"

#include "core/Converter.h"

#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>
#include <set>
#include <vector>

extern char** environ;

namespace pictavo {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// A report is one short line; anything longer is nonsense and not read further.
constexpr std::size_t kMaxReportBytes = 64 * 1024;

constexpr std::string_view kOk = "ok";
constexpr std::string_view kErrorPrefix = "error ";

bool isExecutableFile(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

// Every worker alive in this process, so that a quitting process can end
// them from any thread. A pid stays listed until just before it is reaped, so
// a listed pid is never another process's. Never destroyed: workers may end
// while the process exits.
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

bool abandoned()
{
    LiveWorkers& workers = liveWorkers();
    const std::lock_guard lock(workers.mutex);
    return workers.abandoned;
}

// Kills the worker `pid` if it is still listed (not yet reaped, so the pid is
// still that worker's); callable from any thread.
void killWorker(pid_t pid)
{
    LiveWorkers& workers = liveWorkers();
    const std::lock_guard lock(workers.mutex);
    if (workers.pids.contains(pid))
        ::kill(pid, SIGKILL);
}

// A worker process talking over one socket, which is its stdin and stdout;
// stderr is shared (sanitizer reports stay visible), nothing else is inherited.
class WorkerProcess {
public:
    WorkerProcess() = default;
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;
    ~WorkerProcess() { stop(); }

    // False when the worker could not be started, or the process is quitting.
    bool start(const fs::path& worker)
    {
        LiveWorkers& workers = liveWorkers();
        const std::lock_guard lock(workers.mutex);
        if (workers.abandoned)
            return false;
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
            return false;
        socket_ = fds[0];

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

    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    const fs::path& path() const { return path_; }

    // True when the worker has ended on its own (it stays a zombie until stop()).
    bool exited() const
    {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
    }

    // True when the worker has written more than was asked for.
    bool hasUnreadOutput() const
    {
        pollfd poller{socket_, POLLIN, 0};
        return ::poll(&poller, 1, 0) > 0;
    }

    // Sends `line` with `files` attached to its first byte.
    bool send(std::string_view line, std::initializer_list<int> files)
    {
        alignas(cmsghdr) char control[CMSG_SPACE(2 * sizeof(int))] = {};
        msghdr message{};
        if (files.size() > 0) {
            message.msg_control = control;
            message.msg_controllen = CMSG_SPACE(files.size() * sizeof(int));
            cmsghdr* header = CMSG_FIRSTHDR(&message);
            header->cmsg_level = SOL_SOCKET;
            header->cmsg_type = SCM_RIGHTS;
            header->cmsg_len = CMSG_LEN(files.size() * sizeof(int));
            std::memcpy(CMSG_DATA(header), std::data(files), files.size() * sizeof(int));
        }
        while (!line.empty()) {
            iovec vector{const_cast<char*>(line.data()), line.size()};
            message.msg_iov = &vector;
            message.msg_iovlen = 1;
            const ssize_t sent = ::sendmsg(socket_, &message, MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return false;
            line.remove_prefix(static_cast<std::size_t>(sent));
            message.msg_control = nullptr;
            message.msg_controllen = 0;
        }
        return true;
    }

    // True when the worker holds no descriptor but its standard ones, as
    // after a file when it has let go of the photo and the output. Its
    // threads share one descriptor table (it can start no process), so
    // /proc shows every descriptor it has. True where /proc cannot tell.
    bool holdsNoFiles() const
    {
        const std::string folder = "/proc/" + std::to_string(pid_) + "/fd";
        DIR* descriptors = ::opendir(folder.c_str());
        if (!descriptors)
            return true;
        bool onlyStandard = true;
        while (const dirent* entry = ::readdir(descriptors)) {
            const std::string_view name = entry->d_name;
            if (name != "." && name != ".." && name != "0" && name != "1" && name != "2")
                onlyStandard = false;
        }
        ::closedir(descriptors);
        return onlyStandard;
    }

    // The next line the worker writes, newline included; none when it ends,
    // closes its output, overruns the deadline or writes too much first.
    std::optional<std::string> receiveLine(std::chrono::steady_clock::time_point deadline)
    {
        std::string line;
        char byte = 0;
        while (line.size() <= kMaxReportBytes) {
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

    // Kills the worker, whatever it is doing, and reaps it.
    void stop()
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

private:
    pid_t pid_ = -1;
    int socket_ = -1;
    fs::path path_;
};

// The worker of the calling thread: a run converts its files on one thread,
// so they share one warm worker, which ends with the thread.
WorkerProcess& threadWorker()
{
    thread_local WorkerProcess worker;
    return worker;
}

std::string qualityText(double quality)
{
    // Hexadecimal floating point: the worker reads back exactly this double.
    char text[64];
    std::snprintf(text, sizeof text, "%a", quality);
    return text;
}

}  // namespace

std::optional<fs::path> IsolatedConverter::locateWorker()
{
    std::vector<fs::path> candidates;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) {
        candidates.push_back(self.parent_path() / kWorkerName);
        candidates.push_back(self.parent_path().parent_path() / "libexec" / "pictavo" / kWorkerName);
    }
#ifdef PICTAVO_INSTALLED_WORKER
    candidates.emplace_back(PICTAVO_INSTALLED_WORKER);
#endif
#ifdef PICTAVO_BUILT_WORKER
    candidates.emplace_back(PICTAVO_BUILT_WORKER);
#endif
    for (const fs::path& candidate : candidates) {
        if (isExecutableFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

std::chrono::milliseconds IsolatedConverter::timeLimitFor(const fs::path& source)
{
    // Two minutes, plus one second per MiB of input: a 200 MP photo of 60 MB
    // gets three minutes, many times what it needs on a slow machine.
    std::error_code error;
    const std::uintmax_t size = fs::file_size(source, error);
    const auto extra = error ? 0ms : std::chrono::milliseconds(std::min<std::uintmax_t>(size >> 20, 3600) * 1000);
    return 120s + extra;
}

void IsolatedConverter::abandonAll()
{
    LiveWorkers& workers = liveWorkers();
    const std::lock_guard lock(workers.mutex);
    workers.abandoned = true;
    for (const pid_t pid : workers.pids)
        ::kill(pid, SIGKILL);
}

ConversionResult IsolatedConverter::convert(const fs::path& source, OutputFormat to, double quality,
                                            const std::optional<fs::path>& outputDir, std::stop_token stop)
{
    static const std::optional<fs::path> worker = locateWorker();
    if (abandoned() || stop.stop_requested())
        return ConversionResult::failure(source, kCouldNotReadImage);
    if (!worker)
        return Converter::convert(source, to, quality, outputDir);
    return convertInWorker(*worker, timeLimitFor(source), source, to, quality, outputDir, std::move(stop));
}

ConversionResult IsolatedConverter::convertInWorker(const fs::path& worker, std::chrono::milliseconds timeLimit,
                                                    const fs::path& source, OutputFormat to, double quality,
                                                    const std::optional<fs::path>& outputDir, std::stop_token stop)
{
    if (stop.stop_requested())
        return ConversionResult::failure(source, kCouldNotReadImage);
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    auto transcodeInWorker = [&](imageio::UniqueFd photo, int output) {
        WorkerProcess& process = threadWorker();
        if (process.running() && (process.path() != worker || process.exited()))
            process.stop();
        // Not being able to start a process says nothing about the file:
        // convert it here rather than fail it (unless the process is quitting).
        if (!process.running() && !process.start(worker))
            return abandoned() ? Transcoding::unreadable : Converter::transcode(std::move(photo), output, to, quality);

        // A stop kills the worker from the thread that asks for it; its socket
        // closes and the wait for its report below ends at once.
        const std::stop_callback killOnStop(stop, [pid = process.pid()] { killWorker(pid); });
        std::optional<Transcoding> reported;
        if (process.send(requestLine({to, quality}), {photo.get(), output})) {
            photo.reset();
            std::optional<std::string> line = process.receiveLine(deadline);
            if (line && !process.hasUnreadOutput())
                reported = parseReport(*line);
        }
        // Success counts only with something written, and once the worker can
        // no longer change the output it is about to get a name.
        struct stat written{};
        if (reported == Transcoding::done &&
            (::fstat(output, &written) != 0 || written.st_size == 0 || !process.holdsNoFiles()))
            reported.reset();
        // A worker that failed a file may have been hurt by it: the next file gets a fresh one.
        if (reported != Transcoding::done)
            process.stop();
        return reported.value_or(Transcoding::unreadable);
    };
    return Converter::convertWith(transcodeInWorker, source, to, outputDir);
}

std::string IsolatedConverter::requestLine(const Request& request)
{
    return ext(request.to) + " " + qualityText(request.quality) + "\n";
}

std::optional<IsolatedConverter::Request> IsolatedConverter::parseRequest(std::string_view line)
{
    if (line.empty() || line.back() != '\n')
        return std::nullopt;
    line.remove_suffix(1);
    const std::size_t space = line.find(' ');
    if (space == std::string_view::npos)
        return std::nullopt;
    Request request;
    std::optional<OutputFormat> format;
    for (OutputFormat candidate : allOutputFormats) {
        if (ext(candidate) == line.substr(0, space))
            format = candidate;
    }
    const std::string quality(line.substr(space + 1));
    char* end = nullptr;
    request.quality = std::strtod(quality.c_str(), &end);
    if (!format || quality.empty() || *end != '\0' || quality.find('\0') != std::string::npos)
        return std::nullopt;
    request.to = *format;
    return request;
}

std::string IsolatedConverter::reportLine(Transcoding outcome)
{
    switch (outcome) {
    case Transcoding::done:
        return std::string(kOk) + "\n";
    case Transcoding::writeFailed:
        return std::string(kErrorPrefix) + std::string(kWriteFailed) + "\n";
    case Transcoding::unreadable:
        break;
    }
    return std::string(kErrorPrefix) + std::string(kCouldNotReadImage) + "\n";
}

std::optional<Transcoding> IsolatedConverter::parseReport(std::string_view report)
{
    if (report == std::string(kOk) + "\n")
        return Transcoding::done;
    for (const Transcoding failure : {Transcoding::unreadable, Transcoding::writeFailed}) {
        if (report == reportLine(failure))
            return failure;
    }
    return std::nullopt;
}

}  // namespace pictavo
