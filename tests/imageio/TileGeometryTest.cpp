#include "imageio/heif/TileGeometry.h"

#include <gtest/gtest.h>

namespace pictavo::imageio {
namespace {

// Where tiles cannot be placed one by one, the picture is decoded whole. (Where they can, every turn,
// mirror and crop of a grid is converted and compared pixel by pixel: ConverterOrientation, ConverterResize.)
TEST(TileGeometry, TilesAreNotPlacedOneByOneWhereChromaWouldSlipOrTheGridFallsShort)
{
    const struct {
        const char* name;
        TileGrid grid;  // columns, rows, tile width and height, picture width and height
        ImageTransform transform;
    } rows[] = {
        {"an odd crop moves chroma against luma", {2, 3, 4, 2, 8, 6}, {.x0 = 1, .width = 6, .height = 6}},
        {"odd tiles", {3, 3, 3, 2, 8, 6}, {.width = 8, .height = 6}},
        {"a grid short of the picture", {1, 3, 4, 2, 8, 6}, {.width = 8, .height = 6}},
    };
    for (const auto& row : rows)
        EXPECT_FALSE(TileGeometry::of(row.grid, row.transform)) << row.name;
}

}  // namespace
}  // namespace pictavo::imageio
