#pragma once

#include "imageio/pixels/RgbBandSource.h"
#include "imageio/pixels/YCbCrBandSource.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace pictavo::imageio {

// One decoded image, upright (the file's rotation, mirror and crop applied),
// together with the metadata a written file should carry.
struct DecodedImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA. Alpha is straight, never premultiplied.
    int channels = 3;
    // 8, or 16 for sources deeper than 8 bits: native-endian uint16 samples
    // spanning the full 0..65535 range.
    int bitsPerSample = 8;
    // Interleaved samples, row after row; `stride` bytes from one row to the next.
    const std::uint8_t* data = nullptr;
    std::size_t stride = 0;
    // Keeps `data` alive (a decoder's buffer, or a vector of our own).
    std::shared_ptr<const void> owner;
    // Set instead of `data` for a tiled photo decoded for a JPEG: its pixels
    // are JPEG's own YCbCr, decoded band by band while the JPEG is written,
    // from the file its ImageSource holds open: write it while that source lives.
    std::shared_ptr<const YCbCrBandSource> tiles;
    // Set instead of `data` for a tiled photo converted to RGB as its bands
    // decode (for a PNG, or for a JPEG when its samples are not JPEG's own
    // YCbCr: a camera's 10 bits, say); read it while the source lives, as `tiles`.
    std::shared_ptr<const RgbBandSource> rgbBands;

    // ICC profile to embed; empty means the pixels are sRGB.
    std::vector<std::uint8_t> icc;
    // EXIF as a TIFF structure (starting "II*\0" or "MM\0*"), without the "Exif\0\0" prefix.
    std::vector<std::uint8_t> exif;
    // XMP packet (UTF-8 XML).
    std::vector<std::uint8_t> xmp;

    const std::uint8_t* row(std::uint32_t y) const { return data + static_cast<std::size_t>(y) * stride; }
};

}  // namespace pictavo::imageio
