// XMP of any size in a JPEG: the MD5 that names the extended part, how a
// large packet is split, and the segments that carry it.

#include "fixtures/HeifFixtures.h"
#include "imageio/JpegXmp.h"
#include "imageio/Md5.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace pictavo::imageio {
namespace {

using namespace fixtures;

std::string md5Of(const std::string& text)
{
    return md5Hex(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

std::size_t occurrences(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(Md5, KnownDigests)
{
    // RFC 1321's test suite, and lengths around the 56-byte padding boundary.
    EXPECT_EQ(md5Of(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(md5Of("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(md5Of("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(md5Of("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57EDF4A22BE3C955AC49DA2E2107B67A");
    EXPECT_EQ(md5Of(std::string(55, 'a')), "EF1772B6DFF9A122358552954AD0DF65");
    EXPECT_EQ(md5Of(std::string(56, 'a')), "3B0C8AC703F828B04C6C197006D17218");
    EXPECT_EQ(md5Of(std::string(64, 'a')), "014842D480B571495A4A0363793F7367");
    EXPECT_EQ(md5Of(std::string(1000000, 'a')), "7707D6AE4E027C70EEA2A935C2296F21");
}

TEST(JpegXmp, APacketThatFitsIsWrittenWhole)
{
    const std::string packet = xmpPacket("small");
    const JpegXmp parts = splitXmpForJpeg(packet, 65504);
    EXPECT_EQ(parts.standard, packet);
    EXPECT_TRUE(parts.extended.empty());
}

TEST(JpegXmp, ALargePacketKeepsItsSmallPropertiesAndMovesTheLargestOnes)
{
    const LargeXmp xmp = largeXmpPacket(64, 32);
    ASSERT_GT(xmp.packet.size(), 190000u);
    const JpegXmp parts = splitXmpForJpeg(xmp.packet, 65504);
    ASSERT_FALSE(parts.standard.empty());
    EXPECT_LE(parts.standard.size(), 65504u);
    EXPECT_EQ(parts.guid, md5Of(parts.extended));
    EXPECT_EQ(occurrences(parts.standard, "xmpNote:HasExtendedXMP=\"" + parts.guid + "\""), 1u);
    EXPECT_TRUE(parts.standard.starts_with("<?xpacket begin="));
    EXPECT_TRUE(parts.standard.ends_with("<?xpacket end=\"w\"?>"));
    EXPECT_TRUE(parts.extended.starts_with("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF"));
    EXPECT_TRUE(parts.extended.ends_with("</rdf:RDF></x:xmpmeta>"));
    // Every property once, in one part or the other; the largest went.
    for (const std::string& property : xmp.properties)
        EXPECT_EQ(occurrences(parts.standard, property) + occurrences(parts.extended, property), 1u) << property.substr(0, 40);
    EXPECT_EQ(occurrences(parts.extended, "<dc:description>"), 1u);
    EXPECT_EQ(occurrences(parts.standard, "<dc:title>"), 1u);
    EXPECT_EQ(occurrences(parts.standard, "<exif:PixelXDimension>"), 1u);
    EXPECT_EQ(occurrences(parts.standard, "tiff:Orientation=\"6\" xmp:Rating=\"5\""), 1u);
    // Moved properties take the namespaces in scope with them.
    EXPECT_EQ(occurrences(parts.extended, "xmlns:stEvt="), occurrences(parts.extended, "<xmpMM:History>"));
    EXPECT_EQ(occurrences(parts.extended, "xmlns:dc="), occurrences(parts.extended, "<dc:description>"));

    // A packet split again (its stale note among the properties) gets one note only.
    std::string again = parts.standard;
    again.insert(again.find("</rdf:Description>"), "<xmpNote:HasExtendedXMP>0123</xmpNote:HasExtendedXMP>" +
                                                       xmp.properties[3]);
    const JpegXmp split = splitXmpForJpeg(again, 65504);
    EXPECT_EQ(occurrences(split.standard + split.extended, "HasExtendedXMP"), 1u);
    EXPECT_EQ(occurrences(split.extended, xmp.properties[3]), 1u);
}

TEST(JpegXmp, APacketThatFitsWithoutItsPaddingNeedsNoExtendedPart)
{
    std::string packet = xmpPacket("padded");
    packet.insert(packet.find("<?xpacket end"), std::string(70000, ' ') + "\n");
    const JpegXmp parts = splitXmpForJpeg(packet, 65504);
    EXPECT_EQ(parts.standard, xmpPacket("padded"));
    EXPECT_TRUE(parts.extended.empty());
}

TEST(JpegXmp, XmpThatCannotBeSplitValidlyIsLeftOut)
{
    const LargeXmp xmp = largeXmpPacket(64, 32);
    // The properties alone cannot make it fit: a 70 KB attribute stays in the standard part.
    std::string hugeAttribute = xmp.packet;
    hugeAttribute.insert(hugeAttribute.find("xmp:Rating="), "xmp:Nickname=\"" + std::string(70000, 'n') + "\" ");
    EXPECT_TRUE(splitXmpForJpeg(hugeAttribute, 65504).standard.empty());
    // Not well-formed, or not the rdf:Description form.
    EXPECT_TRUE(splitXmpForJpeg(xmp.packet.substr(0, 150000), 65504).standard.empty());
    std::string typedNode = xmp.packet;
    typedNode.replace(typedNode.find("<rdf:Description"), 16, "<exif:Photo");
    EXPECT_TRUE(splitXmpForJpeg(typedNode, 65504).standard.empty());
    std::string text = xmp.packet;
    text.insert(text.find("<rdf:Description"), "<dc:title>");
    EXPECT_TRUE(splitXmpForJpeg(text, 65504).standard.empty());
}

// XMP comes from the photo: whatever its bytes, splitting it stays within
// them, and what it gives is either nothing or a fitting standard part.
TEST(JpegXmp, DamagedXmpIsSplitSafelyOrLeftOut)
{
    const std::string packet = largeXmpPacket(64, 32).packet;
    std::mt19937 random(14);
    const char damage[] = {'<', '>', '/', '"', '\'', '=', ' ', '!', '?', '[', '\0'};
    for (int round = 0; round < 300; ++round) {
        std::string damaged = packet.substr(0, packet.size() - random() % 2000);
        for (int i = 0; i < 1 + round % 8; ++i)
            damaged[random() % damaged.size()] = damage[random() % sizeof damage];
        const JpegXmp parts = splitXmpForJpeg(damaged, 65504);
        if (parts.standard.empty())
            continue;
        EXPECT_LE(parts.standard.size(), 65504u);
        EXPECT_TRUE(parts.extended.empty() || parts.guid == md5Of(parts.extended));
    }
}

TEST(JpegXmp, SegmentsCarryTheStandardPacketThenTheExtendedOneInChunks)
{
    const LargeXmp xmp = largeXmpPacket(64, 32);
    const auto segments = jpegXmpSegments(std::span(reinterpret_cast<const std::uint8_t*>(xmp.packet.data()), xmp.packet.size()));
    const JpegXmp parts = splitXmpForJpeg(xmp.packet, 65504);
    ASSERT_GE(segments.size(), 3u);
    EXPECT_EQ(std::string(segments[0].begin(), segments[0].end()), "http://ns.adobe.com/xap/1.0/" + std::string(1, '\0') + parts.standard);
    std::string extended;
    for (std::size_t i = 1; i < segments.size(); ++i) {
        const std::vector<std::uint8_t>& s = segments[i];
        ASSERT_LE(s.size(), 65533u);
        ASSERT_GT(s.size(), 75u);
        EXPECT_EQ(std::string(s.begin(), s.begin() + 35), "http://ns.adobe.com/xmp/extension/" + std::string(1, '\0'));
        EXPECT_EQ(std::string(s.begin() + 35, s.begin() + 67), parts.guid);
        auto be32 = [&s](std::size_t at) { return std::uint32_t(s[at]) << 24 | s[at + 1] << 16 | s[at + 2] << 8 | s[at + 3]; };
        EXPECT_EQ(be32(67), parts.extended.size());
        EXPECT_EQ(be32(71), extended.size());
        extended.append(s.begin() + 75, s.end());
    }
    EXPECT_EQ(extended, parts.extended);
}

}  // namespace
}  // namespace pictavo::imageio
