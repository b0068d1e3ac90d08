#include "imageio/heif/WholeImageDecode.h"

#include "imageio/heif/HeifColour.h"
#include "imageio/heif/HeifMetadata.h"
#include "imageio/heif/PlanarRgbDecode.h"
#include "imageio/heif/SecurityLimits.h"
#include "imageio/pixels/SampleOperations.h"
#include "imageio/pixels/ToneMapping.h"

#include <algorithm>
#include <bit>
#include <optional>
#include <vector>

namespace pictavo::imageio {

namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// What the image holds, and so what libheif is asked for.
struct Layout {
    heif_chroma preferredChroma = heif_chroma_undefined;
    bool grey = false;
    bool alpha = false;
    bool deep = false;  // decoded to 16-bit samples
    std::vector<std::uint8_t> icc;
    HeifNclxPtr nclx;  // the handle's, when it has no ICC profile
};

// None when the image is empty or larger than the security limits allow.
std::optional<Layout> layoutOf(const heif_image_handle* handle)
{
    if (!isDecodableSize(heif_image_handle_get_width(handle), heif_image_handle_get_height(handle)))
        return std::nullopt;
    Layout layout;
    heif_colorspace preferredSpace = heif_colorspace_undefined;
    heif_image_handle_get_preferred_decoding_colorspace(handle, &preferredSpace, &layout.preferredChroma);
    layout.grey = preferredSpace == heif_colorspace_monochrome;
    layout.alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    layout.icc = handleIcc(handle);
    layout.nclx = layout.icc.empty() ? handleNclx(handle) : nullptr;
    layout.deep = heif_image_handle_get_luma_bits_per_pixel(handle) > 8 || (!layout.grey && isHdr(layout.nclx.get()));
    return layout;
}

heif_chroma decodedChroma(const Layout& layout)
{
    if (layout.grey)
        return heif_chroma_monochrome;
    if (!layout.deep)
        return layout.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    if (layout.alpha)
        return kLittleEndian ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBBAA_BE;
    return kLittleEndian ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RRGGBB_BE;
}

// The decoded image; for 8-bit colour that may be converted here, its
// planes, with the RGB in `convertedRgb`. libheif converts YCbCr to RGB with
// the matrix and range the file declares (nclx box, else the HEVC stream's
// VUI) and applies irot, imir and clap, so the pixels arrive upright.
std::shared_ptr<heif_image> decodePixels(const heif_image_handle* handle, const Layout& layout,
                                         std::shared_ptr<std::uint8_t[]>& convertedRgb)
{
    const HeifOptionsPtr options(heif_decoding_options_alloc());
    if (!options)
        return nullptr;
    options->ignore_transformations = 0;
    options->convert_hdr_to_8bit = 0;
    if (!layout.grey && !layout.alpha && !layout.deep && mayConvertHere(handle, layout.preferredChroma)) {
        std::shared_ptr<heif_image> planar = decodeAndConvert(handle, options.get(), convertedRgb);
        if (convertedRgb)
            return planar;
    }
    return decodeImage(handle, layout.grey ? heif_colorspace_monochrome : heif_colorspace_RGB, decodedChroma(layout),
                       options.get());
}

// A grey plane comes at the depth its stream holds, which need not be the one
// the file's header declares.
bool takeGrey(const std::shared_ptr<heif_image>& image, DecodedImage& decoded)
{
    int stride = 0;
    std::uint8_t* luma = heif_image_get_plane(image.get(), heif_channel_Y, &stride);
    if (!luma || stride <= 0)
        return false;
    decoded.bitsPerSample = heif_image_get_bits_per_pixel(image.get(), heif_channel_Y) > 8 ? 16 : 8;
    if (decoded.bitsPerSample == 16)
        expandTo16Bits(luma, stride, decoded.width, decoded.height, 1,
                       heif_image_get_bits_per_pixel_range(image.get(), heif_channel_Y));
    decoded.channels = 1;
    decoded.data = luma;
    decoded.stride = static_cast<std::size_t>(stride);
    decoded.owner = image;
    return true;
}

// Grey and alpha come as two planes, whose depths may differ: interleaved,
// each scaled to the output depth, into a buffer of our own.
bool interleaveGreyAndAlpha(const heif_image* image, DecodedImage& decoded)
{
    SamplePlane planes[2];
    const heif_channel channels[2] = {heif_channel_Y, heif_channel_Alpha};
    for (int c = 0; c < 2; ++c) {
        int stride = 0;
        planes[c].data = heif_image_get_plane_readonly(image, channels[c], &stride);
        if (!planes[c].data || stride <= 0)
            return false;
        const int range = std::clamp(heif_image_get_bits_per_pixel_range(image, channels[c]), 1, 16);
        planes[c].stride = std::size_t(stride);
        planes[c].wide = heif_image_get_bits_per_pixel(image, channels[c]) > 8;
        planes[c].max = (1u << range) - 1;
    }
    const bool deep = decoded.bitsPerSample == 16;
    decoded.channels = 2;
    decoded.stride = std::size_t(decoded.width) * 2 * (deep ? 2 : 1);
    auto buffer = std::make_shared<std::vector<std::uint8_t>>(decoded.stride * decoded.height);
    interleavePlanes(planes, decoded.width, decoded.height, deep, buffer->data(), decoded.stride);
    decoded.data = buffer->data();
    decoded.owner = buffer;
    return true;
}

bool takeInterleaved(const std::shared_ptr<heif_image>& image, bool alpha, DecodedImage& decoded)
{
    int stride = 0;
    std::uint8_t* pixels = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    if (!pixels || stride <= 0)
        return false;
    decoded.channels = alpha ? 4 : 3;
    decoded.data = pixels;
    decoded.stride = static_cast<std::size_t>(stride);
    decoded.owner = image;
    if (decoded.bitsPerSample == 16)
        expandTo16Bits(pixels, stride, decoded.width, decoded.height, decoded.channels,
                       heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved));
    return true;
}

