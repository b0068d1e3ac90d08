#include "imageio/heif/HeifMetadata.h"

#include "imageio/metadata/TiffReader.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string_view>

namespace pictavo::imageio {

namespace {

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

// Where the TIFF header starts in a HEIF Exif item: after its first 4 bytes,
// a big-endian offset from their end (normally past "Exif\0\0"), or, as some
// writers get the offset wrong or leave it out, near the start.
std::optional<std::size_t> tiffStart(std::span<const std::uint8_t> block)
{
    if (block.size() < 4)
        return std::nullopt;
    const std::uint32_t offset = (std::uint32_t(block[0]) << 24) | (std::uint32_t(block[1]) << 16) |
                                 (std::uint32_t(block[2]) << 8) | block[3];
    if (std::uint64_t(offset) + 4 < block.size() && tiffByteOrder(block.subspan(4 + offset)))
        return 4 + std::size_t(offset);
    for (std::size_t i = 0; i + 8 <= block.size() && i < 64; ++i) {
        if (tiffByteOrder(block.subspan(i)))
            return i;
    }
    return std::nullopt;
}

}  // namespace

std::vector<std::uint8_t> readExif(const heif_image_handle* handle)
{
    for (heif_item_id id : metadataIds(handle, "Exif")) {
        std::vector<std::uint8_t> block = metadataBlock(handle, id);
        if (const std::optional<std::size_t> start = tiffStart(block)) {
            block.erase(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(*start));
            return block;
        }
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

}  // namespace pictavo::imageio
