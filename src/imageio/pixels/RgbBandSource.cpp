#include "imageio/pixels/RgbBandSource.h"

#include "imageio/pixels/DecodedImage.h"
#include "imageio/pixels/LargeBuffers.h"

#include <cstring>

namespace pictavo::imageio {

std::unique_ptr<DecodedImage> withRowsInMemory(std::unique_ptr<DecodedImage> image)
{
    if (!image || !image->rgbBands)
        return image;
    const std::size_t stride = std::size_t(image->width) * image->channels * (image->bitsPerSample / 8);
    std::shared_ptr<std::uint8_t[]> rows = allocateImageBuffer(stride * image->height);
    if (!rows)
        return nullptr;
    const std::unique_ptr<RgbBandSource::Reader> reader = image->rgbBands->read();
    std::uint32_t read = 0;
    for (Result<const RgbBand*> next = reader->next(); next; next = reader->next()) {
        const RgbBand* band = *next;
        if (!band)
            break;
        if (!followsOn(*band, read, image->height, stride))
            return nullptr;
        for (std::uint32_t y = 0; y < band->rows; ++y)
            std::memcpy(rows.get() + std::size_t(read + y) * stride, band->data + y * band->stride, stride);
        read += band->rows;
    }
    if (read != image->height)
        return nullptr;
    image->data = rows.get();
    image->stride = stride;
    image->owner = std::move(rows);
    image->rgbBands.reset();
    return image;
}

}  // namespace pictavo::imageio
