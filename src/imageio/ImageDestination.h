#pragma once

#include "imageio/Failure.h"

#include <memory>
#include <optional>

namespace pictavo::imageio {

class ImageSource;

// One image file being written into a descriptor open for writing (which
// the caller owns, names and publishes; see OutputFile).
class ImageDestination {
public:
    enum class Encoding { jpeg, png };

    // Prepares to write one image as `encoding` into `file`, a JPEG at
    // `quality` (a fraction of full quality, 0..1). nullptr when `file` is
    // not a descriptor.
    static std::unique_ptr<ImageDestination> create(int file, Encoding encoding, double quality);
    ~ImageDestination();
    ImageDestination(const ImageDestination&) = delete;
    ImageDestination& operator=(const ImageDestination&) = delete;

    // Decodes the primary image of `source` for this encoding, and for a
    // JPEG its HDR gain map; nothing is written yet. `source` must outlive
    // finalize(). Failure::unreadable when the image cannot be decoded.
    std::optional<Failure> addImageFromSource(ImageSource& source);
    // Encodes and writes the image, once. What was written by a failure
    // stays in the file for its owner to drop.
    std::optional<Failure> finalize();

    struct Impl;

private:
    explicit ImageDestination(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace pictavo::imageio
