#pragma once

#include "imageio/Failure.h"
#include "imageio/writing/ByteSink.h"
#include "imageio/pixels/DecodedImage.h"
#include "imageio/gainmap/GainMap.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace pictavo::imageio {

// Rewrites `size` bytes already sent to a sink, `offset` bytes from its first.
using BytePatcher = std::function<bool(std::uint64_t offset, const std::uint8_t* data, std::size_t size)>;

// Writes an Ultra HDR JPEG: `photo` exactly as writeJpeg() writes it, with
// the container directory and hdrgm:Version added to its XMP and two APP2
// segments (ISO 21496-1's version, the MPF index), then the gain map's JPEG.
// That is encoded first (its length goes in the photo's XMP) while the
// photo's first band decodes, and the gain map's pixels are let go before
// the photo streams out. The MPF index is written with room for the
// primary's size and patched once that is known. A gain map that cannot be
// encoded leaves the photo as writeJpeg() writes it. Fails as writeJpeg()
// does; Failure::writeFailed too when the patch is refused.
std::optional<Failure> writeUltraHdrJpeg(const DecodedImage& photo, std::unique_ptr<GainMap> gainMap, double quality,
                                         const ByteSink& sink, const BytePatcher& patch);

}  // namespace pictavo::imageio
