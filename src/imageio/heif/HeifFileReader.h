#pragma once

#include "imageio/files/UniqueFd.h"
#include "imageio/heif/HeifObjects.h"

#include <libheif/heif.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace pictavo::imageio {

// Gives libheif a file through positioned reads instead of its own file
// stream. libheif 1.19 asserts, ending the process, when its stream refuses
// to seek to a box that starts past the end of the file; this reader accepts
// any position and fails the read that follows, which libheif reports as an
// ordinary error.
class HeifFileReader {
public:
    HeifFileReader() = default;
    // libheif keeps a pointer to the reader: it cannot move.
    HeifFileReader(const HeifFileReader&) = delete;
    HeifFileReader& operator=(const HeifFileReader&) = delete;

    // Reads the structure of the file open as `file`, which the reader keeps,
    // into `context`; false when it is not a regular file or cannot be read
    // as HEIF. libheif reads image data later, through this reader, so it
    // must outlive `context`. Call once per reader.
    bool readInto(heif_context* context, UniqueFd file);

    // The descriptor reads go through (positioned reads: other readers may
    // share a duplicate of it on other threads).
    int descriptor() const { return file_.get(); }

private:
    // libheif 1.19 refuses a file whose primary item is marked hidden. Finds
    // that flag in the file's `meta` box, so reads can present it cleared.
    bool findHiddenPrimaryFlag();

    static std::int64_t position(void* self);
    static int read(void* data, std::size_t size, void* self);
    static int seek(std::int64_t position, void* self);
    static heif_reader_grow_status availability(std::int64_t size, void* self);

    static constexpr std::size_t kWindowSize = 64 * 1024;

    UniqueFd file_;
    std::uint64_t size_ = 0;
    // Where the next read starts; may lie past the end.
    std::uint64_t position_ = 0;
    // Bytes of the file from windowStart_ on, read ahead for small reads.
    std::vector<char> window_;
    std::uint64_t windowStart_ = 0;
    // File offset of a byte whose lowest bit reads as 0 (the hidden primary's flag), if any.
    std::optional<std::uint64_t> clearedBit_;
};

// A libheif context over the file open as `file`, read through a reader of
// its own, with the security limits and libheif's decoding on the calling
// thread only; nullptr when the file cannot be read as HEIF.
struct HeifFileContext {
    HeifFileReader reader;  // before the context, which reads through it until freed
    HeifContextPtr context;

    static std::unique_ptr<HeifFileContext> open(UniqueFd file);
};

}  // namespace pictavo::imageio
