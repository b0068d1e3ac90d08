#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace pictavo::imageio {

// Where an encoder sends its bytes; returns false when they could not be stored.
using ByteSink = std::function<bool(const std::uint8_t* data, std::size_t size)>;

}  // namespace pictavo::imageio
