#pragma once

#include <cstdint>

struct heif_context;

namespace pictavo::imageio {

// The largest image, in pixels, that Pictavo decodes: 2^28 = 16384 x 16384.
// Real photos reach 200 MP (12240 x 16320 from 200 MP phone sensors, about
// 100 MP from medium-format cameras); anything larger than 268 MP is treated
// as a hostile or broken file and refused before pixel memory is allocated.
inline constexpr std::uint64_t kMaxImagePixels = std::uint64_t(1) << 28;

// Whether `width` × `height` is a size Pictavo decodes: not empty, at most kMaxImagePixels.
inline constexpr bool isDecodableSize(std::int64_t width, std::int64_t height)
{
    return width > 0 && height > 0 && std::uint64_t(width) * std::uint64_t(height) <= kMaxImagePixels;
}

// Replaces libheif's global defaults on `context` (call before reading a file):
//  - image size capped at kMaxImagePixels (libheif's default is 1 GP, which lets
//    a file claiming 32768 x 32768 allocate gigabytes);
//  - one memory block may hold the largest image we accept as 16-bit RGBA
//    (2 GiB). libheif 1.19's default of 512 MiB rejects a 200 MP photo decoded
//    to interleaved RGB (600 MB);
//  - more items per file (8192 instead of 1000), so a 200 MP grid of small
//    tiles plus its thumbnail and metadata still opens.
// Every other limit keeps libheif's value.
void applySecurityLimits(heif_context* context);

}  // namespace pictavo::imageio
