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

namespace {

// The plane of `channel` when it holds 8-bit samples for at least `width` ×
// `height`; nullptr otherwise.
const std::uint8_t* eightBitPlane(const heif_image* image, heif_channel channel, std::uint32_t width,
                                  std::uint32_t height, std::size_t& stride)
{
    int bytes = 0;
    const std::uint8_t* plane = heif_image_get_plane_readonly(image, channel, &bytes);
    if (!plane || bytes <= 0 || heif_image_get_bits_per_pixel_range(image, channel) != 8 ||
        heif_image_get_width(image, channel) < int(width) || heif_image_get_height(image, channel) < int(height))
        return nullptr;
    stride = std::size_t(bytes);
    return plane;
}

}  // namespace

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
    std::shared_ptr<heif_image> planar = decodeImage(handle, heif_colorspace_YCbCr, heif_chroma_420, stored.get());
    if (!planar)
        return nullptr;
    HeifNclxPtr nclx = imageNclx(planar.get());
    if (!nclx || !nclx->full_range_flag || heif_image_get_chroma_format(planar.get()) != heif_chroma_420)
        return nullptr;
    const std::optional<YCbCrMatrix> matrix = ycbcrMatrix(nclx->matrix_coefficients);
    if (!matrix)
        return nullptr;
    YCbCr420Planes planes;
    planes.width = static_cast<std::uint32_t>(std::max(heif_image_get_primary_width(planar.get()), 0));
    planes.height = static_cast<std::uint32_t>(std::max(heif_image_get_primary_height(planar.get()), 0));
    const std::uint32_t chromaWidth = (planes.width + 1) / 2, chromaHeight = (planes.height + 1) / 2;
    planes.y = eightBitPlane(planar.get(), heif_channel_Y, planes.width, planes.height, planes.yStride);
    planes.cb = eightBitPlane(planar.get(), heif_channel_Cb, chromaWidth, chromaHeight, planes.cbStride);
    planes.cr = eightBitPlane(planar.get(), heif_channel_Cr, chromaWidth, chromaHeight, planes.crStride);
    if (!planes.y || !planes.cb || !planes.cr)
        return nullptr;
    std::shared_ptr<std::uint8_t[]> converted = allocateImageBuffer(std::size_t(planes.width) * 3 * planes.height);
    if (!converted)
        return nullptr;
    convertYCbCr420ToRgb(planes, *matrix, converted.get(), std::size_t(planes.width) * 3,
                         std::max(1u, std::thread::hardware_concurrency()));
    rgb = std::move(converted);
    return planar;
}

}  // namespace pictavo::imageio
