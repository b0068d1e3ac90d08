#include "TiledYCbCrImage.h"

#include "HeifDecoding.h"
#include "HeifFileReader.h"
#include "SecurityLimits.h"

#include <fcntl.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace pictavo::imageio {

namespace {

// Bands being decoded or read at once: the one the reader holds and two ahead,
// enough to keep every core busy while the reader encodes.
constexpr std::uint32_t kBandsInFlight = 3;

std::uint32_t paddedWidth(std::uint32_t width)
{
    return (width + 15) / 16 * 16;
}

// The tile at `column`, `row` of the stored grid, as stored: libheif would
// otherwise count tiles in the turned grid and turn each one itself.
std::shared_ptr<heif_image> decodeTile(const heif_image_handle* handle, std::uint32_t column, std::uint32_t row)
{
    std::unique_ptr<heif_decoding_options, void (*)(heif_decoding_options*)> options(heif_decoding_options_alloc(),
                                                                                     heif_decoding_options_free);
    if (!options)
        return nullptr;
    options->ignore_transformations = 1;
    keepStoredColours(options.get());
    heif_image* tile = nullptr;
    if (heif_image_handle_decode_image_tile(handle, &tile, heif_colorspace_YCbCr, heif_chroma_420, options.get(),
                                            column, row)
                .code != heif_error_Ok ||
        !tile)
        return nullptr;
    return std::shared_ptr<heif_image>(tile, heif_image_release);
}

// The image as one decoding thread sees it. libheif 1.19 writes the text of
// every result into the image item it came from, so two threads decoding
// tiles through one handle write one buffer at once; each thread reads the
// file into a context of its own instead.
struct ThreadImage {
    std::unique_ptr<HeifFileContext> file;
    std::shared_ptr<heif_image_handle> handle;
};

// Image `id` of the file open as `file`, read again; nullptr when it no longer
// reads, or memory ran out (a decoding thread must not throw).
std::unique_ptr<ThreadImage> openThreadImage(int file, heif_item_id id) noexcept
{
    try {
        auto image = std::make_unique<ThreadImage>();
        image->file = HeifFileContext::open(UniqueFd(::fcntl(file, F_DUPFD_CLOEXEC, 0)));
        heif_image_handle* handle = nullptr;
        if (!image->file ||
            heif_context_get_image_handle(image->file->context.get(), id, &handle).code != heif_error_Ok || !handle)
            return nullptr;
        image->handle.reset(handle, heif_image_handle_release);
        return image;
    } catch (...) {
        return nullptr;
    }
}

// Copies `rows` × `columns` samples to `target`, reading the source `across`
// bytes apart along a row and `down` bytes apart from row to row (negative,
// or a whole stride, for a turned or mirrored tile). A turned tile is read in
// small squares, which stay in the cache.
void copyTurned(const std::uint8_t* source, std::ptrdiff_t across, std::ptrdiff_t down, std::uint8_t* target,
                std::size_t targetStride, std::uint32_t columns, std::uint32_t rows)
{
    if (across == 1) {
        for (std::uint32_t y = 0; y < rows; ++y)
            std::memcpy(target + y * targetStride, source + y * down, columns);
        return;
    }
    constexpr std::uint32_t kSquare = 32;
    for (std::uint32_t top = 0; top < rows; top += kSquare) {
        for (std::uint32_t left = 0; left < columns; left += kSquare) {
            const std::uint32_t right = std::min(left + kSquare, columns);
            for (std::uint32_t y = top; y < std::min(top + kSquare, rows); ++y) {
                const std::uint8_t* in = source + std::ptrdiff_t(y) * down + std::ptrdiff_t(left) * across;
                std::uint8_t* out = target + y * targetStride;
                for (std::uint32_t x = left; x < right; ++x, in += across)
                    out[x] = *in;
            }
        }
    }
}

// JPEG's YCbCr is BT.601 at full range. libheif shows an unspecified matrix
// as BT.601 too, so such pixels are the same either way.
bool isJpegMatrix(const heif_color_profile_nclx& nclx)
{
    return nclx.full_range_flag && (nclx.matrix_coefficients == heif_matrix_coefficients_ITU_R_BT_601_6 ||
                                    nclx.matrix_coefficients == heif_matrix_coefficients_ITU_R_BT_470_6_System_B_G ||
                                    nclx.matrix_coefficients == heif_matrix_coefficients_unspecified);
}

// True when every tile of the grid is an image item. libheif 1.19 reports a
// tile that is not when it decodes the whole grid, but dereferences null when
// asked for that tile alone.
bool everyTileIsAnImage(const heif_image_handle* grid, std::uint32_t columns, std::uint32_t rows)
{
    std::unique_ptr<heif_context, void (*)(heif_context*)> context(heif_image_handle_get_context(grid),
                                                                   heif_context_free);
    if (!context)
        return false;
    for (std::uint32_t row = 0; row < rows; ++row) {
        for (std::uint32_t column = 0; column < columns; ++column) {
            heif_item_id id = 0;
            heif_image_handle* tile = nullptr;
            if (heif_image_handle_get_grid_image_tile_id(grid, 0, column, row, &id).code != heif_error_Ok ||
                heif_context_get_image_handle(context.get(), id, &tile).code != heif_error_Ok || !tile)
                return false;
            heif_image_handle_release(tile);
        }
    }
    return true;
}

// True when the decoded tile holds 8-bit 4:2:0 samples in JPEG's YCbCr.
bool isJpegYCbCr(const heif_image* tile)
{
    if (heif_image_get_chroma_format(tile) != heif_chroma_420)
        return false;
    for (heif_channel channel : {heif_channel_Y, heif_channel_Cb, heif_channel_Cr})
        if (heif_image_get_bits_per_pixel_range(tile, channel) != 8 || heif_image_get_bits_per_pixel(tile, channel) != 8)
            return false;
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_get_nclx_color_profile(tile, &nclx).code != heif_error_Ok || !nclx)
        return false;
    const bool jpegMatrix = isJpegMatrix(*nclx);
    heif_nclx_color_profile_free(nclx);
    return jpegMatrix;
}

}  // namespace

