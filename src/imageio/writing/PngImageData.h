#pragma once

#include "imageio/writing/ByteSink.h"
#include "imageio/pixels/DecodedImage.h"

namespace pictavo::imageio {

// Writes the rest of a PNG file after its header chunks: the IDAT chunks of
// `image`, then IEND. Every row is filtered with PNG's Up filter (16-bit
// samples stored big-endian) and deflated quickly; the rows are cut into
// bands that up to `threads` threads deflate at once, each band but the last
// ending on a byte boundary (Z_SYNC_FLUSH), so the bands joined in order with
// their checksums combined form one zlib stream. Only a few bands are held at
// a time, whatever the image size. False on any failure (an image
// isWritable() refuses, deflate or the sink); never throws.
bool writePngImageData(const DecodedImage& image, unsigned threads, const ByteSink& sink);

}  // namespace pictavo::imageio
