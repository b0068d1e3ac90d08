#include "imageio/pixels/PixelRows.h"

#include <cstring>

namespace pictavo::imageio {

namespace {

// Straight alpha over white, in the sample's own range, rounded.
inline std::uint32_t overWhite(std::uint64_t colour, std::uint64_t alpha, std::uint64_t maximum)
{
    return static_cast<std::uint32_t>((colour * alpha + maximum * (maximum - alpha) + maximum / 2) / maximum);
}

// Native-endian 16-bit sample `index` of a pixel, read without assuming alignment.
inline std::uint16_t sample16(const std::uint8_t* pixel, int index)
{
    std::uint16_t value;
    std::memcpy(&value, pixel + index * 2, 2);
    return value;
}

}  // namespace

void rowAs8BitOpaque(const DecodedImage& image, std::uint32_t y, std::uint8_t* out)
{
    const int channels = image.channels;
    const bool hasAlpha = channels == 2 || channels == 4;
    const int colours = hasAlpha ? channels - 1 : channels;
    const std::uint8_t* row = image.row(y);

    if (image.bitsPerSample == 8 && !hasAlpha) {
        std::memcpy(out, row, std::size_t(image.width) * channels);
        return;
    }
    if (image.bitsPerSample == 8) {
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const std::uint8_t* pixel = row + std::size_t(x) * channels;
            const std::uint8_t alpha = pixel[colours];
            for (int c = 0; c < colours; ++c)
                *out++ = static_cast<std::uint8_t>(overWhite(pixel[c], alpha, 255));
        }
        return;
    }
    for (std::uint32_t x = 0; x < image.width; ++x) {
        const std::uint8_t* pixel = row + std::size_t(x) * channels * 2;
        const std::uint32_t alpha = hasAlpha ? sample16(pixel, colours) : 65535;
        for (int c = 0; c < colours; ++c)
            *out++ = to8Bit(hasAlpha ? overWhite(sample16(pixel, c), alpha, 65535) : sample16(pixel, c));
    }
}

}  // namespace pictavo::imageio
