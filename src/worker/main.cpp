// Converts files on behalf of IsolatedConverter, so that a decoder crash or
// hang ends only this process, and a decoder taken over by a hostile photo
// reaches nothing but that photo and its output. Confines itself once the
// decoders are loaded, then serves one request per file on stdin (a socket):
// a line with the format and quality, carrying the open photo and the
// unnamed output. Answers each with one report line on stdout; ends at the
// end of its input.

#include "core/Converter.h"
#include "core/IsolatedConverter.h"
#include "imageio/ImageSource.h"
#include "worker/Confinement.h"

#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using pictavo::imageio::UniqueFd;

struct Request {
    pictavo::IsolatedConverter::Request options;
    UniqueFd photo;
    UniqueFd output;
};

// The next request; none at the end of the input (`ended`) or when it is malformed.
std::optional<Request> receiveRequest(int socket, bool& ended)
{
    constexpr std::size_t kMaxLine = 256;
    std::string line;
    std::vector<UniqueFd> received;
    while (line.empty() || line.back() != '\n') {
        char data[kMaxLine];
        alignas(cmsghdr) char control[CMSG_SPACE(4 * sizeof(int))];
        iovec vector{data, sizeof data};
        msghdr message{};
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == EINTR)
            continue;
        ended = got == 0 && line.empty();
        if (got <= 0)
            return std::nullopt;
        for (cmsghdr* header = CMSG_FIRSTHDR(&message); header; header = CMSG_NXTHDR(&message, header)) {
            if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
                continue;
            const std::size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t i = 0; i < count; ++i) {
                int fd;
                std::memcpy(&fd, CMSG_DATA(header) + i * sizeof(int), sizeof fd);
                received.emplace_back(fd);
            }
        }
        line.append(data, static_cast<std::size_t>(got));
        if ((message.msg_flags & MSG_CTRUNC) || line.size() > kMaxLine)
            return std::nullopt;
    }
    std::optional<pictavo::IsolatedConverter::Request> options = pictavo::IsolatedConverter::parseRequest(line);
    if (!options || received.size() != 2)
        return std::nullopt;
    return Request{*options, std::move(received[0]), std::move(received[1])};
}

bool writeAll(int fd, const std::string& text)
{
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
}

}  // namespace

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

    for (;;) {
        bool ended = false;
        std::optional<Request> request = receiveRequest(STDIN_FILENO, ended);
        if (!request) {
            if (!ended)
                std::fprintf(stderr, "pictavo-convert-worker: malformed request\n");
            // No exit handlers: nothing is left to clean up, and some would need what is forbidden now.
            ::_exit(ended ? 0 : 2);
        }
        const pictavo::Transcoding outcome = pictavo::Converter::transcode(
            std::move(request->photo), request->output.get(), request->options.to, request->options.quality);
        // Both files are let go before the report: the application publishes
        // an output only once no worker can write to it any more.
        request->output.reset();
        if (!writeAll(STDOUT_FILENO, pictavo::IsolatedConverter::reportLine(outcome)))
            ::_exit(1);
    }
}
