#include "core/WorkerProtocol.h"

#include <gtest/gtest.h>

#include <clocale>

namespace pictavo {
namespace {

using imageio::Failure;

// A request reads back as written, the quality to the last bit whatever the
// locale, and nothing else reads as one. A report is believed only as a worker writes it: anything
// else makes the file unreadable.
TEST(WorkerProtocol, LinesReadBackAsWrittenAndNothingElseIsBelieved)
{
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // the application's, where there is one: a decimal comma
    const std::string line = WorkerProtocol::requestLine({OutputFormat::png, 0.1 + 0.2});
    std::setlocale(LC_NUMERIC, "C");  // the worker's
    const auto request = WorkerProtocol::parseRequest(line).value_or(WorkerProtocol::Request{OutputFormat::jpg, -1});
    EXPECT_EQ(std::pair(request.to, request.quality), std::pair(OutputFormat::png, 0.1 + 0.2)) << line;
    for (const char* malformed : {"jpg 0.5", "gif 0.5\n", "JPG 0.5\n", "jpg \n", "jpg 0.5 x\n"})
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
