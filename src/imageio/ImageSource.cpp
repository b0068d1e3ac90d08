#include "imageio/ImageSource.h"

#include "imageio/GainMap.h"
#include "imageio/HeifDecoding.h"
#include "imageio/HeifFileReader.h"
#include "imageio/LargeBuffers.h"
#include "imageio/ParallelHevcDecoder.h"

#include <libheif/heif.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <future>
#include <iterator>
#include <map>
#include <vector>

namespace pictavo::imageio {

struct ImageSource::Impl {
    std::unique_ptr<HeifFileContext> file;
    // Index 0 is the primary image; the other top-level images follow in file order.
    std::vector<heif_item_id> images;
    // Decoded images by index and purpose; a null entry records a failed decode.
    std::map<std::pair<std::size_t, Purpose>, std::unique_ptr<DecodedImage>> decoded;
    // Gain maps being read by index, each on a thread of its own with its
    // own context over the file (a context is not shared between threads).
    // Last: a future still running is awaited when it goes.
    std::map<std::size_t, std::future<std::unique_ptr<GainMap>>> gainMapsAhead;

    struct HandleReleaser {
        void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
    };
    std::unique_ptr<heif_image_handle, HandleReleaser> handle(std::size_t index) const
    {
        if (index >= images.size())
            return nullptr;
        heif_image_handle* handle = nullptr;
        if (heif_context_get_image_handle(file->context.get(), images[index], &handle).code != heif_error_Ok)
            return nullptr;
        return std::unique_ptr<heif_image_handle, HandleReleaser>(handle);
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
        return true;
    }();
    return initialised;
}

std::unique_ptr<ImageSource> ImageSource::open(const std::filesystem::path& location)
{
    UniqueFd file = openFile(location);
    return file.valid() ? open(std::move(file)) : nullptr;
}

std::unique_ptr<ImageSource> ImageSource::open(UniqueFd file)
{
    if (!prepareDecoders())
        return nullptr;

    auto impl = std::make_unique<Impl>();
    impl->file = HeifFileContext::open(std::move(file));
    if (!impl->file)
        return nullptr;
    heif_context* context = impl->file->context.get();

    // Image 0 is the primary item wherever the file keeps it: a top-level
    // image, or one libheif does not count as top-level because it is also
    // the thumbnail of another image (a hidden one the reader has shown).
    // Top-level images exclude thumbnails and auxiliary images (alpha, depth,
    // gain maps); libheif 1.19 reads no image sequence tracks, so a file with
    // only a sequence has no primary image and counts 0.
    heif_item_id primary = 0;
    if (heif_context_get_primary_image_ID(context, &primary).code == heif_error_Ok) {
        const int count = heif_context_get_number_of_top_level_images(context);
        std::vector<heif_item_id> ids(std::max(count, 0));
        ids.resize(std::max(heif_context_get_list_of_top_level_image_IDs(context, ids.data(), count), 0));
        impl->images.push_back(primary);
        std::copy_if(ids.begin(), ids.end(), std::back_inserter(impl->images),
                     [primary](heif_item_id id) { return id != primary; });
    }
    return std::unique_ptr<ImageSource>(new ImageSource(std::move(impl)));
}

std::size_t ImageSource::count() const
{
    return impl_->images.size();
}

// Properties describe the image as decode() delivers it:
//  - kOrientation is the EXIF orientation (1..8) equivalent to the file's
//    HEIF transformations (irot, imir), 1 when it has none. It says how the
//    image is stored, not how to show the decoded pixels: decode() has already
//    applied those transformations, so a writer must not apply it again (and
//    writes orientation 1 into any EXIF it copies). The EXIF orientation tag
//    inside the HEIF file is ignored, as HEIF requires.
//  - kPixelWidth and kPixelHeight are the upright size (after rotation and
//    clean-aperture crop), the size of the decoded pixels.
std::optional<Properties> ImageSource::properties(std::size_t index) const
{
    auto handle = impl_->handle(index);
    if (!handle)
        return std::nullopt;
    Properties properties;
    properties.emplace(kOrientation,
                       std::int64_t(orientationFromTransformations(impl_->file->context.get(), impl_->images[index])));
    properties.emplace(kPixelWidth, std::int64_t(heif_image_handle_get_width(handle.get())));
    properties.emplace(kPixelHeight, std::int64_t(heif_image_handle_get_height(handle.get())));
    return properties;
}

namespace {

// The gain map of image `id` of the file open as `file`, read on a thread of
// its own: it decodes alongside the photo's first tile, which leaves a core
// idle. Not started when no thread can be.
std::optional<std::future<std::unique_ptr<GainMap>>> readGainMapAhead(int file, heif_item_id id)
{
    UniqueFd own(::fcntl(file, F_DUPFD_CLOEXEC, 0));
    if (!own.valid())
        return std::nullopt;
    try {
        return std::async(std::launch::async, [own = std::move(own), id]() mutable -> std::unique_ptr<GainMap> {
            try {
                std::unique_ptr<HeifFileContext> context = HeifFileContext::open(std::move(own));
                heif_image_handle* handle = nullptr;
                if (!context || heif_context_get_image_handle(context->context.get(), id, &handle).code != heif_error_Ok)
                    return nullptr;
                std::unique_ptr<heif_image_handle, ImageSource::Impl::HandleReleaser> image(handle);
                return readGainMap(image.get());
            } catch (...) {
                return nullptr;  // out of memory: the photo goes without its gain map
            }
        });
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace

const DecodedImage* ImageSource::decode(std::size_t index, Purpose purpose)
{
    const auto key = std::make_pair(index, purpose);
    if (auto cached = impl_->decoded.find(key); cached != impl_->decoded.end())
        return cached->second.get();
    std::shared_ptr<heif_image_handle> handle = impl_->handle(index);
    if (!handle)
        return nullptr;
    if (purpose == Purpose::jpegOutput && gainMapsWanted() && !impl_->gainMapsAhead.contains(index) &&
        hasGainMap(handle.get())) {
        if (auto ahead = readGainMapAhead(impl_->file->reader.descriptor(), impl_->images[index]))
            impl_->gainMapsAhead.emplace(index, std::move(*ahead));
    }
    auto [entry, inserted] = impl_->decoded.emplace(
        key, purpose == Purpose::jpegOutput ? decodeHeifImageForJpeg(handle, impl_->file->reader.descriptor())
                                            : decodeHeifImage(handle, impl_->file->reader.descriptor()));
    return entry->second.get();
}

std::unique_ptr<GainMap> ImageSource::gainMap(std::size_t index)
{
    try {
        if (auto ahead = impl_->gainMapsAhead.find(index); ahead != impl_->gainMapsAhead.end()) {
            std::future<std::unique_ptr<GainMap>> reading = std::move(ahead->second);
            impl_->gainMapsAhead.erase(ahead);
            return reading.get();
        }
        auto handle = impl_->handle(index);
        return handle ? readGainMap(handle.get()) : nullptr;
    } catch (...) {
        return nullptr;  // out of memory: the photo goes without its gain map
    }
}

}  // namespace pictavo::imageio
