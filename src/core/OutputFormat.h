#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace pictavo {

// The image formats Pictavo can write, in the order the window offers them.
enum class OutputFormat { jpg, png };

inline constexpr std::array<OutputFormat, 2> allOutputFormats{OutputFormat::jpg, OutputFormat::png};

// Display name: "JPG" or "PNG". Also the format's identity in lists.
std::string rawValue(OutputFormat format);
// The inverse of rawValue: exact, case-sensitive match of the whole string.
std::optional<OutputFormat> outputFormatFromRawValue(std::string_view text);
// File extension, lower case, without the dot.
std::string ext(OutputFormat format);

}  // namespace pictavo
