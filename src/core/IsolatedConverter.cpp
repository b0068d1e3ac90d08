#include "core/IsolatedConverter.h"

#include "core/Converter.h"
#include "core/WorkerProcess.h"
#include "core/WorkerProtocol.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace pictavo {

namespace fs = std::filesystem;

namespace {

bool isExecutableFile(const fs::path& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

// The worker started for the calling thread's next file; it ends with the thread.
WorkerProcess& spareOfThisThread()
{
    thread_local WorkerProcess spare;
    return spare;
}

// A worker of `worker` that has served no file: the one started ahead when
// it is alive, else none yet.
WorkerProcess startedAhead(const fs::path& worker)
{
    WorkerProcess process = std::move(spareOfThisThread());
    if (process.running() && (process.path() != worker || process.exited()))
        process.stop();
    return process;
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

void IsolatedConverter::abandonAll()
{
    WorkerProcess::abandonAll();
}

ConversionResult IsolatedConverter::convert(const fs::path& source, const ConversionOptions& options,
                                            const std::optional<fs::path>& outputDir, std::stop_token stop)
{
    static const std::optional<fs::path> worker = locateWorker();
    if (WorkerProcess::abandoned() || stop.stop_requested())
        return ConversionResult::failure(source, FailureKind::abandoned);
    if (!worker)
        return Converter::convert(source, options, outputDir);
    return convertInWorker(*worker, WorkerProcess::timeLimitFor(source), source, options, outputDir,
                           std::move(stop));
}

ConversionResult IsolatedConverter::convertInWorker(const fs::path& worker, std::chrono::milliseconds timeLimit,
                                                    const fs::path& source, const ConversionOptions& options,
                                                    const std::optional<fs::path>& outputDir, std::stop_token stop)
{
    if (stop.stop_requested())
        return ConversionResult::failure(source, FailureKind::abandoned);
    // Set when a stop or abandonAll() killed the worker before it reported: the file was abandoned, not failed.
    bool stopped = false;
    const auto deadline = std::chrono::steady_clock::now() + timeLimit;
    auto transcodeInWorker = [&](imageio::UniqueFd photo, int output) -> std::optional<imageio::Failure> {
        WorkerProcess process = startedAhead(worker);
        // Not being able to start a process says nothing about the file:
        // convert it here rather than fail it (unless the process is quitting).
        if (!process.running() && !process.start(worker)) {
            if ((stopped = WorkerProcess::abandoned()))
                return imageio::Failure::unreadable;
            return Converter::transcode(std::move(photo), output, options);
        }

        // A stop kills the worker from the thread that asks for it; its socket
        // closes and the wait for its report below ends at once.
        const std::stop_callback killOnStop(stop, [pid = process.pid()] { WorkerProcess::kill(pid); });
        std::optional<imageio::Failure> reported = imageio::Failure::unreadable;
        std::optional<std::string> line;
        if (WorkerProtocol::sendRequest(process.socket(), options, photo.get(), output)) {
            photo.reset();
            // The next file's worker starts while this one converts.
            spareOfThisThread().start(worker);
            line = process.receiveLine(deadline);
        }
        if (line && !process.hasUnreadOutput())
            reported = WorkerProtocol::parseReport(*line);
        else
            stopped = stop.stop_requested() || WorkerProcess::abandoned();
        // Success counts only with something written and both files let go of.
        struct stat written{};
        if (!reported &&
            (::fstat(output, &written) != 0 || written.st_size == 0 || !process.holdsOnlyWhatItStartedWith()))
            reported = imageio::Failure::unreadable;
        // Whatever it reported, the worker is killed and reaped before its
        // output gets a name: a dead process can change nothing.
        process.stop();
        return reported;
    };
    ConversionResult result = Converter::convertWith(transcodeInWorker, source, options.to, outputDir);
    return stopped ? ConversionResult::failure(source, FailureKind::abandoned) : result;
}

}  // namespace pictavo
