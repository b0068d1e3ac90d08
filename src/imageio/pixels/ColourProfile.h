#pragma once

#include <cstdint>
#include <vector>

namespace pictavo::imageio {

// Chromaticities (CIE xy) of an RGB colour space's primaries and white point.
struct Chromaticities {
    double redX, redY, greenX, greenY, blueX, blueY, whiteX, whiteY;
};

// The luminance weights of an RGB space (the Y row of its RGB -> XYZ matrix);
// BT.2020's when the primaries are degenerate.
void lumaCoefficients(const Chromaticities& chromaticities, double out[3]);

// How the colour values of a source are encoded, as HEIF's `nclx` box says it
// (ITU-T H.273 code points).
enum class TransferCurve {
    srgb,     // sRGB, BT.709, BT.601, BT.2020 (10/12-bit) and unspecified: shown as sRGB
    linear,   // 8
    gamma22,  // 4 (BT.470 System M)
    gamma28,  // 5 (BT.470 System B, G)
    pq,       // 16 (SMPTE ST 2084, HDR)
    hlg,      // 18 (ARIB STD-B67, HDR)
};

TransferCurve transferCurveFromNclx(std::uint16_t transferCharacteristics);

// True for the primaries that sRGB shares: BT.709 (1) and unspecified (2).
bool primariesAreSrgb(std::uint16_t colourPrimaries);

// A matrix/TRC ICC profile (built with lcms2) for the given primaries and a
// display curve (srgb, linear, gamma22 or gamma28). `description` goes into
// the profile's description tag. Empty on failure.
std::vector<std::uint8_t> buildRgbIccProfile(const Chromaticities& chromaticities, TransferCurve curve,
                                             const char* description);

// The ICC profile that describes pixels of an `nclx`-only source once they are
// RGB with `curve` applied: empty when that is plain sRGB (sRGB-like primaries
// and curve), otherwise a profile with the source's own primaries.
std::vector<std::uint8_t> iccProfileForNclx(std::uint16_t colourPrimaries, const Chromaticities& chromaticities,
                                            TransferCurve curve);

// The colour space signature of an ICC profile (bytes 16..19), e.g. 'RGB ' or
// 'GRAY'; 0 when the data is too short to be a profile.
std::uint32_t iccColourSpace(const std::vector<std::uint8_t>& icc);
inline constexpr std::uint32_t kIccRgb = 0x52474220;   // 'RGB '
inline constexpr std::uint32_t kIccGray = 0x47524159;  // 'GRAY'

}  // namespace pictavo::imageio
