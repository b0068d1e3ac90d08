#include "imageio/HeifFileReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace pictavo::imageio {

namespace {

HeifFileReader& reader(void* self)
{
    return *static_cast<HeifFileReader*>(self);
}

bool readFully(int fd, std::uint64_t at, char* data, std::size_t size)
{
    for (std::size_t done = 0; done < size;) {
        const ssize_t got = ::pread(fd, data + done, size - done, static_cast<off_t>(at + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace

bool HeifFileReader::readInto(heif_context* context, const std::filesystem::path& location)
{
    // O_NONBLOCK: a FIFO put in the file's place must not block the open.
    file_ = UniqueFd(::open(location.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info{};
    if (!file_.valid() || ::fstat(file_.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    size_ = static_cast<std::uint64_t>(info.st_size);
    position_ = 0;

    static const heif_reader callbacks = [] {
        heif_reader table{};
        table.reader_api_version = 1;
        table.get_position = &HeifFileReader::position;
        table.read = &HeifFileReader::read;
        table.seek = &HeifFileReader::seek;
        table.wait_for_file_size = &HeifFileReader::availability;
        return table;
    }();
    return heif_context_read_from_reader(context, &callbacks, this, nullptr).code == heif_error_Ok;
}

// libheif hands positions over as int64_t although it computes them as
// unsigned; converting back and forth keeps every position it asks for.
std::int64_t HeifFileReader::position(void* self)
{
    return static_cast<std::int64_t>(reader(self).position_);
}

int HeifFileReader::seek(std::int64_t position, void* self)
{
    reader(self).position_ = static_cast<std::uint64_t>(position);
    return 0;
}

heif_reader_grow_status HeifFileReader::availability(std::int64_t size, void* self)
{
    return static_cast<std::uint64_t>(size) <= reader(self).size_ ? heif_reader_grow_status_size_reached
                                                                  : heif_reader_grow_status_size_beyond_eof;
}

// Fails unless all `size` bytes lie within the file as it was opened; a file
// that shrank since then fails here too. libheif reads boxes a few bytes at a
// time, so small reads come from a window read ahead (a system call each
// would cost more than parsing), large ones straight from the file.
int HeifFileReader::read(void* data, std::size_t size, void* self)
{
    HeifFileReader& file = reader(self);
    if (file.position_ > file.size_ || size > file.size_ - file.position_)
        return 1;
    if (size >= kWindowSize) {
        if (!readFully(file.file_.get(), file.position_, static_cast<char*>(data), size))
            return 1;
    } else {
        const bool inWindow = file.position_ >= file.windowStart_ &&
                              file.position_ + size <= file.windowStart_ + file.window_.size();
        if (!inWindow) {
            file.window_.resize(std::min<std::uint64_t>(kWindowSize, file.size_ - file.position_));
            file.windowStart_ = file.position_;
            if (!readFully(file.file_.get(), file.windowStart_, file.window_.data(), file.window_.size())) {
                file.window_.clear();
                return 1;
            }
        }
        std::memcpy(data, file.window_.data() + (file.position_ - file.windowStart_), size);
    }
    file.position_ += size;
    return 0;
}

}  // namespace pictavo::imageio
