#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace pictavo::test {

// The size from which operator new throws; SIZE_MAX: none.
extern std::atomic<std::size_t> allocationsFailingFrom;

// While one lives, every allocation through operator new of at least `bytes`
// throws std::bad_alloc, as when memory runs out: the one fault a test cannot
// make happen at a chosen moment for real. In this process only.
struct LargeAllocationsFail {
    explicit LargeAllocationsFail(std::size_t bytes) { allocationsFailingFrom = bytes; }
    ~LargeAllocationsFail() { allocationsFailingFrom = SIZE_MAX; }
};

}  // namespace pictavo::test
