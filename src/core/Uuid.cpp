#include "core/Uuid.h"

#include <random>

namespace pictavo {

Uuid Uuid::random()
{
    // One generator per thread, seeded from the system's entropy source.
    thread_local std::mt19937_64 generator{[] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device(), device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }()};

    Uuid uuid;
    for (int half = 0; half < 2; ++half) {
        std::uint64_t word = generator();
        for (int i = 0; i < 8; ++i)
            uuid.bytes_[half * 8 + i] = static_cast<std::uint8_t>(word >> (8 * i));
    }
    uuid.bytes_[6] = static_cast<std::uint8_t>((uuid.bytes_[6] & 0x0F) | 0x40);  // version 4
    uuid.bytes_[8] = static_cast<std::uint8_t>((uuid.bytes_[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return uuid;
}

std::string Uuid::toString() const
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        text += digits[bytes_[i] >> 4];
        text += digits[bytes_[i] & 0x0F];
    }
    return text;
}

}  // namespace pictavo
