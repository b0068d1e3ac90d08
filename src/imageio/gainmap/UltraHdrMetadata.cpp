#include "imageio/gainmap/UltraHdrMetadata.h"

#include "imageio/metadata/XmpPacket.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace pictavo::imageio {

namespace {

constexpr std::uint8_t kMultichannelFlag = 0x80;
constexpr std::uint8_t kBaseColourSpaceFlag = 0x40;
constexpr std::uint8_t kCommonDenominatorFlag = 0x08;
constexpr double kWrittenDenominator = 1'000'000;

struct Reader {
    std::span<const std::uint8_t> bytes;
    std::size_t at = 0;
    bool ok = true;

    std::uint32_t unsignedOf(std::size_t size)
    {
        if (!ok || bytes.size() - at < size) {
            ok = false;
            return 0;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value = value << 8 | bytes[at++];
        return value;
    }
    double fraction(bool isSigned, std::optional<std::uint32_t> common)
    {
        const std::uint32_t numerator = unsignedOf(4);
        const std::uint32_t denominator = common ? *common : unsignedOf(4);
        if (denominator == 0)
            ok = false;
        if (!ok)
            return 0;
        return (isSigned ? double(std::int32_t(numerator)) : double(numerator)) / denominator;
    }
};

void putUnsigned(std::vector<std::uint8_t>& out, std::uint32_t value, std::size_t size)
{
    for (std::size_t i = size; i-- > 0;)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void putFraction(std::vector<std::uint8_t>& out, double value)
{
    const double scaled = std::round(value * kWrittenDenominator);
    const double clamped = std::clamp(scaled, double(std::numeric_limits<std::int32_t>::min()),
                                      double(std::numeric_limits<std::int32_t>::max()));
    putUnsigned(out, static_cast<std::uint32_t>(static_cast<std::int32_t>(clamped)), 4);
    putUnsigned(out, static_cast<std::uint32_t>(kWrittenDenominator), 4);
}

bool isSound(const GainMapMetadata& m)
{
    const int channels = m.multichannel ? 3 : 1;
    bool sound = std::isfinite(m.baseHeadroom) && std::isfinite(m.alternateHeadroom) && m.baseHeadroom >= 0 &&
                 m.alternateHeadroom >= 0;
    for (int c = 0; c < channels; ++c)
        sound = sound && std::isfinite(m.min[c]) && std::isfinite(m.max[c]) && m.max[c] >= m.min[c] &&
                std::isfinite(m.gamma[c]) && m.gamma[c] > 0 && std::isfinite(m.baseOffset[c]) &&
                std::isfinite(m.alternateOffset[c]);
    return sound;
}

// One channel's values for all three when the metadata holds only one.
GainMapMetadata spreadSingleChannel(GainMapMetadata m)
{
    if (!m.multichannel) {
        for (int c = 1; c < 3; ++c) {
            m.min[c] = m.min[0], m.max[c] = m.max[0], m.gamma[c] = m.gamma[0];
            m.baseOffset[c] = m.baseOffset[0], m.alternateOffset[c] = m.alternateOffset[0];
        }
    }
    return m;
}

// Six decimals with a point in every locale: readers expect XMP's numbers as C writes them.
std::string formatted(double value)
{
    char text[400];  // the longest finite double in fixed notation fits
    const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

// An hdrgm property: an attribute for one value, an rdf:Seq element for three.
void putProperty(std::string& attributes, std::string& elements, const char* name, const double (&values)[3],
                 bool multichannel)
{
    // One value stands for three alike, which every reader takes.
    if (!multichannel || (values[0] == values[1] && values[1] == values[2])) {
        attributes += std::string("\n    hdrgm:") + name + "=\"" + formatted(values[0]) + "\"";
        return;
    }
    elements += std::string("\n   <hdrgm:") + name + "><rdf:Seq>";
    for (double value : values)
        elements += "<rdf:li>" + formatted(value) + "</rdf:li>";
    elements += std::string("</rdf:Seq></hdrgm:") + name + ">";
}

constexpr std::string_view kPacketStart =
    "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n";
constexpr std::string_view kPacketEnd = " </rdf:RDF>\n</x:xmpmeta>\n<?xpacket end=\"w\"?>";
constexpr std::string_view kHdrgmNamespace = "http://ns.adobe.com/hdr-gain-map/1.0/";
constexpr std::string_view kHdrgmDeclaration = "xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\"";
constexpr std::string_view kContainerNamespace = "http://ns.google.com/photos/1.0/container/";

}  // namespace

std::optional<GainMapMetadata> parseIsoGainMapMetadata(std::span<const std::uint8_t> payload)
{
    Reader in{payload};
    const std::uint32_t minimumVersion = in.unsignedOf(2);
    in.unsignedOf(2);  // the writer's version
    const std::uint32_t flags = in.unsignedOf(1);
    if (!in.ok || minimumVersion != 0)
        return std::nullopt;
    GainMapMetadata m;
    m.multichannel = flags & kMultichannelFlag;
    m.useBaseColourSpace = flags & kBaseColourSpaceFlag;
    std::optional<std::uint32_t> common;
    if (flags & kCommonDenominatorFlag)
        common = in.unsignedOf(4);
    m.baseHeadroom = in.fraction(false, common);
    m.alternateHeadroom = in.fraction(false, common);
    for (int c = 0; c < (m.multichannel ? 3 : 1); ++c) {
        m.min[c] = in.fraction(true, common);
        m.max[c] = in.fraction(true, common);
        m.gamma[c] = in.fraction(false, common);
        m.baseOffset[c] = in.fraction(true, common);
        m.alternateOffset[c] = in.fraction(true, common);
    }
    if (!in.ok || !isSound(m))
        return std::nullopt;
    return spreadSingleChannel(m);
}

std::vector<std::uint8_t> isoGainMapMetadata(const GainMapMetadata& m)
{
    std::vector<std::uint8_t> out;
    putUnsigned(out, 0, 2);  // minimum version
    putUnsigned(out, 0, 2);  // writer version
    out.push_back(static_cast<std::uint8_t>((m.multichannel ? kMultichannelFlag : 0) |
                                            (m.useBaseColourSpace ? kBaseColourSpaceFlag : 0)));
    putUnsigned(out, static_cast<std::uint32_t>(std::round(m.baseHeadroom * kWrittenDenominator)), 4);
    putUnsigned(out, static_cast<std::uint32_t>(kWrittenDenominator), 4);
    putUnsigned(out, static_cast<std::uint32_t>(std::round(m.alternateHeadroom * kWrittenDenominator)), 4);
    putUnsigned(out, static_cast<std::uint32_t>(kWrittenDenominator), 4);
    for (int c = 0; c < (m.multichannel ? 3 : 1); ++c) {
        putFraction(out, m.min[c]);
        putFraction(out, m.max[c]);
        putUnsigned(out, static_cast<std::uint32_t>(std::round(m.gamma[c] * kWrittenDenominator)), 4);
        putUnsigned(out, static_cast<std::uint32_t>(kWrittenDenominator), 4);
        putFraction(out, m.baseOffset[c]);
        putFraction(out, m.alternateOffset[c]);
    }
    return out;
}

std::optional<GainMapMetadata> parseHdrgmXmp(std::string_view xmp)
{
    const ReadResult<XmpPacket> packet = XmpPacket::read(xmp);
    if (!packet || !packet->property(kHdrgmNamespace, "Version"))
        return std::nullopt;
    // Ultra HDR's defaults for the properties a writer may leave out.
    auto read = [&](std::string_view name, std::optional<double> fallback) -> std::optional<double> {
        const std::optional<std::string_view> text = packet->property(kHdrgmNamespace, name);
        return text ? xmpReal(*text) : fallback;
    };
    const auto min = read("GainMapMin", 0.0), max = read("GainMapMax", std::nullopt), gamma = read("Gamma", 1.0),
               offsetSdr = read("OffsetSDR", 1.0 / 64), offsetHdr = read("OffsetHDR", 1.0 / 64),
               capacityMin = read("HDRCapacityMin", 0.0), capacityMax = read("HDRCapacityMax", std::nullopt);
    if (!min || !max || !gamma || !offsetSdr || !offsetHdr || !capacityMin || !capacityMax)
        return std::nullopt;
    const std::optional<std::string_view> baseIsHdr = packet->property(kHdrgmNamespace, "BaseRenditionIsHDR");
    const bool hdrBase = baseIsHdr && (*baseIsHdr == "True" || *baseIsHdr == "true");
    GainMapMetadata m;
    m.baseHeadroom = hdrBase ? *capacityMax : *capacityMin;
    m.alternateHeadroom = hdrBase ? *capacityMin : *capacityMax;
    m.min[0] = *min, m.max[0] = *max, m.gamma[0] = *gamma;
    m.baseOffset[0] = hdrBase ? *offsetHdr : *offsetSdr;
    m.alternateOffset[0] = hdrBase ? *offsetSdr : *offsetHdr;
    if (!isSound(m))
        return std::nullopt;
    return spreadSingleChannel(m);
}

std::string hdrgmGainMapXmp(const GainMapMetadata& m)
{
    const bool hdrBase = m.baseHeadroom > m.alternateHeadroom;
    std::string attributes = "\n    hdrgm:Version=\"1.0\"", elements;
    putProperty(attributes, elements, "GainMapMin", m.min, m.multichannel);
    putProperty(attributes, elements, "GainMapMax", m.max, m.multichannel);
    putProperty(attributes, elements, "Gamma", m.gamma, m.multichannel);
    putProperty(attributes, elements, "OffsetSDR", hdrBase ? m.alternateOffset : m.baseOffset, m.multichannel);
    putProperty(attributes, elements, "OffsetHDR", hdrBase ? m.baseOffset : m.alternateOffset, m.multichannel);
    attributes += "\n    hdrgm:HDRCapacityMin=\"" + formatted(std::min(m.baseHeadroom, m.alternateHeadroom)) + "\"";
    attributes += "\n    hdrgm:HDRCapacityMax=\"" + formatted(std::max(m.baseHeadroom, m.alternateHeadroom)) + "\"";
    attributes += std::string("\n    hdrgm:BaseRenditionIsHDR=\"") + (hdrBase ? "True" : "False") + "\"";
    std::string packet(kPacketStart);
    packet += "  <rdf:Description rdf:about=\"\" " + std::string(kHdrgmDeclaration) + attributes;
    packet += elements.empty() ? "/>\n" : ">" + elements + "\n  </rdf:Description>\n";
    packet += kPacketEnd;
    return packet;
}

namespace {

// Removals that take a container directory and hdrgm:Version of the photo's
// own (a phone's, describing its HEIC) out of its XMP: they would contradict
// the ones added.
std::vector<TextEdit> withoutOwnGainMapDescription(const XmpPacket& packet)
{
    std::vector<TextEdit> removals;
    for (const XmpElement& element : packet.elements()) {
        if (element.name.is(kContainerNamespace, "Directory") || element.name.is(kHdrgmNamespace, "Version"))
            removals.push_back({element.whole, {}});
        for (const XmpAttribute& attribute : packet.attributes(element))
            if (attribute.name.is(kHdrgmNamespace, "Version"))
                removals.push_back({attribute.whole, {}});
    }
    return removals;
}

}  // namespace

std::optional<std::string> primaryXmpWithGainMap(std::string_view photoXmp, std::size_t gainMapLength)
{
    const std::string description =
        "  <rdf:Description rdf:about=\"\" " + std::string(kHdrgmDeclaration) +
        "\n    xmlns:Container=\"http://ns.google.com/photos/1.0/container/\""
        "\n    xmlns:Item=\"http://ns.google.com/photos/1.0/container/item/\"\n    hdrgm:Version=\"1.0\">\n"
        "   <Container:Directory>\n    <rdf:Seq>\n"
        "     <rdf:li rdf:parseType=\"Resource\">\n"
        "      <Container:Item Item:Semantic=\"Primary\" Item:Mime=\"image/jpeg\"/>\n     </rdf:li>\n"
        "     <rdf:li rdf:parseType=\"Resource\">\n"
        "      <Container:Item Item:Semantic=\"GainMap\" Item:Mime=\"image/jpeg\" Item:Length=\"" +
        std::to_string(gainMapLength) + "\"/>\n     </rdf:li>\n    </rdf:Seq>\n   </Container:Directory>\n"
        "  </rdf:Description>\n";
    if (photoXmp.empty())
        return std::string(kPacketStart) + description + std::string(kPacketEnd);
    const ReadResult<XmpPacket> packet = XmpPacket::read(photoXmp);
    if (!packet)
        return std::nullopt;
    // The description goes last into the last rdf:RDF that has an end tag,
    // written with the prefix rdf that the description uses.
    const auto& elements = packet->elements();
    const auto rdf = std::find_if(elements.rbegin(), elements.rend(), [](const XmpElement& element) {
        return element.name.is(kRdfNamespace, "RDF") && element.name.qualified == "rdf:RDF" &&
               element.whole.end > element.content.end;
    });
    if (rdf == elements.rend())
        return std::nullopt;
    std::vector<TextEdit> edits = withoutOwnGainMapDescription(*packet);
    edits.push_back({{rdf->content.end, rdf->content.end}, description});
    return applyEdits(photoXmp, std::move(edits));
}

}  // namespace pictavo::imageio
