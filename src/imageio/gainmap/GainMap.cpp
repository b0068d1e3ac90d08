#include "imageio/gainmap/GainMap.h"

#include "imageio/gainmap/AppleGainMap.h"
#include "imageio/heif/HeifMetadata.h"
#include "imageio/heif/HeifObjects.h"
#include "imageio/heif/ImageTransform.h"
#include "imageio/heif/ParallelHevcDecoder.h"
#include "imageio/heif/SecurityLimits.h"
#include "imageio/pixels/LargeBuffers.h"

#include <libheif/heif_items.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>

namespace pictavo::imageio {

namespace {

// Where the gain map is and how to read it.
struct Source {
    heif_item_id item = 0;
    HeifHandlePtr handle;  // set for auxiliary images
    GainMapMetadata metadata;
    std::vector<std::uint8_t> isoPayload;
    std::optional<std::array<std::uint8_t, 256>> reencoding;
};

std::vector<heif_item_id> referencesOf(const heif_context* context, heif_item_id item, std::uint32_t type)
{
    for (int index = 0;; ++index) {
        std::uint32_t found = 0;
        heif_item_id* to = nullptr;
        const std::size_t count = heif_context_get_item_references(context, item, index, &found, &to);
        if (count == 0 || !to)
            return {};
        std::vector<heif_item_id> result(to, to + count);
        heif_release_item_references(context, &to);
        if (found == type)
            return result;
    }
}

// An ISO 21496-1 `tmap` item whose base image is the primary.
std::optional<Source> fromToneMapItem(const heif_context* context, heif_item_id primary)
{
    std::vector<heif_item_id> items(std::max(heif_context_get_number_of_items(context), 0));
    items.resize(std::max(heif_context_get_list_of_item_IDs(context, items.data(), int(items.size())), 0));
    for (heif_item_id item : items) {
        if (heif_item_get_item_type(context, item) != heif_fourcc('t', 'm', 'a', 'p'))
            continue;
        const std::vector<heif_item_id> inputs = referencesOf(context, item, heif_fourcc('d', 'i', 'm', 'g'));
        if (inputs.size() != 2 || inputs[0] != primary)
            continue;
        std::uint8_t* data = nullptr;
        std::size_t size = 0;
        if (heif_item_get_item_data(context, item, nullptr, &data, &size).code != heif_error_Ok || !data)
            continue;
        // A version byte (0), then the metadata as JPEG carries it too.
        std::vector<std::uint8_t> payload(data + std::min<std::size_t>(size, 1), data + size);
        const bool knownVersion = size > 0 && data[0] == 0;
        heif_release_item_data(context, &data);
        const std::optional<GainMapMetadata> metadata = parseIsoGainMapMetadata(payload);
        if (knownVersion && metadata)
            return Source{inputs[1], nullptr, *metadata, std::move(payload), std::nullopt};
    }
    return std::nullopt;
}

std::string auxiliaryType(const heif_image_handle* handle)
{
    const char* type = nullptr;
    if (heif_image_handle_get_auxiliary_type(handle, &type).code != heif_error_Ok || !type)
        return {};
    std::string result(type);
    heif_image_handle_release_auxiliary_type(handle, &type);
    return result;
}

std::string xmpText(const heif_image_handle* handle)
{
    const std::vector<std::uint8_t> xmp = readXmp(handle);
    return std::string(xmp.begin(), xmp.end());
}

// Samsung's or Apple's auxiliary gain map image, Samsung's first.
std::optional<Source> fromAuxiliaryImage(const heif_image_handle* primary)
{
    std::vector<heif_item_id> ids(std::max(heif_image_handle_get_number_of_auxiliary_images(primary, 0), 0));
    ids.resize(std::max(heif_image_handle_get_list_of_auxiliary_image_IDs(primary, 0, ids.data(), int(ids.size())), 0));
    std::optional<Source> apple;
    for (heif_item_id id : ids) {
        heif_image_handle* raw = nullptr;
        if (heif_image_handle_get_auxiliary_image_handle(primary, id, &raw).code != heif_error_Ok || !raw)
            continue;
        HeifHandlePtr handle(raw);
        const std::string type = auxiliaryType(handle.get());
        if (type == kSamsungGainMapType) {
            if (std::optional<GainMapMetadata> metadata = parseHdrgmXmp(xmpText(handle.get())))
                return Source{id, std::move(handle), *metadata, {}, std::nullopt};
        } else if (type == kAppleGainMapType && !apple) {
            std::optional<double> headroom = appleHeadroomFromXmp(xmpText(handle.get()));
            if (!headroom)
                headroom = appleHeadroomFromMakerNote(readExif(primary));
            if (headroom)
                apple = Source{id, std::move(handle), appleGainMapMetadata(*headroom), {},
                               appleToIsoGainTable(*headroom)};
        }
    }
    return apple;
}

// The gain map as stored, 8-bit grey or RGB, without the photo's transformations.
std::shared_ptr<heif_image> decodeStored(const heif_image_handle* handle, bool& grey)
{
    heif_colorspace space = heif_colorspace_undefined;
    heif_chroma chroma = heif_chroma_undefined;
    heif_image_handle_get_preferred_decoding_colorspace(handle, &space, &chroma);
    grey = space == heif_colorspace_monochrome;
    const HeifOptionsPtr options(heif_decoding_options_alloc());
    if (!options)
        return nullptr;
    options->ignore_transformations = 1;
    options->convert_hdr_to_8bit = 1;
    // Nothing else decodes meanwhile: every core can work on it.
    decodeOnEveryCore(options.get());
    const auto decode = [&](heif_image** image) {
        return heif_decode_image(handle, image, grey ? heif_colorspace_monochrome : heif_colorspace_RGB,
                                 grey ? heif_chroma_monochrome : heif_chroma_interleaved_RGB, options.get())
                   .code == heif_error_Ok &&
               *image;
    };
    heif_image* image = nullptr;
    bool decoded = decode(&image);
    if (!decoded && options->decoder_id) {  // a newer libheif at run time may refuse our decoder
        options->decoder_id = nullptr;
        decoded = decode(&image);
    }
    if (!decoded)
        return nullptr;
    std::shared_ptr<heif_image> result(image, heif_image_release);
    const heif_channel channel = grey ? heif_channel_Y : heif_channel_interleaved;
    if (heif_image_get_bits_per_pixel_range(image, channel) != 8)
        return nullptr;
    return result;
}

// Where each sample of the gain map as shown comes from in the stored one:
// the stored sample under its centre, after the photo's rotations, mirrors
// and crops, scaled to the gain map's resolution.
struct Sampling {
    std::int64_t width = 0, height = 0;
    int channels = 1;
    int stride = 0;  // of the stored gain map
    bool swapped = false;
    std::int64_t storedWidth = 0, storedHeight = 0;
    // Stored positions are sums of a column's part and a row's part; each
    // stored position has its gain map sample: all looked up, not divided out.
    std::vector<std::int64_t> columnX, columnY, rowX, rowY;
    std::vector<std::int64_t> mapColumn, mapRow;
    // Unturned, a row of the result comes from one stored row, and each of
    // its columns from the same place in every row.
    std::vector<std::int64_t> fromColumn;

