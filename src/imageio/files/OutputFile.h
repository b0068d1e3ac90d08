#pragma once

#include "imageio/Failure.h"
#include "imageio/files/FileTimes.h"
#include "imageio/files/UniqueFd.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace pictavo::imageio {

// A new file that appears under its name only once it is complete and never
// replaces anything: the data goes into a temporary file in the target folder,
// and publish() links it to its name, failing if anything exists there by then.
// Where the file system has neither hard links nor an exclusive rename (FAT
// and exFAT through FUSE, many network file systems), publish() creates the
// name exclusively and copies the finished data there; a half copy is removed.
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
    // The name to try next when the file finds its name taken.
    using NextName = std::function<std::filesystem::path()>;
    // Flushes the data to disk and gives the file its name, once. When
    // anything exists at the name by then, the file takes nextName() and
    // tries again: Failure::outputNotCreated when there is no nextName, or
    // after 100 names taken, Failure::writeFailed when the data could not be
    // kept.
    std::optional<Failure> publish(const NextName& nextName = {});

    // Where the data goes for a writer of its own, even in another process;
    // publish() then names what it wrote.
    int descriptor() const { return fd_.get(); }
    // Where the file is, or is to be, named.
    const std::filesystem::path& location() const { return location_; }

private:
    // Where one way of naming the file left it.
    enum class Naming { named, taken, unsupported, failed };
    // The same, by the errno of a way that failed.
    static Naming namingAfter(int error);

    OutputFile(std::filesystem::path location, UniqueFd fd, std::filesystem::path temporary);
    // The file's own path in /proc, which leads to it whatever its name.
    std::string selfLink() const;
    // Links the file to its name, or renames the temporary there, without replacing anything.
    Naming link();
    // Creates the name exclusively and copies the data there.
    Naming copyToName();
    // Closes the file and removes its temporary name, if it has one.
    void dropTemporary();

    std::filesystem::path location_;
    UniqueFd fd_;
    // Name of the hidden temporary while it has one; empty for an unnamed file.
    std::filesystem::path temporary_;
    std::optional<FileTimes> times_;
    bool publishTried_ = false;
};

}  // namespace pictavo::imageio
