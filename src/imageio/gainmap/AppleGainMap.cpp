#include "imageio/gainmap/AppleGainMap.h"

#include "imageio/metadata/TiffReader.h"
#include "imageio/metadata/XmpPacket.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace pictavo::imageio {

namespace {

constexpr std::string_view kAppleGainMapNamespace = "http://ns.apple.com/HDRGainMap/1.0/";
constexpr std::uint16_t kMakerNoteTag = 0x927C;
constexpr std::uint16_t kHeadroomTag = 33;
constexpr std::uint16_t kGainTag = 48;
constexpr std::string_view kAppleMakerNote{"Apple iOS\0", 10};
// An Apple maker note: its signature, 2 bytes, "MM", then its one IFD; the
// offsets in it count from the note's start.
constexpr std::size_t kAppleIfdStart = 14;

// The Apple maker note in EXIF's Exif IFD, read as the TIFF structure it is laid out as.
ReadResult<TiffReader> appleMakerNote(std::span<const std::uint8_t> exif)
{
    const ReadResult<TiffReader> tiff = TiffReader::open(exif);
    if (!tiff)
        return tiff.failure();
    const ReadResult<ExifIfds> ifds = readExifIfds(*tiff);
    if (!ifds || !ifds->exif)
        return ReadError::absent;
    const ReadResult<TiffEntry> entry = tiff->find(ifds->exif->ifd, kMakerNoteTag);
    const ReadResult<std::span<const std::uint8_t>> note = entry ? tiff->value(*entry) : entry.failure();
    if (!note)
        return note.failure();
    if (note->size() < kAppleMakerNote.size() ||
        std::memcmp(note->data(), kAppleMakerNote.data(), kAppleMakerNote.size()) != 0)
        return ReadError::absent;
    return TiffReader(*note, ByteOrder::bigEndian);
}

double rec709ToLinear(double v)
{
    return v < 0.081 ? v / 4.5 : std::pow((v + 0.099) / 1.099, 1 / 0.45);
}

}  // namespace

std::optional<double> appleHeadroomFromXmp(std::string_view xmp)
{
    const ReadResult<XmpPacket> packet = XmpPacket::read(xmp);
    const std::optional<std::string_view> text =
        packet ? packet->property(kAppleGainMapNamespace, "HDRGainMapHeadroom") : std::nullopt;
    const std::optional<double> headroom = text ? xmpReal(*text) : std::nullopt;
    if (!headroom || *headroom <= 1 || *headroom > 1000)
        return std::nullopt;
    return headroom;
}

std::optional<double> appleHeadroomFromMakerNote(std::span<const std::uint8_t> exif)
{
    const ReadResult<TiffReader> note = appleMakerNote(exif);
    const ReadResult<TiffIfd> ifd = note ? note->ifd(kAppleIfdStart) : note.failure();
    if (!ifd)
        return std::nullopt;
    const auto number = [&](std::uint16_t tag, std::optional<double> absent) -> std::optional<double> {
        const ReadResult<TiffEntry> entry = note->find(*ifd, tag);
        if (!entry)
            return absent;
        const ReadResult<double> value = note->number(*entry);
        return value && std::isfinite(*value) ? std::optional(*value) : std::nullopt;
    };
    const std::optional<double> tag33 = number(kHeadroomTag, std::nullopt), tag48 = number(kGainTag, 0.0);
    if (!tag33 || !tag48)
        return std::nullopt;
    double stops;
    if (*tag33 < 1)
        stops = *tag48 <= 0.01 ? -20 * *tag48 + 1.8 : -0.101 * *tag48 + 1.601;
    else
        stops = *tag48 <= 0.01 ? -70 * *tag48 + 3.0 : -0.303 * *tag48 + 2.303;
    if (!(stops > 0) || stops > 10)
        return std::nullopt;
    return std::exp2(stops);
}

GainMapMetadata appleGainMapMetadata(double headroom)
{
    GainMapMetadata m;
    m.useBaseColourSpace = true;
    m.alternateHeadroom = std::log2(headroom);
    for (int c = 0; c < 3; ++c)
        m.max[c] = m.alternateHeadroom;
    return m;
}

std::array<std::uint8_t, 256> appleToIsoGainTable(double headroom)
{
    std::array<std::uint8_t, 256> table{};
    const double stops = std::log2(headroom);
    for (int v = 0; v < 256; ++v) {
        const double g = rec709ToLinear(v / 255.0);
        const double e = std::log2(1 + (headroom - 1) * g) / stops;
        table[v] = static_cast<std::uint8_t>(std::lround(std::clamp(e, 0.0, 1.0) * 255));
    }
    return table;
}

}  // namespace pictavo::imageio
