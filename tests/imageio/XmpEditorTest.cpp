#include "imageio/XmpEditor.h"

#include <gtest/gtest.h>

#include <string>

namespace pictavo::imageio {
namespace {

std::string edited(const std::string& xmp)
{
    const std::vector<std::uint8_t> out =
        xmpForOutput(std::span(reinterpret_cast<const std::uint8_t*>(xmp.data()), xmp.size()), 640, 480);
    return {out.begin(), out.end()};
}

TEST(XmpEditor, OrientationAndPixelSizeAreRewrittenAsElementsOrAttributesAndNothingElse)
{
    const std::pair<std::string, std::string> cases[] = {
        {R"(<d tiff:Orientation="6" exif:PixelXDimension="4032" exif:PixelYDimension="3024"/>)",
         R"(<d tiff:Orientation="1" exif:PixelXDimension="640" exif:PixelYDimension="480"/>)"},
        {"<d\ntiff:Orientation\t=\r\n'8'/>", "<d\ntiff:Orientation\t=\r\n'1'/>"},
        {"<tiff:Orientation>6</tiff:Orientation><exif:PixelYDimension></exif:PixelYDimension>",
         "<tiff:Orientation>1</tiff:Orientation><exif:PixelYDimension>480</exif:PixelYDimension>"},
        // Other names, the name in text, and values that are not quoted or never end stay as they are.
        {R"(<d my:tiff:Orientation="6" tiff:OrientationNote="6" xtiff:Orientation="6"/>)", ""},
        {"<d>tiff:Orientation is 6</d> tiff:Orientation=6 tiff:Orientation", ""},
        {R"(<d tiff:Orientation="6)", ""},
        {"<tiff:Orientation>6", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(edited(in), out.empty() ? in : out) << in;
}

}  // namespace
}  // namespace pictavo::imageio
