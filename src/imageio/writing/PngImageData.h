#pragma once

#include "imageio/Failure.h"
#include "imageio/writing/ByteSink.h"
#include "imageio/pixels/DecodedImage.h"

#include <optional>

namespace pictavo::imageio {

// Writes the rest of a PNG file after its header chunks: the IDAT chunks of
// `image`, then IEND. Every row is filtered with PNG's Up filter (16-bit
// samples stored big-endian) and deflated quickly; the rows are cut into
// bands that up to `threads` threads deflate at once, each band but the last
// ending with an empty stored block on a byte boundary, so the bands joined
// in order with their checksums combined form one zlib stream. Only a few bands are held at
// a time, whatever the image size; an image whose rows come in bands
// (DecodedImage::rgbBands) is deflated as they come, into the same bytes.
// Failure::writeFailed when the sink refuses bytes; Failure::unreadable for
// an image hasEncodableRows() refuses, a band that cannot be read or a
// deflate error.
std::optional<Failure> writePngImageData(const DecodedImage& image, unsigned threads, const ByteSink& sink);

}  // namespace pictavo::imageio
