#include "ConvertersUnderTest.h"

#include "fixtures/HeifFixtures.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace pictavo::test {
namespace {

using namespace pictavo::fixtures;

class NameRace : public testing::TestWithParam<ConverterUnderTest> {};

// Another program takes the chosen name after the converter has checked it is
// free and while it writes: that file must stay exactly as its owner wrote it.
TEST_P(NameRace, ANameTakenWhileTheOutputIsWrittenIsNeverReplaced)
{
    TempDir dir;
    const fs::path out = dir / "out";
    fs::create_directory(out);
    writeFlatGridHeic(dir / "photo.heic", 4096, 4096, 512, 90, 120, 150);
    const std::string theirs = "another program's file\n";

    std::atomic<bool> stop = false;
    std::atomic<bool> tookTheName = false;
    std::thread otherProgram([&] {
        while (!stop) {
            if (!writerOfUnnamedFileIn(out))
                continue;
            const int fd = ::open((out / "photo.png").c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd >= 0) {
                tookTheName = ::write(fd, theirs.data(), theirs.size()) == ssize_t(theirs.size());
                ::close(fd);
            }
            return;
        }
    });
    const ConversionResult result = GetParam().convert(dir / "photo.heic", OutputFormat::png, 0.9, out);
    stop = true;
    otherProgram.join();

    ASSERT_TRUE(tookTheName) << "the other program did not get in while the output was written";
    EXPECT_EQ(result.error(), std::string(kCouldNotCreateOutput));
    EXPECT_FALSE(result.output());
    EXPECT_EQ(entriesOf(out), std::vector<std::string>{"photo.png"});
    const auto bytes = readBytes(out / "photo.png");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), theirs);
}

INSTANTIATE_TEST_SUITE_P(Both, NameRace, testing::Values(kInProcess, kInWorker), converterName);

}  // namespace
}  // namespace pictavo::test
