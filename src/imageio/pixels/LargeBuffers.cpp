#include "imageio/pixels/LargeBuffers.h"

#include <sys/mman.h>

#include <cstdlib>  // defines __GLIBC__ on glibc systems
#include <new>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace pictavo::imageio {

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

}  // namespace

void returnLargeBuffersToTheSystem()
{
#if defined(__GLIBC__)
    // glibc raises its mmap threshold each time a large block is freed, after
    // which blocks of that size come from the heap of the allocating thread and
    // stay there when freed; libheif decodes on several threads, so each photo
    // left more behind. Setting the threshold turns that adjustment off.
    static const bool set = mallopt(M_MMAP_THRESHOLD, 1 << 20) == 1;
    (void)set;
#endif
}

std::shared_ptr<std::uint8_t[]> allocateImageBuffer(std::size_t size)
{
    if (size == 0 || size > SIZE_MAX - kHugePage)
        return nullptr;
    // Mapped with a huge page of slack, so the buffer can start on a huge-page boundary.
    const std::size_t mapped = size + kHugePage;
    void* base = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) {
        std::uint8_t* plain = new (std::nothrow) std::uint8_t[size];
        return plain ? std::shared_ptr<std::uint8_t[]>(plain) : nullptr;
    }
    const auto start = (reinterpret_cast<std::uintptr_t>(base) + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
    auto* data = reinterpret_cast<std::uint8_t*>(start);
    madvise(data, size, MADV_HUGEPAGE);  // only advice: without huge pages the buffer works the same
    // Should the owner's bookkeeping not fit in memory, it unmaps the buffer before it throws.
    return std::shared_ptr<std::uint8_t[]>(data, [base, mapped](std::uint8_t*) { munmap(base, mapped); });
}

}  // namespace pictavo::imageio
