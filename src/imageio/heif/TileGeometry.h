#pragma once

#include "imageio/heif/ImageTransform.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace pictavo::imageio {

// A grid of stored tiles: `columns` × `rows` tiles of one size, covering a
// stored picture of `width` × `height` (the last row and column may stick out).
struct TileGrid {
    std::uint32_t columns = 0, rows = 0;
    std::uint32_t tileWidth = 0, tileHeight = 0;
    std::uint32_t width = 0, height = 0;
};

// Where the stored tiles of a grid land in the image as shown, once turned,
// mirrored and cropped: the shown image is read in bands, one per stored tile
// row (a column, when the image is turned a quarter), each cut across into the
// parts that come from one tile.
class TileGeometry {
public:
    // A stored tile row or column and the shown rows (or columns) it covers.
    struct Span {
        std::uint32_t tile = 0;
        std::uint32_t begin = 0;
        std::uint32_t end = 0;
        bool operator==(const Span&) const = default;
    };

    // A tile's place in the stored grid.
    struct TileAt {
        std::uint32_t column = 0;
        std::uint32_t row = 0;
        bool operator==(const TileAt&) const = default;
    };

    // Where the shown samples of one plane's part of a band lie in one tile:
    // shown (x, y), from `left` to `right` and `top` to `bottom`, is the
    // tile's sample (tileX(x, y), tileY(x, y)).
    struct Placement {
        std::int64_t left = 0, right = 0, top = 0, bottom = 0;
        int xx = 1, xy = 0, yx = 0, yy = 1;
        std::int64_t x0 = 0, y0 = 0;
        std::int64_t tileX(std::int64_t x, std::int64_t y) const { return xx * x + xy * y + x0; }
        std::int64_t tileY(std::int64_t x, std::int64_t y) const { return yx * x + yy * y + y0; }
    };

    // The grid's tiles shown through `transform` (of a stored picture of the
    // grid's size). None when they cannot be placed one by one keeping 4:2:0
    // blocks whole: odd tile sizes, a grid that does not cover the picture,
    // or a transform that moves chroma against luma.
    static std::optional<TileGeometry> of(const TileGrid& grid, const ImageTransform& transform);
    // A picture already shown as it is, read as one band from one tile.
    static TileGeometry whole(std::uint32_t width, std::uint32_t height);

    std::uint32_t width() const { return transform_.width; }
    std::uint32_t height() const { return transform_.height; }
    const std::vector<Span>& bands() const { return bands_; }      // down the image as shown
    const std::vector<Span>& columns() const { return columns_; }  // across it, the same in every band
    // The stored tile that shows in `band` at `column` (indexes into bands() and columns()).
    TileAt storedTile(std::size_t band, std::size_t column) const;
    // Where a plane subsampled by 2^`shift` in both directions shows that
    // tile; by 2^`shiftX` across and 2^`shiftY` down (4:2:2 chroma, only
    // where the image is not turned a quarter).
    Placement placement(std::size_t band, std::size_t column, int shift) const
    {
        return placement(band, column, shift, shift);
    }
    Placement placement(std::size_t band, std::size_t column, int shiftX, int shiftY) const;

private:
    // The stored tile rows (or columns) that a shown axis of `length` samples
    // crosses, in shown order, where shown sample i is stored sample step·i + offset.
    static std::vector<Span> spans(int step, std::int64_t offset, std::uint32_t length, std::uint32_t tileSize);

    ImageTransform transform_;
    std::uint32_t tileWidth_ = 0;
    std::uint32_t tileHeight_ = 0;
    std::vector<Span> bands_;
    std::vector<Span> columns_;
};

}  // namespace pictavo::imageio
