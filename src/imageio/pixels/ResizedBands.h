#pragma once

#include "imageio/pixels/ScaledSize.h"
#include "imageio/pixels/YCbCrBandSource.h"

#include <memory>

namespace pictavo::imageio {

// The bands of `source`, an image of `from` (8-bit 4:2:0), scaled to `to`:
// each plane through its own PlaneScaler as the source's bands are read, so
// that the source is still read band by band. The scaled planes are held
// (1.5 bytes a pixel of `to`) and handed on in bands as their rows complete.
std::shared_ptr<const YCbCrBandSource> resizedBands(std::shared_ptr<const YCbCrBandSource> source, PixelSize from,
                                                    PixelSize to);

}  // namespace pictavo::imageio
