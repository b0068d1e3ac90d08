#include "imageio/ImageDestination.h"

#include "imageio/gainmap/GainMap.h"
#include "imageio/ImageSource.h"
#include "imageio/files/WriteAll.h"
#include "imageio/writing/JpegWriter.h"
#include "imageio/writing/PngWriter.h"
#include "imageio/writing/UltraHdrJpeg.h"

#include <unistd.h>


namespace pictavo::imageio {

ImageDestination::ImageDestination(int file, Encoding encoding, double quality, GainMaps gainMaps)
    : file_(file), encoding_(encoding), quality_(quality), gainMaps_(gainMaps)
{
}

ImageDestination::~ImageDestination() = default;

std::optional<Failure> ImageDestination::decodeFrom(ImageSource& source)
{
    const bool withGainMap = encoding_ == Encoding::jpeg && gainMaps_ == GainMaps::written;
    // The pixels arrive upright: any EXIF written says orientation 1.
    Result<std::unique_ptr<DecodedImage>> decoded =
        source.decode(encoding_ == Encoding::png ? ImageSource::Purpose::anyOutput
                      : withGainMap              ? ImageSource::Purpose::jpegOutputWithGainMap
                                                 : ImageSource::Purpose::jpegOutput);
    if (!decoded)
        return decoded.failure();
    image_ = std::move(*decoded);
    if (withGainMap)
        gainMap_ = source.gainMap();
    return std::nullopt;
}

std::optional<Failure> ImageDestination::write()
{
    const std::unique_ptr<DecodedImage> image = std::move(image_);
    if (!image)
        return Failure::unreadable;  // nothing was decoded
    const int fd = file_;
    const ByteSink sink = [fd](const std::uint8_t* data, std::size_t size) { return writeAll(fd, data, size); };
    // The MPF index names the photo's size, known only once it is written.
    const BytePatcher patch = [fd](std::uint64_t offset, const std::uint8_t* data, std::size_t size) {
        return ::pwrite(fd, data, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
    };
    if (encoding_ == Encoding::png)
        return writePng(*image, sink);
    if (gainMap_)
        return writeUltraHdrJpeg(*image, std::move(gainMap_), quality_, sink, patch);
    return writeJpeg(*image, quality_, sink);
}

}  // namespace pictavo::imageio
