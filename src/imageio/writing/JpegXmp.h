#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pictavo::imageio {

// XMP in a JPEG, in the standard layout for extended XMP. A packet that fits
// one APP1 segment is written whole. A larger one is split: the StandardXMP,
// a complete packet that fits one segment and names the rest in
// xmpNote:HasExtendedXMP, and the ExtendedXMP, a serialized XMP (no packet
// wrapper) holding the largest top-level properties, in as many segments as
// it needs. The GUID that ties them is the MD5 of the ExtendedXMP.
struct JpegXmp {
    std::string standard;  // empty when the XMP cannot be written validly
    std::string extended;  // empty when the standard packet holds everything
    std::string guid;      // 32 upper-case hex digits, with `extended`
};

// Splits `xmp` when it is larger than `maxStandardSize`. Moves whole
// top-level properties (child elements of rdf:Description) only; XMP that
// cannot be read that way, or whose standard part stays too large, gives
// nothing.
JpegXmp splitXmpForJpeg(std::string_view xmp, std::size_t maxStandardSize);

// The APP1 segment payloads (headers included) that carry `xmp` in a JPEG,
// in the order they are written; none when it cannot be written validly.
std::vector<std::vector<std::uint8_t>> jpegXmpSegments(std::span<const std::uint8_t> xmp);

// Signatures of the two kinds of XMP segment, each followed by a NUL.
inline constexpr std::string_view kStandardXmpSignature = "http://ns.adobe.com/xap/1.0/";
inline constexpr std::string_view kExtendedXmpSignature = "http://ns.adobe.com/xmp/extension/";

}  // namespace pictavo::imageio
