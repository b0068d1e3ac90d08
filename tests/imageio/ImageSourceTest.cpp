// The decode side of the image service: which image, upright pixels, sample
// layout, colour and metadata, and files that must be refused.

#include "fixtures/HeifFixtures.h"
#include "imageio/ImageSource.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
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

Pixels to16Bits(Pixels p)
{
    const std::uint32_t maxIn = p.maxValue();
    for (std::uint16_t& v : p.samples)
        v = std::uint16_t((v * 65535u + maxIn / 2) / maxIn);
    p.bitDepth = 16;
    return p;
}

HeicImage lossy(Pixels pixels, int quality = 90)
{
    HeicImage image(std::move(pixels));
    image.lossless = false;
    image.quality = quality;
    return image;
}

// --- Files that are not HEIF images -------------------------------------------------

TEST(ImageSourceOpen, RefusesWhatIsNotAHeifFile)
{
    TempDir dir;
    writeBytes(dir / "text.heic", std::vector<std::uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'});
    writeBytes(dir / "empty.heic", {});
    fs::create_directory(dir / "folder.heic");
    writeHeic(dir / "good.heic", HeicImage(quadrants(64, 32)));
    std::vector<std::uint8_t> bytes = readBytes(dir / "good.heic");
    bytes.resize(100);
    writeBytes(dir / "truncated.heic", bytes);

    for (const char* name : {"text.heic", "empty.heic", "folder.heic", "truncated.heic", "missing.heic"}) {
        auto source = ImageSource::open(dir / name);
        EXPECT_TRUE(!source || source->count() == 0) << name;
    }
}

TEST(ImageSourceOpen, RefusesAnUnreadableFile)
{
    if (permissionsAreIgnored())
        GTEST_SKIP() << "running with privileges that read any file (root): permissions cannot be tested";
    TempDir dir;
    writeHeic(dir / "locked.heic", HeicImage(quadrants(64, 32)));
    fs::permissions(dir / "locked.heic", fs::perms::none);
    EXPECT_EQ(ImageSource::open(dir / "locked.heic"), nullptr);
}

TEST(ImageSourceOpen, AFileWithOnlyAnImageSequenceHasNoImage)
{
    // ftyp (msf1: image sequence) + an empty moov track box, no meta box with still images.
    const std::vector<std::uint8_t> bytes = {
        0, 0, 0, 24, 'f', 't', 'y', 'p', 'm', 's', 'f', '1', 0, 0, 0, 0, 'm', 's', 'f', '1', 'h', 'e', 'v', 'c',
        0, 0, 0, 8,  'm', 'o', 'o', 'v', 0,   0,   0,   8,   'm', 'd', 'a', 't'};
    TempDir dir;
    writeBytes(dir / "sequence.heic", bytes);
    auto source = ImageSource::open(dir / "sequence.heic");
    EXPECT_TRUE(!source || source->count() == 0);
}

// --- Which image ---------------------------------------------------------------------

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

TEST(ImageSourceImages, ThumbnailsAndAlphaPlanesAreNotImages)
{
    TempDir dir;
    HeicImage image(quadrants(256, 128, 4));
    image.thumbnailSize = 64;
    writeHeic(dir / "thumb.heic", image);
    auto source = ImageSource::open(dir / "thumb.heic");
    ASSERT_TRUE(source);
    EXPECT_EQ(source->count(), 1u);
    ASSERT_TRUE(source->decode(0));
    EXPECT_EQ(source->decode(0)->width, 256u);
}

TEST(ImageSourceImages, DecodingIsDoneOnce)
{
    TempDir dir;
    writeHeic(dir / "a.heic", HeicImage(quadrants(64, 32)));
    auto source = ImageSource::open(dir / "a.heic");
    ASSERT_TRUE(source);
    const DecodedImage* first = source->decode(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(source->decode(0), first);
}

// --- Upright pixels ------------------------------------------------------------------

TEST(ImageSourcePixels, LosslessFixtureDecodesExactly)
{
    TempDir dir;
    const Pixels pixels = quadrants(64, 32);
    writeHeic(dir / "a.heic", HeicImage(pixels));
    auto source = ImageSource::open(dir / "a.heic");
    ASSERT_TRUE(source);
    const DecodedImage* image = source->decode(0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bitsPerSample, 8);
    EXPECT_GE(image->stride, 64u * 3);
    EXPECT_TRUE(image->owner);
    EXPECT_TRUE(samplesEqual(*image, pixels));
    EXPECT_TRUE(image->icc.empty());  // sRGB
    EXPECT_TRUE(image->exif.empty());
    EXPECT_TRUE(image->xmp.empty());
}

class ImageSourceOrientation : public ::testing::TestWithParam<int> {};

TEST_P(ImageSourceOrientation, PixelsComeUprightAndPropertiesSayHowTheyWereStored)
{
    const int orientation = GetParam();
    TempDir dir;
    const Pixels pixels = quadrants(64, 32);
    HeicImage image(pixels);
    image.orientation = orientation;
    writeHeic(dir / "o.heic", image);
    auto source = ImageSource::open(dir / "o.heic");
    ASSERT_TRUE(source);
    auto properties = source->properties(0);
    ASSERT_TRUE(properties);
    const Pixels upright = oriented(pixels, orientation);
    EXPECT_EQ(property(*properties, kOrientation), orientation);
    EXPECT_EQ(property(*properties, kPixelWidth), upright.width);
    EXPECT_EQ(property(*properties, kPixelHeight), upright.height);
    const DecodedImage* decoded = source->decode(0);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(samplesEqual(*decoded, upright));
}

INSTANTIATE_TEST_SUITE_P(AllEight, ImageSourceOrientation, ::testing::Range(1, 9));

TEST(ImageSourcePixels, GridImagesAreAssembledAndTransformed)
{
    TempDir dir;
    const Pixels pixels = gradient(128, 64);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        HeicImage image(pixels);
        image.gridColumns = 2;
        image.gridRows = 2;
        image.orientation = orientation;
        writeHeic(dir / "grid.heic", image);
        auto source = ImageSource::open(dir / "grid.heic");
        ASSERT_TRUE(source);
        EXPECT_EQ(source->count(), 1u);
        EXPECT_EQ(property(*source->properties(0), kOrientation), orientation);
        const DecodedImage* decoded = source->decode(0);
        ASSERT_TRUE(decoded);
        EXPECT_TRUE(samplesEqual(*decoded, oriented(pixels, orientation))) << "orientation " << orientation;
    }
}

TEST(ImageSourcePixels, ExifOrientationInsideHeifIsNotApplied)
{
    TempDir dir;
    const Pixels pixels = quadrants(64, 32);
    HeicImage image(pixels);
    image.exif = exifWithOrientation(6);
    writeHeic(dir / "exif6.heic", image);
    auto source = ImageSource::open(dir / "exif6.heic");
    ASSERT_TRUE(source);
    EXPECT_EQ(property(*source->properties(0), kOrientation), 1);
    ASSERT_TRUE(source->decode(0));
    EXPECT_TRUE(samplesEqual(*source->decode(0), pixels));
}

// --- Sample layout -------------------------------------------------------------------

TEST(ImageSourcePixels, AlphaIsKept)
{
    TempDir dir;
    const Pixels pixels = quadrants(64, 32, 4);
    writeHeic(dir / "alpha.heic", HeicImage(pixels));
    auto source = ImageSource::open(dir / "alpha.heic");
    ASSERT_TRUE(source);
    const DecodedImage* image = source->decode(0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->channels, 4);
    EXPECT_TRUE(samplesEqual(*image, pixels));
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

TEST(ImageSourcePixels, TenBitSourcesComeAsFullRange16Bit)
{
    TempDir dir;
    const Pixels pixels = gradient(200, 100, 3, 10);
    writeHeic(dir / "deep.heic", HeicImage(pixels));
    auto source = ImageSource::open(dir / "deep.heic");
    ASSERT_TRUE(source);
    const DecodedImage* image = source->decode(0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bitsPerSample, 16);
    EXPECT_TRUE(samplesEqual(*image, to16Bits(pixels)));
    EXPECT_EQ(sampleAt(*image, 199, 0, 0), 65535);
}

TEST(ImageSourcePixels, TenBitWithAlpha)
{
    TempDir dir;
    const Pixels pixels = quadrants(64, 32, 4, 10);
    writeHeic(dir / "deep-alpha.heic", HeicImage(pixels));
    auto source = ImageSource::open(dir / "deep-alpha.heic");
    ASSERT_TRUE(source);
    const DecodedImage* image = source->decode(0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bitsPerSample, 16);
    EXPECT_TRUE(samplesEqual(*image, to16Bits(pixels)));
}

TEST(ImageSourcePixels, MonochromeComesAsGrey)
{
    TempDir dir;
    for (int channels : {1, 2}) {
        for (int depth : {8, 10}) {
            const Pixels pixels = quadrants(64, 32, channels, depth);
            const fs::path file = dir / ("grey" + std::to_string(channels) + "-" + std::to_string(depth) + ".heic");
            writeHeic(file, HeicImage(pixels));
            auto source = ImageSource::open(file);
            ASSERT_TRUE(source);
            const DecodedImage* image = source->decode(0);
            ASSERT_TRUE(image) << file;
            EXPECT_EQ(image->channels, channels);
            EXPECT_EQ(image->bitsPerSample, depth == 8 ? 8 : 16);
            EXPECT_TRUE(samplesEqual(*image, depth == 8 ? pixels : to16Bits(pixels))) << file;
        }
    }
}

// --- Colour --------------------------------------------------------------------------

TEST(ImageSourceColour, EmbeddedIccProfileTravelsUnchanged)
{
    TempDir dir;
    const std::vector<std::uint8_t> icc = displayP3Icc("Pictavo test profile");
    HeicImage image(quadrants(64, 32));
    image.icc = icc;
    writeHeic(dir / "icc.heic", image);
    auto source = ImageSource::open(dir / "icc.heic");
    ASSERT_TRUE(source);
    ASSERT_TRUE(source->decode(0));
    EXPECT_EQ(source->decode(0)->icc, icc);
}

std::vector<std::uint8_t> iccForNclx(const Nclx& nclx, Pixels pixels = flat(64, 32, 200, 100, 50))
{
    TempDir dir;
    HeicImage image = lossy(std::move(pixels));
    image.nclx = nclx;
    writeHeic(dir / "nclx.heic", image);
    auto source = ImageSource::open(dir / "nclx.heic");
    if (!source || !source->decode(0))
        throw std::runtime_error("cannot decode nclx fixture");
    return source->decode(0)->icc;
}

bool contains(const std::vector<std::uint8_t>& bytes, const std::string& text)
{
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

TEST(ImageSourceColour, SrgbLikeOrUnspecifiedNclxMeansSrgb)
{
    EXPECT_TRUE(iccForNclx({1, 13, 6, true}).empty());
    EXPECT_TRUE(iccForNclx({1, 1, 1, false}).empty());
    EXPECT_TRUE(iccForNclx({2, 2, 6, true}).empty());
}

TEST(ImageSourceColour, WideGamutNclxGetsAnIccProfileOfItsPrimaries)
{
    const std::vector<std::uint8_t> p3 = iccForNclx({12, 13, 6, true});
    ASSERT_FALSE(p3.empty());
    EXPECT_TRUE(contains(p3, "acsp"));
    // The description is stored as UTF-16 in a v4 profile: look for its letters' bytes.
    EXPECT_TRUE(contains(p3, std::string("\0D\0i\0s\0p\0l\0a\0y\0 \0P\0\x33", 20)));
    const std::vector<std::uint8_t> bt2020 = iccForNclx({9, 14, 9, true});
    ASSERT_FALSE(bt2020.empty());
    EXPECT_NE(p3, bt2020);
}

TEST(ImageSourceColour, YCbCrToRgbFollowsTheDeclaredMatrixAndRange)
{
    // A saturated colour converts to visibly different YCbCr under BT.601,
    // BT.709 and BT.2020 matrices, full or limited range; decoding with the
    // declared matrix and range gives the colour back every time.
    TempDir dir;
    const Pixels pixels = flat(64, 64, 220, 60, 30);
    for (std::uint16_t matrix : {1, 5, 6, 9}) {
        for (bool fullRange : {true, false}) {
            HeicImage image = lossy(pixels, 95);
            image.nclx = Nclx{1, 13, matrix, fullRange};
            const fs::path file = dir / ("m" + std::to_string(matrix) + (fullRange ? "f" : "l") + ".heic");
            writeHeic(file, image);
            auto source = ImageSource::open(file);
            ASSERT_TRUE(source);
            const DecodedImage* decoded = source->decode(0);
            ASSERT_TRUE(decoded);
            EXPECT_TRUE(samplesEqual(*decoded, pixels, 4)) << "matrix " << matrix << (fullRange ? " full" : " limited");
        }
    }
}

Pixels hdrRamp()
{
    // 10-bit signal ramp, every code value from 0 to 1023 across, twice down.
    Pixels p{1024, 2, 3, 10, std::vector<std::uint16_t>(1024 * 2 * 3)};
    for (std::uint32_t y = 0; y < 2; ++y)
        for (std::uint32_t x = 0; x < 1024; ++x)
            for (int c = 0; c < 3; ++c)
                p.at(x, y, c) = std::uint16_t(x);
    return p;
}

void expectSensibleSdr(std::uint16_t transfer)
{
    TempDir dir;
    HeicImage image = lossy(hdrRamp(), 100);
    image.chroma = "444";
    image.nclx = Nclx{9, transfer, 9, true};
    writeHeic(dir / "hdr.heic", image);
    auto source = ImageSource::open(dir / "hdr.heic");
    ASSERT_TRUE(source);
    const DecodedImage* decoded = source->decode(0);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->bitsPerSample, 16);
    EXPECT_FALSE(decoded->icc.empty()) << "tone-mapped BT.2020 pixels need a BT.2020 profile";
    // Monotonic, from black to (nearly) white, and only the very top of the
    // ramp reaches full scale: not clipped, not flat.
    int clipped = 0;
    std::uint16_t previous = 0;
    for (std::uint32_t x = 0; x < decoded->width; ++x) {
        const std::uint16_t v = sampleAt(*decoded, x, 0, 1);
        EXPECT_GE(v + 600, previous) << "x " << x;  // lossy coding may wobble a little
        previous = std::max(previous, v);
        clipped += v >= 65500;
    }
    EXPECT_LT(sampleAt(*decoded, 8, 0, 1), 3000);
    EXPECT_GT(sampleAt(*decoded, decoded->width - 8, 0, 1), 60000);
    // (Clipping at SDR white, 203 cd/m², would flatten 40 % of a PQ ramp.)
    EXPECT_LT(clipped, int(decoded->width / 10)) << "highlights are clipped";
    // Mid-signal is mid-grey, not crushed to black nor blown out.
    const std::uint16_t middle = sampleAt(*decoded, decoded->width / 2, 0, 1);
    EXPECT_GT(middle, 65535 / 5);
    EXPECT_LT(middle, 65535 * 4 / 5);
}

TEST(ImageSourceColour, PqIsToneMappedToSdr)
{
    expectSensibleSdr(16);
}

TEST(ImageSourceColour, HlgIsToneMappedToSdr)
{
    expectSensibleSdr(18);
}

// --- Metadata ------------------------------------------------------------------------

TEST(ImageSourceMetadata, ExifComesAsTiffWithoutPrefixes)
{
    TempDir dir;
    const std::vector<std::uint8_t> tiff = exifWithOrientation(6, 64, 32);
    std::vector<std::uint8_t> prefixed = {'E', 'x', 'i', 'f', 0, 0};
    prefixed.insert(prefixed.end(), tiff.begin(), tiff.end());
    for (const auto& exif : {tiff, prefixed}) {
        HeicImage image(quadrants(64, 32));
        image.exif = exif;
        writeHeic(dir / "exif.heic", image);
        auto source = ImageSource::open(dir / "exif.heic");
        ASSERT_TRUE(source);
        ASSERT_TRUE(source->decode(0));
        EXPECT_EQ(source->decode(0)->exif, tiff);
        EXPECT_EQ(exifOrientation(source->decode(0)->exif), 6);
    }
}

TEST(ImageSourceMetadata, XmpIsKept)
{
    TempDir dir;
    const std::string xmp = xmpPacket("pictavo-xmp-marker");
    HeicImage image(quadrants(64, 32));
    image.xmp = xmp;
    writeHeic(dir / "xmp.heic", image);
    auto source = ImageSource::open(dir / "xmp.heic");
    ASSERT_TRUE(source);
    ASSERT_TRUE(source->decode(0));
    EXPECT_EQ(std::string(source->decode(0)->xmp.begin(), source->decode(0)->xmp.end()), xmp);
}

// --- Broken and hostile files --------------------------------------------------------

TEST(ImageSourceBroken, CorruptPictureDataIsNotDecoded)
{
    TempDir dir;
    writeHeic(dir / "good.heic", lossy(gradient(64, 64)));
    std::vector<std::uint8_t> bytes = readBytes(dir / "good.heic");
    const auto mdat = findBoxes(bytes, "mdat");
    ASSERT_EQ(mdat.size(), 1u);
    // Keep the NAL unit's length, destroy the unit itself.
    for (std::size_t i = mdat[0] + 12; i < bytes.size(); ++i)
        bytes[i] = 0xFF;
    writeBytes(dir / "bad.heic", bytes);
    auto source = ImageSource::open(dir / "bad.heic");
    ASSERT_TRUE(source);
    EXPECT_EQ(source->count(), 1u);
    EXPECT_EQ(source->decode(0), nullptr);
    EXPECT_EQ(source->decode(0), nullptr);  // the failure is remembered too
}

TEST(ImageSourceBroken, AbsurdDeclaredDimensionsAreRefusedQuickly)
{
    TempDir dir;
    writeHeic(dir / "good.heic", HeicImage(quadrants(64, 64)));
    std::vector<std::uint8_t> bytes = readBytes(dir / "good.heic");
    const auto ispe = findBoxes(bytes, "ispe");
    ASSERT_FALSE(ispe.empty());
    for (std::size_t box : ispe) {
        // size, 'ispe', version/flags, width, height: 60000 x 60000 (3.6 gigapixels)
        for (std::size_t field : {box + 12, box + 16}) {
            bytes[field] = 0, bytes[field + 1] = 0, bytes[field + 2] = 0xEA, bytes[field + 3] = 0x60;
        }
    }
    writeBytes(dir / "huge.heic", bytes);
    const auto start = std::chrono::steady_clock::now();
    auto source = ImageSource::open(dir / "huge.heic");
    if (source && source->count() > 0) {
        EXPECT_EQ(source->decode(0), nullptr);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, 2.0);
}

// --- Real files --------------------------------------------------------------------

TEST(ImageSourceSamples, BrokenPictureDataSample)
{
    const fs::path samples = samplesDir();
    if (samples.empty())
        GTEST_SKIP() << "no ../shared/samples folder";
    auto source = ImageSource::open(samples / "bad_hevc_decode_error_64x64.heic");
    ASSERT_TRUE(source);
    EXPECT_EQ(source->decode(0), nullptr);
}

TEST(ImageSourceSamples, OrientationAndSizeOfRealFiles)
{
    const fs::path samples = samplesDir();
    if (samples.empty())
        GTEST_SKIP() << "no ../shared/samples folder";
    struct Row {
        const char* file;
        int orientation;
        std::int64_t width, height;
    };
    for (const Row& row : {Row{"iphone7plus_irot90_exif8_test004.heic", 8, 3024, 4032},
                           Row{"kimg_orientation2_imir.heic", 2, 480, 160},
                           Row{"iphoneXS_4032x3024_grid8x6_PUG1.HEIC", 1, 4032, 3024}}) {
        auto source = ImageSource::open(samples / row.file);
        ASSERT_TRUE(source) << row.file;
        auto properties = source->properties(0);
        ASSERT_TRUE(properties);
        EXPECT_EQ(property(*properties, kOrientation), row.orientation) << row.file;
        EXPECT_EQ(property(*properties, kPixelWidth), row.width) << row.file;
        EXPECT_EQ(property(*properties, kPixelHeight), row.height) << row.file;
    }
}

}  // namespace
}  // namespace pictavo::imageio
