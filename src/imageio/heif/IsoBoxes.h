#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace pictavo::imageio {

// Reading the boxes of an ISO base media file (HEIF's container) from an open
// file, where libheif offers no call for what is wanted.

// Reads `size` bytes at `at` of `fd`; false unless all of them could be read.
bool readFully(int fd, std::uint64_t at, char* data, std::size_t size);

// The `count` bytes at `bytes` as a big-endian number (count at most 4).
std::uint32_t bigEndian(const unsigned char* bytes, int count);

// A box within [.., limit): where its body starts and where it ends.
struct Box {
    char type[4];
    std::uint64_t body;
    std::uint64_t end;

    bool is(const char (&name)[5]) const;
};

// The box whose header starts at `at` (`available` header bytes read from
// there into `header`); none when its header or size does not fit before `limit`.
std::optional<Box> boxAt(const unsigned char* header, std::size_t available, std::uint64_t at, std::uint64_t limit);

// The boxes inside bytes[from, to) of a box read into memory, up to the first
// that does not fit.
std::vector<Box> childBoxes(const std::vector<unsigned char>& bytes, std::size_t from, std::size_t to);

// The file's top-level `meta` box read into memory (its body, from the full
// box's version on), with its position; none when it has none, or one larger
// than any real file's (16 MB).
struct MetaBox {
    std::uint64_t offset = 0;  // of the body in the file
    std::vector<unsigned char> bytes;
};
std::optional<MetaBox> readMetaBox(int fd, std::uint64_t fileSize);

}  // namespace pictavo::imageio
