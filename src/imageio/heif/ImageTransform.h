#pragma once

#include <cstdint>
#include <optional>

#include <libheif/heif.h>

namespace pictavo::imageio {

// Where each pixel of an image as shown lies in the picture as stored: the
// file's rotations, mirrors and clean-aperture crops, in the order it lists
// them (the order libheif applies them), composed into one map. The shown
// pixel (x, y) is the stored pixel (xx·x + xy·y + x0, yx·x + yy·y + y0); each
// coefficient is -1, 0 or 1, and either xx and yy or xy and yx are zero.
struct ImageTransform {
    int xx = 1, xy = 0, yx = 0, yy = 1;
    std::int64_t x0 = 0, y0 = 0;
    std::uint32_t width = 0;  // the image as shown
    std::uint32_t height = 0;
    // A crop comes before a turn or mirror. libheif crops 4:2:0 chroma one
    // sample wider and taller than the crop (49×17 for 96×32), so turning it
    // afterwards moves chroma by a sample against its luma.
    bool turnedAfterCrop = false;

    // The image's transformations applied to a stored picture of that size;
    // none when they cannot be read or crop it away entirely.
    static std::optional<ImageTransform> of(const heif_image_handle* handle, std::uint32_t storedWidth,
                                            std::uint32_t storedHeight);

    bool isIdentity() const { return xx == 1 && yy == 1 && x0 == 0 && y0 == 0; }
    // True when shown rows run along stored columns (a quarter turn).
    bool swapsAxes() const { return xy != 0; }
    // True when every 2×2 block of the shown image, from its top left corner,
    // is a whole 2×2 block of the stored one and libheif's turned 4:2:0
    // chroma goes along with it: then the stored planes moved block by block
    // are the ones libheif's decode gives.
    bool keeps420Blocks() const;
};

// True when the image has no rotation, mirror or crop to apply.
bool isStoredUpright(const heif_image_handle* handle);

}  // namespace pictavo::imageio
