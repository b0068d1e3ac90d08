#include "imageio/metadata/XmpPacket.h"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <exception>
#include <memory>

namespace pictavo::imageio {

namespace {

// Between a name's namespace, local part and prefix in what expat reports;
// XML allows it nowhere in a document.
constexpr char kSeparator = '\x01';

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view localPart(std::string_view qualified)
{
    const std::size_t colon = qualified.find(':');
    return colon == std::string_view::npos ? qualified : qualified.substr(colon + 1);
}

// The name of the start tag at `tag` of `text`, which expat has found
// well-formed, with its attributes appended to `attributes` as written (no
// namespace or value yet); none should it not look like one after all.
std::optional<std::string_view> scanStartTag(std::string_view text, ByteRange tag, std::vector<XmpAttribute>& attributes)
{
    std::size_t i = tag.begin + 1;
    const std::size_t end = tag.end;
    while (i < end && !isSpace(text[i]) && text[i] != '>' && text[i] != '/')
        ++i;
    const std::string_view name = text.substr(tag.begin + 1, i - tag.begin - 1);
    for (;;) {
        while (i < end && isSpace(text[i]))
            ++i;
        if (i >= end)
            return std::nullopt;
        if (text[i] == '>' || text[i] == '/')
            return name;
        const std::size_t nameBegin = i;
        while (i < end && !isSpace(text[i]) && text[i] != '=')
            ++i;
        const std::string_view qualified = text.substr(nameBegin, i - nameBegin);
        while (i < end && isSpace(text[i]))
            ++i;
        if (i >= end || text[i] != '=')
            return std::nullopt;
        ++i;
        while (i < end && isSpace(text[i]))
            ++i;
        if (i >= end || (text[i] != '"' && text[i] != '\''))
            return std::nullopt;
        const std::size_t close = text.find(text[i], i + 1);
        if (close == std::string_view::npos || close >= end)
            return std::nullopt;
        XmpAttribute& attribute = attributes.emplace_back();
        attribute.name = {qualified, {}, localPart(qualified)};
        attribute.declaresNamespace = qualified == "xmlns" || qualified.starts_with("xmlns:");
        attribute.whole = {nameBegin, close + 1};
        attribute.quoted = {i + 1, close};
        i = close + 1;
    }
}

}  // namespace

// Collects what expat reports into an XmpPacket. Expat's callbacks are C
// frames: nothing may unwind through them, so a failure stops the parser and
// is rethrown once it has returned.
class XmpPacketBuilder {
public:
    XmpPacketBuilder(XML_Parser parser, std::string_view text) : parser_(parser) { packet_.text_ = text; }

    ReadResult<XmpPacket> read()
    {
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(parser_, &XmpPacketBuilder::onStart, &XmpPacketBuilder::onEnd);
        XML_SetCharacterDataHandler(parser_, &XmpPacketBuilder::onText);
        XML_SetProcessingInstructionHandler(parser_, &XmpPacketBuilder::onInstruction);
        XML_SetStartDoctypeDeclHandler(parser_, &XmpPacketBuilder::onDoctype);
        XML_SetReturnNSTriplet(parser_, XML_TRUE);
        const std::string_view text = packet_.text_;
        const XML_Status status = XML_Parse(parser_, text.data(), static_cast<int>(text.size()), XML_TRUE);
        if (failure_)
            std::rethrow_exception(failure_);
        if (status != XML_STATUS_OK || refused_)
            return ReadError::notWellFormed;
        return std::move(packet_);
    }

private:
    static XmpPacketBuilder& of(void* data) { return *static_cast<XmpPacketBuilder*>(data); }

    template <class Step>
    void guarded(Step step)
    {
        if (refused_ || failure_)
            return;
        try {
            if (!step())
                refuse();
        } catch (...) {
            failure_ = std::current_exception();
            XML_StopParser(parser_, XML_FALSE);
        }
    }

    void refuse()
    {
        refused_ = true;
        XML_StopParser(parser_, XML_FALSE);
    }

    // Expat's "namespace\x01local\x01prefix" (or just "local") for the name
    // written as `qualified`, the namespace kept among the packet's own strings.
    std::optional<XmpName> name(std::string_view qualified, std::string_view reported)
    {
        const std::string_view local = localPart(qualified);
        const std::size_t first = reported.find(kSeparator);
        if (first == std::string_view::npos)
            return reported == local ? std::optional(XmpName{qualified, {}, local}) : std::nullopt;
        if (reported.substr(first + 1, reported.find(kSeparator, first + 1) - first - 1) != local)
            return std::nullopt;
        const std::string_view uri = *packet_.namespaces_.emplace(reported.substr(0, first)).first;
        return XmpName{qualified, uri, local};
    }

    std::string_view event() const
    {
        const XML_Index at = XML_GetCurrentByteIndex(parser_);
        const int count = XML_GetCurrentByteCount(parser_);
        const std::string_view text = packet_.text_;
        if (at < 0 || count < 0 || std::size_t(at) > text.size() || std::size_t(count) > text.size() - std::size_t(at))
            return {};
        return text.substr(std::size_t(at), std::size_t(count));
    }

