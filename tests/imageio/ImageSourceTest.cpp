#include "fixtures/HeifFixtures.h"
#include "imageio/ImageSource.h"

#include <gtest/gtest.h>

namespace pictavo::imageio {
namespace {

using namespace fixtures;

TEST(ImageSource, OpensAFixture)
{
    TempDir dir;
    writeHeic(dir / "a.heic", HeicImage{quadrants(64, 32)});
    auto source = ImageSource::open(dir / "a.heic");
    ASSERT_TRUE(source);
    EXPECT_EQ(source->count(), 1u);
    const DecodedImage* image = source->decode(0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 64u);
}

}  // namespace
}  // namespace pictavo::imageio
