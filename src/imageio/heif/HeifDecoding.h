#pragma once

#include "imageio/pixels/DecodedImage.h"
#include "imageio/pixels/ToneMapping.h"

#include <memory>

#include <libheif/heif.h>

namespace pictavo::imageio {

// Asks for the planes as the stream stores them. Newer libheif otherwise first
// converts them to full-range BT.601 (and says so in their nclx), and
// converting those again would round differently from libheif's own RGB;
// from 1.23 on it can be told not to.
inline void keepStoredColours([[maybe_unused]] heif_decoding_options* options)
{
#if LIBHEIF_HAVE_VERSION(1, 23, 0)
    if (options->version >= 10)
        options->output_image_nclx_profile_passthrough = 1;
#endif
}

// Decodes one image upright (rotation, mirror and crop applied) into
// interleaved samples, with its colour profile and metadata. A tiled photo
// whose tiles the band converter takes (8-bit 4:2:0, 10-bit 4:2:0 and 4:2:2)
// decodes tile by tile on every core, its RGB coming in bands as it is read
// (DecodedImage::rgbBands); anything else through libheif, whole. nullptr
// when the picture data cannot be decoded. `file` is the open file the
// handle's context reads (tiles are read again from it).
std::unique_ptr<DecodedImage> decodeHeifImage(const std::shared_ptr<heif_image_handle>& handle, int file);

// Decodes one image for writing as a JPEG: a tiled photo in JPEG's own YCbCr
// comes as its tiles (DecodedImage::tiles), decoded while the JPEG is written;
// anything else as decodeHeifImage() gives it in 8 bits (a 10-bit grid's RGB
// bands rounded as they are converted), an HDR one's rows shown to
// `observer` as they are tone-mapped.
std::unique_ptr<DecodedImage> decodeHeifImageForJpeg(const std::shared_ptr<heif_image_handle>& handle, int file,
                                                     ToneMappingObserver* observer = nullptr);

}  // namespace pictavo::imageio
