#pragma once

#include <filesystem>
#include <optional>

namespace pictavo {

// The folder `subfolder` below `chosen` ("Out" and "Trip/Day 2": Out/Trip/Day 2),
// with each missing part made; an existing folder, or a link to one, is used as
// it is. None when it cannot be had: a part exists and is no folder, a part
// cannot be made, or `subfolder` would lead out of `chosen` (a root, "." or
// ".." among its parts). Folders made stay even when nothing is written into them.
std::optional<std::filesystem::path> makeOutputFolder(const std::filesystem::path& chosen,
                                                      const std::filesystem::path& subfolder);

}  // namespace pictavo
