#include "fixtures/HeifFixtures.h"

#include "imageio/ImageDestination.h"
#include "imageio/ImageSource.h"

#include <gtest/gtest.h>

#include <fstream>

namespace pictavo::imageio {
namespace {

namespace fs = std::filesystem;
namespace fx = pictavo::fixtures;

class ImageDestinationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fx::HeicImage image(fx::quadrants(64, 32));
        image.orientation = 6;
        image.exif = fx::exifWithOrientation(6, 64, 32);
        image.icc = icc_;
        fx::writeHeic(folder_ / "photo.heic", image);
        source_ = ImageSource::open(folder_ / "photo.heic");
        ASSERT_TRUE(source_);
    }

    Properties jpegOptions() const
    {
        return {{std::string(kLossyCompressionQuality), 0.9}, {std::string(kOrientation), std::int64_t{6}}};
    }

    fx::TempDir folder_;
    // Made once: lcms2 stamps each profile it makes with the time.
    const std::vector<std::uint8_t> icc_ = fx::displayP3Icc();
    std::unique_ptr<ImageSource> source_;
};

TEST_F(ImageDestinationTest, CreateRefusesUnknownTypesImageCountsAndUnusableFolders)
{
    EXPECT_FALSE(ImageDestination::create(folder_ / "a.gif", "image/gif", 1));
    EXPECT_FALSE(ImageDestination::create(folder_ / "a.jpg", "image/jpeg", 0));
    EXPECT_FALSE(ImageDestination::create(folder_ / "a.jpg", "image/jpeg", 2));
    EXPECT_FALSE(ImageDestination::create(folder_ / "missing" / "a.jpg", "image/jpeg", 1));
    std::ofstream(folder_ / "plain") << "not a folder";
    EXPECT_FALSE(ImageDestination::create(folder_ / "plain" / "a.png", "image/png", 1));
    EXPECT_EQ(folder_.entries(), (std::vector<std::string>{"photo.heic", "plain"}));
}

TEST_F(ImageDestinationTest, FileAppearsOnlyWhenFinalizedUprightWithItsMetadata)
{
    const fs::path jpg = folder_ / "photo.jpg";
    auto destination = ImageDestination::create(jpg, "image/jpeg", 1);
    ASSERT_TRUE(destination);
    destination->addImageFromSource(*source_, 0, jpegOptions());
    EXPECT_EQ(folder_.entries(), std::vector<std::string>{"photo.heic"});
    ASSERT_TRUE(destination->finalize());
    EXPECT_FALSE(destination->finalize()) << "a destination writes its file once";

    EXPECT_EQ(fx::jpegDimensions(jpg), std::make_pair(32u, 64u));
    EXPECT_EQ(fx::exifOrientation(fx::jpegExif(jpg)), 1);
    EXPECT_EQ(fx::jpegIcc(jpg), icc_);

    const fs::path png = folder_ / "photo.png";
    destination = ImageDestination::create(png, "image/png", 1);
    ASSERT_TRUE(destination);
    destination->addImageFromSource(*source_, 0, {});
    ASSERT_TRUE(destination->finalize());
    const fx::Raster pixels = fx::readPng(png);
    EXPECT_EQ(pixels.width, 32u);
    EXPECT_EQ(pixels.height, 64u);
    EXPECT_EQ(fx::exifOrientation(fx::pngExif(png)), 1);
    EXPECT_EQ(fx::pngIcc(png), icc_);
    EXPECT_EQ(folder_.entries(), (std::vector<std::string>{"photo.heic", "photo.jpg", "photo.png"}));
}

TEST_F(ImageDestinationTest, FinalizeFailsLeavingNothingWhenThereIsNoImageOrTheNameWasTaken)
{
    auto nothingAdded = ImageDestination::create(folder_ / "empty.jpg", "image/jpeg", 1);
    ASSERT_TRUE(nothingAdded);
    EXPECT_FALSE(nothingAdded->finalize());

    auto undecodable = ImageDestination::create(folder_ / "missing-image.png", "image/png", 1);
    ASSERT_TRUE(undecodable);
    undecodable->addImageFromSource(*source_, 7, {});
    EXPECT_FALSE(undecodable->finalize());

    const fs::path taken = folder_ / "taken.jpg";
    auto destination = ImageDestination::create(taken, "image/jpeg", 1);
    ASSERT_TRUE(destination);
    destination->addImageFromSource(*source_, 0, jpegOptions());
    fx::writeBytes(taken, {'m', 'i', 'n', 'e'});
    EXPECT_FALSE(destination->finalize());
    destination.reset();
    EXPECT_EQ(fx::readBytes(taken), (std::vector<std::uint8_t>{'m', 'i', 'n', 'e'}));
    EXPECT_EQ(folder_.entries(), (std::vector<std::string>{"photo.heic", "taken.jpg"}));
}

}  // namespace
}  // namespace pictavo::imageio
