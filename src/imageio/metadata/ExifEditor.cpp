#include "imageio/metadata/ExifEditor.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace pictavo::imageio {

namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kExifIfdTag = 0x8769;
constexpr std::uint16_t kGpsIfdTag = 0x8825;
constexpr std::uint16_t kInteropIfdTag = 0xA005;
constexpr std::uint16_t kMakerNoteTag = 0x927C;
constexpr std::uint16_t kPixelXDimensionTag = 0xA002;
constexpr std::uint16_t kPixelYDimensionTag = 0xA003;
constexpr std::uint16_t kShort = 3;
constexpr std::uint16_t kLong = 4;
constexpr std::uint16_t kIfdType = 13;
constexpr std::size_t kEntrySize = 12;

std::uint32_t typeSize(std::uint16_t type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;   // BYTE ASCII SBYTE UNDEFINED
    case 3: case 8: return 2;                   // SHORT SSHORT
    case 4: case 9: case 11: case 13: return 4; // LONG SLONG FLOAT IFD
    case 5: case 10: case 12: return 8;         // RATIONAL SRATIONAL DOUBLE
    default: return 0;
    }
}

// Entries whose values are offsets to data that a rebuilt structure would not carry.
bool immovable(std::uint16_t tag)
{
    switch (tag) {
    case 0x0111: case 0x0117:  // StripOffsets, StripByteCounts
    case 0x0144: case 0x0145:  // TileOffsets, TileByteCounts
    case 0x014A:               // SubIFDs
    case 0x0201: case 0x0202:  // JPEGInterchangeFormat(Length)
    case kMakerNoteTag:        // holds offsets of its own
        return true;
    default:
        return false;
    }
}

}  // namespace

std::optional<ExifEditor> ExifEditor::parse(std::span<const std::uint8_t> tiff)
{
    if (tiff.size() < 8)
        return std::nullopt;
    bool bigEndian;
    if (tiff[0] == 'I' && tiff[1] == 'I' && tiff[2] == 42 && tiff[3] == 0)
        bigEndian = false;
    else if (tiff[0] == 'M' && tiff[1] == 'M' && tiff[2] == 0 && tiff[3] == 42)
        bigEndian = true;
    else
        return std::nullopt;
    ExifEditor editor(std::vector<std::uint8_t>(tiff.begin(), tiff.end()), bigEndian);
    if (!editor.validIfd(editor.firstIfd()))
        return std::nullopt;
    return editor;
}

bool ExifEditor::inRange(std::uint64_t offset, std::uint64_t size) const
{
    return offset <= data_.size() && size <= data_.size() - offset;
}

std::uint16_t ExifEditor::read16(std::size_t offset) const
{
    const std::uint8_t* p = data_.data() + offset;
    return bigEndian_ ? static_cast<std::uint16_t>(p[0] << 8 | p[1]) : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
}

