// The photo's date stays on the file: every output gets the source's access
// and modification time, in this process and through the worker.

#include "ConvertersUnderTest.h"

#include "fixtures/HeifFixtures.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace pictavo::test {
namespace {

using namespace pictavo::fixtures;

class FileTimes : public ::testing::TestWithParam<ConverterUnderTest> {};

TEST_P(FileTimes, EveryOutputCarriesTheSourcesTimesToTheNanosecond)
{
    TempDir photos;
    TempDir chosen;
    const fs::path source = photos / "photo.heic";
    writeHeic(source, HeicImage(quadrants(16, 16)));
    const timespec times[2] = {{1546300800, 123456789}, {1557000000, 987654321}};  // access, modification (2019)
    // A folder given as "DIR/" is the same folder: the worker's report of a file written there is believed.
    for (const std::optional<fs::path>& outputDir :
         {std::optional<fs::path>(), std::optional(chosen.path()), std::optional(chosen.path() / "")}) {
        for (OutputFormat format : allOutputFormats) {
            // Reading the source may move its access time on: set both again each time.
            ASSERT_EQ(::utimensat(AT_FDCWD, source.c_str(), times, 0), 0);
            const ConversionResult result = GetParam().convert(source, format, 0.9, outputDir);
            ASSERT_TRUE(result.ok()) << *result.error();
            struct stat info{};
            ASSERT_EQ(::stat(result.output()->c_str(), &info), 0);
            EXPECT_EQ(info.st_mtim.tv_sec, times[1].tv_sec) << *result.output();
            EXPECT_EQ(info.st_mtim.tv_nsec, times[1].tv_nsec) << *result.output();
            EXPECT_EQ(info.st_atim.tv_sec, times[0].tv_sec) << *result.output();
            EXPECT_EQ(info.st_atim.tv_nsec, times[0].tv_nsec) << *result.output();
        }
    }
    EXPECT_EQ(photos.entries(), (std::vector<std::string>{"photo.heic", "photo.jpg", "photo.png"}));
    EXPECT_EQ(chosen.entries(), (std::vector<std::string>{"photo-1.jpg", "photo-1.png", "photo.jpg", "photo.png"}));
}

INSTANTIATE_TEST_SUITE_P(Both, FileTimes, ::testing::Values(kInProcess, kInWorker), converterName);

}  // namespace
}  // namespace pictavo::test
