#include "fixtures/HeifFixtures.h"
#include "imageio/ImageSource.h"
#include "imageio/YCbCrToRgb.h"

#include <gtest/gtest.h>

#include <random>

namespace pictavo::imageio {
namespace {

using namespace fixtures;

// Our conversion of 4:2:0 photos must give exactly libheif's own RGB decode,
// and files it does not cover (limited range, 4:4:4, other matrices,
// rotations and mirrors) must still decode exactly through libheif. (Grids are
// covered by the real 12 MP sample in the converter tests: libheif decodes a
// small generated grid differently from one run to the next.)
TEST(YCbCrToRgb, DecodedPixelsAreLibheifsWhateverMatrixRangeSizeAndOrientation)
{
    TempDir dir;
    struct Case {
        std::uint16_t matrix;
        bool fullRange;
        std::uint32_t width, height;
        int orientation;
        std::string chroma;
    };
    const Case cases[] = {
        {6, true, 64, 48, 1, "420"},   {5, true, 67, 45, 6, "420"},  {1, true, 33, 70, 3, "420"},
        {9, true, 41, 29, 2, "420"},   {6, true, 66, 42, 5, "420"},  {6, true, 128, 96, 1, "420"},
        {5, true, 67, 45, 1, "420"},      {1, true, 33, 70, 1, "420"},     {9, true, 41, 29, 1, "420"},
        {6, false, 64, 48, 1, "420"},  {1, false, 51, 37, 6, "420"}, {6, true, 64, 48, 1, "444"},
        {10, true, 64, 48, 1, "420"},  {0, true, 48, 32, 1, "420"},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "matrix " << c.matrix << (c.fullRange ? " full" : " limited") << ", "
                                        << c.width << "x" << c.height << ", orientation " << c.orientation << ", "
                                        << c.chroma);
        HeicImage heic(gradient(c.width, c.height));
        heic.lossless = false;
        heic.quality = 60;
        heic.chroma = c.chroma;
        heic.orientation = c.orientation;
        heic.nclx = Nclx{1, 13, c.matrix, c.fullRange};
        std::string name = std::to_string(index++);
        name += ".heic";
        const fs::path file = dir / name;
        try {
            writeHeic(file, heic);
        } catch (const std::exception& error) {
            ADD_FAILURE() << "fixture not written: " << error.what();
            continue;
        }
        const Raster reference = heifReference(file);
        auto source = ImageSource::open(file);
        ASSERT_TRUE(source);
        const DecodedImage* image = source->decode(0);
        ASSERT_TRUE(image);
        ASSERT_EQ(image->width, reference.width);
        ASSERT_EQ(image->height, reference.height);
        ASSERT_EQ(image->channels, 3);
        std::size_t differing = 0;
        for (std::uint32_t y = 0; y < image->height; ++y)
            for (std::uint32_t x = 0; x < image->width; ++x)
                for (int ch = 0; ch < 3; ++ch)
                    differing += image->row(y)[x * 3 + ch] != reference.at(x, y, ch);
        EXPECT_EQ(differing, 0u);
    }
}

TEST(YCbCrToRgb, ThreadsShareRowsWithoutChangingAPixel)
{
    const std::uint32_t width = 37, height = 23;  // odd: the last chroma column and row serve one pixel
    std::mt19937 random(3);
    std::vector<std::uint8_t> y(width * height), cb(19 * 12), cr(19 * 12);
    for (auto* plane : {&y, &cb, &cr})
        for (auto& sample : *plane)
            sample = static_cast<std::uint8_t>(random());
    const YCbCr420Planes planes{y.data(), cb.data(), cr.data(), width, 19, 19, width, height};
    const YCbCrMatrix matrix = *ycbcrMatrix(6);
    std::vector<std::uint8_t> one(width * 3 * height), many(width * 3 * height);
    convertYCbCr420ToRgb(planes, matrix, one.data(), width * 3, 1);
    convertYCbCr420ToRgb(planes, matrix, many.data(), width * 3, 5);
    EXPECT_EQ(one, many);
    // Extremes clamp rather than wrap: full luma with the largest red difference stays 255.
    std::vector<std::uint8_t> white(4, 255), high(1, 255), low(1, 0), out(12);
    convertYCbCr420ToRgb({white.data(), low.data(), high.data(), 2, 1, 1, 2, 2}, matrix, out.data(), 6, 1);
    EXPECT_EQ(out[0], 255);  // red: 255 + 1.402 * 127
    EXPECT_EQ(out[2], 28);   // blue: 255 - 1.772 * 128 = 28.2
}

}  // namespace
}  // namespace pictavo::imageio
