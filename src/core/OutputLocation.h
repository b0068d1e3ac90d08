#pragma once

#include "core/OutputFormat.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace pictavo {

// Where the output of `source` goes: into `outputDir`, or next to the source
// when there is none, under one of the names base.ext, base-1.ext,
// base-2.ext, ... in that order (base: the source's name without its final
// extension).
class OutputLocation {
public:
    OutputLocation(const std::filesystem::path& source, OutputFormat to,
                   const std::optional<std::filesystem::path>& outputDir);

    // The first of those names at which no directory entry of any kind
    // exists: at the first call from base.ext on, afterwards from the name
    // after the one given last, which was found taken when the file came to
    // be named.
    std::filesystem::path nextFree();

private:
    std::filesystem::path folder_;
    std::string base_;
    std::string extension_;
    std::int64_t counter_ = -1;  // of the name given last; 0 stands for base.ext
};

// The folder's path in the one form locations are compared in: without
// "." elements and empty ones, so that "DIR", "DIR/" and "DIR/./" are one
// folder. ".." stays: a symbolic link before it decides where it leads.
std::filesystem::path normalFolder(const std::filesystem::path& folder);

}  // namespace pictavo
