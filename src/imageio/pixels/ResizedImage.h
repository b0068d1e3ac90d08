#pragma once

#include "imageio/pixels/DecodedImage.h"
#include "imageio/pixels/ScaledSize.h"

#include <memory>

namespace pictavo::imageio {

// `image` (its rows of samples in memory) scaled to `size` in its own layout
// and depth, each channel through its own PlaneScaler, with its colour
// profile and metadata. Colour is premultiplied by alpha while it is scaled,
// at 16 bits, so that transparent pixels lend no colour to their neighbours.
// Null when the image cannot be read or scaled, or memory runs out.
std::unique_ptr<DecodedImage> resizedImage(const DecodedImage& image, PixelSize size);

}  // namespace pictavo::imageio
