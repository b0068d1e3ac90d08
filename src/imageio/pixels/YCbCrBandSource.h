#pragma once

#include "imageio/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>

#include <libheif/heif.h>

namespace pictavo::imageio {

// One band of an image as shown, in YCbCr planes as its tiles decode (8-bit
// 4:2:0 of JPEG's own YCbCr, BT.601 at full range, for a JPEG written from
// them). Rows are padded on the right to a multiple of 16 luma
// samples by repeating the last column, as JPEG's 16×16 blocks read them.
struct YCbCrBand {
    std::uint32_t top = 0;   // first image row, even
    std::uint32_t rows = 0;  // image rows held (luma); even, except in the last band
    const std::uint8_t* y = nullptr;
    const std::uint8_t* cb = nullptr;
    const std::uint8_t* cr = nullptr;
    std::size_t yStride = 0;  // bytes
    std::size_t chromaStride = 0;
    // Bits per sample; samples of more than 8 are native-endian 16-bit words.
    int depth = 8;
    // 4:2:0: a chroma row for every two rows; 4:2:2: one for each.
    heif_chroma chroma = heif_chroma_420;
};

// An image whose pixels come as bands of YCbCr decoded while they are read,
// from top to bottom (a tiled photo, a row of tiles at a time).
class YCbCrBandSource {
public:
    // How far decoding may go ahead of the reader: as far as usual, or only
    // through the first band until the reader widens it (for a writer with
    // other work to do first, whose memory stands in for the bands that
    // would otherwise be held).
    enum class Ahead { usual, firstBand };

    class Reader {
    public:
        virtual ~Reader() = default;
        // The next band, valid until the following call; null after the last
        // band; Failure::unreadable when it could not be decoded.
        virtual Result<const YCbCrBand*> next() = 0;
        // Lets decoding go as far ahead as usual.
        virtual void widen() = 0;
    };

    virtual ~YCbCrBandSource() = default;
    // Starts decoding the bands for one reading of them.
    virtual std::unique_ptr<Reader> read(Ahead ahead) const = 0;
};

}  // namespace pictavo::imageio
