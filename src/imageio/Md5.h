#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace pictavo::imageio {

// MD5 (RFC 1321) of `bytes`: the digest extended XMP in a JPEG is named by.
std::array<std::uint8_t, 16> md5(std::span<const std::uint8_t> bytes);
// The digest as 32 upper-case hexadecimal digits.
std::string md5Hex(std::span<const std::uint8_t> bytes);

}  // namespace pictavo::imageio
