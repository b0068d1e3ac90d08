#include "imageio/heif/HeifDecoding.h"

#include "imageio/heif/HeifColour.h"
#include "imageio/heif/HeifMetadata.h"
#include "imageio/heif/TiledYCbCrImage.h"
#include "imageio/heif/WholeImageDecode.h"
#include "imageio/pixels/LargeBuffers.h"
#include "imageio/pixels/YCbCrToRgb.h"

#include <algorithm>
#include <vector>

namespace pictavo::imageio {

namespace {

// The tiled photo's size and metadata; its pixels come from its tiles.
std::unique_ptr<DecodedImage> describeTiled(const heif_image_handle* handle, const TiledYCbCrImage& tiles)
{
    auto decoded = std::make_unique<DecodedImage>();
    decoded->width = tiles.width();
    decoded->height = tiles.height();
    decoded->channels = 3;
    std::vector<std::uint8_t> icc = handleIcc(handle);
    const HeifNclxPtr declared = icc.empty() ? handleNclx(handle) : nullptr;
    const heif_color_profile_nclx* nclx = declared ? declared.get() : icc.empty() ? &tiles.tileColour() : nullptr;
    decoded->icc = outputProfile(std::move(icc), nclx, false);
    decoded->exif = readExif(handle);
    decoded->xmp = readXmp(handle);
    return decoded;
}

// libheif takes an unspecified matrix for BT.601.
int matrixOf(const heif_color_profile_nclx& colour)
{
    return colour.matrix_coefficients == heif_matrix_coefficients_unspecified ? heif_matrix_coefficients_ITU_R_BT_601_6
                                                                               : colour.matrix_coefficients;
}

// Converts one band into the image's RGB rows of `outputBits`, with libheif's
// arithmetic for its depth.
void bandToRgb(const YCbCrBand& band, std::uint32_t width, const heif_color_profile_nclx& colour, int outputBits,
               std::uint8_t* rgb, std::size_t stride)
{
    if (band.depth == 8) {
        const YCbCr420Planes planes{band.y,           band.cb, band.cr,   band.yStride, band.chromaStride,
                                    band.chromaStride, width,   band.rows};
        convertYCbCr420ToRgb(planes, *ycbcrMatrix(matrixOf(colour)), rgb, stride, 1);
        return;
    }
    const DeepYCbCrPlanes planes{reinterpret_cast<const std::uint16_t*>(band.y),
                                 reinterpret_cast<const std::uint16_t*>(band.cb),
                                 reinterpret_cast<const std::uint16_t*>(band.cr),
                                 band.yStride / 2,
                                 band.chromaStride / 2,
                                 band.chromaStride / 2,
                                 width,
                                 band.rows,
                                 band.depth,
                                 band.chroma == heif_chroma_420};
    convertDeepYCbCrToRgb(planes, *deepYCbCrMatrix(matrixOf(colour), colour.full_range_flag), outputBits, rgb, stride,
                          1);
}

// The tiled photo in RGB of `outputBits`, a band at a time as it is read,
// converted while later tiles decode on every core: the pixels of libheif's
// RGB decode (each chroma sample for the pixels it covers). An encoder
// writes each band as it comes, and no whole image is held.
class TiledRgb final : public RgbBandSource {
public:
    TiledRgb(std::shared_ptr<const TiledYCbCrImage> tiles, int outputBits)
        : tiles_(std::move(tiles)), outputBits_(outputBits)
    {
    }

    std::unique_ptr<Reader> read() const override { return std::make_unique<BandReader>(*tiles_, outputBits_); }

private:
    class BandReader final : public Reader {
    public:
        BandReader(const TiledYCbCrImage& tiles, int outputBits)
            : tiles_(tiles), outputBits_(outputBits), stride_(std::size_t(tiles.width()) * 3 * (outputBits / 8)),
              bands_(tiles)
        {
        }

