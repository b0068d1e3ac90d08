#include "imageio/writing/JpegXmp.h"

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
constexpr std::string_view kHasExtendedXmp = "xmpNote:HasExtendedXMP";

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// One piece of markup: [begin, end) from '<' to '>' inclusive.
struct Tag {
    enum Kind { startTag, endTag, emptyTag, other } kind;
    std::size_t begin;
    std::size_t end;
    std::string_view name;
};

std::optional<Tag> tagAt(std::string_view text, std::size_t at)
{
    auto through = [&](std::string_view closing) -> std::optional<Tag> {
        const std::size_t found = text.find(closing, at + 2);
        if (found == std::string_view::npos)
            return std::nullopt;
        return Tag{Tag::other, at, found + closing.size(), {}};
    };
    const std::string_view rest = text.substr(at);
    if (rest.starts_with("<!--"))
        return through("-->");
    if (rest.starts_with("<![CDATA["))
        return through("]]>");
    if (rest.starts_with("<?"))
        return through("?>");
    if (rest.starts_with("<!"))
        return through(">");
    const bool closing = rest.starts_with("</");
    const std::size_t nameStart = at + (closing ? 2 : 1);
    std::size_t i = nameStart;
    while (i < text.size() && !isSpace(text[i]) && text[i] != '>' && text[i] != '/')
        ++i;
    if (i == nameStart)
        return std::nullopt;
    const std::string_view name = text.substr(nameStart, i - nameStart);
    for (char quote = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            quote = c == quote ? 0 : quote;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            const Tag::Kind kind = closing ? Tag::endTag : text[i - 1] == '/' ? Tag::emptyTag : Tag::startTag;
            return Tag{kind, at, i + 1, name};
        }
    }
    return std::nullopt;
}

// One attribute of a start tag: [begin, end) covers the whitespace before it too.
struct Attribute {
    std::string_view name;
    std::string_view quotedValue;
    std::size_t begin;
    std::size_t end;
};

std::vector<Attribute> attributesOf(std::string_view text, const Tag& tag)
{
    std::vector<Attribute> attributes;
    std::size_t i = tag.begin + 1 + tag.name.size();
    while (i < tag.end) {
        const std::size_t begin = i;
        while (i < tag.end && isSpace(text[i]))
            ++i;
        const std::size_t nameStart = i;
        while (i < tag.end && !isSpace(text[i]) && text[i] != '=' && text[i] != '>' && text[i] != '/')
            ++i;
        const std::string_view name = text.substr(nameStart, i - nameStart);
        while (i < tag.end && isSpace(text[i]))
            ++i;
        if (name.empty() || i >= tag.end || text[i] != '=')
            break;
        ++i;
        while (i < tag.end && isSpace(text[i]))
            ++i;
        if (i >= tag.end || (text[i] != '"' && text[i] != '\''))
            break;
        const std::size_t close = text.find(text[i], i + 1);
        if (close == std::string_view::npos || close >= tag.end)
            break;
        attributes.push_back({name, text.substr(i, close + 1 - i), begin, close + 1});
        i = close + 1;
    }
    return attributes;
}

// Namespace declarations (xmlns, xmlns:prefix) of a start tag, by attribute name.
void addDeclarations(std::map<std::string, std::string, std::less<>>& declarations, std::string_view text,
                     const Tag& tag)
{
    for (const Attribute& attribute : attributesOf(text, tag))
        if (attribute.name == "xmlns" || attribute.name.starts_with("xmlns:"))
            declarations[std::string(attribute.name)] = std::string(attribute.quotedValue);
}

struct Description {
    Tag tag;
    std::map<std::string, std::string, std::less<>> declarations;  // in scope at the tag, its own included
    std::string about = "\"\"";                                     // rdf:about, quoted
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
    std::vector<std::pair<std::size_t, std::size_t>> removals;  // attributes HasExtendedXMP
};

