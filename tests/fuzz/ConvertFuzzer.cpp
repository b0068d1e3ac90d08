// Feeds arbitrary bytes, as a .heic file, through the converter to JPG or PNG.
// Any crash, leak or hang in our code shows up here; every outcome must be a
// success with exactly one output file, or a failure with none.

#include "core/Converter.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// One folder per process, removed when the process exits normally; a crash
// leaves it with the input that caused it.
struct ScratchFolder {
    fs::path path;
    ScratchFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "pictavo-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        path = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

const fs::path& scratchFolder()
{
    static const ScratchFolder folder;
    return folder.path;
}

std::size_t entriesIn(const fs::path& folder)
{
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(folder))
        ++count;
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fs::path& folder = scratchFolder();
    const fs::path input = folder / "input.heic";
    {
        std::ofstream out(input, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }

    // One format per input, picked by its length: both writers see every
    // kind of picture, at half the cost of converting each input twice.
    const pictavo::OutputFormat format = size % 2 == 0 ? pictavo::OutputFormat::jpg : pictavo::OutputFormat::png;
    pictavo::ConversionResult result = pictavo::Converter::convert(input, format, 0.9, std::nullopt);
    const std::size_t expected = result.ok() ? 2 : 1;
    if (result.ok() != result.output().has_value() || entriesIn(folder) != expected)
        std::abort();
    if (result.output())
        fs::remove(*result.output());
    fs::remove(input);
    return 0;
}
