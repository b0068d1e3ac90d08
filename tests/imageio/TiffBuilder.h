#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pictavo::imageio::test {

// What goes into a generated EXIF block.
struct TiffContents {
    bool bigEndian = false;
    std::uint16_t orientation = 6;
    std::uint32_t pixelX = 4032;  // LONG
    std::uint16_t pixelY = 3024;  // SHORT
    std::size_t makerNoteSize = 100;
    std::size_t thumbnailSize = 0;  // 0: no IFD1
};

inline constexpr char kTestMake[] = "Pictavo test";

// IFD0 (Make, Orientation, Exif pointer) → Exif IFD (MakerNote, PixelX/YDimension),
// then IFD1 with a thumbnail when asked for.
std::vector<std::uint8_t> buildTiff(const TiffContents& contents);

// One IFD entry as a reader sees it: for SHORT/LONG the first value, else the offset.
struct TagValue {
    std::uint16_t type;
    std::uint32_t count;
    std::uint32_t value;
};

// Independent, bounds-checked reading of a TIFF structure for checking results.
std::optional<TagValue> ifd0Tag(const std::vector<std::uint8_t>& tiff, std::uint16_t tag);
std::optional<TagValue> exifIfdTag(const std::vector<std::uint8_t>& tiff, std::uint16_t tag);
std::optional<std::string> ifd0Ascii(const std::vector<std::uint8_t>& tiff, std::uint16_t tag);
// Offset of IFD1, 0 when there is none.
std::uint32_t ifd1Offset(const std::vector<std::uint8_t>& tiff);

}  // namespace pictavo::imageio::test
