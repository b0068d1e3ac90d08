#include "imageio/heif/HeifDecoding.h"

#include "imageio/pixels/ColourProfile.h"
#include "imageio/pixels/LargeBuffers.h"
#include "imageio/heif/SecurityLimits.h"
#include "imageio/heif/TiledYCbCrImage.h"
#include "imageio/pixels/ToneMapping.h"
#include "imageio/pixels/YCbCrToRgb.h"

#include <libheif/heif_properties.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <optional>
#include <string_view>
#include <thread>

namespace pictavo::imageio {

namespace {

template <typename T, void (*Release)(T*)>
struct Releaser {
    void operator()(T* p) const { Release(p); }
};
void releaseNclx(heif_color_profile_nclx* nclx) { heif_nclx_color_profile_free(nclx); }
void releaseOptions(heif_decoding_options* options) { heif_decoding_options_free(options); }
using NclxPtr = std::unique_ptr<heif_color_profile_nclx, Releaser<heif_color_profile_nclx, releaseNclx>>;
using OptionsPtr = std::unique_ptr<heif_decoding_options, Releaser<heif_decoding_options, releaseOptions>>;

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

NclxPtr handleNclx(const heif_image_handle* handle)
{
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code != heif_error_Ok)
        return nullptr;
    return NclxPtr(nclx);
}

NclxPtr imageNclx(const heif_image* image)
{
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_get_nclx_color_profile(image, &nclx).code != heif_error_Ok)
        return nullptr;
    return NclxPtr(nclx);
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

// The luminance weights of an RGB space (the Y row of its RGB -> XYZ matrix).
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

double hdrPeakNits(const heif_image* image)
{
    if (heif_image_has_content_light_level(image)) {
        heif_content_light_level level{};
        heif_image_get_content_light_level(image, &level);
        if (level.max_content_light_level > 0)
            return level.max_content_light_level;
    }
    if (heif_image_has_mastering_display_colour_volume(image)) {
        heif_mastering_display_colour_volume raw{};
        heif_decoded_mastering_display_colour_volume volume{};
        heif_image_get_mastering_display_colour_volume(image, &raw);
        if (heif_mastering_display_colour_volume_decode(&raw, &volume).code == heif_error_Ok &&
            volume.max_display_mastering_luminance > 0)
            return volume.max_display_mastering_luminance;
    }
    return kDefaultHdrPeakNits;
}

std::vector<std::uint8_t> metadataBlock(const heif_image_handle* handle, heif_item_id id)
{
    const std::size_t size = heif_image_handle_get_metadata_size(handle, id);
    std::vector<std::uint8_t> data(size);
    if (size == 0 || heif_image_handle_get_metadata(handle, id, data.data()).code != heif_error_Ok)
        return {};
    return data;
}

std::vector<heif_item_id> metadataIds(const heif_image_handle* handle, const char* type)
{
    std::vector<heif_item_id> ids(std::max(heif_image_handle_get_number_of_metadata_blocks(handle, type), 0));
    ids.resize(std::max(heif_image_handle_get_list_of_metadata_block_IDs(handle, type, ids.data(), int(ids.size())), 0));
    return ids;
}

bool isTiffHeader(const std::uint8_t* p, std::size_t available)
{
    return available >= 8 && ((p[0] == 'I' && p[1] == 'I' && p[2] == 42 && p[3] == 0) ||
                              (p[0] == 'M' && p[1] == 'M' && p[2] == 0 && p[3] == 42));
}

// True when the image may be 8-bit 4:2:0 YCbCr that libheif would turn into
// RGB with a matrix ycbcrMatrix() knows, at full range; what the HEVC stream
// itself declares is only known once it is decoded.
bool mayConvertHere(const heif_image_handle* handle, heif_chroma preferredChroma)
{
    if (preferredChroma != heif_chroma_420 || heif_image_handle_get_luma_bits_per_pixel(handle) != 8 ||
        heif_image_handle_get_chroma_bits_per_pixel(handle) != 8)
        return false;
    // libheif does not always rotate, mirror or crop 4:2:0 planes to the same
    // pixels it gives after converting: transformed images are left to it.
    if (!isStoredUpright(handle))
        return false;
    NclxPtr nclx = handleNclx(handle);
    return !nclx || (nclx->full_range_flag && ycbcrMatrix(nclx->matrix_coefficients));
}

// Decodes to the image's own 4:2:0 planes and converts them to RGB
// in `rgb` on every core: the same pixels as libheif's RGB decode, which
// converts on one. The planar image, or nullptr with `rgb` left empty when the
// planes turn out to be something else (the caller then lets libheif decode to RGB).
std::shared_ptr<heif_image> decodeAndConvert(const heif_image_handle* handle, const heif_decoding_options* options,
                                             std::shared_ptr<std::uint8_t[]>& rgb)
{
    OptionsPtr stored(heif_decoding_options_alloc());
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
    NclxPtr nclx = imageNclx(planar.get());
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

// The colour profile a written file carries. An embedded ICC profile is
// authoritative and travels as it is, unless it cannot describe the output
// (an RGB profile on grey pixels). Without one, colour pixels get a profile
// from the nclx (the colr box, else what the decoded stream declares); an HDR
// curve counts as sRGB: tone mapping turns deep pixels into sRGB, and 8-bit
// ones are shown as they are.
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

}  // namespace

bool isStoredUpright(const heif_image_handle* handle)
{
    std::unique_ptr<heif_context, void (*)(heif_context*)> context(heif_image_handle_get_context(handle),
                                                                   heif_context_free);
    if (!context)
        return false;
    const heif_item_id id = heif_image_handle_get_item_id(handle);
    const int count = heif_item_get_transformation_properties(context.get(), id, nullptr, 0);
    std::vector<heif_property_id> properties(std::max(count, 0));
    properties.resize(std::max(heif_item_get_transformation_properties(context.get(), id, properties.data(), count), 0));
    // A rotation by 0°, which phones write, is none.
    for (heif_property_id property : properties) {
        if (heif_item_get_property_type(context.get(), id, property) != heif_item_property_type_transform_rotation ||
            heif_item_get_property_transform_rotation_ccw(context.get(), id, property) != 0)
            return false;
    }
    return true;
}

int orientationFromTransformations(const heif_context* context, heif_item_id image)
{
    const int count = heif_item_get_transformation_properties(context, image, nullptr, 0);
    std::vector<heif_property_id> properties(std::max(count, 0));
    properties.resize(std::max(heif_item_get_transformation_properties(context, image, properties.data(), count), 0));

    // The transformation so far as "rotate `quarterTurns` clockwise, then flip
    // horizontally when `flipped`" — every combination of rotations and mirrors
    // has exactly one such form, and each form is one EXIF orientation.
    int quarterTurns = 0;
    bool flipped = false;
    for (heif_property_id property : properties) {
        switch (heif_item_get_property_type(context, image, property)) {
        case heif_item_property_type_transform_rotation: {
            const int clockwise = (4 - heif_item_get_property_transform_rotation_ccw(context, image, property) / 90) % 4;
            // Rotating after a flip turns the other way round: R·F = F·R⁻¹.
            quarterTurns += flipped ? 4 - clockwise : clockwise;
            break;
        }
        case heif_item_property_type_transform_mirror:
            // A vertical flip is a horizontal flip after a half turn.
            if (heif_item_get_property_transform_mirror(context, image, property) ==
                heif_transform_mirror_direction_vertical)
                quarterTurns += 2;
            flipped = !flipped;
            break;
        default:
            break;  // clap: a crop does not change the orientation
        }
        quarterTurns %= 4;
    }
    static constexpr int kUnflipped[4] = {1, 6, 3, 8};
    static constexpr int kFlipped[4] = {2, 5, 4, 7};
    return flipped ? kFlipped[quarterTurns] : kUnflipped[quarterTurns];
}

void expandTo16Bits(std::uint8_t* data, std::size_t stride, std::uint32_t width, std::uint32_t height, int channels,
                    int bits)
{
    if (bits >= 16 || bits <= 0)
        return;
    const std::uint32_t maxIn = (1u << bits) - 1;
    std::vector<std::uint16_t> table(maxIn + 1);
    for (std::uint32_t v = 0; v <= maxIn; ++v)
        table[v] = static_cast<std::uint16_t>((v * 65535u + maxIn / 2) / maxIn);
    for (std::uint32_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<std::uint16_t*>(data + std::size_t(y) * stride);
        for (std::size_t i = 0; i < std::size_t(width) * channels; ++i)
            row[i] = table[std::min<std::uint32_t>(row[i], maxIn)];
    }
}

void unpremultiply(std::uint8_t* data, std::size_t stride, std::uint32_t width, std::uint32_t height, int channels,
                   int bitsPerSample)
{
    auto run = [&](auto* sample, std::uint32_t maxValue) {
        for (std::uint32_t x = 0; x < width; ++x, sample += channels) {
            const std::uint32_t alpha = sample[channels - 1];
            for (int c = 0; c < channels - 1; ++c) {
                const std::uint32_t value =
                    alpha == 0 ? 0 : std::min<std::uint32_t>((sample[c] * maxValue + alpha / 2) / alpha, maxValue);
                sample[c] = static_cast<std::remove_reference_t<decltype(sample[c])>>(value);
            }
        }
    };
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = data + std::size_t(y) * stride;
        if (bitsPerSample == 16)
            run(reinterpret_cast<std::uint16_t*>(row), 65535u);
        else
            run(row, 255u);
    }
}

