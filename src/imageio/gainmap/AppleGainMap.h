#pragma once

#include "imageio/gainmap/UltraHdrMetadata.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace pictavo::imageio {

// Apple's HDR gain map: grey values g, stored with the Rec. 709 curve, that
// make the HDR rendition SDR × (1 + (headroom − 1) × g) in linear light.

// The linear headroom in the gain map's XMP (HDRGainMap:HDRGainMapHeadroom).
std::optional<double> appleHeadroomFromXmp(std::string_view gainMapXmp);
// The linear headroom from the photo's EXIF (a TIFF structure): 2^stops,
// stops from the Apple maker note's tags 33 and 48 (a missing 48 counts as
// 0). None without the maker note or tag 33, or when it gives no headroom.
std::optional<double> appleHeadroomFromMakerNote(std::span<const std::uint8_t> exif);

// ISO 21496-1 metadata that renders Apple's gain map, once re-encoded by
// appleToIsoGainTable, at full headroom: log-space gains from 0 to
// log2(headroom), no offsets, in the photo's own colour space.
GainMapMetadata appleGainMapMetadata(double headroom);
// Each stored Apple value to the stored ISO value of the same gain.
std::array<std::uint8_t, 256> appleToIsoGainTable(double headroom);

}  // namespace pictavo::imageio
