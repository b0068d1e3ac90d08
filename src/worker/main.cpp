// Converts one file on behalf of IsolatedConverter, so that a decoder crash or
// hang ends only this process, and a decoder taken over by a hostile photo
// reaches nothing but that photo and its output. Confines itself once the
// decoders are loaded (it is started ahead, before its file is known), then
// serves one request on stdin (a socket): a line with the format and
// quality, carrying the open photo and the unnamed output. Answers with one
// report line on stdout, then waits to be killed.

#include "core/Converter.h"
#include "core/WorkerProtocol.h"
#include "imageio/ImageSource.h"
#include "imageio/files/WriteAll.h"
#include "worker/Confinement.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>

int main()
{
    // Ends with the thread that started it, and a crash leaves no core file.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    ::close_range(STDERR_FILENO + 1, ~0U, 0);

    if (!pictavo::imageio::ImageSource::prepareDecoders()) {
        std::fprintf(stderr, "pictavo-convert-worker: the decoders could not be loaded\n");
        return 1;
    }
    for (const std::string& gap : pictavo::worker::confine())
        std::fprintf(stderr, "pictavo-convert-worker: not fully confined: %s\n", gap.c_str());

    // One file: whatever its photo does to this process ends with the process.
    bool ended = false;
    std::optional<pictavo::WorkerProtocol::Received> received =
        pictavo::WorkerProtocol::receiveRequest(STDIN_FILENO, ended);
    if (!received) {
        if (!ended)
            std::fprintf(stderr, "pictavo-convert-worker: malformed request\n");
        // No exit handlers: nothing is left to clean up, and some would need what is forbidden now.
        ::_exit(ended ? 0 : 2);
    }
    const std::optional<pictavo::imageio::Failure> failure = pictavo::Converter::transcode(
        std::move(received->photo), received->output.get(), received->request);
    // Both files are let go before the report: the application believes a
    // report only from a worker that holds nothing but its socket and stderr.
    received->output.reset();
    if (const std::string report = pictavo::WorkerProtocol::reportLine(failure);
        !pictavo::imageio::writeAll(STDOUT_FILENO, report.data(), report.size()))
        ::_exit(1);
    // The application reads the report, looks at this process and kills it.
    char next = 0;
    while (::read(STDIN_FILENO, &next, 1) > 0) {
    }
    ::_exit(0);
}