// Puts the decoded samples into `decoded`, whose size and depth are set.
bool takePixels(const std::shared_ptr<heif_image>& image, std::shared_ptr<std::uint8_t[]> convertedRgb,
                const Layout& layout, DecodedImage& decoded)
{
    if (convertedRgb) {
        decoded.channels = 3;
        decoded.data = convertedRgb.get();
        decoded.stride = std::size_t(decoded.width) * 3;
        decoded.owner = std::move(convertedRgb);
        return true;
    }
    if (!layout.grey)
        return takeInterleaved(image, layout.alpha, decoded);
    return layout.alpha ? interleaveGreyAndAlpha(image.get(), decoded) : takeGrey(image, decoded);
}

// HDR without an embedded profile is tone-mapped to SDR, its rows shown to
// `observer` when given. The nclx that describes the colour is left in `layout`.
void toneMapHdr(const heif_image_handle* handle, const heif_image* image, Layout& layout, DecodedImage& decoded,
                ToneMappingObserver* observer)
{
    if (!layout.icc.empty() || layout.grey)
        return;
    if (!layout.nclx)
        layout.nclx = imageNclx(image);
    const heif_color_profile_nclx* nclx = layout.nclx.get();
    const TransferCurve curve = nclx ? transferCurveFromNclx(nclx->transfer_characteristics) : TransferCurve::srgb;
    if ((curve != TransferCurve::pq && curve != TransferCurve::hlg) || !layout.deep)
        return;
    double luma[3];
    lumaCoefficients(chromaticitiesOf(*nclx), luma);
    toneMapToSdr(const_cast<std::uint8_t*>(decoded.data), decoded.stride, decoded.width, decoded.height,
                 decoded.channels, curve == TransferCurve::pq ? HdrTransfer::pq : HdrTransfer::hlg,
                 declaredPeakNits(handle).value_or(kDefaultHdrPeakNits), luma, observer);
}

}  // namespace

std::unique_ptr<DecodedImage> decodeWhole(const heif_image_handle* handle, ToneMappingObserver* observer)
{
    std::optional<Layout> layout = layoutOf(handle);
    if (!layout)
        return nullptr;
    std::shared_ptr<std::uint8_t[]> convertedRgb;
    const std::shared_ptr<heif_image> image = decodePixels(handle, *layout, convertedRgb);
    if (!image)
        return nullptr;

    auto decoded = std::make_unique<DecodedImage>();
    decoded->width = static_cast<std::uint32_t>(heif_image_get_primary_width(image.get()));
    decoded->height = static_cast<std::uint32_t>(heif_image_get_primary_height(image.get()));
    decoded->bitsPerSample = layout->deep ? 16 : 8;
    if (!takePixels(image, std::move(convertedRgb), *layout, *decoded))
        return nullptr;
    if (layout->alpha && heif_image_handle_is_premultiplied_alpha(handle))
        unpremultiply(const_cast<std::uint8_t*>(decoded->data), decoded->stride, decoded->width, decoded->height,
                      decoded->channels, decoded->bitsPerSample);
    toneMapHdr(handle, image.get(), *layout, *decoded, observer);
    decoded->icc = outputProfile(std::move(layout->icc), layout->nclx.get(), layout->grey);
    decoded->exif = readExif(handle);
    decoded->xmp = readXmp(handle);
    return decoded;
}

}  // namespace pictavo::imageio
