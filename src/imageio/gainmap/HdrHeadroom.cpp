#include "imageio/gainmap/HdrHeadroom.h"

#include "imageio/gainmap/HdrLight.h"

#include <algorithm>
#include <cmath>

namespace pictavo::imageio {

std::optional<double> declaredPeakNits(const heif_image_handle* handle)
{
    heif_content_light_level level{};
    if (heif_image_handle_get_content_light_level(handle, &level) && level.max_content_light_level > 0)
        return level.max_content_light_level;
    heif_mastering_display_colour_volume raw{};
    heif_decoded_mastering_display_colour_volume volume{};
    if (heif_image_handle_get_mastering_display_colour_volume(handle, &raw) &&
        heif_mastering_display_colour_volume_decode(&raw, &volume).code == heif_error_Ok &&
        volume.max_display_mastering_luminance > 0)
        return volume.max_display_mastering_luminance;
    return std::nullopt;
}

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
