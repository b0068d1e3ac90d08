#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <variant>

namespace pictavo::imageio {

// Image properties read from a source, and options handed to a destination:
// string keys mapped to a number or a text.
using PropertyValue = std::variant<std::int64_t, double, std::string>;
using Properties = std::map<std::string, PropertyValue, std::less<>>;

// JPEG quality as a fraction of full quality (double, 0..1).
inline constexpr std::string_view kLossyCompressionQuality = "LossyCompressionQuality";
// EXIF-style orientation (1..8, int64) of the image as stored in the source.
inline constexpr std::string_view kOrientation = "Orientation";
// Pixel size of the image as the source delivers it (upright), int64.
inline constexpr std::string_view kPixelWidth = "PixelWidth";
inline constexpr std::string_view kPixelHeight = "PixelHeight";

}  // namespace pictavo::imageio
