#include "imageio/pixels/ToneMapping.h"

#include "imageio/pixels/HdrLight.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <vector>

namespace pictavo::imageio {

namespace {

double bt2390Eetf(double nits, double sourcePeakNits, double targetPeakNits)
{
    if (sourcePeakNits <= targetPeakNits)
        return std::min(nits, targetPeakNits);
    // In the PQ domain, normalised to the source range (source black = 0).
    const double sourcePeak = nitsToPqSignal(sourcePeakNits);
    const double e1 = std::min(nitsToPqSignal(nits) / sourcePeak, 1.0);
    const double maxLum = nitsToPqSignal(targetPeakNits) / sourcePeak;
    const double ks = 1.5 * maxLum - 0.5;
    double e2 = e1;
    if (e1 > ks) {
        const double t = (e1 - ks) / (1.0 - ks);
        const double t2 = t * t, t3 = t2 * t;
        e2 = (2 * t3 - 3 * t2 + 1) * ks + (t3 - 2 * t2 + t) * (1 - ks) + (-2 * t3 + 3 * t2) * maxLum;
    }
    return std::min(pqSignalToNits(e2 * sourcePeak), targetPeakNits);
}

double srgbEncode(double linear)
{
    linear = std::clamp(linear, 0.0, 1.0);
    return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

}  // namespace

void toneMapToSdr(std::uint8_t* data, std::size_t stride, std::uint32_t width, std::uint32_t height, int channels,
                  HdrTransfer transfer, double sourcePeakNits, const double luma[3], ToneMappingObserver* observer)
{
    if (sourcePeakNits <= 0)
        sourcePeakNits = kDefaultHdrPeakNits;
    double brightestNits = 0;
    if (transfer == HdrTransfer::pq) {
        // Content brighter than the declared (or assumed) peak would clip:
        // the peak is the brighter of the two.
        DecodedImage picture;
        picture.width = width, picture.height = height, picture.channels = channels, picture.bitsPerSample = 16;
        picture.data = data, picture.stride = stride;
        brightestNits = brightestPqNits(picture);
        sourcePeakNits = std::max(sourcePeakNits, brightestNits);
    }
    // The light of the row being mapped, relative to SDR white, for the observer.
    std::vector<float> observed(observer ? std::size_t(width) * 3 : 0);
    if (observer)
        observer->begin(width, height, transfer, brightestNits);

    // Signal code value -> light: cd/m² for PQ, relative scene light for HLG.
    std::vector<float> toLight(65536);
    for (std::size_t code = 0; code < toLight.size(); ++code) {
        const double signal = code / 65535.0;
        toLight[code] = static_cast<float>(transfer == HdrTransfer::pq ? pqSignalToNits(signal) : hlgSignalToScene(signal));
    }
    // The EETF as a function of the PQ code of the pixel's max(R, G, B) in
    // display light: the factor that scales the pixel's light to SDR relative light.
    constexpr int kEetfSteps = 4096;
    std::vector<float> gain(kEetfSteps + 1);
    for (int i = 0; i <= kEetfSteps; ++i) {
        const double nits = pqSignalToNits(double(i) / kEetfSteps);
        gain[i] = nits > 0 ? static_cast<float>(bt2390Eetf(nits, sourcePeakNits, kSdrWhiteNits) / nits / kSdrWhiteNits)
                           : static_cast<float>(1.0 / kSdrWhiteNits);
    }
    // Relative linear light 0..1 -> sRGB-encoded 16-bit sample.
    constexpr int kEncodeSteps = 1 << 16;
    std::vector<std::uint16_t> encode(kEncodeSteps + 1);
    for (int i = 0; i <= kEncodeSteps; ++i)
        encode[i] = static_cast<std::uint16_t>(std::lround(srgbEncode(double(i) / kEncodeSteps) * 65535.0));

    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = data + std::size_t(y) * stride;
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint16_t sample[3];
            std::memcpy(sample, row + std::size_t(x) * channels * 2, sizeof sample);
            double light[3] = {toLight[sample[0]], toLight[sample[1]], toLight[sample[2]]};
            if (transfer == HdrTransfer::hlg) {
                // BT.2100 OOTF: display light = peak * Ys^(gamma - 1) * scene light.
                const double ys = luma[0] * light[0] + luma[1] * light[1] + luma[2] * light[2];
                const double scale = ys > 0 ? kHlgNominalPeakNits * std::pow(ys, kHlgSystemGamma - 1.0) : 0.0;
                for (double& l : light)
                    l *= scale;
            }
            // For PQ the largest code is the brightest channel; HLG's OOTF needs the light itself.
            const double position =
                transfer == HdrTransfer::pq
                    ? std::max({sample[0], sample[1], sample[2]}) / 65535.0 * kEetfSteps
                    : nitsToPqSignal(std::max({light[0], light[1], light[2]})) * kEetfSteps;
            const int index = std::min(static_cast<int>(position), kEetfSteps - 1);
            const double fraction = position - index;
            const double g = gain[index] + (gain[index + 1] - gain[index]) * fraction;
            if (observer)
                for (int c = 0; c < 3; ++c)
                    observed[std::size_t(x) * 3 + c] = static_cast<float>(light[c] / kSdrWhiteNits);
            for (int c = 0; c < 3; ++c) {
                const double relative = std::clamp(light[c] * g, 0.0, 1.0);
                sample[c] = encode[static_cast<std::size_t>(std::lround(relative * kEncodeSteps))];
            }
            std::memcpy(row + std::size_t(x) * channels * 2, sample, sizeof sample);
        }
        if (observer)
            observer->row(observed.data(), row, channels);
    }
}

}  // namespace pictavo::imageio
