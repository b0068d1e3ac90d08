#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace pictavo::imageio {

// The XMP packet to write beside an upright image of width × height:
// tiff:Orientation says 1 and exif:PixelXDimension / exif:PixelYDimension
// describe the image written, in element (<tiff:Orientation>6</…>) and
// attribute (tiff:Orientation="6") form alike. Everything else is kept as it is.
std::vector<std::uint8_t> xmpForOutput(std::span<const std::uint8_t> xmp, std::uint32_t width, std::uint32_t height);

}  // namespace pictavo::imageio
