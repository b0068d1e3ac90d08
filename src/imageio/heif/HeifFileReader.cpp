#include "imageio/heif/HeifFileReader.h"

#include "imageio/heif/IsoBoxes.h"
#include "imageio/heif/SecurityLimits.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace pictavo::imageio {

namespace {

HeifFileReader& reader(void* self)
{
    return *static_cast<HeifFileReader*>(self);
}

}  // namespace

bool HeifFileReader::readInto(heif_context* context, UniqueFd file)
{
    file_ = std::move(file);
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

    const heif_error error = heif_context_read_from_reader(context, &callbacks, this, nullptr);
    if (error.code == heif_error_Ok)
        return true;
    // A primary item marked hidden is still the file's picture: read the file
    // again with that flag cleared.
    if (error.subcode != heif_suberror_Nonexisting_item_referenced || !findHiddenPrimaryFlag())
        return false;
    position_ = 0;
    return heif_context_read_from_reader(context, &callbacks, this, nullptr).code == heif_error_Ok;
}

bool HeifFileReader::findHiddenPrimaryFlag()
{
    std::optional<MetaBox> meta = readMetaBox(file_.get(), size_);
    if (!meta)
        return false;
    const std::vector<unsigned char>& bytes = meta->bytes;
    std::optional<std::uint32_t> primary;
    std::optional<Box> iinf;
    for (const Box& box : childBoxes(bytes, 4, bytes.size())) {  // meta is a full box: version and flags first
        if (box.is("pitm") && box.end - box.body >= 6) {
            const bool wide = bytes[box.body] != 0;
            if (!wide || box.end - box.body >= 8)
                primary = bigEndian(&bytes[box.body + 4], wide ? 4 : 2);
        } else if (box.is("iinf") && box.end - box.body >= 6) {
            iinf = box;
        }
    }
    if (!primary || !iinf)
        return false;
    const std::size_t entries = iinf->body + (bytes[iinf->body] == 0 ? 6 : 8);
    for (const Box& infe : childBoxes(bytes, std::min<std::size_t>(entries, iinf->end), iinf->end)) {
        // infe version 2 or 3: version, flags (bit 0: hidden), item ID of 2 or 4 bytes.
        const std::size_t at = infe.body;
        const int version = infe.end - at >= 8 ? bytes[at] : 0;
        if (!infe.is("infe") || version < 2)
            continue;
        if (bigEndian(&bytes[at + 4], version == 2 ? 2 : 4) == *primary && (bytes[at + 3] & 1)) {
            clearedBit_ = meta->offset + at + 3;
            return true;
        }
    }
    return false;
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
    if (size == 0)
        return 0;
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
    if (file.clearedBit_ && *file.clearedBit_ >= file.position_ && *file.clearedBit_ - file.position_ < size)
        static_cast<unsigned char*>(data)[*file.clearedBit_ - file.position_] &= 0xFE;
    file.position_ += size;
    return 0;
}

std::unique_ptr<HeifFileContext> HeifFileContext::open(UniqueFd file)
{
    auto opened = std::make_unique<HeifFileContext>();
    opened->context.reset(heif_context_alloc());
    if (!opened->context)
        return nullptr;
    applySecurityLimits(opened->context.get());
    // libheif 1.19 pastes grid tiles decoded on several threads together
    // wrongly at times (stray columns, different pixels from run to run):
    // it decodes a grid's tiles one after another. Tiles bound for a JPEG are
    // decoded on every core by TiledYCbCrImage instead, each thread through
    // a context of its own.
    heif_context_set_max_decoding_threads(opened->context.get(), 0);
    if (!opened->reader.readInto(opened->context.get(), std::move(file)))
        return nullptr;
    return opened;
}

}  // namespace pictavo::imageio
