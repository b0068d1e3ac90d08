#pragma once

#include "core/ConversionResult.h"
#include "core/OutputFormat.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace pictavo {

// Converts one file like Converter::convert, but in a short-lived worker
// process, so that a decoder that crashes or hangs on a hostile file costs
// that one file ("Could not read image") and not the whole application.
struct IsolatedConverter {
    static constexpr std::string_view kWorkerName = "pictavo-convert-worker";

    // Same arguments and results as Converter::convert. Runs the worker found
    // by locateWorker(), or converts in this process when there is none.
    static ConversionResult convert(const std::filesystem::path& source, OutputFormat to, double quality,
                                    const std::optional<std::filesystem::path>& outputDir);

    // Runs `worker` for one file and waits at most `timeLimit` for its report;
    // a worker that is killed, crashes, overruns or reports nonsense yields
    // "Could not read image". Converts in this process when `worker` cannot
    // be started at all.
    static ConversionResult convertInWorker(const std::filesystem::path& worker, std::chrono::milliseconds timeLimit,
                                            const std::filesystem::path& source, OutputFormat to, double quality,
                                            const std::optional<std::filesystem::path>& outputDir);

    // The worker executable: beside the running program, in the installed
    // libexec folder, or where this build tree made it. None when not found.
    static std::optional<std::filesystem::path> locateWorker();

    // Time allowed for one file: generous for the largest real photos, yet
    // bounded for a file that makes the decoder loop.
    static std::chrono::milliseconds timeLimitFor(const std::filesystem::path& source);

    // The one line a worker prints for its result, and its reading by the
    // parent. Paths travel hex-encoded, since they may hold any byte but NUL.
    // parseReport accepts only one of the three failure texts, or an
    // existing file in `expectedFolder` named as the converter names outputs.
    static std::string reportLine(const ConversionResult& result);
    static std::optional<ConversionResult> parseReport(std::string_view report, const std::filesystem::path& source,
                                                       OutputFormat to, const std::filesystem::path& expectedFolder);
};

}  // namespace pictavo
