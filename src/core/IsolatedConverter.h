#pragma once

#include "core/ConversionOptions.h"
#include "core/ConversionResult.h"
#include "core/OutputFormat.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string_view>

namespace pictavo {

// Converts one file like Converter::convert, but in a worker process, so that
// a decoder that crashes or hangs on a hostile file costs that one file
// ("Could not read image") and not the whole application. Each file gets a
// worker of its own, killed before the file's output is named, so that a
// photo that takes over its worker reaches no other photo or output. The
// worker of a thread's next file is started while the file before converts;
// it ends with that thread.
struct IsolatedConverter {
    static constexpr std::string_view kWorkerName = "pictavo-convert-worker";

    // Same arguments and results as Converter::convert. Uses the worker found
    // by locateWorker(), or converts in this process when there is none.
    // A stop requested through `stop` (a run that is stopped) abandons the
    // file like abandonAll(), but only this call's worker: the result's kind
    // is FailureKind::abandoned (unless the worker had reported first), and
    // later calls with another token work as usual.
    static ConversionResult convert(const std::filesystem::path& source, const ConversionOptions& options,
                                    const std::optional<std::filesystem::path>& outputDir,
                                    std::stop_token stop = {});

    // For a process that quits: kills every worker at once, whatever file it
    // is writing (an output is named only when complete, so nothing of that
    // file appears), and starts no worker and converts nothing from then on;
    // every later or interrupted call ends as FailureKind::abandoned.
    static void abandonAll();

    // Has `worker` convert one file and waits at most `timeLimit` for its
    // report; a worker that crashes, overruns or reports nonsense is killed
    // and the file ends as "Could not read image". Converts in this process
    // when `worker` cannot be started at all. A stop requested through `stop`
    // kills the worker at once, from whichever thread requests it.
    static ConversionResult convertInWorker(const std::filesystem::path& worker, std::chrono::milliseconds timeLimit,
                                            const std::filesystem::path& source, const ConversionOptions& options,
                                            const std::optional<std::filesystem::path>& outputDir,
                                            std::stop_token stop = {});

    // The worker executable: beside the running program, in the installed
    // libexec folder, or where this build tree made it. None when not found.
    static std::optional<std::filesystem::path> locateWorker();
};

}  // namespace pictavo
