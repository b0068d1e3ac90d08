// Converter end to end: what the written JPG and PNG files hold, for fixtures and the real samples.

#include "core/Converter.h"
#include "fixtures/HeifFixtures.h"

#include <gtest/gtest.h>

namespace pictavo {
namespace {

using namespace fixtures;

fs::path convertOk(const fs::path& source, OutputFormat format, const std::optional<fs::path>& outputDir = std::nullopt)
{
    ConversionResult result = Converter::convert(source, format, 0.9, outputDir);
    if (!result.ok() || !result.output())
        throw std::runtime_error("conversion failed: " + result.error().value_or("?"));
    return *result.output();
}

::testing::AssertionResult rastersEqual(const Raster& a, const Raster& b)
{
    if (a.width != b.width || a.height != b.height || a.channels != b.channels || a.bitDepth != b.bitDepth)
        return ::testing::AssertionFailure() << "layouts differ: " << a.width << "x" << a.height << "x" << a.channels
                                             << "@" << a.bitDepth << " vs " << b.bitDepth;
    for (std::size_t i = 0; i < a.samples.size(); ++i)
        if (a.samples[i] != b.samples[i])
            return ::testing::AssertionFailure() << "sample " << i << ": " << a.samples[i] << " vs " << b.samples[i];
    return ::testing::AssertionSuccess();
}

bool containsText(const std::vector<std::uint8_t>& bytes, const std::string& text)
{
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

class ConverterOrientation : public ::testing::TestWithParam<int> {};

TEST_P(ConverterOrientation, OutputsHoldUprightPixels)
{
    TempDir dir;
    HeicImage image(quadrants(64, 32));
    image.orientation = GetParam();
    writeHeic(dir / "o.heic", image);
    const Raster upright = heifReference(dir / "o.heic");  // libheif applies the stored turn and flip
    EXPECT_EQ(upright.width, GetParam() >= 5 ? 32u : 64u);
    EXPECT_TRUE(rastersEqual(readPng(convertOk(dir / "o.heic", OutputFormat::png)), upright));
    EXPECT_EQ(jpegDimensions(convertOk(dir / "o.heic", OutputFormat::jpg)), std::pair(upright.width, upright.height));
}

INSTANTIATE_TEST_SUITE_P(AllEight, ConverterOrientation, ::testing::Range(1, 9));

// PNG equals libheif's own decode, in 8 and 16 bits, with alpha and in grey;
// the JPEG is 8-bit, grey for grey sources and flattened onto white.
TEST(ConverterPixels, PngEqualsLibheifsOwnDecodeWhateverTheLayout)
{
    TempDir dir;
    struct Case {
        Pixels pixels;
        bool lossless;
    };
    for (const Case& c : {Case{gradient(301, 157), false}, Case{gradient(200, 100, 3, 10), false},
                          Case{quadrants(64, 32, 4), true}, Case{quadrants(64, 32, 4, 10), true},
                          Case{quadrants(64, 32, 1), true}, Case{quadrants(64, 32, 2), true},
                          Case{quadrants(64, 32, 1, 10), true}, Case{quadrants(64, 32, 2, 10), true}}) {
        HeicImage image(c.pixels);
        image.lossless = c.lossless;
        image.chroma = c.lossless ? "444" : "420";
        writeHeic(dir / "in.heic", image);
        const Raster png = readPng(convertOk(dir / "in.heic", OutputFormat::png));
        EXPECT_EQ(png.bitDepth, c.pixels.bitDepth > 8 ? 16 : 8);
        EXPECT_TRUE(rastersEqual(png, heifReference(dir / "in.heic"))) << c.pixels.channels << "@" << c.pixels.bitDepth;
        const Raster jpeg = readJpeg(convertOk(dir / "in.heic", OutputFormat::jpg));
        EXPECT_EQ(jpeg.channels, c.pixels.channels <= 2 ? 1 : 3);
        if (c.pixels.channels % 2 == 0) {  // bottom right is fully transparent: white
            EXPECT_NEAR(jpeg.at(56, 28, 0), 255, 6);
        }
    }
}

TEST(ConverterMetadata, IccExifAndXmpAreCarriedWithOrientationOne)
{
    TempDir dir;
    const std::vector<std::uint8_t> icc = displayP3Icc("Pictavo fixture P3");
    HeicImage image(quadrants(64, 32));
    image.orientation = 6;
    image.icc = icc;
    image.exif = buildTiff({.orientation = 6, .pixelX = 64, .pixelY = 32});
    image.xmp = xmpPacket("pictavo-xmp-marker");
    writeHeic(dir / "meta.heic", image);

    const fs::path jpg = convertOk(dir / "meta.heic", OutputFormat::jpg);
    EXPECT_EQ(jpegIcc(jpg), icc);
    EXPECT_EQ(exifOrientation(jpegExif(jpg)), 1);
    bool xmpFound = false;
    for (const auto& segment : jpegSegments(jpg, 0xE1))
        xmpFound |= containsText(segment, "http://ns.adobe.com/xap/1.0/") && containsText(segment, "pictavo-xmp-marker");
    EXPECT_TRUE(xmpFound);

    const fs::path png = convertOk(dir / "meta.heic", OutputFormat::png);
    EXPECT_EQ(pngIcc(png), icc);
    EXPECT_EQ(exifOrientation(pngExif(png)), 1);
    bool pngXmp = false;
    for (const auto& [type, data] : pngChunks(png))
        pngXmp |= type == "iTXt" && containsText(data, "XML:com.adobe.xmp") && containsText(data, "pictavo-xmp-marker");
    EXPECT_TRUE(pngXmp);
}

TEST(ConverterSamples, EachSampleGivesItsREADMEOutcome)
{
    const fs::path samples = samplesDir();
    if (samples.empty())
        GTEST_SKIP() << "no ../shared/samples folder";
    struct Row {
        const char* file;
        std::uint32_t width, height;
        bool icc, exif;
    };
    for (const Row& row : {Row{"iphoneXS_4032x3024_grid8x6_PUG1.HEIC", 4032, 3024, true, true},
                           Row{"iphone7plus_irot90_exif8_test004.heic", 3024, 4032, true, true},
                           Row{"kimg_orientation2_imir.heic", 480, 160, true, true},
                           Row{"conf_C006_alpha_auxid1.heic", 1280, 720, false, false},
                           Row{"pillow_tree_alpha_262x264.heic", 262, 264, false, false},
                           Row{"conf_MIAF002_10bit_2048.heic", 2048, 2048, false, false},
                           Row{"pillow_rgb10_639x480_3thumbs.heic", 639, 480, false, false},
                           Row{"conf_C045_burst_brst.heic", 1024, 768, false, false},
                           Row{"nikonD5300_300x200_nclx_unspec.heic", 300, 200, false, true},
                           Row{"bad_truncated_3657B.heic", 16, 16, false, false}}) {
        SCOPED_TRACE(row.file);
        TempDir out;
        const fs::path pngFile = convertOk(samples / row.file, OutputFormat::png, out.path());
        const fs::path jpgFile = convertOk(samples / row.file, OutputFormat::jpg, out.path());
        EXPECT_EQ(out.entries().size(), 2u) << "one output per conversion, whatever the file holds";
        EXPECT_TRUE(rastersEqual(readPng(pngFile), heifReference(samples / row.file)));
        EXPECT_EQ(jpegDimensions(jpgFile), std::pair(row.width, row.height));
        EXPECT_EQ(!pngIcc(pngFile).empty() && !jpegIcc(jpgFile).empty(), row.icc);
        for (const auto& exif : {jpegExif(jpgFile), pngExif(pngFile)})
            EXPECT_EQ(exifOrientation(exif), row.exif ? std::optional(1) : std::nullopt);
    }
    TempDir out;
    EXPECT_EQ(Converter::convert(samples / "bad_hevc_decode_error_64x64.heic", OutputFormat::png, 0.9, out.path()).error(),
              std::string(kCouldNotReadImage));
    EXPECT_TRUE(out.entries().empty());
}

TEST(ConverterSize, SLOW_TwoHundredMegapixelGridConverts)
{
    TempDir dir;
    writeFlatGridHeic(dir / "200mp.heic", 12240, 16320, 512, 40, 120, 200);
    ConversionResult result = Converter::convert(dir / "200mp.heic", OutputFormat::jpg, 0.9, std::nullopt);
    ASSERT_TRUE(result.ok()) << *result.error();
    EXPECT_EQ(jpegDimensions(*result.output()), std::pair(12240u, 16320u));
}

}  // namespace
}  // namespace pictavo
