#pragma once

#include "imageio/Failure.h"
#include "imageio/writing/ByteSink.h"
#include "imageio/pixels/DecodedImage.h"

#include <optional>

namespace pictavo::imageio {

// Encodes `image` as PNG with its own layout (grey, grey + alpha, RGB or RGBA;
// 8 or 16 bits) and streams it to `sink`. The ICC profile goes into iCCP,
// or an sRGB chunk is written when there is none; EXIF (orientation 1) into
// eXIf; XMP into an iTXt chunk. Failure::writeFailed when the sink refuses
// bytes; Failure::unreadable when the encoder refuses the image.
std::optional<Failure> writePng(const DecodedImage& image, const ByteSink& sink);

}  // namespace pictavo::imageio
