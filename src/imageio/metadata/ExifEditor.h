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
    // Makes the image's size say width × height: PixelXDimension and
    // PixelYDimension of the Exif IFD, ImageWidth and ImageLength of IFD0,
    // those present, rewritten in place, or taken out when they cannot hold it.
    void setPixelDimensions(std::uint32_t width, std::uint32_t height);
    // Takes out where the photo was taken: IFD0's pointer to the GPS IFD
    // goes, and the GPS IFD with the values it points at is zeroed.
    void removeGps();
    // A smaller copy: IFD0 with its Exif, GPS and Interoperability IFDs, but
    // without IFD1 (the thumbnail), the MakerNote, entries that point at data
    // that cannot be moved (strips, tiles, sub-IFDs) and entries whose data
    // lies outside the structure.
    std::vector<std::uint8_t> reduced() const;

private:
    ExifEditor(std::vector<std::uint8_t> data, ByteOrder order) : data_(std::move(data)), order_(order) {}

    TiffReader reader() const { return {data_, order_}; }
    // Rewrites a SHORT or LONG value in place, or takes the entry out of
    // `ifd` when it cannot hold `value`.
    void setShortOrLong(const TiffIfd& ifd, const TiffEntry& entry, std::uint32_t value);
    // Takes `entry` out of `ifd`: the entries after it and the link to the
    // next IFD move up, and the bytes freed are zeroed.
    void removeEntry(const TiffIfd& ifd, const TiffEntry& entry);
    void zero(std::uint64_t at, std::uint64_t size);

    std::vector<std::uint8_t> data_;
    ByteOrder order_;
};

// The EXIF to write beside an upright image of width × height: orientation 1
// and pixel dimensions matching the image, at most `maxSize` bytes (reduced
// when larger). Empty when the input is not usable EXIF or does not fit even
// reduced. A leading "Exif\0\0" is accepted and dropped.
std::vector<std::uint8_t> exifForOutput(std::span<const std::uint8_t> exif, std::uint32_t width,
                                        std::uint32_t height, std::size_t maxSize);

// `exif` without its GPS IFD (see removeGps), as a TIFF structure; empty when
// it is not usable EXIF. A leading "Exif\0\0" is accepted and dropped.
std::vector<std::uint8_t> exifWithoutLocation(std::span<const std::uint8_t> exif);

}  // namespace pictavo::imageio
