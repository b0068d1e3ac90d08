#include "imageio/gainmap/HdrHeadroom.h"

#include "imageio/pixels/HdrLight.h"

#include <algorithm>
#include <cmath>

namespace pictavo::imageio {

std::optional<HdrHeadroom> hdrHeadroom(HdrTransfer transfer, std::optional<double> declared, double brightestNits)
{
    const bool pq = transfer == HdrTransfer::pq;
    const double peak = pq ? std::max(declared.value_or(0.0), brightestNits) : kHlgNominalPeakNits;
    // The most light the tone mapping turns into SDR white: its source peak,
    // or HLG's brightest where that peak is lower. That pixel's other
    // channels are as much dimmer as in HDR, and (H + k) / (S + k) is
    // largest for the brightest.
    const double whitePeak = pq ? std::max(declared.value_or(kDefaultHdrPeakNits), brightestNits)
                                : std::max(declared.value_or(kDefaultHdrPeakNits), kHlgNominalPeakNits);
    const double stops = std::log2(peak / kSdrWhiteNits);
    if (!(stops >= kMinHeadroomStops))
        return std::nullopt;
    const double maxGain = std::log2((whitePeak / kSdrWhiteNits + kGainMapOffset) / (1 + kGainMapOffset));
    return HdrHeadroom{stops, maxGain};
}

}  // namespace pictavo::imageio
