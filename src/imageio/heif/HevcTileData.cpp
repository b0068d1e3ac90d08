#include "imageio/heif/HevcTileData.h"

#include "imageio/heif/IsoBoxes.h"

#include <libheif/heif_items.h>

#include <sys/stat.h>


namespace pictavo::imageio {

namespace {

// No real decoder configuration comes near this: a few parameter sets.
constexpr std::size_t kMaxRecordSize = 64 * 1024;

// The `ipco` children and the `ipma` associations (item → 1-based indices
// into `ipco`) of the `meta` box's `iprp`.
struct Properties {
    std::vector<Box> boxes;
    std::map<std::uint32_t, std::vector<std::uint32_t>> associations;
};

// Reads one `ipma` box (a full box) into `associations`; entries that run past
// the box are left out.
void readAssociations(const std::vector<unsigned char>& bytes, const Box& ipma,
                      std::map<std::uint32_t, std::vector<std::uint32_t>>& associations)
{
    std::size_t at = ipma.body;
    if (ipma.end - at < 8)
        return;
    const int version = bytes[at];
    const bool wideIndex = bytes[at + 3] & 1;
    const std::uint32_t entries = bigEndian(&bytes[at + 4], 4);
    at += 8;
    const int idSize = version < 1 ? 2 : 4;
    for (std::uint32_t entry = 0; entry < entries; ++entry) {
        if (ipma.end - at < std::size_t(idSize) + 1)
            return;
        const std::uint32_t item = bigEndian(&bytes[at], idSize);
        const int count = bytes[at + idSize];
        at += idSize + 1;
        const std::size_t indexSize = wideIndex ? 2 : 1;
        if (ipma.end - at < count * indexSize)
            return;
        std::vector<std::uint32_t>& indices = associations[item];
        for (int i = 0; i < count; ++i, at += indexSize)
            indices.push_back(bigEndian(&bytes[at], int(indexSize)) & (wideIndex ? 0x7FFF : 0x7F));
    }
}

std::optional<Properties> readProperties(const std::vector<unsigned char>& meta)
{
    for (const Box& iprp : childBoxes(meta, 4, meta.size())) {  // meta is a full box
        if (!iprp.is("iprp"))
            continue;
        Properties properties;
        for (const Box& box : childBoxes(meta, iprp.body, iprp.end)) {
            if (box.is("ipco") && properties.boxes.empty())
                properties.boxes = childBoxes(meta, box.body, box.end);
            else if (box.is("ipma"))
                readAssociations(meta, box, properties.associations);
        }
        return properties;
    }
    return std::nullopt;
}

}  // namespace

std::optional<HevcConfigurations> HevcConfigurations::read(int file, const std::vector<heif_item_id>& items)
{
    struct stat info{};
    if (::fstat(file, &info) != 0)
        return std::nullopt;
    const std::optional<MetaBox> meta = readMetaBox(file, std::uint64_t(info.st_size));
    if (!meta)
        return std::nullopt;
    const std::optional<Properties> properties = readProperties(meta->bytes);
    if (!properties)
        return std::nullopt;
    HevcConfigurations configurations;
    std::map<std::uint32_t, const std::vector<std::uint8_t>*> byIndex;
    for (heif_item_id item : items) {
        const auto associated = properties->associations.find(item);
        if (associated == properties->associations.end())
            continue;
        for (std::uint32_t index : associated->second) {
            if (index == 0 || index > properties->boxes.size())
                continue;
            const Box& box = properties->boxes[index - 1];
            if (!box.is("hvcC") || box.end - box.body > kMaxRecordSize)
                continue;
            auto known = byIndex.find(index);
            if (known == byIndex.end()) {
                auto record = std::make_shared<const std::vector<std::uint8_t>>(meta->bytes.begin() + box.body,
                                                                                 meta->bytes.begin() + box.end);
                configurations.records_.push_back(record);
                known = byIndex.emplace(index, record.get()).first;
            }
            configurations.byItem_[item] = known->second;
            break;
        }
    }
    return configurations;
}

const std::vector<std::uint8_t>* HevcConfigurations::of(heif_item_id id) const
{
    const auto found = byItem_.find(id);
    return found == byItem_.end() ? nullptr : found->second;
}

ItemData::ItemData(const heif_context* context, heif_item_id id) : context_(context)
{
    heif_metadata_compression compression = heif_metadata_compression_off;
    if (heif_item_get_item_data(context, id, &compression, &data_, &size_).code != heif_error_Ok ||
        compression != heif_metadata_compression_off || !data_)
        size_ = 0;
}

ItemData::~ItemData()
{
    heif_release_item_data(context_, &data_);
}

}  // namespace pictavo::imageio
