#pragma once

#include "core/ConversionResult.h"
#include "core/OutputFormat.h"
#include "imageio/Properties.h"
#include "imageio/files/UniqueFd.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>

namespace pictavo {

inline constexpr std::string_view kCouldNotReadImage = "Could not read image";
inline constexpr std::string_view kCouldNotCreateOutput = "Could not create output";
inline constexpr std::string_view kWriteFailed = "Write failed";

// What became of decoding a photo and encoding it into an output descriptor.
enum class Transcoding { done, unreadable, writeFailed };

// Converts one image file into one new JPG or PNG file.
struct Converter {
    // Writes image 0 of `source` as `to` into `outputDir` (or next to the source)
    // under the first free name among base.ext, base-1.ext, base-2.ext, ...
    // Never replaces or modifies an existing file; every failure is reported
    // in the result.
    static ConversionResult convert(const std::filesystem::path& source, OutputFormat to, double quality,
                                    const std::optional<std::filesystem::path>& outputDir);

    // Decodes and encodes: given the opened photo and the descriptor of the
    // unnamed output, writes the output's bytes into it.
    using Transcoder = std::function<Transcoding(imageio::UniqueFd photo, int output)>;

    // convert() with the decoding and encoding left to `transcoder` (another
    // process, say). Everything that touches the file system happens here:
    // opening the photo, making the unnamed output, naming it, its dates, and
    // publishing or dropping it.
    static ConversionResult convertWith(const Transcoder& transcoder, const std::filesystem::path& source,
                                        OutputFormat to, const std::optional<std::filesystem::path>& outputDir);

    // Decodes image 0 of `photo` and writes it as `to` into `output`.
    static Transcoding transcode(imageio::UniqueFd photo, int output, OutputFormat to, double quality);

    // The folder's path in the one form locations are compared in: without
    // "." elements and empty ones, so that "DIR", "DIR/" and "DIR/./" are one
    // folder. ".." stays: a symbolic link before it decides where it leads.
    static std::filesystem::path normalFolder(const std::filesystem::path& folder);

    // The first candidate name at which no directory entry of any kind exists.
    static std::filesystem::path freeOutputLocation(const std::filesystem::path& folder, const std::string& base,
                                                    const std::string& extension);

    // Options for writing image 0: the quality for JPG only, and the source
    // image's orientation when its properties hold one.
    static imageio::Properties destinationOptions(OutputFormat to, double quality,
                                                  const std::optional<imageio::Properties>& sourceProperties);
};

}  // namespace pictavo
