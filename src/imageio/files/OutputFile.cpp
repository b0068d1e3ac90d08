#include "imageio/files/OutputFile.h"

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

bool hardLinksUnsupported(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EMLINK;
}

// Another program took the name while the file was written: the exclusive
// link failed, and nothing was replaced.
Failure linkFailure(int error)
{
    return error == EEXIST ? Failure::outputNotCreated : Failure::writeFailed;
}

}  // namespace

OutputFile::OutputFile(fs::path location, UniqueFd fd, fs::path temporary)
    : location_(std::move(location)), fd_(std::move(fd)), temporary_(std::move(temporary))
{
}

OutputFile::~OutputFile()
{
    if (!temporary_.empty())
        ::unlink(temporary_.c_str());
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

std::optional<Failure> OutputFile::linkToName()
{
    if (temporary_.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, location_.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return std::nullopt;
        // Without /proc, AT_EMPTY_PATH does the same (it needs CAP_DAC_READ_SEARCH).
        if (errno == ENOENT && ::linkat(fd_.get(), "", AT_FDCWD, location_.c_str(), AT_EMPTY_PATH) == 0)
            return std::nullopt;
        return linkFailure(errno);
    }
    if (::link(temporary_.c_str(), location_.c_str()) == 0) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
        return std::nullopt;
    }
    if (!hardLinksUnsupported(errno))
        return linkFailure(errno);
    if (::renameat2(AT_FDCWD, temporary_.c_str(), AT_FDCWD, location_.c_str(), RENAME_NOREPLACE) == 0) {
        temporary_.clear();
        return std::nullopt;
    }
    return linkFailure(errno);
}

std::optional<Failure> OutputFile::publish()
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
    if (std::optional<Failure> failure = linkToName())
        return failure;
    fd_.reset();
    // Make the new name itself durable; the file is complete whether or not this works.
    UniqueFd folder(::open(folderOf(location_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.valid())
        ::fsync(folder.get());
    return std::nullopt;
}

}  // namespace pictavo::imageio
