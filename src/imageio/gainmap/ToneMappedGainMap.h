#pragma once

#include "imageio/gainmap/GainMap.h"
#include "imageio/gainmap/HdrGainMap.h"
#include "imageio/pixels/ToneMapping.h"

#include <memory>
#include <optional>
#include <vector>

namespace pictavo::imageio {

// Builds a PQ or HLG photo's gain map while it is tone-mapped: each row's
// light beside the row the JPEG encoder is given (rounded to 8 bits, any
// alpha composited onto white), so the map needs no copy of the photo.
// Whatever stops it (memory running out) leaves it without a map.
class ToneMappedGainMap final : public ToneMappingObserver {
public:
    // `declaredPeakNits`: what the photo's clli or mdcv box says, if any.
    explicit ToneMappedGainMap(std::optional<double> declaredPeakNits);

    void begin(std::uint32_t width, std::uint32_t height, HdrTransfer transfer, double brightestNits) override;
    void row(const float* light, const std::uint8_t* sdr, int channels) override;

    // The gain map once every row was seen; nullptr when there is none (an
    // SDR photo, one whose headroom is too small to need one).
    std::unique_ptr<GainMap> finish();

private:
    std::optional<double> declaredPeakNits_;
    std::uint32_t width_ = 0;
    std::unique_ptr<HdrGainMapBuilder> builder_;
    std::vector<std::uint8_t> sdrRow_;
};

}  // namespace pictavo::imageio
