#pragma once

#include "imageio/DecodedImage.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace pictavo::imageio::test {

// A decoded image whose sample (x, y, channel) is given by `sample`; rows padded
// by `padding` bytes so that code relying on tight rows is caught.
inline DecodedImage syntheticImage(std::uint32_t width, std::uint32_t height, int channels, int bits,
                                   const std::function<std::uint32_t(std::uint32_t, std::uint32_t, int)>& sample,
                                   std::size_t padding = 3)
{
    const std::size_t bytes = bits / 8;
    const std::size_t stride = width * channels * bytes + padding;
    auto pixels = std::make_shared<std::vector<std::uint8_t>>(stride * height, 0xEE);
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                std::uint8_t* at = pixels->data() + y * stride + (x * channels + c) * bytes;
                if (bits == 8) {
                    *at = static_cast<std::uint8_t>(sample(x, y, c));
                } else {
                    const auto value = static_cast<std::uint16_t>(sample(x, y, c));
                    std::memcpy(at, &value, 2);
                }
            }
    DecodedImage image;
    image.width = width;
    image.height = height;
    image.channels = channels;
    image.bitsPerSample = bits;
    image.data = pixels->data();
    image.stride = stride;
    image.owner = pixels;
    return image;
}

// A smooth colour gradient, easy on a lossy encoder.
inline std::uint32_t gradient(std::uint32_t x, std::uint32_t y, int c)
{
    return (x * 2 + y + static_cast<std::uint32_t>(c) * 40) % 256;
}

// Collects what an encoder writes.
struct MemorySink {
    std::vector<std::uint8_t> bytes;
    auto sink()
    {
        return [this](const std::uint8_t* data, std::size_t size) {
            bytes.insert(bytes.end(), data, data + size);
            return true;
        };
    }
};

}  // namespace pictavo::imageio::test
