#include "imageio/heif/IsoBoxes.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pictavo::imageio {

bool readFully(int fd, std::uint64_t at, char* data, std::size_t size)
{
    for (std::size_t done = 0; done < size;) {
        const ssize_t got = ::pread(fd, data + done, size - done, static_cast<off_t>(at + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::uint32_t bigEndian(const unsigned char* bytes, int count)
{
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

bool Box::is(const char (&name)[5]) const
{
    return std::memcmp(type, name, 4) == 0;
}

std::optional<Box> boxAt(const unsigned char* header, std::size_t available, std::uint64_t at, std::uint64_t limit)
{
    if (available < 8 || at + 8 > limit)
        return std::nullopt;
    std::uint64_t size = bigEndian(header, 4), headerSize = 8;
    if (size == 1) {
        if (available < 16)
            return std::nullopt;
        size = std::uint64_t(bigEndian(header + 8, 4)) << 32 | bigEndian(header + 12, 4);
        headerSize = 16;
    } else if (size == 0) {
        size = limit - at;
    }
    if (size < headerSize || size > limit - at)
        return std::nullopt;
    Box box{{}, at + headerSize, at + size};
    std::memcpy(box.type, header + 4, 4);
    return box;
}

std::vector<Box> childBoxes(const std::vector<unsigned char>& bytes, std::size_t from, std::size_t to)
{
    std::vector<Box> found;
    for (std::size_t at = from; at < to;) {
        std::optional<Box> box = boxAt(&bytes[at], to - at, at, to);
        if (!box)
            break;
        found.push_back(*box);
        at = box->end;
    }
    return found;
}

std::optional<MetaBox> readMetaBox(int fd, std::uint64_t fileSize)
{
    constexpr std::uint64_t kMaxMetaSize = 16 << 20;
    constexpr int kMaxBoxesBeforeMeta = 1000;  // ftyp, meta, mdat in practice
    std::optional<Box> meta;
    for (std::uint64_t at = 0, boxes = 0; at < fileSize && !meta && boxes < kMaxBoxesBeforeMeta; ++boxes) {
        unsigned char header[16] = {};
        const std::size_t available = static_cast<std::size_t>(std::min<std::uint64_t>(16, fileSize - at));
        if (!readFully(fd, at, reinterpret_cast<char*>(header), available))
            return std::nullopt;
        std::optional<Box> box = boxAt(header, available, at, fileSize);
        if (!box)
            return std::nullopt;
        if (box->is("meta"))
            meta = box;
        at = box->end;
    }
    if (!meta || meta->end - meta->body > kMaxMetaSize || meta->end - meta->body < 4)
        return std::nullopt;
    MetaBox read{meta->body, std::vector<unsigned char>(meta->end - meta->body)};
    if (!readFully(fd, meta->body, reinterpret_cast<char*>(read.bytes.data()), read.bytes.size()))
        return std::nullopt;
    return read;
}

}  // namespace pictavo::imageio
