#include "core/OutputLocation.h"

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

OutputLocation::OutputLocation(const fs::path& source, OutputFormat to, const std::optional<fs::path>& outputDir)
    : folder_(normalFolder(outputDir ? *outputDir : source.parent_path())),
      base_(source.stem().string()),
      extension_("." + ext(to))
{
}

fs::path OutputLocation::nextFree()
{
    fs::path candidate;
    do {
        ++counter_;
        candidate = folder_ / (counter_ == 0 ? base_ + extension_ : base_ + "-" + std::to_string(counter_) + extension_);
    } while (entryExists(candidate));
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
