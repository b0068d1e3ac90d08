#include "imageio/metadata/XmpEditor.h"

namespace pictavo::imageio {

namespace {

constexpr std::string_view kTiffNamespace = "http://ns.adobe.com/tiff/1.0/";
constexpr std::string_view kExifNamespace = "http://ns.adobe.com/exif/1.0/";

}  // namespace

void XmpEditor::setProperty(std::string_view uri, std::string_view name, std::string_view value)
{
    for (const XmpElement& element : packet_.elements()) {
        // An element with an end tag and no child elements: its text is the value.
        if (element.name.is(uri, name) && !element.hasChildElements && element.whole.end > element.content.end)
            edits_.push_back({element.content, std::string(value)});
        for (const XmpAttribute& attribute : packet_.attributes(element))
            if (attribute.name.is(uri, name))
                edits_.push_back({attribute.quoted, std::string(value)});
    }
}

std::vector<std::uint8_t> xmpForOutput(std::span<const std::uint8_t> xmp, std::uint32_t width, std::uint32_t height)
{
    const ReadResult<XmpPacket> packet =
        XmpPacket::read({reinterpret_cast<const char*>(xmp.data()), xmp.size()});
    if (!packet)
        return {};
    XmpEditor editor(*packet);
    editor.setProperty(kTiffNamespace, "Orientation", "1");
    editor.setProperty(kExifNamespace, "PixelXDimension", std::to_string(width));
    editor.setProperty(kExifNamespace, "PixelYDimension", std::to_string(height));
    const std::string edited = editor.edited();
    return {edited.begin(), edited.end()};
}

}  // namespace pictavo::imageio
