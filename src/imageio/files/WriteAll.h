#pragma once

#include <cstddef>

namespace pictavo::imageio {

// Writes all `size` bytes at the descriptor's position, going on after
// interrupted and partial writes. False when the descriptor takes no more.
bool writeAll(int fd, const void* data, std::size_t size);

}  // namespace pictavo::imageio
