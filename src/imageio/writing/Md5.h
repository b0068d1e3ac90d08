#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace pictavo::imageio {

// MD5 of `bytes` as 32 upper-case hexadecimal digits: the name extended XMP
// in a JPEG goes by.
std::string md5Hex(std::span<const std::uint8_t> bytes);

}  // namespace pictavo::imageio
