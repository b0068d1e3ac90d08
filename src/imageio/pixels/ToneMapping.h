#pragma once

#include <cstddef>
#include <cstdint>

namespace pictavo::imageio {

enum class HdrTransfer { pq, hlg };

// Brightness of SDR white, in cd/m²: the HDR reference ("graphics") white of
// ITU-R BT.2408, 203 cd/m². HDR content at this level becomes SDR full scale.
inline constexpr double kSdrWhiteNits = 203.0;
// Peak assumed when a PQ source does not say (no content light level or
// mastering display box): 1000 cd/m², what phones and cameras master to. HLG's
// nominal peak is 1000 cd/m² by definition (BT.2100).
inline constexpr double kDefaultHdrPeakNits = 1000.0;

// Sees an HDR picture's rows as they are tone-mapped, for whoever needs its
// light beside its SDR rendition.
class ToneMappingObserver {
public:
    virtual ~ToneMappingObserver() = default;
    // Once, before the first row: the picture's size and curve and, for PQ,
    // its brightest channel in cd/m² (0 for HLG).
    virtual void begin(std::uint32_t width, std::uint32_t height, HdrTransfer transfer, double brightestNits) = 0;
    // Each row in turn: the display light its signal stands for, per channel
    // relative to SDR white (3 floats a pixel), and the row once tone-mapped
    // (16-bit samples, `channels` a pixel).
    virtual void row(const float* light, const std::uint8_t* sdr, int channels) = 0;
};

// Tone-maps an HDR picture to SDR, in place.
//
// Input: 16-bit samples spanning 0..65535, RGB or RGBA (alpha is left alone),
// non-linear PQ or HLG signal values in the source's RGB primaries.
// Output: the same primaries, encoded with the sRGB transfer curve, so the
// picture is tagged with an ICC profile of the source primaries and the sRGB
// curve.
//
// Method: ITU-R BT.2390's EETF (the Hermite-spline "knee" roll-off that the
// HDR standards themselves define for showing PQ content on a less bright
// display), mapping the source peak down to SDR white (kSdrWhiteNits). Below the
// knee the light is kept exactly; above it highlights are compressed smoothly
// up to the source peak instead of clipping. The curve is applied to each
// pixel's max(R, G, B) in display light and all three channels are scaled by
// the same factor, so hue and saturation are kept and no channel can exceed
// white (the maxRGB approach of SMPTE ST 2094-40). HLG is first brought to
// display light with BT.2100's inverse OETF and OOTF (gamma 1.2 at 1000 cd/m²).
// The source peak of PQ is the larger of `sourcePeakNits` (from the file's
// content light level or mastering display, else kDefaultHdrPeakNits) and the
// brightest sample actually present, so nothing clips.
// A standard curve rather than an ad-hoc one: its behaviour is documented,
// predictable and matches what HDR-aware viewers do.
// `observer`, when given, sees every row.
void toneMapToSdr(std::uint8_t* data, std::size_t stride, std::uint32_t width, std::uint32_t height, int channels,
                  HdrTransfer transfer, double sourcePeakNits, const double lumaCoefficients[3],
                  ToneMappingObserver* observer = nullptr);

}  // namespace pictavo::imageio
