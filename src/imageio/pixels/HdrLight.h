#pragma once

#include "imageio/pixels/DecodedImage.h"
#include "imageio/pixels/ToneMapping.h"

#include <cstdint>
#include <vector>

namespace pictavo::imageio {

// Display light in cd/m² of one PQ signal value in 0..1 (SMPTE ST 2084's EOTF).
double pqSignalToNits(double signal);
// Its inverse: the PQ signal value in 0..1 of display light in cd/m².
double nitsToPqSignal(double nits);
// Scene light in 0..1 of one HLG signal value in 0..1 (BT.2100's inverse OETF).
double hlgSignalToScene(double signal);

// HLG's display light: BT.2100's OOTF for a 1000 cd/m² display, gamma 1.2.
inline constexpr double kHlgNominalPeakNits = 1000.0;
inline constexpr double kHlgSystemGamma = 1.2;

// Turns rows of a PQ or HLG picture, as decoded (16-bit signal samples
// spanning 0..65535, RGB or RGBA), into the display light the signal stands
// for, per channel, relative to SDR white (kSdrWhiteNits = 1): PQ through its
// EOTF, HLG through its inverse OETF and the OOTF with `luma`'s weights.
class HdrLight {
public:
    HdrLight(HdrTransfer transfer, const double luma[3]);

    // `width` pixels of `channels` 16-bit samples to 3 floats each.
    void row(const std::uint8_t* samples, std::uint32_t width, int channels, float* light) const;

private:
    HdrTransfer transfer_;
    double luma_[3];
    std::vector<float> fromCode_;  // PQ: relative display light; HLG: scene light
    std::vector<float> hlgScale_;  // HLG: the OOTF's factor at evenly spaced scene luminances
};

// The brightest channel of a PQ picture (16-bit signal samples), in cd/m².
double brightestPqNits(const DecodedImage& image);

}  // namespace pictavo::imageio
