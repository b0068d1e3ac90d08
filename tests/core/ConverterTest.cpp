// Converter end to end: what the written JPG and PNG files hold (pixels of every layout,
// orientation and grid; metadata), for fixtures and the real samples, and what they are called.

#include "core/Converter.h"
#include "fixtures/HdrFixtures.h"
#include "fixtures/HeifFixtures.h"
#include "fixtures/OutputReaders.h"
#include "imageio/gainmap/AppleGainMap.h"
#include "imageio/gainmap/GainMap.h"
#include "imageio/ImageSource.h"
#include "imageio/pixels/HdrLight.h"
#include "imageio/writing/JpegXmp.h"
#include "imageio/writing/Md5.h"
#include "imageio/gainmap/UltraHdrMetadata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <ranges>

namespace pictavo {
namespace {

using namespace fixtures;
using namespace std::literals;

fs::path convertOk(const fs::path& source, const ConversionOptions& options,
                   const std::optional<fs::path>& outputDir = std::nullopt)
{
    ConversionResult result = Converter::convert(source, options, outputDir);
    if (!result.ok() || !result.output())
        throw std::runtime_error("conversion failed: " + result.error().value_or("?"));
    return *result.output();
}

auto whole(const Raster& r) { return std::tie(r.width, r.height, r.channels, r.bitDepth, r.samples); }

// The JPEG's mean difference from the PNG's pixels flattened onto white (if
// they have alpha) and rounded to 8 bits, as the JPEG should show them.
double differenceFromFlattened(const Raster& jpeg, const Raster& png)
{
    const int colours = png.channels % 2 ? png.channels : png.channels - 1;
    const double maximum = png.maxValue();
    double difference = 0;
    for (std::size_t i = 0, j = 0; i < png.samples.size(); i += png.channels) {
        const double alpha = colours < png.channels ? png.samples[i + colours] / maximum : 1;
        for (int c = 0; c < colours; ++c)
            difference += jpeg.samples[j++] - std::round((png.samples[i + c] / maximum * alpha + 1 - alpha) * 255);
    }
    return difference / double(jpeg.samples.size());
}

// PNG equals libheif's own decode of the primary image (8 and 16 bits, alpha, grey, wherever
// the primary image stands; one output each); the JPEG is 8-bit, grey for grey sources and
// flattened onto white: on average it neither lightens nor darkens the flattened PNG.
TEST(ConverterPixels, PngEqualsLibheifsOwnDecodeWhateverTheLayout)
{
    TempDir dir;
    struct Case {
        Pixels pixels;
        const char* chroma;  // lossy; none: lossless
        std::optional<PrimaryItem> afterAnother = std::nullopt;  // the primary image, second in the file
        std::uint32_t grid = 0;  // tiles across and down, converted band by band
        std::optional<Nclx> nclx = std::nullopt;
    };
    const Nclx bt709{1, 1, 1, true}, bt2020Limited{9, 14, 9, false};
    // A grey photo fading out downwards, alpha 255 in the top row and 0 in the bottom one.
    const auto fading = [](std::uint32_t x, std::uint32_t y, int c) { return c == 3 ? 255 - y * 255 / 99 : x * 255 / 28; };
    for (const Case& c : {Case{gradient(301, 157), "420"}, Case{gradient(301, 157), "444"},
                          Case{gradient(200, 100, 3, 10), "420"}, Case{gradient(256, 128, 3, 10), "420", {}, 2},
                          Case{gradient(256, 128, 3, 10), "422", {}, 2, bt2020Limited},
                          Case{gradient(256, 128, 3, 10), "420", {}, 2, bt709}, Case{gradient(256, 128), "420", {}, 2, bt709},
                          Case{quadrants(64, 32, 4), nullptr},
                          Case{quadrants(64, 32, 4, 10), nullptr}, Case{quadrants(64, 32, 1), nullptr},
                          Case{quadrants(64, 32, 2), nullptr}, Case{quadrants(64, 32, 1, 10), nullptr},
                          Case{quadrants(64, 32, 2, 10), nullptr}, Case{paint(29, 100, 2, 8, fading), "420"},
                          Case{quadrants(64, 32), nullptr, PrimaryItem::topLevel},
                          Case{quadrants(64, 32), nullptr, PrimaryItem::hidden},
                          Case{quadrants(64, 32), nullptr, PrimaryItem::thumbnailOfNext}}) {
        SCOPED_TRACE(::testing::Message() << c.pixels.channels << "@" << c.pixels.bitDepth << " " << (c.chroma ? c.chroma : "")
                                          << ", primary " << (c.afterAnother ? int(*c.afterAnother) : -1)
                                          << ", grid " << c.grid << ", matrix " << (c.nclx ? c.nclx->matrix : 0));
        HeicImage image(c.pixels);
        image.lossless = !c.chroma;
        image.chroma = c.chroma ? c.chroma : "444";
        image.gridColumns = image.gridRows = c.grid;
        image.nclx = c.nclx;
        if (c.afterAnother)
            writeHeic(dir / "in.heic", {HeicImage(flat(48, 16, 0, 255, 0)), image}, 1, *c.afterAnother);
        else
            writeHeic(dir / "in.heic", image);
        TempDir out;
        const Raster png = readPng(convertOk(dir / "in.heic", {.to = OutputFormat::png}, out.path()));
        // (libheif refuses a hidden primary image: lossless pixels are compared as written.)
        EXPECT_EQ(whole(png), whole(c.afterAnother ? c.pixels : heifReference(dir / "in.heic")));
        const Raster jpeg = readJpeg(convertOk(dir / "in.heic", {.to = OutputFormat::jpg}, out.path()));
        EXPECT_EQ(std::tuple(jpeg.width, jpeg.height, jpeg.channels),
                  std::tuple(png.width, png.height, c.pixels.channels <= 2 ? 1 : 3));
        EXPECT_EQ(out.entries(), (std::vector<std::string>{"in.jpg", "in.png"}));
        EXPECT_NEAR(differenceFromFlattened(jpeg, png), 0, 0.2);
    }
}

// True when the photo is read as tiles; a second reading gives the same luma samples.
bool decodesAsTiles(const fs::path& location)
{
    auto source = imageio::ImageSource::open(location);
    const auto decoded = source ? (*source)->decode(imageio::ImageSource::Purpose::jpegOutput) : imageio::Failure::unreadable;
    if (!decoded || !(*decoded)->tiles)
        return false;
    const auto luma = [&] {
        std::vector<std::uint8_t> all;
        const auto reader = (*decoded)->tiles->read(imageio::YCbCrBandSource::Ahead::usual);
        for (auto band = reader->next(); band && *band; band = reader->next())
            all.insert(all.end(), (*band)->y, (*band)->y + (*band)->yStride * (*band)->rows);
        return all;
    };
    const std::vector<std::uint8_t> first = luma();
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(luma(), first);
    return true;
}

::testing::AssertionResult closeToReference(const Raster& jpeg, const Raster& reference)
{
    if (std::pair(jpeg.width, jpeg.height) != std::pair(reference.width, reference.height))
        return ::testing::AssertionFailure() << jpeg.width << "x" << jpeg.height << " written";
    // A tile out of place, a wrong stride, a wrong turn or a colour
    // conversion would show as large errors; JPEG's own loss stays small.
    // (A deep reference is rounded to the JPEG's 8 bits.)
    const int maximum = reference.maxValue();
    double sumOfSquares = 0;
    int worst = 0;
    for (std::size_t i = 0; i < jpeg.samples.size(); ++i) {
        const int error = std::abs(jpeg.samples[i] - (reference.samples[i] * 255 + maximum / 2) / maximum);
        sumOfSquares += double(error) * error;
        worst = std::max(worst, error);
    }
    const double psnr = 10 * std::log10(255.0 * 255.0 / (sumOfSquares / double(jpeg.samples.size())));
    if (psnr > 38.0 && worst < 48)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "PSNR " << psnr << " dB, worst error " << worst;
}

// Every orientation (irot × imir) of a plain picture and of a grid in JPEG's YCbCr, whole and with a
// centred clean-aperture crop: the PNG is libheif's own turned decode, the JPEG close to it. A grid's
// tiles are turned into place one by one, unless libheif's 4:2:0 planes would not follow: a crop of an
// odd size, or one listed before the turn (libheif's cropped chroma is a sample wider than the crop);
// then libheif turns the whole picture. Tiles under 64 px (libheif 1.23 pads them) may go either way.
class ConverterOrientation : public ::testing::TestWithParam<int> {};

TEST_P(ConverterOrientation, OutputsHoldUprightPixels)
{
    const int orientation = GetParam();
    const std::uint32_t width = orientation >= 5 ? 128 : 256, height = orientation >= 5 ? 256 : 128;  // upright
    struct Case {
        std::uint32_t grid;
        std::uint32_t cropLess;  // width and height less this, centred (so either way up); 0: no crop
        bool cropAfterTurn;
        int depth = 8;
    };
    for (const Case& c : {Case{0, 0, false}, Case{0, 32, false}, Case{2, 0, false}, Case{2, 32, true},
                          Case{2, 32, false}, Case{2, 33, true}, Case{4, 0, false}, Case{2, 32, true, 10}}) {
        SCOPED_TRACE(::testing::Message() << "orientation " << orientation << ", grid " << c.grid << ", crop "
                                          << c.cropLess << (c.cropAfterTurn ? " after the turn" : "") << ", depth "
                                          << c.depth);
        TempDir dir;
        // A 256×128 picture in YCbCr 4:2:0 (BT.601, full range; at 8 bits JPEG's own). (libheif
        // 1.19 swaps the rows and columns of a grid it encodes: square grids only.)
        HeicImage image(gradient(256, 128, 3, c.depth));
        image.lossless = false;
        image.chroma = "420";
        image.nclx = Nclx{};
        image.gridColumns = image.gridRows = c.grid;
        image.orientation = orientation;
        image.cropWidth = c.cropLess ? (c.cropAfterTurn ? width : 256) - c.cropLess : 0;
        image.cropHeight = c.cropLess ? (c.cropAfterTurn ? height : 128) - c.cropLess : 0;
        image.cropAfterTurn = c.cropAfterTurn;
        writeHeic(dir / "o.heic", image);
        const Raster upright = heifReference(dir / "o.heic");  // libheif applies the stored turn, flip and crop
        EXPECT_TRUE(c.grid == 4 || decodesAsTiles(dir / "o.heic") == (c.grid > 0 && c.depth == 8));
        EXPECT_EQ(whole(readPng(convertOk(dir / "o.heic", {.to = OutputFormat::png}))), whole(upright));
        EXPECT_TRUE(closeToReference(readJpeg(convertOk(dir / "o.heic", {.to = OutputFormat::jpg})), upright));
    }
}

INSTANTIATE_TEST_SUITE_P(AllEight, ConverterOrientation, ::testing::Range(1, 9));

// `upright` sampled at the centre of each pixel of a `width` × `height` picture
// over it (bilinearly): on a smooth gradient, what a resample should give.
Raster resampledReference(const Raster& upright, std::uint32_t width, std::uint32_t height)
{
    Raster out{width, height, upright.channels, upright.bitDepth, {}};
    for (std::uint32_t y = 0; y < height; ++y)
        for (std::uint32_t x = 0; x < width; ++x)
            for (int c = 0; c < upright.channels; ++c) {
                const double u = std::clamp((x + 0.5) * upright.width / width - 0.5, 0.0, upright.width - 1.0);
                const double v = std::clamp((y + 0.5) * upright.height / height - 0.5, 0.0, upright.height - 1.0);
                const auto x0 = std::uint32_t(u), y0 = std::uint32_t(v);
                const std::uint32_t x1 = std::min(x0 + 1, upright.width - 1), y1 = std::min(y0 + 1, upright.height - 1);
                const double fx = u - x0, fy = v - y0;
                const double top = upright.at(x0, y0, c) * (1 - fx) + upright.at(x1, y0, c) * fx;
                const double bottom = upright.at(x0, y1, c) * (1 - fx) + upright.at(x1, y1, c) * fx;
                out.samples.push_back(std::uint16_t(std::lround(top * (1 - fy) + bottom * fy)));
            }
    return out;
}

// The largest difference, as a fraction of full scale, away from a border of `margin` pixels.
double worstInside(const Raster& a, const Raster& b, std::uint32_t margin)
{
    double worst = 0;
    for (std::uint32_t y = margin; y + margin < a.height; ++y)
        for (std::uint32_t x = margin; x + margin < a.width; ++x)
            for (int c = 0; c < a.channels; ++c)
                worst = std::max(worst, std::abs(a.at(x, y, c) - b.at(x, y, c)) / double(a.maxValue()));
    return worst;
}

// A long side scales the upright picture (turned, mirrored, cropped, tiled, deep) to it, the
// other side rounded, never enlarging: PNG and JPEG alike, their pixels those of the picture
// resampled. Fine stripes come out as their mean, not as moiré, and transparent stripes lend
// no colour to the opaque ones beside them. A grid's partial edge tiles are cut to the picture.
TEST(ConverterResize, TheUprightLongSideIsScaledToTheSizeAsked)
{
    struct Row {
        Pixels pixels;
        int orientation;
        std::uint32_t grid, cropWidth;
        int longSide;
        std::uint32_t width, height;  // written
        bool stripes = false;
        bool repeated = false;  // `pixels` as every tile of a width × height grid, partial at the edges
    };
    auto stripes = [](std::uint32_t width, std::uint32_t height, int channels, bool across) {
        return paint(width, height, channels, 8,
                     [across](std::uint32_t x, std::uint32_t y, int) { return (across ? x : y) % 2 ? 255 : 0; });
    };
    for (const Row& row : {Row{gradient(301, 157), 1, 0, 0, 100, 100, 52}, Row{gradient(256, 128), 6, 2, 0, 100, 50, 100},
                           Row{gradient(256, 128), 2, 0, 0, 64, 64, 32}, Row{gradient(256, 128), 1, 0, 192, 100, 100, 50},
                           Row{gradient(64, 32), 1, 0, 0, 64, 64, 32}, Row{gradient(301, 157), 1, 0, 0, 17, 17, 9},
                           Row{gradient(200, 100, 3, 10), 8, 0, 0, 75, 38, 75}, Row{stripes(257, 64, 3, true), 1, 0, 0, 100, 100, 25, true},
                           Row{stripes(64, 257, 1, false), 1, 0, 0, 100, 25, 100, true},
                           Row{stripes(257, 64, 4, true), 1, 0, 0, 100, 100, 25, true},
                           Row{flat(256, 256, 200, 100, 50), 1, 0, 0, 1000, 1000, 333, false, true}}) {
        SCOPED_TRACE(::testing::Message() << row.pixels.width << "x" << row.pixels.height << (row.repeated ? " tiles" : "")
                                          << " orientation " << row.orientation << " to " << row.longSide);
        TempDir dir;
        HeicImage image(row.pixels);
        image.orientation = row.orientation;
        image.cropWidth = row.cropWidth, image.cropHeight = row.cropWidth / 2;
        if (row.grid) {
            image.gridColumns = image.gridRows = row.grid;
            image.lossless = false, image.chroma = "420", image.nclx = Nclx{};
        }
        if (row.repeated)
            writeRepeatedTileHeic(dir / "in.heic", row.width, row.height, row.pixels);
        else
            writeHeic(dir / "in.heic", image);
        const Raster upright = heifReference(dir / "in.heic");
        const Raster png = readPng(convertOk(dir / "in.heic", {.to = OutputFormat::png, .longSide = row.longSide}));
        const Raster jpeg = readJpeg(convertOk(dir / "in.heic", {.to = OutputFormat::jpg, .longSide = row.longSide}));
        ASSERT_EQ(std::pair(png.width, png.height), std::pair(row.width, row.height));
        ASSERT_EQ(std::pair(jpeg.width, jpeg.height), std::pair(row.width, row.height));
        EXPECT_EQ(decodesAsTiles(dir / "in.heic"), row.grid > 0 || row.repeated);
        // Stripes come out as their mean: white wherever they show, half transparent.
        const auto mean = [&png](std::uint32_t, std::uint32_t, int c) { return png.channels == 4 && c < 3 ? 255 : 128; };
        const Raster expected = row.stripes ? paint(row.width, row.height, png.channels, 8, mean)
                                            : resampledReference(upright, row.width, row.height);
        EXPECT_LT(worstInside(png, expected, row.stripes ? 3 : 2), row.stripes ? 0.025 : 0.012);
        if (!row.stripes) {
            EXPECT_TRUE(closeToReference(jpeg, expected));
        }
    }
}

// A JPEG's XMP as an extended-XMP reader finds it: the standard packet, the
// extended one put together from its chunks (total length, offset, data) and
// the GUID they all name. A missing or misplaced chunk shows in the GUID check.
std::array<std::string, 3> readJpegXmp(const fs::path& jpg)
{
    std::string standard, extended, guid;
    for (const auto& segment : jpegSegments(jpg, 0xE1)) {
        const std::string bytes(segment.begin(), segment.end());
        auto be32 = [&segment](std::size_t at) {
            return std::uint32_t(segment[at]) << 24 | segment[at + 1] << 16 | segment[at + 2] << 8 | segment[at + 3];
        };
        if (bytes.starts_with("http://ns.adobe.com/xap/1.0/\0"sv)) {
            EXPECT_TRUE(standard.empty()) << "one standard packet";
            standard = bytes.substr(29);
        } else if (bytes.starts_with("http://ns.adobe.com/xmp/extension/\0"sv) && bytes.size() > 75) {
            EXPECT_TRUE(guid.empty() || guid == bytes.substr(35, 32));
            guid = bytes.substr(35, 32);
            extended.resize(be32(67));
            extended.replace(be32(71), bytes.size() - 75, bytes.substr(75));
        }
    }
    return {standard, extended, guid};
}

TEST(ConverterMetadata, IccExifAndXmpOfAnySizeAreCarriedWithOrientationOne)
{
    TempDir dir;
    const std::vector<std::uint8_t> icc = displayP3Icc("Pictavo fixture P3");
    const LargeXmp xmp = largeXmpPacket(64, 32);
    HeicImage image(quadrants(64, 32));
    image.orientation = 6;  // written upright: 32 × 64
    image.icc = icc;
    image.exif = buildTiff({.orientation = 6, .pixelX = 64, .pixelY = 32});
    // With the note an earlier split left, which the JPEG's own replaces.
    image.xmp = xmp.packet;
    image.xmp.insert(image.xmp.find("</rdf:Description>"), "<xmpNote:HasExtendedXMP xmlns:xmpNote=\"http://ns.adobe"
                                                           ".com/xmp/note/\">0123</xmpNote:HasExtendedXMP>");
    writeHeic(dir / "meta.heic", image);

    // The source's XMP with the output's edits: orientation 1, the written size.
    std::vector<std::string> expected = xmp.properties;
    expected[0] = "<exif:PixelXDimension>32</exif:PixelXDimension>";
    expected[1] = "<exif:PixelYDimension>64</exif:PixelYDimension>";
    std::string edited = image.xmp;
    edited.replace(edited.find(xmp.properties[0]), xmp.properties[0].size(), expected[0]);
    edited.replace(edited.find(xmp.properties[1]), xmp.properties[1].size(), expected[1]);
    edited.replace(edited.find("tiff:Orientation=\"6\""), 20, "tiff:Orientation=\"1\"");

    const fs::path png = convertOk(dir / "meta.heic", {.to = OutputFormat::png});
    EXPECT_EQ(iccOf(png), icc);
    EXPECT_EQ(exifOrientation(exifOf(png)), 1);
    // One iTXt chunk: keyword, uncompressed, no language or translated keyword, then the packet.
    const std::string itxt = "XML:com.adobe.xmp\0\0\0\0\0"s + edited;
    const auto xmpChunk = std::pair("iTXt"s, std::vector<std::uint8_t>(itxt.begin(), itxt.end()));
    EXPECT_EQ(std::ranges::count(pngChunks(png), xmpChunk), 1);

    // Split: a packet, and serialized XMP holding the largest properties with the namespaces they use.
    const fs::path jpg = convertOk(dir / "meta.heic", {.to = OutputFormat::jpg});
    EXPECT_EQ(iccOf(jpg), icc);
    EXPECT_EQ(exifOrientation(exifOf(jpg)), 1);
    const auto [standard, extended, guid] = readJpegXmp(jpg);
    EXPECT_LE(standard.size(), 65504u);
    EXPECT_TRUE(standard.starts_with("<?xpacket begin=") && standard.ends_with("<?xpacket end=\"w\"?>"));
    EXPECT_TRUE(extended.starts_with("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF") && extended.ends_with("</x:xmpmeta>"));
    EXPECT_EQ(occurrences(extended, "<dc:description>"), 1u);
    EXPECT_EQ(occurrences(extended, "xmlns:stEvt="), occurrences(extended, "<xmpMM:History>"));
    EXPECT_EQ(guid, imageio::md5Hex(std::span(reinterpret_cast<const std::uint8_t*>(extended.data()), extended.size())));
    EXPECT_EQ(occurrences(standard + extended, "HasExtendedXMP"), 1u);
    EXPECT_EQ(occurrences(standard, "xmpNote:HasExtendedXMP=\"" + guid + "\""), 1u);
    EXPECT_EQ(occurrences(standard, "tiff:Orientation=\"1\" xmp:Rating=\"5\""), 1u);
    for (const std::string& property : expected)
        EXPECT_EQ(occurrences(standard + extended, property), 1u) << property.substr(0, 60);

    // Without location: no GPS IFD, the rest as before.
    EXPECT_TRUE(exifBytes(exifOf(jpg), ExifIfd::gps, 0x0001));
    for (const auto& exif : {exifOf(convertOk(dir / "meta.heic", {.to = OutputFormat::jpg, .removeLocation = true})),
                             exifOf(convertOk(dir / "meta.heic", {.to = OutputFormat::png, .removeLocation = true}))}) {
        EXPECT_FALSE(exifBytes(exif, ExifIfd::gps, 0x0001));
        EXPECT_EQ(exifBytes(exif, ExifIfd::ifd0, 0x010F), std::string(kTestMake, sizeof kTestMake));
    }
}

// A JPEG's bytes without its XMP (APP1) and MPF and ISO 21496-1 (APP2) segments.
std::vector<std::uint8_t> withoutGainMapSegments(std::vector<std::uint8_t> b)
{
    const std::vector<JpegSegment> segments = jpegSegmentsOf(b);
    for (const JpegSegment& s : std::views::reverse(segments)) {  // the last first: the offsets before it hold
        const std::string_view payload(reinterpret_cast<const char*>(&b[s.at]), std::min<std::size_t>(s.size, 34));
        if ((s.marker == 0xE1 && payload.starts_with(imageio::kStandardXmpSignature)) ||
            (s.marker == 0xE2 && (payload.starts_with("MPF\0"sv) || payload.starts_with(imageio::kIsoGainMapNamespace))))
            b.erase(b.begin() + std::ptrdiff_t(s.at - 4), b.begin() + std::ptrdiff_t(s.at + s.size));
    }
    return b;
}

std::vector<std::uint8_t> plainJpeg(const fs::path& source, const fs::path& folder, std::optional<int> longSide = {})
{
    const auto withoutGainMap = [longSide](imageio::UniqueFd photo, int output) {
        return Converter::transcode(std::move(photo), output, {.to = OutputFormat::jpg, .longSide = longSide},
                                    imageio::ImageDestination::GainMaps::leftOut);
    };
    const fs::path plain = Converter::convertWith(withoutGainMap, source, OutputFormat::jpg, folder).output().value();
    std::vector<std::uint8_t> bytes = readBytes(plain);
    fs::remove(plain);
    return bytes;
}

// An Ultra HDR JPEG: the MPF index pointing at the primary (from byte 0) and at
// a second JPEG right after it, which holds the gain map with its metadata in
// both forms, agreeing; the primary, its XMP and APP2 segments aside, is the
// plain JPEG byte for byte, its XMP naming the gain map's length. The gain map's
// pixels and metadata are returned for checking.
std::pair<Raster, imageio::GainMapMetadata> expectUltraHdr(const fs::path& source, const fs::path& jpg,
                                                           std::optional<int> longSide = {})
{
    const MpfImages mpf = mpfImages(jpg);
    EXPECT_EQ(mpf.entries.size(), 2u);
    if (mpf.second.size() < 4 || mpf.first.size() < 4)
        return {};
    EXPECT_EQ(mpf.entries[0], std::pair(std::uint64_t(0), std::uint64_t(mpf.first.size())));
    EXPECT_EQ(mpf.entries[1].second, mpf.second.size());
    const fs::path folder = jpg.parent_path();
    EXPECT_EQ(withoutGainMapSegments(mpf.first), withoutGainMapSegments(plainJpeg(source, folder, longSide)));
    const std::string length = "Item:Length=\"" + std::to_string(mpf.second.size()) + "\"";
    std::optional<imageio::GainMapMetadata> xmpForm, isoForm;
    const auto segments = jpegSegments(jpg, 0xE1);
    EXPECT_EQ(std::ranges::count_if(segments, [&](const auto& s) { return std::string(s.begin(), s.end()).find(length) != std::string::npos; }), 1);
    writeBytes(folder / "map.jpg", mpf.second);
    for (const auto& segment : jpegSegments(folder / "map.jpg", 0xE1))
        xmpForm = imageio::parseHdrgmXmp(std::string(segment.begin() + imageio::kStandardXmpSignature.size() + 1, segment.end()));
    for (const auto& segment : jpegSegments(folder / "map.jpg", 0xE2))
        isoForm = imageio::parseIsoGainMapMetadata(std::span(segment).subspan(imageio::kIsoGainMapNamespace.size()));
    EXPECT_TRUE(xmpForm) << "no hdrgm XMP";
    expectSameMetadata(isoForm, xmpForm.value_or(imageio::GainMapMetadata{}));
    Raster map = readJpeg(folder / "map.jpg");
    fs::remove(folder / "map.jpg");
    return {map, isoForm.value_or(imageio::GainMapMetadata{})};
}

// A gain map follows the photo's turn, mirror and crop: each of its pixels
// shows the quadrant of the photo under it, through Apple's re-encoding where
// it is Apple's. One that cannot be read (no headroom, damaged metadata,
// larger than the photo) leaves the plain JPEG, byte for byte. Scaled, it keeps
// its fraction of the photo's size.
TEST(ConverterHdr, GainMapsFollowThePhotoAndBrokenOnesLeaveAPlainJpeg)
{
    const std::string appleXmp = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/"
                                 "22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" xmlns:HDRGainMap=\"http://ns.apple."
                                 "com/HDRGainMap/1.0/\" HDRGainMap:HDRGainMapHeadroom=\"4.0\"/></rdf:RDF></x:xmpmeta>";
    const imageio::GainMapMetadata iso{.alternateHeadroom = 2, .max = {2, 2, 2}};
    std::vector<std::uint8_t> tmap = imageio::isoGainMapMetadata(iso);
    tmap.insert(tmap.begin(), 0);  // the item's version
    struct Row {
        int orientation;
        std::uint32_t crop;  // width of a centred crop, half as high
        GainMapFixture map;
        bool written;
        bool grid = false;  // the photo as 2×2 tiles, written band by band
        std::optional<int> longSide = std::nullopt;
        std::uint16_t matrix = 6;  // a grid's: JPEG's own BT.601, or BT.709 (1) converted to RGB bands
    };
    // Sizes of whole 64×64 blocks: the encoder pads and crops smaller ones.
    const Pixels grey = quadrants(128, 64, 1);
    for (const Row& row : {Row{7, 0, {grey, imageio::kAppleGainMapType, appleXmp, {}}, true},
                           Row{2, 192, {grey, "", "", tmap}, true},
                           Row{1, 0, {grey, "", "", tmap}, true, true},
                           Row{1, 0, {grey, "", "", tmap}, true, true, 128},
                           Row{1, 0, {grey, "", "", tmap}, true, true, std::nullopt, 1},
                           Row{6, 0, {grey, imageio::kAppleGainMapType, appleXmp, {}}, true, false, 128},
                           Row{6, 160, {quadrants(128, 64), imageio::kSamsungGainMapType, imageio::hdrgmGainMapXmp(iso), {}}, true},
                           Row{1, 0, {grey, imageio::kAppleGainMapType, "", {}}, false},
                           Row{1, 0, {grey, "", "", std::vector(tmap.begin(), tmap.end() - 3)}, false},
                           Row{1, 0, {quadrants(512, 256, 1), imageio::kAppleGainMapType, appleXmp, {}}, false}}) {
        SCOPED_TRACE(::testing::Message() << "orientation " << row.orientation << ", " << row.map.auxiliaryType);
        TempDir dir;
        HeicImage image(quadrants(256, 128));
        image.orientation = row.orientation;
        image.cropWidth = row.crop, image.cropHeight = row.crop / 2;
        image.gainMap = row.map;
        if (row.grid) {
            image.gridColumns = image.gridRows = 2;
            image.lossless = false, image.chroma = "420", image.nclx = Nclx{1, 13, row.matrix, true};
        }
        writeHeic(dir / "hdr.heic", image);
        const fs::path jpg = convertOk(dir / "hdr.heic", {.to = OutputFormat::jpg, .longSide = row.longSide}, dir.path());
        if (!row.written) {
            EXPECT_EQ(readBytes(jpg), plainJpeg(dir / "hdr.heic", dir.path()));
            continue;
        }
        const auto [map, metadata] = expectUltraHdr(dir / "hdr.heic", jpg, row.longSide);
        const Raster photo =
            readPng(convertOk(dir / "hdr.heic", {.to = OutputFormat::png, .longSide = row.longSide}, dir.path()));
        EXPECT_EQ(std::pair(map.width * 2, map.height * 2), std::pair(photo.width, photo.height));
        EXPECT_EQ(map.channels, row.map.pixels.channels);
        const bool apple = row.map.auxiliaryType == imageio::kAppleGainMapType;
        EXPECT_NEAR(metadata.max[0], apple ? 2.0 : iso.max[0], 1e-6);
        const std::array<std::uint8_t, 256> reencoded = imageio::appleToIsoGainTable(4.0);
        for (std::uint32_t v = 0; v < map.height; ++v)
            for (std::uint32_t u = 0; u < map.width; ++u) {
                const std::uint32_t x = 2 * u + 1, y = 2 * v + 1;
                if (std::abs(int(x) - int(photo.width / 2)) < 6 || std::abs(int(y) - int(photo.height / 2)) < 6)
                    continue;  // JPEG's ringing at the quadrants' edges
                const int q = (photo.at(x, y, 2) > 128 ? 2 : 0) + (photo.at(x, y, 1) > 128 ? 1 : 0);  // red, green / blue, white
                const int expected = map.channels == 3 ? photo.at(x, y, 0) : apple ? reencoded[32 + 64 * q] : 32 + 64 * q;
                ASSERT_NEAR(map.at(u, v, 0), expected, 4) << u << "," << v;
            }
    }
}

// PQ and HLG photos made from known light become Ultra HDR JPEGs: the plain
// JPEG, then a gain map at a quarter of its size whose rendition at full
// headroom gives the light back where neither is clipped.
TEST(ConverterHdr, PqAndHlgPhotosGiveTheirLightBack)
{
    struct Row {
        const char* name;
        HdrCurve curve;
        const char* chroma;
        std::uint32_t grid;  // tiles each way
        std::uint16_t clli;
        std::uint32_t mdcv;
        double peakNits;  // the headroom's; PQ's raised to its content's
    } rows[] = {
        {"PQ 4:2:0, clli", HdrCurve::pq, "420", 0, 1000, 0, 1000},
        {"PQ 4:2:2 grid, mdcv", HdrCurve::pq, "422", 2, 0, 4000, 4000},
        {"PQ 4:2:0, neither: the content's peak", HdrCurve::pq, "420", 0, 0, 0, 0},
        {"HLG 4:2:2, nominal", HdrCurve::hlg, "422", 0, 0, 0, 1000},
        {"HLG 4:2:0 grid, clli before mdcv", HdrCurve::hlg, "420", 2, 800, 1000, 1000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HdrPhoto photo = hdrPhoto(256, 192, row.curve, row.chroma);
        photo.image.gridColumns = photo.image.gridRows = row.grid;
        photo.image.maxContentLightLevel = row.clli;
        photo.image.masteringPeakNits = row.mdcv;
        TempDir dir;
        writeHeic(dir / "in.heic", photo.image);
        const fs::path jpg = convertOk(dir / "in.heic", {.to = OutputFormat::jpg}, dir.path());
        const auto [map, metadata] = expectUltraHdr(dir / "in.heic", jpg);
        ASSERT_EQ(std::tuple(map.width, map.height, map.channels), std::tuple(64u, 48u, 3));
        const Raster signal = heifReference(dir / "in.heic");
        const double content = imageio::pqSignalToNits(*std::ranges::max_element(signal.samples) / 65535.0);
        const double peak = row.curve == HdrCurve::pq ? std::max(row.peakNits, content) : row.peakNits;
        EXPECT_NEAR(metadata.alternateHeadroom, std::log2(peak / 203), 1e-4);
        const Raster sdr = readJpeg(jpg);  // the primary, first in the file
        double error = 0;
        std::size_t lit = 0;
        for (std::uint32_t y = 0; y < sdr.height; ++y)
            for (std::uint32_t x = 0; x < sdr.width; ++x)
                for (int c = 0; c < 3; ++c) {
                    const double v = sdr.at(x, y, c) / 255.0, k = metadata.baseOffset[c];
                    const double linear = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
                    const double gain = metadata.min[c] + (metadata.max[c] - metadata.min[c]) * map.at(x / 4, y / 4, c) / 255.0;
                    const double rendition = (linear + k) * std::exp2(gain) - k;
                    const double known = photo.nits[(std::size_t(y) * sdr.width + x) * 3 + c] / 203;
                    if (std::min(known, rendition) < 0.01 || known > 0.98 * ((1 + k) * std::exp2(metadata.max[c]) - k))
                        continue;
                    ++lit;
                    error += std::abs(std::log2(rendition / known));
                }
        ASSERT_GT(lit, sdr.width * sdr.height * 3 / 2);
        EXPECT_LT(error / lit, 0.1) << "the HDR rendition against the known light, in stops";
    }
}


TEST(ConverterSamples, EachSampleGivesItsREADMEOutcome)
{
    const fs::path samples = samplesDir();
    if (samples.empty())
        GTEST_SKIP() << "no ../shared/samples folder";
    struct Row {
        const char* file;
        std::uint32_t width, height;
        bool icc, exif;
        std::uint32_t mapWidth = 0, mapHeight = 0;  // an HDR gain map of that size
        int mapChannels = 0;
        double stops = 0;  // its full headroom
    };
    for (const Row& row : {Row{"iphoneXS_4032x3024_grid8x6_PUG1.HEIC", 4032, 3024, true, true},
                           Row{"iphone7plus_irot90_exif8_test004.heic", 3024, 4032, true, true},
                           Row{"kimg_orientation2_imir.heic", 480, 160, true, true},
                           Row{"conf_C006_alpha_auxid1.heic", 1280, 720, false, false},
                           Row{"pillow_tree_alpha_262x264.heic", 262, 264, false, false},
                           Row{"conf_MIAF002_10bit_2048.heic", 2048, 2048, false, false},
                           Row{"pillow_rgb10_639x480_3thumbs.heic", 639, 480, false, false},
                           Row{"conf_C045_burst_brst.heic", 1024, 768, false, false},
                           Row{"nikonD5300_300x200_nclx_unspec.heic", 300, 200, false, true},
                           Row{"bad_truncated_3657B.heic", 16, 16, false, false},
                           Row{"iphone13pro_4032x3024_apple_gainmap.heic", 4032, 3024, true, true, 2016, 1512, 1, 1.8},
                           Row{"samsungS25U_4000x1848_tmap_gainmap.heic", 4000, 1848, true, true, 1000, 462, 3, 2.3}}) {
        SCOPED_TRACE(row.file);
        TempDir out;
        const fs::path pngFile = convertOk(samples / row.file, {.to = OutputFormat::png}, out.path());
        const fs::path jpgFile = convertOk(samples / row.file, {.to = OutputFormat::jpg}, out.path());
        EXPECT_EQ(out.entries().size(), 2u) << "one output per conversion, whatever the file holds";
        EXPECT_EQ(whole(readPng(pngFile)), whole(heifReference(samples / row.file)));
        const Raster jpeg = readJpeg(jpgFile);
        EXPECT_EQ(std::pair(jpeg.width, jpeg.height), std::pair(row.width, row.height));
        for (const fs::path& file : {pngFile, jpgFile}) {
            EXPECT_EQ(!iccOf(file).empty(), row.icc) << file;
            EXPECT_EQ(exifOrientation(exifOf(file)), row.exif ? std::optional(1) : std::nullopt) << file;
        }
        if (row.mapWidth == 0) {
            EXPECT_TRUE(mpfImages(jpgFile).entries.empty());
            continue;
        }
        const auto [map, metadata] = expectUltraHdr(samples / row.file, jpgFile);
        EXPECT_EQ(std::tuple(map.width, map.height, map.channels), std::tuple(row.mapWidth, row.mapHeight, row.mapChannels));
        EXPECT_NEAR(metadata.alternateHeadroom, row.stops, 1e-6);
    }
    TempDir out;
    EXPECT_EQ(Converter::convert(samples / "bad_hevc_decode_error_64x64.heic", {.to = OutputFormat::png}, out.path()).failureKind(),
              FailureKind::unreadable);
    EXPECT_TRUE(out.entries().empty());
}

// Conversions in order, each naming its output after the ones before it: only the exact candidates
// from the sequence's start count; other extensions, cases and suffixes do not, a folder or a dangling link does.
TEST(ConverterNaming, OutputsTakeTheSourcesBaseNameAndTheFirstFreeNumber)
{
    TempDir dir;
    fs::create_directory(dir / "b");
    fs::create_directory(dir / "out");
    for (const char* name : {"IMG_0001.HEIC", "IMG_0001.heif", "trip.2024.heic", "HOLIDAY.HEIF", "b/IMG_0001.HEIC"})
        writeHeic(dir / name, HeicImage(quadrants(32, 16)));
    for (const char* other : {"IMG_0001.JPG", "IMG_0001.jpg.tmp", "IMG_0001", "IMG_0001-3.jpg"})
        writeBytes(dir / other, {1});
    fs::create_directory(dir / "IMG_0001-1.jpg");
    fs::create_symlink(dir / "nowhere" / "target.jpg", dir / "IMG_0001-2.jpg");
    struct Row {
        const char* source;
        OutputFormat format;
        const char* outputDir;  // none: next to the source
        const char* expected;
    };
    std::vector<ConversionResult> results;
    for (const Row& row : {Row{"IMG_0001.HEIC", OutputFormat::jpg, nullptr, "IMG_0001.jpg"},
                           Row{"IMG_0001.HEIC", OutputFormat::jpg, nullptr, "IMG_0001-4.jpg"},
                           Row{"IMG_0001.HEIC", OutputFormat::png, nullptr, "IMG_0001.png"},
                           Row{"IMG_0001.heif", OutputFormat::jpg, nullptr, "IMG_0001-5.jpg"},
                           Row{"trip.2024.heic", OutputFormat::jpg, nullptr, "trip.2024.jpg"},
                           Row{"HOLIDAY.HEIF", OutputFormat::png, nullptr, "HOLIDAY.png"},
                           // An output folder is used as given; what is next to the sources does not matter.
                           Row{"IMG_0001.HEIC", OutputFormat::jpg, "out", "out/IMG_0001.jpg"},
                           Row{"b/IMG_0001.HEIC", OutputFormat::jpg, "out", "out/IMG_0001-1.jpg"}}) {
        SCOPED_TRACE(row.expected);
        const auto outputDir = row.outputDir ? std::optional(dir / row.outputDir) : std::nullopt;
        results.push_back(Converter::convert(dir / row.source, {.to = row.format}, outputDir));
        EXPECT_EQ(results.back().output(), dir / row.expected) << results.back().error().value_or("");
    }
    EXPECT_NE(results[0].id(), results[1].id());
}

}  // namespace
}  // namespace pictavo
