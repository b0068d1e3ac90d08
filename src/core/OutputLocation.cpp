#include "core/OutputLocation.h"

#include <cstdint>
#include <string>

namespace pictavo {

namespace fs = std::filesystem;

namespace {

// Anything at the path counts, a dangling symbolic link included. A path that
// cannot be looked up at all (the folder is a plain file, or cannot be
// searched) holds nothing: counting it as taken would make the naming loop
// forever, and the exclusive creation that follows fails there anyway.
bool entryExists(const fs::path& path)
{
    std::error_code error;
    fs::file_status status = fs::symlink_status(path, error);
    return !error && fs::exists(status);
}

}  // namespace

fs::path outputLocation(const fs::path& source, OutputFormat to, const std::optional<fs::path>& outputDir)
{
    const fs::path folder = normalFolder(outputDir ? *outputDir : source.parent_path());
    const std::string base = source.stem().string();
    fs::path candidate = folder / (base + "." + ext(to));
    for (std::int64_t counter = 1; entryExists(candidate); ++counter)
        candidate = folder / (base + "-" + std::to_string(counter) + "." + ext(to));
    return candidate;
}

fs::path normalFolder(const fs::path& folder)
{
    fs::path normal;
    for (const fs::path& element : folder) {
        if (!element.empty() && element != ".")
            normal /= element;
    }
    return normal.empty() && !folder.empty() ? fs::path(".") : normal;
}

}  // namespace pictavo
