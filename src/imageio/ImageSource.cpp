#include "imageio/ImageSource.h"

#include "imageio/gainmap/GainMap.h"
#include "imageio/gainmap/ToneMappedGainMap.h"
#include "imageio/heif/HeifColour.h"
#include "imageio/heif/AvcodecHevcDecoder.h"
#include "imageio/heif/HeifDecoding.h"
#include "imageio/heif/HeifFileReader.h"
#include "imageio/heif/HeifObjects.h"
#include "imageio/heif/ImageTransform.h"
#include "imageio/heif/ParallelHevcDecoder.h"
#include "imageio/pixels/LargeBuffers.h"

#include <libheif/heif.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <future>
#include <optional>
#include <system_error>

namespace pictavo::imageio {

struct ImageSource::Impl {
    std::unique_ptr<HeifFileContext> file;
    // None when the file names no primary image.
    std::optional<heif_item_id> primary;

    // The gain map being read on a thread of its own, with its own context
    // over the file (a context is not shared between threads). Last: a
    // future still running is awaited when it goes.
    std::optional<std::future<std::unique_ptr<GainMap>>> gainMapAhead;
    // The gain map of a PQ or HLG photo, made as it was tone-mapped.
    std::unique_ptr<GainMap> toneMappedGainMap;

    HeifHandlePtr handle() const
    {
        return primary ? imageHandle(file->context.get(), *primary) : nullptr;
    }
};

ImageSource::ImageSource(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ImageSource::~ImageSource() = default;

UniqueFd ImageSource::openFile(const std::filesystem::path& location)
{
    // Only regular files: libheif would report a folder only after trying to
    // read it, and opening a device can act on it. O_NONBLOCK: a FIFO put in
    // the file's place between the check and the open must not block.
    struct stat info{};
    if (::stat(location.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return UniqueFd();
    UniqueFd file(::open(location.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!file.valid() || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return UniqueFd();
    return file;
}

bool ImageSource::prepareDecoders()
{
    // Once, thread-safely, before any context exists (conversions run on worker threads).
    returnLargeBuffersToTheSystem();
    static const bool initialised = [] {
        if (heif_init(nullptr).code != heif_error_Ok)
            return false;
        registerParallelHevcDecoder();  // without it, gain maps decode on libheif's own decoder
        AvcodecHevcDecoder::prepare();  // without it, tiles decode on libheif's own decoder
        return true;
    }();
    return initialised;
}

Result<std::unique_ptr<ImageSource>> ImageSource::open(const std::filesystem::path& location)
{
    UniqueFd file = openFile(location);
    if (!file.valid())
        return Failure::unreadable;
    return open(std::move(file));
}

Result<std::unique_ptr<ImageSource>> ImageSource::open(UniqueFd file)
{
    if (!prepareDecoders())
        return Failure::unreadable;

    auto impl = std::make_unique<Impl>();
    impl->file = HeifFileContext::open(std::move(file));
    if (!impl->file)
        return Failure::unreadable;

    // The primary item wherever the file keeps it: a top-level image, or one
    // libheif does not count as top-level because it is also the thumbnail
    // of another image (a hidden one the reader has shown). libheif 1.19
    // reads no image sequence tracks, so a file with only a sequence has none.
    heif_item_id primary = 0;
    if (heif_context_get_primary_image_ID(impl->file->context.get(), &primary).code == heif_error_Ok)
        impl->primary = primary;
    return std::unique_ptr<ImageSource>(new ImageSource(std::move(impl)));
}

namespace {

// The gain map of image `id` of the file open as `file`, read on a thread of
// its own: it decodes alongside the photo's first tile, which leaves a core
// idle. What stops it reaches gainMap() through the future. Not started when
// no thread can be: gainMap() then reads it itself.
std::optional<std::future<std::unique_ptr<GainMap>>> readGainMapAhead(int file, heif_item_id id)
{
    UniqueFd own(::fcntl(file, F_DUPFD_CLOEXEC, 0));
    if (!own.valid())
        return std::nullopt;
    try {
        return std::async(std::launch::async, [own = std::move(own), id]() mutable -> std::unique_ptr<GainMap> {
            const std::unique_ptr<HeifFileContext> context = HeifFileContext::open(std::move(own));
            const HeifHandlePtr image = context ? imageHandle(context->context.get(), id) : nullptr;
            return image ? readGainMap(image.get()) : nullptr;
        });
    } catch (const std::system_error&) {
        return std::nullopt;
    }
}

}  // namespace

Result<std::unique_ptr<DecodedImage>> ImageSource::decode(Purpose purpose)
{
    std::shared_ptr<heif_image_handle> handle = impl_->handle();
    if (!handle)
        return Failure::unreadable;
    // A photo without a gain map of its own that is PQ or HLG gets one made
    // from its light as it is tone-mapped.
    std::optional<ToneMappedGainMap> madeGainMap;
    if (purpose == Purpose::jpegOutputWithGainMap && !impl_->gainMapAhead) {
        if (hasGainMap(handle.get()))
            impl_->gainMapAhead = readGainMapAhead(impl_->file->reader.descriptor(), *impl_->primary);
        else
            madeGainMap.emplace(declaredPeakNits(handle.get()));
    }
    std::unique_ptr<DecodedImage> decoded =
        purpose == Purpose::anyOutput
            ? decodeHeifImage(handle, impl_->file->reader.descriptor())
            : decodeHeifImageForJpeg(handle, impl_->file->reader.descriptor(), madeGainMap ? &*madeGainMap : nullptr);
    if (decoded && madeGainMap)
        impl_->toneMappedGainMap = madeGainMap->finish();
    if (!decoded)
        return Failure::unreadable;
    return decoded;
}

std::unique_ptr<GainMap> ImageSource::gainMap()
{
    // The gain map is an addition: whatever stops its reading, memory running
    // out included, costs the photo its HDR rendition only.
    try {
        if (impl_->toneMappedGainMap)
            return std::move(impl_->toneMappedGainMap);
        if (impl_->gainMapAhead) {
            std::future<std::unique_ptr<GainMap>> reading = std::move(*impl_->gainMapAhead);
            impl_->gainMapAhead.reset();
            return reading.get();
        }
        auto handle = impl_->handle();
        return handle ? readGainMap(handle.get()) : nullptr;
    } catch (...) {
        return nullptr;
    }
}

}  // namespace pictavo::imageio
