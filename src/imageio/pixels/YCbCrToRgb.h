#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace pictavo::imageio {

// 8-bit YCbCr 4:2:0 planes: Cb and Cr hold one sample per 2x2 block of Y.
struct YCbCr420Planes {
    const std::uint8_t* y = nullptr;
    const std::uint8_t* cb = nullptr;
    const std::uint8_t* cr = nullptr;
    std::size_t yStride = 0;
    std::size_t cbStride = 0;
    std::size_t crStride = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
};

// The YCbCr -> RGB matrix in steps of 1/256.
struct YCbCrMatrix {
    int rCr = 0;
    int gCb = 0;
    int gCr = 0;
    int bCb = 0;
};

// The matrix for an H.273 matrix_coefficients code point: BT.709 (1), BT.601
// (5, 6) and BT.2020 non-constant luminance (9); none for the others.
std::optional<YCbCrMatrix> ycbcrMatrix(int matrixCoefficients);

// YCbCr planes of 9 to 16 bits, native-endian words (strides in words): Cb
// and Cr hold one sample for two of Y across, and for two rows of Y down when
// `halfHeightChroma` (4:2:0; 4:2:2 otherwise).
struct DeepYCbCrPlanes {
    const std::uint16_t* y = nullptr;
    const std::uint16_t* cb = nullptr;
    const std::uint16_t* cr = nullptr;
    std::size_t yStride = 0;
    std::size_t cbStride = 0;
    std::size_t crStride = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int depth = 10;
    bool halfHeightChroma = true;
};

// The YCbCr -> RGB matrix for deep samples, as libheif computes it (single
// precision), and the samples' range.
struct DeepYCbCrMatrix {
    float rCr = 0;
    float gCb = 0;
    float gCr = 0;
    float bCb = 0;
    bool fullRange = true;
};

// The matrix for an H.273 matrix_coefficients code point, as ycbcrMatrix()
// (unspecified, 2, is BT.601 as libheif takes it); none for the others.
std::optional<DeepYCbCrMatrix> deepYCbCrMatrix(int matrixCoefficients, bool fullRange);

// Converts deep planes to interleaved RGB (`rgbStride` in bytes): libheif's
// arithmetic for deep samples (single precision, limited range stretched,
// each chroma sample used for the luma samples it covers, results rounded to
// the source depth), then each value scaled to native-endian 16 bits spanning
// 0..65535 with rounding as expandTo16Bits() does, and for `outputBits` 8
// rounded on to 8 bits as to8Bit() does; rows are shared out over `threads`.
void convertDeepYCbCrToRgb(const DeepYCbCrPlanes& planes, const DeepYCbCrMatrix& matrix, int outputBits,
                           std::uint8_t* rgb, std::size_t rgbStride, unsigned threads);

// Converts full-range planes to interleaved 8-bit RGB with libheif's own
// integer arithmetic for this case (each chroma sample used for its whole 2x2
// block, products rounded to whole steps, results clamped), so the pixels are
// exactly those of libheif's RGB decode; rows are shared out over `threads`.
void convertYCbCr420ToRgb(const YCbCr420Planes& planes, const YCbCrMatrix& matrix, std::uint8_t* rgb,
                          std::size_t rgbStride, unsigned threads);

}  // namespace pictavo::imageio
