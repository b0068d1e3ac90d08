#include "LargeAllocationsFail.h"

#include <cstdlib>
#include <new>

std::atomic<std::size_t> pictavo::test::allocationsFailingFrom{SIZE_MAX};
using pictavo::test::allocationsFailingFrom;

// Every form of new and delete but the aligned ones is replaced: a sanitizer's own
// form paired with one of these would be reported as a mismatch.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return size < allocationsFailingFrom.load(std::memory_order_relaxed) ? std::malloc(size == 0 ? 1 : size) : nullptr;
}

void* operator new(std::size_t size)
{
    void* memory = operator new(size, std::nothrow);
    if (!memory)
        throw std::bad_alloc();
    return memory;
}

void* operator new[](std::size_t size) { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t& nothrow) noexcept { return operator new(size, nothrow); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
