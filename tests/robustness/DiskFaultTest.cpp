#include "ConvertersUnderTest.h"
#include "Noise.h"
#include "Tmpfs.h"

#include "fixtures/HeifFixtures.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace pictavo::test {
namespace {

using namespace pictavo::fixtures;

constexpr std::uint64_t kPage = 4096;

class DiskFaults : public testing::TestWithParam<ConverterUnderTest> {
protected:
    ConversionResult convert(const fs::path& source, OutputFormat format, const fs::path& folder) const
    {
        return GetParam().convert(source, format, 0.9, folder);
    }
};

// 0 bytes free, a few KiB, and all but the last few KiB of the output: the
// write fails at its first block, early, and at its very end.
TEST_P(DiskFaults, AFullDiskAtAnyMomentOfTheWriteFailsAndLeavesNothing)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    TempDir dir;
    writeHeic(dir / "photo.heic", HeicImage(noise(256, 256)));
    fs::create_directory(dir / "roomy");
    const std::vector<std::uint8_t> existing(5000, 0x42);

    for (OutputFormat format : allOutputFormats) {
        const ConversionResult sized = convert(dir / "photo.heic", format, dir / "roomy");
        ASSERT_TRUE(sized.ok());
        const std::uint64_t size = fs::file_size(*sized.output());
        ASSERT_GT(size, 8 * kPage) << "the output must span many blocks";

        for (std::uint64_t free : {std::uint64_t(0), 2 * kPage, (size / kPage - 2) * kPage}) {
            SCOPED_TRACE(ext(format) + " with " + std::to_string(free) + " bytes free of " + std::to_string(size));
            Tmpfs disk(dir / "disk", 4 * size + 64 * kPage);
            if (!disk.mounted())
                GTEST_SKIP() << "could not mount a tmpfs";
            writeBytes(disk.path() / ("photo." + ext(format)), existing);
            ASSERT_TRUE(disk.fillLeaving("filler", free));
            const std::uint64_t freeBefore = disk.freeBytes();

            const ConversionResult result = convert(dir / "photo.heic", format, disk.path());
            EXPECT_EQ(result.error(), std::string(kWriteFailed));
            EXPECT_FALSE(result.output());
            EXPECT_EQ(entriesOf(disk.path()), (std::vector<std::string>{"filler", "photo." + ext(format)}));
            EXPECT_EQ(readBytes(disk.path() / ("photo." + ext(format))), existing);
            // Not even an unnamed half file keeps its blocks.
            EXPECT_EQ(disk.freeBytes(), freeBefore);
        }
    }
}

// After the first file the output folder is removed, or made read-only (root
// ignores permission bits, so as root its file system goes read-only instead).
TEST_P(DiskFaults, AnOutputFolderLostBetweenFilesFailsTheRestAndKeepsWhatWasWritten)
{
    for (bool removed : {true, false}) {
        SCOPED_TRACE(removed ? "removed" : "read-only");
        TempDir dir;
        for (const char* name : {"a.heic", "b.heic", "c.heic"})
            writeHeic(dir / name, HeicImage(quadrants(16, 16)));
        const fs::path out = dir / "out";
        std::optional<Tmpfs> disk;
        if (!removed && permissionsAreIgnored()) {
            disk.emplace(out, 1 << 20);
            if (!disk->mounted())
                GTEST_SKIP() << "root, and no tmpfs to make read-only";
        } else {
            fs::create_directory(out);
        }

        std::vector<ConversionResult> results{convert(dir / "a.heic", OutputFormat::png, out)};
        const auto written = readBytes(out / "a.png");
        if (removed)
            fs::remove_all(out);
        else
            ASSERT_TRUE(disk ? disk->setReadOnly(true) : ::chmod(out.c_str(), 0555) == 0);
        for (const char* name : {"b.heic", "c.heic"})
            results.push_back(convert(dir / name, OutputFormat::png, out));

        EXPECT_TRUE(results[0].ok());
        EXPECT_EQ(results[1].error(), std::string(kCouldNotCreateOutput));
        EXPECT_EQ(results[2].error(), std::string(kCouldNotCreateOutput));
        if (removed) {
            EXPECT_FALSE(fs::exists(out)) << "the folder was created again";
        } else {
            EXPECT_EQ(entriesOf(out), std::vector<std::string>{"a.png"});
            EXPECT_EQ(readBytes(out / "a.png"), written);
            disk ? void(disk->setReadOnly(false)) : void(::chmod(out.c_str(), 0755));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Both, DiskFaults, testing::Values(kInProcess, kInWorker), converterName);

}  // namespace
}  // namespace pictavo::test
