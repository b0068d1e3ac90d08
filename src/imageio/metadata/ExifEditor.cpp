#include "imageio/metadata/ExifEditor.h"

#include <algorithm>
#include <initializer_list>
#include <optional>

namespace pictavo::imageio {

namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kMakerNoteTag = 0x927C;
constexpr std::uint16_t kPixelXDimensionTag = 0xA002;
constexpr std::uint16_t kPixelYDimensionTag = 0xA003;
constexpr std::uint16_t kImageWidthTag = 0x0100;
constexpr std::uint16_t kImageLengthTag = 0x0101;

void put(std::vector<std::uint8_t>& bytes, std::uint64_t at, std::uint32_t value, int size, ByteOrder order)
{
    for (int i = 0; i < size; ++i)
        bytes[at + i] = static_cast<std::uint8_t>(value >> (order == ByteOrder::bigEndian ? 8 * (size - 1 - i) : 8 * i));
}

// Entries whose values are offsets to data that a rebuilt structure would not
// carry; EXIF's own sub-IFD pointers are rewritten where they are followed.
bool immovable(std::uint16_t tag)
{
    switch (tag) {
    case 0x0111: case 0x0117:  // StripOffsets, StripByteCounts
    case 0x0144: case 0x0145:  // TileOffsets, TileByteCounts
    case 0x014A:               // SubIFDs
    case 0x0201: case 0x0202:  // JPEGInterchangeFormat(Length)
    case kMakerNoteTag:        // holds offsets of its own
    case kExifIfdTag: case kGpsIfdTag: case kInteropIfdTag:
        return true;
    default:
        return false;
    }
}

using Child = std::optional<ExifIfds::Child>;

// Writes the IFDs of an EXIF block out again compactly, in its byte order.
class ExifRebuilder {
public:
    ExifRebuilder(const TiffReader& in, const ExifIfds& ifds) : in_(in), ifds_(ifds) {}

    std::vector<std::uint8_t> rebuild()
    {
        out_.assign(in_.bytes().begin(), in_.bytes().begin() + 4);
        out_.resize(8);
        const std::uint32_t first = writeIfd(ifds_.ifd0, {&ifds_.exif, &ifds_.gps});
        put(out_, 4, first, 4, in_.order());
        return std::move(out_);
    }

private:
    struct Entry {
        TiffEntry entry;
        const ExifIfds::Child* child;
    };

    // The entries to carry, by tag: those whose values can move and lie
    // within the block, and the pointers to the child IFDs that were found.
    std::vector<Entry> entriesOf(const TiffIfd& ifd, std::initializer_list<const Child*> children) const
    {
        std::vector<Entry> entries;
        for (std::size_t i = 0; i < ifd.count; ++i) {
            const TiffEntry entry = in_.entry(ifd, i);
            if (!immovable(entry.tag) && in_.value(entry))
                entries.push_back({entry, nullptr});
        }
        for (const Child* child : children)
            if (*child)
                entries.push_back({(*child)->pointer, &**child});
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.entry.tag < b.entry.tag; });
        return entries;
    }

    // Writes `ifd` and everything it holds; returns its new offset. Its
    // next-IFD link stays 0: IFD1 and whatever follows it are left out.
    std::uint32_t writeIfd(const TiffIfd& ifd, std::initializer_list<const Child*> children)
    {
        const std::vector<Entry> entries = entriesOf(ifd, children);
        alignToWord();
        const std::size_t table = out_.size();
        out_.resize(table + 2 + entries.size() * tiff::kEntrySize + 4, 0);
        put(out_, table, static_cast<std::uint32_t>(entries.size()), 2, in_.order());
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const TiffEntry& entry = entries[i].entry;
            const std::size_t at = table + 2 + i * tiff::kEntrySize;
            put(out_, at, entry.tag, 2, in_.order());
            put(out_, at + 2, entry.type, 2, in_.order());
            put(out_, at + 4, entry.count, 4, in_.order());
            if (const ExifIfds::Child* child = entries[i].child) {
                const bool exifIfd = ifds_.exif && child == &*ifds_.exif;
                const std::uint32_t offset = exifIfd ? writeIfd(child->ifd, {&ifds_.interop}) : writeIfd(child->ifd, {});
                put(out_, at + 8, offset, 4, in_.order());
                continue;
            }
            const std::span<const std::uint8_t> value = *in_.value(entry);
            if (value.size() <= 4) {
                std::copy(value.begin(), value.end(), out_.begin() + static_cast<std::ptrdiff_t>(at + 8));
            } else {
                alignToWord();
                put(out_, at + 8, static_cast<std::uint32_t>(out_.size()), 4, in_.order());
                out_.insert(out_.end(), value.begin(), value.end());
            }
        }
        return static_cast<std::uint32_t>(table);
    }

    void alignToWord()
    {
        if (out_.size() % 2)
            out_.push_back(0);
    }

    const TiffReader& in_;
    const ExifIfds& ifds_;
    std::vector<std::uint8_t> out_;
};

}  // namespace

ReadResult<ExifEditor> ExifEditor::open(std::span<const std::uint8_t> tiff)
{
    const ReadResult<TiffReader> reader = TiffReader::open(tiff);
    if (!reader)
        return reader.failure();
    return ExifEditor(std::vector<std::uint8_t>(tiff.begin(), tiff.end()), reader->order());
}

void ExifEditor::setShortOrLong(const TiffIfd& ifd, const TiffEntry& entry, std::uint32_t value)
{
    if (entry.count >= 1 && reader().value(entry)) {
        if (entry.type == tiff::kShort && value <= 0xFFFF)
            return put(data_, entry.valueAt, value, 2, order_);
        if (entry.type == tiff::kLong && entry.count == 1)
            return put(data_, entry.valueAt, value, 4, order_);
    }
    removeEntry(ifd, entry);
}