std::vector<std::uint8_t> readExif(const heif_image_handle* handle)
{
    for (heif_item_id id : metadataIds(handle, "Exif")) {
        std::vector<std::uint8_t> block = metadataBlock(handle, id);
        if (block.size() < 4)
            continue;
        // HEIF's Exif item starts with a 4-byte big-endian offset from the end
        // of those 4 bytes to the TIFF header (normally past "Exif\0\0").
        const std::uint32_t offset = (std::uint32_t(block[0]) << 24) | (std::uint32_t(block[1]) << 16) |
                                     (std::uint32_t(block[2]) << 8) | block[3];
        std::size_t start = std::size_t(-1);
        if (std::uint64_t(offset) + 4 < block.size() && isTiffHeader(&block[4 + offset], block.size() - 4 - offset))
            start = 4 + std::size_t(offset);
        // Some writers get the offset wrong or leave it out: look for the header near the start.
        for (std::size_t i = 0; start == std::size_t(-1) && i + 8 <= block.size() && i < 64; ++i) {
            if (isTiffHeader(&block[i], block.size() - i))
                start = i;
        }
        if (start == std::size_t(-1))
            continue;
        block.erase(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(start));
        return block;
    }
    return {};
}

std::vector<std::uint8_t> readXmp(const heif_image_handle* handle)
{
    for (heif_item_id id : metadataIds(handle, "mime")) {
        const char* contentType = heif_image_handle_get_metadata_content_type(handle, id);
        if (!contentType || std::string_view(contentType) != "application/rdf+xml")
            continue;
        std::vector<std::uint8_t> xmp = metadataBlock(handle, id);
        while (!xmp.empty() && xmp.back() == 0)
            xmp.pop_back();
        if (!xmp.empty())
            return xmp;
    }
    return {};
}

