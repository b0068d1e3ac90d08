#include "model/OutputFolders.h"

#include <sys/stat.h>

#include <cerrno>

namespace pictavo {

std::optional<std::filesystem::path> makeOutputFolder(const std::filesystem::path& chosen,
                                                      const std::filesystem::path& subfolder)
{
    if (subfolder.has_root_path())
        return std::nullopt;
    std::filesystem::path folder = chosen;
    for (const std::filesystem::path& part : subfolder) {
        if (part.empty())
            continue;  // after a trailing separator
        if (part == "." || part == "..")
            return std::nullopt;
        folder /= part;
        // mkdir never replaces: whatever is there already stays, and is used only when it is a folder.
        if (::mkdir(folder.c_str(), 0777) == 0)
            continue;
        struct stat status {};
        if (errno != EEXIST || ::stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
            return std::nullopt;
    }
    return folder;
}

}  // namespace pictavo
