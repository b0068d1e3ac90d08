#include "imageio/ImageDestination.h"

#include "imageio/gainmap/GainMap.h"
#include "imageio/ImageSource.h"
#include "imageio/files/WriteAll.h"
#include "imageio/writing/JpegWriter.h"
#include "imageio/writing/PngWriter.h"
#include "imageio/writing/UltraHdrJpeg.h"

#include <unistd.h>


namespace pictavo::imageio {

struct ImageDestination::Impl {
    Encoding encoding = Encoding::jpeg;
    int file = -1;
    double quality = 0;
    std::unique_ptr<DecodedImage> image;
    // The gain map, read and mapped before anything is written (its
    // decoder's memory is gone before the photo's bands are decoded);
    // null without one.
    std::unique_ptr<GainMap> gainMap;
};

ImageDestination::ImageDestination(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ImageDestination::~ImageDestination() = default;

std::unique_ptr<ImageDestination> ImageDestination::create(int file, Encoding encoding, double quality)
{
    if (file < 0)
        return nullptr;
    try {
        auto impl = std::make_unique<Impl>();
        impl->encoding = encoding;
        impl->file = file;
        impl->quality = quality;
        return std::unique_ptr<ImageDestination>(new ImageDestination(std::move(impl)));
    } catch (...) {
        return nullptr;
    }
}

std::optional<Failure> ImageDestination::addImageFromSource(ImageSource& source)
{
    try {
        // The pixels arrive upright: any EXIF written says orientation 1.
        impl_->image = source.decode(impl_->encoding == Encoding::jpeg ? ImageSource::Purpose::jpegOutput
                                                                      : ImageSource::Purpose::anyOutput);
        if (!impl_->image)
            return Failure::unreadable;
        if (impl_->encoding == Encoding::jpeg && gainMapsWanted())
            impl_->gainMap = source.gainMap();
        return std::nullopt;
    } catch (...) {  // out of memory, say: the photo's failure, not the disk's
        impl_->image.reset();
        return Failure::unreadable;
    }
}

std::optional<Failure> ImageDestination::finalize()
{
    const std::unique_ptr<DecodedImage> image = std::move(impl_->image);
    if (!image)
        return Failure::writeFailed;
    const int fd = impl_->file;
    // Only the output's own writes failing is a failed write; anything else
    // that stops the encoder (a tile that would not decode, memory, a photo
    // larger than the format allows) is the photo's.
    bool outputFailed = false;
    const ByteSink sink = [fd, &outputFailed](const std::uint8_t* data, std::size_t size) {
        outputFailed = outputFailed || !writeAll(fd, data, size);
        return !outputFailed;
    };
    // The MPF index names the photo's size, known only once it is written.
    const BytePatcher patch = [fd, &outputFailed](std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
        outputFailed = outputFailed || ::pwrite(fd, data, size, static_cast<off_t>(offset)) != static_cast<ssize_t>(size);
        return !outputFailed;
    };
    bool written = false;
    try {
        if (impl_->encoding == Encoding::png)
            written = writePng(*image, sink);
        else if (impl_->gainMap)
            written = writeUltraHdrJpeg(*image, std::move(impl_->gainMap), impl_->quality, sink, patch);
        else
            written = writeJpeg(*image, impl_->quality, sink);
    } catch (...) {
    }
    if (written)
        return std::nullopt;
    return outputFailed ? Failure::writeFailed : Failure::unreadable;
}

}  // namespace pictavo::imageio