        Result<const RgbBand*> next() override
        {
            band_ = {};  // its buffer may take this band, unless a copy of it is held
            const Result<const YCbCrBand*> next = bands_.next();
            if (!next || !*next)
                return next ? Result<const RgbBand*>(nullptr) : next.failure();
            const YCbCrBand& band = **next;
            // A buffer nobody holds a band of any more, or a new one.
            auto buffer = std::ranges::find_if(buffers_, [&](const Buffer& b) {
                return b.rgb.use_count() == 1 && b.rows >= band.rows;
            });
            if (buffer == buffers_.end()) {
                std::shared_ptr<std::uint8_t[]> rgb = allocateImageBuffer(stride_ * band.rows);
                if (!rgb)
                    return Failure::unreadable;
                buffer = buffers_.insert(buffers_.end(), {std::move(rgb), band.rows});
            }
            bandToRgb(band, tiles_.width(), tiles_.tileColour(), outputBits_, buffer->rgb.get(), stride_);
            band_ = {band.top, band.rows, buffer->rgb.get(), stride_, buffer->rgb};
            return &band_;
        }

    private:
        struct Buffer {
            std::shared_ptr<std::uint8_t[]> rgb;
            std::uint32_t rows = 0;
        };

        const TiledYCbCrImage& tiles_;
        const int outputBits_;
        const std::size_t stride_;
        TiledYCbCrImage::BandReader bands_;
        std::vector<Buffer> buffers_;
        RgbBand band_;
    };

    std::shared_ptr<const TiledYCbCrImage> tiles_;
    const int outputBits_;
};

// The tiled photo as RGB bands of `outputBits` (8, or 16 for deep tiles).
std::unique_ptr<DecodedImage> inRgbBands(const heif_image_handle* handle, std::shared_ptr<TiledYCbCrImage> tiles,
                                         int deepBits)
{
    std::unique_ptr<DecodedImage> decoded = describeTiled(handle, *tiles);
    decoded->bitsPerSample = tiles->depth() > 8 ? deepBits : 8;
    decoded->rgbBands = std::make_shared<TiledRgb>(std::move(tiles), decoded->bitsPerSample);
    return decoded;
}

// A tiled photo whose tiles convert to RGB; nullptr for anything else. HDR
// goes through libheif's 16-bit RGB and is tone-mapped.
std::shared_ptr<TiledYCbCrImage> convertibleTiles(const std::shared_ptr<heif_image_handle>& handle, int file)
{
    if (isHdr(handleNclx(handle.get()).get()))
        return nullptr;
    return TiledYCbCrImage::open(handle, file, TiledYCbCrImage::Samples::convertibleToRgb,
                                 TiledYCbCrImage::WhenTurnedWhole::refuse);
}

}  // namespace

std::unique_ptr<DecodedImage> decodeHeifImage(const std::shared_ptr<heif_image_handle>& handle, int file)
{
    std::shared_ptr<TiledYCbCrImage> tiles = convertibleTiles(handle, file);
    return tiles ? inRgbBands(handle.get(), std::move(tiles), 16) : decodeWhole(handle.get());
}

std::unique_ptr<DecodedImage> decodeHeifImageForJpeg(const std::shared_ptr<heif_image_handle>& handle, int file,
                                                     ToneMappingObserver* observer)
{
    std::shared_ptr<TiledYCbCrImage> tiles = TiledYCbCrImage::open(
        handle, file, TiledYCbCrImage::Samples::jpegYCbCr, TiledYCbCrImage::WhenTurnedWhole::decode);
    if (tiles) {
        std::unique_ptr<DecodedImage> decoded = describeTiled(handle.get(), *tiles);
        decoded->tiles = std::move(tiles);
        return decoded;
    }
    // A JPEG takes 8 bits: deep tiles are rounded to them as they are converted.
    if ((tiles = convertibleTiles(handle, file)))
        return inRgbBands(handle.get(), std::move(tiles), 8);
    return decodeWhole(handle.get(), observer);
}

}  // namespace pictavo::imageio
