#include "imageio/pixels/ColourProfile.h"

#include <lcms2.h>

#include <algorithm>
#include <iterator>
#include <memory>
#include <string>

namespace pictavo::imageio {

TransferCurve transferCurveFromNclx(std::uint16_t transferCharacteristics)
{
    switch (transferCharacteristics) {
    case 4:
        return TransferCurve::gamma22;
    case 5:
        return TransferCurve::gamma28;
    case 8:
        return TransferCurve::linear;
    case 16:
        return TransferCurve::pq;
    case 18:
        return TransferCurve::hlg;
    default:
        // 1 BT.709, 6 BT.601, 13 sRGB, 14/15 BT.2020, 2 unspecified and the
        // rare rest: every viewer shows these as sRGB, so do we.
        return TransferCurve::srgb;
    }
}

bool primariesAreSrgb(std::uint16_t colourPrimaries)
{
    return colourPrimaries == 1 || colourPrimaries == 2;
}

namespace {

struct ProfileCloser {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct CurveFreer {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
struct MluFreer {
    void operator()(cmsMLU* mlu) const { cmsMLUfree(mlu); }
};

std::unique_ptr<cmsToneCurve, CurveFreer> toneCurve(TransferCurve curve)
{
    switch (curve) {
    case TransferCurve::linear: {
        const cmsFloat64Number gamma[] = {1.0};
        return std::unique_ptr<cmsToneCurve, CurveFreer>(cmsBuildParametricToneCurve(nullptr, 1, gamma));
    }
    case TransferCurve::gamma22:
    case TransferCurve::gamma28: {
        const cmsFloat64Number gamma[] = {curve == TransferCurve::gamma22 ? 2.2 : 2.8};
        return std::unique_ptr<cmsToneCurve, CurveFreer>(cmsBuildParametricToneCurve(nullptr, 1, gamma));
    }
    default: {
        // IEC 61966-2-1 (sRGB): Y = ((X + 0.055) / 1.055)^2.4 above 0.04045, X / 12.92 below.
        const cmsFloat64Number srgb[] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
        return std::unique_ptr<cmsToneCurve, CurveFreer>(cmsBuildParametricToneCurve(nullptr, 4, srgb));
    }
    }
}

bool setText(cmsHPROFILE profile, cmsTagSignature tag, const char* text)
{
    std::unique_ptr<cmsMLU, MluFreer> mlu(cmsMLUalloc(nullptr, 1));
    return mlu && cmsMLUsetASCII(mlu.get(), "en", "US", text) && cmsWriteTag(profile, tag, mlu.get());
}

}  // namespace

std::vector<std::uint8_t> buildRgbIccProfile(const Chromaticities& c, TransferCurve curve, const char* description)
{
    const cmsCIExyY white{c.whiteX, c.whiteY, 1.0};
    const cmsCIExyYTRIPLE primaries{{c.redX, c.redY, 1.0}, {c.greenX, c.greenY, 1.0}, {c.blueX, c.blueY, 1.0}};
    auto trc = toneCurve(curve);
    if (!trc)
        return {};
    cmsToneCurve* curves[3] = {trc.get(), trc.get(), trc.get()};
    // lcms2 adapts the primaries to the D50 connection space (Bradford) and
    // records the adaptation in the profile's chad tag.
    std::unique_ptr<void, ProfileCloser> profile(cmsCreateRGBProfile(&white, &primaries, curves));
    if (!profile)
        return {};
    cmsSetProfileVersion(profile.get(), 4.3);
    cmsSetDeviceClass(profile.get(), cmsSigDisplayClass);
    if (!setText(profile.get(), cmsSigProfileDescriptionTag, description) ||
        !setText(profile.get(), cmsSigCopyrightTag, "No copyright, use freely"))
        return {};
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0)
        return {};
    std::vector<std::uint8_t> bytes(size);
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size))
        return {};
    bytes.resize(size);
    // lcms2 stamps the header with the current time; a fixed date keeps the
    // same photo's output the same file. No profile ID is computed over it.
    static constexpr std::uint8_t kCreated[12] = {0x07, 0xE8, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};  // 2024-01-01 00:00:00
    if (bytes.size() >= 36)
        std::copy(std::begin(kCreated), std::end(kCreated), bytes.begin() + 24);
    return bytes;
}

std::vector<std::uint8_t> iccProfileForNclx(std::uint16_t colourPrimaries, const Chromaticities& chromaticities,
                                            TransferCurve curve)
{
    if (primariesAreSrgb(colourPrimaries) && curve == TransferCurve::srgb)
        return {};
    std::string description;
    switch (colourPrimaries) {
    case 9:
        description = "ITU-R BT.2020";
        break;
    case 11:
        description = "DCI-P3";
        break;
    case 12:
        description = "Display P3";
        break;
    case 1:
    case 2:
        description = "sRGB primaries";
        break;
    default:
        description = "RGB (H.273 colour primaries " + std::to_string(colourPrimaries) + ")";
        break;
    }
    switch (curve) {
    case TransferCurve::linear:
        description += ", linear";
        break;
    case TransferCurve::gamma22:
        description += ", gamma 2.2";
        break;
    case TransferCurve::gamma28:
        description += ", gamma 2.8";
        break;
    default:
        break;  // sRGB curve, also for tone-mapped HDR
    }
    Chromaticities c = chromaticities;
    if (primariesAreSrgb(colourPrimaries))  // unspecified primaries carry no usable numbers
        c = {0.640, 0.330, 0.300, 0.600, 0.150, 0.060, 0.3127, 0.3290};
    return buildRgbIccProfile(c, curve, description.c_str());
}

std::uint32_t iccColourSpace(const std::vector<std::uint8_t>& icc)
{
    if (icc.size() < 128)
        return 0;
    return (std::uint32_t(icc[16]) << 24) | (std::uint32_t(icc[17]) << 16) | (std::uint32_t(icc[18]) << 8) |
           std::uint32_t(icc[19]);
}

void lumaCoefficients(const Chromaticities& c, double out[3])
{
    const double xr = c.redX / c.redY, zr = (1 - c.redX - c.redY) / c.redY;
    const double xg = c.greenX / c.greenY, zg = (1 - c.greenX - c.greenY) / c.greenY;
    const double xb = c.blueX / c.blueY, zb = (1 - c.blueX - c.blueY) / c.blueY;
    const double xw = c.whiteX / c.whiteY, zw = (1 - c.whiteX - c.whiteY) / c.whiteY;
    // Solve [xr xg xb; 1 1 1; zr zg zb] * S = [xw 1 zw] by Cramer's rule.
    const double det = xr * (zb - zg) - xg * (zb - zr) + xb * (zg - zr);
    if (det == 0) {
        out[0] = 0.2627, out[1] = 0.6780, out[2] = 0.0593;  // BT.2020
        return;
    }
    out[0] = (xw * (zb - zg) - xg * (zb * 1 - zw) + xb * (zg - zw)) / det;
    out[1] = (xr * (zb - zw) - xw * (zb - zr) + xb * (zw - zr)) / det;
    out[2] = (xr * (zw - zg) - xg * (zw - zr) + xw * (zg - zr)) / det;
}

}  // namespace pictavo::imageio
