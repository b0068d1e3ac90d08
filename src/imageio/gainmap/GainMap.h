#pragma once

#include "imageio/pixels/DecodedImage.h"
#include "imageio/gainmap/UltraHdrMetadata.h"

#include <cstdint>
#include <memory>
#include <vector>

#include <libheif/heif.h>

namespace pictavo::imageio {

// A photo's HDR gain map, ready to be written after it: 8-bit grey or RGB
// pixels at the gain map's resolution, turned, mirrored and cropped as the
// photo is, in ISO 21496-1's log-space encoding.
struct GainMap {
    DecodedImage image;
    GainMapMetadata metadata;
    // The ISO 21496-1 metadata as the file stores it (a `tmap` item's
    // payload after its version byte), carried as it is; empty when it is
    // written from `metadata`.
    std::vector<std::uint8_t> isoPayload;
};

// The gain map of `primary`, of whichever kind it has: an ISO 21496-1 `tmap`
// item naming the primary as its base (preferred), Samsung's auxiliary image
// with hdrgm XMP, or Apple's auxiliary image (re-encoded to log space, its
// headroom from its XMP or the photo's maker note). nullptr when it has none,
// or when the gain map cannot be read, decoded or mapped onto the photo.
std::unique_ptr<GainMap> readGainMap(const heif_image_handle* primary);
// True when `primary` names a gain map readGainMap() would read, judged from
// the file's structure and metadata without decoding anything.
bool hasGainMap(const heif_image_handle* primary);

inline constexpr const char* kAppleGainMapType = "urn:com:apple:photo:2020:aux:hdrgainmap";
inline constexpr const char* kSamsungGainMapType = "urn:com:samsung:photo:2024:aux:hdrgainmap";

}  // namespace pictavo::imageio
