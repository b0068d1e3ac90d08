#include "imageio/pixels/ResizedImage.h"

#include "imageio/pixels/ImageValidity.h"
#include "imageio/pixels/LargeBuffers.h"
#include "imageio/pixels/PixelRows.h"
#include "imageio/pixels/PlaneScaler.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace pictavo::imageio {

namespace {

// Source rows split into planes at a time: a few hundred kilobytes.
constexpr std::uint32_t kBandRows = 32;

std::uint16_t load16(const std::uint8_t* at)
{
    std::uint16_t value;
    std::memcpy(&value, at, 2);
    return value;
}

void store16(std::uint8_t* at, std::uint32_t value)
{
    const auto word = static_cast<std::uint16_t>(value);
    std::memcpy(at, &word, 2);
}

// How an image's interleaved pixels map to the planes scaled: one per
// channel, of 16 bits and premultiplied colour when there is alpha.
struct Layout {
    int channels;
    int imageBits;
    bool alpha;
    int planeBytes() const { return alpha || imageBits == 16 ? 2 : 1; }

    // Sample `c` of `pixel` at 16 bits.
    std::uint32_t wide(const std::uint8_t* pixel, int c) const
    {
        return imageBits == 8 ? pixel[c] * 257u : load16(pixel + 2 * c);
    }

    // Row `row` into the planes' rows `offset` bytes in.
    void split(const std::uint8_t* row, std::uint32_t width, const std::vector<std::uint8_t*>& bases,
               std::size_t offset) const
    {
        std::uint8_t* planes[4];
        for (int c = 0; c < channels; ++c)
            planes[c] = bases[c] + offset;
        const std::size_t pixelBytes = std::size_t(channels) * (imageBits / 8);
        for (std::uint32_t x = 0; x < width; ++x) {
            const std::uint8_t* pixel = row + x * pixelBytes;
            if (!alpha) {
                for (int c = 0; c < channels; ++c)
                    std::memcpy(planes[c] + x * planeBytes(), pixel + c * planeBytes(), planeBytes());
                continue;
            }
            const std::uint32_t a = wide(pixel, channels - 1);
            for (int c = 0; c + 1 < channels; ++c)
                store16(planes[c] + 2 * x, (wide(pixel, c) * a + 32767) / 65535);
            store16(planes[channels - 1] + 2 * x, a);
        }
    }

    void merge(const std::vector<std::uint8_t*>& bases, std::size_t offset, std::uint32_t width, std::uint8_t* row) const
    {
        const std::uint8_t* planes[4];
        for (int c = 0; c < channels; ++c)
            planes[c] = bases[c] + offset;
        const std::size_t pixelBytes = std::size_t(channels) * (imageBits / 8);
        for (std::uint32_t x = 0; x < width; ++x) {
            std::uint8_t* pixel = row + x * pixelBytes;
            if (!alpha) {
                for (int c = 0; c < channels; ++c)
                    std::memcpy(pixel + c * planeBytes(), planes[c] + x * planeBytes(), planeBytes());
                continue;
            }
            const std::uint32_t a = load16(planes[channels - 1] + 2 * x);
            for (int c = 0; c < channels; ++c) {
                std::uint32_t value = a;
                if (c + 1 < channels)
                    value = a == 0 ? 0 : std::min<std::uint32_t>(65535, (load16(planes[c] + 2 * x) * 65535u + a / 2) / a);
                if (imageBits == 8)
                    pixel[c] = to8Bit(value);
                else
                    store16(pixel + 2 * c, value);
            }
        }
    }
};

}  // namespace

std::unique_ptr<DecodedImage> resizedImage(const DecodedImage& image, PixelSize size)
{
    if (!isWritable(image) || size.width == 0 || size.height == 0)
        return nullptr;
    const Layout layout{image.channels, image.bitsPerSample, image.channels == 2 || image.channels == 4};
    const int channels = layout.channels;
    const int planeBits = 8 * layout.planeBytes();
    std::vector<std::unique_ptr<PlaneScaler>> scalers;
    for (int c = 0; c < channels; ++c) {
        scalers.push_back(PlaneScaler::create(image.width, image.height, size.width, size.height, planeBits));
        if (!scalers.back())
            return nullptr;
    }
    const std::size_t inStride = std::size_t(image.width) * layout.planeBytes();
    const std::size_t outStride = std::size_t(size.width) * layout.planeBytes();
    std::vector<std::uint8_t> band(inStride * kBandRows * channels);
    std::vector<std::uint8_t> scaled(outStride * size.height * channels);
    std::vector<std::uint8_t*> bandPlanes, scaledPlanes;
    for (int c = 0; c < channels; ++c) {
        bandPlanes.push_back(band.data() + c * inStride * kBandRows);
        scaledPlanes.push_back(scaled.data() + c * outStride * size.height);
    }

    std::uint32_t done = 0;
    for (std::uint32_t top = 0; top < image.height; top += kBandRows) {
        const std::uint32_t rows = std::min(kBandRows, image.height - top);
        for (std::uint32_t y = 0; y < rows; ++y)
            layout.split(image.row(top + y), image.width, bandPlanes, y * inStride);
        done = size.height;
        for (int c = 0; c < channels; ++c)
            done = std::min(done, scalers[c]->feed(bandPlanes[c], inStride, top, rows, scaledPlanes[c], outStride));
    }
    if (done != size.height)
        return nullptr;

    auto resized = std::make_unique<DecodedImage>();
    resized->width = size.width;
    resized->height = size.height;
    resized->channels = channels;
    resized->bitsPerSample = image.bitsPerSample;
    resized->stride = std::size_t(size.width) * channels * (image.bitsPerSample / 8);
    std::shared_ptr<std::uint8_t[]> pixels = allocateImageBuffer(resized->stride * size.height);
    if (!pixels)
        return nullptr;
    for (std::uint32_t y = 0; y < size.height; ++y)
        layout.merge(scaledPlanes, y * outStride, size.width, pixels.get() + y * resized->stride);
    resized->data = pixels.get();
    resized->owner = std::move(pixels);
    resized->icc = image.icc;
    resized->exif = image.exif;
    resized->xmp = image.xmp;
    return resized;
}

}  // namespace pictavo::imageio
