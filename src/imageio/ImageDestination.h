#pragma once

#include "imageio/Failure.h"

#include <memory>
#include <optional>

namespace pictavo::imageio {

class ImageSource;
struct DecodedImage;
struct GainMap;

// One image file being written into a descriptor open for writing (which
// the caller owns, names and publishes; see OutputFile).
class ImageDestination {
public:
    enum class Encoding { jpeg, png };
    // Whether a JPEG carries the photo's HDR gain map (Ultra HDR) when it has
    // one; left out only to measure what it costs.
    enum class GainMaps { written, leftOut };

    // Will write one image as `encoding` into `file`, a JPEG at `quality` (a
    // fraction of full quality, 0..1).
    ImageDestination(int file, Encoding encoding, double quality, GainMaps gainMaps = GainMaps::written);
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
    const GainMaps gainMaps_;
    std::unique_ptr<DecodedImage> image_;
    // The gain map, read and mapped before anything is written (its
    // decoder's memory is gone before the photo's bands are decoded); null
    // without one.
    std::unique_ptr<GainMap> gainMap_;
};

}  // namespace pictavo::imageio
