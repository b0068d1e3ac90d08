// Converts the files named on the command line through Converter::convert and
// prints one line per conversion (source, output or error, seconds), then the
// process's peak resident memory.
//
//   pictavo-bench [--format jpg|png] [--quality 0.9] [--output-dir DIR] [--repeat N]
//                 [--long-side N] [--remove-location] [--isolated | --no-gain-map] FILE...
//
// --isolated converts each file in the worker process, as the application does.
// --no-gain-map writes JPEGs without their HDR gain map, to measure what it
// costs (in this process only).

#include "core/Converter.h"
#include "core/IsolatedConverter.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

int usage()
{
    std::fprintf(stderr,
                 "usage: pictavo-bench [--format jpg|png] [--quality Q] [--output-dir DIR] [--repeat N] "
                 "[--long-side N] [--remove-location] [--isolated | --no-gain-map] FILE...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace pictavo;
    ConversionOptions options;
    std::optional<std::filesystem::path> outputDir;
    int repeat = 1;
    bool isolated = false;
    auto gainMaps = imageio::ImageDestination::GainMaps::written;
    std::vector<std::filesystem::path> files;

    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--format") {
            const char* v = value();
            if (!v)
                return usage();
            if (std::string_view(v) == "jpg")
                options.to = OutputFormat::jpg;
            else if (std::string_view(v) == "png")
                options.to = OutputFormat::png;
            else
                return usage();
        } else if (arg == "--quality") {
            const char* v = value();
            if (!v)
                return usage();
            options.quality = std::strtod(v, nullptr);
        } else if (arg == "--long-side") {
            const char* v = value();
            if (!v)
                return usage();
            options.longSide = std::atoi(v);
        } else if (arg == "--remove-location") {
            options.removeLocation = true;
        } else if (arg == "--output-dir") {
            const char* v = value();
            if (!v)
                return usage();
            outputDir = std::filesystem::path(v);
        } else if (arg == "--repeat") {
            const char* v = value();
            if (!v)
                return usage();
            repeat = std::max(1, std::atoi(v));
        } else if (arg == "--isolated") {
            isolated = true;
        } else if (arg == "--no-gain-map") {
            gainMaps = imageio::ImageDestination::GainMaps::leftOut;
        } else if (arg.starts_with("--")) {
            return usage();
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.empty() || (isolated && gainMaps == imageio::ImageDestination::GainMaps::leftOut))
        return usage();
    const Converter::Transcoder transcoder = [&](imageio::UniqueFd photo, int output) {
        return Converter::transcode(std::move(photo), output, options, gainMaps);
    };

    if (isolated) {
        std::optional<std::filesystem::path> worker = IsolatedConverter::locateWorker();
        std::fprintf(stderr, "worker: %s\n", worker ? worker->c_str() : "none found, converting in this process");
    }

    int failures = 0;
    for (int round = 0; round < repeat; ++round) {
        for (const auto& file : files) {
            auto start = std::chrono::steady_clock::now();
            ConversionResult result = isolated ? IsolatedConverter::convert(file, options, outputDir)
                                               : Converter::convertWith(transcoder, file, options.to, outputDir);
            double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (result.ok()) {
                std::printf("%s\t%s\t%.3f\n", file.c_str(), result.output()->c_str(), seconds);
            } else {
                std::printf("%s\terror: %s\t%.3f\n", file.c_str(), result.error()->c_str(), seconds);
                ++failures;
            }
            std::fflush(stdout);
        }
    }

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak RSS: %.1f MB\n", static_cast<double>(usage.ru_maxrss) / 1024.0);
    return failures == 0 ? 0 : 1;
}
