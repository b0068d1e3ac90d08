#pragma once

#include "imageio/Result.h"
#include "imageio/pixels/DecodedImage.h"
#include "imageio/files/UniqueFd.h"

#include <filesystem>
#include <memory>

namespace pictavo::imageio {

// An opened HEIC/HEIF file, read for its primary image wherever the file
// keeps it (a top-level image, a hidden one, or one that is also another
// image's thumbnail).
struct GainMap;

class ImageSource {
public:
    // What decoded pixels are for: a JPEG can take a tiled photo's pixels
    // as they come out of its tiles (DecodedImage::tiles); one that carries
    // the image's gain map has it read on a thread of its own while the photo
    // decodes, or for a PQ or HLG photo without one, made from its light as
    // it is tone-mapped (see gainMap()).
    enum class Purpose { anyOutput, jpegOutput, jpegOutputWithGainMap };

    // Opens the file; Failure::unreadable when it cannot be read as a HEIF file.
    static Result<std::unique_ptr<ImageSource>> open(const std::filesystem::path& location);
    // Reads a file already open for reading, as above.
    static Result<std::unique_ptr<ImageSource>> open(UniqueFd file);
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

    // Decodes the primary image, upright; Failure::unreadable when its data
    // cannot be decoded. A tiled photo's pixels (DecodedImage::tiles or
    // rgbBands) are read from this source's file as they are written: write
    // them while the source lives.
    Result<std::unique_ptr<DecodedImage>> decode(Purpose purpose = Purpose::anyOutput);
    // The primary image's HDR gain map, ready to be written after it (see
    // readGainMap): the one read or made since the image was decoded for a
    // JPEG, else read now; nullptr when it has none that can be read.
    std::unique_ptr<GainMap> gainMap();

    struct Impl;

private:
    explicit ImageSource(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace pictavo::imageio
