#include "ConvertersUnderTest.h"

#include "imageio/ImageSource.h"

#include <gtest/gtest.h>

namespace pictavo::test {
namespace {

using namespace pictavo::fixtures;

class InputFaults : public BothConverters {};

// Sets the size every image spatial extent ('ispe') box of the file declares.
std::vector<std::uint8_t> withDeclaredSize(std::vector<std::uint8_t> bytes, std::uint32_t width, std::uint32_t height)
{
    for (std::size_t box : findBoxes(bytes, "ispe")) {
        for (int i = 0; i < 4; ++i) {
            bytes[box + 12 + i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
            bytes[box + 16 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
        }
    }
    return bytes;
}

std::vector<std::uint8_t> spoiledFrom(std::vector<std::uint8_t> bytes, std::size_t at)
{
    std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end(), 0xFF);
    return bytes;
}

std::vector<std::uint8_t> firstBytes(const std::vector<std::uint8_t>& bytes, std::size_t length)
{
    return {bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length)};
}

// Every file that cannot be read fails as such, quickly, with nothing written
// and the file untouched: in this process too, where the decoder runs unguarded.
TEST_P(InputFaults, FilesThatCannotBeReadFailWithNothingWritten)
{
    TempDir dir;
    writeHeic(dir / "small.heic", HeicImage(quadrants(64, 64)));
    writeFlatGridHeic(dir / "grid.heic", 256, 256, 128, 1, 2, 3);
    HeicImage lossyImage(gradient(64, 64));
    lossyImage.lossless = false;
    writeHeic(dir / "lossy.heic", lossyImage);
    HeicImage tiledImage(gradient(128, 64));
    tiledImage.lossless = false;
    tiledImage.chroma = "420";
    tiledImage.nclx = Nclx{};
    tiledImage.gridColumns = tiledImage.gridRows = 2;
    writeHeic(dir / "tiled.heic", tiledImage);
    const auto small = readBytes(dir / "small.heic"), lossy = readBytes(dir / "lossy.heic");
    const auto tiled = readBytes(dir / "tiled.heic");
    ASSERT_EQ(findBoxes(tiled, "mdat").size(), 1u);
    // Tiles are stored in order: the first decodes, the last ones do not.
    const std::size_t tiledData = findBoxes(tiled, "mdat")[0];
    const auto tiledSpoiled = spoiledFrom(tiled, tiledData + (tiled.size() - tiledData) / 2);
    writeBytes(dir / "hostile.heic", tiledSpoiled);
    {
        auto opened = imageio::ImageSource::open(dir / "hostile.heic");
        const auto* decoded = opened ? opened->decode(0, imageio::ImageSource::Purpose::jpegOutput) : nullptr;
        ASSERT_TRUE(decoded && decoded->tiles) << "not decoded tile by tile";
    }

    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> rows{
        {"not an image", {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'}},
        {"empty", {}},
        // Boxes that reach past the end, as in a truncated download; the
        // fuzzer's file made libheif 1.19 abort when it read the file itself.
        {"a third of a file", firstBytes(lossy, lossy.size() / 3)},
        {"a quarter of a file", firstBytes(small, small.size() / 4)},
        {"half a file", firstBytes(small, small.size() / 2)},
        {"all of a file but its last byte", firstBytes(small, small.size() - 1)},
        {"found by the fuzzer: parser assertion", readBytes(PICTAVO_ROBUSTNESS_INPUTS "/parser-assertion.heic")},
        // A container that opens around picture data that does not decode.
        {"picture data spoiled", spoiledFrom(lossy, findBoxes(lossy, "mdat").at(0) + 12)},
        {"later tiles spoiled", tiledSpoiled},
        // libheif 1.19 reports it when decoding the whole grid, but
        // dereferences null when asked for that tile alone.
        {"found by the fuzzer: a grid tile that is not an image",
         readBytes(PICTAVO_ROBUSTNESS_INPUTS "/grid-tile-not-an-image.heic")},
    };
    // A few hundred bytes that claim billions of pixels must not make the
    // converter allocate or decode them.
    for (const char* original : {"small.heic", "grid.heic"}) {
        for (auto [width, height] : std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                 {100000, 100000}, {0xffffffff, 0xffffffff}, {1, 300000000}, {300000000, 1}, {0, 0}})
            rows.emplace_back(std::string(original) + " claiming " + std::to_string(width) + "x" + std::to_string(height),
                              withDeclaredSize(readBytes(dir / original), width, height));
    }
    for (const auto& [what, bytes] : rows) {
        SCOPED_TRACE(what);
        writeBytes(dir / "hostile.heic", bytes);
        expectFailure(dir / "hostile.heic", kCouldNotReadImage, dir.path());
    }
    fs::create_directory(dir / "folder.heic");
    expectFailure(dir / "folder.heic", kCouldNotReadImage, dir.path());
    expectFailure(dir / "missing.heic", kCouldNotReadImage, dir.path());
    if (!permissionsAreIgnored()) {
        fs::permissions(dir / "small.heic", fs::perms::none);
        expectFailure(dir / "small.heic", kCouldNotReadImage, dir.path());
    }
}

// The pixels are what the stream holds, whatever depth the header declares
// (found by the fuzzer: a header declaring 12-bit grey over an 8-bit stream).
TEST_P(InputFaults, GreyShallowerThanItsHeaderDeclaresConvertsAsDecoded)
{
    TempDir dir;
    fs::copy_file(PICTAVO_ROBUSTNESS_INPUTS "/grey-shallower-than-declared.heic", dir / "grey.heic");
    const Raster expected = heifReference(dir / "grey.heic");

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

INSTANTIATE_TEST_SUITE_P(Both, InputFaults, testing::Values(kInProcess, kInWorker), converterName);

}  // namespace
}  // namespace pictavo::test
