#include "SyntheticImage.h"
#include "TiffBuilder.h"

#include "fixtures/HeifFixtures.h"

#include "imageio/JpegWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace pictavo::imageio {
namespace {

namespace fs = std::filesystem;
namespace fx = pictavo::fixtures;
using test::MemorySink;
using test::syntheticImage;

constexpr int kApp1 = 0xE1;
constexpr int kApp2 = 0xE2;

class JpegWriterTest : public ::testing::Test {
protected:
    // Encodes into a file of its own in the test's folder.
    fs::path encode(const DecodedImage& image, double quality = 0.9)
    {
        MemorySink out;
        EXPECT_TRUE(writeJpeg(image, quality, out.sink()));
        const fs::path file = folder_ / ("out" + std::to_string(++files_) + ".jpg");
        fx::writeBytes(file, out.bytes);
        return file;
    }

    fx::TempDir folder_;
    int files_ = 0;
};

// Profile-like bytes: an ICC header naming `colourSpace`, then a pattern.
std::vector<std::uint8_t> iccLike(std::size_t size, const char* colourSpace)
{
    std::vector<std::uint8_t> icc(size);
    for (std::size_t i = 0; i < size; ++i)
        icc[i] = static_cast<std::uint8_t>(i * 31 + i / 256);
    std::memcpy(icc.data() + 16, colourSpace, 4);
    return icc;
}

bool startsWith(const std::vector<std::uint8_t>& bytes, const std::string& prefix)
{
    return bytes.size() >= prefix.size() && std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

// Payloads of the APPn segments of `marker` that start with `prefix`.
std::vector<std::vector<std::uint8_t>> segmentsStartingWith(const fs::path& file, int marker, const std::string& prefix)
{
    std::vector<std::vector<std::uint8_t>> found;
    for (std::vector<std::uint8_t>& segment : fx::jpegSegments(file, marker))
        if (startsWith(segment, prefix))
            found.push_back(std::move(segment));
    return found;
}

TEST_F(JpegWriterTest, DecodesBackToTheSameSizeAndNearlyTheSamePixels)
{
    for (auto [quality, meanError] : {std::pair{0.5, 3.0}, std::pair{0.9, 1.5}}) {
        const DecodedImage image = syntheticImage(61, 37, 3, 8, test::gradient);
        const fx::Raster decoded = fx::readJpeg(encode(image, quality));
        ASSERT_EQ(decoded.width, 61u);
        ASSERT_EQ(decoded.height, 37u);
        ASSERT_EQ(decoded.channels, 3);
        double error = 0;
        for (std::uint32_t y = 0; y < 37; ++y)
            for (std::uint32_t x = 0; x < 61; ++x)
                for (int c = 0; c < 3; ++c)
                    error += std::abs(int(decoded.at(x, y, c)) - int(test::gradient(x, y, c)));
        EXPECT_LT(error / (61 * 37 * 3), meanError) << "quality " << quality;
    }
}

TEST_F(JpegWriterTest, FileSizeFallsWithQuality)
{
    const DecodedImage image = syntheticImage(128, 96, 3, 8, [](std::uint32_t x, std::uint32_t y, int c) {
        return (x * x + y * 7 + c * 31 + (x ^ y) * 5) % 256;
    });
    const auto high = fs::file_size(encode(image, 0.95));
    const auto middle = fs::file_size(encode(image, 0.6));
    const auto low = fs::file_size(encode(image, 0.2));
    EXPECT_GT(high, middle);
    EXPECT_GT(middle, low);
}

TEST_F(JpegWriterTest, CarriesExifWithOrientationOneXmpAndIcc)
{
    DecodedImage image = syntheticImage(16, 16, 3, 8, test::gradient);
    image.exif = test::buildTiff({});
    const std::string xmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:Description tiff:Orientation=\"6\"/></x:xmpmeta>";
    image.xmp.assign(xmp.begin(), xmp.end());
    image.icc = iccLike(3000, "RGB ");
    const fs::path file = encode(image);

    const std::vector<std::uint8_t> bytes = fx::readBytes(file);
    ASSERT_GT(bytes.size(), 12u);
    EXPECT_EQ(bytes[3], kApp1) << "EXIF comes first after SOI";
    EXPECT_TRUE(startsWith({bytes.begin() + 6, bytes.end()}, std::string("Exif\0\0", 6)));
    const std::vector<std::uint8_t> tiff = fx::jpegExif(file);
    EXPECT_EQ(test::ifd0Tag(tiff, 0x0112)->value, 1u);
    EXPECT_EQ(test::exifIfdTag(tiff, 0xA002)->value, 16u);

    const auto xmpSegments = segmentsStartingWith(file, kApp1, std::string("http://ns.adobe.com/xap/1.0/\0", 29));
    ASSERT_EQ(xmpSegments.size(), 1u);
    EXPECT_EQ(std::string(xmpSegments[0].begin() + 29, xmpSegments[0].end()),
              "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:Description tiff:Orientation=\"1\"/></x:xmpmeta>");

    const auto icc = segmentsStartingWith(file, kApp2, std::string("ICC_PROFILE\0", 12));
    ASSERT_EQ(icc.size(), 1u);
    EXPECT_EQ(std::vector<std::uint8_t>(icc[0].begin() + 14, icc[0].end()), image.icc);
    EXPECT_EQ(fx::readJpeg(file).width, 16u);
}

TEST_F(JpegWriterTest, LargeIccProfileIsSplitOverNumberedSegmentsThatReassembleExactly)
{
    DecodedImage image = syntheticImage(8, 8, 3, 8, test::gradient);
    image.icc = iccLike(200000, "RGB ");
    const fs::path file = encode(image);

    const auto chunks = segmentsStartingWith(file, kApp2, std::string("ICC_PROFILE\0", 12));
    ASSERT_EQ(chunks.size(), 4u);
    std::vector<std::uint8_t> reassembled;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        EXPECT_EQ(chunks[i][12], i + 1) << "sequence number";
        EXPECT_EQ(chunks[i][13], chunks.size()) << "chunk count";
        EXPECT_LE(chunks[i].size(), 65533u);
        reassembled.insert(reassembled.end(), chunks[i].begin() + 14, chunks[i].end());
    }
    EXPECT_EQ(reassembled, image.icc);
}

TEST_F(JpegWriterTest, MetadataTooLargeForOneSegmentIsReducedOrLeftOutNeverWrittenInvalid)
{
    DecodedImage image = syntheticImage(8, 8, 3, 8, test::gradient);
    test::TiffContents big;
    big.makerNoteSize = 50000;
    big.thumbnailSize = 50000;
    image.exif = test::buildTiff(big);
    image.xmp.assign(70000, 'x');
    const fs::path file = encode(image);

    for (int marker = 0xE0; marker <= 0xEF; ++marker)
        for (const auto& segment : fx::jpegSegments(file, marker))
            EXPECT_LE(segment.size(), 65533u) << "a segment's length field cannot count more";
    const auto exif = segmentsStartingWith(file, kApp1, std::string("Exif\0\0", 6));
    ASSERT_EQ(exif.size(), 1u);
    const std::vector<std::uint8_t> tiff(exif[0].begin() + 6, exif[0].end());
    EXPECT_EQ(test::ifd0Tag(tiff, 0x0112)->value, 1u);
    EXPECT_EQ(test::ifd1Offset(tiff), 0u);
    EXPECT_TRUE(segmentsStartingWith(file, kApp1, "http://ns.adobe.com/xap/1.0/").empty());
    EXPECT_EQ(fx::readJpeg(file).width, 8u);
}

TEST_F(JpegWriterTest, SixteenBitSamplesAreRoundedNotTruncated)
{
    // expected 8-bit value = round(v × 255 / 65535)
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {
        {25855, 101}, {25700, 100}, {128, 0}, {129, 1}, {65535, 255}, {0, 0}, {65408, 255}};
    for (auto [in, expected] : cases) {
        const DecodedImage image = syntheticImage(16, 16, 1, 16, [in](auto, auto, int) { return in; });
        EXPECT_EQ(fx::readJpeg(encode(image, 1.0)).at(8, 8, 0), expected) << "16-bit value " << in;
    }
}

TEST_F(JpegWriterTest, AlphaIsCompositedOntoWhite)
{
    struct Case {
        int bits;
        std::uint32_t r, g, b, a;
        int expectedR, expectedG, expectedB;
    };
    const Case cases[] = {
        {8, 255, 0, 0, 0, 255, 255, 255},          // transparent red vanishes into white
        {8, 0, 0, 0, 128, 127, 127, 127},          // half-covered black is mid grey
        {8, 0, 0, 255, 255, 0, 0, 255},            // opaque blue stays blue
        {16, 0, 65535, 0, 0, 255, 255, 255},       // 16-bit transparent green
        {16, 65535, 0, 0, 32768, 255, 127, 127},   // 16-bit half-covered red
    };
    for (const Case& k : cases) {
        const DecodedImage image = syntheticImage(16, 16, 4, k.bits, [&k](auto, auto, int c) {
            return c == 0 ? k.r : c == 1 ? k.g : c == 2 ? k.b : k.a;
        });
        const fx::Raster decoded = fx::readJpeg(encode(image, 1.0));
        ASSERT_EQ(decoded.channels, 3);
        EXPECT_NEAR(int(decoded.at(8, 8, 0)), k.expectedR, 2);
        EXPECT_NEAR(int(decoded.at(8, 8, 1)), k.expectedG, 2);
        EXPECT_NEAR(int(decoded.at(8, 8, 2)), k.expectedB, 2);
    }
    const DecodedImage greyAlpha = syntheticImage(16, 16, 2, 8, [](auto, auto, int) { return 0u; });
    const fx::Raster decoded = fx::readJpeg(encode(greyAlpha, 1.0));
    EXPECT_EQ(decoded.channels, 1);
    EXPECT_NEAR(int(decoded.at(3, 3, 0)), 255, 1);
}

TEST_F(JpegWriterTest, GreySourcesGiveGreyscaleJpegsWithOnlyAProfileForGrey)
{
    for (int bits : {8, 16}) {
        const DecodedImage image = syntheticImage(20, 10, 1, bits, [bits](std::uint32_t x, auto, int) {
            return bits == 8 ? x * 12 : x * 12 * 257;
        });
        const fx::Raster decoded = fx::readJpeg(encode(image, 1.0));
        EXPECT_EQ(decoded.channels, 1);
        EXPECT_NEAR(int(decoded.at(10, 5, 0)), 120, 2);
    }
    DecodedImage grey = syntheticImage(8, 8, 1, 8, test::gradient);
    grey.icc = iccLike(500, "GRAY");
    EXPECT_EQ(fx::jpegIcc(encode(grey)), grey.icc);
    grey.icc = iccLike(500, "RGB ");
    EXPECT_TRUE(fx::jpegIcc(encode(grey)).empty()) << "an RGB profile cannot describe one channel";
    DecodedImage colour = syntheticImage(8, 8, 3, 8, test::gradient);
    colour.icc = iccLike(500, "GRAY");
    EXPECT_TRUE(fx::jpegIcc(encode(colour)).empty());
}

TEST_F(JpegWriterTest, FailsWithoutThrowingOnUnusableImagesAndFailingSinks)
{
    const DecodedImage good = syntheticImage(64, 64, 3, 8, test::gradient);
    std::size_t accepted = 0;
    auto fullAfterSomeBytes = [&accepted](const std::uint8_t*, std::size_t size) {
        accepted += size;
        return accepted < 100;
    };
    EXPECT_FALSE(writeJpeg(good, 0.9, fullAfterSomeBytes));
    auto throwing = [](const std::uint8_t*, std::size_t) -> bool { throw std::runtime_error("sink broke"); };
    EXPECT_FALSE(writeJpeg(good, 0.9, throwing));

    MemorySink out;
    DecodedImage noPixels = good;
    noPixels.data = nullptr;
    EXPECT_FALSE(writeJpeg(noPixels, 0.9, out.sink()));
    DecodedImage oddDepth = good;
    oddDepth.bitsPerSample = 12;
    EXPECT_FALSE(writeJpeg(oddDepth, 0.9, out.sink()));
    DecodedImage shortRows = good;
    shortRows.stride = 10;
    EXPECT_FALSE(writeJpeg(shortRows, 0.9, out.sink()));
    const DecodedImage tooWide = syntheticImage(70000, 1, 1, 8, [](auto, auto, int) { return 0u; });
    EXPECT_FALSE(writeJpeg(tooWide, 0.9, out.sink())) << "beyond the JPEG size limit";
}

}  // namespace
}  // namespace pictavo::imageio
