#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace pictavo {

// A random (version 4) UUID.
class Uuid {
public:
    static Uuid random();

    const std::array<std::uint8_t, 16>& bytes() const { return bytes_; }
    // Lower-case 8-4-4-4-12 hexadecimal form.
    std::string toString() const;

    friend bool operator==(const Uuid&, const Uuid&) = default;

private:
    std::array<std::uint8_t, 16> bytes_{};
};

}  // namespace pictavo