std::vector<TiledYCbCrImage::Span> TiledYCbCrImage::spans(int step, std::int64_t offset, std::uint32_t length,
                                                          std::uint32_t tileSize)
{
    std::vector<Span> result;
    for (std::uint32_t i = 0; i < length;) {
        const std::int64_t stored = step * std::int64_t(i) + offset;
        if (stored < 0)
            return {};
        const std::int64_t tile = stored / tileSize;
        // Shown samples left in this tile: up to its end, or back to its start.
        const std::int64_t left = step > 0 ? (tile + 1) * tileSize - stored : stored - tile * tileSize + 1;
        const auto end = static_cast<std::uint32_t>(std::min<std::int64_t>(length, i + left));
        result.push_back({static_cast<std::uint32_t>(tile), i, end});
        i = end;
    }
    return result;
}

std::shared_ptr<TiledYCbCrImage> TiledYCbCrImage::open(std::shared_ptr<heif_image_handle> handle, int file,
                                                       WhenTurnedWhole whenTurnedWhole)
{
    if (!handle || heif_image_handle_has_alpha_channel(handle.get()) ||
        heif_image_handle_get_luma_bits_per_pixel(handle.get()) != 8 ||
        heif_image_handle_get_chroma_bits_per_pixel(handle.get()) != 8)
        return nullptr;
    heif_colorspace space = heif_colorspace_undefined;
    heif_chroma chroma = heif_chroma_undefined;
    heif_image_tiling t{};
    if (heif_image_handle_get_preferred_decoding_colorspace(handle.get(), &space, &chroma).code != heif_error_Ok ||
        space != heif_colorspace_YCbCr || chroma != heif_chroma_420 ||
        heif_image_handle_get_image_tiling(handle.get(), 0, &t).code != heif_error_Ok ||
        std::uint64_t(t.num_columns) * t.num_rows < 2)
        return nullptr;
    const std::uint64_t width = std::max(heif_image_handle_get_width(handle.get()), 0);
    const std::uint64_t height = std::max(heif_image_handle_get_height(handle.get()), 0);
    if (width == 0 || height == 0 || width * height > kMaxImagePixels)
        return nullptr;

    heif_color_profile_nclx* declared = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle.get(), &declared).code == heif_error_Ok && declared) {
        const bool jpegMatrix = isJpegMatrix(*declared);
        heif_nclx_color_profile_free(declared);
        if (!jpegMatrix)
            return nullptr;
    }

    std::shared_ptr<TiledYCbCrImage> image(new TiledYCbCrImage);
    const std::optional<ImageTransform> transform = ImageTransform::of(handle.get(), t.image_width, t.image_height);
    // Tiles of an even size keep chroma in step with luma wherever they land.
    if (transform && (transform->isIdentity() || transform->keeps420Blocks()) && transform->width == width &&
        transform->height == height && t.tile_width > 0 && t.tile_width % 2 == 0 && t.tile_height > 0 &&
        t.tile_height % 2 == 0 && !t.number_of_extra_dimensions &&
        std::uint64_t(t.num_columns) * t.tile_width >= t.image_width &&
        std::uint64_t(t.num_rows) * t.tile_height >= t.image_height &&
        everyTileIsAnImage(handle.get(), t.num_columns, t.num_rows)) {
        const ImageTransform& m = *transform;
        const bool turned = m.swapsAxes();
        image->transform_ = m;
        image->width_ = m.width;
        image->height_ = m.height;
        image->tileWidth_ = t.tile_width;
        image->tileHeight_ = t.tile_height;
        image->bands_ = spans(turned ? m.xy : m.yy, turned ? m.x0 : m.y0, m.height, turned ? t.tile_width : t.tile_height);
        image->columns_ = spans(turned ? m.yx : m.xx, turned ? m.y0 : m.x0, m.width, turned ? t.tile_height : t.tile_width);
        const std::uint32_t storedColumns = turned ? t.num_rows : t.num_columns;
        const std::uint32_t storedRows = turned ? t.num_columns : t.num_rows;
        if (image->bands_.empty() || image->columns_.empty() ||
            std::ranges::any_of(image->bands_, [&](const Span& s) { return s.tile >= storedRows; }) ||
            std::ranges::any_of(image->columns_, [&](const Span& s) { return s.tile >= storedColumns; }))
            return nullptr;
        image->file_ = UniqueFd(::fcntl(file, F_DUPFD_CLOEXEC, 0));
        if (!image->file_.valid())
            return nullptr;
        const TileAt first = image->storedTile(0, 0);
        image->firstTile_ = decodeTile(handle.get(), first.column, first.row);
    } else if (whenTurnedWhole == WhenTurnedWhole::refuse) {
        return nullptr;
    } else {
        // libheif turns, mirrors and crops the whole image, which is then
        // read as one band, in half the memory of RGB.
        std::unique_ptr<heif_decoding_options, void (*)(heif_decoding_options*)> options(
            heif_decoding_options_alloc(), heif_decoding_options_free);
        if (!options)
            return nullptr;
        keepStoredColours(options.get());
        heif_image* whole = nullptr;
        if (heif_decode_image(handle.get(), &whole, heif_colorspace_YCbCr, heif_chroma_420, options.get()).code ==
                heif_error_Ok &&
            whole)
            image->firstTile_.reset(whole, heif_image_release);
        // The size libheif gives after turning and cropping is the one to write.
        if (!image->firstTile_)
            return nullptr;
        image->width_ = static_cast<std::uint32_t>(std::max(heif_image_get_primary_width(whole), 0));
        image->height_ = static_cast<std::uint32_t>(std::max(heif_image_get_primary_height(whole), 0));
        if (image->width_ == 0 || image->height_ == 0)
            return nullptr;
        image->tileWidth_ = image->width_;
        image->tileHeight_ = image->height_;
        image->bands_ = {{0, 0, image->height_}};
        image->columns_ = {{0, 0, image->width_}};
    }
    if (!image->firstTile_ || !isJpegYCbCr(image->firstTile_.get()))
        return nullptr;
    image->handle_ = std::move(handle);
    return image;
}

