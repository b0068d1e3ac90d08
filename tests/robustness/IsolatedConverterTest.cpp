#include "ConvertersUnderTest.h"
#include "Noise.h"

#include "fixtures/HeifFixtures.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace pictavo::test {
namespace {

using namespace pictavo::fixtures;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

fs::path writeScript(const TempDir& dir, const std::string& name, const std::string& body)
{
    const fs::path path = dir / name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    ::chmod(path.c_str(), 0755);
    return path;
}

std::string hex(const std::string& bytes)
{
    std::string text;
    char digits[3];
    for (unsigned char byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

TEST(IsolatedConverter, AWorkerThatFailsInAnyWayCostsOnlyItsFileQuickly)
{
    TempDir workers;
    TempDir photos;
    const fs::path source = photos / "photo.heic";
    writeHeic(source, HeicImage(quadrants(16, 16)));
    const std::string unwritten = hex((photos.path() / "photo.jpg").string());
    const std::string outside = hex((workers.path() / "photo.jpg").string());
    std::ofstream(workers / "photo.jpg") << "not ours";

    const std::vector<std::pair<std::string, std::string>> misbehaviours{
        {"crashes", "kill -SEGV $$"},
        {"hangs", "exec sleep 30"},
        {"closes its output and lingers", "exec >&-; exec sleep 30"},
        {"prints garbage", "echo hello"},
        {"floods its output", "exec yes ok"},
        {"prints two reports", "printf 'error Write failed\\nerror Write failed\\n'"},
        {"reports without a newline", "printf 'error Write failed'"},
        {"exits before reporting", "exit 0"},
        {"reports an unknown failure", "echo 'error Disk on fire'"},
        {"claims an output it did not write", "echo 'ok " + unwritten + "'"},
        {"claims a file outside the output folder", "echo 'ok " + outside + "'"},
    };
    for (const auto& [what, body] : misbehaviours) {
        SCOPED_TRACE(what);
        const fs::path worker = writeScript(workers, "worker", body);
        const auto start = Clock::now();
        const ConversionResult result =
            IsolatedConverter::convertInWorker(worker, 2s, source, OutputFormat::jpg, 0.9, std::nullopt);
        // Only a worker that stays alive and silent waits for the time limit.
        EXPECT_LT(Clock::now() - start, body.find("sleep") != std::string::npos ? 6s : 1500ms);
        EXPECT_EQ(result.error(), std::string(kCouldNotReadImage));
        EXPECT_FALSE(result.output());
        EXPECT_EQ(result.source(), source);
        EXPECT_EQ(photos.entries(), std::vector<std::string>{"photo.heic"});
        fs::remove(worker);
    }
}

// One worker serves a thread's files one after another; a file it fails
// gets it replaced, and another thread gets a worker of its own.
TEST(IsolatedConverter, AWorkerIsReusedUntilItFailsAFile)
{
    TempDir dir;
    for (const char* name : {"good.jpg", "fine.jpg"})
        std::ofstream(dir / name) << "written by the worker";
    const fs::path log = dir.path() / "starts";
    const fs::path worker = writeScript(dir, "worker",
                                        "echo started >> '" + log.string() + "'\n"
                                        "while read source rest; do\n"
                                        "  case $source in\n"
                                        "    " + hex((dir / "good.heic").string()) + ") echo ok " +
                                            hex((dir / "good.jpg").string()) + " ;;\n"
                                        "    " + hex((dir / "fine.heic").string()) + ") echo ok " +
                                            hex((dir / "fine.jpg").string()) + " ;;\n"
                                        "    *) echo nonsense ;;\n"
                                        "  esac\n"
                                        "done");
    auto convert = [&](const char* name) {
        return IsolatedConverter::convertInWorker(worker, 5s, dir / name, OutputFormat::jpg, 0.9, std::nullopt);
    };
    auto starts = [&] { return readBytes(log).size() / std::string("started\n").size(); };

    EXPECT_TRUE(convert("good.heic").ok());
    EXPECT_TRUE(convert("fine.heic").ok());
    EXPECT_EQ(starts(), 1u);
    EXPECT_EQ(convert("bad.heic").error(), std::string(kCouldNotReadImage));
    EXPECT_TRUE(convert("good.heic").ok());
    EXPECT_EQ(starts(), 2u);
    std::thread([&] { EXPECT_TRUE(convert("fine.heic").ok()); }).join();
    EXPECT_EQ(starts(), 3u);
}

TEST(IsolatedConverter, AWorkerThatCannotBeStartedLeavesTheConversionToThisProcess)
{
    TempDir dir;
    writeHeic(dir / "photo.heic", HeicImage(quadrants(16, 16)));
    std::ofstream(dir / "not-executable") << "#!/bin/sh\nexit 1\n";
    for (const fs::path& worker : {dir / "missing", dir / "not-executable"}) {
        const ConversionResult result =
            IsolatedConverter::convertInWorker(worker, 10s, dir / "photo.heic", OutputFormat::png, 0.9, std::nullopt);
        ASSERT_TRUE(result.ok()) << worker;
        EXPECT_TRUE(fs::is_regular_file(*result.output()));
    }
    EXPECT_EQ(dir.entries(),
              (std::vector<std::string>{"not-executable", "photo-1.png", "photo.heic", "photo.png"}));
}

TEST(IsolatedConverter, TheWorkerWritesWhatThisProcessWrites)
{
    TempDir dir;
    HeicImage image(gradient(48, 32));
    image.orientation = 6;
    image.exif = buildTiff({.orientation = 6, .pixelX = 48, .pixelY = 32});
    image.icc = displayP3Icc();
    writeHeic(dir / "photo.heic", image);
    fs::create_directory(dir / "here");
    fs::create_directory(dir / "there");

    for (OutputFormat format : allOutputFormats) {
        // An odd quality shows that it reaches the encoder unchanged.
        const ConversionResult local = Converter::convert(dir / "photo.heic", format, 0.37, dir / "here");
        const ConversionResult isolated = convertInTestWorker(dir / "photo.heic", format, 0.37, dir / "there");
        ASSERT_TRUE(local.ok());
        ASSERT_TRUE(isolated.ok()) << *isolated.error();
        EXPECT_EQ(*isolated.output(), dir / "there" / ("photo." + ext(format)));
        EXPECT_EQ(readBytes(*isolated.output()), readBytes(*local.output()));
    }
}

TEST(IsolatedConverter, PathsWithAnyBytesTravelToAndFromTheWorker)
{
    TempDir dir;
    const fs::path folder = dir / "a folder \n with \xff odd bytes";
    fs::create_directory(folder);
    const fs::path source = folder / "-x\tname\n\xfe.HEIC";
    writeHeic(source, HeicImage(quadrants(8, 8)));

    const ConversionResult next = convertInTestWorker(source, OutputFormat::png, 0.9, std::nullopt);
    const ConversionResult again = convertInTestWorker(source, OutputFormat::png, 0.9, std::nullopt);
    ASSERT_TRUE(next.ok()) << *next.error();
    ASSERT_TRUE(again.ok()) << *again.error();
    EXPECT_EQ(*next.output(), folder / "-x\tname\n\xfe.png");
    EXPECT_EQ(*again.output(), folder / "-x\tname\n\xfe-1.png");
    EXPECT_TRUE(fs::is_regular_file(*again.output()));
}

// A file that made libheif 1.19 abort when it read the file itself (found by
// the fuzzer) costs that file; the files around it convert.
TEST(IsolatedConverter, AFileThatCrashesTheDecoderCostsOnlyThatFile)
{
    TempDir dir;
    writeHeic(dir / "first.heic", HeicImage(quadrants(16, 16)));
    fs::copy_file(PICTAVO_ROBUSTNESS_INPUTS "/parser-assertion.heic", dir / "hostile.heic");
    writeHeic(dir / "last.heic", HeicImage(gradient(16, 16)));
    const auto hostileBytes = readBytes(dir / "hostile.heic");

    std::vector<ConversionResult> results;
    for (const char* name : {"first.heic", "hostile.heic", "last.heic"})
        results.push_back(convertInTestWorker(dir / name, OutputFormat::jpg, 0.9, std::nullopt));

    ASSERT_EQ(results.size(), 3u);
    EXPECT_TRUE(results[0].ok());
    EXPECT_EQ(results[1].error(), std::string(kCouldNotReadImage));
    EXPECT_TRUE(results[2].ok());
    EXPECT_EQ(readBytes(dir / "hostile.heic"), hostileBytes);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"first.heic", "first.jpg", "hostile.heic", "last.heic",
                                                        "last.jpg"}));
}

