#include "imageio/ImageDestination.h"

#include "imageio/gainmap/GainMap.h"
#include "imageio/ImageSource.h"
#include "imageio/files/WriteAll.h"
#include "imageio/metadata/ExifEditor.h"
#include "imageio/metadata/XmpEditor.h"
#include "imageio/pixels/ResizedBands.h"
#include "imageio/pixels/ResizedImage.h"
#include "imageio/writing/JpegWriter.h"
#include "imageio/writing/PngWriter.h"
#include "imageio/writing/UltraHdrJpeg.h"

#include <unistd.h>


namespace pictavo::imageio {

ImageDestination::ImageDestination(int file, Encoding encoding, double quality, ImageChanges changes, GainMaps gainMaps)
    : file_(file), encoding_(encoding), quality_(quality), changes_(changes), gainMaps_(gainMaps)
{
}

namespace {

// `image` scaled to `size`: a tiled photo's YCbCr bands as they are read,
// anything else in memory at once. Null when they cannot be scaled.
std::unique_ptr<DecodedImage> resized(std::unique_ptr<DecodedImage> image, PixelSize size)
{
    if (!image->tiles) {
        image = withRowsInMemory(std::move(image));
        return image ? resizedImage(*image, size) : nullptr;
    }
    image->tiles = resizedBands(std::move(image->tiles), {image->width, image->height}, size);
    image->width = size.width;
    image->height = size.height;
    return image;
}

// The gain map scaled with a photo of `from` scaled to `to`, keeping its
// fraction of the photo's size so that it stays aligned; null when it cannot
// be. Whatever stops it, memory running out included, costs the photo its HDR
// rendition only.
std::unique_ptr<GainMap> scaledGainMap(std::unique_ptr<GainMap> gainMap, PixelSize from, PixelSize to)
{
    try {
        const DecodedImage& map = gainMap->image;
        std::unique_ptr<DecodedImage> scaled = resizedImage(
            map, {scaledSide(map.width, from.width, to.width), scaledSide(map.height, from.height, to.height)});
        if (!scaled)
            return nullptr;
        gainMap->image = std::move(*scaled);
        return gainMap;
    } catch (...) {
        return nullptr;
    }
}

void removeLocation(DecodedImage& image)
{
    if (!image.exif.empty())
        image.exif = exifWithoutLocation(image.exif);
    if (!image.xmp.empty())
        image.xmp = xmpWithoutLocation(image.xmp);
}

}  // namespace

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
    const PixelSize photo{image_->width, image_->height};
    const std::optional<PixelSize> size = changes_.longSide ? reducedSize(photo, *changes_.longSide) : std::nullopt;
    if (size && !(image_ = resized(std::move(image_), *size)))
        return Failure::unreadable;
    if (changes_.removeLocation)
        removeLocation(*image_);
    if (withGainMap)
        gainMap_ = source.gainMap();
    if (gainMap_ && size)
        gainMap_ = scaledGainMap(std::move(gainMap_), photo, *size);
    if (gainMap_ && changes_.removeLocation)
        removeLocation(gainMap_->image);
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
