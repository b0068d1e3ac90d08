#pragma once

#include "imageio/Failure.h"
#include "imageio/writing/ByteSink.h"
#include "imageio/pixels/DecodedImage.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pictavo::imageio {

// Encodes `image` as a baseline JPEG and streams it to `sink`: greyscale for
// grey sources, YCbCr otherwise; 16-bit samples rounded to 8 bits; alpha
// composited onto white; a tiled photo (DecodedImage::tiles) straight from its
// 4:2:0 planes, band by band. Carries EXIF (orientation 1), XMP and the ICC
// profile when it describes the colour space written. `quality` is a
// fraction of full quality (0..1). Failure::writeFailed when the sink refuses
// bytes; Failure::unreadable when a tile does not decode or libjpeg refuses
// the image (larger than a JPEG can be).
//
// `additions`, when given, adds segments of an image with a gain map.
struct JpegAdditions;
std::optional<Failure> writeJpeg(const DecodedImage& image, double quality, const ByteSink& sink,
                                 JpegAdditions* additions = nullptr);

struct JpegAdditions {
    // Turns the XMP packet to be written (empty when there is none) into
    // the one written; none keeps it as it is.
    std::function<std::optional<std::string>(std::string_view)> editXmp;
    // Runs once before anything is written and before the XMP is edited, and
    // may change these additions. Meanwhile a tiled photo's decoding threads
    // decode its first band only, so that what this holds in memory stands
    // in for the bands they would otherwise decode ahead.
    std::function<void()> beforeWriting;
    // APP2 segment payloads written after the ICC profile, in order.
    std::vector<std::vector<std::uint8_t>> app2;
    // Filled in: where each of them starts, in bytes from the JPEG's first.
    std::vector<std::uint64_t> app2Offsets;
};

}  // namespace pictavo::imageio
