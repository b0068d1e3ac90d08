#include "ImageDestination.h"

#include "GainMap.h"
#include "ImageSource.h"
#include "JpegWriter.h"
#include "PngWriter.h"
#include "UltraHdrJpeg.h"

#include <unistd.h>

#include <cerrno>
#include <optional>

namespace pictavo::imageio {

namespace {

enum class Encoding { jpeg, png };

std::optional<Encoding> encodingFor(std::string_view type)
{
    if (type == "image/jpeg")
        return Encoding::jpeg;
    if (type == "image/png")
        return Encoding::png;
    return std::nullopt;
}

// JPEG quality when the options hold none.
constexpr double kDefaultQuality = 0.9;

double qualityFrom(const Properties& options)
{
    auto found = options.find(kLossyCompressionQuality);
    if (found == options.end())
        return kDefaultQuality;
    if (const double* value = std::get_if<double>(&found->second))
        return *value;
    if (const std::int64_t* value = std::get_if<std::int64_t>(&found->second))
        return static_cast<double>(*value);
    return kDefaultQuality;
}

}  // namespace

struct ImageDestination::Impl {
    Encoding encoding;
    int file = -1;
    std::optional<DecodedImage> image;
    // The gain map, read and mapped before anything is written (its
    // decoder's memory is gone before the photo's bands are decoded);
    // null without one.
    std::unique_ptr<GainMap> gainMap;
    double quality = kDefaultQuality;
    // Set when an image could not be added or more than one was added.
    bool failed = false;
};

ImageDestination::ImageDestination(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ImageDestination::~ImageDestination() = default;

std::unique_ptr<ImageDestination> ImageDestination::create(int file, std::string_view type, std::size_t count)
{
    try {
        std::optional<Encoding> encoding = encodingFor(type);
        if (!encoding || count != 1 || file < 0)
            return nullptr;
        auto impl = std::make_unique<Impl>();
        impl->encoding = *encoding;
        impl->file = file;
        return std::unique_ptr<ImageDestination>(new ImageDestination(std::move(impl)));
    } catch (...) {
        return nullptr;
    }
}

void ImageDestination::addImageFromSource(ImageSource& source, std::size_t index, const Properties& options)
{
    try {
        // The pixels arrive upright, so the source's orientation (kOrientation)
        // needs no pixel work here; any EXIF written says orientation 1.
        const DecodedImage* decoded =
            impl_->image ? nullptr
                         : source.decode(index, impl_->encoding == Encoding::jpeg ? ImageSource::Purpose::jpegOutput
                                                                                 : ImageSource::Purpose::anyOutput);
        if (!decoded) {
            impl_->failed = true;
            return;
        }
        impl_->image = *decoded;
        impl_->quality = qualityFrom(options);
        if (impl_->encoding == Encoding::jpeg && gainMapsWanted())
            impl_->gainMap = source.gainMap(index);
    } catch (...) {
        impl_->failed = true;
    }
}

bool ImageDestination::finalize()
{
    try {
        if (impl_->failed || !impl_->image)
            return false;
        impl_->failed = true;  // one finalize() per destination
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
        if (impl_->encoding == Encoding::png)
            return writePng(*impl_->image, sink);
        return impl_->gainMap
                   ? writeUltraHdrJpeg(*impl_->image, std::move(impl_->gainMap), impl_->quality, sink, patch)
                   : writeJpeg(*impl_->image, impl_->quality, sink);
    } catch (...) {
        return false;
    }
}

}  // namespace pictavo::imageio