// The top-level properties of the rdf:RDF element of `text`; none when the
// XMP is not well-formed enough to move them.
std::optional<Layout> layoutOf(std::string_view text)
{
    Layout layout;
    std::map<std::string, std::string, std::less<>> outer;
    std::vector<std::string_view> open;  // elements open inside rdf:RDF
    bool inside = false;
    for (std::size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at)) {
        const std::optional<Tag> tag = tagAt(text, at);
        if (!tag)
            return std::nullopt;
        at = tag->end;
        if (tag->kind == Tag::other)
            continue;
        if (!inside) {
            if (tag->kind == Tag::startTag && (tag->name == "x:xmpmeta" || tag->name == "x:xapmeta" || tag->name == "rdf:RDF"))
                addDeclarations(outer, text, *tag);
            if (tag->kind == Tag::startTag && tag->name == "rdf:RDF") {
                inside = true;
                layout.rdfContentBegin = tag->end;
            }
            continue;
        }
        if (tag->kind == Tag::endTag) {
            if (open.empty())
                return tag->name == "rdf:RDF" && !layout.descriptions.empty() ? std::optional(layout) : std::nullopt;
            if (open.back() != tag->name)
                return std::nullopt;
            open.pop_back();
            if (open.size() == 1)
                layout.properties.back().end = tag->end;
            continue;
        }
        if (open.empty()) {  // a child of rdf:RDF: only rdf:Description is understood
            if (tag->name != "rdf:Description")
                return std::nullopt;
            Description description{*tag, outer, "\"\""};
            addDeclarations(description.declarations, text, *tag);
            for (const Attribute& attribute : attributesOf(text, *tag)) {
                if (attribute.name == "rdf:about")
                    description.about = attribute.quotedValue;
                if (attribute.name == kHasExtendedXmp)
                    layout.removals.emplace_back(attribute.begin, attribute.end);
            }
            layout.descriptions.push_back(std::move(description));
        } else if (open.size() == 1) {  // a top-level property
            std::size_t begin = tag->begin;
            while (begin > 0 && isSpace(text[begin - 1]))
                --begin;
            layout.properties.push_back({layout.descriptions.size() - 1, begin, tag->begin, tag->end, tag->name == kHasExtendedXmp});
        }
        if (tag->kind == Tag::startTag)
            open.push_back(tag->name);
    }
    return std::nullopt;
}

// Whitespace between </x:xmpmeta> and the closing <?xpacket end…?>: the
// packet's room to grow in place, which a JPEG segment cannot spare.
std::optional<std::pair<std::size_t, std::size_t>> paddingOf(std::string_view text)
{
    const std::size_t trailer = text.rfind("<?xpacket end");
    if (trailer == std::string_view::npos)
        return std::nullopt;
    std::size_t begin = trailer;
    while (begin > 0 && isSpace(text[begin - 1]))
        --begin;
    if (begin + 1 >= trailer)
        return std::nullopt;
    return std::pair(begin + 1, trailer);  // keeps one character, a line break in practice
}

using Ranges = std::vector<std::pair<std::size_t, std::size_t>>;

std::string noteFor(const Layout& layout, const std::string& guid)
{
    return "<rdf:Description rdf:about=" + layout.descriptions.front().about +
           " xmlns:xmpNote=\"http://ns.adobe.com/xmp/note/\" xmpNote:HasExtendedXMP=\"" + guid + "\"/>";
}

// What leaves the standard packet: stale HasExtendedXMP attributes and
// elements, the padding, then the largest properties until it fits (marked in
// `moved`). None when even that is not enough.
std::optional<Ranges> removalsToFit(std::string_view xmp, const Layout& layout, std::size_t maxStandardSize,
                                    std::vector<bool>& moved)
{
    Ranges removals = layout.removals;
    if (auto padding = paddingOf(xmp))
        removals.push_back(*padding);
    std::vector<const Property*> bySize;
    for (const Property& property : layout.properties) {
        if (property.hasExtendedXmp)
            removals.emplace_back(property.begin, property.end);
        else
            bySize.push_back(&property);
    }
    std::stable_sort(bySize.begin(), bySize.end(), [](const Property* a, const Property* b) {
        return a->end - a->begin > b->end - b->begin;
    });
    const std::size_t removedSize = std::accumulate(removals.begin(), removals.end(), std::size_t(0),
                                                    [](std::size_t sum, const auto& range) { return sum + range.second - range.first; });
    std::size_t standardSize = xmp.size() - removedSize + noteFor(layout, std::string(32, '0')).size();
    moved.assign(layout.properties.size(), false);
    for (const Property* property : bySize) {
        if (standardSize <= maxStandardSize)
            break;
        moved[std::size_t(property - layout.properties.data())] = true;
        removals.emplace_back(property->begin, property->end);
        standardSize -= property->end - property->begin;
    }
    return standardSize <= maxStandardSize ? std::optional(std::move(removals)) : std::nullopt;
}

// The StandardXMP: what is left, with `note` first thing in rdf:RDF.
std::string standardPacket(std::string_view xmp, const Layout& layout, Ranges removals, const std::string& note)
{
    std::sort(removals.begin(), removals.end());
    std::string standard;
    std::size_t at = 0;
    for (const auto& [begin, end] : removals) {
        if (begin > at)
            standard.append(xmp.substr(at, begin - at));
        at = std::max(at, end);
    }
    standard.append(xmp.substr(at));
    // Removals all lie after the rdf:RDF start tag, so its end is where it was.
    standard.insert(layout.rdfContentBegin, note);
    return standard;
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
    const std::optional<Layout> layout = layoutOf(xmp);
    if (!layout)
        return {};
    std::vector<bool> moved;
    std::optional<Ranges> removals = removalsToFit(xmp, *layout, maxStandardSize, moved);
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
