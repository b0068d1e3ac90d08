#pragma once

#include "imageio/metadata/XmpPacket.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pictavo::imageio {

// Collects changes to an XMP packet and makes them in place: everything not
// changed stays byte for byte as it was.
class XmpEditor {
public:
    explicit XmpEditor(const XmpPacket& packet) : packet_(packet) {}

    // Every `uri`:`name` written as an attribute or as an element holding
    // only text says `value` (digits or other text that needs no escaping).
    // Call once per property.
    void setProperty(std::string_view uri, std::string_view name, std::string_view value);
    // Takes out every property, element (with all it holds) or attribute,
    // whose name `leaves` says goes.
    void removeProperties(const std::function<bool(const XmpName&)>& leaves);

    std::string edited() const { return applyEdits(packet_.text(), edits_); }

private:
    const XmpPacket& packet_;
    std::vector<TextEdit> edits_;
};

// The XMP packet to write beside an upright image of width × height:
// tiff:Orientation says 1 and exif:PixelXDimension / exif:PixelYDimension,
// tiff:ImageWidth / tiff:ImageLength describe the image written, in element (<tiff:Orientation>6</…>) and
// attribute (tiff:Orientation="6") form alike. Everything else is kept as it
// is. Empty when the packet cannot be read as XML, so that no orientation
// that no longer applies is passed on.
std::vector<std::uint8_t> xmpForOutput(std::span<const std::uint8_t> xmp, std::uint32_t width, std::uint32_t height);

// The XMP packet without where the photo was taken: no exif:GPS… property and
// no place names (photoshop:City, State and Country, Iptc4xmpCore:Location and
// CountryCode, Iptc4xmpExt:LocationCreated and LocationShown); everything else
// as it is. Empty when the packet cannot be read as XML.
std::vector<std::uint8_t> xmpWithoutLocation(std::span<const std::uint8_t> xmp);

}  // namespace pictavo::imageio
