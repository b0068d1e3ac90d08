#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace pictavo::imageio {

// The Multi-Picture Format index (APP2 "MPF\0") of a primary JPEG followed by
// one more JPEG: the primary as the representative baseline image, the
// second as a dependent JPEG. Offsets count from the index's byte-order mark,
// `headerOffset` bytes into the file.
struct MpfIndex {
    std::uint32_t primarySize = 0;   // the whole primary JPEG, SOI to EOI
    std::uint32_t secondSize = 0;
    std::uint32_t headerOffset = 0;  // file offset of the byte-order mark
};

// The segment payload, big-endian; its size does not depend on the values,
// so a segment written early can be rewritten in place once they are known.
std::vector<std::uint8_t> mpfSegment(const MpfIndex& index);
// Offset of the byte-order mark within the payload.
inline constexpr std::size_t kMpfHeaderStart = 4;

}  // namespace pictavo::imageio