namespace {

// Decodes the whole image with libheif (converted to RGB here when that gives
// libheif's own pixels faster).
std::unique_ptr<DecodedImage> decodeWhole(const heif_image_handle* handle)
{
    const std::uint64_t width = std::max(heif_image_handle_get_width(handle), 0);
    const std::uint64_t height = std::max(heif_image_handle_get_height(handle), 0);
    if (width == 0 || height == 0 || width * height > kMaxImagePixels)
        return nullptr;

    heif_colorspace preferredSpace = heif_colorspace_undefined;
    heif_chroma preferredChroma = heif_chroma_undefined;
    heif_image_handle_get_preferred_decoding_colorspace(handle, &preferredSpace, &preferredChroma);
    const bool grey = preferredSpace == heif_colorspace_monochrome;
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;

    std::vector<std::uint8_t> icc = handleIcc(handle);
    NclxPtr nclx = icc.empty() ? handleNclx(handle) : nullptr;
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(handle) > 8 || (!grey && isHdr(nclx.get()));

    heif_chroma chroma = heif_chroma_monochrome;
    if (!grey) {
        if (deep)
            chroma = alpha ? (kLittleEndian ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBBAA_BE)
                           : (kLittleEndian ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RRGGBB_BE);
        else
            chroma = alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    }

    // libheif converts YCbCr to RGB with the matrix and range the file
    // declares (nclx box, else the HEVC stream's VUI) and applies irot, imir
    // and clap, so the pixels arrive upright.
    OptionsPtr options(heif_decoding_options_alloc());
    if (!options)
        return nullptr;
    options->ignore_transformations = 0;
    options->convert_hdr_to_8bit = 0;
    std::shared_ptr<std::uint8_t[]> convertedRgb;
    std::shared_ptr<heif_image> image;
    if (!grey && !alpha && !deep && mayConvertHere(handle, preferredChroma))
        image = decodeAndConvert(handle, options.get(), convertedRgb);
    if (!convertedRgb) {
        heif_image* rawImage = nullptr;
        const heif_error error = heif_decode_image(
            handle, &rawImage, grey ? heif_colorspace_monochrome : heif_colorspace_RGB, chroma, options.get());
        if (error.code != heif_error_Ok || !rawImage)
            return nullptr;
        image.reset(rawImage, heif_image_release);
    }

    auto decoded = std::make_unique<DecodedImage>();
    decoded->width = static_cast<std::uint32_t>(heif_image_get_primary_width(image.get()));
    decoded->height = static_cast<std::uint32_t>(heif_image_get_primary_height(image.get()));
    decoded->bitsPerSample = deep ? 16 : 8;
    const int bytes = decoded->bitsPerSample / 8;

    if (grey) {
        int stride = 0;
        std::uint8_t* luma = heif_image_get_plane(image.get(), heif_channel_Y, &stride);
        if (!luma || stride <= 0)
            return nullptr;
        if (!alpha) {
            // A grey plane comes at the depth its stream holds, which need not
            // be the one the file's header declares.
            decoded->bitsPerSample = heif_image_get_bits_per_pixel(image.get(), heif_channel_Y) > 8 ? 16 : 8;
            if (decoded->bitsPerSample == 16)
                expandTo16Bits(luma, stride, decoded->width, decoded->height, 1,
                               heif_image_get_bits_per_pixel_range(image.get(), heif_channel_Y));
            decoded->channels = 1;
            decoded->data = luma;
            decoded->stride = static_cast<std::size_t>(stride);
            decoded->owner = image;
        } else {
            // Grey and alpha come as two planes, whose depths may differ:
            // interleave them, each scaled to the output depth, into a buffer of our own.
            int alphaStride = 0;
            const std::uint8_t* alphaPlane = heif_image_get_plane_readonly(image.get(), heif_channel_Alpha, &alphaStride);
            if (!alphaPlane || alphaStride <= 0)
                return nullptr;
            struct Plane {
                const std::uint8_t* data;
                std::size_t stride;
                bool wide;          // 16-bit storage
                std::uint32_t max;  // largest value of its range
            };
            auto describe = [&](const std::uint8_t* data, int planeStride, heif_channel channel) {
                const int range = std::clamp(heif_image_get_bits_per_pixel_range(image.get(), channel), 1, 16);
                return Plane{data, std::size_t(planeStride), heif_image_get_bits_per_pixel(image.get(), channel) > 8,
                             (1u << range) - 1};
            };
            const Plane planes[2] = {describe(luma, stride, heif_channel_Y),
                                     describe(alphaPlane, alphaStride, heif_channel_Alpha)};
            const std::uint32_t outMax = deep ? 65535u : 255u;
            auto buffer = std::make_shared<std::vector<std::uint8_t>>(std::size_t(decoded->width) * 2 * bytes *
                                                                       decoded->height);
            decoded->channels = 2;
            decoded->stride = std::size_t(decoded->width) * 2 * bytes;
            for (std::uint32_t y = 0; y < decoded->height; ++y) {
                std::uint8_t* out = buffer->data() + y * decoded->stride;
                for (std::uint32_t x = 0; x < decoded->width; ++x) {
                    for (int c = 0; c < 2; ++c) {
                        const Plane& plane = planes[c];
                        const std::uint8_t* row = plane.data + std::size_t(y) * plane.stride;
                        std::uint32_t v = row[x];
                        if (plane.wide) {
                            std::uint16_t word;
                            std::memcpy(&word, row + std::size_t(x) * 2, 2);
                            v = word;
                        }
                        v = std::min(v, plane.max);
                        const std::uint32_t scaledValue = plane.max == outMax ? v : (v * outMax + plane.max / 2) / plane.max;
                        if (deep) {
                            const std::uint16_t word = static_cast<std::uint16_t>(scaledValue);
                            std::memcpy(out + (2 * x + c) * 2, &word, 2);
                        } else {
                            out[2 * x + c] = static_cast<std::uint8_t>(scaledValue);
                        }
                    }
                }
            }
            decoded->data = buffer->data();
            decoded->owner = buffer;
        }
    } else if (convertedRgb) {
        decoded->channels = 3;
        decoded->data = convertedRgb.get();
        decoded->stride = std::size_t(decoded->width) * 3;
        decoded->owner = convertedRgb;
    } else {
        int stride = 0;
        std::uint8_t* pixels = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
        if (!pixels || stride <= 0)
            return nullptr;
        decoded->channels = alpha ? 4 : 3;
        decoded->data = pixels;
        decoded->stride = static_cast<std::size_t>(stride);
        decoded->owner = image;
        if (deep)
            expandTo16Bits(pixels, stride, decoded->width, decoded->height, decoded->channels,
                           heif_image_get_bits_per_pixel_range(image.get(), heif_channel_interleaved));
    }
    std::uint8_t* writable = const_cast<std::uint8_t*>(decoded->data);
    if (alpha && heif_image_handle_is_premultiplied_alpha(handle))
        unpremultiply(writable, decoded->stride, decoded->width, decoded->height, decoded->channels,
                      decoded->bitsPerSample);

    // HDR without an embedded profile is tone-mapped to SDR.
    if (icc.empty() && !grey) {
        if (!nclx)
            nclx = imageNclx(image.get());
        const TransferCurve curve = nclx ? transferCurveFromNclx(nclx->transfer_characteristics) : TransferCurve::srgb;
        if ((curve == TransferCurve::pq || curve == TransferCurve::hlg) && deep) {
            double luma[3];
            lumaCoefficients(chromaticitiesOf(*nclx), luma);
            toneMapToSdr(writable, decoded->stride, decoded->width, decoded->height, decoded->channels,
                         curve == TransferCurve::pq ? HdrTransfer::pq : HdrTransfer::hlg, hdrPeakNits(image.get()),
                         luma);
        }
    }
    decoded->icc = outputProfile(std::move(icc), nclx.get(), grey);
    decoded->exif = readExif(handle);
    decoded->xmp = readXmp(handle);
    return decoded;
}

// The tiled photo's size and metadata; its pixels come from its tiles.
std::unique_ptr<DecodedImage> describeTiled(const heif_image_handle* handle, const TiledYCbCrImage& tiles)
{
    auto decoded = std::make_unique<DecodedImage>();
    decoded->width = tiles.width();
    decoded->height = tiles.height();
    decoded->channels = 3;
    decoded->bitsPerSample = 8;
    std::vector<std::uint8_t> icc = handleIcc(handle);
    NclxPtr nclx = icc.empty() ? handleNclx(handle) : nullptr;
    if (icc.empty() && !nclx)
        nclx = imageNclx(tiles.firstTile());
    decoded->icc = outputProfile(std::move(icc), nclx.get(), false);
    decoded->exif = readExif(handle);
    decoded->xmp = readXmp(handle);
    return decoded;
}

// The tiled photo in RGB, converted band by band while later tiles decode on
// every core: the pixels of libheif's RGB decode (BT.601, full range, each
// chroma sample for its 2×2 block). nullptr when a tile does not decode.
std::shared_ptr<std::uint8_t[]> tilesToRgb(const TiledYCbCrImage& tiles)
{
    static const YCbCrMatrix kBt601 = *ycbcrMatrix(6);
    const std::size_t stride = std::size_t(tiles.width()) * 3;
    std::shared_ptr<std::uint8_t[]> rgb = allocateImageBuffer(stride * tiles.height());
    if (!rgb)
        return nullptr;
    TiledYCbCrImage::BandReader reader(tiles);
    std::uint64_t rows = 0;
    while (const YCbCrBand* band = reader.next()) {
        const YCbCr420Planes planes{band->y,           band->cb,      band->cr,  band->yStride, band->chromaStride,
                                    band->chromaStride, tiles.width(), band->rows};
        convertYCbCr420ToRgb(planes, kBt601, rgb.get() + band->top * stride, stride, 1);
        rows += band->rows;
    }
    return rows == tiles.height() ? rgb : nullptr;
}

}  // namespace

