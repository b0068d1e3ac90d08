#include "fixtures/TiffBuilder.h"

#include "imageio/ExifEditor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace pictavo::imageio {
namespace {

using fixtures::buildTiff;

constexpr std::uint16_t kMake = 0x010F;
constexpr std::uint16_t kMakerNote = 0x927C;
constexpr std::uint16_t kPixelX = 0xA002;
constexpr std::uint16_t kPixelY = 0xA003;
constexpr std::size_t kUnlimited = 1 << 30;

class ExifEditorByteOrder : public ::testing::TestWithParam<bool> {};

// A block that fits is edited in place; one over the limit loses its
// thumbnail and MakerNote but keeps the rest.
TEST_P(ExifEditorByteOrder, OutputExifSaysUprightAndDescribesTheWrittenSize)
{
    struct Row {
        std::size_t makerNote, thumbnail, limit;
        std::uint32_t width, height;
        bool whole;
    };
    for (const Row& row : {Row{100, 500, kUnlimited, 3024, 4032, true}, Row{40000, 40000, 65527, 640, 480, false}}) {
        const std::vector<std::uint8_t> in = buildTiff(
            {.bigEndian = GetParam(), .makerNoteSize = row.makerNote, .thumbnailSize = row.thumbnail});
        ASSERT_EQ(in.size() <= row.limit, row.whole);
        const std::vector<std::uint8_t> out = exifForOutput(in, row.width, row.height, row.limit);
        ASSERT_EQ(out.size(), row.whole ? in.size() : ExifEditor::parse(in)->reduced().size());
        EXPECT_LE(out.size(), row.limit);
        EXPECT_EQ(fixtures::ifd1Offset(out) != 0, row.whole) << "the thumbnail stays while there is room";
        EXPECT_EQ(fixtures::exifIfdTag(out, kMakerNote).has_value(), row.whole);
        EXPECT_EQ(fixtures::exifOrientation(out), 1);
        EXPECT_EQ(fixtures::exifIfdTag(out, kPixelX)->value, row.width);
        EXPECT_EQ(fixtures::exifIfdTag(out, kPixelY)->value, row.height);
        EXPECT_EQ(fixtures::ifd0Ascii(out, kMake), std::string(fixtures::kTestMake, sizeof fixtures::kTestMake));
        EXPECT_EQ(in[0], out[0]) << "byte order kept";
    }
}

// A limit is a size that fits: exactly the whole block, exactly the reduced one.
TEST_P(ExifEditorByteOrder, BlockIsKeptWholeOrReducedUpToTheLimitAndLeftOutBeyond)
{
    const std::vector<std::uint8_t> in = buildTiff({.bigEndian = GetParam(), .thumbnailSize = 500});
    const std::size_t reduced = ExifEditor::parse(in)->reduced().size();
    ASSERT_LT(reduced, in.size());
    EXPECT_EQ(exifForOutput(in, 10, 10, in.size()).size(), in.size());
    EXPECT_EQ(exifForOutput(in, 10, 10, in.size() - 1).size(), reduced);
    EXPECT_EQ(exifForOutput(in, 10, 10, reduced).size(), reduced);
    EXPECT_TRUE(exifForOutput(in, 10, 10, reduced - 1).empty());
}

INSTANTIATE_TEST_SUITE_P(BothByteOrders, ExifEditorByteOrder, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "BigEndian" : "LittleEndian"; });

TEST(ExifEditor, SubIfdPointingBackAtIfd0DoesNotLoopWhenReducing)
{
    std::vector<std::uint8_t> tiff = buildTiff({});
    // The Exif IFD pointer is IFD0's third entry; aim it at IFD0 itself.
    const std::size_t pointerValue = 8 + 2 + 2 * 12 + 8;
    tiff[pointerValue] = 8;
    tiff[pointerValue + 1] = tiff[pointerValue + 2] = tiff[pointerValue + 3] = 0;
    std::optional<ExifEditor> editor = ExifEditor::parse(tiff);
    ASSERT_TRUE(editor);
    const std::vector<std::uint8_t> reduced = editor->reduced();
    EXPECT_EQ(fixtures::exifOrientation(reduced), 6);
    EXPECT_LT(reduced.size(), tiff.size());
}

// Hostile input: every truncation of a valid block, then random damage, then
// pure noise behind a valid header. Nothing may read out of bounds (run under
// AddressSanitizer to see it), and whatever comes out respects the size limit.
TEST(ExifEditor, TruncatedDamagedAndRandomInputIsHandledSafely)
{
    std::mt19937 random(12345);
    for (bool big : {false, true}) {
        const std::vector<std::uint8_t> valid = buildTiff({.bigEndian = big, .thumbnailSize = 64});
        for (std::size_t length = 0; length < valid.size(); ++length) {
            const std::vector<std::uint8_t> out = exifForOutput(std::span(valid).first(length), 5, 5, 120);
            EXPECT_LE(out.size(), 120u);
            EXPECT_EQ(fixtures::exifOrientation(out).value_or(1), 1) << "an orientation kept is upright";
        }
        for (int round = 0; round < 2000; ++round) {
            std::vector<std::uint8_t> damaged = valid;
            const int hits = 1 + static_cast<int>(random() % 8);
            for (int i = 0; i < hits; ++i)
                damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
            const std::size_t limit = round % 2 ? kUnlimited : 100;
            EXPECT_LE(exifForOutput(damaged, 5, 5, limit).size(), limit);
            if (std::optional<ExifEditor> editor = ExifEditor::parse(damaged))
                editor->reduced();
        }
        for (int round = 0; round < 2000; ++round) {
            std::vector<std::uint8_t> noise(8 + random() % 300);
            std::generate(noise.begin(), noise.end(), [&random] { return static_cast<std::uint8_t>(random()); });
            const std::string header = big ? std::string("MM\0*", 4) : std::string("II*\0", 4);
            std::copy(header.begin(), header.end(), noise.begin());
            noise[big ? 7 : 4] = static_cast<std::uint8_t>(8 + random() % 32);
            EXPECT_LE(exifForOutput(noise, 5, 5, 64).size(), 64u);
        }
    }
}

}  // namespace
}  // namespace pictavo::imageio
