// Feeds arbitrary bytes, as a .heic file, through the converter to JPG or PNG.
// Any crash, leak or hang in our code shows up here; every outcome must be a
// success with exactly one output file, or a failure with none.

#include "core/Converter.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // One folder per process, removed when the process exits normally; a crash
    // leaves it with the input that caused it.
    static const fs::path folder = [] {
        std::string path = (fs::temp_directory_path() / "pictavo-fuzz-XXXXXX").string();
        if (!mkdtemp(path.data()))
            std::abort();
        return fs::path(path);
    }();
    // Registered once `folder` is made, so it runs before `folder` is destroyed.
    [[maybe_unused]] static const int removal = std::atexit([] {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    });
    const fs::path input = folder / "input.heic";
    std::ofstream(input, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    // One format per input, picked by its length: both writers see every
    // kind of picture, at half the cost of converting each input twice.
    const pictavo::OutputFormat format = size % 2 == 0 ? pictavo::OutputFormat::jpg : pictavo::OutputFormat::png;
    pictavo::ConversionResult result = pictavo::Converter::convert(input, {.to = format}, std::nullopt);
    const auto entries = std::distance(fs::directory_iterator(folder), fs::directory_iterator());
    if (result.ok() != result.output().has_value() || entries != (result.ok() ? 2 : 1))
        std::abort();
    if (result.output())
        fs::remove(*result.output());
    return 0;
}
