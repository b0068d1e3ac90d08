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

// Converts full-range planes to interleaved 8-bit RGB with libheif's own
// integer arithmetic for this case (each chroma sample used for its whole 2x2
// block, products rounded to whole steps, results clamped), so the pixels are
// exactly those of libheif's RGB decode; rows are shared out over `threads`.
void convertYCbCr420ToRgb(const YCbCr420Planes& planes, const YCbCrMatrix& matrix, std::uint8_t* rgb,
                          std::size_t rgbStride, unsigned threads);

}  // namespace pictavo::imageio
