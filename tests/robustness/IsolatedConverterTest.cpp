#include "Noise.h"

#include "core/Converter.h"
#include "core/IsolatedConverter.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

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

// Whatever goes wrong in the worker, or whatever it reports that the converter
// could not have written, the file ends as unreadable, without waiting longer
// than needed. The converter names this source's outputs photo.jpg.jpg,
// photo.jpg-1.jpg, ... in its folder, so a report of any other file is not
// believed, even of one that exists.
TEST(IsolatedConverter, AWorkerThatFailsInAnyWayCostsOnlyItsFileQuickly)
{
    TempDir workers;
    TempDir photos;
    const fs::path source = photos / "photo.jpg.heic";
    writeHeic(source, HeicImage(quadrants(16, 16)));
    fs::create_directory(photos / "photo.jpg-1.jpg");
    fs::create_directory(photos / "sub");
    for (const fs::path& other : {photos / "photo.jpg", photos / "photo.jpg-012.jpg", photos / "other.jpg",
                                  photos / "photo.jpg-2.jpg", photos / "sub" / "photo.jpg.jpg",
                                  workers / "photo.jpg.jpg"})
        std::ofstream(other) << "not written by the worker";
    const std::vector<std::string> entries = photos.entries();
    // Reads its request, reports and waits for the next, as a real worker does (one that ends after its report
    // is not believed, whatever it says).
    auto reports = [](const std::string& report) { return "read request; printf '" + report + "'; read next"; };
    auto claims = [&](const fs::path& output) {
        return reports(IsolatedConverter::reportLine({source, output, std::nullopt}));
    };

    const std::vector<std::pair<std::string, std::string>> misbehaviours{
        {"crashes", "kill -SEGV $$"},
        {"hangs", "exec sleep 30"},
        {"exits before reporting", "exit 0"},
        {"prints garbage", reports("hello\\n")},
        {"floods its output with no newline", "exec cat /dev/zero"},
        {"prints two reports", reports("error Write failed\\nerror Write failed\\n")},
        {"reports an unknown failure", reports("error Disk on fire\\n")},
        {"claims a file outside the output folder", claims(workers / "photo.jpg.jpg")},
        {"claims a file in a folder inside the output folder", claims(photos / "sub" / "photo.jpg.jpg")},
        {"claims a folder", claims(photos / "photo.jpg-1.jpg")},
        {"claims a counter the converter never writes", claims(photos / "photo.jpg-012.jpg")},
        {"claims another name", claims(photos / "other.jpg")},
        {"claims a name that ends like the output's", claims(photos / "photo.jpg")},
        {"claims a path cut short by a NUL byte", claims((photos / "photo.jpg-2.jpg").string() + '\0')},
    };
    for (const auto& [what, body] : misbehaviours) {
        SCOPED_TRACE(what);
        const fs::path worker = writeScript(workers, "worker", body);
        const auto start = std::chrono::steady_clock::now();
        const ConversionResult result =
            IsolatedConverter::convertInWorker(worker, 2s, source, OutputFormat::jpg, 0.9, std::nullopt);
        // Only a worker that stays alive and silent waits for the time limit.
        EXPECT_LT(std::chrono::steady_clock::now() - start, body.find("sleep") != std::string::npos ? 6s : 1500ms);
        EXPECT_EQ(result.error(), std::string(kCouldNotReadImage));
        EXPECT_EQ(result.source(), source);
        EXPECT_EQ(photos.entries(), entries);
    }
    // The same report of a file the converter could have written is believed.
    const fs::path worker = writeScript(workers, "worker", claims(photos / "photo.jpg-2.jpg"));
    const ConversionResult believed =
        IsolatedConverter::convertInWorker(worker, 2s, source, OutputFormat::jpg, 0.9, std::nullopt);
    EXPECT_EQ(believed.output(), photos / "photo.jpg-2.jpg");
    EXPECT_EQ(believed.source(), source);
}

// One worker serves a thread's files one after another; a file it fails
// gets it replaced, and another thread gets a worker of its own.
TEST(IsolatedConverter, AWorkerIsReusedUntilItFailsAFile)
{
    TempDir dir;
    for (const char* name : {"good.jpg", "fine.jpg"})
        std::ofstream(dir / name) << "written by the worker";
    const fs::path log = dir.path() / "starts";
    // Reports each source's .jpg as written: believed for good and fine, whose
    // .jpg exists, and not for bad ("2e68656963" is ".heic", "2e6a7067" ".jpg").
    const fs::path worker = writeScript(dir, "worker",
                                        "echo started >> '" + log.string() + "'\n"
                                        "while read source rest; do echo \"ok ${source%2e68656963}2e6a7067\"; done");
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
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"not-executable", "photo-1.png", "photo.heic", "photo.png"}));
}

// Paths travel to and from the worker whatever bytes they hold, and an odd
// quality reaches the encoder unchanged.
TEST(IsolatedConverter, TheWorkerWritesWhatThisProcessWritesWhateverThePaths)
{
    TempDir dir;
    const fs::path folder = dir / "a folder \n with \xff odd bytes";
    fs::create_directory(folder);
    const fs::path source = folder / "-x\tname\n\xfe.HEIC";
    HeicImage image(gradient(48, 32));
    image.orientation = 6;
    image.exif = buildTiff({.orientation = 6, .pixelX = 48, .pixelY = 32});
    image.icc = displayP3Icc();
    writeHeic(source, image);

    for (OutputFormat format : allOutputFormats) {
        const ConversionResult local = Converter::convert(source, format, 0.37, dir.path());
        const ConversionResult isolated =
            IsolatedConverter::convertInWorker(PICTAVO_TEST_WORKER, 60s, source, format, 0.37, folder);
        ASSERT_TRUE(isolated.ok()) << *isolated.error();
        EXPECT_EQ(*isolated.output(), folder / ("-x\tname\n\xfe." + ext(format)));
        EXPECT_EQ(readBytes(*isolated.output()), readBytes(local.output().value()));
    }
}

// A worker killed half-way leaves no file: its output had no name yet.
TEST(IsolatedConverter, AWorkerKilledAtItsTimeLimitLeavesNothing)
{
    TempDir dir;
    // Noise: seconds of work however fast the machine, where a flat colour took less than the limit.
    writeRepeatedTileHeic(dir / "large.heic", 4096, 4096, noise(512, 512));
    const auto start = std::chrono::steady_clock::now();
    const ConversionResult result =
        IsolatedConverter::convertInWorker(PICTAVO_TEST_WORKER, 150ms, dir / "large.heic", OutputFormat::png, 0.9,
                                           std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_EQ(result.error(), std::string(kCouldNotReadImage));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"large.heic"});
}

}  // namespace
}  // namespace pictavo::test
