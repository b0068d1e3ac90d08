// Grids, the tiled photos phones write. A JPEG is written straight from the
// decoded tiles: the picture must be the one libheif decodes, and a tile that
// does not decode must fail the file as unreadable with nothing written.

#include "core/Converter.h"
#include "fixtures/HeifFixtures.h"
#include "imageio/ImageSource.h"

#include <gtest/gtest.h>

#include <cmath>

namespace pictavo {
namespace {

using namespace fixtures;

// A 2×2 grid of 64×32 tiles in JPEG's own YCbCr (BT.601, full range, 4:2:0).
// (libheif 1.19 swaps the rows and columns of a grid it encodes: square only.)
void writeTiledPhoto(const fs::path& location, int orientation = 1)
{
    HeicImage image(gradient(128, 64));
    image.lossless = false;
    image.chroma = "420";
    image.nclx = Nclx{};
    image.gridColumns = 2;
    image.gridRows = 2;
    image.orientation = orientation;
    writeHeic(location, image);
}

bool decodesAsTiles(const fs::path& location)
{
    auto source = imageio::ImageSource::open(location);
    const imageio::DecodedImage* decoded =
        source ? source->decode(0, imageio::ImageSource::Purpose::jpegOutput) : nullptr;
    return decoded && decoded->tiles;
}

// Upright, tiles are read as they are decoded; rotated or mirrored, libheif
// turns the whole picture first.
TEST(ConverterGrid, TheJpegHoldsThePictureLibheifDecodesUprightOrTurned)
{
    for (int orientation : {1, 6, 7}) {
        TempDir dir;
        writeTiledPhoto(dir / "tiled.heic", orientation);
        ASSERT_TRUE(decodesAsTiles(dir / "tiled.heic"));

        ConversionResult result = Converter::convert(dir / "tiled.heic", OutputFormat::jpg, 0.9, std::nullopt);
        ASSERT_TRUE(result.ok()) << result.error().value_or("");
        const Raster jpeg = readJpeg(*result.output());
        const Raster reference = heifReference(dir / "tiled.heic");
        ASSERT_EQ(std::pair(jpeg.width, jpeg.height), std::pair(reference.width, reference.height));
        // A tile out of place, a wrong stride, a wrong turn or a colour
        // conversion would show as large errors; JPEG's own loss stays small.
        double sumOfSquares = 0;
        int worst = 0;
        for (std::size_t i = 0; i < jpeg.samples.size(); ++i) {
            const int error = std::abs(int(jpeg.samples[i]) - int(reference.samples[i]));
            sumOfSquares += double(error) * error;
            worst = std::max(worst, error);
        }
        const double psnr = 10 * std::log10(255.0 * 255.0 / (sumOfSquares / double(jpeg.samples.size())));
        EXPECT_GT(psnr, 38.0) << "orientation " << orientation;
        EXPECT_LT(worst, 48) << "orientation " << orientation;
    }
}

// A clean-aperture crop is applied once, to a plain image and to a grid alike.
TEST(ConverterGrid, ACleanApertureCropIsApplied)
{
    for (std::uint32_t grid : {0u, 2u}) {
        TempDir dir;
        HeicImage image(gradient(128, 64));
        image.lossless = false;
        image.chroma = "420";
        image.nclx = Nclx{};
        image.gridColumns = image.gridRows = grid;
        image.cropWidth = 96;
        image.cropHeight = 48;
        writeHeic(dir / "cropped.heic", image);
        const Raster reference = heifReference(dir / "cropped.heic");
        ASSERT_EQ(std::pair(reference.width, reference.height), std::pair(96u, 48u));

        for (OutputFormat format : {OutputFormat::png, OutputFormat::jpg}) {
            ConversionResult result = Converter::convert(dir / "cropped.heic", format, 0.9, std::nullopt);
            ASSERT_TRUE(result.ok()) << result.error().value_or("") << " grid " << grid;
            const Raster written = format == OutputFormat::png ? readPng(*result.output()) : readJpeg(*result.output());
            ASSERT_EQ(std::pair(written.width, written.height), std::pair(96u, 48u));
            // The crop's corner is the source's (16, 8): red rises with x, green with y.
            EXPECT_NEAR(written.at(0, 0, 0), reference.at(0, 0, 0), 6) << "grid " << grid;
            EXPECT_NEAR(written.at(95, 47, 1), reference.at(95, 47, 1), 6) << "grid " << grid;
        }
    }
}

// libheif 1.19 decoding a grid's tiles on several threads gave a stray column
// and different pixels from run to run on this very file.
TEST(ConverterGrid, PngIsTheSamePictureEveryTime)
{
    TempDir dir;
    writeTiledPhoto(dir / "tiled.heic");
    const Raster reference = heifReference(dir / "tiled.heic");
    for (int run = 0; run < 6; ++run) {
        ConversionResult result = Converter::convert(dir / "tiled.heic", OutputFormat::png, 0.9, std::nullopt);
        ASSERT_TRUE(result.ok()) << result.error().value_or("");
        EXPECT_EQ(readPng(*result.output()).samples, reference.samples) << "run " << run;
        fs::remove(*result.output());
    }
}

TEST(ConverterGrid, PartialEdgeTilesAreCroppedToTheImage)
{
    TempDir dir;
    writeFlatGridHeic(dir / "flat.heic", 1000, 333, 256, 200, 100, 50);
    ASSERT_TRUE(decodesAsTiles(dir / "flat.heic"));
    ConversionResult result = Converter::convert(dir / "flat.heic", OutputFormat::jpg, 0.9, std::nullopt);
    ASSERT_TRUE(result.ok()) << result.error().value_or("");
    const Raster jpeg = readJpeg(*result.output());
    ASSERT_EQ(std::pair(jpeg.width, jpeg.height), std::pair(1000u, 333u));
    for (auto [x, y] : {std::pair(0u, 0u), std::pair(999u, 332u), std::pair(999u, 0u), std::pair(0u, 332u)}) {
        EXPECT_NEAR(jpeg.at(x, y, 0), 200, 4) << x << "," << y;
        EXPECT_NEAR(jpeg.at(x, y, 2), 50, 4) << x << "," << y;
    }
}

TEST(ConverterGrid, ALaterTileThatDoesNotDecodeFailsTheFileAsUnreadable)
{
    TempDir dir;
    writeTiledPhoto(dir / "good.heic");
    std::vector<std::uint8_t> bytes = readBytes(dir / "good.heic");
    const auto mdat = findBoxes(bytes, "mdat");
    ASSERT_EQ(mdat.size(), 1u);
    // Tiles are stored in order: the first survives, the last ones do not.
    for (std::size_t i = mdat[0] + (bytes.size() - mdat[0]) / 2; i < bytes.size(); ++i)
        bytes[i] = 0xFF;
    writeBytes(dir / "bad.heic", bytes);
    ASSERT_TRUE(decodesAsTiles(dir / "bad.heic"));

    ConversionResult result = Converter::convert(dir / "bad.heic", OutputFormat::jpg, 0.9, std::nullopt);
    EXPECT_EQ(result.error().value_or(""), kCouldNotReadImage);
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"bad.heic", "good.heic"}));
}

}  // namespace
}  // namespace pictavo