TiledYCbCrImage::TileAt TiledYCbCrImage::storedTile(std::size_t band, std::size_t column) const
{
    const std::uint32_t across = columns_[column].tile, down = bands_[band].tile;
    return transform_.swapsAxes() ? TileAt{down, across} : TileAt{across, down};
}

struct TiledYCbCrImage::BandReader::State {
    struct Band {
        std::unique_ptr<std::uint8_t[]> y, cb, cr;
        std::uint32_t tilesDone = 0;
    };

    State(const TiledYCbCrImage& image, std::uint32_t bandsInFlight)
        : image(image), bandsInFlight(bandsInFlight), item(heif_image_handle_get_item_id(image.handle_.get())), yStride(paddedWidth(image.width_)),
          chromaStride(yStride / 2), bands(image.bands_.size()),
          tilesPerBand(static_cast<std::uint32_t>(image.columns_.size()))
    {
    }

    std::uint32_t rowsOfBand(std::size_t band) const { return image.bands_[band].end - image.bands_[band].begin; }

    Band& allocateBand(std::size_t index)
    {
        const std::uint32_t rows = rowsOfBand(index);
        auto band = std::make_unique<Band>();
        band->y = std::make_unique_for_overwrite<std::uint8_t[]>(yStride * rows);
        band->cb = std::make_unique_for_overwrite<std::uint8_t[]>(chromaStride * ((rows + 1) / 2));
        band->cr = std::make_unique_for_overwrite<std::uint8_t[]>(chromaStride * ((rows + 1) / 2));
        bands[index] = std::move(band);
        return *bands[index];
    }

