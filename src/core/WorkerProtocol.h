#pragma once

#include "core/ConversionOptions.h"
#include "imageio/Failure.h"
#include "imageio/files/UniqueFd.h"

#include <optional>
#include <string>
#include <string_view>

namespace pictavo {

// What the application and its worker say over their socket. Per file one
// request goes in: the line "<ext> <quality> <long side> <remove location>\n" carrying two descriptors
// (SCM_RIGHTS), the photo open for reading and the unnamed output open for
// writing. One report line comes out: "ok\n", or "error <failure>\n".
struct WorkerProtocol {
    using Request = ConversionOptions;
    // A request as the worker receives it, with its two files.
    struct Received {
        Request request;
        imageio::UniqueFd photo;
        imageio::UniqueFd output;
    };

    static std::string requestLine(const Request& request);
    static std::optional<Request> parseRequest(std::string_view line);
    // Sends the request line with `photo` and `output` attached. False when
    // the worker is gone.
    static bool sendRequest(int socket, const Request& request, int photo, int output);
    // The next request; none at the end of the input (`ended`) or when it is malformed.
    static std::optional<Received> receiveRequest(int socket, bool& ended);

    // The report of a file: no failure for one written.
    static std::string reportLine(std::optional<imageio::Failure> failure);
    // What a report says; Failure::unreadable for anything but "ok" and the
    // failures a worker can meet: a worker that says otherwise is not believed.
    static std::optional<imageio::Failure> parseReport(std::string_view report);
};

}  // namespace pictavo
