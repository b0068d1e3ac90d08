// Converter end to end: what the written JPG and PNG files hold — upright
// pixels, libheif's own pixels, quality, colour profile and metadata — for
// generated fixtures and the real samples, and the 200 MP limit.

#include "core/Converter.h"
#include "fixtures/HeifFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

namespace pictavo {
namespace {

using namespace fixtures;

fs::path convertOk(const fs::path& source, OutputFormat format, double quality = 0.9,
                   const std::optional<fs::path>& outputDir = std::nullopt)
{
    ConversionResult result = Converter::convert(source, format, quality, outputDir);
    if (!result.ok() || !result.output())
        throw std::runtime_error("conversion failed: " + result.error().value_or("?"));
    return *result.output();
}

::testing::AssertionResult rastersEqual(const Raster& a, const Raster& b, int tolerance = 0)
{
    if (a.width != b.width || a.height != b.height || a.channels != b.channels || a.bitDepth != b.bitDepth)
        return ::testing::AssertionFailure() << a.width << "x" << a.height << "x" << a.channels << "@" << a.bitDepth
                                             << " vs " << b.width << "x" << b.height << "x" << b.channels << "@"
                                             << b.bitDepth;
    for (std::size_t i = 0; i < a.samples.size(); ++i)
        if (std::abs(int(a.samples[i]) - int(b.samples[i])) > tolerance)
            return ::testing::AssertionFailure() << "sample " << i << ": " << a.samples[i] << " vs " << b.samples[i];
    return ::testing::AssertionSuccess();
}

Raster asRaster(const Pixels& p)
{
    return Raster{p.width, p.height, p.channels, p.bitDepth, p.samples};
}

bool containsText(const std::vector<std::uint8_t>& bytes, const std::string& text)
{
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

// --- Upright pixels --------------------------------------------------------------

class ConverterOrientation : public ::testing::TestWithParam<int> {};

TEST_P(ConverterOrientation, OutputsHoldUprightPixels)
{
    const int orientation = GetParam();
    TempDir dir;
    const Pixels pixels = quadrants(64, 32);
    HeicImage image(pixels);
    image.orientation = orientation;
    writeHeic(dir / "o.heic", image);
    const Pixels upright = oriented(pixels, orientation);

    EXPECT_TRUE(rastersEqual(readPng(convertOk(dir / "o.heic", OutputFormat::png)), asRaster(upright)));

    // JPEG: each quadrant's centre has its colour (compression blurs the edges only).
    const Raster jpeg = readJpeg(convertOk(dir / "o.heic", OutputFormat::jpg, 1.0));
    ASSERT_EQ(jpeg.width, upright.width);
    ASSERT_EQ(jpeg.height, upright.height);
    for (std::uint32_t qy : {upright.height / 4, upright.height * 3 / 4})
        for (std::uint32_t qx : {upright.width / 4, upright.width * 3 / 4})
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(jpeg.at(qx, qy, c), upright.at(qx, qy, c), 12) << qx << "," << qy << "," << c;
}

INSTANTIATE_TEST_SUITE_P(AllEight, ConverterOrientation, ::testing::Range(1, 9));

// --- Pixels and quality ----------------------------------------------------------

TEST(ConverterPixels, PngEqualsLibheifsOwnDecode)
{
    TempDir dir;
    HeicImage eight(gradient(301, 157));
    eight.lossless = false;
    eight.chroma = "420";
    writeHeic(dir / "eight.heic", eight);
    EXPECT_TRUE(rastersEqual(readPng(convertOk(dir / "eight.heic", OutputFormat::png)), heifReference(dir / "eight.heic")));

    HeicImage ten(gradient(200, 100, 3, 10));
    ten.lossless = false;
    writeHeic(dir / "ten.heic", ten);
    const Raster png = readPng(convertOk(dir / "ten.heic", OutputFormat::png));
    EXPECT_EQ(png.bitDepth, 16);
    EXPECT_TRUE(rastersEqual(png, heifReference(dir / "ten.heic")));
    // The JPEG of a 10-bit source is 8-bit and close to it.
    const Raster jpeg = readJpeg(convertOk(dir / "ten.heic", OutputFormat::jpg, 0.9));
    EXPECT_GE(psnr(jpeg, png), 40.0);
}

TEST(ConverterPixels, JpegSizeFallsWithQuality)
{
    TempDir dir;
    Pixels pixels = gradient(256, 256);
    std::uint32_t seed = 12345;
    for (std::uint16_t& v : pixels.samples) {
        seed = seed * 1103515245u + 12345u;
        v = std::uint16_t(std::clamp<int>(v + int((seed >> 16) % 41) - 20, 0, 255));
    }
    writeHeic(dir / "noisy.heic", HeicImage(pixels));
    std::uintmax_t previous = 0;
    for (double quality : {0.1, 0.5, 0.8, 1.0}) {
        const std::uintmax_t size = fs::file_size(convertOk(dir / "noisy.heic", OutputFormat::jpg, quality));
        EXPECT_GT(size, previous) << "quality " << quality;
        previous = size;
    }
}

TEST(ConverterPixels, AlphaStaysInPngAndIsFlattenedInJpeg)
{
    TempDir dir;
    writeHeic(dir / "alpha.heic", HeicImage(quadrants(64, 32, 4)));
    const Raster png = readPng(convertOk(dir / "alpha.heic", OutputFormat::png));
    EXPECT_TRUE(rastersEqual(png, asRaster(quadrants(64, 32, 4))));
    const Raster jpeg = readJpeg(convertOk(dir / "alpha.heic", OutputFormat::jpg, 1.0));
    EXPECT_EQ(jpeg.channels, 3);
    // Bottom right is fully transparent white-on-nothing: white.
    EXPECT_NEAR(jpeg.at(56, 28, 0), 255, 6);
}

TEST(ConverterPixels, MonochromeGivesGreyOutputs)
{
    TempDir dir;
    writeHeic(dir / "grey.heic", HeicImage(quadrants(64, 32, 1)));
    EXPECT_TRUE(rastersEqual(readPng(convertOk(dir / "grey.heic", OutputFormat::png)), asRaster(quadrants(64, 32, 1))));
    EXPECT_EQ(readJpeg(convertOk(dir / "grey.heic", OutputFormat::jpg)).channels, 1);
}

// --- Colour and metadata ---------------------------------------------------------

TEST(ConverterMetadata, IccExifAndXmpAreCarriedWithOrientationOne)
{
    TempDir dir;
    const std::vector<std::uint8_t> icc = displayP3Icc("Pictavo fixture P3");
    HeicImage image(quadrants(64, 32));
    image.orientation = 6;
    image.icc = icc;
    image.exif = exifWithOrientation(6, 64, 32);
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

TEST(ConverterColour, NclxSrgbGivesPlainSrgbAndWideGamutGetsAProfile)
{
    TempDir dir;
    HeicImage srgb(gradient(64, 64));
    srgb.lossless = false;
    srgb.nclx = Nclx{1, 13, 6, true};
    writeHeic(dir / "srgb.heic", srgb);
    const fs::path srgbPng = convertOk(dir / "srgb.heic", OutputFormat::png);
    EXPECT_TRUE(pngIcc(srgbPng).empty());
    bool srgbChunk = false;
    for (const auto& chunk : pngChunks(srgbPng))
        srgbChunk |= chunk.first == "sRGB";
    EXPECT_TRUE(srgbChunk) << "an sRGB source is marked sRGB";
    EXPECT_TRUE(jpegIcc(convertOk(dir / "srgb.heic", OutputFormat::jpg)).empty());

    HeicImage p3 = srgb;
    p3.nclx = Nclx{12, 13, 6, true};
    writeHeic(dir / "p3.heic", p3);
    const std::vector<std::uint8_t> pngProfile = pngIcc(convertOk(dir / "p3.heic", OutputFormat::png));
    ASSERT_FALSE(pngProfile.empty());
    EXPECT_EQ(jpegIcc(convertOk(dir / "p3.heic", OutputFormat::jpg)), pngProfile);
}

// --- Real samples ----------------------------------------------------------------

struct SampleRow {
    const char* file;
    std::uint32_t width, height;
    bool alpha, deep, icc, exif;
};

TEST(ConverterSamples, EachSampleGivesItsREADMEOutcome)
{
    const fs::path samples = samplesDir();
    if (samples.empty())
        GTEST_SKIP() << "no ../shared/samples folder";
    const SampleRow rows[] = {
        {"iphoneXS_4032x3024_grid8x6_PUG1.HEIC", 4032, 3024, false, false, true, true},
        {"iphone7plus_irot90_exif8_test004.heic", 3024, 4032, false, false, true, true},
        {"kimg_orientation2_imir.heic", 480, 160, false, false, true, true},
        {"conf_C006_alpha_auxid1.heic", 1280, 720, true, false, false, false},
        {"pillow_tree_alpha_262x264.heic", 262, 264, true, false, false, false},
        {"conf_MIAF002_10bit_2048.heic", 2048, 2048, false, true, false, false},
        {"pillow_rgb10_639x480_3thumbs.heic", 639, 480, false, true, false, false},
        {"conf_C045_burst_brst.heic", 1024, 768, false, false, false, false},
        {"nikonD5300_300x200_nclx_unspec.heic", 300, 200, false, false, false, true},
        {"bad_truncated_3657B.heic", 16, 16, false, false, false, false},
    };
    for (const SampleRow& row : rows) {
        SCOPED_TRACE(row.file);
        TempDir out;
        const fs::path source = samples / row.file;
        const fs::path pngFile = convertOk(source, OutputFormat::png, 0.9, out.path());
        const fs::path jpgFile = convertOk(source, OutputFormat::jpg, 0.9, out.path());
        EXPECT_EQ(out.entries().size(), 2u) << "one output per conversion, whatever the file holds";

        const Raster png = readPng(pngFile);
        EXPECT_EQ(png.width, row.width);
        EXPECT_EQ(png.height, row.height);
        EXPECT_EQ(png.channels, row.alpha ? 4 : 3);
        EXPECT_EQ(png.bitDepth, row.deep ? 16 : 8);
        const Raster reference = heifReference(source);
        EXPECT_TRUE(rastersEqual(png, reference)) << "PNG differs from libheif's decode";

        const Raster jpg = readJpeg(jpgFile);
        EXPECT_EQ(jpg.width, row.width);
        EXPECT_EQ(jpg.height, row.height);
        EXPECT_EQ(jpg.channels, 3);
        if (!row.alpha) {
            const double db = psnr(jpg, reference);
            std::cout << row.file << ": JPG q0.9 PSNR " << db << " dB\n";
            EXPECT_GE(db, 38.0);
        }

        EXPECT_EQ(!pngIcc(pngFile).empty(), row.icc);
        EXPECT_EQ(!jpegIcc(jpgFile).empty(), row.icc);
        EXPECT_EQ(!jpegExif(jpgFile).empty(), row.exif);
        EXPECT_EQ(!pngExif(pngFile).empty(), row.exif);
        if (row.exif) {
            EXPECT_EQ(exifOrientation(jpegExif(jpgFile)), 1);
            EXPECT_EQ(exifOrientation(pngExif(pngFile)), 1);
        }
    }
}

TEST(ConverterSamples, BrokenPictureDataSampleCannotBeRead)
{
    const fs::path samples = samplesDir();
    if (samples.empty())
        GTEST_SKIP() << "no ../shared/samples folder";
    TempDir out;
    ConversionResult result =
        Converter::convert(samples / "bad_hevc_decode_error_64x64.heic", OutputFormat::png, 0.9, out.path());
    EXPECT_EQ(result.error(), std::string(kCouldNotReadImage));
    EXPECT_TRUE(out.entries().empty());
}

// --- Size limits -----------------------------------------------------------------

// SLOW: writes and converts a 200 MP (12240 x 16320) grid; the runtime is printed.
TEST(ConverterSize, SLOW_TwoHundredMegapixelGridConverts)
{
    TempDir dir;
    auto start = std::chrono::steady_clock::now();
    writeFlatGridHeic(dir / "200mp.heic", 12240, 16320, 512, 40, 120, 200);
    const double written = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    start = std::chrono::steady_clock::now();
    ConversionResult result = Converter::convert(dir / "200mp.heic", OutputFormat::jpg, 0.9, std::nullopt);
    const double converted = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "200 MP grid: fixture written in " << written << " s, converted in " << converted << " s\n";
    RecordProperty("convert_seconds", std::to_string(converted));
    ASSERT_TRUE(result.ok()) << *result.error();
    const auto [width, height] = jpegDimensions(*result.output());
    EXPECT_EQ(width, 12240u);
    EXPECT_EQ(height, 16320u);
}

TEST(ConverterSize, AbsurdDimensionsAreRefusedFast)
{
    TempDir dir;
    writeHeic(dir / "small.heic", HeicImage(quadrants(64, 64)));
    std::vector<std::uint8_t> bytes = readBytes(dir / "small.heic");
    for (std::size_t box : findBoxes(bytes, "ispe"))
        for (std::size_t field : {box + 12, box + 16})  // width, height := 100000
            bytes[field] = 0, bytes[field + 1] = 0x01, bytes[field + 2] = 0x86, bytes[field + 3] = 0xA0;
    writeBytes(dir / "huge.heic", bytes);
    fs::remove(dir / "small.heic");
    const auto start = std::chrono::steady_clock::now();
    ConversionResult result = Converter::convert(dir / "huge.heic", OutputFormat::jpg, 0.9, std::nullopt);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 2.0);
    EXPECT_EQ(result.error(), std::string(kCouldNotReadImage));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"huge.heic"});
}

}  // namespace
}  // namespace pictavo
