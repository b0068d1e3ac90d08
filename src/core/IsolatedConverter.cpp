#include "core/IsolatedConverter.h"

#include "core/Converter.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <thread>
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

ConversionResult failure(const fs::path& source, std::string_view message)
{
    return ConversionResult(source, std::nullopt, std::string(message));
}

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

// The worker's stdout is the write end of a pipe, stdin is /dev/null, stderr
// is shared (sanitizer reports stay visible), and nothing else is inherited.
class WorkerProcess {
public:
    // False when the worker could not be started (errno set).
    bool start(const fs::path& worker, const std::vector<std::string>& arguments)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return false;
        readEnd_ = fds[0];

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
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

        std::vector<char*> argv;
        std::string program = worker.string();
        argv.push_back(program.data());
        std::vector<std::string> copies = arguments;
        for (std::string& argument : copies)
            argv.push_back(argument.data());
        argv.push_back(nullptr);

        const int status = ::posix_spawn(&pid_, worker.c_str(), &actions, &attributes, argv.data(), environ);
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (status != 0) {
            pid_ = -1;
            errno = status;
            return false;
        }
        return true;
    }

    ~WorkerProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            waitForExit();
        }
        if (readEnd_ >= 0)
            ::close(readEnd_);
    }

    // Reads the worker's output until it closes it, and waits for the worker
    // to end. Kills it when the deadline passes or the output grows too long.
    // The exit status, or none when it had to be killed.
    std::optional<int> finish(std::chrono::steady_clock::time_point deadline)
    {
        bool overran = false;
        std::array<char, 4096> buffer;
        while (!overran) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left <= 0ms) {
                overran = true;
                break;
            }
            pollfd poller{readEnd_, POLLIN, 0};
            const int ready = ::poll(&poller, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
            if (ready < 0 && errno != EINTR)
                overran = true;
            if (ready <= 0)
                continue;
            const ssize_t got = ::read(readEnd_, buffer.data(), buffer.size());
            if (got < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (got <= 0)
                break;
            output_.append(buffer.data(), static_cast<std::size_t>(got));
            overran = output_.size() > kMaxReportBytes;
        }
        // A worker that closed its output may still linger: it too gets until the deadline.
        while (!overran && !exited()) {
            if (std::chrono::steady_clock::now() >= deadline)
                overran = true;
            else
                std::this_thread::sleep_for(2ms);
        }
        if (overran)
            ::kill(pid_, SIGKILL);
        const int status = waitForExit();
        if (overran || !WIFEXITED(status))
            return std::nullopt;
        return WEXITSTATUS(status);
    }

    const std::string& output() const { return output_; }

private:
    // True once the worker has ended; it stays a zombie until waitForExit().
    bool exited() const
    {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
    }

    int waitForExit()
    {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

    pid_t pid_ = -1;
    int readEnd_ = -1;
    std::string output_;
};

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

std::string qualityArgument(double quality)
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

ConversionResult IsolatedConverter::convert(const fs::path& source, OutputFormat to, double quality,
                                            const std::optional<fs::path>& outputDir)
{
    static const std::optional<fs::path> worker = locateWorker();
    if (!worker)
        return Converter::convert(source, to, quality, outputDir);
    return convertInWorker(*worker, timeLimitFor(source), source, to, quality, outputDir);
}

ConversionResult IsolatedConverter::convertInWorker(const fs::path& worker, std::chrono::milliseconds timeLimit,
                                                    const fs::path& source, OutputFormat to, double quality,
                                                    const std::optional<fs::path>& outputDir)
{
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    std::vector<std::string> arguments{source.string(), ext(to), qualityArgument(quality)};
    if (outputDir)
        arguments.push_back(outputDir->string());

    WorkerProcess process;
    // Not being able to start a process says nothing about the file: convert
    // it here rather than fail it.
    if (!process.start(worker, arguments))
        return Converter::convert(source, to, quality, outputDir);

    const std::optional<int> exitStatus = process.finish(deadline);
    if (exitStatus != 0)
        return failure(source, kCouldNotReadImage);
    const fs::path folder = outputDir ? *outputDir : source.parent_path();
    std::optional<ConversionResult> reported = parseReport(process.output(), source, to, folder);
    return reported ? std::move(*reported) : failure(source, kCouldNotReadImage);
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
                return failure(source, known);
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
    if (output.parent_path() != expectedFolder || !isCandidateName(output.filename().string(), source, to) ||
        !fs::is_regular_file(fs::symlink_status(output, error)))
        return std::nullopt;
    return ConversionResult(source, output, std::nullopt);
}

}  // namespace pictavo
