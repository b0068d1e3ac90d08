#pragma once

#include "imageio/pixels/DecodedImage.h"

#include <cstdint>

namespace pictavo::imageio {

// 16-bit sample to 8 bits, rounded to the nearest value.
inline std::uint8_t to8Bit(std::uint32_t sample16)
{
    return static_cast<std::uint8_t>((sample16 * 255u + 32767u) / 65535u);
}

// Fills `out` with row `y` of `image` as 8-bit samples, grey (1 per pixel) for
// grey sources and RGB (3 per pixel) otherwise, any alpha composited onto white.
void rowAs8BitOpaque(const DecodedImage& image, std::uint32_t y, std::uint8_t* out);

}  // namespace pictavo::imageio
