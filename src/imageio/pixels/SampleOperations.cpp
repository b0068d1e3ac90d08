#include "imageio/pixels/SampleOperations.h"

#include <algorithm>
#include <cstring>
#include <type_traits>
#include <vector>

namespace pictavo::imageio {

void expandTo16Bits(std::uint8_t* data, std::size_t stride, std::uint32_t width, std::uint32_t height, int channels,
                    int bits)
{
    if (bits >= 16 || bits <= 0)
        return;
    const std::uint32_t maxIn = (1u << bits) - 1;
    std::vector<std::uint16_t> table(maxIn + 1);
    for (std::uint32_t v = 0; v <= maxIn; ++v)
        table[v] = static_cast<std::uint16_t>((v * 65535u + maxIn / 2) / maxIn);
    for (std::uint32_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint16_t*>(data + std::size_t(y) * stride);
        for (std::size_t i = 0; i < std::size_t(width) * channels; ++i)
            row[i] = table[std::min<std::uint32_t>(row[i], maxIn)];
    }
}

void unpremultiply(std::uint8_t* data, std::size_t stride, std::uint32_t width, std::uint32_t height, int channels,
                   int bitsPerSample)
{
    auto run = [&](auto* sample, std::uint32_t maxValue) {
        for (std::uint32_t x = 0; x < width; ++x, sample += channels) {
            const std::uint32_t alpha = sample[channels - 1];
            for (int c = 0; c < channels - 1; ++c) {
                const std::uint32_t value =
                    alpha == 0 ? 0 : std::min<std::uint32_t>((sample[c] * maxValue + alpha / 2) / alpha, maxValue);
                sample[c] = static_cast<std::remove_reference_t<decltype(sample[c])>>(value);
            }
        }
    };
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = data + std::size_t(y) * stride;
        if (bitsPerSample == 16)
            run(reinterpret_cast<std::uint16_t*>(row), 65535u);
        else
            run(row, 255u);
    }
}

namespace {

std::uint32_t sampleAt(const SamplePlane& plane, std::uint32_t x, std::uint32_t y)
{
    const std::uint8_t* row = plane.data + std::size_t(y) * plane.stride;
    if (!plane.wide)
        return std::min<std::uint32_t>(row[x], plane.max);
    std::uint16_t word;
    std::memcpy(&word, row + std::size_t(x) * 2, 2);
    return std::min<std::uint32_t>(word, plane.max);
}

}  // namespace

void interleavePlanes(std::span<const SamplePlane> planes, std::uint32_t width, std::uint32_t height, bool deep,
                      std::uint8_t* out, std::size_t outStride)
{
    const std::uint32_t outMax = deep ? 65535u : 255u;
    const std::size_t channels = planes.size();
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = out + y * outStride;
        for (std::uint32_t x = 0; x < width; ++x) {
            for (std::size_t c = 0; c < channels; ++c) {
                const SamplePlane& plane = planes[c];
                const std::uint32_t v = sampleAt(plane, x, y);
                const std::uint32_t scaled = plane.max == outMax ? v : (v * outMax + plane.max / 2) / plane.max;
                if (deep) {
                    const std::uint16_t word = static_cast<std::uint16_t>(scaled);
                    std::memcpy(row + (channels * x + c) * 2, &word, 2);
                } else {
                    row[channels * x + c] = static_cast<std::uint8_t>(scaled);
                }
            }
        }
    }
}

}  // namespace pictavo::imageio
