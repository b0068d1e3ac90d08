#include "imageio/XmpEditor.h"

#include <gtest/gtest.h>

#include <string>

namespace pictavo::imageio {
namespace {

std::string edit(const std::string& xmp, std::uint32_t width = 300, std::uint32_t height = 200)
{
    const std::vector<std::uint8_t> bytes(xmp.begin(), xmp.end());
    const std::vector<std::uint8_t> out = xmpForOutput(bytes, width, height);
    return {out.begin(), out.end()};
}

TEST(XmpEditor, OrientationAndPixelSizeAreRewrittenInElementAndAttributeForm)
{
    EXPECT_EQ(edit("<rdf:Description><tiff:Orientation>6</tiff:Orientation></rdf:Description>"),
              "<rdf:Description><tiff:Orientation>1</tiff:Orientation></rdf:Description>");
    EXPECT_EQ(edit("<rdf:Description tiff:Orientation=\"8\" exif:PixelXDimension='4032'\n"
                   "  exif:PixelYDimension = \"3024\" tiff:Make=\"x\"/>"),
              "<rdf:Description tiff:Orientation=\"1\" exif:PixelXDimension='300'\n"
              "  exif:PixelYDimension = \"200\" tiff:Make=\"x\"/>");
    EXPECT_EQ(edit("<exif:PixelXDimension>3024</exif:PixelXDimension><exif:PixelYDimension>4032</exif:PixelYDimension>",
                   4032, 3024),
              "<exif:PixelXDimension>4032</exif:PixelXDimension><exif:PixelYDimension>3024</exif:PixelYDimension>");
}

TEST(XmpEditor, LeavesOtherTextAloneAndSurvivesCutOffPackets)
{
    const std::string other = "<x:xmpmeta><dc:title>tiff:Orientation is 6</dc:title><my:tiff:OrientationX>5</my:tiff:OrientationX></x:xmpmeta>";
    EXPECT_EQ(edit(other), other);
    for (const std::string cut : {"<tiff:Orientation>6", "tiff:Orientation=\"6", "tiff:Orientation =", "<tiff:Orientation"})
        EXPECT_EQ(edit(cut), cut);
    EXPECT_EQ(edit(""), "");
}

}  // namespace
}  // namespace pictavo::imageio
