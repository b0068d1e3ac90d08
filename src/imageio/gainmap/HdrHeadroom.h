#pragma once

#include "imageio/pixels/ToneMapping.h"

#include <optional>

namespace pictavo::imageio {

// How far above SDR white an HDR photo's gain map has to reach, in stops.
struct HdrHeadroom {
    // The HDR rendition's peak over SDR white: the display headroom at which
    // it is shown whole (ISO 21496-1's alternate headroom, hdrgm's HDRCapacityMax).
    double stops = 0;
    // The largest gain any pixel can need over the tone-mapped SDR photo.
    double maxGainStops = 0;
};

// The gain map's offset k, added to HDR and SDR light alike (SDR white = 1)
// so that black and the SDR photo's 8-bit steps in the shadows give no wild gains.
inline constexpr double kGainMapOffset = 1.0 / 64;
// Below this headroom an HDR rendition would show nothing an SDR screen does not.
inline constexpr double kMinHeadroomStops = 0.1;

// The headroom of a PQ or HLG photo. PQ: the declared peak, else the
// content's own (`brightestNits`, the brightest channel of any pixel), and
// never below the content's; HLG: its nominal 1000 cd/m². The largest gain
// follows from toneMapToSdr(): the pixel at its source peak (the declared
// peak or kDefaultHdrPeakNits, for PQ raised to the content's) becomes SDR
// white. None when the headroom is under kMinHeadroomStops.
std::optional<HdrHeadroom> hdrHeadroom(HdrTransfer transfer, std::optional<double> declaredPeakNits,
                                       double brightestNits);

}  // namespace pictavo::imageio
