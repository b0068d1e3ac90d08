#include "imageio/gainmap/HdrLight.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace pictavo::imageio {

double pqSignalToNits(double signal)
{
    constexpr double m1 = 2610.0 / 16384.0, m2 = 2523.0 / 4096.0 * 128.0;
    constexpr double c1 = 3424.0 / 4096.0, c2 = 2413.0 / 4096.0 * 32.0, c3 = 2392.0 / 4096.0 * 32.0;
    const double p = std::pow(std::clamp(signal, 0.0, 1.0), 1.0 / m2);
    return 10000.0 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1.0 / m1);
}

double hlgSignalToScene(double signal)
{
    constexpr double a = 0.17883277, b = 1.0 - 4.0 * a, c = 0.55991073;
    signal = std::clamp(signal, 0.0, 1.0);
    return signal <= 0.5 ? signal * signal / 3.0 : (std::exp((signal - c) / a) + b) / 12.0;
}

HdrLight::HdrLight(HdrTransfer transfer, const double luma[3])
    : transfer_(transfer), luma_{luma[0], luma[1], luma[2]}, fromCode_(65536)
{
    for (std::size_t code = 0; code < fromCode_.size(); ++code) {
        const double signal = code / 65535.0;
        fromCode_[code] = static_cast<float>(transfer == HdrTransfer::pq ? pqSignalToNits(signal) / kSdrWhiteNits
                                                                         : hlgSignalToScene(signal));
    }
}

void HdrLight::row(const std::uint8_t* samples, std::uint32_t width, int channels, float* light) const
{
    constexpr double hlgScale = kHlgNominalPeakNits / kSdrWhiteNits;
    for (std::uint32_t x = 0; x < width; ++x, light += 3) {
        std::uint16_t code[3];
        std::memcpy(code, samples + std::size_t(x) * channels * 2, sizeof code);
        for (int c = 0; c < 3; ++c)
            light[c] = fromCode_[code[c]];
        if (transfer_ == HdrTransfer::hlg) {
            const double ys = luma_[0] * light[0] + luma_[1] * light[1] + luma_[2] * light[2];
            const float scale = ys > 0 ? static_cast<float>(hlgScale * std::pow(ys, kHlgSystemGamma - 1.0)) : 0.0f;
            for (int c = 0; c < 3; ++c)
                light[c] *= scale;
        }
    }
}

double brightestPqNits(const DecodedImage& image)
{
    std::uint16_t brightest = 0;
    for (std::uint32_t y = 0; y < image.height; ++y) {
        const std::uint8_t* row = image.row(y);
        for (std::uint32_t x = 0; x < image.width; ++x)
            for (int c = 0; c < 3; ++c) {
                std::uint16_t v;
                std::memcpy(&v, row + (std::size_t(x) * image.channels + c) * 2, 2);
                brightest = std::max(brightest, v);
            }
    }
    return pqSignalToNits(brightest / 65535.0);
}

}  // namespace pictavo::imageio
