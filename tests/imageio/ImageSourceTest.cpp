// The decode side of the image service: straight alpha, the colour description, the HEVC decoders, tiles.

#include "fixtures/HeifFixtures.h"
#include "imageio/ImageSource.h"
#include "imageio/heif/AvcodecHevcDecoder.h"
#include "imageio/heif/HeifFileReader.h"
#include "imageio/heif/HeifObjects.h"
#include "imageio/heif/TileGeometry.h"
#include "imageio/heif/TiledYCbCrImage.h"
#include "imageio/heif/HevcTileData.h"
#include "imageio/heif/ParallelHevcDecoder.h"

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>
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
    const auto decoded = source ? (*source)->decode() : Failure::unreadable;
    if (!decoded)
        throw std::runtime_error("cannot decode the fixture");
    return **decoded;
}

TEST(ImageSourcePixels, PremultipliedAlphaComesStraight)
{
    // Half-bright colours so premultiplying and dividing back loses nothing
    // measurable; where alpha is 0 the colour is gone for good: 0 there.
    const Pixels shape = quadrants(64, 32, 4);
    const auto colours = [&shape](bool premultiplied) {
        return paint(64, 32, 4, 8, [&shape, premultiplied](std::uint32_t x, std::uint32_t y, int c) {
            const int alpha = shape.at(x, y, 3), straight = c < 3 && shape.at(x, y, c) && alpha ? 200 : 0;
            return c == 3 ? alpha : premultiplied ? (straight * alpha + 127) / 255 : straight;
        });
    };
    const Pixels straight = colours(false);
    HeicImage image(colours(true));
    image.premultipliedAlpha = true;
    const DecodedImage decoded = decodedFrom(image);
    ASSERT_EQ(std::tuple(decoded.width, decoded.height, decoded.channels), std::tuple(64u, 32u, 4));
    for (std::size_t i = 0; i < straight.samples.size(); ++i)
        EXPECT_NEAR(sampleAt(decoded, i / 4 % 64, i / 256, i % 4), straight.samples[i], 1) << "sample " << i;
}