    bool start(const XML_Char* reported, const XML_Char** reportedAttributes)
    {
        const std::string_view tag = event();
        if (tag.empty() || tag.front() != '<')
            return false;
        XmpElement element;
        element.parent = open_.empty() ? XmpElement::kNoParent : open_.back();
        element.whole.begin = std::size_t(tag.data() - packet_.text_.data());
        element.whole.end = element.content.begin = element.content.end = element.whole.begin + tag.size();
        element.firstAttribute = packet_.attributes_.size();
        const std::optional<std::string_view> qualified = scanStartTag(packet_.text_, element.whole, packet_.attributes_);
        const std::optional<XmpName> elementName = qualified ? name(*qualified, reported) : std::nullopt;
        if (!elementName)
            return false;
        element.name = *elementName;
        element.attributeCount = packet_.attributes_.size() - element.firstAttribute;
        // Expat reports the attributes but namespace declarations, in the order they are written.
        const XML_Char** next = reportedAttributes;
        for (XmpAttribute& attribute : std::span(packet_.attributes_).subspan(element.firstAttribute)) {
            if (attribute.declaresNamespace)
                continue;
            const std::optional<XmpName> attributeName = *next ? name(attribute.name.qualified, next[0]) : std::nullopt;
            if (!attributeName)
                return false;
            attribute.name = *attributeName;
            attribute.value = next[1];
            next += 2;
        }
        if (*next)
            return false;
        if (!open_.empty())
            packet_.elements_[open_.back()].hasChildElements = true;
        open_.push_back(packet_.elements_.size());
        packet_.elements_.push_back(std::move(element));
        return true;
    }

    bool end()
    {
        if (open_.empty())
            return false;
        XmpElement& element = packet_.elements_[open_.back()];
        open_.pop_back();
        const std::string_view tag = event();
        if (tag.empty())  // the end of <a/>, which has no tag of its own
            return true;
        const std::size_t begin = std::size_t(tag.data() - packet_.text_.data());
        element.content.end = begin;
        element.whole.end = begin + tag.size();
        return true;
    }

    static void onStart(void* data, const XML_Char* name, const XML_Char** attributes)
    {
        XmpPacketBuilder& self = of(data);
        self.guarded([&] { return self.start(name, attributes); });
    }
    static void onEnd(void* data, const XML_Char*)
    {
        XmpPacketBuilder& self = of(data);
        self.guarded([&] { return self.end(); });
    }
    static void onText(void* data, const XML_Char* text, int length)
    {
        XmpPacketBuilder& self = of(data);
        self.guarded([&] {
            if (!self.open_.empty())
                self.packet_.elements_[self.open_.back()].text.append(text, std::size_t(length));
            return true;
        });
    }
    static void onInstruction(void* data, const XML_Char* target, const XML_Char* content)
    {
        XmpPacketBuilder& self = of(data);
        if (std::string_view(target) == "xpacket" && std::string_view(content).starts_with("end")) {
            const std::string_view instruction = self.event();
            if (!instruction.empty())
                self.packet_.trailer_ = std::size_t(instruction.data() - self.packet_.text_.data());
        }
    }
    // XMP has no document type; refusing it also refuses every entity it could define.
    static void onDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*, int)
    {
        of(data).refuse();
    }

    XML_Parser parser_;
    XmpPacket packet_;
    std::vector<std::size_t> open_;
    std::exception_ptr failure_;
    bool refused_ = false;
};

ReadResult<XmpPacket> XmpPacket::read(std::string_view text)
{
    if (text.size() > std::size_t(INT_MAX))
        return ReadError::outOfBounds;
    const std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(XML_ParserCreateNS("UTF-8", kSeparator),
                                                                             &XML_ParserFree);
    if (!parser)
        throw std::bad_alloc();
    return XmpPacketBuilder(parser.get(), text).read();
}

ByteRange XmpPacket::withSpaceBefore(ByteRange range) const
{
    while (range.begin > 0 && isSpace(text_[range.begin - 1]))
        --range.begin;
    return range;
}

std::optional<std::string_view> XmpPacket::property(std::string_view uri, std::string_view name) const
{
    for (const XmpElement& element : elements_) {
        if (element.name.is(uri, name))
            return element.text;
        for (const XmpAttribute& attribute : attributes(element))
            if (attribute.name.is(uri, name))
                return attribute.value;
    }
    return std::nullopt;
}

std::optional<double> xmpReal(std::string_view text)
{
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string applyEdits(std::string_view text, std::vector<TextEdit> edits)
{
    std::stable_sort(edits.begin(), edits.end(), [](const TextEdit& a, const TextEdit& b) {
        return a.range.begin != b.range.begin ? a.range.begin < b.range.begin : a.range.end < b.range.end;
    });
    std::string edited;
    edited.reserve(text.size());
    std::size_t at = 0;
    for (const TextEdit& edit : edits) {
        if (edit.range.begin > at)
            edited.append(text.substr(at, edit.range.begin - at));
        edited.append(edit.replacement);
        at = std::max(at, edit.range.end);
    }
    edited.append(text.substr(std::min(at, text.size())));
    return edited;
}

}  // namespace pictavo::imageio
