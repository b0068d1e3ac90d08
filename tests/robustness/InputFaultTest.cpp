#include "ConvertersUnderTest.h"

#include "fixtures/HeifFixtures.h"

#include <libheif/heif.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

namespace pictavo::test {
namespace {

using namespace pictavo::fixtures;
using namespace std::chrono_literals;

class InputFaults : public testing::TestWithParam<ConverterUnderTest> {
protected:
    ConversionResult convert(const fs::path& source, OutputFormat format) const
    {
        return GetParam().convert(source, format, 0.9, std::nullopt);
    }
};

void putBigEndian32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// Sets the size every image spatial extent ('ispe') box of the file declares.
std::vector<std::uint8_t> withDeclaredSize(std::vector<std::uint8_t> bytes, std::uint32_t width, std::uint32_t height)
{
    const std::vector<std::size_t> boxes = findBoxes(bytes, "ispe");
    if (boxes.empty())
        throw std::runtime_error("no ispe box");
    for (std::size_t box : boxes) {
        putBigEndian32(bytes, box + 12, width);
        putBigEndian32(bytes, box + 16, height);
    }
    return bytes;
}

// A few hundred bytes that claim billions of pixels must not make the
// converter allocate or decode them.
TEST_P(InputFaults, AbsurdDeclaredDimensionsAreRefusedQuickly)
{
    TempDir dir;
    writeHeic(dir / "small.heic", HeicImage(quadrants(64, 64)));
    writeFlatGridHeic(dir / "grid.heic", 256, 256, 128, 1, 2, 3);
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> sizes{
        {100000, 100000}, {0xffffffff, 0xffffffff}, {1, 300000000}, {300000000, 1}, {0, 0}};

    for (const char* original : {"small.heic", "grid.heic"}) {
        for (auto [width, height] : sizes) {
            SCOPED_TRACE(std::string(original) + " claiming " + std::to_string(width) + "x" + std::to_string(height));
            const fs::path hostile = dir / "hostile.heic";
            writeBytes(hostile, withDeclaredSize(readBytes(dir / original), width, height));
            const auto bytes = readBytes(hostile);

            const auto start = std::chrono::steady_clock::now();
            const ConversionResult result = convert(hostile, OutputFormat::jpg);
            EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
            EXPECT_EQ(result.error(), std::string(kCouldNotReadImage));
            EXPECT_EQ(dir.entries(), (std::vector<std::string>{"grid.heic", "hostile.heic", "small.heic"}));
            EXPECT_EQ(readBytes(hostile), bytes);
        }
    }
}

// Boxes that reach past the end of the file, as in a truncated download or a
// file found by the fuzzer (libheif 1.19 aborted on it when it read the file
// itself): each is an unreadable file, in this process too.
TEST_P(InputFaults, BoxesReachingPastTheEndOfTheFileAreUnreadable)
{
    TempDir dir;
    writeHeic(dir / "whole.heic", HeicImage(quadrants(64, 64)));
    const auto whole = readBytes(dir / "whole.heic");
    std::vector<std::vector<std::uint8_t>> inputs{readBytes(PICTAVO_ROBUSTNESS_INPUTS "/parser-assertion.heic")};
    for (std::size_t length : {whole.size() / 4, whole.size() / 2, whole.size() - 1})
        inputs.emplace_back(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));

    for (std::size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE("input " + std::to_string(i) + " of " + std::to_string(inputs[i].size()) + " bytes");
        writeBytes(dir / "hostile.heic", inputs[i]);
        const ConversionResult result = convert(dir / "hostile.heic", OutputFormat::png);
        EXPECT_EQ(result.error(), std::string(kCouldNotReadImage));
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"hostile.heic", "whole.heic"}));
        EXPECT_EQ(readBytes(dir / "hostile.heic"), inputs[i]);
    }
}

// libheif's grey plane as it decodes it, at the depth it has (found by the
// fuzzer: a file whose header declares 12-bit grey and whose stream holds 8-bit).
Raster decodedGreyPlane(const fs::path& location)
{
    std::unique_ptr<heif_context, void (*)(heif_context*)> context(heif_context_alloc(), heif_context_free);
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    if (heif_context_read_from_file(context.get(), location.c_str(), nullptr).code != heif_error_Ok ||
        heif_context_get_primary_image_handle(context.get(), &handle).code != heif_error_Ok)
        throw std::runtime_error("unreadable");
    const heif_error error =
        heif_decode_image(handle, &image, heif_colorspace_monochrome, heif_chroma_monochrome, nullptr);
    heif_image_handle_release(handle);
    if (error.code != heif_error_Ok)
        throw std::runtime_error("undecodable");
    std::unique_ptr<heif_image, void (*)(const heif_image*)> owner(image, heif_image_release);
    int stride = 0;
    const std::uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_Y, &stride);
    Raster raster{static_cast<std::uint32_t>(heif_image_get_primary_width(image)),
                  static_cast<std::uint32_t>(heif_image_get_primary_height(image)), 1,
                  heif_image_get_bits_per_pixel(image, heif_channel_Y), {}};
    if (!plane || raster.bitDepth != 8)
        throw std::runtime_error("not an 8-bit plane");
    for (std::uint32_t y = 0; y < raster.height; ++y)
        raster.samples.insert(raster.samples.end(), plane + std::size_t(y) * stride,
                              plane + std::size_t(y) * stride + raster.width);
    return raster;
}

// The pixels are what the stream holds, whatever depth the header declares.
TEST_P(InputFaults, GreyShallowerThanItsHeaderDeclaresConvertsAsDecoded)
{
    TempDir dir;
    fs::copy_file(PICTAVO_ROBUSTNESS_INPUTS "/grey-shallower-than-declared.heic", dir / "grey.heic");
    const Raster expected = decodedGreyPlane(dir / "grey.heic");

    const ConversionResult result = convert(dir / "grey.heic", OutputFormat::png);
    ASSERT_TRUE(result.ok()) << *result.error();
    const Raster written = readPng(*result.output());
    ASSERT_EQ(written.channels, 1);
    ASSERT_EQ(std::make_pair(written.width, written.height), std::make_pair(expected.width, expected.height));
    for (std::size_t i = 0; i < expected.samples.size(); ++i) {
        const int as8Bits = written.bitDepth == 16 ? (written.samples[i] + 128) / 257 : written.samples[i];
        ASSERT_EQ(as8Bits, expected.samples[i]) << "sample " << i;
    }
}

// A grid one of whose tiles is not an image (found by the fuzzer): libheif
// 1.19 reports it when decoding the whole grid, but dereferences null when
// asked for that tile alone.
TEST_P(InputFaults, AGridWhoseTileIsNotAnImageIsUnreadable)
{
    TempDir dir;
    fs::copy_file(PICTAVO_ROBUSTNESS_INPUTS "/grid-tile-not-an-image.heic", dir / "grid.heic");
    const auto bytes = readBytes(dir / "grid.heic");
    for (OutputFormat format : {OutputFormat::jpg, OutputFormat::png}) {
        const ConversionResult result = convert(dir / "grid.heic", format);
        EXPECT_EQ(result.error(), std::string(kCouldNotReadImage));
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"grid.heic"});
    }
    EXPECT_EQ(readBytes(dir / "grid.heic"), bytes);
}

INSTANTIATE_TEST_SUITE_P(Both, InputFaults, testing::Values(kInProcess, kInWorker), converterName);

}  // namespace
}  // namespace pictavo::test