    // Copies the part of `tile` that shows in band `index` at `column` into
    // the band, turned and mirrored as the image is; the image's last column
    // is repeated into the padding. False when the tile is not what the first
    // one promised.
    bool copyTile(const heif_image* tile, Band& band, std::size_t index, std::size_t column) const
    {
        if (!isJpegYCbCr(tile))
            return false;
        const Span& down = image.bands_[index];
        const Span& across = image.columns_[column];
        const TileAt at = image.storedTile(index, column);
        const ImageTransform& m = image.transform_;
        struct Plane {
            heif_channel channel;
            std::uint8_t* target;
            std::size_t stride;
            int shift;  // log2 of the subsampling
        };
        const Plane planes[3] = {
            {heif_channel_Y, band.y.get(), yStride, 0},
            {heif_channel_Cb, band.cb.get(), chromaStride, 1},
            {heif_channel_Cr, band.cr.get(), chromaStride, 1},
        };
        for (const Plane& plane : planes) {
            auto scaled = [&](std::int64_t v) { return (v + (1 << plane.shift) - 1) >> plane.shift; };
            const std::int64_t left = across.begin >> plane.shift, right = scaled(across.end);
            const std::int64_t top = down.begin >> plane.shift, bottom = scaled(down.end);
            // Where the shown (x, y) of this plane lies in the tile. A chroma
            // sample stands for a 2×2 block, stored from its smallest corner.
            const std::int64_t x0 = (plane.shift ? (m.x0 + std::min(m.xx, 0) + std::min(m.xy, 0)) >> 1 : m.x0) -
                                    (std::int64_t(at.column) * image.tileWidth_ >> plane.shift);
            const std::int64_t y0 = (plane.shift ? (m.y0 + std::min(m.yx, 0) + std::min(m.yy, 0)) >> 1 : m.y0) -
                                    (std::int64_t(at.row) * image.tileHeight_ >> plane.shift);
            auto tileX = [&](std::int64_t x, std::int64_t y) { return m.xx * x + m.xy * y + x0; };
            auto tileY = [&](std::int64_t x, std::int64_t y) { return m.yx * x + m.yy * y + y0; };
            int sourceStride = 0;
            const std::uint8_t* source = heif_image_get_plane_readonly(tile, plane.channel, &sourceStride);
            const int sourceWidth = heif_image_get_width(tile, plane.channel);
            const int sourceHeight = heif_image_get_height(tile, plane.channel);
            if (!source || sourceStride <= 0)
                return false;
            // The map is linear: the corners bound what is read.
            for (std::int64_t x : {left, right - 1})
                for (std::int64_t y : {top, bottom - 1})
                    if (tileX(x, y) < 0 || tileX(x, y) >= sourceWidth || tileY(x, y) < 0 || tileY(x, y) >= sourceHeight)
                        return false;
            std::uint8_t* target = plane.target + std::size_t(left);
            copyTurned(source + tileY(left, top) * sourceStride + tileX(left, top), m.xx + m.yx * sourceStride,
                       m.xy + m.yy * sourceStride, target, plane.stride, std::uint32_t(right - left),
                       std::uint32_t(bottom - top));
            if (across.end == image.width_) {
                for (std::int64_t y = 0; y < bottom - top; ++y) {
                    std::uint8_t* row = plane.target + std::size_t(y) * plane.stride;
                    std::memset(row + right, row[right - 1], plane.stride - std::size_t(right));
                }
            }
        }
        return true;
    }

    std::shared_ptr<heif_image> decode(const heif_image_handle* handle, std::size_t index, std::size_t column) const
    {
        const TileAt at = image.storedTile(index, column);
        return decodeTile(handle, at.column, at.row);
    }

