#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace pictavo::imageio {

// Makes every large allocation (a decoded plane or image) come straight from
// the system and go back to it when freed, so that converting photo after
// photo in one process keeps no memory. Safe to call any number of times,
// from any thread.
void returnLargeBuffersToTheSystem();

// An uninitialised buffer of `size` bytes for a whole image, backed by huge
// pages where the system offers them: filling 36 MB of fresh 4 KiB pages
// costs a page fault each, which took longer than converting the pixels.
// Null when no memory can be mapped for it.
std::shared_ptr<std::uint8_t[]> allocateImageBuffer(std::size_t size);

}  // namespace pictavo::imageio
