// The decode side of the image service: which image comes first, straight
// alpha, and the colour description of the decoded pixels.

#include "fixtures/HeifFixtures.h"
#include "imageio/ImageSource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>

namespace pictavo::imageio {
namespace {

using namespace fixtures;

std::int64_t property(const Properties& properties, std::string_view key)
{
    auto it = properties.find(key);
    return it == properties.end() ? -1 : std::get<std::int64_t>(it->second);
}

std::uint16_t sampleAt(const DecodedImage& image, std::uint32_t x, std::uint32_t y, int c)
{
    const std::uint8_t* row = image.row(y);
    if (image.bitsPerSample == 8)
        return row[std::size_t(x) * image.channels + c];
    std::uint16_t value;
    std::memcpy(&value, row + (std::size_t(x) * image.channels + c) * 2, 2);
    return value;
}

// Compares decoded samples with expected ones (already in the decoded range).
::testing::AssertionResult samplesEqual(const DecodedImage& image, const Pixels& expected, int tolerance = 0)
{
    if (image.width != expected.width || image.height != expected.height || image.channels != expected.channels)
        return ::testing::AssertionFailure() << "layout " << image.width << "x" << image.height << "x"
                                             << image.channels << ", expected " << expected.width << "x"
                                             << expected.height << "x" << expected.channels;
    for (std::uint32_t y = 0; y < image.height; ++y)
        for (std::uint32_t x = 0; x < image.width; ++x)
            for (int c = 0; c < image.channels; ++c)
                if (std::abs(int(sampleAt(image, x, y, c)) - int(expected.at(x, y, c))) > tolerance)
                    return ::testing::AssertionFailure()
                           << "sample (" << x << "," << y << "," << c << ") is " << sampleAt(image, x, y, c)
                           << ", expected " << expected.at(x, y, c);
    return ::testing::AssertionSuccess();
}

TEST(ImageSourceImages, ThePrimaryImageIsImageZeroWhereverItStands)
{
    TempDir dir;
    std::vector<HeicImage> images = {HeicImage(flat(32, 16, 255, 0, 0)), HeicImage(flat(48, 16, 0, 255, 0)),
                                     HeicImage(flat(64, 16, 0, 0, 255))};
    writeHeic(dir / "three.heic", images, 2);
    auto source = ImageSource::open(dir / "three.heic");
    ASSERT_TRUE(source);
    ASSERT_EQ(source->count(), 3u);
    const std::uint32_t widths[] = {64, 32, 48};  // primary first, then file order
    for (std::size_t i = 0; i < 3; ++i) {
        auto properties = source->properties(i);
        ASSERT_TRUE(properties);
        EXPECT_EQ(property(*properties, kPixelWidth), widths[i]);
        const DecodedImage* image = source->decode(i);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, widths[i]);
    }
    EXPECT_TRUE(samplesEqual(*source->decode(0), flat(64, 16, 0, 0, 255)));
    EXPECT_FALSE(source->properties(3));
    EXPECT_EQ(source->decode(3), nullptr);
}

TEST(ImageSourcePixels, PremultipliedAlphaComesStraight)
{
    TempDir dir;
    Pixels straight = quadrants(64, 32, 4);
    // Half-bright colours so premultiplying and dividing back loses nothing measurable.
    for (std::uint32_t y = 0; y < 32; ++y)
        for (std::uint32_t x = 0; x < 64; ++x)
            for (int c = 0; c < 3; ++c)
                straight.at(x, y, c) = straight.at(x, y, c) ? 200 : 0;
    Pixels premultiplied = straight;
    for (std::uint32_t y = 0; y < 32; ++y)
        for (std::uint32_t x = 0; x < 64; ++x)
            for (int c = 0; c < 3; ++c)
                premultiplied.at(x, y, c) =
                    std::uint16_t((straight.at(x, y, c) * straight.at(x, y, 3) + 127) / 255);
    HeicImage image(premultiplied);
    image.premultipliedAlpha = true;
    writeHeic(dir / "premultiplied.heic", image);
    auto source = ImageSource::open(dir / "premultiplied.heic");
    ASSERT_TRUE(source);
    const DecodedImage* decoded = source->decode(0);
    ASSERT_TRUE(decoded);
    // Where alpha is 0 the colour is gone for good: expect 0 there.
    for (std::uint32_t y = 16; y < 32; ++y)
        for (std::uint32_t x = 32; x < 64; ++x)
            for (int c = 0; c < 3; ++c)
                straight.at(x, y, c) = 0;
    EXPECT_TRUE(samplesEqual(*decoded, straight, 1));
}

// --- Colour --------------------------------------------------------------------------

std::vector<std::uint8_t> iccForNclx(const Nclx& nclx, Pixels pixels)
{
    TempDir dir;
    HeicImage image(std::move(pixels));
    image.lossless = false;
    image.quality = 100;
    image.chroma = "444";
    image.nclx = nclx;
    writeHeic(dir / "nclx.heic", image);
    auto source = ImageSource::open(dir / "nclx.heic");
    const DecodedImage* decoded = source ? source->decode(0) : nullptr;
    if (!decoded)
        throw std::runtime_error("cannot decode nclx fixture");
    return decoded->icc;
}

TEST(ImageSourceColour, OnlyWideGamutNclxGetsAProfileOfItsOwn)
{
    const Pixels orange = flat(64, 32, 200, 100, 50);
    EXPECT_TRUE(iccForNclx({1, 13, 6, true}, orange).empty());
    EXPECT_TRUE(iccForNclx({2, 2, 6, true}, orange).empty());
    const std::vector<std::uint8_t> p3 = iccForNclx({12, 13, 6, true}, orange);
    const std::vector<std::uint8_t> bt2020 = iccForNclx({9, 14, 9, true}, orange);
    ASSERT_GT(p3.size(), 128u);
    EXPECT_EQ(std::string(p3.begin() + 36, p3.begin() + 40), "acsp");
    EXPECT_NE(p3, bt2020);
}

// A 10-bit PQ or HLG ramp becomes SDR that rises from black to white without
// clipping its highlights or crushing its middle.
TEST(ImageSourceColour, HdrIsToneMappedNotClipped)
{
    Pixels ramp{1024, 2, 3, 10, std::vector<std::uint16_t>(1024 * 2 * 3)};
    for (std::uint32_t y = 0; y < 2; ++y)
        for (std::uint32_t x = 0; x < 1024; ++x)
            for (int c = 0; c < 3; ++c)
                ramp.at(x, y, c) = std::uint16_t(x);
    for (std::uint16_t transfer : {16, 18}) {
        TempDir dir;
        HeicImage image(ramp);
        image.lossless = false;
        image.quality = 100;
        image.chroma = "444";
        image.nclx = Nclx{9, transfer, 9, true};
        writeHeic(dir / "hdr.heic", image);
        auto source = ImageSource::open(dir / "hdr.heic");
        const DecodedImage* decoded = source ? source->decode(0) : nullptr;
        ASSERT_TRUE(decoded) << "transfer " << transfer;
        EXPECT_FALSE(decoded->icc.empty()) << "BT.2020 pixels need their profile";
        int clipped = 0;
        for (std::uint32_t x = 0; x < decoded->width; ++x)
            clipped += sampleAt(*decoded, x, 0, 1) >= 65500;
        EXPECT_LT(sampleAt(*decoded, 8, 0, 1), 3000) << "transfer " << transfer;
        EXPECT_GT(sampleAt(*decoded, decoded->width - 8, 0, 1), 60000) << "transfer " << transfer;
        EXPECT_LT(clipped, int(decoded->width / 10)) << "highlights clipped, transfer " << transfer;
        const std::uint16_t middle = sampleAt(*decoded, decoded->width / 2, 0, 1);
        EXPECT_GT(middle, 65535 / 5) << "transfer " << transfer;
        EXPECT_LT(middle, 65535 * 4 / 5) << "transfer " << transfer;
    }
}

}  // namespace
}  // namespace pictavo::imageio
