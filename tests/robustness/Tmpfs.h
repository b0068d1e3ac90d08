#pragma once

#include <cstdint>
#include <filesystem>

namespace pictavo::test {

// A small tmpfs mounted over a fresh folder for the life of the object, so a
// test can fill a disk or make it read-only. Needs root; mounted() says
// whether it worked.
class Tmpfs {
public:
    Tmpfs(const std::filesystem::path& folder, std::uint64_t bytes);
    ~Tmpfs();
    Tmpfs(const Tmpfs&) = delete;
    Tmpfs& operator=(const Tmpfs&) = delete;

    bool mounted() const { return mounted_; }
    const std::filesystem::path& path() const { return folder_; }

    // Bytes a new file can still take.
    std::uint64_t freeBytes() const;
    // Writes a file `name` that leaves at most `bytes` free (rounded down to the
    // file system's block size). False when that many are not free.
    bool fillLeaving(const std::string& name, std::uint64_t bytes) const;
    // Remounts read-only (true) or read-write (false).
    bool setReadOnly(bool readOnly) const;

private:
    std::filesystem::path folder_;
    std::uint64_t bytes_;
    bool mounted_ = false;
};

}  // namespace pictavo::test
