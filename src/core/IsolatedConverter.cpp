#include "core/IsolatedConverter.h"

#include "core/Converter.h"

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

constexpr std::string_view kOkPrefix = "ok ";
constexpr std::string_view kErrorPrefix = "error ";

bool isExecutableFile(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

std::string hexEncode(std::string_view bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        hex.push_back(digits[byte >> 4]);
        hex.push_back(digits[byte & 0xf]);
    }
    return hex;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::optional<std::string> hexDecode(std::string_view hex)
{
    if (hex.empty() || hex.size() % 2 != 0)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = hexDigit(hex[i]), low = hexDigit(hex[i + 1]);
        if (high < 0 || low < 0 || (high == 0 && low == 0))
            return std::nullopt;
        bytes.push_back(static_cast<char>(high << 4 | low));
    }
    return bytes;
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

    bool send(std::string_view line)
    {
        while (!line.empty()) {
            const ssize_t sent = ::send(socket_, line.data(), line.size(), MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent <= 0)
                return false;
            line.remove_prefix(static_cast<std::size_t>(sent));
        }
        return true;
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

// base.ext or base-N.ext, N a decimal number without sign or leading zeros.
bool isCandidateName(const std::string& name, const fs::path& source, OutputFormat to)
{
    const std::string base = source.stem().string(), suffix = "." + ext(to);
    if (!name.starts_with(base) || !name.ends_with(suffix) || name.size() < base.size() + suffix.size())
        return false;
    const std::string_view counter =
        std::string_view(name).substr(base.size(), name.size() - base.size() - suffix.size());
    if (counter.empty())
        return true;
    if (counter.size() < 2 || counter[0] != '-' || counter[1] == '0')
        return false;
    return counter.substr(1).find_first_not_of("0123456789") == std::string_view::npos;
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
    WorkerProcess& process = threadWorker();
    if (process.running() && (process.path() != worker || process.exited()))
        process.stop();
    // Not being able to start a process says nothing about the file: convert
    // it here rather than fail it (unless the process is quitting).
    if (!process.running() && !process.start(worker))
        return abandoned() ? ConversionResult::failure(source, kCouldNotReadImage)
                           : Converter::convert(source, to, quality, outputDir);

    // A stop kills the worker from the thread that asks for it; its socket
    // closes and the wait for its report below ends at once.
    const std::stop_callback killOnStop(stop, [pid = process.pid()] { killWorker(pid); });

    const fs::path folder = outputDir ? *outputDir : source.parent_path();
    std::optional<ConversionResult> reported;
    if (process.send(requestLine({source, to, quality, outputDir}))) {
        std::optional<std::string> line = process.receiveLine(deadline);
        if (line && !process.hasUnreadOutput())
            reported = parseReport(*line, source, to, folder);
    }
    // A worker that failed a file may have been hurt by it: the next file gets a fresh one.
    if (!reported || !reported->ok())
        process.stop();
    return reported ? std::move(*reported) : ConversionResult::failure(source, kCouldNotReadImage);
}

std::string IsolatedConverter::requestLine(const Request& request)
{
    return hexEncode(request.source.native()) + " " + ext(request.to) + " " + qualityText(request.quality) + " " +
           (request.outputDir ? hexEncode(request.outputDir->native()) : std::string("-")) + "\n";
}

std::optional<IsolatedConverter::Request> IsolatedConverter::parseRequest(std::string_view line)
{
    if (line.empty() || line.back() != '\n')
        return std::nullopt;
    line.remove_suffix(1);
    std::vector<std::string_view> fields;
    for (std::size_t space; (space = line.find(' ')) != std::string_view::npos; line.remove_prefix(space + 1))
        fields.push_back(line.substr(0, space));
    fields.push_back(line);
    if (fields.size() != 4)
        return std::nullopt;

    Request request;
    std::optional<std::string> source = hexDecode(fields[0]);
    std::optional<OutputFormat> format;
    for (OutputFormat candidate : allOutputFormats) {
        if (ext(candidate) == fields[1])
            format = candidate;
    }
    const std::string quality(fields[2]);
    char* end = nullptr;
    request.quality = std::strtod(quality.c_str(), &end);
    if (!source || !format || quality.empty() || *end != '\0')
        return std::nullopt;
    request.source = *source;
    request.to = *format;
    if (fields[3] != "-") {
        std::optional<std::string> folder = hexDecode(fields[3]);
        if (!folder)
            return std::nullopt;
        request.outputDir = fs::path(*folder);
    }
    return request;
}

std::string IsolatedConverter::reportLine(const ConversionResult& result)
{
    if (result.ok() && result.output())
        return std::string(kOkPrefix) + hexEncode(result.output()->native()) + "\n";
    return std::string(kErrorPrefix) + result.error().value_or(std::string(kCouldNotReadImage)) + "\n";
}

std::optional<ConversionResult> IsolatedConverter::parseReport(std::string_view report, const fs::path& source,
                                                               OutputFormat to, const fs::path& expectedFolder)
{
    if (report.empty() || report.back() != '\n')
        return std::nullopt;
    report.remove_suffix(1);
    if (report.find('\n') != std::string_view::npos)
        return std::nullopt;

    if (report.starts_with(kErrorPrefix)) {
        const std::string_view text = report.substr(kErrorPrefix.size());
        for (std::string_view known : {kCouldNotReadImage, kCouldNotCreateOutput, kWriteFailed}) {
            if (text == known)
                return ConversionResult::failure(source, known);
        }
        return std::nullopt;
    }
    if (!report.starts_with(kOkPrefix))
        return std::nullopt;
    std::optional<std::string> bytes = hexDecode(report.substr(kOkPrefix.size()));
    if (!bytes)
        return std::nullopt;
    const fs::path output(*bytes);
    // Only a file the worker could have written: a regular file under one of
    // the names the converter chooses from, in the folder it was given.
    std::error_code error;
    if (Converter::normalFolder(output.parent_path()) != Converter::normalFolder(expectedFolder) ||
        !isCandidateName(output.filename().string(), source, to) ||
        !fs::is_regular_file(fs::symlink_status(output, error)))
        return std::nullopt;
    return ConversionResult(source, output, std::nullopt);
}

}  // namespace pictavo
