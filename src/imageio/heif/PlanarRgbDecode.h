#pragma once

#include <cstdint>
#include <memory>

#include <libheif/heif.h>

namespace pictavo::imageio {

// True when the image may be 8-bit 4:2:0 YCbCr that libheif would turn into
// RGB with a matrix ycbcrMatrix() knows, at full range; what the HEVC stream
// itself declares is only known once it is decoded.
bool mayConvertHere(const heif_image_handle* handle, heif_chroma preferredChroma);

// Decodes to the image's own 4:2:0 planes and converts them to RGB
// in `rgb` on every core: the same pixels as libheif's RGB decode, which
// converts on one. The planar image, or nullptr with `rgb` left empty when the
// planes turn out to be something else (the caller then lets libheif decode to RGB).
std::shared_ptr<heif_image> decodeAndConvert(const heif_image_handle* handle, const heif_decoding_options* options,
                                             std::shared_ptr<std::uint8_t[]>& rgb);

}  // namespace pictavo::imageio
