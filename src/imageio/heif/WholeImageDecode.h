#pragma once

#include "imageio/pixels/DecodedImage.h"
#include "imageio/pixels/ToneMapping.h"

#include <memory>

#include <libheif/heif.h>

namespace pictavo::imageio {

// Decodes the whole image with libheif, upright, into interleaved samples
// with its colour profile and metadata (converted to RGB here when that gives
// libheif's own pixels faster; HDR tone-mapped to SDR, its rows shown to
// `observer` when given). nullptr when the picture data cannot be decoded.
std::unique_ptr<DecodedImage> decodeWhole(const heif_image_handle* handle, ToneMappingObserver* observer = nullptr);

}  // namespace pictavo::imageio
