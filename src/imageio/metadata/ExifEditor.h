#pragma once

#include "imageio/metadata/ReadResult.h"
#include "imageio/metadata/TiffReader.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace pictavo::imageio {

// Edits an EXIF block: a TIFF structure ("II*\0" or "MM\0*") in either byte
// order, read through TiffReader, so hostile input is safe to hand in.
class ExifEditor {
public:
    // A copy of `tiff` to edit, once its header and IFD0 are found sound.
    static ReadResult<ExifEditor> open(std::span<const std::uint8_t> tiff);

    const std::vector<std::uint8_t>& bytes() const { return data_; }

    // Rewrites the Orientation tag of IFD0 in place, when there is one that
    // can hold the value.
    void setOrientation(std::uint16_t value);
    // Rewrites PixelXDimension and PixelYDimension of the Exif IFD in place,
    // those present and able to hold the values.
    void setPixelDimensions(std::uint32_t width, std::uint32_t height);
    // A smaller copy: IFD0 with its Exif, GPS and Interoperability IFDs, but
    // without IFD1 (the thumbnail), the MakerNote, entries that point at data
    // that cannot be moved (strips, tiles, sub-IFDs) and entries whose data
    // lies outside the structure.
    std::vector<std::uint8_t> reduced() const;

private:
    ExifEditor(std::vector<std::uint8_t> data, ByteOrder order) : data_(std::move(data)), order_(order) {}

    TiffReader reader() const { return {data_, order_}; }
    void setShortOrLong(const TiffEntry& entry, std::uint32_t value);

    std::vector<std::uint8_t> data_;
    ByteOrder order_;
};

// The EXIF to write beside an upright image of width × height: orientation 1
// and pixel dimensions matching the image, at most `maxSize` bytes (reduced
// when larger). Empty when the input is not usable EXIF or does not fit even
// reduced. A leading "Exif\0\0" is accepted and dropped.
std::vector<std::uint8_t> exifForOutput(std::span<const std::uint8_t> exif, std::uint32_t width,
                                        std::uint32_t height, std::size_t maxSize);

}  // namespace pictavo::imageio
