#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pictavo::imageio {

// How a gain map turns the photo into its HDR rendition (ISO 21496-1): per
// channel, log2 gain = min + (max − min) · e^(1/gamma) for a stored value e in
// 0..1, and HDR = (SDR + baseOffset) · 2^gain − alternateOffset in linear
// light. Headrooms are in stops (log2), as are min and max.
struct GainMapMetadata {
    bool multichannel = false;  // three sets of channel values instead of one
    bool useBaseColourSpace = true;
    double baseHeadroom = 0;
    double alternateHeadroom = 0;
    double min[3] = {0, 0, 0};
    double max[3] = {0, 0, 0};
    double gamma[3] = {1, 1, 1};
    double baseOffset[3] = {0, 0, 0};
    double alternateOffset[3] = {0, 0, 0};
};

// The ISO 21496-1 namespace that opens its JPEG APP2 segments, NUL included.
inline constexpr std::string_view kIsoGainMapNamespace{"urn:iso:std:iso:ts:21496:-1\0", 28};

// Reads the binary form (versions, flags, fractions), as a JPEG APP2 segment
// holds it after the namespace and a HEIF `tmap` item after its version
// byte. None when it is damaged, of a version not known, or out of range.
std::optional<GainMapMetadata> parseIsoGainMapMetadata(std::span<const std::uint8_t> payload);
// The binary form of `metadata`, every value a fraction over 1,000,000.
std::vector<std::uint8_t> isoGainMapMetadata(const GainMapMetadata& metadata);

// Reads the Ultra HDR `hdrgm` properties of an XMP packet (attributes or
// elements, one value for all channels); none when the packet is not XML or
// they are absent or damaged.
std::optional<GainMapMetadata> parseHdrgmXmp(std::string_view xmp);
// The gain map JPEG's own XMP packet: the hdrgm properties of `metadata`.
std::string hdrgmGainMapXmp(const GainMapMetadata& metadata);
// The photo's XMP with the Ultra HDR container directory (the primary, then a
// gain map of `gainMapLength` bytes) and hdrgm:Version added as a description
// of their own; a packet of only those when `xmp` is empty. None when `xmp`
// is not XML or has no rdf:RDF element, prefixed rdf, to add them to.
std::optional<std::string> primaryXmpWithGainMap(std::string_view xmp, std::size_t gainMapLength);

}  // namespace pictavo::imageio
