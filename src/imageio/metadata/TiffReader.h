#pragma once

#include "imageio/metadata/ReadResult.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace pictavo::imageio {

enum class ByteOrder { littleEndian, bigEndian };

// TIFF's field types that the readers and editors look at.
namespace tiff {
inline constexpr std::uint16_t kShort = 3;
inline constexpr std::uint16_t kLong = 4;
inline constexpr std::uint16_t kIfd = 13;
inline constexpr std::size_t kEntrySize = 12;
}  // namespace tiff

// The byte order named by a TIFF header ("II*\0" or "MM\0*") at the start of
// `bytes`; none when there is none or the 8-byte header does not fit.
std::optional<ByteOrder> tiffByteOrder(std::span<const std::uint8_t> bytes);

// An IFD whose entry table lies wholly within the block.
struct TiffIfd {
    std::uint32_t offset = 0;
    std::uint16_t count = 0;
};

// One IFD entry, as stored.
struct TiffEntry {
    std::uint16_t tag = 0;
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::size_t at = 0;           // where its 12 bytes start
    std::uint64_t valueSize = 0;  // count × its type's size; 0 for a type TIFF does not define
    std::uint64_t valueAt = 0;    // in the entry when the value fits in 4 bytes, else where it points
};

// Reads a TIFF structure (EXIF, or a maker note laid out like one) with every
// offset and count checked against the block, so hostile input is safe to hand
// in. Offsets count from the block's start.
class TiffReader {
public:
    TiffReader(std::span<const std::uint8_t> bytes, ByteOrder order) : bytes_(bytes), order_(order) {}
    // A block that starts with a TIFF header whose first IFD lies within it.
    static ReadResult<TiffReader> open(std::span<const std::uint8_t> tiff);

    std::span<const std::uint8_t> bytes() const { return bytes_; }
    ByteOrder order() const { return order_; }

    // The IFD at `offset`, past the 8-byte header.
    ReadResult<TiffIfd> ifd(std::uint64_t offset) const;
    // IFD0, the one the header names.
    ReadResult<TiffIfd> firstIfd() const;
    // The IFD that `ifd` links to (IFD1 after IFD0); absent when the link is 0.
    ReadResult<TiffIfd> nextIfd(const TiffIfd& ifd) const;

    // Entry `index` (below ifd.count) of `ifd`.
    TiffEntry entry(const TiffIfd& ifd, std::size_t index) const;
    // The first entry of `ifd` for `tag`.
    ReadResult<TiffEntry> find(const TiffIfd& ifd, std::uint16_t tag) const;
    // The bytes of an entry's value.
    ReadResult<std::span<const std::uint8_t>> value(const TiffEntry& entry) const;
    // The first value of a numeric entry (integer, rational or float).
    ReadResult<double> number(const TiffEntry& entry) const;
    // The IFD that a pointer entry (one LONG or IFD) leads to.
    ReadResult<TiffIfd> pointedIfd(const TiffEntry& pointer) const;

private:
    bool fits(std::uint64_t offset, std::uint64_t size) const
    {
        return offset <= bytes_.size() && size <= bytes_.size() - offset;
    }
    std::uint32_t read(std::uint64_t at, int size) const;

    std::span<const std::uint8_t> bytes_;
    ByteOrder order_;
};

// EXIF's IFDs: IFD0, and those its pointers lead to (Exif and GPS from IFD0,
// Interoperability from the Exif IFD). A pointer that is damaged or leads to
// an IFD already read is left unfollowed, so the structure has no loop.
struct ExifIfds {
    struct Child {
        TiffEntry pointer;  // the entry that leads to it
        TiffIfd ifd;
    };
    TiffIfd ifd0;
    std::optional<Child> exif, gps, interop;
};

inline constexpr std::uint16_t kExifIfdTag = 0x8769;
inline constexpr std::uint16_t kGpsIfdTag = 0x8825;
inline constexpr std::uint16_t kInteropIfdTag = 0xA005;

// Fails only when IFD0 cannot be read.
ReadResult<ExifIfds> readExifIfds(const TiffReader& tiff);

}  // namespace pictavo::imageio
