#include "core/WorkerProtocol.h"

#include <sys/socket.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <utility>
#include <vector>

namespace pictavo {

namespace {

constexpr std::string_view kOk = "ok\n";
// The failures a worker can meet, by their names in a report: it never makes
// or names an output.
constexpr std::pair<imageio::Failure, std::string_view> kReportedFailures[] = {
    {imageio::Failure::unreadable, "error unreadable\n"},
    {imageio::Failure::writeFailed, "error write-failed\n"},
};

// The longest request line a worker reads.
constexpr std::size_t kMaxRequestBytes = 256;

// Hexadecimal, so that the worker reads back exactly this double, and in no
// locale: the application's may write a decimal comma, the worker reads in "C".
std::string qualityText(double quality)
{
    char text[64];
    return std::string(text, std::to_chars(text, text + sizeof text, quality, std::chars_format::hex).ptr);
}

}  // namespace

std::string WorkerProtocol::requestLine(const Request& request)
{
    return ext(request.to) + " " + qualityText(request.quality) + " " + std::to_string(request.longSide.value_or(0)) +
           (request.removeLocation ? " 1\n" : " 0\n");
}

std::optional<WorkerProtocol::Request> WorkerProtocol::parseRequest(std::string_view line)
{
    if (line.empty() || line.back() != '\n')
        return std::nullopt;
    line.remove_suffix(1);
    std::vector<std::string_view> fields;
    for (std::size_t start = 0, space = 0; space != std::string_view::npos; start = space + 1) {
        space = line.find(' ', start);
        fields.push_back(line.substr(start, space - start));
    }
    if (fields.size() != 4)
        return std::nullopt;
    Request request;
    std::optional<OutputFormat> format;
    for (OutputFormat candidate : allOutputFormats) {
        if (ext(candidate) == fields[0])
            format = candidate;
    }
    const auto whole = [](std::string_view text, auto& value, auto... base) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base...);
        return !text.empty() && error == std::errc() && end == text.data() + text.size();
    };
    int longSide = 0;
    if (!format || !whole(fields[1], request.quality, std::chars_format::hex) || !whole(fields[2], longSide) ||
        (longSide != 0 && (longSide < Request::kSmallestLongSide || longSide > Request::kLargestLongSide)) ||
        (fields[3] != "0" && fields[3] != "1"))
        return std::nullopt;
    request.to = *format;
    if (longSide != 0)
        request.longSide = longSide;
    request.removeLocation = fields[3] == "1";
    return request;
}

bool WorkerProtocol::sendRequest(int socket, const Request& request, int photo, int output)
{
    const std::string text = requestLine(request);
    std::string_view line = text;
    const int files[] = {photo, output};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof files)] = {};
    msghdr message{};
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof files);
    std::memcpy(CMSG_DATA(header), files, sizeof files);
    // The files go with the first byte; the rest of the line, if it takes
    // more than one call, without them.
    while (!line.empty()) {
        iovec vector{const_cast<char*>(line.data()), line.size()};
        message.msg_iov = &vector;
        message.msg_iovlen = 1;
        const ssize_t sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        line.remove_prefix(static_cast<std::size_t>(sent));
        message.msg_control = nullptr;
        message.msg_controllen = 0;
    }
    return true;
}

std::optional<WorkerProtocol::Received> WorkerProtocol::receiveRequest(int socket, bool& ended)
{
    std::string line;
    std::vector<imageio::UniqueFd> received;
    while (line.empty() || line.back() != '\n') {
        char data[kMaxRequestBytes];
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
        if ((message.msg_flags & MSG_CTRUNC) || line.size() > kMaxRequestBytes)
            return std::nullopt;
    }
    std::optional<Request> request = parseRequest(line);
    if (!request || received.size() != 2)
        return std::nullopt;
    return Received{*request, std::move(received[0]), std::move(received[1])};
}

std::string WorkerProtocol::reportLine(std::optional<imageio::Failure> failure)
{
    if (!failure)
        return std::string(kOk);
    for (const auto& [reported, line] : kReportedFailures) {
        if (reported == *failure)
            return std::string(line);
    }
    return std::string(kReportedFailures[0].second);
}

std::optional<imageio::Failure> WorkerProtocol::parseReport(std::string_view report)
{
    if (report == kOk)
        return std::nullopt;
    for (const auto& [failure, line] : kReportedFailures) {
        if (report == line)
            return failure;
    }
    return imageio::Failure::unreadable;
}

}  // namespace pictavo
