#pragma once

#include "DecodedImage.h"
#include "Properties.h"
#include "UniqueFd.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>

namespace pictavo::imageio {

// An opened HEIC/HEIF file. Image 0 is the file's primary image wherever the
// file keeps it (a top-level image, a hidden one, or one that is also another
// image's thumbnail); the other top-level images follow in file order.
struct GainMap;

class ImageSource {
public:
    // What decoded pixels are for: a JPEG can take a tiled photo's pixels
    // as they come out of its tiles (DecodedImage::tiles), and carry the
    // image's gain map, which is then read on a thread of its own while the
    // photo decodes (see gainMap()).
    enum class Purpose { anyOutput, jpegOutput };

    // Opens the file; nullptr when it cannot be read as a HEIF file.
    static std::unique_ptr<ImageSource> open(const std::filesystem::path& location);
    // Reads a file already open for reading, as above.
    static std::unique_ptr<ImageSource> open(UniqueFd file);
    // Opens a photo for reading with no side effect on it: only a regular
    // file (after symbolic links), never waiting on a FIFO put in its place.
    // Invalid when it cannot.
    static UniqueFd openFile(const std::filesystem::path& location);
    // Loads libheif's decoder plugins; open() does it on first use. A process
    // that gives up opening files calls it before.
    static bool prepareDecoders();
    ~ImageSource();
    ImageSource(const ImageSource&) = delete;
    ImageSource& operator=(const ImageSource&) = delete;

    // Number of images: the primary image and the other top-level images.
    std::size_t count() const;
    // Properties of one image (kOrientation, kPixelWidth, kPixelHeight), or none.
    std::optional<Properties> properties(std::size_t index) const;
    // Decodes one image; nullptr when its data cannot be decoded. The result
    // is kept, so a second call for the same index and purpose costs nothing.
    const DecodedImage* decode(std::size_t index, Purpose purpose = Purpose::anyOutput);
    // The HDR gain map of one image, ready to be written after it (see
    // readGainMap): the one read since the image was decoded for a JPEG,
    // else read now; nullptr when it has none that can be read.
    std::unique_ptr<GainMap> gainMap(std::size_t index);

    struct Impl;

private:
    explicit ImageSource(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace pictavo::imageio
