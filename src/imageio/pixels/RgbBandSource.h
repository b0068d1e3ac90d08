#pragma once

#include "imageio/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace pictavo::imageio {

struct DecodedImage;

// One band of an image's rows, interleaved RGB of DecodedImage's 8 or 16 bits.
struct RgbBand {
    std::uint32_t top = 0;  // first image row
    std::uint32_t rows = 0;
    const std::uint8_t* data = nullptr;
    std::size_t stride = 0;  // bytes from one row to the next
    // Keeps `data` alive for as long as a copy of the band is held.
    std::shared_ptr<const void> owner;
};

// True when `band` is the one that follows the first `rowsRead` rows of an
// image `height` rows high whose rows take `rowBytes`: it starts there, holds
// rows, ends inside the image, and its rows are whole. Readers check each band
// with it before reading its rows.
inline bool followsOn(const RgbBand& band, std::uint32_t rowsRead, std::uint32_t height, std::size_t rowBytes)
{
    return band.top == rowsRead && band.rows > 0 && band.rows <= height - rowsRead && band.stride >= rowBytes &&
           band.data;
}

// An image whose RGB rows come as bands converted while they are read, from
// top to bottom (a tiled photo whose samples are not JPEG's own YCbCr), so
// that no more than a few bands are held at once.
class RgbBandSource {
public:
    class Reader {
    public:
        virtual ~Reader() = default;
        // The next band; null after the last band; Failure::unreadable when
        // it could not be decoded. Its rows stay valid until the following
        // call, and for as long as a copy of the band is held.
        virtual Result<const RgbBand*> next() = 0;
    };

    virtual ~RgbBandSource() = default;
    // Starts decoding the bands for one reading of them.
    virtual std::unique_ptr<Reader> read() const = 0;
};

// `image` with the rows of its bands (DecodedImage::rgbBands) read into
// memory, for what needs them all at once; unchanged when it has no bands,
// null when a band cannot be read.
std::unique_ptr<DecodedImage> withRowsInMemory(std::unique_ptr<DecodedImage> image);

}  // namespace pictavo::imageio
