#include "imageio/ImageDestination.h"

#include "imageio/gainmap/GainMap.h"
#include "imageio/ImageSource.h"
#include "imageio/heif/TiledYCbCrImage.h"
#include "imageio/writing/JpegWriter.h"
#include "imageio/writing/PngWriter.h"
#include "imageio/writing/UltraHdrJpeg.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace pictavo::imageio {

namespace {

// A developer's switch for measuring what the gain map costs: with
// PICTAVO_NO_GAIN_MAP set, JPEGs are written without it.
bool gainMapsWanted()
{
    const char* off = std::getenv("PICTAVO_NO_GAIN_MAP");
    return !off || !*off;
}

}  // namespace

struct ImageDestination::Impl {
    Encoding encoding = Encoding::jpeg;
    int file = -1;
    double quality = 0;
    std::unique_ptr<DecodedImage> image;
    // The gain map's JPEG, encoded as soon as it is read so that its pixels
    // are gone before the photo streams out; empty without one.
    std::vector<std::uint8_t> gainMapJpeg;
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
        if (impl_->encoding == Encoding::jpeg && gainMapsWanted()) {
            if (std::unique_ptr<GainMap> gainMap = source.gainMap())
                impl_->gainMapJpeg = gainMapJpeg(*gainMap, impl_->quality);
        }
        return std::nullopt;
    } catch (...) {
        impl_->image.reset();
        return Failure::writeFailed;
    }
}

std::optional<Failure> ImageDestination::finalize()
{
    const std::unique_ptr<DecodedImage> image = std::move(impl_->image);
    if (!image)
        return Failure::writeFailed;
    const int fd = impl_->file;
    const ByteSink sink = [fd](const std::uint8_t* data, std::size_t size) {
        while (size > 0) {
            const ssize_t written = ::write(fd, data, size);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return false;
            data += written;
            size -= static_cast<std::size_t>(written);
        }
        return true;
    };
    // The MPF index names the photo's size, known only once it is written.
    const BytePatcher patch = [fd](std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
        return ::pwrite(fd, data, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
    };
    bool written = false;
    try {
        if (impl_->encoding == Encoding::png)
            written = writePng(*image, sink);
        else if (impl_->gainMapJpeg.empty())
            written = writeJpeg(*image, impl_->quality, sink);
        else
            written = writeUltraHdrJpeg(*image, impl_->gainMapJpeg, impl_->quality, sink, patch);
    } catch (...) {
    }
    if (written)
        return std::nullopt;
    // A tiled photo decodes while it is written: a tile that would not
    // decode is the photo's fault, not the disk's.
    return image->tiles && image->tiles->tileFailed() ? Failure::unreadable : Failure::writeFailed;
}

}  // namespace pictavo::imageio
