#pragma once

#include "core/ConversionOptions.h"
#include "core/ConversionResult.h"
#include "core/OutputFormat.h"
#include "imageio/Failure.h"
#include "imageio/ImageDestination.h"
#include "imageio/files/UniqueFd.h"

#include <filesystem>
#include <functional>
#include <optional>

namespace pictavo {

// Converts one image file into one new JPG or PNG file.
struct Converter {
    // Writes the primary image of `source` as `to` into `outputDir` or next
    // to the source, under the first free name (OutputLocation), or the next
    // free one when another program takes it while the photo converts. Never
    // replaces or modifies an existing file; every failure is reported in
    // the result.
    static ConversionResult convert(const std::filesystem::path& source, const ConversionOptions& options,
                                    const std::optional<std::filesystem::path>& outputDir);

    // Decodes and encodes: given the opened photo and the descriptor of the
    // unnamed output, writes the output's bytes into it; the failure, if any.
    using Transcoder = std::function<std::optional<imageio::Failure>(imageio::UniqueFd photo, int output)>;

    // convert() with the decoding and encoding left to `transcoder` (another
    // process, say). Everything that touches the file system happens here:
    // opening the photo, making the unnamed output, naming it, its dates, and
    // publishing or dropping it.
    static ConversionResult convertWith(const Transcoder& transcoder, const std::filesystem::path& source,
                                        OutputFormat to, const std::optional<std::filesystem::path>& outputDir);

    // Decodes the primary image of `photo` and writes it as `options` say into `output`.
    static std::optional<imageio::Failure> transcode(
        imageio::UniqueFd photo, int output, const ConversionOptions& options,
        imageio::ImageDestination::GainMaps gainMaps = imageio::ImageDestination::GainMaps::written);
};

}  // namespace pictavo
