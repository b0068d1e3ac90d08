#pragma once

#include "core/OutputFormat.h"

#include <filesystem>
#include <optional>

namespace pictavo {

// Where the output of `source` goes: into `outputDir`, or next to the source
// when there is none, under the first name at which no directory entry of
// any kind exists among base.ext, base-1.ext, base-2.ext, ... (base: the
// source's name without its final extension).
std::filesystem::path outputLocation(const std::filesystem::path& source, OutputFormat to,
                                     const std::optional<std::filesystem::path>& outputDir);

// The folder's path in the one form locations are compared in: without
// "." elements and empty ones, so that "DIR", "DIR/" and "DIR/./" are one
// folder. ".." stays: a symbolic link before it decides where it leads.
std::filesystem::path normalFolder(const std::filesystem::path& folder);

}  // namespace pictavo
