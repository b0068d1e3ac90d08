#include "imageio/gainmap/HdrGainMap.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace pictavo::imageio {

namespace {

const std::array<float, 256>& srgbToLinear()
{
    static const std::array<float, 256> table = [] {
        std::array<float, 256> t{};
        for (int i = 0; i < 256; ++i) {
            const double v = i / 255.0;
            t[i] = static_cast<float>(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
        }
        return t;
    }();
    return table;
}

std::uint32_t mapSize(std::uint32_t size, std::uint32_t scale)
{
    return std::max<std::uint32_t>(1, (size + scale - 1) / scale);
}

}  // namespace

HdrGainMapBuilder::HdrGainMapBuilder(std::uint32_t width, std::uint32_t height, const HdrHeadroom& headroom,
                                     std::uint32_t scale)
    : width_(width), height_(height), mapWidth_(mapSize(width, std::max(scale, 1u))),
      mapHeight_(mapSize(height, std::max(scale, 1u))), columnStart_(mapWidth_ + 1), sums_(std::size_t(mapWidth_) * 6),
      map_(std::make_shared<std::vector<std::uint8_t>>(std::size_t(mapWidth_) * mapHeight_ * 3))
{
    // Pixel x belongs to column x · mapWidth / width, as the map is stretched over the photo.
    for (std::uint32_t u = 0; u <= mapWidth_; ++u)
        columnStart_[u] = static_cast<std::uint32_t>((std::uint64_t(u) * width + mapWidth_ - 1) / mapWidth_);
    metadata_.multichannel = true;
    metadata_.useBaseColourSpace = true;
    metadata_.baseHeadroom = 0;
    metadata_.alternateHeadroom = headroom.stops;
    for (int c = 0; c < 3; ++c) {
        metadata_.min[c] = 0;
        metadata_.max[c] = std::max(headroom.maxGainStops, 0.0);
        metadata_.gamma[c] = 1;
        metadata_.baseOffset[c] = metadata_.alternateOffset[c] = kGainMapOffset;
    }
}

void HdrGainMapBuilder::addRow(const float* hdrLight, const std::uint8_t* sdr)
{
    if (nextRow_ >= height_)
        return;
    const std::array<float, 256>& linear = srgbToLinear();
    const float* h = hdrLight;
    const std::uint8_t* s = sdr;
    double* sum = sums_.data();
    for (std::uint32_t u = 0; u < mapWidth_; ++u, sum += 6) {
        float r = 0, g = 0, b = 0, sr = 0, sg = 0, sb = 0;
        for (std::uint32_t x = columnStart_[u]; x < columnStart_[u + 1]; ++x, h += 3, s += 3) {
            r += h[0], g += h[1], b += h[2];
            sr += linear[s[0]], sg += linear[s[1]], sb += linear[s[2]];
        }
        sum[0] += r, sum[1] += g, sum[2] += b, sum[3] += sr, sum[4] += sg, sum[5] += sb;
    }
    ++rowsInSums_;
    const std::uint32_t mapRow = static_cast<std::uint32_t>(std::uint64_t(nextRow_) * mapHeight_ / height_);
    ++nextRow_;
    if (nextRow_ == height_ || std::uint64_t(nextRow_) * mapHeight_ / height_ != mapRow)
        storeMapRow();
}

void HdrGainMapBuilder::storeMapRow()
{
    const std::uint32_t mapRow = static_cast<std::uint32_t>(std::uint64_t(nextRow_ - 1) * mapHeight_ / height_);
    std::uint8_t* out = map_->data() + std::size_t(mapRow) * mapWidth_ * 3;
    const double range = metadata_.max[0] - metadata_.min[0];
    for (std::uint32_t u = 0; u < mapWidth_; ++u) {
        double* sum = &sums_[std::size_t(u) * 6];
        // The means' offsets, over the sums of `pixels` values.
        const double offset = kGainMapOffset * double(columnStart_[u + 1] - columnStart_[u]) * rowsInSums_;
        for (int c = 0; c < 3; ++c) {
            const double gain = std::log2((sum[c] + offset) / (sum[3 + c] + offset));
            const double encoded = range > 0 ? std::clamp((gain - metadata_.min[c]) / range, 0.0, 1.0) : 0.0;
            *out++ = static_cast<std::uint8_t>(std::lround(encoded * 255));
        }
        std::fill(sum, sum + 6, 0.0);
    }
    rowsInSums_ = 0;
}

std::unique_ptr<GainMap> HdrGainMapBuilder::finish()
{
    if (nextRow_ != height_ || height_ == 0 || width_ == 0)
        return nullptr;
    auto gainMap = std::make_unique<GainMap>();
    gainMap->image.width = mapWidth_;
    gainMap->image.height = mapHeight_;
    gainMap->image.channels = 3;
    gainMap->image.bitsPerSample = 8;
    gainMap->image.data = map_->data();
    gainMap->image.stride = std::size_t(mapWidth_) * 3;
    gainMap->image.owner = map_;
    gainMap->metadata = metadata_;
    return gainMap;
}

}  // namespace pictavo::imageio
