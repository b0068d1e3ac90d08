// The decode side of the image service: straight alpha and the colour description.

#include "fixtures/HeifFixtures.h"
#include "imageio/ImageSource.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

namespace pictavo::imageio {
namespace {

using namespace fixtures;

std::uint16_t sampleAt(const DecodedImage& image, std::uint32_t x, std::uint32_t y, int c)
{
    const std::uint8_t* row = image.row(y);
    if (image.bitsPerSample == 8)
        return row[std::size_t(x) * image.channels + c];
    std::uint16_t value;
    std::memcpy(&value, row + (std::size_t(x) * image.channels + c) * 2, 2);
    return value;
}

// Writes `image` (near-lossless with `nclx`, when given) as a HEIC file and decodes it back.
DecodedImage decodedFrom(HeicImage image, const std::optional<Nclx>& nclx = std::nullopt)
{
    if (nclx) {
        image.lossless = false;
        image.quality = 100;
        image.nclx = nclx;
    }
    TempDir dir;
    writeHeic(dir / "in.heic", image);
    auto source = ImageSource::open(dir / "in.heic");
    std::unique_ptr<DecodedImage> decoded = source ? source->decode() : nullptr;
    if (!decoded)
        throw std::runtime_error("cannot decode the fixture");
    return *decoded;
}

TEST(ImageSourcePixels, PremultipliedAlphaComesStraight)
{
    // Half-bright colours so premultiplying and dividing back loses nothing
    // measurable; where alpha is 0 the colour is gone for good: 0 there.
    Pixels straight = quadrants(64, 32, 4);
    Pixels premultiplied = straight;
    for (std::size_t i = 0; i < straight.samples.size(); ++i) {
        const std::uint16_t alpha = straight.samples[i | 3];
        if (i % 4 == 3)
            continue;
        straight.samples[i] = straight.samples[i] && alpha ? 200 : 0;
        premultiplied.samples[i] = std::uint16_t((straight.samples[i] * alpha + 127) / 255);
    }
    HeicImage image(premultiplied);
    image.premultipliedAlpha = true;
    const DecodedImage decoded = decodedFrom(image);
    ASSERT_EQ(std::tuple(decoded.width, decoded.height, decoded.channels), std::tuple(64u, 32u, 4));
    for (std::size_t i = 0; i < straight.samples.size(); ++i)
        EXPECT_NEAR(sampleAt(decoded, i / 4 % 64, i / 256, i % 4), straight.samples[i], 1) << "sample " << i;
}

TEST(ImageSourceColour, OnlyWideGamutNclxGetsAProfileOfItsOwn)
{
    auto icc = [](const Nclx& nclx) { return decodedFrom(HeicImage(flat(64, 32, 200, 100, 50)), nclx).icc; };
    EXPECT_TRUE(icc({1, 13, 6, true}).empty());
    EXPECT_TRUE(icc({2, 2, 6, true}).empty());
    const std::vector<std::uint8_t> p3 = icc({12, 13, 6, true});
    const std::vector<std::uint8_t> bt2020 = icc({9, 14, 9, true});
    ASSERT_GT(p3.size(), 128u);
    EXPECT_EQ(std::string(p3.begin() + 36, p3.begin() + 40), "acsp");
    EXPECT_NE(p3, bt2020);
}

// A 10-bit PQ or HLG ramp becomes SDR that rises from black to white without
// clipping its highlights or crushing its middle.
TEST(ImageSourceColour, HdrIsToneMappedNotClipped)
{
    Pixels ramp{1024, 2, 3, 10, {}};
    for (std::size_t i = 0; i < 1024 * 2 * 3; ++i)
        ramp.samples.push_back(std::uint16_t(i / 3 % 1024));
    for (std::uint16_t transfer : {16, 18}) {
        SCOPED_TRACE(transfer == 16 ? "PQ" : "HLG");
        const DecodedImage decoded = decodedFrom(HeicImage(ramp), Nclx{9, transfer, 9, true});
        EXPECT_FALSE(decoded.icc.empty()) << "BT.2020 pixels need their profile";
        int clipped = 0;
        for (std::uint32_t x = 0; x < decoded.width; ++x)
            clipped += sampleAt(decoded, x, 0, 1) >= 65500;
        EXPECT_LT(sampleAt(decoded, 8, 0, 1), 3000);
        EXPECT_GT(sampleAt(decoded, decoded.width - 8, 0, 1), 60000);
        EXPECT_LT(clipped, int(decoded.width / 10)) << "highlights clipped";
        const std::uint16_t middle = sampleAt(decoded, decoded.width / 2, 0, 1);
        EXPECT_GT(middle, 65535 / 5);
        EXPECT_LT(middle, 65535 * 4 / 5);
    }
}

}  // namespace
}  // namespace pictavo::imageio
