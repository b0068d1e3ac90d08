#pragma once

#include "imageio/Properties.h"

#include <cstddef>
#include <memory>
#include <string_view>

namespace pictavo::imageio {

class ImageSource;

// One image file being written into a descriptor open for writing (which
// the caller owns, names and publishes; see OutputFile).
class ImageDestination {
public:
    // Prepares to write `count` images (only 1 is supported) of MIME type
    // `type` ("image/jpeg" or "image/png") into `file`. nullptr for an
    // unknown type or count.
    static std::unique_ptr<ImageDestination> create(int file, std::string_view type, std::size_t count);
    ~ImageDestination();
    ImageDestination(const ImageDestination&) = delete;
    ImageDestination& operator=(const ImageDestination&) = delete;

    // Queues image `index` of `source` for writing. Options: kLossyCompressionQuality
    // (JPEG quality fraction), kOrientation (orientation of the source image as stored).
    void addImageFromSource(ImageSource& source, std::size_t index, const Properties& options);
    // Encodes and writes the image. False on any failure; what was written
    // by then stays in the file for its owner to drop.
    bool finalize();

    struct Impl;

private:
    explicit ImageDestination(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace pictavo::imageio