void ExifEditor::zero(std::uint64_t at, std::uint64_t size)
{
    if (at <= data_.size() && size <= data_.size() - at)
        std::fill_n(data_.begin() + static_cast<std::ptrdiff_t>(at), size, std::uint8_t(0));
}

void ExifEditor::removeEntry(const TiffIfd& ifd, const TiffEntry& entry)
{
    const std::size_t table = std::size_t(ifd.offset) + 2;
    const std::size_t end = table + std::size_t(ifd.count) * tiff::kEntrySize;
    if (ifd.count == 0 || entry.at < table || entry.at + tiff::kEntrySize > end)
        return;
    // The link follows the table when it lies within the block; else the
    // zeroed bytes read as "no next IFD".
    std::uint8_t link[4] = {};
    const bool hasLink = end + 4 <= data_.size();
    if (hasLink)
        std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(end), 4, link);
    std::copy(data_.begin() + static_cast<std::ptrdiff_t>(entry.at + tiff::kEntrySize),
              data_.begin() + static_cast<std::ptrdiff_t>(end), data_.begin() + static_cast<std::ptrdiff_t>(entry.at));
    zero(end - tiff::kEntrySize, hasLink ? tiff::kEntrySize + 4 : tiff::kEntrySize);
    std::copy_n(link, 4, data_.begin() + static_cast<std::ptrdiff_t>(end - tiff::kEntrySize));
    put(data_, ifd.offset, ifd.count - 1u, 2, order_);
}

void ExifEditor::setOrientation(std::uint16_t value)
{
    const TiffReader tiff = reader();
    const ReadResult<TiffIfd> ifd0 = tiff.firstIfd();
    if (const ReadResult<TiffEntry> entry = ifd0 ? tiff.find(*ifd0, kOrientationTag) : ifd0.failure())
        setShortOrLong(*ifd0, *entry, value);
}

void ExifEditor::setPixelDimensions(std::uint32_t width, std::uint32_t height)
{
    const ReadResult<ExifIfds> ifds = readExifIfds(reader());
    if (!ifds)
        return;
    // Each edit may move the entries after it: every entry is found afresh.
    auto set = [this](const TiffIfd& ifd, std::uint16_t tag, std::uint32_t value) {
        const TiffReader tiff = reader();
        const ReadResult<TiffIfd> current = tiff.ifd(ifd.offset);
        if (const ReadResult<TiffEntry> entry = current ? tiff.find(*current, tag) : current.failure())
            setShortOrLong(*current, *entry, value);
    };
    set(ifds->ifd0, kImageWidthTag, width);
    set(ifds->ifd0, kImageLengthTag, height);
    if (ifds->exif) {
        set(ifds->exif->ifd, kPixelXDimensionTag, width);
        set(ifds->exif->ifd, kPixelYDimensionTag, height);
    }
}

void ExifEditor::removeGps()
{
    const TiffReader tiff = reader();
    const ReadResult<ExifIfds> ifds = readExifIfds(tiff);
    if (!ifds)
        return;
    // Only a GPS IFD that is none of the others is zeroed; a damaged pointer
    // still goes.
    if (const std::optional<ExifIfds::Child>& gps = ifds->gps) {
        for (std::size_t i = 0; i < gps->ifd.count; ++i) {
            const TiffEntry entry = tiff.entry(gps->ifd, i);
            if (entry.valueSize > 4)
                zero(entry.valueAt, entry.valueSize);
        }
        const std::uint64_t table = 2 + std::uint64_t(gps->ifd.count) * tiff::kEntrySize;
        zero(gps->ifd.offset, table);
        zero(gps->ifd.offset + table, 4);
    }
    if (const ReadResult<TiffEntry> pointer = tiff.find(ifds->ifd0, kGpsIfdTag))
        removeEntry(ifds->ifd0, *pointer);
}

std::vector<std::uint8_t> ExifEditor::reduced() const
{
    const TiffReader tiff = reader();
    const ReadResult<ExifIfds> ifds = readExifIfds(tiff);
    return ifds ? ExifRebuilder(tiff, *ifds).rebuild() : std::vector<std::uint8_t>{};
}

namespace {

std::span<const std::uint8_t> withoutPrefix(std::span<const std::uint8_t> exif)
{
    static constexpr std::uint8_t kExifPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (exif.size() >= 6 && std::equal(kExifPrefix, kExifPrefix + 6, exif.begin()))
        return exif.subspan(6);
    return exif;
}

}  // namespace

std::vector<std::uint8_t> exifWithoutLocation(std::span<const std::uint8_t> exif)
{
    ReadResult<ExifEditor> editor = ExifEditor::open(withoutPrefix(exif));
    if (!editor)
        return {};
    editor->removeGps();
    return editor->bytes();
}

std::vector<std::uint8_t> exifForOutput(std::span<const std::uint8_t> exif, std::uint32_t width,
                                        std::uint32_t height, std::size_t maxSize)
{
    ReadResult<ExifEditor> editor = ExifEditor::open(withoutPrefix(exif));
    if (!editor)
        return {};
    // The pixels written are upright, so the stored orientation no longer applies;
    // the pixel dimensions are made to describe the image actually written.
    editor->setOrientation(1);
    editor->setPixelDimensions(width, height);
    if (editor->bytes().size() <= maxSize)
        return editor->bytes();
    std::vector<std::uint8_t> smaller = editor->reduced();
    if (smaller.size() <= maxSize)
        return smaller;
    return {};
}

}  // namespace pictavo::imageio
