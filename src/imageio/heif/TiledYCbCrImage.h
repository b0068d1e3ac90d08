#pragma once

#include "imageio/files/UniqueFd.h"
#include "imageio/heif/TileGeometry.h"
#include "imageio/pixels/YCbCrBandSource.h"

#include <cstddef>
#include <cstdint>
#include <memory>

#include <libheif/heif.h>

namespace pictavo::imageio {

// A tiled photo (the grids phones write) whose tiles decode to 8-bit 4:2:0
// YCbCr with the BT.601 matrix at full range: exactly JPEG's own YCbCr, so a
// JPEG can be written from the decoded planes without converting colour. The
// photo goes band by band while later tiles are still being decoded; each
// tile is turned, mirrored and cropped into its place as the file says. One
// whose 4:2:0 planes libheif would turn otherwise (ImageTransform::
// keeps420Blocks) is turned whole by libheif instead and read as one band.
// Each band is the part of one row of stored tiles (a column, when the image
// is turned a quarter) that shows.
class TiledYCbCrImage : public YCbCrBandSource {
public:
    // What to do with a photo whose tiles cannot be turned into place one by
    // one: let libheif turn it whole (its 4:2:0 planes then need not be those
    // of its RGB decode turned), or refuse it.
    enum class WhenTurnedWhole { decode, refuse };

    // The image, when it is such a photo (tiled, no alpha, 8-bit 4:2:0,
    // BT.601 full range) and its first tile (or, when libheif turns it, the
    // whole image) decodes; nullptr otherwise. `handle` is kept; `file` is
    // the open file its context reads, which the decoding threads read again
    // (a duplicate is kept).
    static std::shared_ptr<TiledYCbCrImage> open(std::shared_ptr<heif_image_handle> handle, int file,
                                                 WhenTurnedWhole whenTurnedWhole);

    std::uint32_t width() const { return geometry_.width(); }
    std::uint32_t height() const { return geometry_.height(); }
    // The first tile decoded (its nclx describes the colour).
    const heif_image* firstTile() const { return firstTile_.get(); }

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

private:
    TiledYCbCrImage() = default;

    std::shared_ptr<heif_image_handle> handle_;
    UniqueFd file_;
    std::shared_ptr<heif_image> firstTile_;
    TileGeometry geometry_;
};

}  // namespace pictavo::imageio
