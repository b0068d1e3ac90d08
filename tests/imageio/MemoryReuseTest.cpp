#include "fixtures/HeifFixtures.h"
#include "imageio/ImageSource.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

namespace pictavo::imageio {
namespace {

namespace fs = std::filesystem;

// Resident memory of this process now, in MiB.
double residentMiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// libheif decodes grid tiles on its own threads, each of which allocates from
// a malloc arena of its own; memory freed there must go back to the system, or
// every further photo of a batch keeps more of it.
TEST(MemoryReuse, DecodingPhotoAfterPhotoKeepsNoMemory)
{
    const fs::path samples = fixtures::samplesDir();
    if (samples.empty())
        GTEST_SKIP() << "no ../shared/samples folder";
    const fs::path photo = samples / "iphoneXS_4032x3024_grid8x6_PUG1.HEIC";
    auto decodeOnce = [&] {
        auto source = ImageSource::open(photo);
        ASSERT_TRUE(source);
        ASSERT_NE(source->decode(0), nullptr);
    };
    decodeOnce();
    const double afterFirst = residentMiB();
    for (int i = 0; i < 4; ++i)
        decodeOnce();
    // One decoded 12 MP photo holds 36 MiB of RGB alone; what stays after each
    // must be far less than one photo's worth.
    EXPECT_LT(residentMiB() - afterFirst, 12.0) << "resident after the first photo: " << afterFirst << " MiB";
}

}  // namespace
}  // namespace pictavo::imageio