    std::int64_t rowOffset(std::int64_t v) const { return mapRow[std::clamp<std::int64_t>(rowY[v], 0, storedHeight - 1)]; }
    std::int64_t sampleOffset(std::int64_t u, std::int64_t v) const
    {
        const std::int64_t sx = std::clamp<std::int64_t>(columnX[u] + rowX[v], 0, storedWidth - 1);
        const std::int64_t sy = std::clamp<std::int64_t>(columnY[u] + rowY[v], 0, storedHeight - 1);
        return mapRow[sy] + mapColumn[sx];
    }
    // True when the gain map as shown is the stored one, sample for sample.
    bool inPlace(std::int64_t mapWidth, std::int64_t mapHeight) const
    {
        bool same = !swapped && width == mapWidth && height == mapHeight;
        for (std::int64_t u = 0; same && u < width; ++u)
            same = fromColumn[u] == u * channels;
        for (std::int64_t v = 0; same && v < height; ++v)
            same = rowOffset(v) == v * stride;
        return same;
    }
};

std::optional<Sampling> samplingOf(const heif_image_handle* primary, std::int64_t mapWidth, std::int64_t mapHeight,
                                   int stride, bool grey)
{
    Sampling s;
    s.storedWidth = heif_image_handle_get_ispe_width(primary);
    s.storedHeight = heif_image_handle_get_ispe_height(primary);
    // The photo's declared size is read before the photo is decoded (and
    // refused, when too large); its columns and rows are tabled below.
    if (stride <= 0 || mapWidth <= 0 || mapHeight <= 0 || !isDecodableSize(s.storedWidth, s.storedHeight) ||
        mapWidth > s.storedWidth || mapHeight > s.storedHeight)
        return std::nullopt;
    const std::optional<ImageTransform> t =
        ImageTransform::of(primary, std::uint32_t(s.storedWidth), std::uint32_t(s.storedHeight));
    if (!t || t->width == 0 || t->height == 0)
        return std::nullopt;
    s.swapped = t->swapsAxes();
    s.stride = stride;
    s.channels = grey ? 1 : 3;
    const std::int64_t acrossMap = s.swapped ? mapHeight : mapWidth, downMap = s.swapped ? mapWidth : mapHeight;
    const std::int64_t across = s.swapped ? s.storedHeight : s.storedWidth, down = s.swapped ? s.storedWidth : s.storedHeight;
    s.width = std::max<std::int64_t>(1, (2 * t->width * acrossMap + across) / (2 * across));
    s.height = std::max<std::int64_t>(1, (2 * t->height * downMap + down) / (2 * down));
    s.columnX.resize(s.width), s.columnY.resize(s.width), s.rowX.resize(s.height), s.rowY.resize(s.height);
    for (std::int64_t u = 0; u < s.width; ++u) {
        const std::int64_t x = (2 * u + 1) * t->width / (2 * s.width);
        s.columnX[u] = t->xx * x, s.columnY[u] = t->yx * x;
    }
    for (std::int64_t v = 0; v < s.height; ++v) {
        const std::int64_t y = (2 * v + 1) * t->height / (2 * s.height);
        s.rowX[v] = t->xy * y + t->x0, s.rowY[v] = t->yy * y + t->y0;
    }
    s.mapColumn.resize(s.storedWidth), s.mapRow.resize(s.storedHeight);
    for (std::int64_t sx = 0; sx < s.storedWidth; ++sx)
        s.mapColumn[sx] = (2 * sx + 1) * mapWidth / (2 * s.storedWidth) * s.channels;
    for (std::int64_t sy = 0; sy < s.storedHeight; ++sy)
        s.mapRow[sy] = (2 * sy + 1) * mapHeight / (2 * s.storedHeight) * stride;
    s.fromColumn.resize(s.swapped ? 0 : s.width);
    for (std::size_t u = 0; u < s.fromColumn.size(); ++u)
        s.fromColumn[u] = s.mapColumn[std::clamp<std::int64_t>(s.columnX[u] + t->x0, 0, s.storedWidth - 1)];
    return s;
}

// Resampled row `v` of the gain map as shown, re-encoded through `lookup`.
void resampleRow(const Sampling& s, const std::uint8_t* pixels, std::int64_t v, const std::array<std::uint8_t, 256>& lookup,
                 std::uint8_t* row)
{
    const int channels = s.channels;
    if (s.swapped) {
        for (std::int64_t u = 0; u < s.width; ++u) {
            const std::uint8_t* sample = pixels + s.sampleOffset(u, v);
            for (int c = 0; c < channels; ++c)
                row[u * channels + c] = lookup[sample[c]];
        }
        return;
    }
    const std::uint8_t* from = pixels + s.rowOffset(v);
    if (channels == 1) {
        for (std::int64_t u = 0; u < s.width; ++u)
            row[u] = lookup[from[s.fromColumn[u]]];
        return;
    }
    for (std::int64_t u = 0; u < s.width; ++u)
        for (int c = 0; c < channels; ++c)
            row[u * channels + c] = lookup[from[s.fromColumn[u] + c]];
}

// The stored gain map resampled onto the photo as shown (see Sampling), and
// re-encoded through `table` when given. A gain map that lands on the photo
// as it is stored is re-encoded where it lies.
bool mapOntoPhoto(const heif_image_handle* primary, const std::shared_ptr<heif_image>& stored, bool grey,
                  const std::optional<std::array<std::uint8_t, 256>>& table, DecodedImage& out)
{
    int stride = 0;
    std::uint8_t* pixels = heif_image_get_plane(stored.get(), grey ? heif_channel_Y : heif_channel_interleaved, &stride);
    const std::int64_t mapWidth = heif_image_get_primary_width(stored.get());
    const std::int64_t mapHeight = heif_image_get_primary_height(stored.get());
    const std::optional<Sampling> s = pixels ? samplingOf(primary, mapWidth, mapHeight, stride, grey) : std::nullopt;
    if (!s)
        return false;
    std::array<std::uint8_t, 256> identity;
    for (int i = 0; i < 256; ++i)
        identity[i] = std::uint8_t(i);
    const std::array<std::uint8_t, 256>& lookup = table ? *table : identity;
    out.width = std::uint32_t(s->width);
    out.height = std::uint32_t(s->height);
    out.channels = s->channels;
    out.bitsPerSample = 8;
    if (s->inPlace(mapWidth, mapHeight)) {
        for (std::int64_t v = 0; table && v < s->height; ++v)
            for (std::uint8_t *sample = pixels + v * stride, *end = sample + s->width * s->channels; sample < end; ++sample)
                *sample = lookup[*sample];
        out.stride = std::size_t(stride);
        out.data = pixels;
        out.owner = stored;
        return true;
    }
    std::shared_ptr<std::uint8_t[]> buffer = allocateImageBuffer(std::size_t(s->width * s->height * s->channels));
    if (!buffer)
        return false;
    for (std::int64_t v = 0; v < s->height; ++v)
        resampleRow(*s, pixels, v, lookup, buffer.get() + v * s->width * s->channels);
    out.stride = std::size_t(s->width * s->channels);
    out.data = buffer.get();
    out.owner = std::move(buffer);
    return true;
}

// Where the gain map of `primary` is, from the file's structure and metadata alone.
std::optional<Source> findGainMap(const heif_image_handle* primary, const heif_context* context)
{
    if (std::optional<Source> source = fromToneMapItem(context, heif_image_handle_get_item_id(primary)))
        return source;
    return fromAuxiliaryImage(primary);
}

}  // namespace

bool hasGainMap(const heif_image_handle* primary)
{
    const HeifContextPtr context = contextOf(primary);
    return context && findGainMap(primary, context.get());
}

std::unique_ptr<GainMap> readGainMap(const heif_image_handle* primary)
{
    const HeifContextPtr context = contextOf(primary);
    if (!context)
        return nullptr;
    std::optional<Source> source = findGainMap(primary, context.get());
    if (!source)
        return nullptr;
    if (!source->handle)
        source->handle = imageHandle(context.get(), source->item);
    if (!source->handle)
        return nullptr;
    bool grey = true;
    const std::shared_ptr<heif_image> stored = decodeStored(source->handle.get(), grey);
    auto gainMap = std::make_unique<GainMap>();
    if (!stored || !mapOntoPhoto(primary, stored, grey, source->reencoding, gainMap->image))
        return nullptr;
    gainMap->metadata = source->metadata;
    gainMap->isoPayload = std::move(source->isoPayload);
    return gainMap;
}

}  // namespace pictavo::imageio
