// Orientation and grids, the tiled photos phones write, stored upright or
// turned. Both formats are written from tiles decoded one by one: the
// picture must be the one libheif decodes.

#include "core/Converter.h"
#include "fixtures/HeifFixtures.h"
#include "imageio/ImageSource.h"

#include <gtest/gtest.h>

#include <cmath>

namespace pictavo {
namespace {

using namespace fixtures;

bool decodesAsTiles(const fs::path& location)
{
    auto source = imageio::ImageSource::open(location);
    const imageio::DecodedImage* decoded =
        source ? source->decode(0, imageio::ImageSource::Purpose::jpegOutput) : nullptr;
    return decoded && decoded->tiles;
}

::testing::AssertionResult closeToReference(const Raster& jpeg, const Raster& reference)
{
    if (std::pair(jpeg.width, jpeg.height) != std::pair(reference.width, reference.height))
        return ::testing::AssertionFailure() << jpeg.width << "x" << jpeg.height << " written";
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
    if (psnr > 38.0 && worst < 48)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "PSNR " << psnr << " dB, worst error " << worst;
}

// Every orientation (irot × imir) of a plain picture and of a grid in JPEG's
// YCbCr, whole and with a centred clean-aperture crop: the PNG is libheif's
// own turned decode, the JPEG close to it. A grid's tiles are turned into
// place one by one, unless libheif's 4:2:0 planes would not follow: a crop of
// an odd size, or one listed before the turn (libheif's cropped chroma is a
// sample wider than the crop); then libheif turns the whole picture.
class ConverterOrientation : public ::testing::TestWithParam<int> {};

TEST_P(ConverterOrientation, OutputsHoldUprightPixels)
{
    const int orientation = GetParam();
    const std::uint32_t width = orientation >= 5 ? 64 : 128, height = orientation >= 5 ? 128 : 64;  // upright
    struct Case {
        std::uint32_t grid;
        std::uint32_t cropLess;  // width and height less this, centred (so either way up); 0: no crop
        bool cropAfterTurn;
    };
    for (const Case& c : {Case{0, 0, false}, Case{0, 32, false}, Case{2, 0, false}, Case{2, 32, true},
                          Case{2, 32, false}, Case{2, 33, true}}) {
        SCOPED_TRACE(::testing::Message() << "orientation " << orientation << ", grid " << c.grid << ", crop "
                                          << c.cropLess << (c.cropAfterTurn ? " after the turn" : ""));
        TempDir dir;
        // A 128×64 picture in JPEG's own YCbCr (BT.601, full range, 4:2:0). (libheif
        // 1.19 swaps the rows and columns of a grid it encodes: square grids only.)
        HeicImage image(gradient(128, 64));
        image.lossless = false;
        image.chroma = "420";
        image.nclx = Nclx{};
        image.gridColumns = c.grid;
        image.gridRows = c.grid;
        image.orientation = orientation;
        image.cropWidth = c.cropLess ? (c.cropAfterTurn ? width : 128) - c.cropLess : 0;
        image.cropHeight = c.cropLess ? (c.cropAfterTurn ? height : 64) - c.cropLess : 0;
        image.cropAfterTurn = c.cropAfterTurn;
        writeHeic(dir / "o.heic", image);
        const Raster upright = heifReference(dir / "o.heic");  // libheif applies the stored turn, flip and crop
        EXPECT_EQ(std::pair(upright.width, upright.height), std::pair(width - c.cropLess, height - c.cropLess));
        EXPECT_EQ(decodesAsTiles(dir / "o.heic"), c.grid > 0);
        ConversionResult png = Converter::convert(dir / "o.heic", OutputFormat::png, 0.9, std::nullopt);
        ConversionResult jpg = Converter::convert(dir / "o.heic", OutputFormat::jpg, 0.9, std::nullopt);
        ASSERT_TRUE(png.ok() && jpg.ok());
        EXPECT_EQ(readPng(*png.output()).samples, upright.samples);
        EXPECT_TRUE(closeToReference(readJpeg(*jpg.output()), upright));
    }
}

INSTANTIATE_TEST_SUITE_P(AllEight, ConverterOrientation, ::testing::Range(1, 9));

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

}  // namespace
}  // namespace pictavo
