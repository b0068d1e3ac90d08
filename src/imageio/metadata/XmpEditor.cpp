#include "imageio/metadata/XmpEditor.h"

namespace pictavo::imageio {

namespace {

constexpr std::string_view kTiffNamespace = "http://ns.adobe.com/tiff/1.0/";
constexpr std::string_view kExifNamespace = "http://ns.adobe.com/exif/1.0/";
constexpr std::string_view kPhotoshopNamespace = "http://ns.adobe.com/photoshop/1.0/";
constexpr std::string_view kIptcCoreNamespace = "http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/";
constexpr std::string_view kIptcExtensionNamespace = "http://iptc.org/std/Iptc4xmpExt/2008-02-29/";

bool isLocation(const XmpName& name)
{
    if (name.namespaceUri == kExifNamespace)
        return name.local.starts_with("GPS");
    if (name.namespaceUri == kPhotoshopNamespace)
        return name.local == "City" || name.local == "State" || name.local == "Country";
    if (name.namespaceUri == kIptcCoreNamespace)
        return name.local == "Location" || name.local == "CountryCode";
    if (name.namespaceUri == kIptcExtensionNamespace)
        return name.local == "LocationCreated" || name.local == "LocationShown";
    return false;
}

std::vector<std::uint8_t> bytesOf(const std::string& text)
{
    return {text.begin(), text.end()};
}

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

void XmpEditor::removeProperties(const std::function<bool(const XmpName&)>& leaves)
{
    for (const XmpElement& element : packet_.elements()) {
        if (leaves(element.name))
            edits_.push_back({packet_.withSpaceBefore(element.whole), {}});
        for (const XmpAttribute& attribute : packet_.attributes(element))
            if (!attribute.declaresNamespace && leaves(attribute.name))
                edits_.push_back({packet_.withSpaceBefore(attribute.whole), {}});
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
    editor.setProperty(kTiffNamespace, "ImageWidth", std::to_string(width));
    editor.setProperty(kTiffNamespace, "ImageLength", std::to_string(height));
    return bytesOf(editor.edited());
}

std::vector<std::uint8_t> xmpWithoutLocation(std::span<const std::uint8_t> xmp)
{
    const ReadResult<XmpPacket> packet = XmpPacket::read({reinterpret_cast<const char*>(xmp.data()), xmp.size()});
    if (!packet)
        return {};
    XmpEditor editor(*packet);
    editor.removeProperties(isLocation);
    return bytesOf(editor.edited());
}

}  // namespace pictavo::imageio
