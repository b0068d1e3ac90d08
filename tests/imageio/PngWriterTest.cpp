#include "SyntheticImage.h"
#include "TiffBuilder.h"

#include "fixtures/HeifFixtures.h"

#include "imageio/PngWriter.h"

#include <gtest/gtest.h>

#include <lcms2.h>

#include <algorithm>
#include <random>
#include <string>

namespace pictavo::imageio {
namespace {

namespace fs = std::filesystem;
namespace fx = pictavo::fixtures;
using test::MemorySink;
using test::syntheticImage;

class PngWriterTest : public ::testing::Test {
protected:
    // Encodes into a file of its own in the test's folder.
    fs::path encode(const DecodedImage& image)
    {
        MemorySink out;
        EXPECT_TRUE(writePng(image, out.sink()));
        const fs::path file = folder_ / ("out" + std::to_string(++files_) + ".png");
        fx::writeBytes(file, out.bytes);
        return file;
    }

    fx::TempDir folder_;
    int files_ = 0;
};

std::vector<std::string> chunkTypes(const fs::path& file)
{
    std::vector<std::string> types;
    for (const auto& [type, data] : fx::pngChunks(file))
        types.push_back(type);
    return types;
}

// The chunk's data up to its first NUL: the keyword of iCCP, iTXt and the like.
std::string keyword(const std::vector<std::uint8_t>& data)
{
    return {data.begin(), std::find(data.begin(), data.end(), 0)};
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

TEST_F(PngWriterTest, EveryLayoutAndDepthComesBackExactly)
{
    std::mt19937 random(7);
    for (int channels = 1; channels <= 4; ++channels)
        for (int bits : {8, 16}) {
            const std::uint32_t maximum = bits == 8 ? 255 : 65535;
            const DecodedImage image = syntheticImage(33, 17, channels, bits, [&](auto, auto, int) {
                return static_cast<std::uint32_t>(random() % (maximum + 1));
            });
            const fx::Raster decoded = fx::readPng(encode(image));
            ASSERT_EQ(decoded.width, 33u);
            ASSERT_EQ(decoded.height, 17u);
            ASSERT_EQ(decoded.channels, channels);
            ASSERT_EQ(decoded.bitDepth, bits);
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
                        differences += decoded.at(x, y, c) != expected;
                    }
            EXPECT_EQ(differences, 0u) << channels << " channels, " << bits << " bits";
        }
}

TEST_F(PngWriterTest, IccProfileGoesIntoIccpOtherwiseAnSrgbChunk)
{
    DecodedImage image = syntheticImage(8, 8, 3, 8, test::gradient);
    const auto untagged = chunkTypes(encode(image));
    EXPECT_EQ(std::count(untagged.begin(), untagged.end(), "sRGB"), 1);
    EXPECT_EQ(std::count(untagged.begin(), untagged.end(), "iCCP"), 0);

    image.icc = srgbProfile();
    const fs::path file = encode(image);
    EXPECT_EQ(fx::pngIcc(file), image.icc);
    const auto tagged = chunkTypes(file);
    EXPECT_EQ(std::count(tagged.begin(), tagged.end(), "sRGB"), 0);
    ASSERT_EQ(std::count(tagged.begin(), tagged.end(), "iCCP"), 1);
    for (const auto& [type, data] : fx::pngChunks(file)) {
        if (type == "iCCP") {
            EXPECT_EQ(keyword(data), "ICC Profile");
        }
    }
}

TEST_F(PngWriterTest, ProfileLibpngRejectsIsLeftOutAndTheImageStillWritten)
{
    DecodedImage image = syntheticImage(8, 8, 3, 8, test::gradient);
    image.icc.assign(500, 0x11);
    const fs::path file = encode(image);
    EXPECT_TRUE(fx::pngIcc(file).empty());
    EXPECT_EQ(fx::readPng(file).width, 8u);
}

TEST_F(PngWriterTest, CarriesExifWithOrientationOneAndXmpAsUncompressedItxt)
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

    const fs::path file = encode(image);
    const std::vector<std::uint8_t> exif = fx::pngExif(file);
    ASSERT_FALSE(exif.empty());
    EXPECT_EQ(exif[0], 'M') << "the TIFF structure itself, without an Exif prefix";
    EXPECT_EQ(test::ifd0Tag(exif, 0x0112)->value, 1u);
    EXPECT_EQ(test::exifIfdTag(exif, 0xA002)->value, 12u);
    EXPECT_EQ(test::exifIfdTag(exif, 0xA003)->value, 9u);

    for (const auto& [type, data] : fx::pngChunks(file)) {
        if (type != "iTXt")
            continue;
        // keyword NUL, compression flag, method, language NUL, translated keyword NUL, text
        const std::string key = keyword(data);
        ASSERT_EQ(key, "XML:com.adobe.xmp");
        ASSERT_GT(data.size(), key.size() + 5);
        EXPECT_EQ(data[key.size() + 1], 0) << "uncompressed";
        EXPECT_EQ(std::string(data.begin() + key.size() + 5, data.end()),
                  std::string(xmp).replace(xmp.find('%'), 1, "1"));
    }
    const auto chunks = chunkTypes(file);
    const auto data = std::find(chunks.begin(), chunks.end(), "IDAT");
    EXPECT_NE(std::find(chunks.begin(), data, "eXIf"), data) << "eXIf before the image data";
    EXPECT_EQ(std::count(chunks.begin(), chunks.end(), "eXIf"), 1) << "a PNG holds one eXIf chunk at most";
    EXPECT_EQ(std::count(chunks.begin(), chunks.end(), "iTXt"), 1);
}

TEST_F(PngWriterTest, FailsWithoutThrowingOnFailingSinksAndUnusableImages)
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