// Only wide-gamut nclx gets a profile of its own. A 10-bit PQ or HLG ramp becomes SDR that rises
// from black to white without clipping its highlights or crushing its middle.
TEST(ImageSourceColour, WideGamutGetsItsProfileAndHdrIsToneMappedNotClipped)
{
    auto icc = [](const Nclx& nclx) { return decodedFrom(HeicImage(flat(64, 32, 200, 100, 50)), nclx).icc; };
    EXPECT_TRUE(icc({1, 13, 6, true}).empty());
    EXPECT_TRUE(icc({2, 2, 6, true}).empty());
    const std::vector<std::uint8_t> p3 = icc({12, 13, 6, true});
    ASSERT_GT(p3.size(), 128u);
    EXPECT_EQ(std::string(p3.begin() + 36, p3.begin() + 40), "acsp");
    EXPECT_NE(p3, icc({9, 14, 9, true}));

    const Pixels ramp = paint(1024, 2, 3, 10, [](std::uint32_t x, std::uint32_t, int) { return x; });
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

// The primary image of a HEIF file, opened as the application opens it.
struct Primary {
    std::unique_ptr<HeifFileContext> file;
    std::shared_ptr<heif_image_handle> handle;
};

// `pixels` written into `dir`, lossy at quality 50 in `chroma` (as `grid` × `grid` tiles, if any), and its primary image.
Primary lossyPrimary(const TempDir& dir, const Pixels& pixels, const char* chroma, std::uint32_t grid = 0)
{
    HeicImage image(pixels);
    image.lossless = false, image.quality = 50, image.chroma = chroma;
    image.gridColumns = image.gridRows = grid;
    writeHeic(dir / "in.heic", image);
    Primary primary{HeifFileContext::open(ImageSource::openFile(dir / "in.heic")), nullptr};
    heif_item_id id = 0;
    if (primary.file && heif_context_get_primary_image_ID(primary.file->context.get(), &id).code == heif_error_Ok)
        primary.handle = imageHandle(primary.file->context.get(), id);
    return primary;
}

// The decoder that reads gain maps on every core is registered (libheif takes
// its own for a name it does not know), and gives the samples of libheif's own
// decoder: grey, 4:2:0 and deep 4:4:4, over several rows of coding blocks.
TEST(ParallelHevcDecoder, GivesTheSamplesOfLibheifsOwnDecoder)
{
    if (kOptionsHaveCodecThreads)
        GTEST_SKIP() << "this libheif's own decoder is given the threads";
    ASSERT_TRUE(ImageSource::prepareDecoders());
    const heif_decoder_descriptor* decoders[16] = {};
    const int count = heif_get_decoder_descriptors(heif_compression_HEVC, decoders, 16);
    EXPECT_TRUE(std::any_of(decoders, decoders + count, [](const heif_decoder_descriptor* d) {
        return std::string_view(heif_decoder_descriptor_get_id_name(d)) == kParallelHevcDecoderId;
    }));
    for (auto [pixels, chroma] : {std::pair(gradient(320, 200, 1), "420"), std::pair(gradient(320, 200), "420"),
                                  std::pair(gradient(320, 200, 3, 10), "444")}) {
        TempDir dir;
        const Primary primary = lossyPrimary(dir, pixels, chroma);
        ASSERT_TRUE(primary.handle);
        HeifImagePtr decoded[2];
        for (const char* decoder : {static_cast<const char*>(nullptr), kParallelHevcDecoderId}) {
            const HeifOptionsPtr options(heif_decoding_options_alloc());
            options->decoder_id = decoder;
            decoded[decoder != nullptr] =
                decodeImage(primary.handle.get(), heif_colorspace_undefined, heif_chroma_undefined, options.get());
        }
        ASSERT_TRUE(decoded[0] && decoded[1]);
        ASSERT_EQ(heif_image_get_chroma_format(decoded[1].get()), heif_image_get_chroma_format(decoded[0].get()));
        for (heif_channel channel : {heif_channel_Y, heif_channel_Cb, heif_channel_Cr}) {
            if (!heif_image_has_channel(decoded[0].get(), channel))
                continue;
            int strides[2] = {};
            const std::uint8_t* planes[2] = {heif_image_get_plane_readonly(decoded[0].get(), channel, &strides[0]),
                                             heif_image_get_plane_readonly(decoded[1].get(), channel, &strides[1])};
            const int height = heif_image_get_height(decoded[0].get(), channel);
            const int rowBytes = heif_image_get_width(decoded[0].get(), channel) * (pixels.bitDepth > 8 ? 2 : 1);
            ASSERT_TRUE(planes[1]);
            ASSERT_EQ(heif_image_get_bits_per_pixel(decoded[1].get(), channel),
                      heif_image_get_bits_per_pixel(decoded[0].get(), channel));
            for (int y = 0; y < height; ++y)
                ASSERT_EQ(std::memcmp(planes[0] + y * strides[0], planes[1] + y * strides[1], rowBytes), 0)
                    << pixels.channels << " channels, row " << y;
        }
    }
}

// libavcodec decodes every tile of a grid to libde265's samples (through
// libheif, as stored): phone photos' 8-bit 4:2:0, cameras' 10-bit 4:2:0 and
// 4:2:2, and 4:4:4, one decoder kept from tile to tile. All but 4:4:4 are
// decoded tile by tile for RGB too. (The real samples' grids: ConverterSamples,
// whose PNGs equal libheif's decode.)
TEST(AvcodecHevcDecoder, GivesLibde265sSamplesTileByTile)
{
    ASSERT_TRUE(ImageSource::prepareDecoders());
    for (auto [pixels, chroma] : {std::pair(gradient(256, 128), "420"), std::pair(gradient(256, 128, 3, 10), "420"),
                                  std::pair(gradient(256, 128, 3, 10), "422"), std::pair(gradient(256, 128), "444")}) {
        SCOPED_TRACE(std::to_string(pixels.bitDepth) + "-bit " + chroma);
        TempDir dir;
        const Primary primary = lossyPrimary(dir, pixels, chroma, 2);
        ASSERT_TRUE(primary.handle);
        EXPECT_EQ(TiledYCbCrImage::open(primary.handle, primary.file->reader.descriptor(),
                                        TiledYCbCrImage::Samples::convertibleToRgb,
                                        TiledYCbCrImage::WhenTurnedWhole::refuse) != nullptr,
                  std::string_view(chroma) != "444");
        heif_image_tiling tiling{};
        ASSERT_EQ(heif_image_handle_get_image_tiling(primary.handle.get(), 0, &tiling).code, heif_error_Ok);
        std::vector<heif_item_id> ids(std::size_t(tiling.num_columns) * tiling.num_rows);
        for (std::uint32_t i = 0; i < ids.size(); ++i)
            ASSERT_EQ(heif_image_handle_get_grid_image_tile_id(primary.handle.get(), 0, i % tiling.num_columns,
                                                               i / tiling.num_columns, &ids[i]).code,
                      heif_error_Ok);
        const std::optional<HevcConfigurations> configurations =
            HevcConfigurations::read(primary.file->reader.descriptor(), ids);
        ASSERT_TRUE(configurations);
        std::unique_ptr<AvcodecHevcDecoder> decoder;
        for (std::uint32_t i = 0; i < ids.size(); ++i) {
            SCOPED_TRACE(i);
            if (!decoder || !decoder->decodes(configurations->of(ids[i]), tiling.tile_width, tiling.tile_height))
                decoder = AvcodecHevcDecoder::open(configurations->of(ids[i]), tiling.tile_width, tiling.tile_height);
            ASSERT_TRUE(decoder);
            const ItemData data(primary.file->context.get(), ids[i]);
            const DecodedTile ours = decoder->decode(data.data(), data.size());
            const HeifOptionsPtr options(heif_decoding_options_alloc());
            options->ignore_transformations = 1;
            heif_image* image = nullptr;
            heif_image_handle_decode_image_tile(primary.handle.get(), &image, heif_colorspace_YCbCr,
                                                heif_chroma_undefined, options.get(), i % tiling.num_columns,
                                                i / tiling.num_columns);
            const DecodedTile theirs = tileOf(HeifImagePtr(image));
            ASSERT_TRUE(ours && theirs);
            ASSERT_EQ(std::tuple(ours.depth, ours.chroma), std::tuple(theirs.depth, theirs.chroma));
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(std::pair(ours.width[c], ours.height[c]), std::pair(theirs.width[c], theirs.height[c]));
                const std::size_t bytes = std::size_t(ours.width[c]) * (ours.depth > 8 ? 2 : 1);
                for (int y = 0; y < ours.height[c]; ++y)
                    ASSERT_EQ(std::memcmp(ours.plane[c] + y * ours.stride[c], theirs.plane[c] + y * theirs.stride[c], bytes), 0)
                        << "plane " << c << ", row " << y;
            }
        }
    }
}

// Where tiles cannot be placed one by one, the picture is decoded whole. (Where they can, every turn,
// mirror and crop of a grid is converted and compared pixel by pixel: ConverterOrientation, ConverterResize.)
TEST(TileGeometry, TilesAreNotPlacedOneByOneWhereChromaWouldSlipOrTheGridFallsShort)
{
    const struct {
        const char* name;
        TileGrid grid;  // columns, rows, tile width and height, picture width and height
        ImageTransform transform;
    } rows[] = {
        {"an odd crop moves chroma against luma", {2, 3, 4, 2, 8, 6}, {.x0 = 1, .width = 6, .height = 6}},
        {"odd tiles", {3, 3, 3, 2, 8, 6}, {.width = 8, .height = 6}},
        {"a grid short of the picture", {1, 3, 4, 2, 8, 6}, {.width = 8, .height = 6}},
    };
    for (const auto& row : rows)
        EXPECT_FALSE(TileGeometry::of(row.grid, row.transform)) << row.name;
}

}  // namespace
}  // namespace pictavo::imageio
