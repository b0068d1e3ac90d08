#include "core/WorkerProtocol.h"

#include <gtest/gtest.h>

#include <clocale>
#include <tuple>

namespace pictavo {
namespace {

using imageio::Failure;

// A request reads back as written, the quality to the last bit whatever the
// locale, and nothing else reads as one. A report is believed only as a worker writes it: anything
// else makes the file unreadable.
TEST(WorkerProtocol, LinesReadBackAsWrittenAndNothingElseIsBelieved)
{
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // the application's, where there is one: a decimal comma
    for (const WorkerProtocol::Request& sent : {WorkerProtocol::Request{.to = OutputFormat::png, .quality = 0.1 + 0.2},
                                                WorkerProtocol::Request{OutputFormat::jpg, 0.5, 16, true},
                                                WorkerProtocol::Request{OutputFormat::jpg, 1, 65535, false}}) {
        const std::string line = WorkerProtocol::requestLine(sent);
        std::setlocale(LC_NUMERIC, "C");  // the worker's
        const auto read = WorkerProtocol::parseRequest(line).value_or(WorkerProtocol::Request{.quality = -1});
        EXPECT_EQ(std::tie(read.to, read.quality, read.longSide, read.removeLocation),
                  std::tie(sent.to, sent.quality, sent.longSide, sent.removeLocation)) << line;
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    }
    std::setlocale(LC_NUMERIC, "C");
    for (const char* malformed : {"jpg 1p-1 0 0", "gif 1p-1 0 0\n", "JPG 1p-1 0 0\n", "jpg  0 0\n",
                                  "jpg 1p-1 0 0 x\n", "jpg 1p-1 15 0\n", "jpg 1p-1 65536 0\n",
                                  "jpg 1p-1 -16 0\n", "jpg 1p-1 0 2\n", "jpg 1p-1 0\n"})
        EXPECT_FALSE(WorkerProtocol::parseRequest(malformed)) << malformed;

    struct Row { const char* name; std::string report; std::optional<Failure> read; };
    for (const Row& row : {Row{"written", WorkerProtocol::reportLine(std::nullopt), std::nullopt},
                           Row{"unreadable", WorkerProtocol::reportLine(Failure::unreadable), Failure::unreadable},
                           Row{"write failed", WorkerProtocol::reportLine(Failure::writeFailed), Failure::writeFailed},
                           Row{"success with more after it", "ok done\n", Failure::unreadable},
                           Row{"a failure's message, not its name", "error Write failed\n", Failure::unreadable},
                           Row{"the application's own failure", "error output-not-created\n", Failure::unreadable}}) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(WorkerProtocol::parseReport(row.report), row.read);
    }
}

}  // namespace
}  // namespace pictavo