// A worker killed half-way leaves no file: its output had no name yet.
TEST(IsolatedConverter, AWorkerKilledAtItsTimeLimitLeavesNothing)
{
    TempDir dir;
    // Noise: seconds of work however fast the machine, where a flat colour took less than the limit.
    writeRepeatedTileHeic(dir / "large.heic", 4096, 4096, noise(512, 512));
    const auto start = Clock::now();
    const ConversionResult result =
        IsolatedConverter::convertInWorker(PICTAVO_TEST_WORKER, 150ms, dir / "large.heic", OutputFormat::png, 0.9,
                                           std::nullopt);
    EXPECT_LT(Clock::now() - start, 2s);
    EXPECT_EQ(result.error(), std::string(kCouldNotReadImage));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"large.heic"});
}

TEST(IsolatedConverter, OnlyWellFormedRequestsAndReportsOfPossibleOutputsAreBelieved)
{
    TempDir dir;
    const fs::path source = dir / "trip.2024.heic";
    std::ofstream(dir / "trip.2024-12.jpg") << "x";
    std::ofstream(dir / "trip.2024-012.jpg") << "x";
    std::ofstream(dir / "other.jpg") << "x";
    fs::create_directory(dir / "trip.2024.jpg");
    auto parse = [&](const std::string& line) {
        return IsolatedConverter::parseReport(line, source, OutputFormat::jpg, dir.path());
    };

    const auto accepted = parse("ok " + hex((dir / "trip.2024-12.jpg").string()) + "\n");
    ASSERT_TRUE(accepted);
    EXPECT_EQ(*accepted->output(), dir / "trip.2024-12.jpg");
    EXPECT_EQ(accepted->source(), source);
    for (std::string_view text : {kCouldNotReadImage, kCouldNotCreateOutput, kWriteFailed})
        EXPECT_EQ(parse("error " + std::string(text) + "\n")->error(), std::string(text));

    const std::vector<std::string> rejected{
        "",
        "ok\n",
        "ok " + hex((dir / "trip.2024-12.jpg").string()),                    // no newline
        "ok " + hex((dir / "trip.2024-12.jpg").string()).substr(1) + "\n",  // odd length
        "ok " + hex((dir / "trip.2024-12.jpg").string()) + "zz\n",
        "ok " + hex((dir / "trip.2024-12.jpg").string() + std::string(1, '\0')) + "\n",
        "ok " + hex((dir / "trip.2024-012.jpg").string()) + "\n",  // a counter the converter never writes
        "ok " + hex((dir / "other.jpg").string()) + "\n",          // another base name
        "ok " + hex((dir / "trip.2024.jpg").string()) + "\n",      // a folder
        "ok " + hex((dir / "trip.2024-3.jpg").string()) + "\n",    // nothing there
        "ok " + hex((dir / "sub" / "trip.2024.jpg").string()) + "\n",
        "error Write failed\nerror Write failed\n",
        "error write failed\n",
        "error Write failed.\n",
    };
    for (const std::string& line : rejected)
        EXPECT_FALSE(parse(line)) << line;
    // A base name that ends like the output's: "shot.jpg" is not a name the converter gives shot.jpg.heic.
    std::ofstream(dir / "shot.jpg") << "x";
    EXPECT_FALSE(IsolatedConverter::parseReport("ok " + hex((dir / "shot.jpg").string()) + "\n", dir / "shot.jpg.heic",
                                                OutputFormat::jpg, dir.path()));

    const IsolatedConverter::Request request{dir / "a b\n\xff.heic", OutputFormat::png, 0.37, dir / "out put"};
    const auto parsed = IsolatedConverter::parseRequest(IsolatedConverter::requestLine(request));
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->source, request.source);
    EXPECT_EQ(parsed->to, request.to);
    EXPECT_EQ(parsed->quality, request.quality);
    EXPECT_EQ(parsed->outputDir, request.outputDir);
    EXPECT_FALSE(IsolatedConverter::parseRequest(IsolatedConverter::requestLine({source, OutputFormat::jpg, 0.9, {}}))
                     ->outputDir);
    for (const std::string line : {"", "6162 jpg 0x1p-1 -", "6162 gif 0x1p-1 -\n", "6162 jpg 0.9x -\n",
                                   "6162 jpg 0.9\n", "616 jpg 0.9 -\n", "6162 jpg 0.9 - -\n"})
        EXPECT_FALSE(IsolatedConverter::parseRequest(line)) << line;

    const ConversionResult failure(source, std::nullopt, std::string(kWriteFailed));
    EXPECT_EQ(IsolatedConverter::reportLine(failure), "error Write failed\n");
    const ConversionResult success(source, dir / "trip.2024-12.jpg", std::nullopt);
    EXPECT_EQ(parse(IsolatedConverter::reportLine(success))->output(), success.output());
}

}  // namespace
}  // namespace pictavo::test
