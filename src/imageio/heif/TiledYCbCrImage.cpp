#include "imageio/heif/TiledYCbCrImage.h"

#include "imageio/heif/AvcodecHevcDecoder.h"
#include "imageio/heif/HeifColour.h"
#include "imageio/heif/HeifDecoding.h"
#include "imageio/heif/HeifFileReader.h"
#include "imageio/heif/HeifObjects.h"
#include "imageio/heif/HevcTileData.h"
#include "imageio/heif/SecurityLimits.h"
#include "imageio/pixels/YCbCrToRgb.h"
#include "imageio/threads/OrderedJobs.h"

#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace pictavo::imageio {

namespace {

// Bands being decoded or read at once: the one the reader holds and two ahead,
// enough to keep every core busy while the reader encodes.
constexpr std::uint32_t kBandsInFlight = 3;

// Tiles from this size up (cameras' are megapixels; phones' 512 × 512) are
// worth decoding on several threads while nothing else decodes.
constexpr std::uint64_t kLargeTilePixels = 1024 * 1024;

std::uint32_t paddedWidth(std::uint32_t width)
{
    return (width + 15) / 16 * 16;
}

// The tile at `column`, `row` of the stored grid, as stored, decoded by
// libheif: libheif would otherwise count tiles in the turned grid and turn
// each one itself.
DecodedTile libheifTile(const heif_image_handle* handle, std::uint32_t column, std::uint32_t row, heif_chroma chroma)
{
    const HeifOptionsPtr options(heif_decoding_options_alloc());
    if (!options)
        return {};
    options->ignore_transformations = 1;
    keepStoredColours(options.get());
    heif_image* tile = nullptr;
    const heif_error error =
        heif_image_handle_decode_image_tile(handle, &tile, heif_colorspace_YCbCr, chroma, options.get(), column, row);
    HeifImagePtr owned(tile);
    if (error.code != heif_error_Ok)
        return {};
    return tileOf(std::move(owned));
}

// The image as one decoding thread sees it. libheif 1.19 writes the text of
// every result into the image item it came from, so two threads decoding
// tiles through one handle write one buffer at once; each thread reads the
// file into a context of its own instead.
struct ThreadImage {
    std::unique_ptr<HeifFileContext> file;
    HeifHandlePtr handle;
    std::unique_ptr<AvcodecHevcDecoder> decoder;  // the last one used, kept for the next tile
};

// Image `id` of the file open as `file`, read again; nullptr when it no longer reads.
std::unique_ptr<ThreadImage> openThreadImage(int file, heif_item_id id)
{
    auto image = std::make_unique<ThreadImage>();
    image->file = HeifFileContext::open(UniqueFd(::fcntl(file, F_DUPFD_CLOEXEC, 0)));
    if (image->file)
        image->handle = imageHandle(image->file->context.get(), id);
    if (!image->handle)
        return nullptr;
    return image;
}

// Copies `rows` × `columns` samples to `target`, reading the source `across`
// samples apart along a row and `down` samples apart from row to row
// (negative, or a whole stride, for a turned or mirrored tile). A turned tile
// is read in small squares, which stay in the cache.
template <typename Sample>
void copyTurned(const Sample* source, std::ptrdiff_t across, std::ptrdiff_t down, Sample* target,
                std::size_t targetStride, std::uint32_t columns, std::uint32_t rows)
{
    if (across == 1) {
        for (std::uint32_t y = 0; y < rows; ++y)
            std::memcpy(target + y * targetStride, source + y * down, columns * sizeof(Sample));
        return;
    }
    constexpr std::uint32_t kSquare = 32;
    for (std::uint32_t top = 0; top < rows; top += kSquare) {
        for (std::uint32_t left = 0; left < columns; left += kSquare) {
            const std::uint32_t right = std::min(left + kSquare, columns);
            for (std::uint32_t y = top; y < std::min(top + kSquare, rows); ++y) {
                const Sample* in = source + std::ptrdiff_t(y) * down + std::ptrdiff_t(left) * across;
                Sample* out = target + y * targetStride;
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

// True when samples of this depth, chroma and colour (when known) are those
// `samples` asks for.
bool takes(TiledYCbCrImage::Samples samples, int depth, heif_chroma chroma, const heif_color_profile_nclx* colour)
{
    if (samples == TiledYCbCrImage::Samples::jpegYCbCr)
        return depth == 8 && chroma == heif_chroma_420 && (!colour || isJpegMatrix(*colour));
    const bool layout = depth == 8 ? chroma == heif_chroma_420
                                   : depth == 10 && (chroma == heif_chroma_420 || chroma == heif_chroma_422);
    if (!layout || !colour)
        return layout;
    // libheif takes an unspecified matrix for BT.601.
    const int matrix = colour->matrix_coefficients == heif_matrix_coefficients_unspecified
                           ? heif_matrix_coefficients_ITU_R_BT_601_6
                           : colour->matrix_coefficients;
    return !isHdr(colour) && (depth == 8 ? colour->full_range_flag && ycbcrMatrix(matrix)
                                         : bool(deepYCbCrMatrix(matrix, colour->full_range_flag)));
}

bool takes(TiledYCbCrImage::Samples samples, const DecodedTile& tile)
{
    return tile && takes(samples, tile.depth, tile.chroma, tile.colour.get());
}

// The chroma the image's tiles are stored with, when it is a grid of at
// least two tiles (its tiling in `tiling`) that may decode to the samples
// asked for: no alpha, and no declared colour but one they take; none otherwise.
std::optional<heif_chroma> tiledChroma(const heif_image_handle* handle, TiledYCbCrImage::Samples samples,
                                       heif_image_tiling& tiling)
{
    const int depth = heif_image_handle_get_luma_bits_per_pixel(handle);
    if (heif_image_handle_has_alpha_channel(handle) || heif_image_handle_get_chroma_bits_per_pixel(handle) != depth)
        return std::nullopt;
    heif_colorspace space = heif_colorspace_undefined;
    heif_chroma chroma = heif_chroma_undefined;
    if (heif_image_handle_get_preferred_decoding_colorspace(handle, &space, &chroma).code != heif_error_Ok ||
        space != heif_colorspace_YCbCr ||
        heif_image_handle_get_image_tiling(handle, 0, &tiling).code != heif_error_Ok ||
        std::uint64_t(tiling.num_columns) * tiling.num_rows < 2)
        return std::nullopt;
    if (!isDecodableSize(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle)))
        return std::nullopt;
    // Without a declared colour, what the tiles' streams say is checked once they decode.
    if (!takes(samples, depth, chroma, handleNclx(handle).get()))
        return std::nullopt;
    return chroma;
}

// Where the tiles land in the image as shown, when each can be turned into
// place on its own; none when libheif must turn the image whole.
// 4:2:2 chroma is only placed as it is stored: turned a quarter it would no
// longer be 4:2:2.
std::optional<TileGeometry> placeTiles(const heif_image_handle* handle, const heif_image_tiling& tiling,
                                       heif_chroma chroma)
{
    const std::optional<ImageTransform> transform = ImageTransform::of(handle, tiling.image_width, tiling.image_height);
    if (!transform || transform->width != std::uint32_t(std::max(heif_image_handle_get_width(handle), 0)) ||
        transform->height != std::uint32_t(std::max(heif_image_handle_get_height(handle), 0)) ||
        tiling.number_of_extra_dimensions || (chroma != heif_chroma_420 && !transform->isIdentity()))
        return std::nullopt;
    return TileGeometry::of({tiling.num_columns, tiling.num_rows, tiling.tile_width, tiling.tile_height,
                             tiling.image_width, tiling.image_height},
                            *transform);
}

bool sameColour(const heif_color_profile_nclx* a, const heif_color_profile_nclx* b)
{
    if (!a || !b)
        return a == b;
    return a->color_primaries == b->color_primaries && a->transfer_characteristics == b->transfer_characteristics &&
           a->matrix_coefficients == b->matrix_coefficients && a->full_range_flag == b->full_range_flag;
}

// The image turned, mirrored and cropped whole by libheif, in 4:2:0 (half the
// memory of RGB).
std::shared_ptr<heif_image> decodeTurnedWhole(const heif_image_handle* handle)
{
    const HeifOptionsPtr options(heif_decoding_options_alloc());
    if (!options)
        return nullptr;
    keepStoredColours(options.get());
    return decodeImage(handle, heif_colorspace_YCbCr, heif_chroma_420, options.get());
}

}  // namespace

// The stored grid's tile items, and what libavcodec decodes each from.
struct TiledYCbCrImage::StoredTiles {
    heif_chroma chroma = heif_chroma_420;  // as the tiles are stored
    std::uint32_t columns = 0;
    std::uint32_t width = 0, height = 0;  // of every tile
    std::vector<heif_item_id> ids;        // row by row
    // Their decoder configurations; none when libavcodec is not used.
    std::optional<HevcConfigurations> configurations;
    // The colour the tiles' own colr says, when they have one: libheif gives
    // it to a decoded tile instead of what its stream declares.
    std::shared_ptr<const heif_color_profile_nclx> itemColour;

    // The grid's tiles, when every one is an image item of the same colour
    // (libheif 1.19 reports a tile that is not when it decodes the whole
    // grid, but dereferences null when asked for that tile alone); none otherwise.
    static std::shared_ptr<const StoredTiles> of(const heif_image_handle* grid, const heif_image_tiling& tiling,
                                                 heif_chroma chroma, int file)
    {
        const HeifContextPtr context = contextOf(grid);
        if (!context)
            return nullptr;
        auto tiles = std::make_shared<StoredTiles>();
        tiles->chroma = chroma;
        tiles->columns = tiling.num_columns;
        tiles->width = tiling.tile_width;
        tiles->height = tiling.tile_height;
        for (std::uint32_t row = 0; row < tiling.num_rows; ++row) {
            for (std::uint32_t column = 0; column < tiling.num_columns; ++column) {
                heif_item_id id = 0;
                if (heif_image_handle_get_grid_image_tile_id(grid, 0, column, row, &id).code != heif_error_Ok)
                    return nullptr;
                const HeifHandlePtr tile = imageHandle(context.get(), id);
                if (!tile)
                    return nullptr;
                HeifNclxPtr colour = handleNclx(tile.get());
                if (tiles->ids.empty())
                    tiles->itemColour = std::move(colour);
                else if (!sameColour(colour.get(), tiles->itemColour.get()))
                    return nullptr;
                tiles->ids.push_back(id);
            }
        }
        if (AvcodecHevcDecoder::prepare())
            tiles->configurations = HevcConfigurations::read(file, tiles->ids);
        return tiles;
    }

    // Tile `column`, `row` as stored: decoded by libavcodec with `decoder`
    // (made anew, on `threads` threads, when it decodes other pictures),
    // reading through `context`;
    // by libheif through `grid` when libavcodec does not take it.
    DecodedTile decode(const heif_context* context, const heif_image_handle* grid,
                       std::unique_ptr<AvcodecHevcDecoder>& decoder, std::uint32_t column, std::uint32_t row,
                       unsigned threads = 1) const
    {
        const heif_item_id id = ids[std::size_t(row) * columns + column];
        if (const std::vector<std::uint8_t>* record = configurations ? configurations->of(id) : nullptr) {
            if (!decoder || !decoder->decodes(record, width, height))
                decoder = AvcodecHevcDecoder::open(record, width, height, threads);
            if (decoder) {
                const ItemData data(context, id);
                if (DecodedTile tile = decoder->decode(data.data(), data.size())) {
                    if (itemColour)
                        tile.colour = itemColour;
                    return tile;
                }
            }
        }
        return libheifTile(grid, column, row, chroma);
    }
};

std::shared_ptr<TiledYCbCrImage> TiledYCbCrImage::open(std::shared_ptr<heif_image_handle> handle, int file,
                                                       Samples samples, WhenTurnedWhole whenTurnedWhole)
{
    heif_image_tiling tiling{};
    const std::optional<heif_chroma> chroma = handle ? tiledChroma(handle.get(), samples, tiling) : std::nullopt;
    if (!chroma)
        return nullptr;
    std::shared_ptr<TiledYCbCrImage> image(new TiledYCbCrImage);
    image->samples_ = samples;
    if (std::optional<TileGeometry> geometry = placeTiles(handle.get(), tiling, *chroma)) {
        image->geometry_ = std::move(*geometry);
        image->file_ = UniqueFd(::fcntl(file, F_DUPFD_CLOEXEC, 0));
        image->stored_ = StoredTiles::of(handle.get(), tiling, *chroma, file);
        if (!image->file_.valid() || !image->stored_)
            return nullptr;
        // Nothing else decodes yet, so a camera's large first tile is decoded on
        // every core, by a decoder freed after it (on several threads a decoder
        // keeps a copy of its state, 0.7 MB, for each). A phone's small one
        // takes one thread, and its decoder goes on to decode tiles on a worker.
        const TileGeometry::TileAt first = image->geometry_.storedTile(0, 0);
        const bool large = std::uint64_t(tiling.tile_width) * tiling.tile_height >= kLargeTilePixels;
        image->firstTile_ = image->stored_->decode(contextOf(handle.get()).get(), handle.get(), image->firstDecoder_,
                                                   first.column, first.row,
                                                   large ? std::thread::hardware_concurrency() : 1);
        if (large)
            image->firstDecoder_.reset();
    } else if (whenTurnedWhole == WhenTurnedWhole::refuse || samples != Samples::jpegYCbCr) {
        return nullptr;
    } else {
        // Read as one band; the size libheif gives after turning and cropping is the one to write.
        std::shared_ptr<heif_image> whole = decodeTurnedWhole(handle.get());
        if (!whole)
            return nullptr;
        const auto width = static_cast<std::uint32_t>(std::max(heif_image_get_primary_width(whole.get()), 0));
        const auto height = static_cast<std::uint32_t>(std::max(heif_image_get_primary_height(whole.get()), 0));
        if (width == 0 || height == 0)
            return nullptr;
        image->geometry_ = TileGeometry::whole(width, height);
        image->firstTile_ = tileOf(std::move(whole));
    }
    if (!takes(samples, image->firstTile_) || image->firstTile_.chroma != *chroma)
        return nullptr;
    image->tileColour_ = image->firstTile_.colour;
    image->depth_ = image->firstTile_.depth;
    image->chroma_ = image->firstTile_.chroma;
    image->handle_ = std::move(handle);
    return image;
}

TiledYCbCrImage::~TiledYCbCrImage() = default;

DecodedTile TiledYCbCrImage::takeFirstTile() const
{
    std::lock_guard lock(firstMutex_);
    return std::exchange(firstTile_, {});
}

std::unique_ptr<AvcodecHevcDecoder> TiledYCbCrImage::takeFirstDecoder() const
{
    std::lock_guard lock(firstMutex_);
    return std::move(firstDecoder_);
}

struct TiledYCbCrImage::BandReader::State {
    struct Band {
        std::uint32_t rows;  // room for
        std::unique_ptr<std::uint8_t[]> y, cb, cr;
    };

    State(const TiledYCbCrImage& image, std::size_t bandsAhead)
        : image(image), geometry(image.geometry_), item(heif_image_handle_get_item_id(image.handle_.get())),
          sampleBytes(image.depth() > 8 ? 2 : 1), chromaShiftY(image.chroma() == heif_chroma_420 ? 1 : 0),
          yStride(paddedWidth(image.width()) * sampleBytes), chromaStride(yStride / 2),
          tilesPerBand(geometry.columns().size()),
          bands(geometry.bands().size()), threadImages(std::max(1u, std::thread::hardware_concurrency()))
    {
        jobs.emplace(bands.size() * tilesPerBand, static_cast<unsigned>(threadImages.size()),
                     bandsAhead * tilesPerBand,
                     [this](std::size_t tile, unsigned worker) { return placeTile(tile, worker); },
                     [this](unsigned worker) { threadImages[worker].reset(); });
    }

    std::uint32_t rowsOfBand(std::size_t band) const
    {
        return geometry.bands()[band].end - geometry.bands()[band].begin;
    }

    // Band `index`, taken by the first of its tiles to get here: the band last let
    // go of, or new (one too short to take is freed). Every sample of it is
    // written over by its tiles, and reusing its memory spares the system
    // clearing fresh pages for each band.
    Band& band(std::size_t index)
    {
        std::lock_guard lock(bandsMutex);
        if (!bands[index]) {
            const std::uint32_t rows = rowsOfBand(index);
            if (spare && spare->rows >= rows) {
                bands[index] = std::move(spare);
                return *bands[index];
            }
            spare.reset();
            auto allocated = std::make_unique<Band>();
            allocated->rows = rows;
            allocated->y = std::make_unique_for_overwrite<std::uint8_t[]>(yStride * rows);
            const std::size_t chromaRows = (rows + chromaShiftY) >> chromaShiftY;
            allocated->cb = std::make_unique_for_overwrite<std::uint8_t[]>(chromaStride * chromaRows);
            allocated->cr = std::make_unique_for_overwrite<std::uint8_t[]>(chromaStride * chromaRows);
            bands[index] = std::move(allocated);
        }
        return *bands[index];
    }

    void release(std::size_t index)
    {
        std::lock_guard lock(bandsMutex);
        if (bands[index])
            spare = std::move(bands[index]);
    }

    // Copies the part of `tile` that shows in band `index` at `column` into
    // the band, turned and mirrored as the image is; the image's last column
    // is repeated into the padding. False when the tile is not what the first
    // one promised.
    bool copyTile(const DecodedTile& tile, Band& band, std::size_t index, std::size_t column) const
    {
        if (!takes(image.samples_, tile) || tile.depth != image.depth() || tile.chroma != image.chroma())
            return false;
        return sampleBytes == 1 ? copyPlanes<std::uint8_t>(tile, band, index, column)
                                : copyPlanes<std::uint16_t>(tile, band, index, column);
    }

    template <typename Sample>
    bool copyPlanes(const DecodedTile& tile, Band& band, std::size_t index, std::size_t column) const
    {
        struct Plane {
            std::uint8_t* target;
            std::size_t stride;  // bytes
            int shiftX, shiftY;  // log2 of the subsampling
        };
        const Plane planes[3] = {
            {band.y.get(), yStride, 0, 0},
            {band.cb.get(), chromaStride, 1, chromaShiftY},
            {band.cr.get(), chromaStride, 1, chromaShiftY},
        };
        const bool lastColumn = geometry.columns()[column].end == image.width();
        for (int c = 0; c < 3; ++c) {
            const Plane& plane = planes[c];
            const TileGeometry::Placement p = geometry.placement(index, column, plane.shiftX, plane.shiftY);
            const auto* source = reinterpret_cast<const Sample*>(tile.plane[c]);
            const auto sourceStride = std::ptrdiff_t(tile.stride[c] / sizeof(Sample));
            // The map is linear: the corners bound what is read.
            for (std::int64_t x : {p.left, p.right - 1})
                for (std::int64_t y : {p.top, p.bottom - 1})
                    if (p.tileX(x, y) < 0 || p.tileX(x, y) >= tile.width[c] || p.tileY(x, y) < 0 ||
                        p.tileY(x, y) >= tile.height[c])
                        return false;
            auto* target = reinterpret_cast<Sample*>(plane.target);
            const std::size_t targetStride = plane.stride / sizeof(Sample);
            copyTurned(source + p.tileY(p.left, p.top) * sourceStride + p.tileX(p.left, p.top),
                       p.xx + p.yx * sourceStride, p.xy + p.yy * sourceStride, target + std::size_t(p.left),
                       targetStride, std::uint32_t(p.right - p.left), std::uint32_t(p.bottom - p.top));
            if (lastColumn) {
                for (std::int64_t y = 0; y < p.bottom - p.top; ++y) {
                    Sample* row = target + std::size_t(y) * targetStride;
                    std::fill(row + p.right, row + targetStride, row[p.right - 1]);
                }
            }
        }
        return true;
    }

    // Job `tile`, in reading order: decodes the tile on this worker's own
    // reading of the file, with its own decoder, and copies it into its band.
    bool placeTile(std::size_t tile, unsigned worker)
    {
        const std::size_t index = tile / tilesPerBand, column = tile % tilesPerBand;
        // The tile open() decoded is let go of once copied; a second reading decodes it again.
        if (tile == 0) {
            if (const DecodedTile first = image.takeFirstTile())
                return copyTile(first, band(0), 0, 0);
            if (!image.stored_)
                return copyTile(tileOf(decodeTurnedWhole(image.handle_.get())), band(0), 0, 0);
        }
        std::unique_ptr<ThreadImage>& own = threadImages[worker];
        if (!own)
            own = openThreadImage(image.file_.get(), item);
        if (!own)
            return false;
        if (!own->decoder)
            own->decoder = image.takeFirstDecoder();
        const TileGeometry::TileAt at = geometry.storedTile(index, column);
        const DecodedTile decoded =
            image.stored_->decode(own->file->context.get(), own->handle.get(), own->decoder, at.column, at.row);
        return copyTile(decoded, band(index), index, column);
    }

    const TiledYCbCrImage& image;
    const TileGeometry& geometry;
    const heif_item_id item;
    const std::size_t sampleBytes;
    const int chromaShiftY;
    const std::size_t yStride;
    const std::size_t chromaStride;
    const std::size_t tilesPerBand;
    std::mutex bandsMutex;
    std::vector<std::unique_ptr<Band>> bands;  // those in flight
    std::unique_ptr<Band> spare;  // the last band let go of, to be taken again
    std::vector<std::unique_ptr<ThreadImage>> threadImages;  // one per worker, opened at its first tile
    std::size_t bandsReturned = 0;
    YCbCrBand current;
    // Last, so that the workers are joined before anything they use goes.
    std::optional<OrderedJobs> jobs;
};

TiledYCbCrImage::BandReader::BandReader(const TiledYCbCrImage& image, Ahead ahead)
    : state_(std::make_unique<State>(image, ahead == Ahead::firstBand ? 1 : kBandsInFlight))
{
}

void TiledYCbCrImage::BandReader::widen()
{
    state_->jobs->setAhead(kBandsInFlight * state_->tilesPerBand);
}

TiledYCbCrImage::BandReader::~BandReader() = default;

std::unique_ptr<YCbCrBandSource::Reader> TiledYCbCrImage::read(Ahead ahead) const
{
    return std::make_unique<BandReader>(*this, ahead);
}

Result<const YCbCrBand*> TiledYCbCrImage::BandReader::next()
{
    State& s = *state_;
    const std::size_t index = s.bandsReturned;
    if (index > 0)
        s.release(index - 1);
    if (index == s.bands.size())
        return nullptr;
    s.jobs->taken(index * s.tilesPerBand);
    if (!s.jobs->awaitUpTo((index + 1) * s.tilesPerBand))
        return Failure::unreadable;  // a tile would not decode
    ++s.bandsReturned;
    const State::Band& band = s.band(index);
    s.current = YCbCrBand{s.geometry.bands()[index].begin, s.rowsOfBand(index), band.y.get(), band.cb.get(),
                          band.cr.get(), s.yStride, s.chromaStride, s.image.depth(), s.image.chroma()};
    return &s.current;
}

}  // namespace pictavo::imageio
