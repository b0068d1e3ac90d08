#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace pictavo::imageio {

// Edits an EXIF block: a TIFF structure ("II*\0" or "MM\0*") in either byte
// order. Every read is bounds-checked, so hostile input is safe to hand in.
class ExifEditor {
public:
    // nullopt unless the data starts with a TIFF header whose first IFD lies within it.
    static std::optional<ExifEditor> parse(std::span<const std::uint8_t> tiff);

    const std::vector<std::uint8_t>& bytes() const { return data_; }

    // Rewrites the Orientation tag of IFD0 in place; false when there is none.
    bool setOrientation(std::uint16_t value);
    // Rewrites PixelXDimension and PixelYDimension of the Exif IFD in place,
    // those present and able to hold the values.
    void setPixelDimensions(std::uint32_t width, std::uint32_t height);
    // A smaller copy: IFD0 with its Exif, GPS and Interoperability IFDs, but
    // without IFD1 (the thumbnail), the MakerNote, entries that point at data
    // that cannot be moved (strips, tiles, sub-IFDs) and entries whose data
    // lies outside the structure.
    std::vector<std::uint8_t> reduced() const;

private:
    ExifEditor(std::vector<std::uint8_t> data, bool bigEndian) : data_(std::move(data)), bigEndian_(bigEndian) {}

    bool inRange(std::uint64_t offset, std::uint64_t size) const;
    std::uint16_t read16(std::size_t offset) const;
    std::uint32_t read32(std::size_t offset) const;
    void write16(std::size_t offset, std::uint16_t value);
    void write32(std::size_t offset, std::uint32_t value);
    bool validIfd(std::uint32_t offset) const;
    std::uint32_t firstIfd() const { return read32(4); }
    // Offset of the entry holding `tag` in the IFD at `ifd`, or none.
    std::optional<std::size_t> findEntry(std::uint32_t ifd, std::uint16_t tag) const;
    std::optional<std::uint32_t> subIfd(std::uint32_t ifd, std::uint16_t pointerTag) const;
    bool setShortOrLong(std::size_t entry, std::uint32_t value);

    friend class ExifRebuilder;

    std::vector<std::uint8_t> data_;
    bool bigEndian_ = false;
};

// The EXIF to write beside an upright image of width × height: orientation 1
// and pixel dimensions matching the image, at most `maxSize` bytes (reduced
// when larger). Empty when the input is not usable EXIF or does not fit even
// reduced. A leading "Exif\0\0" is accepted and dropped.
std::vector<std::uint8_t> exifForOutput(std::span<const std::uint8_t> exif, std::uint32_t width,
                                        std::uint32_t height, std::size_t maxSize);

}  // namespace pictavo::imageio
