#pragma once

#include "imageio/Failure.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace pictavo::imageio {

class ImageSource;
struct DecodedImage;
struct GainMap;

// What the written image changes from the photo.
struct ImageChanges {
    // The upright image's long side at most this many pixels (scaled
    // down, its gain map with it, never enlarged); none: full size.
    std::optional<std::uint32_t> longSide;
    // No GPS in its EXIF, no GPS or place names in its XMP.
    bool removeLocation = false;
};

// One image file being written into a descriptor open for writing (which
// the caller owns, names and publishes; see OutputFile).
class ImageDestination {
public:
    enum class Encoding { jpeg, png };
    // Whether a JPEG carries the photo's HDR gain map (Ultra HDR) when it has
    // one; left out only to measure what it costs.
    enum class GainMaps { written, leftOut };
    // Will write one image as `encoding` into `file`, a JPEG at `quality` (a
    // fraction of full quality, 0..1), changed as `changes` says.
    ImageDestination(int file, Encoding encoding, double quality, ImageChanges changes = {},
                     GainMaps gainMaps = GainMaps::written);
    ~ImageDestination();
    ImageDestination(const ImageDestination&) = delete;
    ImageDestination& operator=(const ImageDestination&) = delete;

    // Decodes the primary image of `source` for this encoding, and for a
    // JPEG its HDR gain map; nothing is written yet. `source` must outlive
    // write(). Failure::unreadable when the image cannot be decoded.
    std::optional<Failure> decodeFrom(ImageSource& source);
    // Encodes the decoded image and writes it, once. What a failure wrote
    // stays in the file for its owner to drop.
    std::optional<Failure> write();

private:
    const int file_;
    const Encoding encoding_;
    const double quality_;
    const ImageChanges changes_;
    const GainMaps gainMaps_;
    std::unique_ptr<DecodedImage> image_;
    // The gain map, read and mapped before anything is written (its
    // decoder's memory is gone before the photo's bands are decoded); null
    // without one.
    std::unique_ptr<GainMap> gainMap_;
};

}  // namespace pictavo::imageio
