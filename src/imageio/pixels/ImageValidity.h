#pragma once

#include "imageio/pixels/DecodedImage.h"

namespace pictavo::imageio {

// True when `image` describes pixels in memory that an encoder can read
// safely: a known layout, a non-empty size and rows at least as long as their
// samples. Tiles decoded while writing (DecodedImage::tiles) do not count.
inline bool isWritable(const DecodedImage& image)
{
    if (!image.data || image.width == 0 || image.height == 0)
        return false;
    if (image.channels < 1 || image.channels > 4 || (image.bitsPerSample != 8 && image.bitsPerSample != 16))
        return false;
    const std::size_t rowBytes = std::size_t(image.width) * image.channels * (image.bitsPerSample / 8);
    return image.stride >= rowBytes;
}

// True when an encoder can take `image`'s rows: in memory as above, or as RGB
// bands of 8 or 16 bits (DecodedImage::rgbBands), each checked as it comes.
inline bool hasEncodableRows(const DecodedImage& image)
{
    if (!image.rgbBands)
        return isWritable(image);
    return image.width > 0 && image.height > 0 && image.channels == 3 &&
           (image.bitsPerSample == 8 || image.bitsPerSample == 16);
}

}  // namespace pictavo::imageio
