#include "imageio/heif/TileGeometry.h"

#include <gtest/gtest.h>

namespace pictavo::imageio {
namespace {

using Span = TileGeometry::Span;

// A grid of 2×3 tiles, 4 wide and 2 high, over an 8×6 picture, shown through
// each transform: the bands and columns read, the stored tile at the last of
// them, and, for each part of each band in luma and chroma, that the part lies
// inside its tile.
TEST(TileGeometry, BandsColumnsAndTilesFollowTheTurnMirrorAndCrop)
{
    const TileGrid grid{2, 3, 4, 2, 8, 6};
    struct Row {
        const char* name;
        TileGrid grid;
        ImageTransform transform;
        std::vector<Span> bands, columns;  // empty: the tiles cannot be placed one by one
        TileGeometry::TileAt lastTile;
    };
    const Row rows[] = {
        {"upright", grid, {.width = 8, .height = 6}, {{0, 0, 2}, {1, 2, 4}, {2, 4, 6}}, {{0, 0, 4}, {1, 4, 8}}, {1, 2}},
        {"turned a quarter: stored columns become bands", grid,
         {.xx = 0, .xy = -1, .yx = 1, .yy = 0, .x0 = 7, .width = 6, .height = 8}, {{1, 0, 4}, {0, 4, 8}},
         {{0, 0, 2}, {1, 2, 4}, {2, 4, 6}}, {0, 2}},
        {"mirrored left to right", grid, {.xx = -1, .x0 = 7, .width = 8, .height = 6},
         {{0, 0, 2}, {1, 2, 4}, {2, 4, 6}}, {{1, 0, 4}, {0, 4, 8}}, {0, 2}},
        {"cropped by two at the top left", grid, {.x0 = 2, .y0 = 2, .width = 6, .height = 4}, {{1, 0, 2}, {2, 2, 4}},
         {{0, 0, 2}, {1, 2, 6}}, {1, 2}},
        {"an odd crop moves chroma against luma", grid, {.x0 = 1, .width = 6, .height = 6}, {}, {}, {}},
        {"odd tiles", {3, 3, 3, 2, 8, 6}, {.width = 8, .height = 6}, {}, {}, {}},
        {"a grid short of the picture", {1, 3, 4, 2, 8, 6}, {.width = 8, .height = 6}, {}, {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<TileGeometry> geometry = TileGeometry::of(row.grid, row.transform);
        ASSERT_EQ(geometry.has_value(), !row.bands.empty());
        if (!geometry)
            continue;
        EXPECT_EQ(geometry->bands(), row.bands);
        EXPECT_EQ(geometry->columns(), row.columns);
        EXPECT_EQ(geometry->storedTile(row.bands.size() - 1, row.columns.size() - 1), row.lastTile);
        for (std::size_t band = 0; band < row.bands.size(); ++band) {
            for (std::size_t column = 0; column < row.columns.size(); ++column) {
                for (int shift : {0, 1}) {
                    const TileGeometry::Placement p = geometry->placement(band, column, shift);
                    SCOPED_TRACE(testing::Message() << "band " << band << ", column " << column << ", shift " << shift);
                    for (auto [x, y] : {std::pair(p.left, p.top), std::pair(p.right - 1, p.bottom - 1)}) {
                        EXPECT_GE(p.tileX(x, y), 0);
                        EXPECT_LT(p.tileX(x, y), row.grid.tileWidth >> shift);
                        EXPECT_GE(p.tileY(x, y), 0);
                        EXPECT_LT(p.tileY(x, y), row.grid.tileHeight >> shift);
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace pictavo::imageio
