#include "imageio/writing/Mpf.h"

namespace pictavo::imageio {

namespace {

constexpr std::uint16_t kTypeLong = 4;
constexpr std::uint16_t kTypeUndefined = 7;
constexpr std::uint32_t kRepresentativeBaselinePrimary = 0x20030000;
constexpr std::uint32_t kEntrySize = 16;

void put(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putEntry(std::vector<std::uint8_t>& out, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
              std::uint32_t value)
{
    put(out, tag, 2);
    put(out, type, 2);
    put(out, count, 4);
    put(out, value, 4);
}

}  // namespace

std::vector<std::uint8_t> mpfSegment(const MpfIndex& index)
{
    constexpr std::uint32_t kEntries = 3;
    constexpr std::uint32_t kIfdSize = 2 + kEntries * 12 + 4;
    constexpr std::uint32_t kFirstIfd = 8;
    std::vector<std::uint8_t> out{'M', 'P', 'F', 0, 'M', 'M', 0, 42};
    put(out, kFirstIfd, 4);
    put(out, kEntries, 2);
    putEntry(out, 0xB000, kTypeUndefined, 4, 0x30313030);  // MPFVersion "0100"
    putEntry(out, 0xB001, kTypeLong, 1, 2);                 // NumberOfImages
    putEntry(out, 0xB002, kTypeUndefined, 2 * kEntrySize, kFirstIfd + kIfdSize);  // MPEntry
    put(out, 0, 4);  // no further IFD
    // MP entries: attribute, size, offset, two dependent-image entries.
    put(out, kRepresentativeBaselinePrimary, 4);
    put(out, index.primarySize, 4);
    put(out, 0, 4);  // the primary's offset is 0 by definition
    put(out, 0, 4);
    put(out, 0, 4);  // a JPEG of undefined type
    put(out, index.secondSize, 4);
    put(out, index.primarySize > index.headerOffset ? index.primarySize - index.headerOffset : 0, 4);
    put(out, 0, 4);
    return out;
}

}  // namespace pictavo::imageio
