#pragma once

#include "core/OutputFormat.h"

#include <optional>

namespace pictavo {

// How a photo is converted: the same for every file of a run.
struct ConversionOptions {
    OutputFormat to = OutputFormat::jpg;
    double quality = 0.9;  // JPEG quality, 0 to 1
    // The upright picture's long side at most this many pixels; none: full size. Never enlarged.
    std::optional<int> longSide;
    // Leaves out where the photo was taken: EXIF's GPS and XMP's GPS and place names.
    bool removeLocation = false;

    static constexpr int kSmallestLongSide = 16;
    static constexpr int kLargestLongSide = 65535;
};

}  // namespace pictavo
