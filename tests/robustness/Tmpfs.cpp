#include "Tmpfs.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

namespace pictavo::test {

namespace {

std::string sizeOption(std::uint64_t bytes)
{
    return "size=" + std::to_string(bytes) + ",mode=0755";
}

}  // namespace

Tmpfs::Tmpfs(const std::filesystem::path& folder, std::uint64_t bytes) : folder_(folder), bytes_(bytes)
{
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, sizeOption(bytes_).c_str()) == 0;
}

Tmpfs::~Tmpfs()
{
    if (mounted_)
        ::umount2(folder_.c_str(), MNT_DETACH);
}

std::uint64_t Tmpfs::freeBytes() const
{
    struct statvfs info{};
    if (::statvfs(folder_.c_str(), &info) != 0)
        return 0;
    return std::uint64_t(info.f_bavail) * info.f_frsize;
}

bool Tmpfs::fillLeaving(const std::string& name, std::uint64_t bytes) const
{
    const std::uint64_t available = freeBytes();
    if (available < bytes)
        return false;
    int fd = ::open((folder_ / name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::uint64_t left = available - bytes;
    const std::vector<char> block(64 * 1024, 'f');
    bool ok = true;
    while (ok && left > 0) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, block.size()));
        const ssize_t written = ::write(fd, block.data(), chunk);
        ok = written > 0;
        if (ok)
            left -= static_cast<std::uint64_t>(written);
    }
    ::close(fd);
    return ok && freeBytes() <= bytes;
}

bool Tmpfs::setReadOnly(bool readOnly) const
{
    const unsigned long flags = MS_REMOUNT | (readOnly ? MS_RDONLY : 0);
    return ::mount("tmpfs", folder_.c_str(), "tmpfs", flags, sizeOption(bytes_).c_str()) == 0;
}

}  // namespace pictavo::test
