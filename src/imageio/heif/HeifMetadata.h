#pragma once

#include <cstdint>
#include <vector>

#include <libheif/heif.h>

namespace pictavo::imageio {

// The image's EXIF block as a TIFF structure (libheif's 4-byte offset and any
// "Exif\0\0" removed); empty when there is none or it is not TIFF.
std::vector<std::uint8_t> readExif(const heif_image_handle* handle);
// The image's XMP packet; empty when there is none.
std::vector<std::uint8_t> readXmp(const heif_image_handle* handle);

}  // namespace pictavo::imageio