    // Decodes the tiles of one band on the calling thread (when no worker
    // thread could be started).
    bool decodeBandHere(std::size_t index)
    {
        Band& band = bands[index] ? *bands[index] : allocateBand(index);
        for (std::uint32_t column = band.tilesDone; column < tilesPerBand; ++column) {
            std::shared_ptr<heif_image> decoded = decode(image.handle_.get(), index, column);
            if (!decoded || !copyTile(decoded.get(), band, index, column))
                return false;
            ++band.tilesDone;
        }
        return true;
    }

    void decodeTiles()
    {
        const std::size_t total = bands.size() * tilesPerBand;
        std::unique_ptr<ThreadImage> own;  // opened at this thread's first tile
        for (;;) {
            std::size_t tile = 0;
            Band* band = nullptr;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] {
                    return stopping || failed || nextTile >= total ||
                           nextTile / tilesPerBand < bandsReleased + bandsInFlight;
                });
                if (stopping || failed || nextTile >= total)
                    return;
                tile = nextTile++;
                try {
                    band = bands[tile / tilesPerBand] ? bands[tile / tilesPerBand].get()
                                                      : &allocateBand(tile / tilesPerBand);
                } catch (...) {
                    fail();
                    return;
                }
            }
            if (!own)
                own = openThreadImage(image.file_.get(), item);
            const std::size_t index = tile / tilesPerBand, column = tile % tilesPerBand;
            std::shared_ptr<heif_image> decoded = own ? decode(own->handle.get(), index, column) : nullptr;
            const bool copied = decoded && copyTile(decoded.get(), *band, index, column);
            std::lock_guard lock(mutex);
            if (!copied)
                fail();
            else
                ++band->tilesDone;
            changed.notify_all();
        }
    }

    void fail()
    {
        failed = true;
        image.tileFailed_ = true;
        changed.notify_all();
    }

    const TiledYCbCrImage& image;
    std::uint32_t bandsInFlight;
    const heif_item_id item;
    const std::size_t yStride;
    const std::size_t chromaStride;
    std::vector<std::unique_ptr<Band>> bands;
    const std::uint32_t tilesPerBand;
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t nextTile = 1;  // in reading order; tile 0 was decoded by open()
    std::size_t bandsReturned = 0;
    std::size_t bandsReleased = 0;
    bool failed = false;
    bool stopping = false;
    YCbCrBand current;
    // Last, so that they are joined before anything they use goes.
    std::vector<std::jthread> workers;
};

TiledYCbCrImage::BandReader::BandReader(const TiledYCbCrImage& image, Ahead ahead)
    : state_(std::make_unique<State>(image, ahead == Ahead::firstBand ? 1 : kBandsInFlight))
{
    if (!state_->copyTile(image.firstTile_.get(), state_->allocateBand(0), 0, 0)) {
        state_->fail();
        return;
    }
    state_->bands[0]->tilesDone = 1;
    const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 0; i < threads; ++i) {
        try {
            state_->workers.emplace_back([state = state_.get()] { state->decodeTiles(); });
        } catch (...) {
            break;  // fewer threads; with none at all, next() decodes each band itself
        }
    }
}

void TiledYCbCrImage::BandReader::widen()
{
    std::lock_guard lock(state_->mutex);
    state_->bandsInFlight = kBandsInFlight;
    state_->changed.notify_all();
}

TiledYCbCrImage::BandReader::~BandReader()
{
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        state_->changed.notify_all();
    }
    state_->workers.clear();
}

const YCbCrBand* TiledYCbCrImage::BandReader::next()
{
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    if (s.bandsReturned > 0) {
        s.bands[s.bandsReturned - 1].reset();
        s.bandsReleased = s.bandsReturned;
        s.changed.notify_all();
    }
    if (s.bandsReturned == s.bands.size())
        return nullptr;
    const std::size_t index = s.bandsReturned;
    if (s.workers.empty() && !s.failed) {
        try {
            if (!s.decodeBandHere(index))
                s.fail();
        } catch (...) {
            s.fail();
        }
    }
    s.changed.wait(lock, [&] { return s.failed || (s.bands[index] && s.bands[index]->tilesDone == s.tilesPerBand); });
    if (s.failed)
        return nullptr;
    ++s.bandsReturned;
    const State::Band& band = *s.bands[index];
    s.current = YCbCrBand{s.image.bands_[index].begin, s.rowsOfBand(index), band.y.get(), band.cb.get(), band.cr.get(),
                          s.yStride, s.chromaStride};
    return &s.current;
}

}  // namespace pictavo::imageio
