#pragma once

#include "imageio/pixels/DecodedImage.h"

#include <cstdint>
#include <memory>
#include <vector>

#include <libheif/heif.h>

namespace pictavo::imageio {

// The EXIF orientation (1..8) that has the same effect as the image's HEIF
// transformations (irot, imir, in the order the file lists them); 1 when there
// are none. Clean-aperture crops do not change it.
int orientationFromTransformations(const heif_context* context, heif_item_id image);

// True when the image has no rotation, mirror or crop to apply.
bool isStoredUpright(const heif_image_handle* handle);

// Asks for the planes as the stream stores them. Newer libheif otherwise first
// converts them to full-range BT.601 (and says so in their nclx), and
// converting those again would round differently from libheif's own RGB.
template <typename Options>
void keepStoredColours(Options* options)
{
    if constexpr (requires { options->output_image_nclx_profile_passthrough; })
        if (options->version >= 10)
            options->output_image_nclx_profile_passthrough = 1;
}

// Decodes one image upright (rotation, mirror and crop applied) into
// interleaved samples, with its colour profile and metadata. A tiled photo in
// JPEG's own YCbCr decodes tile by tile on every core; anything else through
// libheif. nullptr when the picture data cannot be decoded. `file` is the open
// file the handle's context reads (tiles are read again from it).
std::unique_ptr<DecodedImage> decodeHeifImage(const std::shared_ptr<heif_image_handle>& handle, int file);

// Decodes one image for writing as a JPEG: a tiled photo in JPEG's own YCbCr
// comes as its tiles (DecodedImage::tiles), decoded while the JPEG is written;
// anything else as decodeHeifImage() gives it.
std::unique_ptr<DecodedImage> decodeHeifImageForJpeg(const std::shared_ptr<heif_image_handle>& handle, int file);

// The image's EXIF block as a TIFF structure (libheif's 4-byte offset and any
// "Exif\0\0" removed); empty when there is none or it is not TIFF.
std::vector<std::uint8_t> readExif(const heif_image_handle* handle);
// The image's XMP packet; empty when there is none.
std::vector<std::uint8_t> readXmp(const heif_image_handle* handle);

// Helpers on decoded samples, exposed for tests.
// Scales `bits`-deep samples held in 16-bit words to 0..65535, rounding to nearest.
void expandTo16Bits(std::uint8_t* data, std::size_t stride, std::uint32_t width, std::uint32_t height, int channels,
                    int bits);
// Divides colour by alpha (last channel) in place; 8- or 16-bit samples.
void unpremultiply(std::uint8_t* data, std::size_t stride, std::uint32_t width, std::uint32_t height, int channels,
                   int bitsPerSample);

}  // namespace pictavo::imageio
