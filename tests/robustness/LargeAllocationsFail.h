#pragma once

#include <cstddef>

namespace pictavo::test {

// While one lives, every allocation through operator new of at least `bytes`
// throws std::bad_alloc, as when memory runs out: the one fault a test cannot
// make happen at a chosen moment for real. In this process only.
struct LargeAllocationsFail {
    explicit LargeAllocationsFail(std::size_t bytes);
    ~LargeAllocationsFail();
};

}  // namespace pictavo::test
