#include "imageio/pixels/YCbCrToRgb.h"

#include "imageio/threads/OrderedJobs.h"

#include <algorithm>
#include <cmath>

namespace pictavo::imageio {

namespace {

std::uint8_t clamp8(int value)
{
    return static_cast<std::uint8_t>(std::clamp(value, 0, 255));
}

void convertRows(const YCbCr420Planes& planes, const YCbCrMatrix& m, std::uint8_t* rgb, std::size_t rgbStride,
                 std::uint32_t firstRow, std::uint32_t endRow)
{
    for (std::uint32_t y = firstRow; y < endRow; ++y) {
        const std::uint8_t* luma = planes.y + std::size_t(y) * planes.yStride;
        const std::uint8_t* cb = planes.cb + std::size_t(y / 2) * planes.cbStride;
        const std::uint8_t* cr = planes.cr + std::size_t(y / 2) * planes.crStride;
        std::uint8_t* out = rgb + std::size_t(y) * rgbStride;
        for (std::uint32_t x = 0; x < planes.width; x += 2) {
            const int b = cb[x / 2] - 128;
            const int r = cr[x / 2] - 128;
            // Arithmetic shifts: negative products round the same way as libheif's.
            const int rOffset = (m.rCr * r + 128) >> 8;
            const int gOffset = (m.gCb * b + m.gCr * r + 128) >> 8;
            const int bOffset = (m.bCb * b + 128) >> 8;
            const std::uint32_t end = std::min(x + 2, planes.width);
            for (std::uint32_t i = x; i < end; ++i, out += 3) {
                const int value = luma[i];
                out[0] = clamp8(value + rOffset);
                out[1] = clamp8(value + gOffset);
                out[2] = clamp8(value + bOffset);
            }
        }
    }
}

}  // namespace

std::optional<YCbCrMatrix> ycbcrMatrix(int matrixCoefficients)
{
    double kr = 0, kb = 0;
    switch (matrixCoefficients) {
    case 1: kr = 0.2126, kb = 0.0722; break;
    case 5:
    case 6: kr = 0.299, kb = 0.114; break;
    case 9: kr = 0.2627, kb = 0.0593; break;
    default: return std::nullopt;
    }
    const double kg = 1 - kr - kb;
    auto steps = [](double value) { return static_cast<int>(std::lround(256 * value)); };
    return YCbCrMatrix{steps(2 * (1 - kr)), steps(-2 * kb * (1 - kb) / kg), steps(-2 * kr * (1 - kr) / kg),
                       steps(2 * (1 - kb))};
}

void convertYCbCr420ToRgb(const YCbCr420Planes& planes, const YCbCrMatrix& matrix, std::uint8_t* rgb,
                          std::size_t rgbStride, unsigned threads)
{
    const std::uint32_t parts = std::clamp<std::uint32_t>(threads, 1, std::max<std::uint32_t>(planes.height, 1));
    auto bound = [&](std::uint32_t part) {
        return static_cast<std::uint32_t>(std::uint64_t(planes.height) * part / parts);
    };
    runJobs(parts, parts, [&](std::size_t part) {
        convertRows(planes, matrix, rgb, rgbStride, bound(std::uint32_t(part)), bound(std::uint32_t(part + 1)));
        return true;
    });
}

}  // namespace pictavo::imageio
