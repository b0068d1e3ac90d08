// Feeds arbitrary bytes, as a photo's EXIF and as its XMP, to the metadata
// readers and to what edits and splits metadata for the outputs. Besides any
// crash, leak or hang, it stops on an edit that breaks what the writers rely
// on: EXIF within its limit, XMP that stays XML, extended XMP that fits and
// matches its GUID.

#include "imageio/gainmap/AppleGainMap.h"
#include "imageio/gainmap/UltraHdrMetadata.h"
#include "imageio/metadata/ExifEditor.h"
#include "imageio/metadata/XmpEditor.h"
#include "imageio/writing/JpegXmp.h"
#include "imageio/writing/Md5.h"

#include <cstdlib>

using namespace pictavo::imageio;

namespace {

std::string_view textOf(std::span<const std::uint8_t> bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

void expect(bool fact)
{
    if (!fact)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const std::uint8_t> bytes(data, size);
    const std::size_t exifLimit = size / 2 + 40;  // often forces the reduced copy
    expect(exifForOutput(bytes, 640, 480, exifLimit).size() <= exifLimit);
    appleHeadroomFromMakerNote(bytes);

    const std::string_view text = textOf(bytes);
    parseHdrgmXmp(text);
    appleHeadroomFromXmp(text);
    const std::vector<std::uint8_t> edited = xmpForOutput(bytes, 640, 480);
    if (edited.empty())
        return 0;
    expect(bool(XmpPacket::read(textOf(edited))));
    if (const std::optional<std::string> primary = primaryXmpWithGainMap(textOf(edited), 1234))
        expect(bool(XmpPacket::read(*primary)));
    const std::size_t standardLimit = size / 2 + 100;  // small enough that small packets are split too
    const JpegXmp parts = splitXmpForJpeg(textOf(edited), standardLimit);
    expect(parts.standard.size() <= standardLimit && (parts.standard.empty() || XmpPacket::read(parts.standard)));
    const std::span extended(reinterpret_cast<const std::uint8_t*>(parts.extended.data()), parts.extended.size());
    expect(extended.empty() || (XmpPacket::read(parts.extended) && parts.guid == md5Hex(extended)));
    return 0;
}
