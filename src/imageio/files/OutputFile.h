#pragma once

#include "imageio/Failure.h"
#include "imageio/files/FileTimes.h"
#include "imageio/files/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>

namespace pictavo::imageio {

// A new file that appears under its name only once it is complete and never
// replaces anything: the data goes into a temporary file in the target folder,
// and publish() links it to its name, failing if anything exists there by then.
// An OutputFile destroyed without a successful publish() leaves nothing behind.
class OutputFile {
public:
    enum class Method {
        // An unnamed O_TMPFILE file, or a hidden temporary where the file system cannot make one.
        automatic,
        // Always the hidden O_CREAT|O_EXCL temporary.
        hiddenTemporary,
    };

    // nullptr (errno set) when no temporary file can be made in the folder of `location`.
    static std::unique_ptr<OutputFile> create(const std::filesystem::path& location,
                                              Method method = Method::automatic);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Times publish() gives the file before it gets its name. A file system
    // that refuses them does not make publish() fail.
    void keepTimes(const FileTimes& times) { times_ = times; }
    // Flushes the data to disk and gives the file its name, once.
    // Failure::outputNotCreated when anything exists at the name by then,
    // Failure::writeFailed when the data could not be kept.
    std::optional<Failure> publish();

    // Where the data goes for a writer of its own, even in another process;
    // publish() then names what it wrote.
    int descriptor() const { return fd_.get(); }
    const std::filesystem::path& location() const { return location_; }

private:
    OutputFile(std::filesystem::path location, UniqueFd fd, std::filesystem::path temporary);
    std::optional<Failure> linkToName();

    std::filesystem::path location_;
    UniqueFd fd_;
    // Name of the hidden temporary; empty for an unnamed file.
    std::filesystem::path temporary_;
    std::optional<FileTimes> times_;
    bool publishTried_ = false;
};

}  // namespace pictavo::imageio
