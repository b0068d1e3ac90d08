// Pieces of the decoder that work on numbers alone: ICC profiles built for
// nclx colour, HDR tone mapping, sample scaling and un-premultiplying, and the
// security limits.

#include "imageio/ColourProfile.h"
#include "imageio/HeifDecoding.h"
#include "imageio/SecurityLimits.h"
#include "imageio/ToneMapping.h"

#include <libheif/heif.h>
#include <lcms2.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

namespace pictavo::imageio {
namespace {

constexpr Chromaticities kDisplayP3{0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.3127, 0.3290};

double srgbDecode(double v)
{
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

TEST(DecodeColour, TransferCurvesFromNclx)
{
    for (std::uint16_t srgbLike : {1, 2, 6, 13, 14, 15})
        EXPECT_EQ(transferCurveFromNclx(srgbLike), TransferCurve::srgb) << srgbLike;
    EXPECT_EQ(transferCurveFromNclx(8), TransferCurve::linear);
    EXPECT_EQ(transferCurveFromNclx(16), TransferCurve::pq);
    EXPECT_EQ(transferCurveFromNclx(18), TransferCurve::hlg);
    EXPECT_TRUE(primariesAreSrgb(1));
    EXPECT_TRUE(primariesAreSrgb(2));
    EXPECT_FALSE(primariesAreSrgb(9));
    EXPECT_FALSE(primariesAreSrgb(12));
}

TEST(DecodeColour, DisplayP3ProfileConvertsLikeTheP3ToSrgbMatrix)
{
    const std::vector<std::uint8_t> icc = buildRgbIccProfile(kDisplayP3, TransferCurve::srgb, "Display P3");
    ASSERT_FALSE(icc.empty());
    EXPECT_EQ(iccColourSpace(icc), kIccRgb);
    cmsHPROFILE p3 = cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()));
    ASSERT_TRUE(p3);
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform =
        cmsCreateTransform(p3, TYPE_RGB_DBL, srgb, TYPE_RGB_DBL, INTENT_RELATIVE_COLORIMETRIC, 0);
    ASSERT_TRUE(transform);
    // Linear P3 (0.5, 0.6, 0.4) is linear sRGB (0.4777, 0.6041, 0.3821) (P3 -> sRGB matrix, both D65).
    const double linearP3[3] = {0.5, 0.6, 0.4};
    const double expected[3] = {0.4777, 0.6041, 0.3821};
    double in[3], out[3];
    for (int c = 0; c < 3; ++c)
        in[c] = srgbEncode(linearP3[c]);
    cmsDoTransform(transform, in, out, 1);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(srgbDecode(out[c]), expected[c], 0.006) << c;
    cmsDeleteTransform(transform);
    cmsCloseProfile(srgb);
    cmsCloseProfile(p3);
}

TEST(DecodeColour, NclxProfilesOnlyWhenNotSrgb)
{
    EXPECT_TRUE(iccProfileForNclx(1, kDisplayP3, TransferCurve::srgb).empty());
    EXPECT_TRUE(iccProfileForNclx(2, kDisplayP3, TransferCurve::srgb).empty());
    EXPECT_FALSE(iccProfileForNclx(12, kDisplayP3, TransferCurve::srgb).empty());
    // sRGB primaries with a linear curve are not sRGB.
    EXPECT_FALSE(iccProfileForNclx(1, kDisplayP3, TransferCurve::linear).empty());
}

TEST(DecodeTone, PqCurveRoundTrips)
{
    EXPECT_NEAR(pqToNits(1.0), 10000.0, 0.01);
    EXPECT_NEAR(pqToNits(0.0), 0.0, 1e-9);
    for (double nits : {0.1, 1.0, 100.0, 203.0, 1000.0, 4000.0})
        EXPECT_NEAR(pqToNits(nitsToPq(nits)), nits, nits * 1e-6);
    EXPECT_NEAR(nitsToPq(100.0), 0.5081, 0.0005);
}

TEST(DecodeTone, Bt2390EetfKeepsShadowsAndRollsOffHighlights)
{
    // Below the knee the light is unchanged; the source peak meets the target peak; monotonic.
    EXPECT_NEAR(bt2390Eetf(10.0, 1000.0, kSdrWhiteNits), 10.0, 1e-6);
    EXPECT_NEAR(bt2390Eetf(1000.0, 1000.0, kSdrWhiteNits), kSdrWhiteNits, 0.5);
    double previous = 0;
    for (double nits = 0.5; nits <= 1000.0; nits *= 1.1) {
        const double mapped = bt2390Eetf(nits, 1000.0, kSdrWhiteNits);
        EXPECT_GE(mapped, previous);
        EXPECT_LE(mapped, kSdrWhiteNits);
        previous = mapped;
    }
    // Reference white stays bright but below full scale, leaving room for highlights.
    const double white = bt2390Eetf(203.0, 1000.0, kSdrWhiteNits) / kSdrWhiteNits;
    EXPECT_GT(white, 0.6);
    EXPECT_LT(white, 0.95);
}

TEST(DecodeTone, ToneMappingKeepsHueAndAlpha)
{
    // One RGBA pixel: a saturated orange at 600 cd/m² in PQ, alpha 1234.
    std::uint16_t pixel[4] = {std::uint16_t(std::lround(nitsToPq(600) * 65535)),
                              std::uint16_t(std::lround(nitsToPq(150) * 65535)), 0, 1234};
    const double luma[3] = {0.2627, 0.6780, 0.0593};
    toneMapToSdr(reinterpret_cast<std::uint8_t*>(pixel), sizeof pixel, 1, 1, 4, HdrTransfer::pq, 1000, luma);
    EXPECT_EQ(pixel[3], 1234);
    EXPECT_EQ(pixel[2], 0);
    EXPECT_GT(pixel[0], 50000);
    EXPECT_LT(pixel[0], 65535);
    // Red : green light ratio 4 : 1 survives (compare in linear light).
    const double r = std::pow(pixel[0] / 65535.0, 2.2), g = std::pow(pixel[1] / 65535.0, 2.2);
    EXPECT_NEAR(r / g, 4.0, 0.4);
}

TEST(DecodeSamples, ExpandTo16BitsSpansTheFullRangeWithRounding)
{
    std::uint16_t samples[4] = {0, 1, 512, 1023};
    expandTo16Bits(reinterpret_cast<std::uint8_t*>(samples), sizeof samples, 4, 1, 1, 10);
    EXPECT_EQ(samples[0], 0);
    EXPECT_EQ(samples[1], 64);  // 65535 / 1023 = 64.06
    EXPECT_EQ(samples[2], 32800);  // 512 * 64.06 = 32799.9
    EXPECT_EQ(samples[3], 65535);
}

TEST(DecodeSamples, UnpremultiplyDividesByAlpha)
{
    std::uint8_t rgba[12] = {100, 50, 0, 200, 10, 10, 10, 0, 255, 255, 255, 255};
    unpremultiply(rgba, sizeof rgba, 3, 1, 4, 8);
    EXPECT_EQ(rgba[0], 128);  // 100 * 255 / 200 = 127.5
    EXPECT_EQ(rgba[1], 64);
    EXPECT_EQ(rgba[2], 0);
    EXPECT_EQ(rgba[3], 200);
    EXPECT_EQ(rgba[4], 0);  // transparent: colour is gone
    EXPECT_EQ(rgba[8], 255);
    std::uint16_t greyAlpha[2] = {30000, 60000};
    unpremultiply(reinterpret_cast<std::uint8_t*>(greyAlpha), sizeof greyAlpha, 1, 1, 2, 16);
    EXPECT_EQ(greyAlpha[0], 32768);  // 30000 * 65535 / 60000 = 32767.5
}

TEST(DecodeLimits, AllowTwoHundredMegapixelPhotosButNotAbsurdOnes)
{
    std::unique_ptr<heif_context, void (*)(heif_context*)> context(heif_context_alloc(), heif_context_free);
    applySecurityLimits(context.get());
    const heif_security_limits* limits = heif_context_get_security_limits(context.get());
    ASSERT_TRUE(limits);
    const std::uint64_t photo = 12240ull * 16320ull;
    EXPECT_GE(limits->max_image_size_pixels, photo);
    EXPECT_GE(limits->max_memory_block_size, photo * 4 * 2);  // 16-bit RGBA
    EXPECT_LT(limits->max_image_size_pixels, 60000ull * 60000ull);
    EXPECT_GE(limits->max_items, 1000u);
}

}  // namespace
}  // namespace pictavo::imageio
