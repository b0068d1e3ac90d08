#include "TiledYCbCrImage.h"

#include "HeifDecoding.h"
#include "SecurityLimits.h"

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

std::shared_ptr<heif_image> decodeTile(const heif_image_handle* handle, std::uint32_t column, std::uint32_t row)
{
    heif_image* tile = nullptr;
    if (heif_image_handle_decode_image_tile(handle, &tile, heif_colorspace_YCbCr, heif_chroma_420, nullptr, column,
                                            row)
                .code != heif_error_Ok ||
        !tile)
        return nullptr;
    return std::shared_ptr<heif_image>(tile, heif_image_release);
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

std::shared_ptr<TiledYCbCrImage> TiledYCbCrImage::open(std::shared_ptr<heif_image_handle> handle)
{
    if (!handle || heif_image_handle_has_alpha_channel(handle.get()) ||
        heif_image_handle_get_luma_bits_per_pixel(handle.get()) != 8 ||
        heif_image_handle_get_chroma_bits_per_pixel(handle.get()) != 8)
        return nullptr;
    heif_colorspace space = heif_colorspace_undefined;
    heif_chroma chroma = heif_chroma_undefined;
    heif_image_tiling stored{};
    if (heif_image_handle_get_preferred_decoding_colorspace(handle.get(), &space, &chroma).code != heif_error_Ok ||
        space != heif_colorspace_YCbCr || chroma != heif_chroma_420 ||
        heif_image_handle_get_image_tiling(handle.get(), 0, &stored).code != heif_error_Ok ||
        std::uint64_t(stored.num_columns) * stored.num_rows < 2)
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
    image->width_ = static_cast<std::uint32_t>(width);
    image->height_ = static_cast<std::uint32_t>(height);
    if (isStoredUpright(handle.get())) {
        // Tiles of an even width keep chroma columns aligned; a height that
        // is a multiple of 16 makes every band but the last whole rows of
        // JPEG blocks.
        const heif_image_tiling& t = stored;
        if (t.tile_width == 0 || t.tile_width % 2 || t.tile_height == 0 || t.tile_height % 16 ||
            t.number_of_extra_dimensions || width != t.image_width || height != t.image_height ||
            std::uint64_t(t.num_columns) * t.tile_width < width || std::uint64_t(t.num_rows) * t.tile_height < height ||
            !everyTileIsAnImage(handle.get(), t.num_columns, t.num_rows))
            return nullptr;
        image->firstTile_ = decodeTile(handle.get(), 0, 0);
        image->columns_ = t.num_columns;
        image->rows_ = t.num_rows;
        image->tileWidth_ = t.tile_width;
        image->tileHeight_ = t.tile_height;
    } else {
        // Rotated, mirrored or cropped: libheif transforms the whole image,
        // which is then read as one band, in half the memory of RGB.
        heif_image* whole = nullptr;
        if (heif_decode_image(handle.get(), &whole, heif_colorspace_YCbCr, heif_chroma_420, nullptr).code ==
                heif_error_Ok &&
            whole)
            image->firstTile_.reset(whole, heif_image_release);
        // The size libheif gives after turning and cropping is the one to write.
        if (image->firstTile_) {
            image->width_ = static_cast<std::uint32_t>(std::max(heif_image_get_primary_width(whole), 0));
            image->height_ = static_cast<std::uint32_t>(std::max(heif_image_get_primary_height(whole), 0));
            if (image->width_ == 0 || image->height_ == 0)
                return nullptr;
        }
        image->columns_ = image->rows_ = 1;
        image->tileWidth_ = image->width_;
        image->tileHeight_ = image->height_;
    }
    if (!image->firstTile_ || !isJpegYCbCr(image->firstTile_.get()))
        return nullptr;
    image->handle_ = std::move(handle);
    return image;
}

struct TiledYCbCrImage::BandReader::State {
    struct Band {
        std::unique_ptr<std::uint8_t[]> y, cb, cr;
        std::uint32_t tilesDone = 0;
    };

    explicit State(const TiledYCbCrImage& image)
        : image(image), yStride(paddedWidth(image.width_)), chromaStride(yStride / 2), bands(image.rows_)
    {
    }

    std::uint32_t rowsOfBand(std::uint32_t band) const
    {
        return std::min(image.tileHeight_, image.height_ - band * image.tileHeight_);
    }

    Band& allocateBand(std::uint32_t index)
    {
        auto band = std::make_unique<Band>();
        band->y = std::make_unique_for_overwrite<std::uint8_t[]>(yStride * image.tileHeight_);
        band->cb = std::make_unique_for_overwrite<std::uint8_t[]>(chromaStride * ((image.tileHeight_ + 1) / 2));
        band->cr = std::make_unique_for_overwrite<std::uint8_t[]>(chromaStride * ((image.tileHeight_ + 1) / 2));
        bands[index] = std::move(band);
        return *bands[index];
    }

    // Copies the part of `tile` inside the image into its band; the image's
    // last column is repeated into the padding. False when the tile is not
    // what the first one promised.
    bool copyTile(const heif_image* tile, Band& band, std::uint32_t column, std::uint32_t row) const
    {
        if (!isJpegYCbCr(tile))
            return false;
        const std::uint32_t left = column * image.tileWidth_;
        const std::uint32_t width = std::min(image.tileWidth_, image.width_ - left);
        const std::uint32_t rows = rowsOfBand(row);
        const bool lastColumn = left + width == image.width_;
        struct Plane {
            heif_channel channel;
            std::uint8_t* target;
            std::size_t stride;
            std::uint32_t left, width, rows;
        };
        const Plane planes[3] = {
            {heif_channel_Y, band.y.get(), yStride, left, width, rows},
            {heif_channel_Cb, band.cb.get(), chromaStride, left / 2, (width + 1) / 2, (rows + 1) / 2},
            {heif_channel_Cr, band.cr.get(), chromaStride, left / 2, (width + 1) / 2, (rows + 1) / 2},
        };
        for (const Plane& plane : planes) {
            int sourceStride = 0;
            const std::uint8_t* source = heif_image_get_plane_readonly(tile, plane.channel, &sourceStride);
            if (!source || sourceStride <= 0 || heif_image_get_width(tile, plane.channel) < int(plane.width) ||
                heif_image_get_height(tile, plane.channel) < int(plane.rows))
                return false;
            for (std::uint32_t y = 0; y < plane.rows; ++y) {
                std::uint8_t* out = plane.target + y * plane.stride + plane.left;
                std::memcpy(out, source + std::size_t(y) * sourceStride, plane.width);
                if (lastColumn)
                    std::memset(out + plane.width, out[plane.width - 1], plane.stride - plane.left - plane.width);
            }
        }
        return true;
    }

    // Decodes the tiles of one band on the calling thread (when no worker
    // thread could be started).
    bool decodeBandHere(std::uint32_t row)
    {
        Band& band = bands[row] ? *bands[row] : allocateBand(row);
        for (std::uint32_t column = band.tilesDone; column < image.columns_; ++column) {
            std::shared_ptr<heif_image> decoded = decodeTile(image.handle_.get(), column, row);
            if (!decoded || !copyTile(decoded.get(), band, column, row))
                return false;
            ++band.tilesDone;
        }
        return true;
    }

    void decodeTiles()
    {
        const std::uint32_t total = image.columns_ * image.rows_;
        for (;;) {
            std::uint32_t tile = 0;
            Band* band = nullptr;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] {
                    return stopping || failed || nextTile >= total ||
                           nextTile / image.columns_ < bandsReleased + kBandsInFlight;
                });
                if (stopping || failed || nextTile >= total)
                    return;
                tile = nextTile++;
                try {
                    band = bands[tile / image.columns_] ? bands[tile / image.columns_].get()
                                                        : &allocateBand(tile / image.columns_);
                } catch (...) {
                    fail();
                    return;
                }
            }
            const std::uint32_t column = tile % image.columns_, row = tile / image.columns_;
            std::shared_ptr<heif_image> decoded = decodeTile(image.handle_.get(), column, row);
            const bool copied = decoded && copyTile(decoded.get(), *band, column, row);
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
    const std::size_t yStride;
    const std::size_t chromaStride;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::unique_ptr<Band>> bands;
    std::uint32_t nextTile = 1;  // in reading order; tile 0 was decoded by open()
    std::uint32_t bandsReturned = 0;
    std::uint32_t bandsReleased = 0;
    bool failed = false;
    bool stopping = false;
    YCbCrBand current;
    // Last, so that they are joined before anything they use goes.
    std::vector<std::jthread> workers;
};

TiledYCbCrImage::BandReader::BandReader(const TiledYCbCrImage& image) : state_(std::make_unique<State>(image))
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
    if (s.bandsReturned == s.image.rows_)
        return nullptr;
    const std::uint32_t index = s.bandsReturned;
    if (s.workers.empty() && !s.failed) {
        try {
            if (!s.decodeBandHere(index))
                s.fail();
        } catch (...) {
            s.fail();
        }
    }
    s.changed.wait(lock, [&] { return s.failed || (s.bands[index] && s.bands[index]->tilesDone == s.image.columns_); });
    if (s.failed)
        return nullptr;
    ++s.bandsReturned;
    const State::Band& band = *s.bands[index];
    s.current = YCbCrBand{index * s.image.tileHeight_, s.rowsOfBand(index), band.y.get(), band.cb.get(), band.cr.get(),
                          s.yStride, s.chromaStride};
    return &s.current;
}

}  // namespace pictavo::imageio
