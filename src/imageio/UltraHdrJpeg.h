#pragma once

#include "ByteSink.h"
#include "DecodedImage.h"
#include "GainMap.h"

#include <cstdint>
#include <functional>

namespace pictavo::imageio {

// Rewrites `size` bytes already sent to a sink, `offset` bytes from its first.
using BytePatcher = std::function<bool(std::uint64_t offset, const std::uint8_t* data, std::size_t size)>;

// Writes an Ultra HDR JPEG: `photo` exactly as writeJpeg() writes it, with
// the container directory and hdrgm:Version added to its XMP and two APP2
// segments (ISO 21496-1's version, the MPF index), then the gain map as a
// second JPEG (grey or colour as it is) carrying its metadata as hdrgm XMP and
// as ISO 21496-1's APP2 segment. The MPF index is written with room for the
// primary's size and patched once that is known. False on any failure.
bool writeUltraHdrJpeg(const DecodedImage& photo, const GainMap& gainMap, double quality, const ByteSink& sink,
                       const BytePatcher& patch);

}  // namespace pictavo::imageio
