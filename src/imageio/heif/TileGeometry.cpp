#include "imageio/heif/TileGeometry.h"

#include <algorithm>

namespace pictavo::imageio {

std::vector<TileGeometry::Span> TileGeometry::spans(int step, std::int64_t offset, std::uint32_t length,
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

std::optional<TileGeometry> TileGeometry::of(const TileGrid& grid, const ImageTransform& m)
{
    // Tiles of an even size keep chroma in step with luma wherever they land.
    if (!(m.isIdentity() || m.keeps420Blocks()) || grid.tileWidth == 0 || grid.tileWidth % 2 != 0 ||
        grid.tileHeight == 0 || grid.tileHeight % 2 != 0 || std::uint64_t(grid.columns) * grid.tileWidth < grid.width ||
        std::uint64_t(grid.rows) * grid.tileHeight < grid.height)
        return std::nullopt;
    TileGeometry g;
    g.transform_ = m;
    g.tileWidth_ = grid.tileWidth;
    g.tileHeight_ = grid.tileHeight;
    const bool turned = m.swapsAxes();
    g.bands_ = spans(turned ? m.xy : m.yy, turned ? m.x0 : m.y0, m.height, turned ? grid.tileWidth : grid.tileHeight);
    g.columns_ = spans(turned ? m.yx : m.xx, turned ? m.y0 : m.x0, m.width, turned ? grid.tileHeight : grid.tileWidth);
    const std::uint32_t storedColumns = turned ? grid.rows : grid.columns;
    const std::uint32_t storedRows = turned ? grid.columns : grid.rows;
    if (g.bands_.empty() || g.columns_.empty() ||
        std::ranges::any_of(g.bands_, [&](const Span& s) { return s.tile >= storedRows; }) ||
        std::ranges::any_of(g.columns_, [&](const Span& s) { return s.tile >= storedColumns; }))
        return std::nullopt;
    return g;
}

TileGeometry TileGeometry::whole(std::uint32_t width, std::uint32_t height)
{
    TileGeometry g;
    g.transform_.width = g.tileWidth_ = width;
    g.transform_.height = g.tileHeight_ = height;
    g.bands_ = {{0, 0, height}};
    g.columns_ = {{0, 0, width}};
    return g;
}

TileGeometry::TileAt TileGeometry::storedTile(std::size_t band, std::size_t column) const
{
    const std::uint32_t across = columns_[column].tile, down = bands_[band].tile;
    return transform_.swapsAxes() ? TileAt{down, across} : TileAt{across, down};
}

TileGeometry::Placement TileGeometry::placement(std::size_t band, std::size_t column, int shiftX, int shiftY) const
{
    const Span& down = bands_[band];
    const Span& across = columns_[column];
    const TileAt at = storedTile(band, column);
    const ImageTransform& m = transform_;
    auto scaled = [](std::int64_t v, int shift) { return (v + (1 << shift) - 1) >> shift; };
    Placement p;
    p.left = across.begin >> shiftX, p.right = scaled(across.end, shiftX);
    p.top = down.begin >> shiftY, p.bottom = scaled(down.end, shiftY);
    p.xx = m.xx, p.xy = m.xy, p.yx = m.yx, p.yy = m.yy;
    // A chroma sample stands for a 2×2 (or 2×1) block, stored from its smallest corner.
    p.x0 = (shiftX ? (m.x0 + std::min(m.xx, 0) + std::min(m.xy, 0)) >> 1 : m.x0) -
           (std::int64_t(at.column) * tileWidth_ >> shiftX);
    p.y0 = (shiftY ? (m.y0 + std::min(m.yx, 0) + std::min(m.yy, 0)) >> 1 : m.y0) -
           (std::int64_t(at.row) * tileHeight_ >> shiftY);
    return p;
}

}  // namespace pictavo::imageio
