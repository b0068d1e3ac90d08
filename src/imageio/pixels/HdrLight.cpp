#include "imageio/pixels/HdrLight.h"

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

double nitsToPqSignal(double nits)
{
    constexpr double m1 = 2610.0 / 16384.0, m2 = 2523.0 / 4096.0 * 128.0;
    constexpr double c1 = 3424.0 / 4096.0, c2 = 2413.0 / 4096.0 * 32.0, c3 = 2392.0 / 4096.0 * 32.0;
    const double y = std::pow(std::clamp(nits / 10000.0, 0.0, 1.0), m1);
    return std::pow((c1 + c2 * y) / (1.0 + c3 * y), m2);
}

double hlgSignalToScene(double signal)
{
    constexpr double a = 0.17883277, b = 1.0 - 4.0 * a, c = 0.55991073;
    signal = std::clamp(signal, 0.0, 1.0);
    return signal <= 0.5 ? signal * signal / 3.0 : (std::exp((signal - c) / a) + b) / 12.0;
}

namespace {

// Steps of the OOTF's table: interpolated, it is within 0.01 % of the factor
// from a scene luminance of 1/256 up (display light of 1/150 of SDR white).
constexpr int kHlgScaleSteps = 4096;

}  // namespace

HdrLight::HdrLight(HdrTransfer transfer, const double luma[3])
    : transfer_(transfer), luma_{luma[0], luma[1], luma[2]}, fromCode_(65536), hlgScale_(kHlgScaleSteps + 2)
{
    for (std::size_t code = 0; code < fromCode_.size(); ++code) {
        const double signal = code / 65535.0;
        fromCode_[code] = static_cast<float>(transfer == HdrTransfer::pq ? pqSignalToNits(signal) / kSdrWhiteNits
                                                                         : hlgSignalToScene(signal));
    }
    for (int i = 0; i < kHlgScaleSteps + 2; ++i)
        hlgScale_[i] = static_cast<float>(kHlgNominalPeakNits / kSdrWhiteNits *
                                          std::pow(double(i) / kHlgScaleSteps, kHlgSystemGamma - 1.0));
}

void HdrLight::row(const std::uint8_t* samples, std::uint32_t width, int channels, float* light) const
{
    const float luma[3] = {float(luma_[0]), float(luma_[1]), float(luma_[2])};
    for (std::uint32_t x = 0; x < width; ++x, light += 3) {
        std::uint16_t code[3];
        std::memcpy(code, samples + std::size_t(x) * channels * 2, sizeof code);
        const float r = fromCode_[code[0]], g = fromCode_[code[1]], b = fromCode_[code[2]];
        float scale = 1;
        if (transfer_ == HdrTransfer::hlg) {
            const float position = std::min(luma[0] * r + luma[1] * g + luma[2] * b, 1.0f) * kHlgScaleSteps;
            const int i = static_cast<int>(position);
            scale = hlgScale_[i] + (hlgScale_[i + 1] - hlgScale_[i]) * (position - float(i));
        }
        light[0] = r * scale, light[1] = g * scale, light[2] = b * scale;
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
