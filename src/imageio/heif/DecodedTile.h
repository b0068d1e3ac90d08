#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include <libheif/heif.h>

namespace pictavo::imageio {

// One tile's decoded YCbCr planes, whichever decoder made them.
struct DecodedTile {
    const std::uint8_t* plane[3] = {};  // Y, Cb, Cr
    std::size_t stride[3] = {};        // bytes
    int width[3] = {};
    int height[3] = {};
    // Bits per sample, the same in every plane; a sample of more than 8 takes two bytes.
    int depth = 0;
    heif_chroma chroma = heif_chroma_undefined;
    // How the samples map to colour, as libheif would say it.
    std::shared_ptr<const heif_color_profile_nclx> colour;
    // Keeps the planes alive.
    std::shared_ptr<const void> owner;

    explicit operator bool() const { return owner != nullptr; }
};

// libheif's decoded image as a tile; an empty tile when it is not three
// planes of one depth with a colour description.
DecodedTile tileOf(std::shared_ptr<heif_image> image);

}  // namespace pictavo::imageio
