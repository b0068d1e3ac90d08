#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace pictavo::imageio {

// Scales `bits`-deep samples held in 16-bit words to 0..65535, rounding to nearest.
void expandTo16Bits(std::uint8_t* data, std::size_t stride, std::uint32_t width, std::uint32_t height, int channels,
                    int bits);

// Divides colour by alpha (last channel) in place; 8- or 16-bit samples.
void unpremultiply(std::uint8_t* data, std::size_t stride, std::uint32_t width, std::uint32_t height, int channels,
                   int bitsPerSample);

// One channel's samples in a plane of their own.
struct SamplePlane {
    const std::uint8_t* data = nullptr;
    std::size_t stride = 0;
    bool wide = false;      // 16-bit storage
    std::uint32_t max = 0;  // largest value of its range
};

// Interleaves the planes, one channel each, into `out` (rows `outStride`
// apart): each sample clamped to its plane's range and scaled to 0..65535 as
// native-endian words when `deep`, else to 0..255.
void interleavePlanes(std::span<const SamplePlane> planes, std::uint32_t width, std::uint32_t height, bool deep,
                      std::uint8_t* out, std::size_t outStride);

}  // namespace pictavo::imageio
