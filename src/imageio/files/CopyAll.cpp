#include "imageio/files/CopyAll.h"

#include "imageio/files/WriteAll.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace pictavo::imageio {

namespace {

// The answers of a kernel or file system that cannot copy between the two files itself.
bool kernelCopyUnsupported(int error)
{
    return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP;
}

}  // namespace

bool copyAll(int from, int to)
{
    off_t offset = 0;
    for (;;) {
        const ssize_t copied = ::copy_file_range(from, &offset, to, nullptr, std::size_t(1) << 30, 0);
        if (copied == 0)
            return true;
        if (copied < 0 && errno != EINTR) {
            if (!kernelCopyUnsupported(errno))
                return false;
            break;
        }
    }
    // From where the kernel stopped: both offsets moved by what it copied.
    std::vector<char> buffer(std::size_t(1) << 16);
    for (;;) {
        const ssize_t read = ::pread(from, buffer.data(), buffer.size(), offset);
        if (read == 0)
            return true;
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0 || !writeAll(to, buffer.data(), static_cast<std::size_t>(read)))
            return false;
        offset += read;
    }
}

}  // namespace pictavo::imageio
