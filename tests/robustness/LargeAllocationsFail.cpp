#include "LargeAllocationsFail.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> failingFrom{SIZE_MAX};
}  // namespace

pictavo::test::LargeAllocationsFail::LargeAllocationsFail(std::size_t bytes)
{
    failingFrom = bytes;
}

pictavo::test::LargeAllocationsFail::~LargeAllocationsFail()
{
    failingFrom = SIZE_MAX;
}

// The other forms of new and delete (arrays, nothrow, sized) end in these.
void* operator new(std::size_t size)
{
    void* memory = size < failingFrom.load(std::memory_order_relaxed) ? std::malloc(size == 0 ? 1 : size) : nullptr;
    if (!memory)
        throw std::bad_alloc();
    return memory;
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
