#include "LargeBuffers.h"

#include <cstdlib>  // defines __GLIBC__ on glibc systems
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace pictavo::imageio {

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

}  // namespace pictavo::imageio
