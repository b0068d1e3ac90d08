#pragma once

#include "imageio/files/UniqueFd.h"
#include "imageio/heif/DecodedTile.h"
#include "imageio/heif/TileGeometry.h"
#include "imageio/pixels/YCbCrBandSource.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include <libheif/heif.h>

namespace pictavo::imageio {

class AvcodecHevcDecoder;

// A tiled photo (the grids phones and cameras write) decoded tile by tile on
// every core, band by band while later tiles are still being decoded; each
// tile is turned, mirrored and cropped into its place as the file says. Its
// tiles decode either to exactly JPEG's own YCbCr (8-bit 4:2:0, BT.601 at
// full range), so a JPEG can be written from the decoded planes without
// converting colour, or to YCbCr that is converted to RGB band by band (see
// Samples). One whose 4:2:0 planes libheif would turn otherwise
// (ImageTransform::keeps420Blocks) is turned whole by libheif instead and
// read as one band.
class TiledYCbCrImage : public YCbCrBandSource {
public:
    // What to do with a photo whose tiles cannot be turned into place one by
    // one: let libheif turn it whole (its 4:2:0 planes then need not be those
    // of its RGB decode turned), or refuse it.
    enum class WhenTurnedWhole { decode, refuse };

    // The samples the caller takes: JPEG's own YCbCr, or any it can convert
    // to RGB with libheif's arithmetic (8-bit 4:2:0 at full range; 10-bit
    // 4:2:0, or 4:2:2 stored upright; BT.601, BT.709 or BT.2020 matrices; no
    // HDR curve).
    enum class Samples { jpegYCbCr, convertibleToRgb };

    // The image, when it is such a photo (tiled, no alpha, tiles that decode
    // to the samples asked for) and its first tile (or, when libheif turns
    // it, the whole image) decodes; nullptr otherwise. `handle` is kept;
    // `file` is the open file its context reads, which the decoding threads
    // read again (a duplicate is kept).
    static std::shared_ptr<TiledYCbCrImage> open(std::shared_ptr<heif_image_handle> handle, int file, Samples samples,
                                                 WhenTurnedWhole whenTurnedWhole);

    std::uint32_t width() const { return geometry_.width(); }
    std::uint32_t height() const { return geometry_.height(); }
    // The colour of the tiles' samples, as libheif describes a decoded tile,
    // their depth and chroma subsampling (those of every band).
    const heif_color_profile_nclx& tileColour() const { return *tileColour_; }
    int depth() const { return depth_; }
    heif_chroma chroma() const { return chroma_; }

    // Reads the bands from top to bottom. Tiles are decoded on every core,
    // a few bands ahead of the reader, so at most those bands are held.
    class BandReader : public YCbCrBandSource::Reader {
    public:
        explicit BandReader(const TiledYCbCrImage& image, Ahead ahead = Ahead::usual);
        ~BandReader() override;
        BandReader(const BandReader&) = delete;
        BandReader& operator=(const BandReader&) = delete;

        Result<const YCbCrBand*> next() override;
        void widen() override;

        struct State;

    private:
        std::unique_ptr<State> state_;
    };

    std::unique_ptr<YCbCrBandSource::Reader> read(Ahead ahead) const override;

    ~TiledYCbCrImage() override;

private:
    TiledYCbCrImage() = default;

    // The first tile (or the image turned whole) and the decoder that
    // decoded it in open(), until a reader takes them.
    DecodedTile takeFirstTile() const;
    std::unique_ptr<AvcodecHevcDecoder> takeFirstDecoder() const;

    std::shared_ptr<heif_image_handle> handle_;
    UniqueFd file_;
    // What every tile decodes to, as the first one did.
    std::shared_ptr<const heif_color_profile_nclx> tileColour_;
    int depth_ = 0;
    heif_chroma chroma_ = heif_chroma_undefined;
    mutable std::mutex firstMutex_;
    mutable DecodedTile firstTile_;
    mutable std::unique_ptr<AvcodecHevcDecoder> firstDecoder_;
    Samples samples_ = Samples::jpegYCbCr;
    TileGeometry geometry_;
    // The stored tiles' items and what libavcodec decodes them from.
    struct StoredTiles;
    std::shared_ptr<const StoredTiles> stored_;
};

}  // namespace pictavo::imageio
