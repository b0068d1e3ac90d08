// Converts files on behalf of IsolatedConverter, so that a decoder crash or
// hang ends only this process. Reads one request line per file on stdin and
// answers each with one report line on stdout; ends at the end of its input.

#include "core/Converter.h"
#include "core/IsolatedConverter.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <cstdio>
#include <string>

int main()
{
    // Ends with the thread that started it, and a crash leaves no core file.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);

    std::string line;
    for (int c; (c = std::getchar()) != EOF;) {
        line.push_back(static_cast<char>(c));
        if (c != '\n')
            continue;
        const std::optional<pictavo::IsolatedConverter::Request> request =
            pictavo::IsolatedConverter::parseRequest(line);
        if (!request) {
            std::fprintf(stderr, "pictavo-convert-worker: malformed request\n");
            return 2;
        }
        const pictavo::ConversionResult result =
            pictavo::Converter::convert(request->source, request->to, request->quality, request->outputDir);
        const std::string report = pictavo::IsolatedConverter::reportLine(result);
        if (std::fwrite(report.data(), 1, report.size(), stdout) != report.size() || std::fflush(stdout) != 0)
            return 1;
        line.clear();
    }
    return 0;
}
