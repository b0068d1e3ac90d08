// EXIF and XMP read, edited to describe the written picture, EXIF reduced to fit, XMP a JPEG cannot
// carry left out; gain maps' metadata, headroom and gains. (A large packet's split: ConverterMetadata.)

#include "fixtures/HdrFixtures.h"
#include "fixtures/HeifFixtures.h"
#include "fixtures/OutputReaders.h"
#include "imageio/gainmap/AppleGainMap.h"
#include "imageio/gainmap/HdrGainMap.h"
#include "imageio/gainmap/UltraHdrMetadata.h"
#include "imageio/metadata/ExifEditor.h"
#include "imageio/metadata/XmpEditor.h"
#include "imageio/metadata/XmpPacket.h"
#include "imageio/writing/JpegXmp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <optional>
#include <string>

namespace pictavo::imageio {
namespace {

using namespace fixtures;
using namespace std::string_literals;

constexpr std::size_t kUnlimited = 1 << 30;
constexpr std::string_view kTiff = "http://ns.adobe.com/tiff/1.0/";

class ExifEditorByteOrder : public ::testing::TestWithParam<bool> {};

// A block that fits is edited in place; one over the limit loses its thumbnail
// and MakerNote but keeps the rest, its GPS and Interoperability IFDs too. TIFF
// types a sub-IFD pointer LONG or IFD. A size a SHORT cannot hold takes the tag
// out. Without location, the GPS IFD is gone, its bytes zeroed, all else kept.
// Cut short anywhere, a block gives what fits the limit and says upright, if
// anything (nothing may read out of bounds: AddressSanitizer shows it).
TEST_P(ExifEditorByteOrder, OutputExifSaysUprightDescribesTheWrittenSizeAndFitsTheLimit)
{
    struct Row {
        std::size_t makerNote, thumbnail, limit;
        std::uint32_t width, height;
        bool whole;
        std::uint16_t exifPointerType;
    };
    for (const Row& row : {Row{100, 500, kUnlimited, 3024, 4032, true, 4}, Row{40000, 40000, 65527, 640, 480, false, 13},
                           Row{100, 500, kUnlimited, 3024, 70000, true, 4}}) {
        SCOPED_TRACE(row.whole ? "fits whole" : "over the limit");
        const std::vector<std::uint8_t> in = buildTiff({.bigEndian = GetParam(), .makerNoteSize = row.makerNote,
                                                        .thumbnailSize = row.thumbnail,
                                                        .exifPointerType = row.exifPointerType});
        const std::size_t reduced = (*ExifEditor::open(in)).reduced().size();
        const std::vector<std::uint8_t> out = exifForOutput(in, row.width, row.height, row.limit);
        ASSERT_EQ(out.size(), row.whole ? in.size() : reduced);
        EXPECT_EQ(exifNumber(out, ExifIfd::ifd1, 0x0201).has_value(), row.whole) << "the thumbnail stays while there is room";
        EXPECT_EQ(exifBytes(out, ExifIfd::exif, 0x927C).has_value(), row.whole);  // MakerNote
        EXPECT_EQ(exifOrientation(out), 1);
        EXPECT_EQ(exifNumber(out, ExifIfd::exif, 0xA002), row.width);  // PixelXDimension
        EXPECT_EQ(exifNumber(out, ExifIfd::exif, 0xA003),
                  row.height <= 0xFFFF ? std::optional<double>(row.height) : std::nullopt);  // PixelYDimension
        EXPECT_EQ(exifBytes(out, ExifIfd::ifd0, 0x010F), std::string(kTestMake, sizeof kTestMake));  // Make
        EXPECT_EQ(exifBytes(out, ExifIfd::gps, 0x0001), "N\0"s);  // GPSLatitudeRef
        EXPECT_EQ(exifBytes(out, ExifIfd::interop, 0x0001), "R98\0"s);  // InteroperabilityIndex
        EXPECT_EQ(in[0], out[0]) << "byte order kept";
        // A limit is a size that fits: exactly the whole block, exactly the reduced one.
        for (const auto& [limit, size] : {std::pair(in.size(), in.size()), {in.size() - 1, reduced}, {reduced, reduced},
                                          {reduced - 1, std::size_t(0)}})
            EXPECT_EQ(exifForOutput(in, 10, 10, limit).size(), size) << "a limit of " << limit;

        const std::vector<std::uint8_t> placeless = exifWithoutLocation(in);
        ASSERT_EQ(placeless.size(), in.size());
        EXPECT_FALSE(exifNumber(placeless, ExifIfd::gps, 0x0000));  // GPSVersionID
        EXPECT_EQ(std::count(placeless.begin() + tiff_layout::kGpsIfd, placeless.begin() + tiff_layout::kInteropIfd, 0),
                  tiff_layout::kInteropIfd - tiff_layout::kGpsIfd);
        for (const auto& [ifd, tag] : {std::pair(ExifIfd::ifd0, 0x010F), {ExifIfd::ifd0, 0x0112}, {ExifIfd::exif, 0x927C},
                                       {ExifIfd::exif, 0xA002}, {ExifIfd::interop, 0x0001}, {ExifIfd::ifd1, 0x0201}})
            EXPECT_EQ(exifBytes(placeless, ifd, std::uint16_t(tag)), exifBytes(in, ifd, std::uint16_t(tag))) << tag;
    }
    const std::vector<std::uint8_t> valid = buildTiff({.bigEndian = GetParam(), .thumbnailSize = 64});
    for (std::size_t length = 0; length < valid.size(); ++length) {
        const std::vector<std::uint8_t> out = exifForOutput(std::span(valid).first(length), 5, 5, 120);
        EXPECT_LE(out.size(), 120u) << "cut at " << length;
        EXPECT_EQ(exifOrientation(out).value_or(1), 1) << "an orientation kept is upright, cut at " << length;
    }
}

INSTANTIATE_TEST_SUITE_P(BothByteOrders, ExifEditorByteOrder, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "BigEndian" : "LittleEndian"; });

// Hostile EXIF: each row damages a valid block in one place. What cannot be read
// is refused with its reason; a pointer that is damaged or leads back to an IFD
// already read is not followed, and what is written stays upright. (Blocks cut
// short: ExifEditorByteOrder; the metadata fuzzer damages blocks at random.)
TEST(ExifEditor, DamagedBlocksAreRefusedOrReadWithoutFollowingTheDamage)
{
    using namespace tiff_layout;
    struct Row {
        const char* damage;
        std::size_t at;
        std::vector<std::uint8_t> bytes;  // written there, over the little-endian block
        std::optional<ReadError> refused;
        bool exif = true, gps = true, interop = true, make = true;  // still read
    };
    const Row rows[] = {
        {"no TIFF header", 1, {'M'}, ReadError::notTiff},
        {"IFD0 past the end", 4, {0xFF, 0xFF, 0, 0}, ReadError::outOfBounds},
        {"IFD0 inside the header", 4, {4, 0, 0, 0}, ReadError::outOfBounds},
        {"IFD0's entries past the end", kIfd0, {0xFF, 0x0F}, ReadError::outOfBounds},
        {"Exif pointer back at IFD0", valueField(kIfd0, 2), {kIfd0, 0, 0, 0}, {}, false, true, false},
        {"GPS pointer at the Exif IFD", valueField(kIfd0, 3), {kExifIfd, 0, 0, 0}, {}, true, false, true},
        {"Interop pointer at the GPS IFD", valueField(kExifIfd, 3), {kGpsIfd, 0, 0, 0}, {}, true, true, false},
        {"Exif pointer typed SHORT", valueField(kIfd0, 2) - 6, {3, 0}, {}, false, true, false},
        {"Exif pointer past the end", valueField(kIfd0, 2), {0xF0, 0xFF, 0, 0}, {}, false, true, false},
        {"Make's text past the end", valueField(kIfd0, 0), {0xF0, 0xFF, 0, 0}, {}, true, true, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.damage);
        std::vector<std::uint8_t> block = buildTiff({.thumbnailSize = 64});
        std::ranges::copy(row.bytes, block.begin() + std::ptrdiff_t(row.at));
        const ReadResult<TiffReader> tiff = TiffReader::open(block);
        ASSERT_EQ(!tiff, row.refused.has_value());
        if (!tiff) {
            EXPECT_EQ(tiff.failure(), *row.refused);
            EXPECT_TRUE(exifForOutput(block, 5, 5, kUnlimited).empty());
            continue;
        }
        const ExifIfds ifds = *readExifIfds(*tiff);
        EXPECT_EQ(ifds.exif.has_value(), row.exif);
        EXPECT_EQ(ifds.gps.has_value(), row.gps);
        EXPECT_EQ(ifds.interop.has_value(), row.interop);
        if (ifds.exif) {  // its link to the next IFD, 0, follows the entries
            EXPECT_FALSE(tiff->find(ifds.exif->ifd, 0)) << "a tag is sought among the IFD's own entries only";
        }
        const std::vector<std::uint8_t> reduced = exifForOutput(block, 5, 5, block.size() - 1);
        EXPECT_EQ(exifOrientation(reduced), 1);
        EXPECT_EQ(exifBytes(reduced, ExifIfd::ifd0, 0x010F).has_value(), row.make);
        EXPECT_EQ(exifBytes(reduced, ExifIfd::gps, 0x0001).has_value(), row.gps);
    }
}

// A packet of one rdf:Description with `attributes` and `body`, tiff, exif and rdf declared.
std::string described(const std::string& attributes, const std::string& body = "")
{
    return "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"" + std::string(kRdfNamespace) +
           "\"><rdf:Description xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" " +
           attributes + ">" + body + "</rdf:Description></rdf:RDF></x:xmpmeta>";
}

// Names by their namespace, values with references resolved, and where each
// lies (edits in place rely on it: the XmpEditor and JpegXmp tests); what is
// not namespace-well-formed XML, or declares a document type (with entities
// to expand), is refused.
TEST(XmpPacket, ReadsNamesValuesAndPlacesAndRefusesWhatIsNotWellFormed)
{
    const std::string text = "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>" +
                             described("xmlns:t='http://ns.adobe.com/tiff/1.0/' t:Make = 'A &amp; B'",
                                       "<dc:title xmlns:dc='dc'>\n<![CDATA[a <b>]]> &lt;c&gt;</dc:title><t:Model/>") +
                             "\n <?xpacket end='w'?>";
    const ReadResult<XmpPacket> packet = XmpPacket::read(text);
    ASSERT_TRUE(packet);
    EXPECT_EQ(packet->property(kTiff, "Make"), "A & B");
    EXPECT_EQ(packet->property("dc", "title"), "\na <b> <c>");
    EXPECT_EQ(packet->property(kTiff, "Model"), "");
    EXPECT_FALSE(packet->property(kTiff, "title"));
    EXPECT_EQ(packet->trailer(), text.find("<?xpacket end"));
    const XmpAttribute& make = packet->attributes(packet->elements()[2]).back();
    EXPECT_EQ(text.substr(make.whole.begin, make.whole.size()), "t:Make = 'A &amp; B'");
    EXPECT_EQ(text.substr(make.quoted.begin, make.quoted.size()), "A &amp; B");
    for (const std::string& refused : {""s, "<a>"s, "<a></b>"s, "<p:a/>"s, "<a/><b/>"s, "<a b='1' b='2'/>"s, "<a>\0</a>"s,
                                      "<!DOCTYPE a [<!ENTITY e 'x'>]><a>&e;</a>"s, "\xFF\xFE<\0a\0/\0>\0"s})
        EXPECT_EQ(XmpPacket::read(refused).failure(), ReadError::notWellFormed) << refused;
}

// Orientation and pixel size are rewritten, as elements or attributes, and nothing else. Without
// location: no exif:GPS… nor place name, as attribute or element (with what it holds); everything
// else byte for byte, other namespaces' namesakes too.
TEST(XmpEditor, OrientationAndSizeAreRewrittenLocationGoesAndNothingElseChanges)
{
    using Edit = std::vector<std::uint8_t> (*)(std::span<const std::uint8_t>);
    const Edit forOutput = [](std::span<const std::uint8_t> xmp) { return xmpForOutput(xmp, 640, 480); };
    const std::string places = R"( xmlns:photoshop="http://ns.adobe.com/photoshop/1.0/")"
                               R"( xmlns:Iptc4xmpCore="http://iptc.org/std/Iptc4xmpCore/1.0/xmlns/")"
                               R"( xmlns:Iptc4xmpExt="http://iptc.org/std/Iptc4xmpExt/2008-02-29/" xmlns:my="urn:my")";
    const std::tuple<Edit, std::string, std::string> cases[] = {  // out "": as it came in; "-": left out
        {forOutput, described(R"(tiff:Orientation="6" exif:PixelXDimension="4032" exif:PixelYDimension="3024")"),
         described(R"(tiff:Orientation="1" exif:PixelXDimension="640" exif:PixelYDimension="480")")},
        {forOutput, described("\ntiff:Orientation\t=\r\n'8'"), described("\ntiff:Orientation\t=\r\n'1'")},
        {forOutput, described("", "<tiff:Orientation>6</tiff:Orientation><exif:PixelYDimension></exif:PixelYDimension>"),
         described("", "<tiff:Orientation>1</tiff:Orientation><exif:PixelYDimension>480</exif:PixelYDimension>")},
        {forOutput, described(R"(xmlns:t="http://ns.adobe.com/tiff/1.0/" t:Orientation="6")"),
         described(R"(xmlns:t="http://ns.adobe.com/tiff/1.0/" t:Orientation="1")")},
        // Other names, the name in text, and a property not held as text stay as they are.
        {forOutput,
         described(R"(xmlns:my="urn:my" my:Orientation="6" tiff:OrientationNote="6")",
                   "<my:d>tiff:Orientation=6</my:d><tiff:Orientation/><tiff:Orientation><rdf:Seq/></tiff:Orientation>"),
         ""},
        // What is not XML is left out: it could only carry a stale orientation or a place on.
        {forOutput, R"(<d xmlns:tiff="http://ns.adobe.com/tiff/1.0/" tiff:Orientation="6)", "-"},
        {forOutput, R"(<d tiff:Orientation="6"/>)", "-"},
        {xmpWithoutLocation, "<d/", "-"},
        {xmpWithoutLocation, described(R"(exif:GPSLatitude="51,10.7N" tiff:Make="A" exif:GPSAltitude="97/1")" + places),
         described(R"(tiff:Make="A")" + places)},
        {xmpWithoutLocation,
         described(R"(photoshop:City="Bath")" + places,
                   "<Iptc4xmpExt:LocationShown><rdf:Bag><rdf:li Iptc4xmpExt:City='Bath'/></rdf:Bag></Iptc4xmpExt:LocationShown>"
                   "\n <photoshop:Country>UK</photoshop:Country><my:City>kept</my:City><photoshop:State>S</photoshop:State>"
                   "<Iptc4xmpCore:Location>L</Iptc4xmpCore:Location><Iptc4xmpExt:LocationCreated/><exif:GPSImgDirection/>"),
         described(places.substr(1), "<my:City>kept</my:City>")},
    };
    for (const auto& [edit, in, out] : cases) {
        const std::vector<std::uint8_t> edited = edit({reinterpret_cast<const std::uint8_t*>(in.data()), in.size()});
        EXPECT_EQ(std::string(edited.begin(), edited.end()), out.empty() ? in : out == "-" ? "" : out) << in;
    }
}

// A packet that fits once its padding is dropped is kept whole. What cannot
// be split validly is left out: a 70 KB attribute (moving properties cannot
// make it fit), XMP that is not well-formed or not in the rdf:Description form.
TEST(JpegXmp, APacketIsKeptWholeWhenItFitsAndLeftOutWhenItCannotBeSplit)
{
    const std::string large = largeXmpPacket(64, 32).packet;
    const auto with = [](std::string packet, const char* at, std::size_t replaced, const std::string& text) {
        return packet.replace(packet.find(at), replaced, text);
    };
    const std::pair<std::string, std::string> cases[] = {  // packet, its standard part
        {with(xmpPacket("padded"), "<?xpacket end", 0, std::string(70000, ' ') + "\n"), xmpPacket("padded")},
        {with(large, "xmp:Rating=", 0, "xmp:Nickname=\"" + std::string(70000, 'n') + "\" "), ""},
        {large.substr(0, 150000), ""},
        {with(large, "<rdf:Description", 16, "<exif:Photo"), ""},
        {with(large, "<rdf:Description", 0, "<rdf:Bag/>"), ""},
    };
    for (const auto& [packet, standard] : cases) {
        const JpegXmp parts = splitXmpForJpeg(packet, 65504);
        EXPECT_EQ(parts.standard, standard) << "a packet of " << packet.size() << " bytes";
        EXPECT_TRUE(parts.extended.empty());
    }
}

// Gain map metadata written in ISO 21496-1's binary form and as hdrgm XMP reads
// back the same from both (one channel; three in the binary form), a phone's
// real tmap payload reads as the phone wrote it, and damaged payloads give nothing.
TEST(UltraHdrMetadata, BothFormsAgreeAndDamagedPayloadsAreRefused)
{
    const GainMapMetadata sdrBase{.alternateHeadroom = 2.3, .min = {-0.25, -0.25, -0.25}, .max = {2.3, 2.3, 2.3},
                                  .gamma = {0.8, 0.8, 0.8}, .baseOffset = {1.0 / 64, 1.0 / 64, 1.0 / 64},
                                  .alternateOffset = {1.0 / 32, 1.0 / 32, 1.0 / 32}};
    GainMapMetadata hdrBase = sdrBase;
    hdrBase.baseHeadroom = 3, hdrBase.alternateHeadroom = 0.5;
    GainMapMetadata colour = sdrBase;
    colour.multichannel = true, colour.max[1] = 1.5, colour.gamma[2] = 1.25, colour.useBaseColourSpace = false;
    for (const auto& [name, m] : {std::pair{"SDR base", sdrBase}, {"HDR base", hdrBase}, {"three channels", colour}}) {
        SCOPED_TRACE(name);
        const std::vector<std::uint8_t> iso = isoGainMapMetadata(m);
        const std::optional<GainMapMetadata> fromIso = parseIsoGainMapMetadata(iso);
        expectSameMetadata(fromIso, m);
        EXPECT_EQ(fromIso.value_or(GainMapMetadata{}).useBaseColourSpace, m.useBaseColourSpace);
        for (std::size_t cut = 0; cut < iso.size(); ++cut)
            EXPECT_FALSE(parseIsoGainMapMetadata(std::span(iso).first(cut))) << cut;
        if (!m.multichannel) {
            std::setlocale(LC_NUMERIC, "de_DE.UTF-8");  // a decimal comma, as the application may run in
            const std::string xmp = hdrgmGainMapXmp(m);
            std::setlocale(LC_NUMERIC, "C");
            expectSameMetadata(parseHdrgmXmp(xmp), m);
        }
    }
    // A Samsung tmap item (after its version byte): one channel over 2^22, base colour space.
    const std::vector<std::uint8_t> phone = {
        0, 0, 0, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0x93, 0x33, 0x33, 0, 0x40, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 1, 0, 0x93, 0x33, 0x33, 0, 0x40, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1};
    const std::optional<GainMapMetadata> samsung = parseIsoGainMapMetadata(phone);
    ASSERT_TRUE(samsung && samsung->useBaseColourSpace);
    EXPECT_NEAR(samsung->max[2], 2.3, 1e-6);
    EXPECT_NEAR(samsung->alternateHeadroom, 2.3, 1e-6);
    std::vector<std::uint8_t> damaged = phone;
    damaged[1] = 1;  // a minimum version this reader does not know
    EXPECT_FALSE(parseIsoGainMapMetadata(damaged));
    damaged = phone;
    std::fill_n(damaged.begin() + 9, 4, 0);  // the base headroom's denominator
    EXPECT_FALSE(parseIsoGainMapMetadata(damaged));
    std::string elsewhere = hdrgmGainMapXmp(sdrBase);
    elsewhere.replace(elsewhere.find("hdr-gain-map"), 12, "elsewhere");
    EXPECT_FALSE(parseHdrgmXmp(elsewhere)) << "hdrgm's names in another namespace";

    // The photo's own XMP names the gain map once: a phone's directory and version go.
    const std::string photo = described("xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\" hdrgm:Version=\"1.0\" "
                                        "xmlns:Container=\"http://ns.google.com/photos/1.0/container/\" tiff:Make=\"P\"",
                                        "<Container:Directory><rdf:Seq/></Container:Directory>");
    const std::optional<std::string> primary = primaryXmpWithGainMap(photo, 1234);
    ASSERT_TRUE(primary);
    EXPECT_TRUE(XmpPacket::read(*primary));
    for (const char* once : {"<Container:Directory>", "hdrgm:Version", "Item:Length=\"1234\"", "tiff:Make=\"P\""})
        EXPECT_EQ(occurrences(*primary, once), 1u) << once;
    EXPECT_FALSE(primaryXmpWithGainMap("<x/>", 1)) << "no rdf:RDF to add to";
}

// An Apple maker note ("Apple iOS", big-endian IFD) with tags 33 and 48 as SRATIONALs.
std::vector<std::uint8_t> appleMakerNote(std::optional<double> tag33, std::optional<double> tag48)
{
    std::vector<std::pair<std::uint16_t, double>> tags;
    for (const auto& [tag, value] : {std::pair<std::uint16_t, std::optional<double>>(33, tag33), {48, tag48}})
        if (value)
            tags.emplace_back(tag, *value);
    TiffBytes note(true);
    note.data = {'A', 'p', 'p', 'l', 'e', ' ', 'i', 'O', 'S', 0, 0, 1, 'M', 'M'};
    note.put(std::uint32_t(tags.size()), 2);
    const std::uint32_t valuesAt = 14 + 2 + 12 * std::uint32_t(tags.size()) + 4;
    for (std::size_t i = 0; i < tags.size(); ++i)
        note.entry(tags[i].first, 10, 1, valuesAt + 8 * std::uint32_t(i));
    note.put(0, 4);
    for (const auto& [tag, value] : tags) {
        note.put(std::uint32_t(std::int32_t(std::lround(value * 1e6))), 4);
        note.put(1'000'000, 4);
    }
    return note.data;
}

// Apple's headroom from the maker note by its four-branch formula or from the gain map's XMP.
TEST(AppleGainMap, HeadroomFollowsApplesFormula)
{
    struct Row {
        std::optional<double> tag33, tag48, stops;
    };
    for (const Row& row : {Row{0.88, std::nullopt, 1.8}, Row{0.5, 0.005, 1.7}, Row{0.5, 2.0, 1.399},
                           Row{1.2, 0.01, 2.3}, Row{1.2, 1.0, 2.0}, Row{1.2, 9.0, std::nullopt},
                           Row{std::nullopt, 0.5, std::nullopt}}) {
        const std::vector<std::uint8_t> exif = buildTiff({.bigEndian = true, .makerNote = appleMakerNote(row.tag33, row.tag48)});
        const std::optional<double> headroom = appleHeadroomFromMakerNote(exif);
        SCOPED_TRACE(::testing::Message() << "tags 33 and 48: " << row.tag33.value_or(-1) << ", " << row.tag48.value_or(-1));
        ASSERT_EQ(headroom.has_value(), row.stops.has_value());
        EXPECT_NEAR(std::log2(headroom.value_or(1)), row.stops.value_or(0), 1e-5);
    }
    EXPECT_FALSE(appleHeadroomFromMakerNote(buildTiff({})));
    const std::string apple = "xmlns:HDRGainMap=\"http://ns.apple.com/HDRGainMap/1.0/\" ";
    EXPECT_EQ(appleHeadroomFromXmp(described(apple, "<HDRGainMap:HDRGainMapHeadroom>2.75</HDRGainMap:HDRGainMapHeadroom>")), 2.75);
    EXPECT_EQ(appleHeadroomFromXmp(described(apple + "HDRGainMap:HDRGainMapHeadroom=\"3.5\"")), 3.5);
    EXPECT_FALSE(appleHeadroomFromXmp(described(apple + "HDRGainMap:HDRGainMapHeadroom=\"1\""))) << "no room above SDR";
}

// The gain map that brings a PQ or HLG photo's HDR back over its tone-mapped SDR photo.
constexpr double k = kGainMapOffset;

TEST(HdrHeadroom, ComesFromTheDeclaredPeakElseTheContentsAndHlgsIsNominal)
{
    auto stops = [](double nits) { return std::log2(nits / kSdrWhiteNits); };
    auto gain = [](double nits) { return std::log2((nits / kSdrWhiteNits + k) / (1 + k)); };
    struct Row {
        const char* name;
        HdrTransfer transfer;
        std::optional<double> declared;
        double brightest;
        std::optional<double> stops, maxGain;
    } rows[] = {
        {"PQ declared", HdrTransfer::pq, 1000, 800, stops(1000), gain(1000)},
        {"PQ content, tone-mapped from the default peak", HdrTransfer::pq, {}, 600, stops(600), gain(1000)},
        {"PQ content over the declared", HdrTransfer::pq, 1000, 4000, stops(4000), gain(4000)},
        {"HLG nominal, its declared peak tone-mapped", HdrTransfer::hlg, 600, 0, stops(1000), gain(1000)},
        {"HLG declared over its nominal", HdrTransfer::hlg, 2000, 0, stops(1000), gain(2000)},
        {"PQ no brighter than SDR white", HdrTransfer::pq, {}, 210, {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::optional<HdrHeadroom> headroom = hdrHeadroom(row.transfer, row.declared, row.brightest);
        ASSERT_EQ(headroom.has_value(), row.stops.has_value());
        EXPECT_NEAR(headroom.value_or(HdrHeadroom{}).stops, row.stops.value_or(0), 1e-9);
        EXPECT_NEAR(headroom.value_or(HdrHeadroom{}).maxGainStops, row.maxGain.value_or(0), 1e-9);
    }
}

// A 7 × 4 photo in gain-map samples of about 4 × 4: two samples, over 4 and
// 3 columns. Each row: the light of the photo's upper and lower halves (HDR
// RGB, SDR 8-bit RGB) and the gains expected of both samples.
TEST(HdrGainMapBuilder, GainsAreTheLog2RatioOfTheLightEachSampleCovers)
{
    const HdrHeadroom headroom{2.0, 3.0};
    const double white = 1, mid = std::pow((128 / 255.0 + 0.055) / 1.055, 2.4);  // SDR's light, through sRGB's curve
    auto gain = [](double hdr, double sdr) { return std::log2((hdr + k) / (sdr + k)); };
    struct Row {
        const char* name;
        float hdr[2][3];
        std::uint8_t sdr[2][3];
        double gains[3];
    } rows[] = {
        {"SDR as HDR, and black", {{float(mid), 0, 1}, {float(mid), 0, 1}}, {{128, 0, 255}, {128, 0, 255}}, {0, 0, 0}},
        {"each channel its own", {{4, 2, 0.5}, {4, 2, 0.5}}, {{255, 255, 128}, {255, 255, 128}},
         {gain(4, white), gain(2, white), gain(0.5, mid)}},
        {"beyond the largest gain, and SDR over HDR", {{20, 0.1f, 0}, {20, 0.1f, 0}}, {{255, 128, 0}, {255, 128, 0}},
         {3, 0, 0}},
        {"half bright: the ratio of the means", {{8, 8, 8}, {0, 0, 0}}, {{255, 255, 255}, {0, 0, 0}},
         {gain(4, white / 2), gain(4, white / 2), gain(4, white / 2)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HdrGainMapBuilder builder(7, 4, headroom);
        for (int y = 0; y < 4; ++y) {
            EXPECT_EQ(builder.finish(), nullptr) << "before its last row";
            std::vector<float> hdr;
            std::vector<std::uint8_t> sdr;
            for (int x = 0; x < 7; ++x) {
                hdr.insert(hdr.end(), row.hdr[y / 2], row.hdr[y / 2] + 3);
                sdr.insert(sdr.end(), row.sdr[y / 2], row.sdr[y / 2] + 3);
            }
            builder.addRow(hdr.data(), sdr.data());
        }
        const std::unique_ptr<GainMap> map = builder.finish();
        ASSERT_NE(map, nullptr);
        ASSERT_EQ(std::tuple(map->image.width, map->image.height, map->image.channels), std::tuple(2u, 1u, 3));
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(map->image.data[c], std::clamp(row.gains[c] / 3.0, 0.0, 1.0) * 255, 0.5) << "channel " << c;
            EXPECT_EQ(map->image.data[3 + c], map->image.data[c]) << "the edge sample, channel " << c;
        }
        EXPECT_EQ(std::tuple(map->metadata.alternateHeadroom, map->metadata.max[2], map->metadata.baseOffset[1]),
                  std::tuple(2.0, 3.0, k));
    }
}

}  // namespace
}  // namespace pictavo::imageio
