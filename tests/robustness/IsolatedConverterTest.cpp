#include "TimeScale.h"

#include "core/Converter.h"
#include "core/IsolatedConverter.h"
#include "fixtures/HeifFixtures.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include <cstdlib>

#include <chrono>
#include <fstream>
#include <set>

namespace pictavo::test {
namespace {

using namespace pictavo::fixtures;
using namespace std::chrono_literals;

fs::path writeScript(const TempDir& dir, const std::string& name, const std::string& body)
{
    const fs::path path = dir / name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
    return path;
}

// Whatever goes wrong in the worker, or whatever it reports but success with
// an output written and let go of, the file ends as unreadable, without
// waiting longer than needed, and nothing is published.
TEST(IsolatedConverter, AWorkerThatFailsInAnyWayCostsOnlyItsFileQuickly)
{
    TempDir workers;
    TempDir photos;
    const fs::path source = photos / "photo.heic";
    writeHeic(source, HeicImage(quadrants(16, 16)));
    const std::vector<std::string> entries = photos.entries();
    // Reads its request, reports and waits for the next, as a real worker does (one that ends after its report
    // is not believed, whatever it says).
    auto reports = [](const std::string& report) { return "read request; printf '" + report + "'; read next"; };

    const std::vector<std::pair<std::string, std::string>> misbehaviours{
        {"crashes", "kill -SEGV $$"},
        {"hangs", "exec sleep 30"},  // killed at its time limit
        {"exits before reporting", "exit 0"},
        {"floods its output with no newline", "exec cat /dev/zero"},
        {"prints two reports", reports("error write-failed\\nerror write-failed\\n")},
        {"reports success without writing anything", reports("ok\\n")},
        {"writes and reports success but keeps the output open", "exec '" PICTAVO_WORKER_PROBE "' serve-keeping"},
        {"moves its output onto its standard error", "exec '" PICTAVO_WORKER_PROBE "' serve-on-stderr"},
        {"keeps its output in a thread that outlives the main one",
         "exec '" PICTAVO_WORKER_PROBE "' serve-from-a-thread"},
        {"makes itself undumpable", "exec '" PICTAVO_WORKER_PROBE "' serve-undumpable"},
    };
    for (const auto& [what, body] : misbehaviours) {
        SCOPED_TRACE(what);
        // A script of its own: a worker started ahead from an earlier row's would behave as that row's.
        const fs::path worker = writeScript(workers, what, body);
        const auto start = std::chrono::steady_clock::now();
        const ConversionResult result =
            IsolatedConverter::convertInWorker(worker, 6s * kTimeScale, source, {.to = OutputFormat::jpg}, std::nullopt);
        // Only a worker that stays alive and silent waits for the time limit (a loaded machine may take seconds
        // to start the others).
        EXPECT_LT(std::chrono::steady_clock::now() - start,
                  (body.find("sleep") != std::string::npos ? 12s : 5s) * kTimeScale);
        EXPECT_EQ(result.failureKind(), FailureKind::unreadable);
        EXPECT_EQ(result.source(), source);
        EXPECT_EQ(photos.entries(), entries);
    }
    // The same worker letting go of the files is believed, and what it wrote published. However willing it is
    // to serve more, each photo gets a worker of its own, ended before its output is published: one taken over
    // by its photo never sees the next photo, nor changes its own output once named.
    const fs::path worker = writeScript(workers, "worker", "exec '" PICTAVO_WORKER_PROBE "' serve");
    std::set<std::string> writers;
    for (const char* name : {"photo.jpg", "photo-1.jpg"}) {
        const ConversionResult believed =
            IsolatedConverter::convertInWorker(worker, 6s * kTimeScale, source, {.to = OutputFormat::jpg}, std::nullopt);
        ASSERT_EQ(believed.output(), photos / name);
        const std::vector<std::uint8_t> written = readBytes(photos / name);
        const std::string pid(written.begin(), written.end());
        EXPECT_NE(::kill(std::stoi(pid), 0), 0) << "the worker of " << name << " is still there";
        writers.insert(pid);
    }
    EXPECT_EQ(writers.size(), 2u);
}

// The worker's confinement refuses, or dies at, what a hostile photo that
// took over the decoder would try first (signalling the application, other
// processes' shared memory and a thread with descriptors out of the
// application's sight included), and leaves threads working.
TEST(IsolatedConverter, TheConfinedWorkerCannotOpenConnectSignalOrStartAProgram)
{
    for (const auto& [action, allowed] : std::vector<std::pair<std::string, bool>>{
             {"open", false}, {"socket", false}, {"exec", false}, {"signal", false}, {"shared-memory", false},
             {"thread-with-its-own-descriptors", false}, {"thread", true}}) {
        SCOPED_TRACE(action);
        // The shell reports a probe killed by a signal as exit status 128 + signal.
        const int code = WEXITSTATUS(std::system((std::string(PICTAVO_WORKER_PROBE) + " " + action).c_str()));
        EXPECT_TRUE(allowed ? code == 0 : code == 3 || code == 128 + SIGSYS) << "exit status " << code;
    }
}

TEST(IsolatedConverter, AWorkerThatCannotBeStartedLeavesTheConversionToThisProcess)
{
    TempDir dir;
    writeHeic(dir / "photo.heic", HeicImage(quadrants(16, 16)));
    std::ofstream(dir / "not-executable") << "#!/bin/sh\nexit 1\n";
    for (const fs::path& worker : {dir / "missing", dir / "not-executable"}) {
        const ConversionResult result =
            IsolatedConverter::convertInWorker(worker, 10s, dir / "photo.heic", {.to = OutputFormat::png}, std::nullopt);
        ASSERT_TRUE(result.ok()) << worker;
        EXPECT_TRUE(fs::is_regular_file(*result.output()));
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"not-executable", "photo-1.png", "photo.heic", "photo.png"}));
}

// Every real sample, and a 200 MP photo (within the worker's address-space
// limit), comes out of the confined worker byte for byte as out of this
// process, failures included.
TEST(IsolatedConverter, SLOW_EverySampleAnd200MegapixelsComeOutOfTheWorkerAsOutOfThisProcess)
{
    TempDir dir;
    writeRepeatedTileHeic(dir / "200mp.heic", 12240, 16320, flat(512, 512, 40, 120, 200));
    std::vector<fs::path> sources{dir / "200mp.heic"};
    std::error_code noSamples;
    for (const fs::directory_entry& sample : fs::directory_iterator(samplesDir(), noSamples))
        if (sample.path().extension() != ".md")
            sources.push_back(sample.path());
    for (const fs::path& source : sources) {
        for (OutputFormat format : allOutputFormats) {
            SCOPED_TRACE(source.filename().string() + " as " + ext(format));
            TempDir local, isolated;
            const ConversionResult expected = Converter::convert(source, {.to = format}, local.path());
            const ConversionResult result =
                IsolatedConverter::convertInWorker(PICTAVO_TEST_WORKER, 600s, source, {.to = format}, isolated.path());
            EXPECT_EQ(result.failureKind(), expected.failureKind());
            EXPECT_TRUE(result.ok() || source != sources.front()) << *result.error();
            EXPECT_EQ(readBytes(result.output().value_or("")), readBytes(expected.output().value_or("")));
        }
    }
    if (noSamples)
        GTEST_SKIP() << "no ../shared/samples folder: only the 200 MP photo was compared";
}

}  // namespace
}  // namespace pictavo::test
