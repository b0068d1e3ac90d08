#include "imageio/metadata/XmpEditor.h"

#include <string>
#include <string_view>

namespace pictavo::imageio {

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Replaces the value of every `name` property written as an element's text or as an attribute.
void setProperty(std::string& xmp, std::string_view name, const std::string& value)
{
    for (std::size_t at = xmp.find(name); at != std::string::npos; at = xmp.find(name, at + 1)) {
        std::size_t next = at + name.size();
        if (at > 0 && xmp[at - 1] == '<' && next < xmp.size() && xmp[next] == '>') {
            const std::size_t end = xmp.find('<', next + 1);
            if (end == std::string::npos)
                return;
            xmp.replace(next + 1, end - next - 1, value);
            continue;
        }
        if (at > 0 && !isSpace(xmp[at - 1]))
            continue;
        while (next < xmp.size() && isSpace(xmp[next]))
            ++next;
        if (next >= xmp.size() || xmp[next] != '=')
            continue;
        ++next;
        while (next < xmp.size() && isSpace(xmp[next]))
            ++next;
        if (next >= xmp.size() || (xmp[next] != '"' && xmp[next] != '\''))
            continue;
        const std::size_t end = xmp.find(xmp[next], next + 1);
        if (end == std::string::npos)
            return;
        xmp.replace(next + 1, end - next - 1, value);
    }
}

}  // namespace

std::vector<std::uint8_t> xmpForOutput(std::span<const std::uint8_t> xmp, std::uint32_t width, std::uint32_t height)
{
    std::string text(xmp.begin(), xmp.end());
    setProperty(text, "tiff:Orientation", "1");
    setProperty(text, "exif:PixelXDimension", std::to_string(width));
    setProperty(text, "exif:PixelYDimension", std::to_string(height));
    return {text.begin(), text.end()};
}

}  // namespace pictavo::imageio