std::unique_ptr<DecodedImage> decodeHeifImage(const std::shared_ptr<heif_image_handle>& handle, int file)
{
    // HDR goes through libheif's 16-bit RGB and is tone-mapped.
    std::shared_ptr<TiledYCbCrImage> tiles =
        isHdr(handleNclx(handle.get()).get())
            ? nullptr
            : TiledYCbCrImage::open(handle, file, TiledYCbCrImage::WhenTurnedWhole::refuse);
    if (!tiles)
        return decodeWhole(handle.get());
    std::shared_ptr<std::uint8_t[]> rgb = tilesToRgb(*tiles);
    if (!rgb)
        return nullptr;
    std::unique_ptr<DecodedImage> decoded = describeTiled(handle.get(), *tiles);
    decoded->data = rgb.get();
    decoded->stride = std::size_t(decoded->width) * 3;
    decoded->owner = std::move(rgb);
    return decoded;
}

std::unique_ptr<DecodedImage> decodeHeifImageForJpeg(const std::shared_ptr<heif_image_handle>& handle, int file)
{
    std::shared_ptr<TiledYCbCrImage> tiles =
        TiledYCbCrImage::open(handle, file, TiledYCbCrImage::WhenTurnedWhole::decode);
    if (!tiles)
        return decodeWhole(handle.get());
    std::unique_ptr<DecodedImage> decoded = describeTiled(handle.get(), *tiles);
    decoded->tiles = std::move(tiles);
    return decoded;
}

}  // namespace pictavo::imageio
