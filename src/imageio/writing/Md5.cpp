#include "imageio/writing/Md5.h"

#include <nettle/md5.h>

namespace pictavo::imageio {

std::string md5Hex(std::span<const std::uint8_t> bytes)
{
    md5_ctx context;
    md5_init(&context);
    md5_update(&context, bytes.size(), bytes.data());
    std::uint8_t digest[MD5_DIGEST_SIZE];
    md5_digest(&context, sizeof digest, digest);
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (std::uint8_t byte : digest) {
        hex += digits[byte >> 4];
        hex += digits[byte & 0x0F];
    }
    return hex;
}

}  // namespace pictavo::imageio
