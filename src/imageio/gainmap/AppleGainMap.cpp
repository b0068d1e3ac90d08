#include "imageio/gainmap/AppleGainMap.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace pictavo::imageio {

namespace {

constexpr std::uint16_t kExifIfdTag = 0x8769;
constexpr std::uint16_t kMakerNoteTag = 0x927C;
constexpr std::uint16_t kHeadroomTag = 33;
constexpr std::uint16_t kGainTag = 48;
constexpr std::string_view kAppleMakerNote{"Apple iOS\0", 10};
// An Apple maker note: its signature, 2 bytes, "MM", then its one IFD; the
// offsets in it count from the note's start.
constexpr std::size_t kAppleIfdStart = 14;

// A TIFF structure's IFD entries, read with bounds checks; offsets count from `base`.
struct Tiff {
    std::span<const std::uint8_t> bytes;
    bool bigEndian;

    std::uint32_t read(std::size_t at, int size) const
    {
        if (at > bytes.size() || bytes.size() - at < std::size_t(size))
            return 0;
        std::uint32_t value = 0;
        for (int i = 0; i < size; ++i)
            value |= std::uint32_t(bytes[at + (bigEndian ? i : size - 1 - i)]) << (8 * (size - 1 - i));
        return value;
    }
    // Position of the entry for `tag` in the IFD at `ifd`.
    std::optional<std::size_t> entry(std::size_t ifd, std::uint16_t tag) const
    {
        const std::uint32_t count = read(ifd, 2);
        for (std::uint32_t i = 0; i < count && ifd + 2 + 12 * (i + 1) <= bytes.size(); ++i)
            if (read(ifd + 2 + 12 * i, 2) == tag)
                return ifd + 2 + 12 * i;
        return std::nullopt;
    }
    // A numeric entry's first value, `base` being where its offsets count from.
    std::optional<double> number(std::size_t entryAt, std::size_t base) const
    {
        const std::uint32_t type = read(entryAt + 2, 2), count = read(entryAt + 4, 4);
        if (count == 0)
            return std::nullopt;
        const std::size_t at = base + read(entryAt + 8, 4);
        switch (type) {
        case 3: return double(read(entryAt + 8, 2));
        case 8: return double(std::int16_t(read(entryAt + 8, 2)));
        case 4: return double(read(entryAt + 8, 4));
        case 9: return double(std::int32_t(read(entryAt + 8, 4)));
        case 5:
        case 10: {
            if (at + 8 > bytes.size() || read(at + 4, 4) == 0)
                return std::nullopt;
            return type == 5 ? double(read(at, 4)) / read(at + 4, 4)
                             : double(std::int32_t(read(at, 4))) / std::int32_t(read(at + 4, 4));
        }
        case 11: {
            const std::uint32_t bits = read(entryAt + 8, 4);
            float value;
            std::memcpy(&value, &bits, 4);
            return double(value);
        }
        default: return std::nullopt;
        }
    }
};

double rec709ToLinear(double v)
{
    return v < 0.081 ? v / 4.5 : std::pow((v + 0.099) / 1.099, 1 / 0.45);
}

}  // namespace

std::optional<double> appleHeadroomFromXmp(std::string_view xmp)
{
    constexpr std::string_view kName = "HDRGainMap:HDRGainMapHeadroom";
    const std::size_t at = xmp.find(kName);
    if (at == std::string_view::npos)
        return std::nullopt;
    std::size_t start = xmp.find_first_not_of("=\"'> \t\r\n", at + kName.size());
    if (start == std::string_view::npos)
        return std::nullopt;
    double value = 0;
    auto [end, error] = std::from_chars(xmp.data() + start, xmp.data() + xmp.size(), value);
    if (error != std::errc() || !std::isfinite(value) || value <= 1 || value > 1000)
        return std::nullopt;
    return value;
}

std::optional<double> appleHeadroomFromMakerNote(std::span<const std::uint8_t> exif)
{
    if (exif.size() < 8 || (exif[0] != 'I' && exif[0] != 'M'))
        return std::nullopt;
    const Tiff tiff{exif, exif[0] == 'M'};
    const std::optional<std::size_t> exifIfd = tiff.entry(tiff.read(4, 4), kExifIfdTag);
    if (!exifIfd)
        return std::nullopt;
    const std::optional<std::size_t> makerNote = tiff.entry(tiff.read(*exifIfd + 8, 4), kMakerNoteTag);
    if (!makerNote)
        return std::nullopt;
    const std::size_t noteStart = tiff.read(*makerNote + 8, 4), noteSize = tiff.read(*makerNote + 4, 4);
    if (noteStart > exif.size() || exif.size() - noteStart < noteSize || noteSize < kAppleIfdStart + 2 ||
        std::memcmp(exif.data() + noteStart, kAppleMakerNote.data(), kAppleMakerNote.size()) != 0)
        return std::nullopt;
    const Tiff note{exif.subspan(noteStart, noteSize), true};
    const std::optional<std::size_t> headroomEntry = note.entry(kAppleIfdStart, kHeadroomTag);
    const std::optional<std::size_t> gainEntry = note.entry(kAppleIfdStart, kGainTag);
    const std::optional<double> tag33 = headroomEntry ? note.number(*headroomEntry, 0) : std::nullopt;
    const std::optional<double> tag48 = gainEntry ? note.number(*gainEntry, 0) : 0.0;
    if (!tag33 || !tag48 || !std::isfinite(*tag33) || !std::isfinite(*tag48))
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
