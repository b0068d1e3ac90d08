#include "imageio/writing/JpegXmp.h"

#include "imageio/metadata/XmpPacket.h"
#include "imageio/writing/Md5.h"

#include <algorithm>
#include <map>
#include <numeric>
#include <optional>

namespace pictavo::imageio {

namespace {

// Largest payload of one marker segment (its length field counts itself).
constexpr std::size_t kMaxSegmentPayload = 65533;
constexpr std::size_t kMaxStandardSize = kMaxSegmentPayload - kStandardXmpSignature.size() - 1;
// ExtendedXMP bytes per segment: below the 65,458 that would fit, as Adobe's writers do.
constexpr std::size_t kExtendedChunkSize = 65400;
constexpr std::string_view kXmpNoteNamespace = "http://ns.adobe.com/xmp/note/";

// An attribute's value as written, in its quotes.
std::string quotedValue(std::string_view text, const XmpAttribute& attribute)
{
    return std::string(text.substr(attribute.quoted.begin - 1, attribute.quoted.size() + 2));
}

using Declarations = std::map<std::string, std::string, std::less<>>;  // xmlns:prefix → its quoted value

// The namespace declarations in scope at element `index`: its own and its ancestors', the nearest winning.
Declarations declarationsAt(const XmpPacket& packet, std::size_t index)
{
    Declarations declarations;
    for (; index != XmpElement::kNoParent; index = packet.elements()[index].parent)
        for (const XmpAttribute& attribute : packet.attributes(packet.elements()[index]))
            if (attribute.declaresNamespace)
                declarations.try_emplace(std::string(attribute.name.qualified), quotedValue(packet.text(), attribute));
    return declarations;
}

struct Description {
    Declarations declarations;  // in scope at its tag, its own included
    std::string about = "\"\"";  // rdf:about, quoted
};

// A top-level property: [begin, end) covers the whitespace before it too.
struct Property {
    std::size_t description;
    std::size_t begin;
    std::size_t elementBegin;
    std::size_t end;
    bool hasExtendedXmp;
};

struct Layout {
    std::size_t rdfContentBegin = 0;  // just after <rdf:RDF ...>
    std::vector<Description> descriptions;
    std::vector<Property> properties;
    std::vector<TextEdit> removals;  // attributes HasExtendedXMP
};

// The top-level properties of the first rdf:RDF element; none when it holds
// anything but rdf:Description elements, or none of them, or when its prefix
// is not rdf, which the note added to it uses.
std::optional<Layout> layoutOf(const XmpPacket& packet)
{
    const std::vector<XmpElement>& elements = packet.elements();
    const auto isRdf = [](const XmpElement& element) { return element.name.is(kRdfNamespace, "RDF"); };
    const std::size_t rdf = std::size_t(std::find_if(elements.begin(), elements.end(), isRdf) - elements.begin());
    if (rdf == elements.size() || elements[rdf].name.qualified != "rdf:RDF")
        return std::nullopt;
    Layout layout;
    layout.rdfContentBegin = elements[rdf].content.begin;
    std::size_t description = XmpElement::kNoParent;  // the element index of the one read last
    for (std::size_t i = rdf + 1; i < elements.size(); ++i) {
        const XmpElement& element = elements[i];
        if (element.parent == rdf) {  // a child of rdf:RDF: only rdf:Description is understood
            if (!element.name.is(kRdfNamespace, "Description"))
                return std::nullopt;
            Description& added = layout.descriptions.emplace_back(Description{declarationsAt(packet, i), "\"\""});
            for (const XmpAttribute& attribute : packet.attributes(element)) {
                if (attribute.name.is(kRdfNamespace, "about"))
                    added.about = quotedValue(packet.text(), attribute);
                if (attribute.name.is(kXmpNoteNamespace, "HasExtendedXMP"))
                    layout.removals.push_back({packet.withSpaceBefore(attribute.whole), {}});
            }
            description = i;
        } else if (description != XmpElement::kNoParent && element.parent == description) {
            layout.properties.push_back({layout.descriptions.size() - 1, packet.withSpaceBefore(element.whole).begin,
                                         element.whole.begin, element.whole.end,
                                         element.name.is(kXmpNoteNamespace, "HasExtendedXMP")});
        }
    }
    if (layout.descriptions.empty())
        return std::nullopt;
    return layout;
}

// Whitespace between </x:xmpmeta> and the closing <?xpacket end…?>: the
// packet's room to grow in place, which a JPEG segment cannot spare.
std::optional<ByteRange> paddingOf(const XmpPacket& packet)
{
    const std::optional<std::size_t> trailer = packet.trailer();
    if (!trailer)
        return std::nullopt;
    const std::size_t begin = packet.withSpaceBefore({*trailer, *trailer}).begin;
    if (begin + 1 >= *trailer)
        return std::nullopt;
    return ByteRange{begin + 1, *trailer};  // keeps one character, a line break in practice
}

std::string noteFor(const Layout& layout, const std::string& guid)
{
    return "<rdf:Description rdf:about=" + layout.descriptions.front().about +
           " xmlns:xmpNote=\"http://ns.adobe.com/xmp/note/\" xmpNote:HasExtendedXMP=\"" + guid + "\"/>";
}

// What leaves the standard packet: stale HasExtendedXMP attributes and
// elements, the padding, then the largest properties until it fits (marked in
// `moved`). None when even that is not enough.
std::optional<std::vector<TextEdit>> removalsToFit(const XmpPacket& packet, const Layout& layout,
                                                   std::size_t maxStandardSize, std::vector<bool>& moved)
{
    std::vector<TextEdit> removals = layout.removals;
    if (const std::optional<ByteRange> padding = paddingOf(packet))
        removals.push_back({*padding, {}});
    std::vector<const Property*> bySize;
    for (const Property& property : layout.properties) {
        if (property.hasExtendedXmp)
            removals.push_back({{property.begin, property.end}, {}});
        else
            bySize.push_back(&property);
    }
    std::stable_sort(bySize.begin(), bySize.end(), [](const Property* a, const Property* b) {
        return a->end - a->begin > b->end - b->begin;
    });
    const std::size_t removedSize = std::accumulate(removals.begin(), removals.end(), std::size_t(0),
                                                    [](std::size_t sum, const TextEdit& edit) { return sum + edit.range.size(); });
    std::size_t standardSize = packet.text().size() - removedSize + noteFor(layout, std::string(32, '0')).size();
    moved.assign(layout.properties.size(), false);
    for (const Property* property : bySize) {
        if (standardSize <= maxStandardSize)
            break;
        moved[std::size_t(property - layout.properties.data())] = true;
        removals.push_back({{property->begin, property->end}, {}});
        standardSize -= property->end - property->begin;
    }
    return standardSize <= maxStandardSize ? std::optional(std::move(removals)) : std::nullopt;
}

// The StandardXMP: what is left, with `note` first thing in rdf:RDF.
std::string standardPacket(std::string_view xmp, const Layout& layout, std::vector<TextEdit> removals, std::string note)
{
    removals.push_back({{layout.rdfContentBegin, layout.rdfContentBegin}, std::move(note)});
    return applyEdits(xmp, std::move(removals));
}

// The ExtendedXMP: one rdf:Description per source description that lost
// properties, declaring every namespace that was in scope there.
std::string extendedPacket(std::string_view xmp, const Layout& layout, const std::vector<bool>& moved)
{
    std::string extended = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
                           "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">";
    for (std::size_t d = 0; d < layout.descriptions.size(); ++d) {
        const Description& description = layout.descriptions[d];
        std::string body;
        for (std::size_t p = 0; p < layout.properties.size(); ++p) {
            const Property& property = layout.properties[p];
            if (moved[p] && property.description == d)
                body.append(xmp.substr(property.elementBegin, property.end - property.elementBegin));
        }
        if (body.empty())
            continue;
        extended += "<rdf:Description rdf:about=" + description.about;
        for (const auto& [name, value] : description.declarations)
            extended += " " + name + "=" + value;
        extended += ">" + body + "</rdf:Description>";
    }
    return extended + "</rdf:RDF></x:xmpmeta>";
}

}  // namespace

JpegXmp splitXmpForJpeg(std::string_view xmp, std::size_t maxStandardSize)
{
    if (xmp.size() <= maxStandardSize)
        return {std::string(xmp), {}, {}};
    const ReadResult<XmpPacket> packet = XmpPacket::read(xmp);
    const std::optional<Layout> layout = packet ? layoutOf(*packet) : std::nullopt;
    if (!layout)
        return {};
    std::vector<bool> moved;
    std::optional<std::vector<TextEdit>> removals = removalsToFit(*packet, *layout, maxStandardSize, moved);
    if (!removals)
        return {};
    if (std::find(moved.begin(), moved.end(), true) == moved.end())  // dropping the padding was enough
        return {standardPacket(xmp, *layout, std::move(*removals), ""), {}, {}};

    JpegXmp result;
    result.extended = extendedPacket(xmp, *layout, moved);
    if (result.extended.size() > 0xFFFFFFFFu)  // its length must fit the segments' 32-bit field
        return {};
    result.guid = md5Hex(std::span(reinterpret_cast<const std::uint8_t*>(result.extended.data()), result.extended.size()));
    result.standard = standardPacket(xmp, *layout, std::move(*removals), noteFor(*layout, result.guid));
    return result;
}

std::vector<std::vector<std::uint8_t>> jpegXmpSegments(std::span<const std::uint8_t> xmp)
{
    const JpegXmp parts = splitXmpForJpeg(std::string_view(reinterpret_cast<const char*>(xmp.data()), xmp.size()),
                                          kMaxStandardSize);
    std::vector<std::vector<std::uint8_t>> segments;
    if (parts.standard.empty())
        return segments;
    auto append = [](std::vector<std::uint8_t>& segment, std::string_view bytes) {
        segment.insert(segment.end(), bytes.begin(), bytes.end());
    };
    auto append32 = [](std::vector<std::uint8_t>& segment, std::size_t value) {
        for (int shift = 24; shift >= 0; shift -= 8)
            segment.push_back(std::uint8_t(value >> shift));
    };
    segments.emplace_back();
    append(segments.back(), kStandardXmpSignature);
    segments.back().push_back(0);
    append(segments.back(), parts.standard);
    const std::string_view extended = parts.extended;
    for (std::size_t offset = 0; offset < extended.size(); offset += kExtendedChunkSize) {
        std::vector<std::uint8_t>& segment = segments.emplace_back();
        append(segment, kExtendedXmpSignature);
        segment.push_back(0);
        append(segment, parts.guid);
        append32(segment, extended.size());
        append32(segment, offset);
        append(segment, extended.substr(offset, kExtendedChunkSize));
    }
    return segments;
}

}  // namespace pictavo::imageio
