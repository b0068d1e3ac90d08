#include "imageio/metadata/TiffReader.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pictavo::imageio {

namespace {

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

}  // namespace

std::optional<ByteOrder> tiffByteOrder(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < 8)
        return std::nullopt;
    if (bytes[0] == 'I' && bytes[1] == 'I' && bytes[2] == 42 && bytes[3] == 0)
        return ByteOrder::littleEndian;
    if (bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 0 && bytes[3] == 42)
        return ByteOrder::bigEndian;
    return std::nullopt;
}

ReadResult<TiffReader> TiffReader::open(std::span<const std::uint8_t> tiff)
{
    const std::optional<ByteOrder> order = tiffByteOrder(tiff);
    if (!order)
        return ReadError::notTiff;
    TiffReader reader(tiff, *order);
    if (ReadResult<TiffIfd> ifd0 = reader.firstIfd(); !ifd0)
        return ifd0.failure();
    return reader;
}

std::uint32_t TiffReader::read(std::uint64_t at, int size) const
{
    if (!fits(at, std::uint64_t(size)))
        return 0;
    std::uint32_t value = 0;
    for (int i = 0; i < size; ++i) {
        const int shift = order_ == ByteOrder::bigEndian ? 8 * (size - 1 - i) : 8 * i;
        value |= std::uint32_t(bytes_[at + i]) << shift;
    }
    return value;
}

ReadResult<TiffIfd> TiffReader::ifd(std::uint64_t offset) const
{
    if (offset < 8 || !fits(offset, 2))
        return ReadError::outOfBounds;
    const auto count = static_cast<std::uint16_t>(read(offset, 2));
    if (!fits(offset + 2, std::uint64_t(count) * tiff::kEntrySize))
        return ReadError::outOfBounds;
    return TiffIfd{static_cast<std::uint32_t>(offset), count};
}

ReadResult<TiffIfd> TiffReader::firstIfd() const
{
    return ifd(read(4, 4));
}

ReadResult<TiffIfd> TiffReader::nextIfd(const TiffIfd& current) const
{
    const std::uint64_t link = current.offset + 2 + std::uint64_t(current.count) * tiff::kEntrySize;
    if (!fits(link, 4))
        return ReadError::outOfBounds;
    const std::uint32_t next = read(link, 4);
    return next == 0 ? ReadResult<TiffIfd>(ReadError::absent) : ifd(next);
}

TiffEntry TiffReader::entry(const TiffIfd& ifd, std::size_t index) const
{
    const std::size_t at = ifd.offset + 2 + index * tiff::kEntrySize;
    TiffEntry entry{static_cast<std::uint16_t>(read(at, 2)), static_cast<std::uint16_t>(read(at + 2, 2)),
                    read(at + 4, 4), at, 0, at + 8};
    entry.valueSize = std::uint64_t(typeSize(entry.type)) * entry.count;
    if (entry.valueSize > 4)
        entry.valueAt = read(at + 8, 4);
    return entry;
}

ReadResult<TiffEntry> TiffReader::find(const TiffIfd& ifd, std::uint16_t tag) const
{
    for (std::size_t i = 0; i < ifd.count; ++i) {
        if (read(ifd.offset + 2 + i * tiff::kEntrySize, 2) == tag)
            return entry(ifd, i);
    }
    return ReadError::absent;
}

ReadResult<std::span<const std::uint8_t>> TiffReader::value(const TiffEntry& entry) const
{
    if (entry.valueSize == 0)
        return ReadError::unexpectedType;
    if (!fits(entry.valueAt, entry.valueSize))
        return ReadError::outOfBounds;
    return bytes_.subspan(entry.valueAt, entry.valueSize);
}

ReadResult<double> TiffReader::number(const TiffEntry& entry) const
{
    if (ReadResult<std::span<const std::uint8_t>> bytes = value(entry); !bytes)
        return bytes.failure();
    const std::uint64_t at = entry.valueAt;
    switch (entry.type) {
    case 3: return double(read(at, 2));                     // SHORT
    case 8: return double(std::int16_t(read(at, 2)));       // SSHORT
    case 4: return double(read(at, 4));                     // LONG
    case 9: return double(std::int32_t(read(at, 4)));       // SLONG
    case 5:                                                 // RATIONAL
    case 10: {                                              // SRATIONAL
        const std::uint32_t numerator = read(at, 4), denominator = read(at + 4, 4);
        if (denominator == 0)
            return ReadError::unexpectedType;
        return entry.type == 5 ? double(numerator) / denominator
                               : double(std::int32_t(numerator)) / std::int32_t(denominator);
    }
    case 11: {                                              // FLOAT
        const std::uint32_t bits = read(at, 4);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return double(value);
    }
    default: return ReadError::unexpectedType;
    }
}

ReadResult<TiffIfd> TiffReader::pointedIfd(const TiffEntry& pointer) const
{
    if ((pointer.type != tiff::kLong && pointer.type != tiff::kIfd) || pointer.count != 1)
        return ReadError::unexpectedType;
    return ifd(read(pointer.valueAt, 4));
}

ReadResult<ExifIfds> readExifIfds(const TiffReader& tiff)
{
    const ReadResult<TiffIfd> ifd0 = tiff.firstIfd();
    if (!ifd0)
        return ifd0.failure();
    ExifIfds ifds{*ifd0, {}, {}, {}};
    std::array<std::uint32_t, 4> read{ifd0->offset};
    std::size_t readCount = 1;
    const auto follow = [&](const TiffIfd& parent, std::uint16_t tag) -> std::optional<ExifIfds::Child> {
        const ReadResult<TiffEntry> pointer = tiff.find(parent, tag);
        const ReadResult<TiffIfd> child = pointer ? tiff.pointedIfd(*pointer) : ReadResult<TiffIfd>(ReadError::absent);
        if (!child || std::find(read.begin(), read.begin() + readCount, child->offset) != read.begin() + readCount)
            return std::nullopt;
        read[readCount++] = child->offset;
        return ExifIfds::Child{*pointer, *child};
    };
    ifds.exif = follow(ifds.ifd0, kExifIfdTag);
    ifds.gps = follow(ifds.ifd0, kGpsIfdTag);
    if (ifds.exif)
        ifds.interop = follow(ifds.exif->ifd, kInteropIfdTag);
    return ifds;
}

}  // namespace pictavo::imageio