std::uint32_t ExifEditor::read32(std::size_t offset) const
{
    const std::uint8_t* p = data_.data() + offset;
    if (bigEndian_)
        return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
    return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

void ExifEditor::write16(std::size_t offset, std::uint16_t value)
{
    std::uint8_t* p = data_.data() + offset;
    p[bigEndian_ ? 0 : 1] = static_cast<std::uint8_t>(value >> 8);
    p[bigEndian_ ? 1 : 0] = static_cast<std::uint8_t>(value);
}

void ExifEditor::write32(std::size_t offset, std::uint32_t value)
{
    std::uint8_t* p = data_.data() + offset;
    for (int i = 0; i < 4; ++i)
        p[bigEndian_ ? 3 - i : i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool ExifEditor::validIfd(std::uint32_t offset) const
{
    return offset >= 8 && inRange(offset, 2) && inRange(offset + 2ull, std::uint64_t(read16(offset)) * kEntrySize);
}

std::optional<std::size_t> ExifEditor::findEntry(std::uint32_t ifd, std::uint16_t tag) const
{
    if (!validIfd(ifd))
        return std::nullopt;
    const std::size_t count = read16(ifd);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = ifd + 2 + i * kEntrySize;
        if (read16(entry) == tag)
            return entry;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> ExifEditor::subIfd(std::uint32_t ifd, std::uint16_t pointerTag) const
{
    std::optional<std::size_t> entry = findEntry(ifd, pointerTag);
    if (!entry || (read16(*entry + 2) != kLong && read16(*entry + 2) != kIfdType) || read32(*entry + 4) != 1)
        return std::nullopt;
    const std::uint32_t offset = read32(*entry + 8);
    return validIfd(offset) ? std::optional(offset) : std::nullopt;
}

bool ExifEditor::setShortOrLong(std::size_t entry, std::uint32_t value)
{
    const std::uint16_t type = read16(entry + 2);
    if (read32(entry + 4) < 1)
        return false;
    if (type == kShort && value <= 0xFFFF) {
        write16(entry + 8, static_cast<std::uint16_t>(value));
        return true;
    }
    if (type == kLong && read32(entry + 4) == 1) {
        write32(entry + 8, value);
        return true;
    }
    return false;
}

bool ExifEditor::setOrientation(std::uint16_t value)
{
    std::optional<std::size_t> entry = findEntry(firstIfd(), kOrientationTag);
    return entry && setShortOrLong(*entry, value);
}

void ExifEditor::setPixelDimensions(std::uint32_t width, std::uint32_t height)
{
    std::optional<std::uint32_t> exifIfd = subIfd(firstIfd(), kExifIfdTag);
    if (!exifIfd)
        return;
    if (std::optional<std::size_t> entry = findEntry(*exifIfd, kPixelXDimensionTag))
        setShortOrLong(*entry, width);
    if (std::optional<std::size_t> entry = findEntry(*exifIfd, kPixelYDimensionTag))
        setShortOrLong(*entry, height);
}

// Reads the IFD tree of an ExifEditor and writes it out again compactly.
class ExifRebuilder {
public:
    explicit ExifRebuilder(const ExifEditor& source) : in_(source) {}

    std::vector<std::uint8_t> rebuild()
    {
        out_.assign(8, 0);
        std::copy_n(in_.data_.begin(), 4, out_.begin());
        const std::uint32_t next = writeIfd(in_.firstIfd(), 0);
        put32(4, next);
        return std::move(out_);
    }

private:
    static constexpr int kMaxDepth = 3;

    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        std::uint64_t valueOffset;  // in the source
        std::uint64_t valueSize;
        std::optional<std::uint32_t> subIfd;
    };

    static bool pointsToSubIfd(int depth, std::uint16_t tag)
    {
        return (depth == 0 && (tag == kExifIfdTag || tag == kGpsIfdTag)) || (depth == 1 && tag == kInteropIfdTag);
    }

    std::vector<Entry> readEntries(std::uint32_t ifd, int depth)
    {
        std::vector<Entry> entries;
        const std::size_t count = in_.read16(ifd);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = ifd + 2 + i * kEntrySize;
            Entry entry{in_.read16(at), in_.read16(at + 2), in_.read32(at + 4), at + 8, 0, std::nullopt};
            const std::uint32_t size = typeSize(entry.type);
            if (size == 0 || immovable(entry.tag))
                continue;
            entry.valueSize = std::uint64_t(size) * entry.count;
            if (pointsToSubIfd(depth, entry.tag)) {
                const std::uint32_t target = in_.read32(at + 8);
                if ((entry.type != kLong && entry.type != kIfdType) || entry.count != 1 || depth + 1 >= kMaxDepth
                    || !in_.validIfd(target) || !visited_.insert(target).second)
                    continue;
                entry.subIfd = target;
            } else if (entry.valueSize > 4) {
                entry.valueOffset = in_.read32(at + 8);
                if (!in_.inRange(entry.valueOffset, entry.valueSize))
                    continue;
            }
            entries.push_back(entry);
        }
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        return entries;
    }

    // Writes the IFD at `ifd` of the source and everything it holds; returns its new offset.
    std::uint32_t writeIfd(std::uint32_t ifd, int depth)
    {
        visited_.insert(ifd);
        const std::vector<Entry> entries = readEntries(ifd, depth);
        alignToWord();
        const std::size_t table = out_.size();
        out_.resize(table + 2 + entries.size() * kEntrySize + 4, 0);
        put16(table, static_cast<std::uint16_t>(entries.size()));
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const Entry& entry = entries[i];
            const std::size_t at = table + 2 + i * kEntrySize;
            put16(at, entry.tag);
            put16(at + 2, entry.type);
            put32(at + 4, entry.count);
            if (entry.subIfd) {
                put32(at + 8, writeIfd(*entry.subIfd, depth + 1));
            } else if (entry.valueSize <= 4) {
                std::memcpy(out_.data() + at + 8, in_.data_.data() + entry.valueOffset, entry.valueSize);
            } else {
                alignToWord();
                const std::size_t value = out_.size();
                out_.insert(out_.end(), in_.data_.begin() + static_cast<std::ptrdiff_t>(entry.valueOffset),
                            in_.data_.begin() + static_cast<std::ptrdiff_t>(entry.valueOffset + entry.valueSize));
                put32(at + 8, static_cast<std::uint32_t>(value));
            }
        }
        // The next-IFD link stays 0: IFD1 and whatever follows it are left out.
        return static_cast<std::uint32_t>(table);
    }

    void alignToWord()
    {
        if (out_.size() % 2)
            out_.push_back(0);
    }
    void put16(std::size_t offset, std::uint16_t value)
    {
        out_[offset + (in_.bigEndian_ ? 0 : 1)] = static_cast<std::uint8_t>(value >> 8);
        out_[offset + (in_.bigEndian_ ? 1 : 0)] = static_cast<std::uint8_t>(value);
    }
    void put32(std::size_t offset, std::uint32_t value)
    {
        for (int i = 0; i < 4; ++i)
            out_[offset + (in_.bigEndian_ ? 3 - i : i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }

    const ExifEditor& in_;
    std::vector<std::uint8_t> out_;
    std::set<std::uint32_t> visited_;
};

std::vector<std::uint8_t> ExifEditor::reduced() const
{
    return ExifRebuilder(*this).rebuild();
}

std::vector<std::uint8_t> exifForOutput(std::span<const std::uint8_t> exif, std::uint32_t width,
                                        std::uint32_t height, std::size_t maxSize)
{
    static constexpr std::uint8_t kExifPrefix[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (exif.size() >= 6 && std::equal(kExifPrefix, kExifPrefix + 6, exif.begin()))
        exif = exif.subspan(6);
    std::optional<ExifEditor> editor = ExifEditor::parse(exif);
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
