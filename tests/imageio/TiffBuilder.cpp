#include "TiffBuilder.h"

namespace pictavo::imageio::test {

namespace {

class Bytes {
public:
    explicit Bytes(bool bigEndian) : bigEndian_(bigEndian) {}
    void u16(std::uint16_t v)
    {
        if (bigEndian_) { push(v >> 8); push(v); } else { push(v); push(v >> 8); }
    }
    void u32(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            push(v >> (bigEndian_ ? 24 - 8 * i : 8 * i));
    }
    void entry(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value)
    {
        u16(tag);
        u16(type);
        u32(count);
        if (type == 3 && count == 1) { u16(static_cast<std::uint16_t>(value)); u16(0); } else { u32(value); }
    }
    void push(unsigned v) { data.push_back(static_cast<std::uint8_t>(v)); }
    void padTo(std::size_t size) { data.resize(size, 0); }
    std::vector<std::uint8_t> data;

private:
    bool bigEndian_;
};

struct Reader {
    const std::vector<std::uint8_t>& d;
    bool big;
    bool fits(std::uint64_t at, std::uint64_t n) const { return at <= d.size() && n <= d.size() - at; }
    std::uint32_t u16(std::size_t at) const { return big ? d[at] << 8 | d[at + 1] : d[at + 1] << 8 | d[at]; }
    std::uint32_t u32(std::size_t at) const { return big ? u16(at) << 16 | u16(at + 2) : u16(at + 2) << 16 | u16(at); }
    std::optional<TagValue> tag(std::uint32_t ifd, std::uint16_t wanted) const
    {
        if (!fits(ifd, 2) || !fits(ifd + 2ull, u16(ifd) * 12ull))
            return std::nullopt;
        for (std::uint32_t i = 0; i < u16(ifd); ++i) {
            const std::size_t e = ifd + 2 + i * 12;
            if (u16(e) != wanted)
                continue;
            const auto type = static_cast<std::uint16_t>(u16(e + 2));
            return TagValue{type, u32(e + 4), type == 3 ? u16(e + 8) : u32(e + 8)};
        }
        return std::nullopt;
    }
};

std::optional<Reader> reader(const std::vector<std::uint8_t>& tiff)
{
    if (tiff.size() < 8 || (tiff[0] != 'I' && tiff[0] != 'M'))
        return std::nullopt;
    return Reader{tiff, tiff[0] == 'M'};
}

}  // namespace

std::vector<std::uint8_t> buildTiff(const TiffContents& c)
{
    Bytes b(c.bigEndian);
    b.data = c.bigEndian ? std::vector<std::uint8_t>{'M', 'M', 0, 42} : std::vector<std::uint8_t>{'I', 'I', 42, 0};
    b.u32(8);
    const std::uint32_t makeAt = 50, exifAt = 64, makerNoteAt = 106;
    const std::uint32_t ifd1At = static_cast<std::uint32_t>((makerNoteAt + c.makerNoteSize + 1) / 2 * 2);
    const std::uint32_t thumbnailAt = ifd1At + 30;
    b.u16(3);  // IFD0
    b.entry(0x010F, 2, sizeof kTestMake, makeAt);
    b.entry(0x0112, 3, 1, c.orientation);
    b.entry(0x8769, 4, 1, exifAt);
    b.u32(c.thumbnailSize ? ifd1At : 0);
    for (char ch : kTestMake)
        b.push(static_cast<unsigned char>(ch));
    b.padTo(exifAt);
    b.u16(3);  // Exif IFD
    b.entry(0x927C, 7, static_cast<std::uint32_t>(c.makerNoteSize), makerNoteAt);
    b.entry(0xA002, 4, 1, c.pixelX);
    b.entry(0xA003, 3, 1, c.pixelY);
    b.u32(0);
    for (std::size_t i = 0; i < c.makerNoteSize; ++i)
        b.push(static_cast<unsigned>(i * 7));
    if (c.thumbnailSize) {
        b.padTo(ifd1At);
        b.u16(2);  // IFD1
        b.entry(0x0201, 4, 1, thumbnailAt);
        b.entry(0x0202, 4, 1, static_cast<std::uint32_t>(c.thumbnailSize));
        b.u32(0);
        for (std::size_t i = 0; i < c.thumbnailSize; ++i)
            b.push(static_cast<unsigned>(i * 13));
    }
    return b.data;
}

std::optional<TagValue> ifd0Tag(const std::vector<std::uint8_t>& tiff, std::uint16_t tag)
{
    auto r = reader(tiff);
    return r ? r->tag(r->u32(4), tag) : std::nullopt;
}

std::optional<TagValue> exifIfdTag(const std::vector<std::uint8_t>& tiff, std::uint16_t tag)
{
    auto r = reader(tiff);
    auto pointer = ifd0Tag(tiff, 0x8769);
    return r && pointer ? r->tag(pointer->value, tag) : std::nullopt;
}

std::optional<std::string> ifd0Ascii(const std::vector<std::uint8_t>& tiff, std::uint16_t tag)
{
    auto r = reader(tiff);
    auto entry = ifd0Tag(tiff, tag);
    if (!r || !entry || entry->type != 2 || !r->fits(entry->value, entry->count) || entry->count <= 4)
        return std::nullopt;
    return std::string(reinterpret_cast<const char*>(tiff.data() + entry->value), entry->count);
}

std::uint32_t ifd1Offset(const std::vector<std::uint8_t>& tiff)
{
    auto r = reader(tiff);
    if (!r)
        return 0;
    const std::uint32_t ifd0 = r->u32(4);
    if (!r->fits(ifd0, 2) || !r->fits(ifd0 + 2ull + r->u16(ifd0) * 12ull, 4))
        return 0;
    return r->u32(ifd0 + 2 + r->u16(ifd0) * 12);
}

}  // namespace pictavo::imageio::test
