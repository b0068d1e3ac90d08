#include "imageio/heif/DecodedTile.h"

#include "imageio/heif/HeifColour.h"

namespace pictavo::imageio {

DecodedTile tileOf(std::shared_ptr<heif_image> image)
{
    DecodedTile tile;
    if (!image || heif_image_get_colorspace(image.get()) != heif_colorspace_YCbCr)
        return {};
    static constexpr heif_channel kChannels[3] = {heif_channel_Y, heif_channel_Cb, heif_channel_Cr};
    tile.depth = heif_image_get_bits_per_pixel_range(image.get(), heif_channel_Y);
    for (int c = 0; c < 3; ++c) {
        int stride = 0;
        tile.plane[c] = heif_image_get_plane_readonly(image.get(), kChannels[c], &stride);
        tile.stride[c] = std::size_t(stride > 0 ? stride : 0);
        tile.width[c] = heif_image_get_width(image.get(), kChannels[c]);
        tile.height[c] = heif_image_get_height(image.get(), kChannels[c]);
        const int storage = heif_image_get_bits_per_pixel(image.get(), kChannels[c]);
        if (!tile.plane[c] || stride <= 0 || tile.width[c] <= 0 || tile.height[c] <= 0 ||
            heif_image_get_bits_per_pixel_range(image.get(), kChannels[c]) != tile.depth ||
            storage != (tile.depth > 8 ? 16 : 8))
            return {};
    }
    tile.chroma = heif_image_get_chroma_format(image.get());
    tile.colour = imageNclx(image.get());
    if (!tile.colour)
        return {};
    tile.owner = std::move(image);
    return tile;
}

}  // namespace pictavo::imageio
