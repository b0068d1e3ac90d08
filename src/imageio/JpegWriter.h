#pragma once

#include "ByteSink.h"
#include "DecodedImage.h"

namespace pictavo::imageio {

// Encodes `image` as a baseline JPEG and streams it to `sink`: greyscale for
// grey sources, YCbCr otherwise; 16-bit samples rounded to 8 bits; alpha
// composited onto white; a tiled photo (DecodedImage::tiles) straight from its
// 4:2:0 planes, band by band. Carries EXIF (orientation 1), XMP and the ICC
// profile when it describes the colour space written. `quality` is a
// fraction of full quality (0..1). False on any encoder or sink failure;
// never throws.
bool writeJpeg(const DecodedImage& image, double quality, const ByteSink& sink);

}  // namespace pictavo::imageio
