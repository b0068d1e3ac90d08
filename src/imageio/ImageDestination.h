#pragma once

#include "FileTimes.h"
#include "Properties.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string_view>

namespace pictavo::imageio {

class ImageSource;

// One image file being written. Nothing appears at the location until
// finalize() succeeds, and nothing that exists there is ever replaced.
class ImageDestination {
public:
    // Prepares to write `count` images (only 1 is supported) of MIME type
    // `type` ("image/jpeg" or "image/png") at `location`. nullptr when the
    // output cannot be created there (missing or unwritable folder, unknown type).
    static std::unique_ptr<ImageDestination> create(const std::filesystem::path& location,
                                                    std::string_view type, std::size_t count);
    // Discards everything that was not finalized.
    ~ImageDestination();
    ImageDestination(const ImageDestination&) = delete;
    ImageDestination& operator=(const ImageDestination&) = delete;

    // Queues image `index` of `source` for writing. Options: kLossyCompressionQuality
    // (JPEG quality fraction), kOrientation (orientation of the source image as stored).
    void addImageFromSource(ImageSource& source, std::size_t index, const Properties& options);
    // Access and modification times the file gets before it appears under its
    // name; kept only where the file system takes them.
    void setFileTimes(const FileTimes& times);
    // Encodes, writes and publishes the file under its name. False on any
    // failure, in which case no file is left behind.
    bool finalize();
    // After a failed finalize(): true when it failed because something had
    // taken the location meanwhile (the written file was not given the name).
    bool locationTaken() const;

    struct Impl;

private:
    explicit ImageDestination(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace pictavo::imageio
