#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include <libheif/heif.h>

namespace pictavo::imageio {

// What a HEVC decoder outside libheif is fed for one image item: its decoder
// configuration record (the `hvcC` property: the parameter sets, and how
// long the NAL units' length fields are) and its coded picture (the item's
// data, NAL units each after its length). libheif offers the item data but
// not the record, so the records are read from the file's `meta` box.
class HevcConfigurations {
public:
    // The records of the file open as `file`, for the items named; none when
    // the file has no `meta` box that reads.
    static std::optional<HevcConfigurations> read(int file, const std::vector<heif_item_id>& items);

    // Item `id`'s record (the body of its `hvcC` box), shared by every item
    // the file gives the same property; nullptr when it has none.
    const std::vector<std::uint8_t>* of(heif_item_id id) const;

private:
    std::vector<std::shared_ptr<const std::vector<std::uint8_t>>> records_;
    std::map<heif_item_id, const std::vector<std::uint8_t>*> byItem_;
};

// Item `id`'s data as the file stores it, read through `context`'s reader on
// the calling thread; empty when it has none or it cannot be read.
class ItemData {
public:
    ItemData(const heif_context* context, heif_item_id id);
    ~ItemData();
    ItemData(const ItemData&) = delete;
    ItemData& operator=(const ItemData&) = delete;

    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    const heif_context* context_;
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

}  // namespace pictavo::imageio
