#include "imageio/heif/PlanarRgbDecode.h"

#include "imageio/heif/HeifColour.h"
#include "imageio/heif/HeifDecoding.h"
#include "imageio/heif/ImageTransform.h"
#include "imageio/pixels/LargeBuffers.h"
#include "imageio/pixels/YCbCrToRgb.h"

#include <algorithm>
#include <optional>
#include <thread>

namespace pictavo::imageio {

bool mayConvertHere(const heif_image_handle* handle, heif_chroma preferredChroma)
{
    if (preferredChroma != heif_chroma_420 || heif_image_handle_get_luma_bits_per_pixel(handle) != 8 ||
        heif_image_handle_get_chroma_bits_per_pixel(handle) != 8)
        return false;
    // libheif does not always rotate, mirror or crop 4:2:0 planes to the same
    // pixels it gives after converting: transformed images are left to it.
    if (!isStoredUpright(handle))
        return false;
    HeifNclxPtr nclx = handleNclx(handle);
    return !nclx || (nclx->full_range_flag && ycbcrMatrix(nclx->matrix_coefficients));
}

std::shared_ptr<heif_image> decodeAndConvert(const heif_image_handle* handle, const heif_decoding_options* options,
                                             std::shared_ptr<std::uint8_t[]>& rgb)
{
    HeifOptionsPtr stored(heif_decoding_options_alloc());
    if (!stored)
        return nullptr;
    stored->ignore_transformations = options->ignore_transformations;
    stored->convert_hdr_to_8bit = options->convert_hdr_to_8bit;
    keepStoredColours(stored.get());
    heif_image* raw = nullptr;
    if (heif_decode_image(handle, &raw, heif_colorspace_YCbCr, heif_chroma_420, stored.get()).code != heif_error_Ok ||
        !raw)
        return nullptr;
    std::shared_ptr<heif_image> planar(raw, heif_image_release);
    HeifNclxPtr nclx = imageNclx(planar.get());
    if (!nclx || !nclx->full_range_flag || heif_image_get_chroma_format(planar.get()) != heif_chroma_420)
        return nullptr;
    const std::optional<YCbCrMatrix> matrix = ycbcrMatrix(nclx->matrix_coefficients);
    if (!matrix)
        return nullptr;
    YCbCr420Planes planes;
    int yStride = 0, cbStride = 0, crStride = 0;
    planes.y = heif_image_get_plane_readonly(planar.get(), heif_channel_Y, &yStride);
    planes.cb = heif_image_get_plane_readonly(planar.get(), heif_channel_Cb, &cbStride);
    planes.cr = heif_image_get_plane_readonly(planar.get(), heif_channel_Cr, &crStride);
    planes.width = static_cast<std::uint32_t>(std::max(heif_image_get_primary_width(planar.get()), 0));
    planes.height = static_cast<std::uint32_t>(std::max(heif_image_get_primary_height(planar.get()), 0));
    for (heif_channel channel : {heif_channel_Y, heif_channel_Cb, heif_channel_Cr})
        if (heif_image_get_bits_per_pixel_range(planar.get(), channel) != 8)
            return nullptr;
    if (!planes.y || !planes.cb || !planes.cr || yStride <= 0 || cbStride <= 0 || crStride <= 0 ||
        heif_image_get_width(planar.get(), heif_channel_Y) < int(planes.width) ||
        heif_image_get_height(planar.get(), heif_channel_Y) < int(planes.height) ||
        heif_image_get_width(planar.get(), heif_channel_Cb) < int((planes.width + 1) / 2) ||
        heif_image_get_height(planar.get(), heif_channel_Cb) < int((planes.height + 1) / 2) ||
        heif_image_get_width(planar.get(), heif_channel_Cr) < int((planes.width + 1) / 2) ||
        heif_image_get_height(planar.get(), heif_channel_Cr) < int((planes.height + 1) / 2))
        return nullptr;
    planes.yStride = std::size_t(yStride);
    planes.cbStride = std::size_t(cbStride);
    planes.crStride = std::size_t(crStride);
    std::shared_ptr<std::uint8_t[]> converted = allocateImageBuffer(std::size_t(planes.width) * 3 * planes.height);
    if (!converted)
        return nullptr;
    convertYCbCr420ToRgb(planes, *matrix, converted.get(), std::size_t(planes.width) * 3,
                         std::max(1u, std::thread::hardware_concurrency()));
    rgb = std::move(converted);
    return planar;
}

}  // namespace pictavo::imageio
