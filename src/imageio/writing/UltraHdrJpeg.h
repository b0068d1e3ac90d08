#pragma once

#include "imageio/writing/ByteSink.h"
#include "imageio/pixels/DecodedImage.h"
#include "imageio/gainmap/GainMap.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace pictavo::imageio {

// Rewrites `size` bytes already sent to a sink, `offset` bytes from its first.
using BytePatcher = std::function<bool(std::uint64_t offset, const std::uint8_t* data, std::size_t size)>;

// The gain map as the JPEG that follows the photo (grey or colour as it is),
// carrying its metadata as hdrgm XMP and as ISO 21496-1's APP2 segment;
// empty on failure.
std::vector<std::uint8_t> gainMapJpeg(const GainMap& gainMap, double quality);

// Writes an Ultra HDR JPEG: `photo` exactly as writeJpeg() writes it, with
// the container directory and hdrgm:Version added to its XMP and two APP2
// segments (ISO 21496-1's version, the MPF index), then `mapJpeg`. The MPF
// index is written with room for the primary's size and patched once that is
// known. False on any failure.
bool writeUltraHdrJpeg(const DecodedImage& photo, const std::vector<std::uint8_t>& mapJpeg, double quality,
                       const ByteSink& sink, const BytePatcher& patch);

}  // namespace pictavo::imageio
