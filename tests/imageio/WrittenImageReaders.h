#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pictavo::imageio::test {

// Pixels read back from an encoded file: interleaved, 16-bit samples in native order.
struct ReadImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int channels = 0;
    int bits = 8;
    std::vector<std::uint8_t> pixels;
    // PNG metadata as libpng reports it.
    std::optional<std::string> iccName;
    std::vector<std::uint8_t> icc;
    bool srgb = false;
    std::vector<std::uint8_t> exif;
    struct Text {
        std::string key;
        std::string text;
        int compression;
    };
    std::vector<Text> texts;

    std::uint32_t sample(std::uint32_t x, std::uint32_t y, int c) const;
};

std::optional<ReadImage> decodeJpeg(const std::vector<std::uint8_t>& file);
std::optional<ReadImage> decodePng(const std::vector<std::uint8_t>& file);

// The marker segments of a JPEG from SOI up to SOS; payload without the length field.
struct JpegSegment {
    std::uint8_t marker;
    std::size_t declaredLength;
    std::vector<std::uint8_t> payload;
};
std::vector<JpegSegment> jpegSegments(const std::vector<std::uint8_t>& file);

std::vector<std::string> pngChunkTypes(const std::vector<std::uint8_t>& file);

}  // namespace pictavo::imageio::test
