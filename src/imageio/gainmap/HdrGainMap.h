#pragma once

#include "imageio/gainmap/GainMap.h"
#include "imageio/gainmap/HdrHeadroom.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace pictavo::imageio {

// A gain-map sample covers this many pixels of the photo each way.
inline constexpr std::uint32_t kGainMapScale = 4;

// Makes the gain map that turns an HDR photo's tone-mapped SDR rendition back
// into its HDR light, row by row, holding one row of samples' sums besides
// the map itself.
//
// Per channel, a sample's gain is log2((H + k) / (S + k)): H the mean HDR
// light of the pixels it covers, S the mean linear light of the SDR photo's
// 8-bit sRGB samples there (both in the photo's primaries, SDR white = 1), k
// kGainMapOffset. Gains run from 0 (the tone mapping never brightens) to the
// headroom's largest gain, stored as 8-bit values over that range, gamma 1;
// the ISO 21496-1 metadata says so, with the headroom as the alternate one.
class HdrGainMapBuilder {
public:
    // A `width` × `height` photo; the map is ceil(width / scale) × ceil(height / scale).
    HdrGainMapBuilder(std::uint32_t width, std::uint32_t height, const HdrHeadroom& headroom,
                      std::uint32_t scale = kGainMapScale);

    // The photo's next row: its HDR light (3 floats a pixel, from HdrLight)
    // and the SDR photo's row as its JPEG is encoded (RGB, 3 bytes a pixel).
    void addRow(const float* hdrLight, const std::uint8_t* sdr);
    // The gain map, once every row has been added; nullptr before.
    std::unique_ptr<GainMap> finish();

private:
    void storeMapRow();

    std::uint32_t width_, height_, mapWidth_, mapHeight_;
    GainMapMetadata metadata_;
    std::vector<std::uint32_t> columnStart_;  // each map column's first pixel, then the width
    std::vector<double> sums_;                // per map column: HDR light RGB, SDR light RGB
    std::uint32_t nextRow_ = 0, rowsInSums_ = 0;
    std::shared_ptr<std::vector<std::uint8_t>> map_;
};

}  // namespace pictavo::imageio
