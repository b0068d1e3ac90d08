// Converts one file and prints the outcome as one line on stdout; run by
// IsolatedConverter so that a decoder crash or hang ends only this process.
//
//   pictavo-convert-worker SOURCE jpg|png QUALITY [OUTPUT_FOLDER]

#include "core/Converter.h"
#include "core/IsolatedConverter.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::optional<pictavo::OutputFormat> formatNamed(std::string_view name)
{
    for (pictavo::OutputFormat format : pictavo::allOutputFormats) {
        if (pictavo::ext(format) == name)
            return format;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv)
{
    // Ends with the application, and a crash leaves no core file behind.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);

    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: pictavo-convert-worker SOURCE jpg|png QUALITY [OUTPUT_FOLDER]\n");
        return 2;
    }
    const std::optional<pictavo::OutputFormat> format = formatNamed(argv[2]);
    char* end = nullptr;
    const double quality = std::strtod(argv[3], &end);
    if (!format || end == argv[3] || *end != '\0') {
        std::fprintf(stderr, "pictavo-convert-worker: bad format or quality\n");
        return 2;
    }
    std::optional<std::filesystem::path> outputDir;
    if (argc == 5)
        outputDir = std::filesystem::path(argv[4]);

    const pictavo::ConversionResult result = pictavo::Converter::convert(argv[1], *format, quality, outputDir);
    const std::string line = pictavo::IsolatedConverter::reportLine(result);
    if (std::fwrite(line.data(), 1, line.size(), stdout) != line.size() || std::fflush(stdout) != 0)
        return 1;
    return 0;
}
