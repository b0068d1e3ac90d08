#include "imageio/heif/ParallelHevcDecoder.h"

#include "imageio/heif/SecurityLimits.h"

#include <libde265/de265.h>
#include <libheif/heif_plugin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>

namespace pictavo::imageio {

namespace {

constexpr heif_error kOk{heif_error_Ok, heif_suberror_Unspecified, "Success"};
constexpr heif_error kTruncated{heif_error_Decoder_plugin_error, heif_suberror_End_of_data, "NAL unit runs past its data"};
constexpr heif_error kNoPicture{heif_error_Decoder_plugin_error, heif_suberror_Unspecified, "no picture decoded"};
constexpr heif_error kUnsupported{heif_error_Unsupported_feature, heif_suberror_Unsupported_color_conversion,
                                  "planes of different depths or sizes"};

// Below libheif's own libde265 decoder (100): never chosen unless named.
constexpr int kPriority = 1;

const char* name()
{
    return "libde265 HEVC decoder, one picture on every core";
}

int supports(heif_compression_format format)
{
    return format == heif_compression_HEVC ? kPriority : 0;
}

heif_error newDecoder(void** decoder)
{
    de265_decoder_context* context = de265_new_decoder();
    if (!context)
        return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "no decoder"};
    de265_start_worker_threads(context, int(std::max(1u, std::thread::hardware_concurrency())));
    *decoder = context;
    return kOk;
}

void freeDecoder(void* decoder)
{
    de265_free_decoder(static_cast<de265_decoder_context*>(decoder));
}

// libheif hands over NAL units, each after its size in 4 bytes.
heif_error pushData(void* decoder, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t at = 0; at < size;) {
        if (size - at < 4)
            return kTruncated;
        const std::uint32_t length = std::uint32_t(bytes[at]) << 24 | std::uint32_t(bytes[at + 1]) << 16 |
                                     std::uint32_t(bytes[at + 2]) << 8 | bytes[at + 3];
        at += 4;
        if (length > size - at || length > std::uint32_t(INT32_MAX))
            return kTruncated;
        if (de265_push_NAL(static_cast<de265_decoder_context*>(decoder), bytes + at, int(length), 0, nullptr) != DE265_OK)
            return {heif_error_Memory_allocation_error, heif_suberror_Unspecified, "NAL unit not taken"};
        at += length;
    }
    return kOk;
}

// The picture as libheif's own libde265 decoder gives it: its planes at
// their depth, with the colour description its stream declares.
heif_error toHeifImage(const de265_image* picture, heif_image** out)
{
    const de265_chroma chroma = de265_get_chroma_format(picture);
    const bool grey = chroma == de265_chroma_mono;
    const int width = de265_get_image_width(picture, 0), height = de265_get_image_height(picture, 0);
    const int depth = de265_get_bits_per_pixel(picture, 0);
    if (!isDecodableSize(width, height))
        return {heif_error_Decoder_plugin_error, heif_suberror_Invalid_image_size, "picture size out of range"};
    heif_image* image = nullptr;
    heif_error error = heif_image_create(width, height, grey ? heif_colorspace_monochrome : heif_colorspace_YCbCr,
                                         static_cast<heif_chroma>(chroma), &image);
    if (error.code != heif_error_Ok)
        return error;
    static constexpr heif_channel kChannels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    for (int c = 0; c < (grey ? 1 : 3); ++c) {
        const int planeWidth = de265_get_image_width(picture, c), planeHeight = de265_get_image_height(picture, c);
        int stride = 0;
        const std::uint8_t* plane = de265_get_image_plane(picture, c, &stride);
        if (de265_get_bits_per_pixel(picture, c) != depth || planeWidth <= 0 || planeHeight <= 0 || !plane ||
            planeWidth > width || planeHeight > height) {
            heif_image_release(image);
            return kUnsupported;
        }
        error = heif_image_add_plane(image, kChannels[c], planeWidth, planeHeight, depth);
        int targetStride = 0;
        std::uint8_t* target =
            error.code == heif_error_Ok ? heif_image_get_plane(image, kChannels[c], &targetStride) : nullptr;
        if (!target) {
            heif_image_release(image);
            return error.code != heif_error_Ok ? error : kNoPicture;
        }
        const std::size_t rowBytes = std::size_t(planeWidth) * ((depth + 7) / 8);
        for (int y = 0; y < planeHeight; ++y)
            std::memcpy(target + std::size_t(y) * targetStride, plane + std::size_t(y) * stride, rowBytes);
    }
    if (heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc()) {
        heif_nclx_color_profile_set_color_primaries(nclx, std::uint16_t(de265_get_image_colour_primaries(picture)));
        heif_nclx_color_profile_set_transfer_characteristics(
            nclx, std::uint16_t(de265_get_image_transfer_characteristics(picture)));
        heif_nclx_color_profile_set_matrix_coefficients(nclx,
                                                        std::uint16_t(de265_get_image_matrix_coefficients(picture)));
        nclx->full_range_flag = std::uint8_t(de265_get_image_full_range_flag(picture) != 0);
        heif_image_set_nclx_color_profile(image, nclx);
        heif_nclx_color_profile_free(nclx);
    }
    *out = image;
    return kOk;
}

heif_error decodeImage(void* decoder, heif_image** out)
{
    auto* context = static_cast<de265_decoder_context*>(decoder);
    *out = nullptr;
    de265_flush_data(context);
    int more = 1;
    while (more) {
        more = 0;
        if (de265_decode(context, &more) != DE265_OK)
            break;
        if (const de265_image* picture = de265_get_next_picture(context)) {
            const heif_error error = toHeifImage(picture, out);
            de265_release_next_picture(context);
            return error;
        }
    }
    return kNoPicture;
}

void setStrictDecoding(void*, int) {}

// Version 3 of the interface; what later versions added stays empty.
heif_decoder_plugin makePlugin()
{
    heif_decoder_plugin plugin{};
    plugin.plugin_api_version = 3;
    plugin.get_plugin_name = name;
    plugin.does_support_format = supports;
    plugin.new_decoder = newDecoder;
    plugin.free_decoder = freeDecoder;
    plugin.push_data = pushData;
    plugin.decode_image = decodeImage;
    plugin.set_strict_decoding = setStrictDecoding;
    plugin.id_name = kParallelHevcDecoderId;
    return plugin;
}

const heif_decoder_plugin kPlugin = makePlugin();

}  // namespace

bool registerParallelHevcDecoder()
{
    if (kOptionsHaveCodecThreads)
        return false;
    return heif_register_decoder_plugin(&kPlugin).code == heif_error_Ok;
}

}  // namespace pictavo::imageio
