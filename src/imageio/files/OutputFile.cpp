#include "imageio/files/OutputFile.h"

#include "imageio/files/CopyAll.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string>

namespace pictavo::imageio {

namespace fs = std::filesystem;

namespace {

constexpr mode_t kFileMode = 0644;  // the process umask still applies
// Names found taken one after another only when something else takes each
// as fast as it is offered, or the file system calls taken what it does not show.
constexpr int kNamesTried = 100;

fs::path folderOf(const fs::path& location)
{
    fs::path folder = location.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

// ".name.1a2b3c4d5e6f7a8b.tmp" beside the final name, short enough for any file system.
fs::path hiddenTemporaryName(const fs::path& location, std::uint64_t random)
{
    std::string base = location.filename().string().substr(0, 200);
    char suffix[17];
    std::snprintf(suffix, sizeof suffix, "%016llx", static_cast<unsigned long long>(random));
    return folderOf(location) / ("." + base + "." + suffix + ".tmp");
}

bool unsupportedTmpfile(int error)
{
    // EISDIR: a kernel that does not know O_TMPFILE sees a plain directory open.
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// What a file system answers a way of naming it does not offer: no hard links
// (EPERM, EOPNOTSUPP, ENOSYS; EMLINK: no more of them), no exclusive rename
// (EINVAL; ENOSYS, EOPNOTSUPP or EPERM on some FUSE and network file systems).
bool wayUnsupported(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL || error == EMLINK;
}

// Removes what is at `location` if it is still the file open as `fd`.
void removeIfSame(const fs::path& location, int fd)
{
    struct stat opened{}, named{};
    if (::fstat(fd, &opened) == 0 && ::lstat(location.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
        opened.st_ino == named.st_ino)
        ::unlink(location.c_str());
}

}  // namespace

OutputFile::OutputFile(fs::path location, UniqueFd fd, fs::path temporary)
    : location_(std::move(location)), fd_(std::move(fd)), temporary_(std::move(temporary))
{
}

OutputFile::~OutputFile()
{
    dropTemporary();
}

// Closed first: a FUSE file system keeps a file removed while open as a
// visible ".fuse_hidden…" file until it is closed.
void OutputFile::dropTemporary()
{
    fd_.reset();
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
    temporary_.clear();
}

std::unique_ptr<OutputFile> OutputFile::create(const fs::path& location, Method method)
{
    if (location.filename().empty()) {
        errno = EINVAL;
        return nullptr;
    }
    const fs::path folder = folderOf(location);
    if (method == Method::automatic) {
        UniqueFd fd(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, kFileMode));
        if (fd.valid())
            return std::unique_ptr<OutputFile>(new OutputFile(location, std::move(fd), {}));
        if (!unsupportedTmpfile(errno))
            return nullptr;
    }
    std::random_device device;
    std::mt19937_64 generator((static_cast<std::uint64_t>(device()) << 32) ^ device() ^ ::getpid());
    for (int attempt = 0; attempt < 64; ++attempt) {
        fs::path temporary = hiddenTemporaryName(location, generator());
        UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode));
        if (fd.valid())
            return std::unique_ptr<OutputFile>(new OutputFile(location, std::move(fd), std::move(temporary)));
        if (errno != EEXIST)
            return nullptr;
    }
    return nullptr;
}

OutputFile::Naming OutputFile::namingAfter(int error)
{
    if (error == EEXIST)
        return Naming::taken;
    return wayUnsupported(error) ? Naming::unsupported : Naming::failed;
}

std::string OutputFile::selfLink() const
{
    return "/proc/self/fd/" + std::to_string(fd_.get());
}

OutputFile::Naming OutputFile::link()
{
    if (temporary_.empty()) {
        if (::linkat(AT_FDCWD, selfLink().c_str(), AT_FDCWD, location_.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return Naming::named;
        // Without /proc, AT_EMPTY_PATH does the same (it needs CAP_DAC_READ_SEARCH).
        if (errno == ENOENT && ::linkat(fd_.get(), "", AT_FDCWD, location_.c_str(), AT_EMPTY_PATH) == 0)
            return Naming::named;
        return namingAfter(errno);
    }
    if (::link(temporary_.c_str(), location_.c_str()) == 0)
        return Naming::named;
    if (const Naming linked = namingAfter(errno); linked != Naming::unsupported)
        return linked;
    if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, location_.c_str(), RENAME_NOREPLACE) == 0) {
        temporary_.clear();
        return Naming::named;
    }
    return namingAfter(errno);
}

OutputFile::Naming OutputFile::copyToName()
{
    // Read back through a descriptor of its own: through the one that wrote
    // it, fusefat reads the last block as zeros.
    const UniqueFd data(::open(selfLink().c_str(), O_RDONLY | O_CLOEXEC));
    if (!data.valid())
        return Naming::failed;
    UniqueFd copy(::open(location_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode));
    if (!copy.valid())
        return errno == EEXIST ? Naming::taken : Naming::failed;
    const bool copied = copyAll(data.get(), copy.get());
    if (copied && times_) {
        const timespec times[2] = {times_->access, times_->modification};
        ::futimens(copy.get(), times);
    }
    if (!copied || ::fsync(copy.get()) != 0) {
        removeIfSame(location_, copy.get());
        return Naming::failed;
    }
    return Naming::named;
}

std::optional<Failure> OutputFile::publish(const NextName& nextName)
{
    // Once: a second fsync could report success for data the first lost.
    if (publishTried_ || !fd_.valid())
        return Failure::writeFailed;
    publishTried_ = true;
    if (times_) {
        const timespec times[2] = {times_->access, times_->modification};
        ::futimens(fd_.get(), times);
    }
    if (::fsync(fd_.get()) != 0)
        return Failure::writeFailed;
    for (int names = 1;; ++names) {
        Naming naming = link();
        if (naming == Naming::unsupported)
            naming = copyToName();
        if (naming == Naming::named)
            break;
        if (naming == Naming::failed)
            return Failure::writeFailed;
        if (!nextName || names == kNamesTried)
            return Failure::outputNotCreated;
        location_ = nextName();
    }
    dropTemporary();  // where the name was linked or copied to
    // Make the new name itself durable; the file is complete whether or not this works.
    UniqueFd folder(::open(folderOf(location_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid())
        ::fsync(folder.get());
    return std::nullopt;
}

}  // namespace pictavo::imageio
