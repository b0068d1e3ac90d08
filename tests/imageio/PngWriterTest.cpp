#include "SyntheticImage.h"
#include "TiffBuilder.h"
#include "WrittenImageReaders.h"

#include "imageio/PngWriter.h"

#include <gtest/gtest.h>

#include <lcms2.h>
#include <png.h>

#include <algorithm>
#include <random>
#include <string>

namespace pictavo::imageio {
namespace {

using test::decodePng;
using test::MemorySink;
using test::syntheticImage;

std::vector<std::uint8_t> encode(const DecodedImage& image)
{
    MemorySink out;
    EXPECT_TRUE(writePng(image, out.sink()));
    return out.bytes;
}

std::vector<std::uint8_t> srgbProfile()
{
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<std::uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

TEST(PngWriter, EveryLayoutAndDepthComesBackExactly)
{
    std::mt19937 random(7);
    for (int channels = 1; channels <= 4; ++channels)
        for (int bits : {8, 16}) {
            const std::uint32_t maximum = bits == 8 ? 255 : 65535;
            const DecodedImage image = syntheticImage(33, 17, channels, bits, [&](auto, auto, int) {
                return static_cast<std::uint32_t>(random() % (maximum + 1));
            });
            const auto decoded = decodePng(encode(image));
            ASSERT_TRUE(decoded);
            ASSERT_EQ(decoded->width, 33u);
            ASSERT_EQ(decoded->height, 17u);
            ASSERT_EQ(decoded->channels, channels);
            ASSERT_EQ(decoded->bits, bits);
            std::size_t differences = 0;
            for (std::uint32_t y = 0; y < 17; ++y)
                for (std::uint32_t x = 0; x < 33; ++x)
                    for (int c = 0; c < channels; ++c) {
                        std::uint32_t expected;
                        if (bits == 8) {
                            expected = image.row(y)[x * channels + c];
                        } else {
                            std::uint16_t v;
                            std::memcpy(&v, image.row(y) + (x * channels + c) * 2, 2);
                            expected = v;
                        }
                        differences += decoded->sample(x, y, c) != expected;
                    }
            EXPECT_EQ(differences, 0u) << channels << " channels, " << bits << " bits";
        }
}

TEST(PngWriter, IccProfileGoesIntoIccpOtherwiseAnSrgbChunk)
{
    DecodedImage image = syntheticImage(8, 8, 3, 8, test::gradient);
    const auto untagged = decodePng(encode(image));
    ASSERT_TRUE(untagged);
    EXPECT_TRUE(untagged->srgb);
    EXPECT_FALSE(untagged->iccName);

    image.icc = srgbProfile();
    const std::vector<std::uint8_t> file = encode(image);
    const auto tagged = decodePng(file);
    ASSERT_TRUE(tagged);
    EXPECT_EQ(tagged->iccName, "ICC Profile");
    EXPECT_EQ(tagged->icc, image.icc);
    const auto chunks = test::pngChunkTypes(file);
    EXPECT_EQ(std::count(chunks.begin(), chunks.end(), "sRGB"), 0);
    EXPECT_EQ(std::count(chunks.begin(), chunks.end(), "iCCP"), 1);
}

TEST(PngWriter, ProfileLibpngRejectsIsLeftOutAndTheImageStillWritten)
{
    DecodedImage image = syntheticImage(8, 8, 3, 8, test::gradient);
    image.icc.assign(500, 0x11);
    MemorySink out;
    ASSERT_TRUE(writePng(image, out.sink()));
    const auto decoded = decodePng(out.bytes);
    ASSERT_TRUE(decoded);
    EXPECT_FALSE(decoded->iccName);
}

TEST(PngWriter, CarriesExifWithOrientationOneAndXmpAsUncompressedItxt)
{
    DecodedImage image = syntheticImage(12, 9, 4, 8, test::gradient);
    test::TiffContents contents;
    contents.bigEndian = true;
    contents.thumbnailSize = 300;
    image.exif = test::buildTiff(contents);
    const std::string xmp = "<?xpacket begin=\"\"?><x:xmpmeta><tiff:Orientation>%</tiff:Orientation></x:xmpmeta>";
    const std::string original = std::string(xmp).replace(xmp.find('%'), 1, "6");
    image.xmp.assign(original.begin(), original.end());
    image.xmp.push_back(0);

    const std::vector<std::uint8_t> file = encode(image);
    const auto decoded = decodePng(file);
    ASSERT_TRUE(decoded);
    ASSERT_FALSE(decoded->exif.empty());
    EXPECT_EQ(decoded->exif[0], 'M') << "the TIFF structure itself, without an Exif prefix";
    EXPECT_EQ(test::ifd0Tag(decoded->exif, 0x0112)->value, 1u);
    EXPECT_EQ(test::exifIfdTag(decoded->exif, 0xA002)->value, 12u);
    EXPECT_EQ(test::exifIfdTag(decoded->exif, 0xA003)->value, 9u);
    ASSERT_EQ(decoded->texts.size(), 1u);
    EXPECT_EQ(decoded->texts[0].key, "XML:com.adobe.xmp");
    EXPECT_EQ(decoded->texts[0].compression, PNG_ITXT_COMPRESSION_NONE);
    EXPECT_EQ(decoded->texts[0].text, std::string(xmp).replace(xmp.find('%'), 1, "1"));

    const auto chunks = test::pngChunkTypes(file);
    const auto data = std::find(chunks.begin(), chunks.end(), "IDAT");
    EXPECT_NE(std::find(chunks.begin(), data, "eXIf"), data) << "eXIf before the image data";
    EXPECT_EQ(std::count(chunks.begin(), chunks.end(), "eXIf"), 1) << "a PNG holds one eXIf chunk at most";
    EXPECT_EQ(std::count(chunks.begin(), chunks.end(), "iTXt"), 1);
}

TEST(PngWriter, FailsWithoutThrowingOnFailingSinksAndUnusableImages)
{
    const DecodedImage image = syntheticImage(64, 64, 3, 16, test::gradient);
    std::size_t accepted = 0;
    EXPECT_FALSE(writePng(image, [&accepted](const std::uint8_t*, std::size_t size) {
        accepted += size;
        return accepted < 200;
    }));
    EXPECT_FALSE(writePng(image, [](const std::uint8_t*, std::size_t) -> bool { throw std::bad_alloc(); }));
    DecodedImage fiveChannels = image;
    fiveChannels.channels = 5;
    MemorySink out;
    EXPECT_FALSE(writePng(fiveChannels, out.sink()));
}

}  // namespace
}  // namespace pictavo::imageio
