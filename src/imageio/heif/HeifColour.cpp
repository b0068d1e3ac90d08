#include "imageio/heif/HeifColour.h"

#include "imageio/pixels/ToneMapping.h"

namespace pictavo::imageio {

HeifNclxPtr handleNclx(const heif_image_handle* handle)
{
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok)
        return nullptr;
    return HeifNclxPtr(nclx);
}

HeifNclxPtr imageNclx(const heif_image* image)
{
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_get_nclx_color_profile(image, &nclx).code != heif_error_Ok)
        return nullptr;
    return HeifNclxPtr(nclx);
}

std::vector<std::uint8_t> handleIcc(const heif_image_handle* handle)
{
    const std::size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size == 0)
        return {};
    std::vector<std::uint8_t> icc(size);
    if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
        return {};
    return icc;
}

bool isHdr(const heif_color_profile_nclx* nclx)
{
    if (!nclx)
        return false;
    const TransferCurve curve = transferCurveFromNclx(nclx->transfer_characteristics);
    return curve == TransferCurve::pq || curve == TransferCurve::hlg;
}

Chromaticities chromaticitiesOf(const heif_color_profile_nclx& n)
{
    return {n.color_primary_red_x,   n.color_primary_red_y,  n.color_primary_green_x, n.color_primary_green_y,
            n.color_primary_blue_x,  n.color_primary_blue_y, n.color_primary_white_x, n.color_primary_white_y};
}

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

std::vector<std::uint8_t> outputProfile(std::vector<std::uint8_t> icc, const heif_color_profile_nclx* nclx, bool grey)
{
    if (!icc.empty())
        return iccColourSpace(icc) == (grey ? kIccGray : kIccRgb) ? icc : std::vector<std::uint8_t>{};
    if (grey || !nclx)
        return {};
    TransferCurve curve = transferCurveFromNclx(nclx->transfer_characteristics);
    if (curve == TransferCurve::pq || curve == TransferCurve::hlg)
        curve = TransferCurve::srgb;
    return iccProfileForNclx(nclx->color_primaries, chromaticitiesOf(*nclx), curve);
}

}  // namespace pictavo::imageio
