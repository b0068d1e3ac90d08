#pragma once

#include "imageio/metadata/ReadResult.h"

#include <cstddef>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pictavo::imageio {

inline constexpr std::string_view kRdfNamespace = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";

// Bytes [begin, end) of a packet's text.
struct ByteRange {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t size() const { return end - begin; }
};

// An element's or attribute's name: as written, and what its prefix stands for.
struct XmpName {
    std::string_view qualified;     // prefix:local, as in the text
    std::string_view namespaceUri;  // empty when it has none
    std::string_view local;
    bool is(std::string_view uri, std::string_view name) const { return namespaceUri == uri && local == name; }
};

struct XmpAttribute {
    XmpName name;
    bool declaresNamespace = false;  // xmlns or xmlns:prefix, which has no namespace of its own
    std::string value;               // references resolved; empty for a namespace declaration
    ByteRange whole;                 // from its name to its closing quote
    ByteRange quoted;                // its value as written, inside the quotes
};

struct XmpElement {
    static constexpr std::size_t kNoParent = std::size_t(-1);

    XmpName name;
    std::size_t parent = kNoParent;  // its index in XmpPacket::elements()
    ByteRange whole;                 // from its start tag through its end tag
    ByteRange content;               // between its tags; empty, at the tag's end, for <a/>
    std::size_t firstAttribute = 0;
    std::size_t attributeCount = 0;
    bool hasChildElements = false;
    std::string text;                // its own character data, references resolved
};

// An XMP packet read by expat: every element in document order, with its
// attributes, namespaces and where each lies in the text, so that edits can
// be made in place. The packet's text must outlive it.
class XmpPacket {
public:
    // Fails unless `text` is namespace-well-formed UTF-8 XML without a
    // document type declaration. Running out of memory throws.
    static ReadResult<XmpPacket> read(std::string_view text);

    XmpPacket(XmpPacket&&) = default;
    XmpPacket& operator=(XmpPacket&&) = default;

    std::string_view text() const { return text_; }
    const std::vector<XmpElement>& elements() const { return elements_; }
    std::span<const XmpAttribute> attributes(const XmpElement& element) const
    {
        return std::span(attributes_).subspan(element.firstAttribute, element.attributeCount);
    }
    // `range` with the whitespace before it, what goes when what it holds is taken out.
    ByteRange withSpaceBefore(ByteRange range) const;
    // Where the closing <?xpacket end=…?> starts, when there is one.
    std::optional<std::size_t> trailer() const { return trailer_; }

    // The value of the first property `uri`:`name` in document order,
    // written as an attribute or as an element's text.
    std::optional<std::string_view> property(std::string_view uri, std::string_view name) const;

private:
    XmpPacket() = default;
    friend class XmpPacketBuilder;

    std::string_view text_;
    std::vector<XmpElement> elements_;
    std::vector<XmpAttribute> attributes_;
    std::set<std::string, std::less<>> namespaces_;  // what every name's namespaceUri views
    std::optional<std::size_t> trailer_;
};

// An XMP Real: a decimal number as C writes it, optionally signed, with
// blanks before it; what follows the number is not looked at.
std::optional<double> xmpReal(std::string_view text);

// One change to a text: `range` replaced by `replacement` (an insertion when
// the range is empty).
struct TextEdit {
    ByteRange range;
    std::string replacement;
};

// `text` with `edits` made, in the order of their ranges; text that two edits
// both cover is removed once.
std::string applyEdits(std::string_view text, std::vector<TextEdit> edits);

}  // namespace pictavo::imageio
