#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace pictavo::imageio {

struct PixelSize {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool operator==(const PixelSize&) const = default;
};

// `side` of a picture `from` pixels along the same axis, scaled to `to` of
// them: rounded to the nearest pixel, at least 1.
inline std::uint32_t scaledSide(std::uint32_t side, std::uint32_t from, std::uint32_t to)
{
    const double scaled = std::round(double(side) * double(to) / double(from));
    return static_cast<std::uint32_t>(std::clamp(scaled, 1.0, 4294967295.0));
}

// The size of `size` scaled uniformly so that its long side is `longSide`;
// none when it is no longer than that already (pictures are never enlarged).
inline std::optional<PixelSize> reducedSize(PixelSize size, std::uint32_t longSide)
{
    const std::uint32_t along = std::max(size.width, size.height);
    if (along <= longSide || longSide == 0)
        return std::nullopt;
    return size.width >= size.height ? PixelSize{longSide, scaledSide(size.height, along, longSide)}
                                     : PixelSize{scaledSide(size.width, along, longSide), longSide};
}

}  // namespace pictavo::imageio
